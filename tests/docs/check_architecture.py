#!/usr/bin/env python3
"""Checks the map of docs/ARCHITECTURE.md against the tree: every folder that holds C++ sources
has a row (its own, or one of a folder that describes its subfolders as a whole), and every
include of a file in another folder is allowed by the "may include" cell of the including
folder's row. Usage: check_architecture.py [top of the source tree], or --self-test (the
checker on small made-up trees). Exit status 1 with one line per fault."""

import pathlib
import re
import sys
import tempfile

import tree_check

# Rows whose cell describes every folder below them.
WHOLE_TREES = ("tests/", "bench/", "python/")
SOURCES = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def map_rows(text):
    """{folder: set of allowed prefixes, or None for anything} from the map's table."""
    rows = {}
    in_map = False
    for line in text.splitlines():
        if line.startswith("## "):
            in_map = line.strip() == "## Map of the tree"
            continue
        if not in_map or not line.startswith("| `"):
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 3:
            continue
        folders = [f for f in re.findall(r"`([^`]+)`", cells[0]) if f.endswith("/")]
        allowed = set(re.findall(r"`([^`]+/)[^`]*`", cells[2]))
        if "everything above" in cells[2] or "the cores" in cells[2]:
            allowed = None
        elif "the other `flow/` folders" in cells[2]:
            allowed.add("flow/")
        for folder in folders:
            rows[folder] = allowed
    return rows


def row_of(folder, rows):
    """The row that describes `folder` (ending in /), or None."""
    if folder in rows:
        return folder
    for whole in WHOLE_TREES:
        if folder.startswith(whole) and whole in rows:
            return whole
    return None


def faults(top):
    text = (top / "docs" / "ARCHITECTURE.md").read_text(encoding="utf-8")
    rows = map_rows(text)
    found = []
    folders = {}
    for path in sorted(top.rglob("*")):
        relative = path.relative_to(top).as_posix()
        if path.suffix not in SOURCES or relative.startswith(("build", ".")):
            continue
        if "/" not in relative:
            continue
        folders.setdefault(relative.rsplit("/", 1)[0] + "/", []).append(path)
    for folder, files in sorted(folders.items()):
        row = row_of(folder, rows)
        if row is None:
            found.append(f"{folder}: no row in the map")
            continue
        allowed = rows[row]
        for path in files:
            for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
                if "/" not in target or target.startswith("."):
                    continue  # the folder's own files, or relative to it
                if not (top / target).exists():
                    continue  # not a file of this tree
                if target.startswith(folder) and "/" not in target[len(folder):]:
                    continue
                if allowed is None or any(target.startswith(a) for a in allowed):
                    continue
                found.append(f"{path.relative_to(top).as_posix()}: includes {target}, which "
                             f"the row of {row} does not allow")
    return found


def self_test():
    """The checker on made-up trees: (files, faults expected, as text fragments)."""
    doc = ("# Architecture\n\n## Map of the tree\n\n| folder | holds | may include |\n|---|---|---|\n"
           "| `a/` | a core | the standard library |\n| `b/` | b | `a/` |\n"
           "| `tests/` | tests | everything above |\n\n## Other\n\n| `c/` | not the map | — |\n")
    cases = [
        ({"a/x.h": "", "b/y.cpp": '#include "a/x.h"\n'}, []),
        ({"a/x.h": '#include "b/y.h"\n', "b/y.h": ""}, ["a/x.h: includes b/y.h"]),
        ({"a/x.h": "", "a/sub/z.h": ""}, ["a/sub/: no row"]),
        ({"c/w.h": ""}, ["c/: no row"]),
        ({"a/x.h": '#include "a/x2.h"\n#include <vector>\n#include "../a/x.h"\n', "a/x2.h": "",
          "tests/a/t.cpp": '#include "b/y.h"\n', "b/y.h": '#include "missing/m.h"\n'}, []),
    ]
    failures = 0
    for files, expected in cases:
        with tempfile.TemporaryDirectory() as folder:
            top = pathlib.Path(folder)
            (top / "docs").mkdir()
            (top / "docs" / "ARCHITECTURE.md").write_text(doc, encoding="utf-8")
            for name, text in files.items():
                (top / name).parent.mkdir(parents=True, exist_ok=True)
                (top / name).write_text(text, encoding="utf-8")
            found = faults(top)
            ok = len(found) == len(expected) and all(
                any(e in f for f in found) for e in expected)
            if not ok:
                failures += 1
                print(f"{sorted(files)}: expected {expected}, found {found}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(tree_check.run(faults, self_test))
