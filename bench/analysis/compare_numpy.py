#!/usr/bin/env python3
"""The notebook way, side by side with MIRANTOS in one run.

Runs analysis_bench (which first dumps its samples and its own figures), then
computes the same figures with numpy and scipy.signal.welch on the same
samples, checks that both agree and prints the medians. Then the whole of
analyze at 1 048 575 samples: those figures and the low-frequency ones
(np.polyfit drift, Allan deviation from np.cumsum, scipy.signal.butter +
sosfilt for the 0.1-10 Hz noise), each low-frequency figure side by side too.

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


def drift(uv, fs):
    return np.polyfit(np.arange(uv.size) / fs, uv, 1)[0] * 3600.0


def allan(codes, fs):
    c = codes.astype(np.int64)
    n = c.size
    s = np.concatenate(([0], np.cumsum(c - c[0])))
    q = 2500000.0 / 2147483647.0
    out = []
    m = 1
    while 4 * m <= n:
        d = (s[2 * m:] - 2 * s[m:-m] + s[:-2 * m]).astype(np.float64)
        out.append(q * np.sqrt(np.dot(d, d) / (2.0 * m * m * (n - 2 * m + 1))))
        m *= 2
    return np.array(out)


def band(uv, fs):
    sos = np.vstack([signal.butter(2, 0.1, 'highpass', fs=fs, output='sos'),
                     signal.butter(4, 10, fs=fs, output='sos')])
    y = signal.sosfilt(sos, uv - uv.mean())
    settle, length = round(20 * fs), round(10 * fs)
    m = (uv.size - settle) // length
    kept = y[settle:settle + m * length]
    pp = np.ptp(kept.reshape(m, length), axis=1)
    return {'pp_uV_median': np.median(pp), 'pp_uV_max': pp.max(),
            'rms_uV': np.sqrt(np.mean(kept * kept))}


def microvolts(codes):
    return (codes.astype(np.int64) - 2147483648) * 2500000 / 2147483647.0


def everything(codes, fs):
    f = figures(codes, fs)
    uv = microvolts(codes)
    return f, drift(uv, fs), allan(codes, fs), band(uv, fs)


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
        name, n = b['run_name'].split('/')
        scale = {'ns': 1e-6, 'us': 1e-3, 'ms': 1.0, 's': 1e3}[b['time_unit']]
        result[(name, int(n))] = b['real_time'] * scale
    return result


def main():
    bench = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    sizes = (10000, 1048575)
    with tempfile.TemporaryDirectory() as d:
        ours = {}
        theirs_ms = {}
        data = {}
        big = sizes[-1]
        parts = {
            'BM_AllFigures': None,
            'BM_AnalyzeAll': lambda c: everything(c, RATE_SPS),
            'BM_Drift': lambda c: drift(microvolts(c), RATE_SPS),
            'BM_Allan': lambda c: allan(c, RATE_SPS),
            'BM_Band': lambda c: band(microvolts(c), RATE_SPS),
        }
        # Rounds alternate between the two, so a busy machine slows both alike.
        for r in range(rounds):
            for key, ms in bench_ms(bench, d if r == 0 else None).items():
                ours.setdefault(key, []).append(ms)
            for n in sizes:
                if n not in data:
                    codes = np.fromfile('%s/noise_%d.u32' % (d, n), dtype=np.uint32)
                    with open('%s/noise_%d.json' % (d, n)) as f:
                        data[n] = (codes, json.load(f))
                codes = data[n][0]
                theirs_ms.setdefault(('BM_AllFigures', n), []).append(
                    median_ms(lambda: figures(codes, RATE_SPS), 3))
                if n == big:
                    for name, fn in parts.items():
                        if fn is not None:
                            theirs_ms.setdefault((name, n), []).append(
                                median_ms(lambda: fn(codes), 3))
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
            a_ms = float(np.median(ours[('BM_AllFigures', n)]))
            b_ms = float(np.median(theirs_ms[('BM_AllFigures', n)]))
            print('%10d  %14.3f  %14.3f  %6.1f  %.1e (%s)' % (n, a_ms, b_ms, b_ms / a_ms,
                                                              worst, worst_key))

        # The low-frequency figures: agreement, then analyze's whole time and each share.
        codes, mine = data[big]
        uv = microvolts(codes)
        # polyfit on volts of offset loses digits of a slope near zero; the
        # check takes the centred sum on microvolts less the first sample.
        i = np.arange(uv.size) - (uv.size - 1) / 2.0
        exact = np.dot(i, uv - uv[0]) / (uv.size * (uv.size ** 2 - 1) / 12.0) * RATE_SPS * 3600
        diffs = {'slope_uV_per_h': abs(mine['slope_uV_per_h'] / exact - 1),
                 'slope_polyfit': abs(mine['slope_uV_per_h'] / drift(uv, RATE_SPS) - 1)}
        a = allan(codes, RATE_SPS)
        b = np.array([p['adev_uV'] for p in mine['allan']])
        diffs['allan'] = float(np.max(np.abs(b / a - 1))) if a.size == b.size else float('inf')
        theirs_band = band(uv, RATE_SPS)
        for key, value in theirs_band.items():
            diffs[key] = abs(mine['lf_0p1_10Hz'][key] / value - 1)
        print()
        print('analyze at %d samples, %g sps: every figure (the noise ones above and the '
              'low-frequency ones)' % (big, RATE_SPS))
        print('%-16s  %12s  %14s  %6s  %s' % ('figure', 'MIRANTOS ms', 'numpy+scipy ms',
                                            'ratio', 'share of MIRANTOS all'))
        total = float(np.median(ours[('BM_AnalyzeAll', big)]))
        for name, label in (('BM_AnalyzeAll', 'all'), ('BM_AllFigures', 'noise figures'),
                            ('BM_Drift', 'drift'), ('BM_Allan', 'allan'),
                            ('BM_Band', '0.1-10 Hz')):
            a_ms = float(np.median(ours[(name, big)]))
            b_ms = float(np.median(theirs_ms[(name, big)]))
            print('%-16s  %12.3f  %14.3f  %6.1f  %5.1f %%' % (label, a_ms, b_ms, b_ms / a_ms,
                                                            100.0 * a_ms / total))
        print('largest relative differences: ' +
              ', '.join('%s %.1e' % (k, v) for k, v in diffs.items()))


if __name__ == '__main__':
    main()
