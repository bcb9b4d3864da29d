"""dense_motion, .flo files and flow_to_colour: the same bits as the plug-in and the program, the
errors of the plug-in, and the interpreter lock left to other threads while the flow computes."""
import errno
import os
import stat
import subprocess
import sys
import threading
import time
from pathlib import Path

import numpy as np
import pytest

import motionseg
from conftest import textured_pair, tool


def test_same_bits_as_the_plugin_and_the_program(octave, tmp_path):
    cv2 = pytest.importorskip("cv2")
    first, second = textured_pair(40, 52, shift=(-1, 2))
    flow = motionseg.dense_motion(first, second)

    # Through GNU Octave: the plug-in on the same frames as doubles.
    script = (f"f = denseMotion(double({octave.put('a', first)}), "
              f"double({octave.put('b', second)})); wr('flow', f);")
    octave.run(script)
    plugin = octave.get("flow", np.float64, flow.shape)
    assert plugin.astype(np.float32).astype(np.float64).tobytes() == plugin.tobytes()
    assert plugin.astype(np.float32).tobytes() == flow.tobytes()

    # Through flow_between: PNG frames in, a .flo file and a colour PNG out.
    program = tool("MOTIONSEG_FLOW_BETWEEN")
    for name, frame in (("a.png", first), ("b.png", second)):
        assert cv2.imwrite(str(tmp_path / name), frame[..., ::-1])  # cv2 writes BGR
    subprocess.run([program, str(tmp_path / "a.png"), str(tmp_path / "b.png"),
                    str(tmp_path / "p.flo"), str(tmp_path / "p.png")], check=True,
                   capture_output=True)
    motionseg.write_flo(tmp_path / "m.flo", flow)
    assert (tmp_path / "m.flo").read_bytes() == (tmp_path / "p.flo").read_bytes()
    colour = cv2.imread(str(tmp_path / "p.png"))[..., ::-1]
    assert np.array_equal(motionseg.flow_to_colour(flow), colour)


def test_types_layouts_and_threads_give_one_flow():
    first, second = textured_pair(36, 44, shift=(0, 3))
    reference = motionseg.dense_motion(first, second, threads=1)
    # A known shift: 3 columns right, so u = 3 and v = 0 away from the borders.
    inner = reference[10:-10, 10:-10]
    assert abs(np.median(inner[..., 0]) - 3) < 0.2 and abs(np.median(inner[..., 1])) < 0.2
    wide = np.zeros((36, 2 * 44, 5), np.float32)  # a strided view with two extra channels
    wide[:, ::2, :3] = first
    variants = [
        (first.astype(np.float64), second.astype(np.float64), {}),
        (np.asfortranarray(first.astype(np.float32)), second.astype(np.float32), {"threads": 2}),
        (wide[:, ::2, :3], second, {"threads": 3}),
    ]
    for a, b, options in variants:
        assert motionseg.dense_motion(a, b, **options).tobytes() == reference.tobytes()
    # Parameters reach the computation in their order.
    assert not np.array_equal(motionseg.dense_motion(first, second, 1.5), reference)
    assert np.array_equal(motionseg.dense_motion(first, second, 0.8, 30, 300, 5), reference)


@pytest.mark.parametrize("call, error, text", [
    (lambda a: motionseg.dense_motion(a.astype(np.int16), a), TypeError,
     "First input must be a 3-dimensional array of float32, float64 or uint8 values"),
    (lambda a: motionseg.dense_motion(a, a[..., 0]), ValueError,
     "Second input must be a 3-dimensional array"),
    (lambda a: motionseg.dense_motion(a, a[:, 1:]), ValueError,
     "Input images must have the same size !"),
    (lambda a: motionseg.dense_motion(a[..., :2], a[..., :2]), ValueError,
     "Input images must have at least 3 channels; the colour test reads channels 1 to 3."),
    (lambda a: motionseg.dense_motion(a, a, 0.0), ValueError,
     "Sigma must be a finite number of at least 1e-38; smaller values leave no image to match."),
    (lambda a: motionseg.dense_motion(a, a, 0.8, 0.0), ValueError,
     "Alpha must be a finite number above 0; without smoothness the flow is undetermined."),
    (lambda a: motionseg.dense_motion(a, a, gamma=-1), ValueError,
     "Gamma must be a finite number of 0 or more."),
    (lambda a: motionseg.dense_motion(a, a, 0.8, "30"), TypeError,
     "Alpha must be a numeric scalar."),
    (lambda a: motionseg.dense_motion(a, a, threads=0), ValueError,
     "Threads must be between 1 and 1024."),
    (lambda a: motionseg.dense_motion(a, a, threads=1.5), TypeError,
     "Threads must be a whole number or None."),
])
def test_dense_motion_refusals(call, error, text):
    frame, _ = textured_pair(12, 14)
    with pytest.raises(error) as caught:
        call(frame)
    assert str(caught.value).startswith(text)


def test_memory_is_weighed_before_the_computation(monkeypatch):
    frame, _ = textured_pair(64, 64)
    monkeypatch.setenv("MOTIONSEG_MEMORY_LIMIT", "1M")
    with pytest.raises(MemoryError, match=r"^dense_motion needs [0-9.]+ MB for 64-by-64-by-3 "
                                          r"frames; the limit MOTIONSEG_MEMORY_LIMIT=1M"):
        motionseg.dense_motion(frame, frame)
    monkeypatch.setenv("MOTIONSEG_MEMORY_LIMIT", "a lot")
    with pytest.raises(ValueError, match="MOTIONSEG_MEMORY_LIMIT"):
        motionseg.dense_motion(frame, frame)


def test_other_threads_run_during_the_computation():
    # Forced switches are turned off, so the counting thread can only run while the main
    # thread has let go of the interpreter lock. It sleeps briefly in every iteration, so the
    # main thread gets the lock back at once when the call returns.
    first, second = textured_pair(96, 128, shift=(1, 2))
    count = [0]
    started, stop = threading.Event(), threading.Event()

    def counter():
        started.set()
        while not stop.is_set():
            count[0] += 1
            time.sleep(0.0001)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    thread = threading.Thread(target=counter)
    try:
        thread.start()
        started.wait()
        progress = []
        for _ in range(3):  # the counter may be starved once on a busy machine, not thrice
            before = count[0]
            motionseg.dense_motion(first, second, threads=1)
            progress.append(count[0] - before)
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(interval)
    assert max(progress) > 0, progress


def test_flo_files_are_those_of_the_peer_library(tmp_path):
    cv2 = pytest.importorskip("cv2")
    rng = np.random.default_rng(3)
    flow = rng.normal(scale=4, size=(5, 7, 2)).astype(np.float32)
    motionseg.write_flo(str(tmp_path / "ours.flo"), flow)
    cv2.writeOpticalFlow(str(tmp_path / "peer.flo"), flow)
    ours = (tmp_path / "ours.flo").read_bytes()
    assert ours == (tmp_path / "peer.flo").read_bytes()
    assert ours[:12] == b"PIEH" + (7).to_bytes(4, "little") + (5).to_bytes(4, "little")
    assert np.array_equal(motionseg.read_flo(tmp_path / "peer.flo"), flow)
    # Any layout of the flow writes the same file.
    motionseg.write_flo(tmp_path / "f.flo", np.asfortranarray(flow))
    assert (tmp_path / "f.flo").read_bytes() == ours


def test_flo_problems(tmp_path):
    missing = tmp_path / "missing.flo"
    with pytest.raises(FileNotFoundError, match=f"^Could not open {missing}$") as caught:
        motionseg.read_flo(missing)
    assert caught.value.errno == errno.ENOENT
    short = tmp_path / "short.flo"
    short.write_bytes(b"PIEH" + (2).to_bytes(4, "little") + (2).to_bytes(4, "little") + bytes(8))
    with pytest.raises(ValueError, match=r"holds less flow data than its header announces \(2 x 2\)"):
        motionseg.read_flo(short)
    flow = np.zeros((2, 3, 2), np.float32)
    with pytest.warns(UserWarning, match="should have extension '.flo'"):
        motionseg.write_flo(tmp_path / "flow.FLO", flow)
    assert motionseg.read_flo(tmp_path / "flow.FLO").shape == (2, 3, 2)
    target = tmp_path / "no" / "such.flo"
    with pytest.raises(FileNotFoundError, match=f"^Cannot create {target}.$"):
        motionseg.write_flo(target, flow)
    with pytest.warns(UserWarning), pytest.raises(IsADirectoryError,
                                                  match=f"^Cannot create {tmp_path}.$"):
        motionseg.write_flo(tmp_path, flow)
    if os.path.exists("/dev/full"):  # data that cannot be stored is reported; no file replaces
        with pytest.warns(UserWarning), pytest.raises(OSError, match="^Could not write all of "
                                                                     "/dev/full.$"):
            motionseg.write_flo("/dev/full", flow)
        assert stat.S_ISCHR(os.stat("/dev/full").st_mode)
    # float64 is stored in single precision, as the Octave writeFlo stores it.
    motionseg.write_flo(tmp_path / "d.flo", flow.astype(np.float64) + 0.1)
    assert np.array_equal(motionseg.read_flo(tmp_path / "d.flo"), flow + np.float32(0.1))
    with pytest.raises(TypeError, match="^Flow must be a float32 or float64 array of rows x "
                                        "columns x 2."):
        motionseg.write_flo(tmp_path / "f.flo", flow.astype(np.int16))
    with pytest.raises(ValueError, match="^Flow must be a float32 or float64 array of rows x "
                                         "columns x 2."):
        motionseg.write_flo(tmp_path / "f.flo", flow[..., :1])
    assert sorted(p.name for p in tmp_path.iterdir()) == ["d.flo", "flow.FLO", "short.flo"]


def test_colour_wheel():
    # right, down, left, up, none; at saturation 1 the unit vectors are full colours.
    flow = np.array([[[1, 0], [0, 1], [-1, 0], [0, -1], [0, 0]]], np.float32)
    expected = [[255, 0, 0], [64, 64, 255], [0, 255, 0], [254, 255, 0], [0, 0, 0]]
    assert motionseg.flow_to_colour(flow, saturation=1).tolist() == [expected]
    # By default the longest vector is drawn at full colour; half as long is half as bright.
    assert motionseg.flow_to_colour(flow * 2).tolist() == [expected]
    assert motionseg.flow_to_colour(flow, saturation=2)[0, 0].tolist() == [127, 0, 0]
    with pytest.raises(ValueError, match="^Saturation must be a finite number above 0"):
        motionseg.flow_to_colour(flow, saturation=0)


def test_readme_example_runs_as_written(tmp_path, monkeypatch):
    cv2 = pytest.importorskip("cv2")
    readme = (Path(__file__).parents[2] / "README.md").read_text()
    section = readme[readme.index("## From Python"):]
    example = section[section.index("```python\n") + 10:section.index("```\n", 12)]
    first, second = textured_pair(30, 40, shift=(1, -2))
    for name, frame in (("frame1.png", first), ("frame2.png", second)):
        assert cv2.imwrite(str(tmp_path / name), frame[..., ::-1])
    monkeypatch.chdir(tmp_path)
    exec(compile(example, "README.md", "exec"), {})
    flow = motionseg.dense_motion(first, second)
    assert np.array_equal(motionseg.read_flo("flow.flo"), flow)


def test_version_is_the_projects():
    version = (Path(__file__).parents[2] / "VERSION").read_text().split()[0]
    assert motionseg.__version__ == version
