"""Whole videos from Python: video_flows and write_video_flows against flow_video on the same
frames (the same files, byte for byte), from a folder, a list of arrays and a generator."""
import os
import subprocess

import numpy as np
import pytest

from conftest import textured_pair, tool

motionseg = pytest.importorskip("motionseg")


@pytest.fixture
def video(tmp_path):
    """Five PNG frames of a texture moving one pixel right per frame, named so that natural
    order differs from byte order (frame9 before frame10)."""
    cv2 = pytest.importorskip("cv2")
    first, _ = textured_pair(30, 60, seed=3)
    big = np.concatenate([first, first[:, ::-1]], axis=1)
    folder = tmp_path / "frames"
    folder.mkdir()
    names = [f"frame{n}.png" for n in (8, 9, 10, 11, 12)]
    for i, name in enumerate(names):
        assert cv2.imwrite(str(folder / name), np.ascontiguousarray(big[:, 20 - i:80 - i, ::-1]))
    return folder, names


@pytest.mark.parametrize("step, backward", [(1, False), (1, True), (2, True)])
def test_the_files_of_flow_video(video, tmp_path, step, backward):
    folder, names = video
    program = tool("MOTIONSEG_FLOW_VIDEO")
    command = [program, "--quiet", "--threads", "1", "--step", str(step)]
    subprocess.run(command + (["--backward"] if backward else []) + [str(folder),
                   str(tmp_path / "program")], check=True, capture_output=True)
    written = motionseg.write_video_flows(folder, tmp_path / "python", step=step,
                                          backward=backward, threads=1)
    expected = sorted(n for n in os.listdir(tmp_path / "program") if n.endswith(".flo"))
    assert sorted(os.path.basename(p) for p in written) == expected
    assert len(expected) == (len(names) - step) * (2 if backward else 1)
    for name in expected:
        assert (tmp_path / "python" / name).read_bytes() == \
            (tmp_path / "program" / name).read_bytes(), name
    # No temporary file is left behind.
    assert sorted(os.listdir(tmp_path / "python")) == expected


def test_arrays_a_generator_and_paths_give_the_folders_flows(video):
    folder, names = video
    from_folder = list(motionseg.video_flows(folder, backward=True))
    frames = [motionseg.read_frame(folder / name) for name in names]
    from_arrays = list(motionseg.video_flows(frames, backward=True))
    from_generator = list(motionseg.video_flows((f for f in frames), backward=True))
    from_paths = list(motionseg.video_flows([str(folder / n) for n in names], backward=True))
    assert [p.name for p in from_folder] == [n[:-4] for n in names[:-1]]
    assert [p.name for p in from_arrays] == ["000001", "000002", "000003", "000004"]
    for other in (from_arrays, from_generator, from_paths):
        assert [p.index for p in other] == [0, 1, 2, 3]
        for a, b in zip(from_folder, other):
            assert a.forward.tobytes() == b.forward.tobytes()
            assert a.backward.tobytes() == b.backward.tobytes()
    # Each pair is dense_motion of its two frames, and the texture moves right.
    pair = from_arrays[2]
    assert pair.forward.tobytes() == motionseg.dense_motion(frames[2], frames[3]).tobytes()
    assert pair.backward.tobytes() == motionseg.dense_motion(frames[3], frames[2]).tobytes()
    assert np.median(pair.forward[..., 0]) > 0.5


def test_progress_goes_to_standard_error(video, capsys):
    folder, _ = video
    flows = list(motionseg.video_flows(folder, step=3, progress=True))
    assert len(flows) == 2
    err = capsys.readouterr().err
    # tqdm's bar ends at 2/2; without tqdm each pair has a line.
    assert "2/2" in err


@pytest.mark.parametrize("step, kind", [(0, ValueError), (1.5, TypeError), (True, TypeError)])
def test_a_bad_step_is_refused_before_any_work(video, tmp_path, step, kind):
    folder, _ = video
    with pytest.raises(kind, match="step must be a whole number of 1 or more"):
        motionseg.write_video_flows(folder, tmp_path / "out", step=step)
    assert not (tmp_path / "out").exists()


def test_faults_of_the_frames():
    with pytest.raises(FileNotFoundError):
        motionseg.video_flows("no/such/folder")
    first, second = textured_pair(20, 30)
    pairs = motionseg.video_flows([first, second, second[:10]])
    next(pairs)
    with pytest.raises(ValueError, match="Input images must have the same size"):
        next(pairs)


@pytest.mark.parametrize("bad", ["int16", "two dimensions", "two channels"])
def test_a_refused_frame_fails_its_pair_as_dense_motion_does(bad):
    first, second = textured_pair(20, 30)
    frame = {"int16": second.astype(np.int16), "two dimensions": second[..., 0],
             "two channels": second[..., :2]}[bad]
    with pytest.raises((TypeError, ValueError)) as expected:
        motionseg.dense_motion(first, frame)
    pairs = motionseg.video_flows([first, second, frame], backward=True)
    assert next(pairs).index == 0
    with pytest.raises(expected.type) as raised:
        next(pairs)
    assert str(raised.value) == str(expected.value)


def test_frames_of_unit_range_warn_at_each_pair():
    first, second = textured_pair(20, 30)
    frames = [first / 255.0, second / 255.0, first / 255.0]
    with pytest.warns(UserWarning) as caught:
        flows = list(motionseg.video_flows(frames))
    assert len(flows) == 2 and len(caught) == 2
    assert flows[1].forward.tobytes() == motionseg.dense_motion(frames[1], frames[2]).tobytes()
