#!/usr/bin/env python3
"""The notebook way, side by side with MIRANTOS in one run.

Runs analysis_bench (which first dumps its samples and its own figures), then
computes the same figures with numpy and scipy.signal.welch on the same
samples, checks that both agree and prints the medians.

usage: compare_numpy.py PATH/TO/analysis_bench [REPETITIONS]
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


def main():
    bench = sys.argv[1]
    reps = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    with tempfile.TemporaryDirectory() as d:
        out = subprocess.run(
            [bench, '--dump', d, '--benchmark_repetitions=%d' % reps,
             '--benchmark_report_aggregates_only=true', '--benchmark_format=json'],
            check=True, capture_output=True, text=True).stdout
        ours = {}
        for b in json.loads(out)['benchmarks']:
            if b.get('aggregate_name') == 'median':
                n = int(b['run_name'].split('/')[1])
                ours[n] = b['real_time'] if b['time_unit'] == 'ms' else b['real_time'] / 1e6
        print('%10s  %14s  %14s  %6s  %s' % ('samples', 'MIRANTOS ms', 'numpy+scipy ms',
                                              'ratio', 'largest relative difference'))
        for n in (10000, 1048575):
            codes = np.fromfile('%s/noise_%d.u32' % (d, n), dtype=np.uint32)
            with open('%s/noise_%d.json' % (d, n)) as f:
                mine = json.load(f)
            theirs = figures(codes, RATE_SPS)
            worst = 0.0
            for key in ('mean_code', 'rms_code', 'mean_uV', 'rms_uV', 'pp_uV',
                        'effective_bits', 'noise_free_bits', 'nsd_median_nV', 'band_rms_uV'):
                worst = max(worst, abs(mine[key] - theirs[key]) / abs(theirs[key]))
            a = np.array(mine['spectrum']['nsd_nV'])
            worst = max(worst, float(np.max(np.abs(a[1:] - theirs['nsd_nV'][1:]) /
                                            theirs['nsd_nV'][1:])))
            if mine['pp_code'] != theirs['pp_code'] or \
                    list(theirs['counts']) != mine['histogram']['counts']:
                worst = float('inf')
            numpy_ms = median_ms(lambda: figures(codes, RATE_SPS), reps)
            print('%10d  %14.3f  %14.3f  %6.1f  %.1e' % (n, ours[n], numpy_ms,
                                                         numpy_ms / ours[n], worst))


if __name__ == '__main__':
    main()
