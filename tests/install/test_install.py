"""The build installed into a temporary prefix, and used from there as a user would: the
manual pages rendered by man, flow_video and flow_between run from PREFIX/bin, the Slurm job
script, the Python module on PYTHONPATH and the toolbox in GNU Octave. Every flow of the same
frame pair must be the same bytes."""
import os
import pathlib
import subprocess
import sys

import pytest

np = pytest.importorskip("numpy")
cv2 = pytest.importorskip("cv2")

BUILD = os.environ.get("MOTIONSEG_BUILD")
VERSION = os.environ.get("MOTIONSEG_VERSION")
PROGRAMS = ("flow_between", "flow_video")


def run(command, **kwargs):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True,
                          timeout=600, **kwargs)
    assert done.returncode == 0, " ".join(map(str, command)) + "\n" + done.stdout + done.stderr
    return done.stdout


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    if not BUILD:
        pytest.skip("MOTIONSEG_BUILD names no build folder")
    prefix = tmp_path_factory.mktemp("prefix")
    run(["cmake", "--install", BUILD, "--prefix", prefix])
    return prefix


@pytest.fixture(scope="module")
def frames(tmp_path_factory):
    """Three frames of smoothed noise moving right by one pixel per frame, as PNG files."""
    folder = tmp_path_factory.mktemp("frames")
    rng = np.random.default_rng(5)
    noise = rng.random((48, 80, 3))
    for axis in (0, 1):
        noise = (noise + np.roll(noise, 1, axis) + np.roll(noise, -1, axis)) / 3
    big = np.round((noise - noise.min()) / np.ptp(noise) * 255).astype(np.uint8)
    for i in range(3):
        assert cv2.imwrite(str(folder / f"frame{i + 1}.png"), big[8:40, 8 - i:72 - i][..., ::-1])
    return folder


@pytest.fixture(scope="module")
def reference(prefix, frames, tmp_path_factory):
    """flow_between's flow of the first pair, run from the prefix."""
    out = tmp_path_factory.mktemp("pair") / "pair.flo"
    run([prefix / "bin" / "flow_between", "--threads", "1", frames / "frame1.png",
         frames / "frame2.png", out])
    return out.read_bytes()


@pytest.mark.parametrize("program", PROGRAMS)
def test_the_manual_page_renders(prefix, program):
    page = prefix / "share" / "man" / "man1" / f"{program}.1"
    env = dict(os.environ, MANPATH=str(prefix / "share" / "man"), MANWIDTH="100")
    by_name = run(["man", "-P", "cat", program], env=env)
    assert run(["man", "-P", "cat", "-l", page], env=env) == by_name
    help_text = run([prefix / "bin" / program, "--help"])
    # The usage line and every option of --help are in the page.
    usage = help_text.splitlines()[0].replace("Usage: ", "")
    assert usage in " ".join(by_name.split())
    for line in help_text.splitlines():
        if line.startswith("  --"):
            assert line.split()[0] in by_name, line
    assert f"motionseg {VERSION}" in by_name


def test_flow_video_and_the_slurm_script_run_from_the_prefix(prefix, frames, reference, tmp_path):
    run([prefix / "bin" / "flow_video", "--quiet", "--threads", "1", frames, tmp_path / "video"])
    assert (tmp_path / "video" / "frame1.flo").read_bytes() == reference
    assert (tmp_path / "video" / "frame2.flo").exists()
    script = prefix / "share" / "motionseg" / "flow_video_slurm.sh"
    assert os.access(script, os.X_OK)
    # One task of a two-task array, as Slurm would start it.
    env = dict(os.environ, FLOW_VIDEO=str(prefix / "bin" / "flow_video"), SLURM_ARRAY_TASK_ID="0",
               SLURM_ARRAY_TASK_COUNT="2", SLURM_ARRAY_TASK_MIN="0", SLURM_CPUS_PER_TASK="1")
    run([script, frames, tmp_path / "slurm", "--quiet"], env=env)
    assert (tmp_path / "slurm" / "frame1.flo").read_bytes() == reference
    assert not (tmp_path / "slurm" / "frame2.flo").exists()  # the other task's pair


def test_the_python_module_imports_from_the_prefix(prefix, frames, reference, tmp_path):
    found = sorted(prefix.glob("lib/python*/site-packages/motionseg*"))
    if not found:
        pytest.skip("the build has no Python module")
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env["PYTHONPATH"] = str(found[0].parent)
    script = ("import sys, cv2, motionseg; print(motionseg.__file__); "
              "a, b = (cv2.imread(sys.argv[i])[..., ::-1] for i in (1, 2)); "
              "motionseg.write_flo(sys.argv[3], motionseg.dense_motion(a, b, threads=1))")
    out = run([sys.executable, "-c", script, frames / "frame1.png", frames / "frame2.png",
               tmp_path / "python.flo"], env=env, cwd=tmp_path)
    assert pathlib.Path(out.strip()).resolve() == found[0].resolve()
    assert (tmp_path / "python.flo").read_bytes() == reference


def test_the_toolbox_runs_from_the_prefix(prefix, frames, reference, tmp_path):
    octave = os.environ.get("MOTIONSEG_OCTAVE")
    if not octave:
        pytest.skip("no GNU Octave")
    toolbox = prefix / "share" / "motionseg" / "toolbox"
    script = (f"addpath('{toolbox}'); assert(strcmp(fileparts(which('denseMotion')), '{toolbox}')); "
              f"f = denseMotion(double(imread('{frames}/frame1.png')), "
              f"double(imread('{frames}/frame2.png'))); writeFlo('{tmp_path}/octave.flo', f);")
    run([octave, "--no-gui", "--norc", "--quiet", "--no-history", "--eval", script], cwd=tmp_path)
    assert (tmp_path / "octave.flo").read_bytes() == reference


# (toolbox folder under the test's own folder or the prefix's, what the demo says of the
# program). PATH holds no flow_between in either case.
DEMO_CASES = [
    ("installed", "flow_between's flow differs from denseMotion's by at most 0 px; its picture "
                  "is identical to flowToColour's"),
    ("copied", "flow_between is not installed"),
]


@pytest.mark.parametrize("where, says", DEMO_CASES)
def test_the_demo_finds_the_installed_program_and_keeps_the_callers_timer(prefix, tmp_path, where,
                                                                           says):
    octave = os.environ.get("MOTIONSEG_OCTAVE")
    if not octave:
        pytest.skip("no GNU Octave")
    toolbox = prefix / "share" / "motionseg" / "toolbox"
    if where == "copied":
        run(["cp", "-r", toolbox, tmp_path / "toolbox"])
        toolbox = tmp_path / "toolbox"
    # The caller's timer runs from before the demo's own stopwatch starts, so unless the demo
    # restarted it, it shows at least the demo's time.
    script = (f"addpath('{toolbox}'); tic; own = tic; motionseg_demo('{tmp_path}/out'); "
              "spent = toc(own); caller = toc; printf('caller timer kept: %d\\n', caller >= spent);")
    env = dict(os.environ, PATH="/usr/bin:/bin")
    out = run([octave, "--no-gui", "--norc", "--quiet", "--no-history", "--eval", script],
              cwd=tmp_path, env=env)
    assert says in out, out
    assert "caller timer kept: 1" in out, out
