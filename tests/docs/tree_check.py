"""The command line the tree's checkers share: `SCRIPT [top of the source tree]` prints one
line per fault of the tree and exits 1 when there is any; `SCRIPT --self-test` runs the
checker on its made-up sources instead."""

import pathlib
import sys


def run(faults, self_test):
    """Exit status of the checker `faults(top)` (a list of fault lines) or of `self_test()`."""
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    top = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    problems = faults(top)
    for problem in problems:
        print(problem)
    return 1 if problems else 0
