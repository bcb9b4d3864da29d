"""integer_flow: the bits of the Octave integerFlow on the same flows, whatever their element
type and layout, and the refusals of what is no flow or is already one."""
import doctest

import numpy as np
import pytest

import motionseg

# Values where rounding, saturation and NaN decide: halves both ways, the edges of int16,
# infinities, the largest double below one half, and values beyond any int16.
EDGES = [0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 0.49999999999999994, -0.49999999999999994, -0.0,
         32766.5, 32767.4, 32767.5, -32768.4, -32768.5, -32769, 1e10, -1e300, np.inf, -np.inf,
         np.nan, 7.0, -7.25]


def flows():
    """Flows of every element type integerFlow converts, with the edge values where the type
    holds them."""
    rng = np.random.default_rng(13)
    edges = np.array(EDGES)
    made = {}
    for dtype in (np.float64, np.float32):
        f = rng.normal(scale=40000, size=(5, 9, 2))
        f.flat[:len(edges)] = edges
        f.flat[-len(edges):] = edges[::-1]
        with np.errstate(over="ignore"):  # beyond float32 they become infinities
            made[np.dtype(dtype).name] = f.astype(dtype)
    for dtype in (np.int8, np.uint8, np.uint16, np.int32, np.uint32, np.int64, np.uint64):
        info = np.iinfo(dtype)
        f = rng.integers(info.min, info.max, size=(4, 3, 2), dtype=dtype, endpoint=True)
        f.flat[:2] = [info.min, info.max]
        made[np.dtype(dtype).name] = f
    made["bool"] = rng.random((3, 4, 2)) < 0.5
    return made


def test_same_bits_as_integerFlow(octave):
    ours = {name: motionseg.integer_flow(f) for name, f in flows().items()}
    script = "".join(f"wr('{name}.out', integerFlow({octave.put(name, f)})); "
                     for name, f in flows().items())
    octave.run(script)
    for name, steps in ours.items():
        assert (steps.dtype, steps.shape) == (np.int16, flows()[name].shape)
        theirs = octave.get(f"{name}.out", np.int16, steps.shape)
        assert theirs.tobytes() == steps.tobytes(), name


def test_rounding_saturation_and_plane_order():
    # (u, v) -> (round(v), round(u)), halves away from zero.
    cases = [((2.5, -2.5), (-3, 3)), ((0.49999999999999994, 1.5), (2, 0)),
             ((np.nan, -np.inf), (-32768, 0)), ((32767.5, -32768.5), (-32768, 32767)),
             ((-0.5, 1e300), (32767, -1))]
    flow = np.array([[u for u, _ in cases]], np.float64)
    expected = np.array([[s for _, s in cases]], np.int16)
    assert np.array_equal(motionseg.integer_flow(flow), expected)
    # Any layout and view of one flow gives the same steps.
    big = np.random.default_rng(2).normal(scale=9, size=(6, 7, 2)).astype(np.float32)
    reference = motionseg.integer_flow(big)
    for view in (np.asfortranarray(big), np.repeat(big, 2, axis=1)[:, ::2]):
        assert motionseg.integer_flow(view).tobytes() == reference.tobytes()
    # Not astype: that keeps u first and truncates.
    assert not np.array_equal(reference, big.astype(np.int16))


@pytest.mark.parametrize("flow, error, text", [
    (np.zeros((2, 2, 2), np.int16), TypeError,
     "Flow is int16, the type integer_flow returns; pass the flow of dense_motion or read_flo."),
    (np.zeros((2, 2, 2), np.complex64), TypeError, "Flow must be a real numeric array of rows x "
                                                   "columns x 2 (u, then v)."),
    (np.zeros((2, 2, 2), np.float16), TypeError, "Flow must be a real numeric array"),
    (np.array([["a", "b"]]), TypeError, "Flow must be a real numeric array"),
    (None, TypeError, "Flow must be a real numeric array"),
    (np.zeros((2, 2, 3), np.float32), ValueError, "Flow must be a real numeric array"),
    (np.zeros((2, 4), np.float64), ValueError, "Flow must be a real numeric array"),
])
def test_refusals(flow, error, text):
    with pytest.raises(error) as caught:
        motionseg.integer_flow(flow)
    assert str(caught.value).startswith(text)


def test_docstring_example_and_pointers():
    examples = doctest.DocTestParser().get_doctest(
        motionseg.integer_flow.__doc__, {"np": np, "motionseg": motionseg}, "integer_flow", None, 0)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    runner.run(examples)
    assert runner.tries > 0 and runner.failures == 0
    # Every function that takes an integer flow says how to make one.
    for name in ("track_neighbours", "region_linkage", "region_motion_level"):
        assert "integer_flow(" in getattr(motionseg, name).__doc__, name
