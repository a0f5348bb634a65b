#!/usr/bin/env python3
"""Load on `mirantos-cli serve`: CLIENTS desks asking for the overview of a week
and a figure page over 30 days, for SECONDS, while a station stores a run every
second (dashboard_seed, the station's own writer). Prints each page's
throughput, p50/p95/max latency, refused requests, and the writer's times.

usage: dashboard_load.py CLI SEED DB_URL [--clients 50] [--seconds 60]
         [--to 2025-12-12] [--test test-1] [--figure rms_uV] [--channel 1]
Without --to, the newest run's date (1 000 000 bench runs end 2025-12-13).
"""
import argparse
import http.client
import re
import statistics
import subprocess
import threading
import time
from datetime import date, timedelta


def main():
    a = argparse.ArgumentParser()
    a.add_argument('cli')
    a.add_argument('seed')
    a.add_argument('db')
    a.add_argument('--clients', type=int, default=50)
    a.add_argument('--seconds', type=float, default=60)
    a.add_argument('--to', default='2025-12-12')
    a.add_argument('--test', default='test-1')
    a.add_argument('--figure', default='rms_uV')
    a.add_argument('--channel', default='1')
    o = a.parse_args()
    to = date.fromisoformat(o.to)
    week = 'from=%s&to=%s' % (to - timedelta(days=6), to)
    month = 'from=%s&to=%s' % (to - timedelta(days=29), to)
    pages = {
        'overview 7 d': '/api/overview?' + week,
        'figure 30 d': '/api/figure?test=%s&channel=%s&figure=%s&%s' % (o.test, o.channel, o.figure, month),
    }
    server = subprocess.Popen([o.cli, 'serve', '--db', o.db, '--listen', '127.0.0.1:0'],
                              stderr=subprocess.PIPE, text=True)
    port = int(re.search(r'http://127\.0\.0\.1:(\d+)/', server.stderr.readline()).group(1))
    lock = threading.Lock()
    times = {k: [] for k in pages}
    refused = {k: 0 for k in pages}
    sizes = {}
    stop = time.monotonic() + o.seconds

    def client(i):
        names = list(pages)
        n = i
        while time.monotonic() < stop:
            name = names[n % len(names)]
            n += 1
            t0 = time.monotonic()
            try:
                c = http.client.HTTPConnection('127.0.0.1', port, timeout=60)
                c.request('GET', pages[name])
                r = c.getresponse()
                body = r.read()
                c.close()
                ok = r.status == 200
            except OSError:
                ok = False
            dt = time.monotonic() - t0
            with lock:
                if ok:
                    times[name].append(dt)
                    sizes[name] = len(body)
                else:
                    refused[name] += 1

    writes = []

    def writer():
        k = 0
        while time.monotonic() < stop:
            t0 = time.monotonic()
            subprocess.run([o.seed, o.db, 'LOAD-%d' % k, '10.0'], check=True)
            writes.append(time.monotonic() - t0)
            k += 1
            time.sleep(max(0.0, 1.0 - (time.monotonic() - t0)))

    threads = [threading.Thread(target=client, args=(i,)) for i in range(o.clients)]
    threads.append(threading.Thread(target=writer))
    t0 = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    wall = time.monotonic() - t0
    server.terminate()
    server.wait(30)

    def pct(xs, p):
        return sorted(xs)[min(len(xs) - 1, int(p * len(xs)))] * 1000 if xs else float('nan')

    print('%d clients, %.0f s, %s' % (o.clients, wall, o.db))
    for name in pages:
        xs = times[name]
        print('%-14s %6d answers %7.1f/s  p50 %7.1f ms  p95 %7.1f ms  max %7.1f ms  refused %d  (%d bytes)'
              % (name, len(xs), len(xs) / wall, pct(xs, .5), pct(xs, .95), pct(xs, 1.0) if xs else 0,
                 refused[name], sizes.get(name, 0)))
    print('writer         %6d runs stored   p95 %7.1f ms  max %7.1f ms (a process each, start included)'
          % (len(writes), pct(writes, .95), max(writes) * 1000 if writes else 0))


if __name__ == '__main__':
    main()
