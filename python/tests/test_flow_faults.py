"""Faults found in the flow functions: flows that are not finite returned as success, frames
of 0..1 accepted without a word, and unknown-flow markers that turned the colour picture
black. Each case failed before its mend."""
import warnings

import numpy as np
import pytest

import motionseg
from conftest import textured_pair

FIRST, SECOND = textured_pair(24, 32, shift=(1, 2))


@pytest.mark.parametrize("frames, parameters, text", [
    ((FIRST, SECOND), dict(gamma=1e38), "gamma = 1e+38 is far too large"),
    ((FIRST, SECOND), dict(beta=1e38, gamma=1e38), "beta = 1e+38, gamma = 1e+38 is far too"),
    ((FIRST * 1e30, SECOND * 1e30), {}, "the frames hold values from 0 to 2.55e+32"),
])
def test_flow_that_is_not_finite_is_refused(frames, parameters, text):
    with pytest.raises(ValueError, match="values that are not finite numbers: ") as caught:
        motionseg.dense_motion(*frames, **parameters)
    assert text in str(caught.value)


FLAT = np.full(FIRST.shape, 0.5)
OVER = SECOND / 255.0
OVER[0, 0, 0] = 1.5


@pytest.mark.parametrize("first, second, warned", [
    (FIRST / 255.0, SECOND / 255.0, True),
    ((FIRST / 255.0).astype(np.float32), (SECOND / 255.0).astype(np.float32), True),
    (FIRST / 255.0, FLAT, True),
    (FIRST, SECOND, False),
    (FIRST.astype(np.float64), SECOND.astype(np.float64), False),
    (FLAT, FLAT, False),
    (FIRST / 255.0, OVER, False),
])
def test_frames_of_zero_to_one_warn_and_keep_their_flow(first, second, warned):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        flow = motionseg.dense_motion(first, second)
    ours = [w for w in caught if "lie within 0..1" in str(w.message)]
    assert len(ours) == (1 if warned else 0)
    assert all(w.category is UserWarning for w in ours)
    # The warning changes nothing: the flow is the one the call computes with it silenced.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        assert motionseg.dense_motion(first, second).tobytes() == flow.tobytes()
    # A script can turn it into an error.
    if warned:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            with pytest.raises(UserWarning):
                motionseg.dense_motion(first, second)


def marked_flow():
    """A float64 flow with fractions, NaN, and unknown markers (1e10 as in ground truth, -1e10
    in one component, infinity, 8e8 in both components)."""
    y, x = np.mgrid[-3:4, -4:5].astype(np.float64)
    flow = np.dstack([x / 3, y / 7])
    flow[1, 2] = 1e10
    flow[4, 6, 0] = -1e10
    flow[6, 8] = np.inf
    flow[0, 5] = 8e8
    flow[3, 3, 1] = np.nan
    unknown = np.zeros(flow.shape[:2], bool)
    unknown[[1, 4, 6, 0], [2, 6, 8, 5]] = True
    return flow, unknown


@pytest.mark.parametrize("saturation", [None, 0.5, 4.0])
def test_unknown_flow_is_white_and_left_out_of_the_saturation(saturation):
    flow, unknown = marked_flow()
    picture = motionseg.flow_to_colour(flow, saturation=saturation)
    assert (picture[unknown] == 255).all()
    # Every other pixel: the colour of the flow with the markers made NaN, saturated at the
    # longest known vector (the markers used to set it, and the picture was black).
    reference = flow.copy()
    reference[unknown] = np.nan
    single = reference.astype(np.float32)
    longest = np.nanmax(np.hypot(single[..., 0], single[..., 1]))
    expected = motionseg.flow_to_colour(reference, saturation=saturation or float(longest))
    assert np.array_equal(picture[~unknown], expected[~unknown])
    assert np.count_nonzero(picture[~unknown]) > 50


def test_float64_flow_gives_the_pictures_of_float32_and_of_the_plugin(octave):
    flow, _ = marked_flow()
    single = flow.astype(np.float32)
    for saturation in (None, 2.5):
        assert np.array_equal(motionseg.flow_to_colour(flow, saturation=saturation),
                              motionseg.flow_to_colour(single, saturation=saturation))
    octave.run(f"f = {octave.put('f', flow)}; wr('a', flowToColour(f)); "
               f"wr('b', flowToColour(f, 2.5));")
    for name, saturation in (("a", None), ("b", 2.5)):
        theirs = octave.get(name, np.uint8, flow.shape[:2] + (3,))
        assert np.array_equal(motionseg.flow_to_colour(flow, saturation=saturation), theirs)
    with pytest.raises(TypeError, match="float32 or float64"):
        motionseg.flow_to_colour(np.zeros((2, 2, 2), np.int16))
