"""The worked example in both languages on the same folder of frames: toolbox/motionseg_example.m
in GNU Octave and python/motionseg_example.py write the same summary and a picture of every
step."""
import os
import pathlib
import shutil
import sys

import numpy as np
import pytest

from conftest import textured_pair

motionseg = pytest.importorskip("motionseg")
cv2 = pytest.importorskip("cv2")
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
import motionseg_example  # noqa: E402


@pytest.fixture
def frames(tmp_path):
    """Three frames: a textured square moving over a still texture."""
    background, square = textured_pair(48, 64, seed=5)
    folder = tmp_path / "frames"
    folder.mkdir()
    for k in range(3):
        frame = background.copy()
        frame[10:30, 8 + 3 * k:28 + 3 * k] = square[:20, :20]
        assert cv2.imwrite(str(folder / f"f{k + 1}.png"), frame[..., ::-1])
    return folder


@pytest.mark.parametrize("cell", [8, 16])
def test_both_languages_write_the_same_summary(frames, tmp_path, octave, cell):
    python_frames = tmp_path / "python"
    shutil.copytree(frames, python_frames)
    lines = motionseg_example.run(str(python_frames), cell)
    octave.run(f"motionseg_example('{frames}', {cell});")
    octave_summary = (frames / "motionseg_example" / "summary.txt").read_text()
    assert octave_summary == "".join(line + "\n" for line in lines)
    assert len(lines) == 2 and f"{(48 // cell) * (64 // cell)} superpixels" in lines[0]
    for folder in (frames, python_frames):
        for k in (1, 2):
            for step in ("flow", "motion", "crossings"):
                picture = cv2.imread(str(folder / "motionseg_example" / f"{step}_{k}.png"))
                assert picture is not None and picture.shape[:2] == (48, 64), (folder, step, k)
    # The fastest superpixel holds the square, which moves 3 pixels per frame over a still
    # background; with 8-pixel cells one cell lies wholly inside it.
    fastest = float(lines[0].split("(")[1].split(" px")[0])
    assert 1 < fastest <= 3 and (cell != 8 or fastest == 3), lines[0]
