"""The crossing counts, level-set steps, binary codes and the colour legend from Python, each
against its plug-in (or helper) in GNU Octave on the same inputs: the same bits, and the same
texts for the same faults."""
import warnings

import numpy as np
import pytest

motionseg = pytest.importorskip("motionseg")

RNG = np.random.default_rng(11)


def field(rows, cols):
    return RNG.standard_normal((rows, cols))


def labels_with_gaps():
    labels = RNG.integers(1, 6, (9, 11)).astype(np.uint16)
    labels[RNG.random(labels.shape) < 0.4] = 0
    labels[0:3, 0:3] = 0  # a pixel (1, 1) with no labelled neighbour
    return labels


def blocky_image():
    image = RNG.integers(0, 4, (13, 17)).astype(np.uint8) * 60
    image[3:9, 4:12] = 200
    return image


PHI = field(10, 12)
PARTIALS = motionseg.surface_partials(PHI)
CODES_A = RNG.random((37, 5)) > 0.5
CODES_B = RNG.random((37, 7)) > 0.5
TROUGH_FIELD = RNG.integers(0, 5, (9, 10)).astype(np.float64)  # ties test the search order

# (name, python function, inputs, Octave call with x1, x2, ... for the inputs and the number of
# outputs). Python's trough_points positions are 0-based, Octave's 1-based.
CASES = [
    ("crossing_counts", motionseg.crossing_counts, [blocky_image()], "crossingCounts(x1)", 1),
    ("crossing_runs", motionseg.crossing_runs, [blocky_image()], "crossingRuns(x1)", 1),
    ("crossing_counts_column", motionseg.crossing_counts,
     [RNG.integers(0, 255, 23).astype(np.uint8)], "crossingCounts(x1)", 1),
    ("surface_partials", motionseg.surface_partials, [PHI], "surface_partials(x1)", 5),
    ("surface_slope", motionseg.surface_slope, [PHI, field(10, 12)], "surface_slope(x1, x2)", 1),
    # An S with more elements than phi: both read its first 120 in column-major order.
    ("surface_slope_longer_speed", motionseg.surface_slope, [PHI, field(12, 11)],
     "surface_slope(x1, x2)", 1),
    ("front_velocity", motionseg.front_velocity,
     list(PARTIALS) + [field(10, 12), field(10, 12), field(10, 12), 0.7],
     "front_velocity(x1, x2, x3, x4, x5, x6, x7, x8, x9)", 1),
    ("sign_flip", motionseg.sign_flip, [np.where(RNG.random((8, 9)) < 0.1, np.nan, field(8, 9))],
     "sign_flip(x1)", 1),
    ("trough_points_1", lambda v, r: tuple(p + 1 for p in motionseg.trough_points(v, r)),
     [TROUGH_FIELD, 1.0], "trough_points(x1, x2)", 2),
    ("trough_points_2", lambda v, r: tuple(p + 1 for p in motionseg.trough_points(v, r)),
     [TROUGH_FIELD, 2.9], "trough_points(x1, x2)", 2),
    ("label_gap_fill", motionseg.label_gap_fill, [labels_with_gaps()], "labelGapFill(x1)", 1),
    ("bitcode_distance", motionseg.bitcode_distance, [CODES_A, CODES_B],
     "bitcode_distance(x1, x2)", 1),
    ("flow_colour_wheel_odd", motionseg.flow_colour_wheel, [31], "flowColourWheel(x1)", 1),
    ("flow_colour_wheel_even", motionseg.flow_colour_wheel, [24], "flowColourWheel(x1)", 1),
    ("flow_colour_wheel_default", motionseg.flow_colour_wheel, [], "flowColourWheel()", 1),
]


def octave_outputs(octave, call, inputs, count, shapes, dtypes):
    names = []
    for k, value in enumerate(inputs):
        names.append(octave.put(f"in{k}", np.asarray(value, dtype=float)
                                if isinstance(value, (int, float)) else value))
    script = "".join(f"x{k + 1} = {expression}; " for k, expression in enumerate(names))
    outputs = ", ".join(f"o{k}" for k in range(count))
    script += f"[{outputs}] = {call}; "
    script += "".join(f"wr('o{k}', o{k}); " for k in range(count))
    octave.run(script)
    return [octave.get(f"o{k}", dtype, shape) for k, (dtype, shape) in
            enumerate(zip(dtypes, shapes))]


@pytest.mark.parametrize("name, function, inputs, call, count", CASES, ids=[c[0] for c in CASES])
def test_same_bits_as_the_plugin(octave, name, function, inputs, call, count):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        result = function(*inputs)
    results = list(result) if isinstance(result, tuple) else [result]
    assert len(results) == count
    # Octave writes logical as bytes and every number in its class.
    dtypes = [np.uint8 if r.dtype == bool else r.dtype for r in results]
    expected = octave_outputs(octave, call, inputs, count,
                              [r.shape if r.ndim > 1 else r.shape + (1,) for r in results],
                              [np.float64 if r.dtype == np.int64 else d
                               for r, d in zip(results, dtypes)])
    for got, want in zip(results, expected):
        got = got.astype(np.float64) if got.dtype == np.int64 else got
        got = got.astype(np.uint8) if got.dtype == bool else got
        assert got.tobytes(order="F") == np.asarray(want).reshape(got.shape, order="F") \
            .tobytes(order="F"), name
    # A case that computes nothing would pass trivially: each case has something to compare.
    assert any(np.any(r != 0) for r in results), name


def test_label_gap_fill_warns_with_the_text_the_plugin_prints(octave):
    labels = labels_with_gaps()
    with pytest.warns(UserWarning) as caught:
        motionseg.label_gap_fill(labels)
    assert len(caught) == 1
    octave.run(f"l = {octave.put('l', labels)}; t = evalc('y = labelGapFill(l);'); "
               "fid = fopen('text', 'w'); fwrite(fid, t); fclose(fid);")
    assert str(caught[0].message) == (octave.folder / "text").read_text()


def test_trough_points_positions_index_the_minimum():
    rows, cols = motionseg.trough_points(TROUGH_FIELD, 1)
    m, n = TROUGH_FIELD.shape
    for i in range(1, m - 1):
        for j in range(1, n - 1):
            window = TROUGH_FIELD[i - 1:i + 2, j - 1:j + 2]
            assert TROUGH_FIELD[rows[i, j], cols[i, j]] == window.min()
    assert (rows[0] == -1).all() and (cols[:, -1] == -1).all()


# Faults raised by both front ends: (Python call, exception, Octave call). The texts must agree.
FAULTS = [
    (lambda: motionseg.crossing_counts(np.zeros((3, 3), np.int8)), TypeError,
     "crossingCounts(int8(zeros(3)))"),
    (lambda: motionseg.crossing_runs(np.zeros((3, 3, 2), np.uint8)), ValueError,
     "crossingRuns(zeros(3, 3, 2, 'uint8'))"),
    (lambda: motionseg.crossing_counts(np.zeros((1, 40000), np.uint8)), ValueError,
     "crossingCounts(zeros(1, 40000, 'uint8'))"),
    (lambda: motionseg.surface_slope(np.zeros((3, 3)), np.zeros(4)), ValueError,
     "surface_slope(zeros(3), zeros(1, 4))"),
    (lambda: motionseg.surface_partials(np.zeros((3, 3), np.float32)), TypeError,
     "surface_partials(single(zeros(3)))"),
    (lambda: motionseg.front_velocity(*[np.zeros((3, 3))] * 8, np.zeros(2)), ValueError,
     "front_velocity(zeros(3), zeros(3), zeros(3), zeros(3), zeros(3), zeros(3), zeros(3), "
     "zeros(3), [1 2])"),
    (lambda: motionseg.front_velocity(*[np.zeros((3, 3))] * 8, "w"), TypeError,
     "front_velocity(zeros(3), zeros(3), zeros(3), zeros(3), zeros(3), zeros(3), zeros(3), "
     "zeros(3), 'w')"),
    (lambda: motionseg.sign_flip(np.zeros((3, 3), complex)), TypeError,
     "sign_flip(complex(zeros(3), 1))"),
    (lambda: motionseg.trough_points(np.zeros((3, 3)), np.zeros(0)), ValueError,
     "trough_points(zeros(3), [])"),
    (lambda: motionseg.label_gap_fill(np.zeros((3, 3), np.uint8)), TypeError,
     "labelGapFill(zeros(3, 'uint8'))"),
    (lambda: motionseg.label_gap_fill(np.zeros((2, 2, 2), np.uint16)), ValueError,
     "labelGapFill(zeros(2, 2, 2, 'uint16'))"),
    (lambda: motionseg.bitcode_distance(np.zeros((3, 2), bool), np.zeros((3, 2))), TypeError,
     "bitcode_distance(false(3, 2), zeros(3, 2))"),
    (lambda: motionseg.bitcode_distance(np.zeros((3, 2), bool), np.zeros((4, 2), bool)),
     ValueError, "bitcode_distance(false(3, 2), false(4, 2))"),
    (lambda: motionseg.flow_colour_wheel(2), ValueError, "flowColourWheel(2)"),
    (lambda: motionseg.flow_colour_wheel(7.5), ValueError, "flowColourWheel(7.5)"),
]


def test_faults_have_the_plugins_texts(octave):
    texts = []
    for call, kind, _ in FAULTS:
        with pytest.raises(kind) as fault:
            call()
        texts.append(str(fault.value))
    # One Octave session for every fault: each message without the "NAME: " prefix.
    script = "fid = fopen('faults', 'w'); "
    for _, _, call in FAULTS:
        script += (f"try, {call}; fprintf(fid, 'no error\\n'); catch e, m = e.message; "
                   "k = strfind(m, ': '); if ~isempty(k) && ~any(m(1:k(1)) == ' '), "
                   "m = m(k(1) + 2:end); end; fprintf(fid, '%s\\n', m); end; ")
    script += "fclose(fid);"
    octave.run(script)
    assert (octave.folder / "faults").read_text().splitlines() == texts
