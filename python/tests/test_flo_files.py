"""read_flo and write_flo: the Octave readFlo's texts for every file that is no flow, the
Octave writeFlo's bytes for float64 flows, files replaced only when written whole, and flows
without pixels handled without memory for their other size."""
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import motionseg


def header(tag, width, height):
    return tag + int(width).to_bytes(4, "little", signed=True) + \
        int(height).to_bytes(4, "little", signed=True)


FLOW = np.arange(2 * 3 * 2, dtype=np.float32).reshape(2, 3, 2) / 8
GOOD = header(b"PIEH", 3, 2) + FLOW.tobytes()
# Files that are no flow, in the order the readers check them.
DAMAGED = {
    "empty": b"",
    "short header": GOOD[:11],
    "picture": b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0",
    "other tag": b"PIEX" + GOOD[4:],
    "other tag and a bad size": header(b"HEIP", -1, 2),
    "negative width": header(b"PIEH", -3, 2),
    "too many values": header(b"PIEH", 65536, 32768),
    "zero rows, widest": header(b"PIEH", 2**31 - 1, 0),
    "zero columns, tallest": header(b"PIEH", 0, 2**30),
    "short body": GOOD[:-1],
    "huge header, tiny body": header(b"PIEH", 1 << 19, 1 << 10) + bytes(4),
}


def test_files_that_are_no_flow_get_the_texts_of_readFlo(octave, tmp_path):
    names = {}
    for k, (case, data) in enumerate(DAMAGED.items()):
        names[case] = tmp_path / f"damaged{k}.flo"
        names[case].write_bytes(data)
    script = "".join(
        f"try, readFlo('{path}'); m = 'read'; catch e, m = e.message; end; "
        f"fid = fopen('m{k}.txt', 'w'); fprintf(fid, '%s', m); fclose(fid); "
        for k, path in enumerate(names.values()))
    octave.run(script)
    for k, (case, path) in enumerate(names.items()):
        with pytest.raises(ValueError) as caught:
            motionseg.read_flo(path)
        assert str(caught.value) == (tmp_path / f"m{k}.txt").read_text(), case


def test_flows_without_pixels_keep_a_size_a_flow_can_have(tmp_path):
    for rows, cols in ((0, 3), (4, 0), (0, 0), (0, 2**30 - 1)):
        motionseg.write_flo(tmp_path / "z.flo", np.zeros((rows, cols, 2), np.float32))
        assert (tmp_path / "z.flo").read_bytes() == header(b"PIEH", cols, rows)
        back = motionseg.read_flo(tmp_path / "z.flo")
        assert (back.shape, back.dtype) == ((rows, cols, 2), np.float32)
    for rows, cols in ((0, 2**30), (2**31, 0), (1, 2**31)):
        flow = np.lib.stride_tricks.as_strided(np.zeros(2, np.float32), (rows, cols, 2), (0, 0, 4))
        with pytest.raises(ValueError, match=f"^Flow is {rows}-by-{cols}-by-2; a flow file holds "
                                             "at most 2147483647 values"):
            motionseg.write_flo(tmp_path / "big.flo", flow)
    assert not (tmp_path / "big.flo").exists()


def run_limited(script):
    """Runs script in a new interpreter with the module; returns its standard output."""
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                          text=True, timeout=120, env=dict(os.environ))
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout


def test_a_wide_flow_without_rows_takes_no_memory_for_its_width(tmp_path):
    # Under an address-space ceiling 1 GB above what the interpreter holds, a buffer of 8
    # bytes per column (4 GB) would fail.
    out = run_limited(f"""
        import resource
        import numpy as np
        import motionseg
        pages = int(open("/proc/self/statm").read().split()[0])
        ceiling = pages * resource.getpagesize() + (1 << 30)
        resource.setrlimit(resource.RLIMIT_AS, (ceiling, resource.getrlimit(resource.RLIMIT_AS)[1]))
        path = {str(tmp_path / "wide.flo")!r}
        motionseg.write_flo(path, np.zeros((0, 500_000_000, 2), np.float32))
        print(open(path, "rb").read().hex(), motionseg.read_flo(path).shape)
    """)
    assert out.split() == [header(b"PIEH", 500_000_000, 0).hex(), "(0,", "500000000,", "2)"]


def test_a_failed_write_keeps_the_old_file(tmp_path):
    # Files above 4096 bytes cannot be written in the child: the new flow's 80,012 bytes fail.
    target = tmp_path / "kept.flo"
    target.write_bytes(GOOD)
    out = run_limited(f"""
        import resource, signal
        import numpy as np
        import motionseg
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4096, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))
        try:
            motionseg.write_flo({str(target)!r}, np.ones((100, 100, 2), np.float32))
        except OSError as error:
            print(type(error).__name__, error)
    """)
    assert out == f"OSError Could not write all of {target}.\n"
    assert target.read_bytes() == GOOD
    assert [p.name for p in tmp_path.iterdir()] == ["kept.flo"]  # no temporary left behind
    # A write that succeeds replaces the file whole, with the permissions of a new file.
    flow = np.ones((100, 100, 2), np.float32)
    motionseg.write_flo(target, flow)
    assert np.array_equal(motionseg.read_flo(target), flow)
    mask = os.umask(0)
    os.umask(mask)
    assert os.stat(target).st_mode & 0o777 == 0o666 & ~mask
    assert [p.name for p in tmp_path.iterdir()] == ["kept.flo"]


def test_float64_flows_are_stored_as_writeFlo_stores_them(octave, tmp_path):
    rng = np.random.default_rng(5)
    flow = rng.normal(scale=50, size=(4, 5, 2))
    flow[0, :, 0] = [np.nan, np.inf, -np.inf, 1e39, -3.5e38]  # beyond single precision too
    flow[1, :, 1] = [0.1, -0.0, 1e-46, 3.4028235e38, 2**-149]
    motionseg.write_flo(tmp_path / "ours.flo", flow)
    motionseg.write_flo(tmp_path / "fortran.flo", np.asfortranarray(flow))
    octave.run(f"writeFlo('theirs.flo', {octave.put('flow', flow)});")
    ours = (tmp_path / "ours.flo").read_bytes()
    assert ours == (tmp_path / "theirs.flo").read_bytes()
    assert ours == (tmp_path / "fortran.flo").read_bytes()
