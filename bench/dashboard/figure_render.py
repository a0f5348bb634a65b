#!/usr/bin/env python3
"""How long the figure page takes in headless Chromium to fetch a figure and
draw its four charts (trend, individuals, moving range, histogram), the
median of REPS redraws after the first load.

usage: figure_render.py CLI DB_URL [--test test-1] [--from 2025-01-01]
         [--to 2025-12-31] [--figure rms_uV] [--channel 1] [--reps 9]
"""
import argparse
import re
import statistics
import subprocess

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait


def main():
    a = argparse.ArgumentParser()
    a.add_argument('cli')
    a.add_argument('db')
    a.add_argument('--test', default='test-1')
    a.add_argument('--figure', default='rms_uV')
    a.add_argument('--channel', default='1')
    a.add_argument('--from', dest='start', default='2025-01-01')
    a.add_argument('--to', default='2025-12-31')
    a.add_argument('--reps', type=int, default=9)
    o = a.parse_args()
    server = subprocess.Popen([o.cli, 'serve', '--db', o.db, '--listen', '127.0.0.1:0'],
                              stderr=subprocess.PIPE, text=True)
    port = int(re.search(r'http://127\.0\.0\.1:(\d+)/', server.stderr.readline()).group(1))
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=1400,1800'):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    try:
        driver.set_script_timeout(120)
        driver.get('http://127.0.0.1:%d/figure?test=%s&channel=%s&figure=%s&from=%s&to=%s'
                   % (port, o.test, o.channel, o.figure, o.start, o.to))
        # The decimation plugin keeps the whole series in _data and draws a thinned one.
        count = ('const c = Chart.getChart(document.getElementById("trend"));'
                 'return c ? (c.data.datasets[0]._data || c.data.datasets[0].data).length : 0;')
        WebDriverWait(driver, 120).until(lambda d: d.execute_script(count) > 0)
        n = driver.execute_script(count)
        times = [driver.execute_async_script(
            'const done = arguments[0]; const t = performance.now();'
            'refresh().then(() => requestAnimationFrame(() => done(performance.now() - t)));')
            for _ in range(o.reps)]
        fetches = [driver.execute_async_script(
            'const done = arguments[0]; const t = performance.now(); const q = M.periodQuery();'
            '["test", "channel", "figure"].forEach((k) => q.set(k, M.params().get(k)));'
            'M.get("/api/figure?" + q.toString()).then((d) => done([performance.now() - t, d.points.length]));')
            for _ in range(o.reps)]
        print('  of which the answer (%d points) fetched and parsed: %.0f ms'
              % (fetches[0][1], statistics.median([f[0] for f in fetches])))
        print('figure page, %d points: fetch and draw %.0f ms (median of %d; %.0f..%.0f)'
              % (n, statistics.median(times), o.reps, min(times), max(times)))
    finally:
        driver.quit()
        server.terminate()
        server.wait(30)


if __name__ == '__main__':
    main()
