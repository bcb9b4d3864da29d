"""`pip install .` as a user without a package index runs it: into a fresh virtual environment
that sees the system's packages (NumPy, pybind11, setuptools), building from this checkout
through CMake; the installed module is then used from another folder."""
import os
import pathlib
import subprocess
import sys
import textwrap

import numpy as np
import pytest

from conftest import textured_pair

ROOT = pathlib.Path(__file__).resolve().parents[2]


def run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, timeout=1500, **kwargs)
    assert done.returncode == 0, " ".join(map(str, command)) + "\n" + done.stdout + done.stderr
    return done.stdout


def test_pip_install_into_a_fresh_environment_gives_the_plugins_flow(tmp_path, octave):
    for needed in ("venv", "pip", "setuptools"):
        if subprocess.run([sys.executable, "-c", f"import {needed}"]).returncode != 0:
            pytest.skip(f"{sys.executable} has no {needed}")
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME")}
    venv = tmp_path / "venv"
    run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", str(venv)])
    python = venv / "bin" / "python"
    run([str(python), "-m", "pip", "install", "--no-build-isolation", "--no-index", "--quiet",
         str(ROOT)], env=dict(env, MOTIONSEG_BUILD_DIR=str(tmp_path / "build")), cwd=tmp_path)

    first, second = textured_pair(40, 56, shift=(2, -1))
    np.save(tmp_path / "first.npy", first)
    np.save(tmp_path / "second.npy", second)
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    script = textwrap.dedent(f"""
        import importlib.metadata, numpy as np, motionseg
        print(motionseg.__file__)
        print(importlib.metadata.version("motionseg"), motionseg.__version__)
        flow = motionseg.dense_motion(np.load({str(tmp_path / 'first.npy')!r}),
                                      np.load({str(tmp_path / 'second.npy')!r}))
        np.save("flow.npy", flow)
    """)
    out = run([str(python), "-c", script], env=env, cwd=elsewhere).splitlines()
    # The installed module, not one of a build folder.
    assert pathlib.Path(out[0]).resolve().is_relative_to(venv.resolve()), out[0]
    version = (ROOT / "VERSION").read_text().split()[0]
    assert out[1] == f"{version} {version}"
    installed = np.load(elsewhere / "flow.npy")

    # The plug-in's flow of the same frames (double holding the single-precision values).
    script = (f"f = denseMotion(double({octave.put('a.raw', first)}), "
              f"double({octave.put('b.raw', second)})); wr('f.raw', single(f));")
    octave.run(script)
    plugin = octave.get("f.raw", np.float32, first.shape[:2] + (2,))
    assert installed.dtype == np.float32 and installed.shape == plugin.shape
    assert installed.tobytes() == np.ascontiguousarray(plugin).tobytes()
