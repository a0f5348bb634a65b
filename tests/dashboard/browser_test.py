#!/usr/bin/env python3
"""The dashboard in a real browser: Debian's headless Chromium, driven through
python3-selenium, against `mirantos-cli serve` on an SQLite file the station's
writer filled (dashboard_seed). Each page loads without console errors or CSP
violations, draws its charts with the right number of points, shows the yield
the rows give, follows a change of period in the URL, shows markup in a serial
as text, and shows a new run without a reload.

usage: browser_test.py MIRANTOS_CLI DASHBOARD_SEED [SCREENSHOT_DIR]
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

CLI, SEED = sys.argv[1], sys.argv[2]
SHOTS = sys.argv[3] if len(sys.argv) > 3 else None
MARKUP = '<script>alert("x")</script>\'&'

failures = []
checks = 0


def check(ok, what):
    global checks
    checks += 1
    if not ok:
        failures.append(what)
        print('FAIL:', what)


def seed(db, serial, value, ago, sim=False):
    subprocess.run([SEED, db, serial, str(value), str(ago)] + (['sim'] if sim else []), check=True)


def main():
    tmp = tempfile.mkdtemp(prefix='dashboard-browser-')
    db = os.path.join(tmp, 'results.sqlite')
    values = [10.0, 10.2, 9.9, 10.1, 10.3, 9.8, 10.0, 10.4, 9.7, 10.1, 10.2, 9.9]
    rows = []  # (serial, pass) in time order, the simulated run left out
    for i, v in enumerate(values):
        seed(db, 'S-%d' % i, v, 40 - i)
        rows.append(('S-%d' % i, True))
    seed(db, 'S-0', 11.5, 20)
    rows.append(('S-0', False))
    seed(db, 'SIM-1', 50, 19, sim=True)
    seed(db, MARKUP, 10.1, 18)
    rows.append((MARKUP, True))
    first, last = {}, {}
    for serial, ok in rows:
        first.setdefault(serial, ok)
        last[serial] = ok
    first_yield = sum(first.values()) / len(first)
    final_yield = sum(last.values()) / len(last)

    server = subprocess.Popen([CLI, 'serve', '--db', db, '--listen', '127.0.0.1:0'],
                              stderr=subprocess.PIPE, text=True)
    line = server.stderr.readline()
    port = int(re.search(r'http://127\.0\.0\.1:(\d+)/', line).group(1))
    base = 'http://127.0.0.1:%d' % port

    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for a in ('--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=1400,1800',
              '--lang=ja'):
        options.add_argument(a)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    wait = WebDriverWait(driver, 60)
    try:
        def console_clean(page):
            bad = [e for e in driver.get_log('browser') if e['level'] == 'SEVERE']
            check(not bad, '%s: console errors %s' % (page, bad))

        def points(canvas, dataset=0):
            return driver.execute_script(
                'const c = Chart.getChart(document.getElementById(arguments[0]));'
                'if (!c) return -1; const s = c.data.datasets[arguments[1]];'
                # The decimation plugin keeps the whole series in _data and draws a thinned one.
                'return (s._data || s.data).length;', canvas, dataset)

        def api(path):
            with urllib.request.urlopen(base + path) as r:
                return json.load(r)

        # The overview: yields read off the page, runs per hour as drawn.
        driver.get(base + '/?period=7d')
        wait.until(lambda d: d.find_element(By.ID, 'runs').text != '—')
        pct = lambda x: '%.1f %%' % (x * 100)
        check(driver.find_element(By.ID, 'first-pass-yield').text == pct(first_yield),
              'first-pass yield on the page %r, rows give %s' %
              (driver.find_element(By.ID, 'first-pass-yield').text, pct(first_yield)))
        check(driver.find_element(By.ID, 'final-yield').text == pct(final_yield),
              'final yield on the page')
        check(driver.find_element(By.ID, 'runs').text == '%d 件' % len(rows), 'runs on the page')
        overview = api('/api/overview?period=7d')
        wait.until(lambda d: points('per-hour') >= 0)
        check(points('per-hour') == len(overview['per_hour']), 'runs-per-hour bars')
        check(points('pareto') == 1, 'one failing figure in the Pareto chart')
        console_clean('overview')
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, 'dashboard-overview.png'))

        # A new run appears without a reload.
        driver.execute_script('window.notReloaded = true;')
        seed(db, 'S-NEW', 10.0, 0)
        wait.until(lambda d: d.find_element(By.ID, 'runs').text == '%d 件' % (len(rows) + 1))
        check(driver.execute_script('return window.notReloaded === true;'), 'page was reloaded')

        # Another period: the URL follows and the page asks again.
        driver.find_element(By.CSS_SELECTOR, 'button[data-period="today"]').click()
        wait.until(lambda d: 'period=today' in d.current_url)
        check(driver.find_element(By.CSS_SELECTOR, 'button.on').get_attribute('data-period') == 'today',
              'the chosen period is marked')
        today = api('/api/overview?period=today')
        wait.until(lambda d: d.find_element(By.ID, 'runs').text == '%d 件' % today['runs'])
        check(points('per-hour') == len(today['per_hour']), 'runs-per-hour bars of today')
        console_clean('overview, period changed')

        # The figure page: every chart with the runs' points.
        driver.get(base + '/figure?test=AFE-7&channel=0&figure=rms_uV&period=7d')
        wait.until(lambda d: points('trend') > 0)
        n = len(values) + 3  # + S-0's failure, the markup serial and S-NEW
        check(points('trend') == n, 'trend points %d, want %d' % (points('trend'), n))
        check(points('individuals') == n, 'individuals points')
        check(points('moving-range') == n - 1, 'moving ranges')
        figure = api('/api/figure?test=AFE-7&channel=0&figure=rms_uV&period=7d')
        check(points('histogram') == len(figure['histogram']['counts']), 'histogram bars')
        cap = driver.find_element(By.ID, 'capability').text
        check('%.3f' % figure['spc']['cpk']['value'] in cap, 'Cpk on the page')
        check('ルール 1' in driver.find_element(By.ID, 'rules').text, 'the 3σ break listed')
        console_clean('figure')
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, 'dashboard-figure.png'))

        # A serial full of markup shows as text and runs nothing.
        driver.get(base + '/serial?' + urllib.parse.urlencode({'serial': MARKUP}))
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, 'section.run'))
        check(driver.find_element(By.ID, 'title').text == 'シリアル ' + MARKUP, 'serial as text')
        scripts = driver.execute_script(
            'return Array.from(document.scripts).map((s) => s.src + s.text.slice(0, 40))')
        check(len(scripts) == 3 and all(s.startswith(base + '/static/') for s in scripts),
              'no script injected: %s' % scripts)
        try:
            driver.switch_to.alert
            check(False, 'an alert ran')
        except NoAlertPresentException:
            pass
        console_clean('serial')

        driver.get(base + '/station?station=bench-2&period=7d')
        wait.until(lambda d: d.find_element(By.ID, 'runs').text != '—')
        station = api('/api/station?station=bench-2&period=7d')
        check(driver.find_element(By.ID, 'runs').text == '%d 件' % station['runs'], 'station runs')
        check(len(driver.find_elements(By.CSS_SELECTOR, '#list tbody tr')) == station['runs'],
              'station list rows')
        console_clean('station')
    finally:
        driver.quit()
        server.terminate()
        server.wait(30)
    print('%d passed, %d failed' % (checks - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
