#!/usr/bin/env python3
"""The notebook way, side by side with MIRANTOS in one run.

Runs analysis_bench (which first dumps its samples and its own figures), then
computes the same figures with numpy and scipy.signal.welch on the same
samples, checks that both agree and prints the medians.

usage: compare_numpy.py PATH/TO/analysis_bench [ROUNDS]
Needs python3-numpy and python3-scipy (Debian packages).
"""
import json
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy import signal

RATE_SPS = 1000.0
BINS = 100


def figures(codes, fs):
    c = codes.astype(np.int64)
    n = c.size
    mn, mx = int(c.min()), int(c.max())
    pp = mx - mn
    rms_code = c.std()
    uv = (c - 2147483648) * 2500000 / 2147483647.0
    rms_uv = uv.std()
    width = -(-(pp + 1) // BINS)
    bins = -(-(pp + 1) // width)
    counts = np.bincount((c - mn) // width, minlength=bins)
    seg = 8
    while seg * 2 <= n // 4:
        seg *= 2
    win = signal.windows.blackmanharris(seg, sym=False)
    _, p = signal.welch(uv, fs, window=win, nperseg=seg, noverlap=seg // 2,
                        detrend='constant', scaling='density')
    nsd = np.sqrt(p) * 1000.0
    return {
        'mean_code': c.mean(), 'rms_code': rms_code, 'pp_code': pp,
        'mean_uV': uv.mean(), 'rms_uV': rms_uv, 'pp_uV': uv.max() - uv.min(),
        'effective_bits': min(32.0, 32.0 - np.log2(rms_code)) if rms_code > 0 else 32.0,
        'noise_free_bits': min(32.0, 32.0 - np.log2(pp)) if pp > 0 else 32.0,
        'counts': counts, 'nsd_nV': nsd,
        'nsd_median_nV': np.median(nsd[1:]),
        'band_rms_uV': np.sqrt(p[1:].sum() * fs / seg),
    }


def median_ms(fn, repetitions):
    times = []
    for _ in range(repetitions):
        t = time.perf_counter()
        fn()
        times.append((time.perf_counter() - t) * 1e3)
    return float(np.median(times))


def bench_ms(bench, data_dir):
    """One run of analysis_bench: ms per call for each N (also dumps the data once)."""
    args = [bench, '--benchmark_format=json']
    if data_dir:
        args[1:1] = ['--dump', data_dir]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    result = {}
    for b in json.loads(out)['benchmarks']:
        n = int(b['run_name'].split('/')[1])
        scale = {'ns': 1e-6, 'us': 1e-3, 'ms': 1.0, 's': 1e3}[b['time_unit']]
        result[n] = b['real_time'] * scale
    return result


def main():
    bench = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    sizes = (10000, 1048575)
    with tempfile.TemporaryDirectory() as d:
        ours = {n: [] for n in sizes}
        theirs_ms = {n: [] for n in sizes}
        data = {}
        # Rounds alternate between the two, so a busy machine slows both alike.
        for r in range(rounds):
            for n, ms in bench_ms(bench, d if r == 0 else None).items():
                ours[n].append(ms)
            for n in sizes:
                if n not in data:
                    codes = np.fromfile('%s/noise_%d.u32' % (d, n), dtype=np.uint32)
                    with open('%s/noise_%d.json' % (d, n)) as f:
                        data[n] = (codes, json.load(f))
                codes = data[n][0]
                theirs_ms[n].append(median_ms(lambda: figures(codes, RATE_SPS), 3))
        print('%10s  %14s  %14s  %6s  %s' % ('samples', 'MIRANTOS ms', 'numpy+scipy ms',
                                              'ratio', 'largest relative difference'))
        for n in sizes:
            codes, mine = data[n]
            theirs = figures(codes, RATE_SPS)
            worst, worst_key = 0.0, ''
            for key in ('mean_code', 'rms_code', 'mean_uV', 'rms_uV', 'pp_uV',
                        'effective_bits', 'noise_free_bits', 'nsd_median_nV', 'band_rms_uV'):
                diff = abs(mine[key] - theirs[key]) / abs(theirs[key])
                if diff > worst:
                    worst, worst_key = diff, key
            a = np.array(mine['spectrum']['nsd_nV'])
            diff = float(np.max(np.abs(a[1:] - theirs['nsd_nV'][1:]) / theirs['nsd_nV'][1:]))
            if diff > worst:
                worst, worst_key = diff, 'nsd_nV'
            if mine['pp_code'] != theirs['pp_code'] or \
                    list(theirs['counts']) != mine['histogram']['counts']:
                worst, worst_key = float('inf'), 'histogram'
            a_ms, b_ms = float(np.median(ours[n])), float(np.median(theirs_ms[n]))
            print('%10d  %14.3f  %14.3f  %6.1f  %.1e (%s)' % (n, a_ms, b_ms, b_ms / a_ms,
                                                              worst, worst_key))


if __name__ == '__main__':
    main()
