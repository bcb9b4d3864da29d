#!/usr/bin/env python3
"""flow_video on the consecutive frames of a generated video against the DeepFlow optical
flow of Debian's python3-opencv over the same pairs, in one run, in frames per second.

The video: crops of 768 x 576 pixels out of a real frame of the shared data (Sintel's
market_5 frame 10, scaled up 1.6 times), the camera panning by (3, -2) pixels and zooming in
by 0.3% per frame, so every pair holds real texture under a smooth, slightly non-uniform
motion. Times, alternating the configurations run after run (best of --repeats each):
flow_video in one process at 2 threads, flow_video as two single-thread shards started at
once, DeepFlow at 2 threads and at 1 thread on the grey frames; with --baseline, the same two
flow_video configurations of another build (e.g. main's). Prints the CPU model and its vector
extensions first, and last the share of the processors' time that other guests of the host
took over the runs (steal). Run with Debian's Python:

    /usr/bin/python3 bench/flow/compare_video.py [--frames N] [--repeats R]
        [--flow-video PATH] [--baseline PATH] [--data DIR]

Defaults: 21 frames (20 pairs), 2 repeats, build/apps/flow_video, ../shared/data/flow beside
the project. Exits 0 with a note when the data, OpenCV or the program is missing.
"""
import argparse
import itertools
import os
import subprocess
import sys
import tempfile
import time

import machine

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WIDTH, HEIGHT = 768, 576
SOURCE = os.path.join('sintel_market_5_0002_clean', 'frame10.png')
def write_video(cv2, np, source, folder, frames):
    """The frames as PNG files frame000.png ... in folder; returns the grey frames."""
    image = cv2.imread(source, cv2.IMREAD_COLOR)
    image = cv2.resize(image, None, fx=1.6, fy=1.6, interpolation=cv2.INTER_CUBIC)
    h, w = image.shape[:2]
    grey = []
    for k in range(frames):
        zoom = 1.0 + 0.003 * k
        # The crop's centre moves by (3, -2) pixels per frame.
        cx, cy = w / 2 - 30 + 3 * k, h / 2 + 20 - 2 * k
        m = np.array([[zoom, 0, WIDTH / 2 - zoom * cx], [0, zoom, HEIGHT / 2 - zoom * cy]])
        frame = cv2.warpAffine(image, m, (WIDTH, HEIGHT), flags=cv2.INTER_LINEAR,
                               borderMode=cv2.BORDER_REFLECT)
        cv2.imwrite(os.path.join(folder, 'frame%03d.png' % k), frame)
        grey.append(cv2.cvtColor(frame, cv2.COLOR_BGR2GRAY))
    return grey


def time_flow_video(program, frames, out, shards):
    """Seconds for flow_video (one process at 2 threads, or `shards` single-thread shards at
    once) to write the flows of every pair into a fresh folder."""
    if shards == 1:
        commands = [[program, '--quiet', '--threads', '2', frames, out]]
    else:
        commands = [[program, '--quiet', '--threads', '1', '--shard', '%d/%d' % (k, shards),
                     frames, out] for k in range(shards)]
    start = time.perf_counter()
    running = [subprocess.Popen(c) for c in commands]
    codes = [p.wait() for p in running]
    seconds = time.perf_counter() - start
    if any(codes):
        sys.exit('flow_video failed: %s' % ' '.join(commands[0]))
    return seconds


def time_peer(cv2, grey, threads):
    cv2.setNumThreads(threads)
    deep = cv2.optflow.createOptFlow_DeepFlow()
    start = time.perf_counter()
    for a, b in zip(grey, grey[1:]):
        deep.calc(a, b, None)
    return time.perf_counter() - start


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--frames', type=int, default=21)
    ap.add_argument('--repeats', type=int, default=2)
    ap.add_argument('--flow-video', default=os.path.join(ROOT, 'build', 'apps', 'flow_video'))
    ap.add_argument('--baseline', help='another flow_video to time beside it')
    ap.add_argument('--data', default=os.path.join(ROOT, '..', 'shared', 'data', 'flow'))
    args = ap.parse_args()
    try:
        import cv2
        import numpy as np
    except ImportError as e:
        print('compare_video: %s (use /usr/bin/python3 with python3-opencv); skipped' % e)
        return 0
    source = os.path.join(args.data, SOURCE)
    if not os.path.exists(source):
        print('compare_video: no %s; skipped' % source)
        return 0
    if not os.access(args.flow_video, os.X_OK):
        print('compare_video: no %s (make build first); skipped' % args.flow_video)
        return 0
    programs = [('flow_video', args.flow_video)]
    if args.baseline:
        programs.append(('baseline', args.baseline))
    pairs = args.frames - 1
    print(machine.processor())
    with tempfile.TemporaryDirectory() as work:
        frames = os.path.join(work, 'frames')
        os.mkdir(frames)
        grey = write_video(cv2, np, source, frames, args.frames)
        print('%d frames of %d x %d (%d pairs), best of %d runs, alternating' % (
            args.frames, WIDTH, HEIGHT, pairs, args.repeats))
        runs = itertools.count()
        configurations = []
        for name, program in programs:
            for shards in (1, 2):
                label = '%s, %s' % (name, '1 process, 2 threads' if shards == 1 else
                                    '2 shards of 1 thread')
                # Every run writes into a fresh folder, so nothing is skipped as complete.
                configurations.append((label, lambda p=program, s=shards: time_flow_video(
                    p, frames, os.path.join(work, 'out%d' % next(runs)), s)))
        configurations.append(('DeepFlow, 2 threads', lambda: time_peer(cv2, grey, 2)))
        configurations.append(('DeepFlow, 1 thread', lambda: time_peer(cv2, grey, 1)))
        best = {label: float('inf') for label, _ in configurations}
        before = machine.processor_times()
        for _ in range(args.repeats):
            for label, run in configurations:
                best[label] = min(best[label], run())
        peer = best['DeepFlow, 2 threads']
        print('%-40s %9s %9s %11s' % ('configuration', 'seconds', 'frames/s', 'x DeepFlow 2'))
        for label, _ in configurations:
            print('%-40s %9.2f %9.2f %11.2f' % (label, best[label], pairs / best[label],
                                                 best[label] / peer))
        stolen = machine.steal(before, machine.processor_times())
        if stolen:
            print('over the runs: ' + stolen)
    return 0


if __name__ == '__main__':
    sys.exit(main())
