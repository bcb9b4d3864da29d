"""Every argument that takes a list of arrays, given as other kinds of sequence: tuples, NumPy
arrays read along their first axis, lazy sequences that make a new array on every access,
sequences whose items change each time they are read, and things that are no sequence. Each
accepted kind gives exactly the result of a plain list of the items it handed out; the others
are refused with TypeError (or, for a sequence that fails while it is read, its own error)."""
from collections.abc import Sequence

import numpy as np
import pytest

import motionseg

rng = np.random.default_rng(23)


class Lazy(Sequence):
    """Makes a new array on every access, referenced by nothing else once handed out."""

    def __init__(self, items):
        self.items, self.handed = items, []

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        item = np.array(self.items[i], copy=True)  # IndexError past the end ends iteration
        self.handed.append(item.copy())
        return item


class Changing(Lazy):
    """Hands out a different array each time an item is read: the item itself, a copy with
    other values, or one of another element type or shape."""

    def __getitem__(self, i):
        item = self.items[i]
        variant = len(self.handed) % 4
        if variant == 1:
            item = np.flip(item, axis=0)
        elif variant == 2:
            item = item.astype(np.float64)
        elif variant == 3:
            item = item[:1]
        item = np.array(item, copy=True)
        self.handed.append(item.copy())
        return item


class Failing(Lazy):
    """Raises its own error when its second item is read."""

    def __getitem__(self, i):
        if i == 1:
            raise LookupError("the second item is not available")
        return super().__getitem__(i)


def plain(items):
    return list(items), list(items)


def tuple_of(items):
    return tuple(items), list(items)


def stacked(items):
    # Only items of one shape and type stack; the views it hands out are its rows.
    a = np.stack(items)
    return a, [a[i] for i in range(len(a))]


def stacked_fortran(items):
    a = np.asfortranarray(np.stack(items))
    return a, [a[i] for i in range(len(a))]


# Kinds that are sequences: the call must behave as for the list of what they handed out.
ACCEPTED = {"list": plain, "tuple": tuple_of, "array": stacked, "fortran array": stacked_fortran,
            "lazy": Lazy, "changing": Changing}
# Kinds that are no sequence of arrays.
REFUSED = {
    "generator": lambda items: (x for x in items),
    "iterator": lambda items: iter(list(items)),
    "dict": lambda items: dict(enumerate(items)),
    "set": lambda items: {id(x) for x in items},
    "string": lambda items: "labels",
    "none": lambda items: None,
    "number": lambda items: 3,
}


def label_maps(count, shape, top):
    return [rng.integers(1, top + 1, shape).astype(np.uint32) for _ in range(count)]


def flows(count, shape):
    return [rng.integers(-2, 3, shape + (2,)).astype(np.int16) for _ in range(count)]


def colour_frames(count, shape):
    return [rng.integers(0, 256, shape + (3,)).astype(np.uint8) for _ in range(count)]


def calls():
    """(function, list text, argument builders): each builder makes one sequence argument's
    items, given the frame count and shape drawn for the call."""
    return [
        (motionseg.frame_neighbours, "Label maps must be a list of uint32 arrays",
         [lambda f, s: label_maps(f, s, 6)], lambda seqs: seqs + [6]),
        (motionseg.track_neighbours, "Flow fields must be a list of int16 arrays",
         [lambda f, s: flows(f, s), lambda f, s: label_maps(f + 1, s, 6)],
         lambda seqs: seqs + [6]),
        (motionseg.region_summary, "Frames must be a list of uint8 arrays",
         [lambda f, s: colour_frames(f, s), lambda f, s: label_maps(f, s, 6)],
         lambda seqs: seqs + [6]),
    ]


def outcome(call):
    """The result of a call as comparable bytes, or the type and text of its error."""
    try:
        result = call()
    except (TypeError, ValueError, LookupError) as error:
        return type(error), str(error)
    return [(r.dtype, r.shape, r.tobytes()) for r in result]


@pytest.mark.parametrize("function, text, builders, arguments", calls(),
                         ids=lambda x: getattr(x, "__name__", None))
def test_every_sequence_kind_reads_the_items_it_hands_out(function, text, builders, arguments):
    for trial in range(40):
        count = int(rng.integers(1, 4))
        shape = (int(rng.integers(1, 6)), int(rng.integers(1, 6)))
        items = [build(count, shape) for build in builders]
        kinds = [str(rng.choice(list(ACCEPTED))) for _ in builders]
        made = [ACCEPTED[kind](its) for kind, its in zip(kinds, items)]
        given = [m if isinstance(m, Lazy) else m[0] for m in made]
        got = outcome(lambda: function(*arguments(given)))
        # What each kind handed out: the lazy kinds record it (each item read once, in order).
        for m in made:
            if isinstance(m, Lazy):
                assert len(m.handed) == len(m), (trial, kinds)
        handed = [m.handed if isinstance(m, Lazy) else m[1] for m in made]
        assert got == outcome(lambda: function(*arguments(handed))), (trial, kinds)
        # For the unchanged kinds, the items are also those of the plain lists.
        if not any(kind == "changing" for kind in kinds):
            assert got == outcome(lambda: function(*arguments(items))), (trial, kinds)


@pytest.mark.parametrize("function, text, builders, arguments", calls(),
                         ids=lambda x: getattr(x, "__name__", None))
def test_what_is_no_sequence_is_refused(function, text, builders, arguments):
    count, shape = 2, (3, 4)
    for position in range(len(builders)):
        for kind, make in REFUSED.items():
            items = [build(count, shape) for build in builders]
            seqs = list(items)
            seqs[position] = make(items[position])
            with pytest.raises(TypeError) as caught:
                function(*arguments(seqs))
            assert str(caught.value).startswith(text if position == 0 else
                                                "Label maps must be a list of uint32 arrays"), kind
        # A sequence that fails while it is read raises its own error, and nothing else.
        items = [build(count, shape) for build in builders]
        seqs = list(items)
        seqs[position] = Failing(items[position])
        with pytest.raises(LookupError, match="^the second item is not available$"):
            function(*arguments(seqs))

