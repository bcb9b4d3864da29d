#!/usr/bin/env python3
"""denseMotion against two peers on the real pairs of ../shared/data/flow, in one run.

Runs, pair by pair, denseMotion as users call it (octave-cli loading the built .mex; the time
of the call alone), then the DeepFlow and DIS (medium preset) optical flows of Debian's
python3-opencv on grey frames, with the same thread count; taking the three in turn keeps
their ratio fair on a machine whose load changes. Prints per pair and in total the
seconds of each, the ratios of our time to theirs, and the average endpoint errors (pixels
with a known reference vector, not marked invalid). Run with Debian's Python:

    /usr/bin/python3 bench/flow/compare_peers.py [--threads N[,N...]] [--toolbox DIR]
        [--data DIR] [PAIR ...]

Defaults: 2 threads, build/toolbox, ../shared/data/flow beside the project. `--threads 1,2`
runs every thread count in turn and ends with one line per count. The ratios move with the
processor, so the first line names it and its vector extensions, and a virtual machine's
host may run other guests meanwhile: each thread count's line ends with the share of the
processors' time they took (steal). Exits 0 with a note when
the data or a peer is missing.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time

import machine

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def read_flo(path):
    import numpy as np
    with open(path, 'rb') as f:
        tag, w, h = struct.unpack('<fii', f.read(12))
        data = np.fromfile(f, dtype='<f4', count=2 * w * h)
    return data.reshape(h, w, 2)


def endpoint_error(flow, truth, invalid):
    import numpy as np
    known = (np.abs(truth[..., 0]) <= 1e9) & (np.abs(truth[..., 1]) <= 1e9)
    if invalid is not None:
        known &= invalid == 0
    d = flow.astype(np.float64) - truth.astype(np.float64)
    return float(np.sqrt(d[..., 0] ** 2 + d[..., 1] ** 2)[known].mean())


def run_ours(pairs, data, toolbox, threads, out):
    """denseMotion through octave-cli: per pair its seconds; flows written as raw doubles."""
    lines = ["addpath('%s');" % toolbox]
    for p in pairs:
        d = os.path.join(data, p)
        lines.append(
            "a=double(imread('{0}/frame10.png')); b=double(imread('{0}/frame11.png'));"
            "tic; f=denseMotion(a,b); t=toc; fid=fopen('{1}/{2}.bin','w'); fwrite(fid,f,'double');"
            " fclose(fid); printf('TIME %s %.6f\\n', '{2}', t);".format(d, out, p))
    env = dict(os.environ, OMP_NUM_THREADS=str(threads))
    res = subprocess.run(['octave-cli', '--no-gui', '--norc', '--quiet', '--no-history', '--eval',
                          '\n'.join(lines)], capture_output=True, text=True, env=env)
    if res.returncode != 0:
        sys.exit('octave-cli failed:\n' + res.stderr)
    times = {}
    for line in res.stdout.splitlines():
        if line.startswith('TIME '):
            _, name, t = line.split()
            times[name] = float(t)
    return times


def compare(pairs, args, threads, cv2, np):
    """The three flows pair by pair at one thread count; (our seconds, DeepFlow's) in total."""
    cv2.setNumThreads(threads)
    deep = cv2.optflow.createOptFlow_DeepFlow()
    dis = cv2.DISOpticalFlow_create(cv2.DISOPTICAL_FLOW_PRESET_MEDIUM)

    with tempfile.TemporaryDirectory() as out:
        print('%d threads; seconds and average endpoint errors (EPE, pixels)' % threads)
        print('%-28s %8s %8s %8s %7s %7s | %7s %7s %7s' % (
            'pair', 'ours', 'DeepFlow', 'DIS', 'ours/DF', 'ours/DIS', 'EPE', 'EPE DF',
            'EPE DIS'))
        total = [0.0, 0.0, 0.0]
        epes = [[], [], []]
        for p in pairs:
            d = os.path.join(args.data, p)
            truth = read_flo(os.path.join(d, 'flow10.flo'))
            h, w = truth.shape[:2]
            invalid = None
            if os.path.exists(os.path.join(d, 'invalid10.png')):
                invalid = cv2.imread(os.path.join(d, 'invalid10.png'), cv2.IMREAD_GRAYSCALE)
            a = cv2.imread(os.path.join(d, 'frame10.png'), cv2.IMREAD_GRAYSCALE)
            b = cv2.imread(os.path.join(d, 'frame11.png'), cv2.IMREAD_GRAYSCALE)
            ours = run_ours([p], args.data, args.toolbox, threads, out)
            t0 = time.perf_counter()
            f_deep = deep.calc(a, b, None)
            t_deep = time.perf_counter() - t0
            t0 = time.perf_counter()
            f_dis = dis.calc(a, b, None)
            t_dis = time.perf_counter() - t0
            # Our flow: an M-by-N-by-2 double array written column-major.
            f_ours = np.fromfile(os.path.join(out, p + '.bin'), dtype='<f8').reshape(2, w, h)
            f_ours = f_ours.transpose(2, 1, 0)
            e = [endpoint_error(f, truth, invalid) for f in (f_ours, f_deep, f_dis)]
            t = [ours[p], t_deep, t_dis]
            for k in range(3):
                total[k] += t[k]
                epes[k].append(e[k])
            print('%-28s %8.3f %8.3f %8.3f %7.2f %7.1f | %7.3f %7.3f %7.3f' % (
                p, t[0], t[1], t[2], t[0] / t[1], t[0] / t[2], e[0], e[1], e[2]))
        mean = [sum(x) / len(x) for x in epes]
        print('%-28s %8.3f %8.3f %8.3f %7.2f %7.1f | %7.3f %7.3f %7.3f' % (
            'all pairs (EPE: mean)', total[0], total[1], total[2], total[0] / total[1],
            total[0] / total[2], mean[0], mean[1], mean[2]))
    return total[0], total[1]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--threads', default='2',
                    help='thread count, or counts separated by commas (1,2)')
    ap.add_argument('--toolbox', default=os.path.join(ROOT, 'build', 'toolbox'))
    ap.add_argument('--data', default=os.path.join(ROOT, '..', 'shared', 'data', 'flow'))
    ap.add_argument('pairs', nargs='*')
    args = ap.parse_args()
    try:
        import cv2
        import numpy as np
    except ImportError as e:
        print('compare_peers: %s (use /usr/bin/python3 with python3-opencv); skipped' % e)
        return 0
    if not os.path.isdir(args.data):
        print('compare_peers: no data folder %s; skipped' % args.data)
        return 0
    if not os.path.exists(os.path.join(args.toolbox, 'denseMotion.mex')):
        print('compare_peers: no denseMotion.mex in %s (make build first); skipped' % args.toolbox)
        return 0
    pairs = args.pairs or sorted(p for p in os.listdir(args.data)
                                 if os.path.exists(os.path.join(args.data, p, 'flow10.flo')))
    try:
        counts = [int(x) for x in args.threads.split(',')]
    except ValueError:
        counts = []
    if not counts or min(counts) < 1:
        sys.exit('compare_peers: --threads takes positive counts separated by commas')
    print(machine.processor())
    summary = []
    for n in counts:
        before = machine.processor_times()
        ours, deep = compare(pairs, args, n, cv2, np)
        summary.append((n, ours, deep, machine.steal(before, machine.processor_times())))
    for n, ours, deep, stolen in summary:
        print('%d thread%s: ours %.3f s, DeepFlow %.3f s, ours/DeepFlow %.2f%s' % (
            n, '' if n == 1 else 's', ours, deep, ours / deep, '; ' + stolen if stolen else ''))
    return 0


if __name__ == '__main__':
    sys.exit(main())
