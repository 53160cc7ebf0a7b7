#!/usr/bin/python3
"""The web remote in a real browser: headless Chromium at a phone's size,
driven over WebDriver, against the real program running its embedded
simulated processor (panora --simulate --control 127.0.0.1:0).

Exit status 77 (skipped) while the program has no --control.
Run: tests/remote/web_remote_test.py --bin build/bin [unittest options]
"""
import argparse
import json
import math
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

SKIPPED = 77
PHONE = {'width': 390, 'height': 844}
WAIT_S = 15
QUICK_NAMES = ['4Times-Default 1', '3Times-Default 1', 'Full-Default 2', 'Full-Default 1',
               'PIP-Default 1', 'PIP-Default 2', 'PIP-Default 3', 'PIP-Default 4', 'PIP-Default 5',
               'POP-Default 1', 'POP-Default 2', 'POP-Default 3']
RESOLUTIONS = [(1920, 1080), (1280, 720), (1920, 1200), (1600, 1200), (1280, 1024), (1024, 768)]

ARGS = None


class Program:
    """build/bin/panora with its remote control on, offscreen, in a home of its own."""

    def __init__(self, home, control='127.0.0.1:0', token=None):
        env = dict(os.environ, QT_QPA_PLATFORM='offscreen', PANORA_HOME=home)
        env.pop('PANORA_CONTROL_TOKEN', None)
        if token:
            env['PANORA_CONTROL_TOKEN'] = token
        self.proc = subprocess.Popen([os.path.join(ARGS.bin, 'panora'), '--simulate', '--control', control],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        self.url = None
        self.stderr = b''
        seen = b''
        deadline = time.monotonic() + 20
        out = self.proc.stdout.fileno()
        while self.url is None and time.monotonic() < deadline:
            ready, _, _ = select.select([out], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(out, 4096) if ready else b''
            if not chunk:
                break
            seen += chunk
            m = re.search(rb'^remote control: (http://[^/\s]+/)\s*$', seen, re.M)
            if m:
                self.url = m.group(1).decode()
        # Whatever it prints later must not fill a pipe and stop it.
        self.readers = [threading.Thread(target=self.drain, args=(f,), daemon=True)
                        for f in (self.proc.stdout, self.proc.stderr)]
        for r in self.readers:
            r.start()
        if self.url is None:
            self.stop()
            raise AssertionError('no "remote control: http://..." line; stdout: %r, stderr: %r'
                                 % (seen, self.stderr))
        self.port = int(self.url.rsplit(':', 1)[1].rstrip('/'))

    def drain(self, f):
        for chunk in iter(lambda: os.read(f.fileno(), 4096), b''):
            if f is self.proc.stderr:
                self.stderr += chunk

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for r in self.readers:
            r.join(5)
        self.proc.stdout.close()
        self.proc.stderr.close()


def call(url, method, path, body=None, token=None):
    """One API request as a show-control tool makes it: (status, JSON body)."""
    headers = {'Accept': 'application/json'}
    data = None
    if body is not None:
        headers['Content-Type'] = 'application/json'
        data = json.dumps(body).encode()
    if token:
        headers['Authorization'] = 'Bearer ' + token
    req = urllib.request.Request(url.rstrip('/') + path, data=data, headers=headers, method=method)
    try:
        with urllib.request.urlopen(req, timeout=10) as res:
            return res.status, json.loads(res.read() or b'{}')
    except urllib.error.HTTPError as e:
        return e.code, json.loads(e.read() or b'{}')


def browser():
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which('chromium') or '/usr/bin/chromium'
    profile = tempfile.mkdtemp(prefix='panora-chromium-')
    for flag in ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 '--user-data-dir=' + profile]:
        options.add_argument(flag)
    # A phone's viewport and touch, whatever the window's least width is.
    options.add_experimental_option('mobileEmulation', {'deviceMetrics': dict(PHONE, pixelRatio=3, touch=True)})
    driver = webdriver.Chrome(service=Service(shutil.which('chromedriver') or '/usr/bin/chromedriver'),
                              options=options)
    driver.profile_dir = profile
    return driver


class WebRemoteTest(unittest.TestCase):
    def setUp(self):
        from selenium.common.exceptions import StaleElementReferenceException
        from selenium.webdriver.support.ui import WebDriverWait
        self.home = tempfile.mkdtemp(prefix='panora-remote-')
        self.programs = []
        self.driver = browser()
        self.wait = WebDriverWait(self.driver, WAIT_S, ignored_exceptions=(StaleElementReferenceException,))

    def tearDown(self):
        self.driver.quit()
        shutil.rmtree(self.driver.profile_dir, ignore_errors=True)
        for p in self.programs:
            p.stop()
        shutil.rmtree(self.home, ignore_errors=True)

    def start(self, **kw):
        p = Program(self.home, **kw)
        self.programs.append(p)
        return p

    def css(self, selector):
        from selenium.webdriver.common.by import By
        return self.driver.find_elements(By.CSS_SELECTOR, selector)

    def text(self, element_id):
        return self.css('#' + element_id)[0].text

    def until(self, what, check):
        try:
            self.wait.until(lambda d: check())
        except Exception:  # a time-out, said plainly
            self.fail('within %d s: %s' % (WAIT_S, what))

    def live_modes(self):
        """The modes of the buttons marked live (a tool button may share one with a quick button)."""
        return {int(b.get_attribute('data-mode')) for b in self.css('button.live[aria-pressed="true"]')}

    def test_page_recalls_modes_and_follows_the_program(self):
        prog = self.start()
        self.driver.get(prog.url)
        self.until('the event stream opens', lambda: self.text('stream') == 'Live updates: on')
        status, state = call(prog.url, 'GET', '/api/v1/state')
        self.assertEqual(status, 200)

        quick = self.css('#quick button')
        self.assertEqual(len(quick), 12)
        for b, name in zip(quick, QUICK_NAMES):
            self.assertIn(name, b.text.splitlines())  # first, or under a name the operator gave
        self.assertEqual([int(b.get_attribute('data-mode')) for b in quick], state['quickModes'])
        tools = self.css('#tool button')
        self.assertEqual(len(tools), 8)
        for b, mode in zip(tools, state['toolButtons']):
            self.assertEqual(b.is_enabled(), mode is not None, b.text)
            if mode is None:
                self.assertTrue(b.text.startswith('\u2014'), b.text)
        self.assertEqual(self.live_modes(), {state['mode']})

        # Usable on the phone: nothing wider than the screen, buttons big enough to tap.
        self.assertLessEqual(self.driver.execute_script('return document.documentElement.scrollWidth'),
                             PHONE['width'])
        for b in quick + self.css('#inputs button'):
            self.assertGreaterEqual(b.size['height'], 44, b.text)

        # A tap recalls the mode; the program says so.
        self.driver.execute_script('window.notReloaded = true')
        full1 = self.css('#quick button[data-mode="8"]')[0]
        self.assertIn('Full-Default 1', full1.text)
        full1.click()
        self.until('Full-Default 1 is marked live', lambda: self.live_modes() == {8})
        self.assertEqual(call(prog.url, 'GET', '/api/v1/state')[1]['mode'], 8)

        # A change from outside arrives over the WebSocket, without a reload.
        self.assertEqual(call(prog.url, 'POST', '/api/v1/mode', {'mode': 13})[0], 200)
        self.until('PIP-Default 1 is marked live', lambda: self.live_modes() == {13})
        self.assertTrue(self.driver.execute_script('return window.notReloaded === true'))

        # The four windows, to scale in the output picture, follow a move.
        self.assertEqual(call(prog.url, 'POST', '/api/v1/windows/2',
                              {'x': 100, 'y': 50, 'w': 960, 'h': 540})[0], 200)
        state = call(prog.url, 'GET', '/api/v1/state')[1]
        box = self.css('#picture')[0].get_dom_attribute('viewBox').split()
        W, H = float(box[2]), float(box[3])
        self.assertEqual((W, H), RESOLUTIONS[state['resolution'][0] - 1])

        def drawn(ch):  # read in one go: the picture is drawn anew on every change
            return self.driver.execute_script(
                'const r = document.querySelector(`#picture g[data-channel="${arguments[0]}"] rect`);'
                'return r && ["x", "y", "width", "height"].map(k => Math.round(Number(r.getAttribute(k))));', ch)
        for w in state['windows']:
            rw, rh = RESOLUTIONS[state['resolution'][w['channel'] - 1] - 1]
            want = [math.floor(v + 0.5) for v in (w['x'] / rw * W, w['y'] / rh * H, w['w'] / rw * W, w['h'] / rh * H)]
            self.until('CH%d drawn at %s, not %s' % (w['channel'], want, drawn(w['channel'])),
                       lambda: drawn(w['channel']) == want)
        self.assertEqual(len(self.css('#picture g.window')), 4)

        # Inputs per channel: a tap sets one.
        self.css('#inputs button[data-channel="2"][data-input="3"]')[0].click()
        self.until('CH2 In3 is pressed', lambda: self.css(
            '#inputs button[data-channel="2"][data-input="3"]')[0].get_attribute('aria-pressed') == 'true')
        self.assertEqual(call(prog.url, 'GET', '/api/v1/state')[1]['inputs'][1], 3)

        # The link pane's text, for assistive technology too.
        link = call(prog.url, 'GET', '/api/v1/state')[1]['link']
        self.assertIn(link['text'], self.text('link'))
        self.assertEqual(self.css('#link')[0].get_attribute('aria-live'), 'polite')

        # Nothing was asked of anyone but the program.
        urls = self.driver.execute_script(
            'return performance.getEntriesByType("resource").map(e => e.name)')
        self.assertTrue(urls, 'the page read the API')
        for u in urls:
            self.assertTrue(u.startswith(prog.url), u)

    def test_token_is_asked_once_and_kept(self):
        token = 'T0ken-for-the-remote_1'
        prog = self.start(token=token)
        self.assertEqual(call(prog.url, 'GET', '/api/v1/state')[0], 401)
        self.driver.get(prog.url)
        self.until('the token form', lambda: self.css('#token-section')[0].is_displayed())
        self.css('#token')[0].send_keys('wrong')
        self.css('#token-form button')[0].click()
        self.until('the token form again', lambda: 'not accepted' in self.text('token-why'))
        self.css('#token')[0].send_keys(token)
        self.css('#token-form button')[0].click()
        self.until('the event stream opens', lambda: self.text('stream') == 'Live updates: on')
        self.assertFalse(self.css('#token-section')[0].is_displayed())

        # Kept: a reload does not ask again, and taps carry it.
        self.driver.refresh()
        self.until('the event stream opens again', lambda: self.text('stream') == 'Live updates: on')
        self.assertFalse(self.css('#token-section')[0].is_displayed())
        self.css('#quick button[data-mode="8"]')[0].click()
        self.until('Full-Default 1 is marked live', lambda: self.live_modes() == {8})
        self.assertEqual(call(prog.url, 'GET', '/api/v1/state', token=token)[1]['mode'], 8)

    def test_reconnects_when_the_program_comes_back(self):
        prog = self.start()
        self.driver.get(prog.url)
        self.until('the event stream opens', lambda: self.text('stream') == 'Live updates: on')
        prog.stop()
        self.programs.remove(prog)
        self.until('the page sees the stream gone', lambda: self.text('stream').startswith('Live updates: off'))
        again = self.start(control='127.0.0.1:%d' % prog.port)
        self.assertEqual(call(again.url, 'POST', '/api/v1/mode', {'mode': 9})[0], 200)
        self.until('the stream is back (backoff up to a few seconds)',
                   lambda: self.text('stream') == 'Live updates: on')
        self.until('Full-Default 2, recalled while the page was away, is marked live',
                   lambda: self.live_modes() == {9})


def main():
    global ARGS
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument('--bin', default=os.path.join(os.path.dirname(__file__), '..', '..', 'build', 'bin'))
    ARGS, rest = parser.parse_known_args()
    panora = os.path.join(ARGS.bin, 'panora')
    usage = subprocess.run([panora, '--help'], capture_output=True, text=True,
                           env=dict(os.environ, QT_QPA_PLATFORM='offscreen')).stdout
    if '--control' not in usage:
        print('skipped: %s has no --control yet' % panora)
        return SKIPPED
    try:
        import selenium  # noqa: F401  (Debian's python3-selenium)
    except ImportError:
        print('python3-selenium is missing: scripts/install-deps.sh installs it', file=sys.stderr)
        return 1
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == '__main__':
    sys.exit(main())
