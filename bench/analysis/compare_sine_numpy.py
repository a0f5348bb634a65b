#!/usr/bin/env python3
"""analyze --sine side by side with numpy + scipy computing the same definitions.

Runs sine_bench (which first dumps its 1 048 575 samples and its own figures), then
computes the sine-wave test on the same samples the way a notebook would: microvolts,
less their mean, the periodic 7-term Blackman-Harris window, scipy.fft.rfft, the regions,
SNR/THD/SINAD/SFDR/ENOB, and the four-parameter fit by Gauss-Newton (the three-parameter
fit and each step by numpy's least squares on the N x 4 Jacobian). Checks that both agree
and prints the medians of alternating rounds and where numpy + scipy's time goes.

usage: compare_sine_numpy.py PATH/TO/sine_bench [ROUNDS]
Needs python3-numpy and python3-scipy (Debian packages).
"""
import json
import subprocess
import sys
import tempfile
import time

import numpy as np
import scipy.fft

FS = 1000.0
BH7 = [0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
       0.01081174209837, 0.00077658482522, 0.00001388721735]
S = 7
H = 5
AFS = 2500000.0


def microvolts(codes):
    return (codes.astype(np.int64) - 2147483648) * 2500000 / 2147483647.0


def spectrum(uv):
    n = uv.size
    x = uv - uv.mean()
    k = np.arange(n) * (2 * np.pi / n)
    w = sum(((-1) ** j) * a * np.cos(j * k) for j, a in enumerate(BH7))
    kk = (n - 1) // 2
    p = 2 * np.abs(scipy.fft.rfft(w * x)[:kk + 1]) ** 2 / (n * np.dot(w, w))
    p[0] = 0.0
    return p


def figures(p, n):
    kk = p.size - 1
    owner = np.zeros(kk + 1, dtype=np.int8)
    owner[1:S + 1] = 1
    kf = S + 1 + int(np.argmax(p[S + 1:]))
    lo, hi = max(1, kf - S), min(kk, kf + S)
    owner[lo:hi + 1] = 2
    region = np.arange(lo, hi + 1)
    p1 = p[lo:hi + 1].sum()
    f1 = FS / n * np.dot(region, p[lo:hi + 1]) / p1
    harmonics = []
    for h in range(2, H + 1):
        fh = np.fmod(h * f1, FS)
        if fh > FS / 2:
            fh = FS - fh
        c = int(np.round(fh * n / FS))
        b = np.arange(max(1, c - S), min(kk, c + S) + 1)
        b = b[owner[b] == 0]
        owner[b] = 3
        harmonics.append(p[b].sum())
    noise = owner[1:] == 0
    pn = p[1:][noise].sum() * (kk - S) / noise.sum()
    ph = sum(harmonics)
    spur = np.max(p[1:][(owner[1:] != 1) & (owner[1:] != 2)])
    sinad = 10 * np.log10(p1 / (pn + ph))
    a1 = np.sqrt(2 * p1)
    dbfs = 10 * np.log10(np.maximum(p[1:], 1e-300) / (AFS * AFS / 2))
    return {'fundamental_Hz': f1, 'amplitude_uV': a1,
            'snr_dB': 10 * np.log10(p1 / pn), 'thd_dBc': 10 * np.log10(ph / p1),
            'sinad_dB': sinad, 'sfdr_dBc': 10 * np.log10(p[lo:hi + 1].max() / spur),
            'enob_bits': (sinad - 1.76) / 6.02,
            'enob_fs_bits': (sinad + 20 * np.log10(AFS / a1) - 1.76) / 6.02,
            'harmonics': [10 * np.log10(v / p1) for v in harmonics], 'dbfs': dbfs}


def fit(uv, f0):
    n = uv.size
    t = np.arange(n) / FS
    w = 2 * np.pi * f0
    c, s = np.cos(w * t), np.sin(w * t)
    a, b, off = np.linalg.lstsq(np.column_stack((c, s, np.ones(n))), uv, rcond=None)[0]
    for iterations in range(1, 51):
        c, s = np.cos(w * t), np.sin(w * t)
        r = uv - (a * c + b * s + off)
        jac = np.column_stack((c, s, np.ones(n), t * (b * c - a * s)))
        step = np.linalg.lstsq(jac, r, rcond=None)[0]
        a, b, off, w = a + step[0], b + step[1], off + step[2], w + step[3]
        if abs(step[3]) < 1e-12 * abs(w):
            break
    r = uv - (a * np.cos(w * t) + b * np.sin(w * t) + off)
    rms = np.sqrt(np.mean(r * r))
    return {'f_Hz': w / (2 * np.pi), 'amplitude_uV': np.hypot(a, b),
            'phase_rad': np.arctan2(-b, a), 'offset_uV': off, 'residual_rms_uV': rms,
            'enob_bits': np.log2(2 * AFS / (rms * np.sqrt(12))), 'iterations': iterations}


def everything(codes):
    uv = microvolts(codes)
    f = figures(spectrum(uv), uv.size)
    f['fit'] = fit(uv, f['fundamental_Hz'])
    return f


def median_ms(fn, repetitions=3):
    times = []
    for _ in range(repetitions):
        t = time.perf_counter()
        fn()
        times.append((time.perf_counter() - t) * 1e3)
    return float(np.median(times))


def bench_ms(bench, data_dir):
    args = [bench, '--benchmark_format=json']
    if data_dir:
        args[1:1] = ['--dump', data_dir]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    result = {}
    for b in json.loads(out)['benchmarks']:
        scale = {'ns': 1e-6, 'us': 1e-3, 'ms': 1.0, 's': 1e3}[b['time_unit']]
        result[b['run_name']] = b['real_time'] * scale
    return result


def main():
    bench = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    with tempfile.TemporaryDirectory() as d:
        ours, theirs = {}, {}
        codes = None
        for r in range(rounds):
            for key, ms in bench_ms(bench, d if r == 0 else None).items():
                ours.setdefault(key, []).append(ms)
            if codes is None:
                codes = np.fromfile(d + '/sine.u32', dtype=np.uint32)
                with open(d + '/sine.json') as f:
                    mine = json.load(f)['sine']
            uv = microvolts(codes)
            p = spectrum(uv)
            f1 = figures(p, uv.size)['fundamental_Hz']
            for name, fn in (('all', lambda: everything(codes)),
                             ('microvolts', lambda: microvolts(codes)),
                             ('window+rfft', lambda: spectrum(uv)),
                             ('regions+figures', lambda: figures(p, uv.size)),
                             ('fit', lambda: fit(uv, f1))):
                theirs.setdefault(name, []).append(median_ms(fn))

    got = everything(codes)
    worst, worst_key = 0.0, ''
    for key in ('fundamental_Hz', 'amplitude_uV', 'snr_dB', 'thd_dBc', 'sinad_dB', 'sfdr_dBc',
                'enob_bits', 'enob_fs_bits'):
        diff = abs(mine[key] - got[key]) / abs(got[key])
        if diff > worst:
            worst, worst_key = diff, key
    for h, v in zip(mine['harmonics'], got['harmonics']):
        diff = abs(h['dBc'] - v) / abs(v)
        if diff > worst:
            worst, worst_key = diff, 'harmonic %d' % h['h']
    for key in ('f_Hz', 'amplitude_uV', 'residual_rms_uV', 'enob_bits'):
        diff = abs(mine['fit'][key] - got['fit'][key]) / abs(got['fit'][key])
        if diff > worst:
            worst, worst_key = diff, 'fit ' + key
    print('agreement: largest relative difference %.1e (%s); fit iterations %d (MIRANTOS) '
          'and %d (numpy)' % (worst, worst_key, mine['fit']['iterations'],
                              got['fit']['iterations']))
    a = float(np.median(ours['BM_SineAll']))
    b = float(np.median(theirs['all']))
    print('%-28s  %12s  %14s  %6s' % ('1048575 samples', 'MIRANTOS ms', 'numpy+scipy ms',
                                      'ratio'))
    print('%-28s  %12.1f  %14.1f  %6.2f' % ('figures and fit (all)', a, b, b / a))
    a = float(np.median(ours['BM_SineFit']))
    b = float(np.median(theirs['fit']))
    print('%-28s  %12.1f  %14.1f  %6.2f' % ('fit alone', a, b, b / a))
    print('numpy + scipy by part:', ', '.join(
        '%s %.1f ms' % (k, float(np.median(v))) for k, v in theirs.items() if k != 'all'))


if __name__ == '__main__':
    main()
