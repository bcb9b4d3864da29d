"""What Python's own tools see of the module's functions (signatures, help, argument faults),
and Ctrl-C during a long flow."""
import inspect
import os
import pydoc
import select
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

motionseg = pytest.importorskip("motionseg")

from conftest import textured_pair

FUNCTIONS = sorted(name for name in dir(motionseg)
                   if not name.startswith("_") and inspect.isroutine(getattr(motionseg, name)))


@pytest.mark.parametrize("name", FUNCTIONS)
def test_signature_help_and_a_wrong_keyword(name):
    function = getattr(motionseg, name)
    signature = inspect.signature(function)
    assert signature.parameters, name
    # help() shows the signature with its defaults, then the text.
    page = pydoc.render_doc(function, renderer=pydoc.plaintext)
    assert f"{name}{signature}" in page
    with pytest.raises(TypeError) as fault:
        function(no_such_option=1)
    text = str(fault.value)
    assert "\n" not in text and "no_such_option" in text and text.startswith(f"{name}()")


def test_the_signature_defaults_are_the_defaults_the_function_uses():
    first, second = textured_pair(24, 32, shift=(1, 2))
    parameters = inspect.signature(motionseg.dense_motion).parameters
    defaults = {k: p.default for k, p in parameters.items() if p.default is not p.empty}
    assert set(defaults) == {"sigma", "alpha", "beta", "gamma", "threads"}
    by_default = motionseg.dense_motion(first, second)
    spelt_out = motionseg.dense_motion(frame1=first, frame2=second, **defaults)
    assert by_default.tobytes() == spelt_out.tobytes()
    # A changed parameter changes the flow, so the comparison above can fail.
    assert motionseg.dense_motion(first, second, alpha=3).tobytes() != by_default.tobytes()


def test_a_wrong_call_with_arrays_names_the_fault_without_the_arrays():
    first, second = textured_pair(200, 300)
    with pytest.raises(TypeError) as fault:
        motionseg.dense_motion(first, second, 0.8, 30, 300, 5, None, 7)
    text = str(fault.value)
    assert "\n" not in text and len(text) < 120 and "too many positional" in text


# The child reports where its SIGINT handler ran: inside dense_motion, or after it returned. A
# profile hook marks the call's start and end, so no timing decides the outcome. Before the flow
# polled for signals, the handler ran only after the call had returned. A signal that comes
# before the call has begun (the parent is told "calling" from the hook just before) asks for
# another one.
CHILD = textwrap.dedent("""
    import signal, sys
    import numpy as np
    import motionseg
    rng = np.random.default_rng(3)
    first = rng.integers(0, 256, (436, 1024, 3), dtype=np.uint8)
    second = np.roll(first, 2, axis=1)
    state = {"in_call": False, "returned": False, "where": None}
    def profile(frame, event, arg):
        if arg is not motionseg.dense_motion:
            return
        if event == "c_call":
            state["in_call"] = True
            print("calling", flush=True)
        elif event in ("c_return", "c_exception"):
            state["in_call"] = False
            state["returned"] = True
    def handler(signum, frame):
        # No Python code runs between the hook's end and the call's start, nor between the
        # call's end and the hook's start.
        if frame.f_code is profile.__code__:
            where = "before" if frame.f_locals["event"] == "c_call" else "after"
        elif state["in_call"]:
            where = "inside"
        else:
            where = "after" if state["returned"] else "before"
        if where == "before":
            print("again", flush=True)
            return
        state["where"] = where
        raise KeyboardInterrupt
    signal.signal(signal.SIGINT, handler)
    sys.setprofile(profile)
    try:
        motionseg.dense_motion(first, second, threads=1)
        sys.setprofile(None)
        print("completed", flush=True)
    except KeyboardInterrupt:
        sys.setprofile(None)
        print("interrupted", state["where"], flush=True)
""")


def test_ctrl_c_stops_a_long_flow_with_keyboard_interrupt():
    child = subprocess.Popen([sys.executable, "-c", CHILD], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=dict(os.environ))
    lines = []
    try:
        # A generous bound on every wait: the child either stops at the flow's next poll or,
        # if the signal is lost, runs its whole flow (seconds) and says so.
        for _ in range(100):
            ready, _, _ = select.select([child.stdout], [], [], 120)
            assert ready, "the child said nothing for 120 s"
            line = child.stdout.readline().strip()
            lines.append(line)
            if line not in ("calling", "again"):
                break
            child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=120)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert lines[-1] == "interrupted inside", "\n".join(lines) + out + err
    assert child.returncode == 0, err
