#!/usr/bin/env python3
"""Checks that no function of flow/ outside flow/numerics/ is longer than 120 lines (from the
line of its opening brace to the line of its closing one) and that none takes a `fast` flag
(a bool parameter named fast...): the fast and the straightforward twin are two functions.
Functions are found by a brace-matching scan of the sources with comments, strings and
character literals blanked out; a lambda counts as part of the function it is written in.
Usage: check_function_length.py [top of the source tree], or --self-test (the scan on small
made-up sources). Exit status 1 with one line per fault."""

import re
import sys

import tree_check

LIMIT = 120
SOURCES = (".h", ".cpp")
# Left out: the numerics library.
EXEMPT_FOLDERS = ("flow/numerics/",)
EXEMPT_FILES = ()
CONTROL = re.compile(r"^\s*(if|for|while|switch|catch|do|else|try)\b")
SCOPE = re.compile(r"\b(namespace|class|struct|union|enum)\b")
FUNCTION_END = re.compile(r"\)\s*(const|noexcept|override|final|mutable|&|&&|->[^{;]*|\s)*$")
INITIALISER = re.compile(r"\)\s*:(?!:)")
FAST_FLAG = re.compile(r"\bbool\s+fast\w*\s*[,)=]")


def blank(text):
    """The text with comments, strings and character literals replaced by spaces (newlines
    kept, so line numbers stay)."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|R"(\w*)\(.*?\)\1"|"(?:\\.|[^"\\\n])*"|'
                         r"'(?:\\.|[^'\\\n])*'", re.S)
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def functions(text):
    """[(name, first line, last line, signature)] of the function bodies in a source."""
    code = blank(text)
    found = []
    segment_start = 0  # where the text before the next brace starts
    stack = []  # per open brace: (kind, line, signature); kind "function", "scope" or "block"
    i = 0
    while i < len(code):
        c = code[i]
        if c in ";":
            segment_start = i + 1
        elif c == "{":
            segment = code[segment_start:i]
            line = code.count("\n", 0, i) + 1
            inside = any(kind == "function" for kind, _, _ in stack)
            head = segment.strip()
            if inside:
                kind = "block"
            elif (INITIALISER.search(segment) and re.search(r"\w\s*$", segment)
                  and not FUNCTION_END.search(segment)):
                # A member's brace initialiser in a constructor's initialiser list.
                depth, j = 1, i + 1
                while j < len(code) and depth:
                    depth += {"{": 1, "}": -1}.get(code[j], 0)
                    j += 1
                i = j
                continue
            elif SCOPE.search(head) and "(" not in head.split("{")[0].split("=")[0]:
                kind = "scope"
            elif FUNCTION_END.search(segment) and not CONTROL.match(segment) and "(" in head:
                kind = "function"
            else:
                kind = "block"
            stack.append((kind, line, " ".join(head.split())))
            segment_start = i + 1
        elif c == "}":
            if stack:
                kind, first, signature = stack.pop()
                if kind == "function":
                    last = code.count("\n", 0, i) + 1
                    name = re.findall(r"([\w:~]+)\s*\(", signature)
                    found.append((name[0] if name else "?", first, last, signature))
            segment_start = i + 1
        i += 1
    return found


def faults_of(relative, text):
    problems = []
    for name, first, last, signature in functions(text):
        length = last - first + 1
        if length > LIMIT:
            problems.append(f"{relative}:{first}: {name} is {length} lines long (at most {LIMIT})")
        parameters = signature[signature.find("("):]
        if FAST_FLAG.search(parameters):
            problems.append(f"{relative}:{first}: {name} takes a fast flag")
    return problems


def faults(top):
    found = []
    for path in sorted((top / "flow").rglob("*")):
        relative = path.relative_to(top).as_posix()
        if path.suffix not in SOURCES or relative.startswith(EXEMPT_FOLDERS):
            continue
        if relative in EXEMPT_FILES:
            continue
        found += faults_of(relative, path.read_text(encoding="utf-8", errors="replace"))
    return found


def self_test():
    """The scan on made-up sources: (source, faults expected, as text fragments)."""
    def body(lines):
        return "".join("  x += 1;\n" for _ in range(lines))

    cases = [
        # 118 lines inside: 120 with the braces, allowed; one more is a fault.
        ("void f(int x) {\n" + body(118) + "}\n", []),
        ("void g(int x) {\n" + body(119) + "}\n", ["g is 121 lines"]),
        # Nested blocks, lambdas, braces in strings and comments belong to their function.
        ("namespace a {\nstruct S {\n  int h() const {\n    auto l = [](int y) { return y; };\n"
         "    if (x) { const char* s = \"}}}\"; } // }\n" + body(117) + "  }\n};\n}\n",
         ["h is 121 lines"]),
        # A constructor's brace initialisers are not bodies; the body is.
        ("S::S(int a) : b{a}, c(a) {\n" + body(119) + "}\n", ["S::S is 121 lines"]),
        # Many short functions, a class and an enum: nothing to report.
        ("enum class E { A, B };\nclass C {\n  int a() { return 1; }\n};\n" +
         "int k() {\n" + body(50) + "}\n" * 1 + "int m() {\n" + body(50) + "}\n", []),
        # A fast flag, however the parameter list is laid out.
        ("void s(int a,\n       bool fast) {\n}\n", ["s takes a fast flag"]),
        ("void t(bool fastSetUp = false) {}\n", ["t takes a fast flag"]),
        ("void u(bool breakfast) {}\nvoid w() { bool fast = true; }\n", []),
    ]
    failures = 0
    for source, expected in cases:
        found = faults_of("x.cpp", source)
        ok = len(found) == len(expected) and all(any(e in f for f in found) for e in expected)
        if not ok:
            failures += 1
            print(f"{source[:40]!r}...: expected {expected}, found {found}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(tree_check.run(faults, self_test))
