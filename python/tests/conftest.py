"""Shared fixtures of the module's tests: generated frames, and the other front ends of the
toolbox (GNU Octave with the built plug-ins, the flow_between program) to compare against.
ctest names them through MOTIONSEG_OCTAVE, MOTIONSEG_TOOLBOX and MOTIONSEG_FLOW_BETWEEN; a test
that needs one of them skips when it is not given."""
import os
import subprocess

import numpy as np
import pytest


def textured_pair(rows, cols, shift=(0, 0), seed=7):
    """Two uint8 RGB frames of smoothed noise; the second is the first moved by shift
    (rows, columns), so its true flow is u = shift[1], v = shift[0] away from the borders."""
    rng = np.random.default_rng(seed)
    noise = rng.random((rows + 16, cols + 16, 3))
    for axis in (0, 1):  # a little smoothing gives texture that descriptors can match
        noise = (noise + np.roll(noise, 1, axis) + np.roll(noise, -1, axis)) / 3
    big = np.clip((noise - noise.min()) / np.ptp(noise) * 255, 0, 255).astype(np.uint8)
    first = big[8:8 + rows, 8:8 + cols]
    second = big[8 - shift[0]:8 - shift[0] + rows, 8 - shift[1]:8 - shift[1] + cols]
    return np.ascontiguousarray(first), np.ascontiguousarray(second)


def tool(variable):
    """The path ctest gave in an environment variable, or a skip."""
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        pytest.skip(f"{variable} is not set to an existing path")
    return path


class Octave:
    """Runs GNU Octave with the built plug-ins on the path. Arrays pass through raw files in
    column-major order, the host's own."""

    def __init__(self, folder):
        self.folder = folder
        self.cli = tool("MOTIONSEG_OCTAVE")
        self.toolbox = tool("MOTIONSEG_TOOLBOX")
        (folder / "rd.m").write_text(
            "function x = rd(name, cls, dims)\n"
            "  fid = fopen(name, 'r'); x = fread(fid, Inf, ['*' cls]); fclose(fid);\n"
            "  x = reshape(x, dims);\nend\n")
        (folder / "wr.m").write_text(
            "function wr(name, x)\n"
            "  if islogical(x), x = uint8(x); end\n"
            "  fid = fopen(name, 'w'); fwrite(fid, x, class(x)); fclose(fid);\nend\n")

    def put(self, name, array):
        """Writes array for Octave; returns the Octave expression that reads it."""
        array = np.asarray(array)
        (self.folder / name).write_bytes(array.tobytes(order="F"))
        dims = list(array.shape) + [1] * max(0, 2 - array.ndim)
        cls = "logical" if array.dtype == bool else array.dtype.name
        if cls == "logical":
            return f"logical(rd('{name}', 'uint8', {dims}))"
        return f"rd('{name}', '{cls}', {dims})"

    def get(self, name, dtype, shape):
        """An array Octave wrote with wr(name, x)."""
        data = np.fromfile(self.folder / name, dtype=dtype)
        return data.reshape(shape, order="F")

    def run(self, script):
        command = [self.cli, "--no-gui", "--norc", "--quiet", "--no-history", "--eval",
                   f"addpath('{self.toolbox}'); cd('{self.folder}'); {script}"]
        done = subprocess.run(command, capture_output=True, text=True, timeout=600)
        assert done.returncode == 0, done.stdout + done.stderr


@pytest.fixture
def octave(tmp_path):
    return Octave(tmp_path)
