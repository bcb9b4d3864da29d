#!/usr/bin/env python3
"""The toolbox's steps on a folder of frames, with a picture of each step: the Python twin of
the Octave function motionseg_example (the same steps, the same summary.txt).

    python3 motionseg_example.py FOLDER [--cell 16]

For every pair of consecutive frames of FOLDER (PNG or JPEG, in natural order of their names):
the dense flow and its picture (flow_K.png), its whole-pixel steps (integer_flow), grid
superpixels (or those of your own function, see superpixels below), the mean motion of every
superpixel painted over its pixels (motion_K.png), the flow-based links to the next frame's
superpixels, and the crossing counts of the motion boundaries (crossings_K.png, each count
0..8 drawn as 31 times its value). Everything goes to FOLDER/motionseg_example/, beside the
frames. Pictures are written with OpenCV (python3-opencv) when it is installed."""
import argparse
import os
import sys

import numpy as np

import motionseg


def grid_labels(frame, cell_size):
    """Labels 1..n of a grid of cell_size x cell_size cells, row by row."""
    rows, cols = frame.shape[:2]
    r, c = np.indices((rows, cols))
    columns = -(-cols // cell_size)
    return (r // cell_size) * columns + (c // cell_size) + 1


def write_picture(path, picture):
    try:
        import cv2
    except ImportError:
        return
    picture = np.asarray(picture)
    cv2.imwrite(path, picture[..., ::-1] if picture.ndim == 3 else picture)


def run(folder, cell_size=16, superpixels=None):
    """Runs the steps on folder; superpixels(frame) -> H x W labels 1..n replaces the grid.
    Returns the lines of summary.txt."""
    if not hasattr(motionseg, "integer_flow"):
        raise RuntimeError("this build of motionseg has no integer_flow")
    names = motionseg.list_frames(folder)
    if len(names) < 2:
        raise ValueError(f"{folder} holds fewer than two PNG or JPEG frames.")
    out = os.path.join(folder, "motionseg_example")
    os.makedirs(out, exist_ok=True)
    label = superpixels or (lambda frame: grid_labels(frame, cell_size))
    summary = []
    second = motionseg.read_frame(names[0])
    for k in range(1, len(names)):
        first, second = second, motionseg.read_frame(names[k])
        # 1-2. Flow, its picture, its whole-pixel steps.
        flow = motionseg.dense_motion(first, second)
        write_picture(os.path.join(out, f"flow_{k}.png"), motionseg.flow_to_colour(flow))
        steps = motionseg.integer_flow(flow)
        # 3. Superpixels of both frames, numbered across the two for track_neighbours.
        labels1 = np.asarray(label(first))
        labels2 = np.asarray(label(second))
        n1, n2 = int(labels1.max()), int(labels2.max())
        # 4. Mean motion of every superpixel, painted over its pixels.
        level = motionseg.region_motion_level(steps, labels1.astype(np.uint16), n1)
        fastest = int(np.argmax(level))
        painted = np.where(labels1 > 0, level[np.maximum(labels1, 1) - 1], 0)
        scale = max(float(level[fastest]), float(np.finfo(np.float32).eps))
        write_picture(os.path.join(out, f"motion_{k}.png"),
                      np.floor(255 * painted / scale + 0.5).astype(np.uint8))  # as uint8() rounds
        # 5. Links to the next frame's superpixels.
        shifted = np.where(labels2 > 0, labels2 + n1, 0)
        source, _, _ = motionseg.track_neighbours(
            [steps], [labels1.astype(np.uint32), shifted.astype(np.uint32)], n1 + n2)
        # 6. Motion boundaries and their crossing counts.
        right = np.concatenate([steps[:, 1:], steps[:, -1:]], axis=1)
        below = np.concatenate([steps[1:], steps[-1:]], axis=0)
        moved = (right != steps).any(axis=2) | (below != steps).any(axis=2)
        counts = motionseg.crossing_counts(moved.astype(np.uint8) * 255)
        write_picture(os.path.join(out, f"crossings_{k}.png"), (31 * counts).astype(np.uint8))
        summary.append(f"pair {k}: {n1} superpixels, fastest {fastest + 1} "
                       f"({float(level[fastest]):.4f} px), {len(source)} links, "
                       f"{int(moved.sum())} boundary pixels, {int(counts.sum(dtype=np.int64))} "
                       "crossing votes")
        print(summary[-1])
    with open(os.path.join(out, "summary.txt"), "w") as f:
        f.write("".join(line + "\n" for line in summary))
    print(f"Pictures and summary.txt are in {out}")
    return summary


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder", help="folder of PNG or JPEG frames")
    parser.add_argument("--cell", type=int, default=16, help="grid cell side in pixels")
    options = parser.parse_args(argv)
    run(options.folder, options.cell)


if __name__ == "__main__":
    sys.exit(main())
