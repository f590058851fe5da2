"""A small DevTools-protocol client for Debian's chromium, over the pipe the
browser opens with --remote-debugging-pipe (file descriptors 3 and 4, one JSON
message per NUL-terminated record), and a server for build-web/ on 127.0.0.1.
The browser test (tests/web/browser_test.py) and the browser benchmarks use it.
"""
import base64
import functools
import http.server
import json
import os
import select
import shutil
import subprocess
import tempfile
import threading
import time

CHROMIUM_FLAGS = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--autoplay-policy=no-user-gesture-required', '--remote-debugging-pipe', 'about:blank',
]


class ProtocolError(Exception):
    pass


class Server:
    """Serves a directory on 127.0.0.1 (an ephemeral port) from a thread."""

    def __init__(self, directory):
        class Quiet(http.server.SimpleHTTPRequestHandler):
            extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, '.wasm': 'application/wasm'}

            def log_message(self, *args):
                pass

        handler = functools.partial(Quiet, directory=directory)
        self.httpd = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
        self.url = f'http://127.0.0.1:{self.httpd.server_address[1]}/'
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Browser:
    """One chromium with a fresh profile; page() opens a tab and attaches."""

    def __init__(self, executable='/usr/bin/chromium', profile=None, flags=()):
        self.own_profile = profile is None
        self.profile = profile or tempfile.mkdtemp(prefix='tavelo-chromium-')
        commands_read, self.commands = os.pipe()
        self.replies, replies_write = os.pipe()

        def wire():
            os.dup2(commands_read, 3)
            os.dup2(replies_write, 4)

        self.process = subprocess.Popen(
            [executable, *CHROMIUM_FLAGS[:-2], *flags, f'--user-data-dir={self.profile}', *CHROMIUM_FLAGS[-2:]],
            preexec_fn=wire, pass_fds=(3, 4), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        os.close(commands_read)
        os.close(replies_write)
        self.buffer = b''
        self.next_id = 0
        self.events = []
        self.console = []

    def close(self):
        try:
            self.call('Browser.close')
        except (ProtocolError, OSError):
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        for fd in (self.commands, self.replies):
            os.close(fd)
        if self.own_profile:
            shutil.rmtree(self.profile, ignore_errors=True)

    def _read_message(self, deadline):
        while b'\0' not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise ProtocolError('chromium did not answer in time')
            ready, _, _ = select.select([self.replies], [], [], left)
            if not ready:
                continue
            chunk = os.read(self.replies, 1 << 20)
            if not chunk:
                raise ProtocolError('chromium closed its pipe: ' + self.process.stderr.read().decode(errors='replace'))
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b'\0', 1)
        return json.loads(message)

    def call(self, method, session=None, wait=60, **params):
        self.next_id += 1
        request = {'id': self.next_id, 'method': method, 'params': params}
        if session:
            request['sessionId'] = session
        os.write(self.commands, json.dumps(request).encode() + b'\0')
        deadline = time.monotonic() + wait
        while True:
            message = self._read_message(deadline)
            if message.get('id') == self.next_id:
                if 'error' in message:
                    raise ProtocolError(f'{method}: {message["error"]}')
                return message.get('result', {})
            self._note_event(message)

    def _note_event(self, message):
        if message.get('method') == 'Runtime.consoleAPICalled':
            args = message['params'].get('args', [])
            self.console.append(' '.join(str(arg.get('value', arg.get('description', ''))) for arg in args))
        elif message.get('method') == 'Runtime.exceptionThrown':
            details = message['params']['exceptionDetails']
            self.console.append('exception: ' + details.get('exception', {}).get('description', details.get('text', '')))
        self.events.append(message)

    def page(self, url):
        target = self.call('Target.createTarget', url='about:blank')['targetId']
        session = self.call('Target.attachToTarget', targetId=target, flatten=True)['sessionId']
        page = Page(self, session, target)
        page.call('Page.enable')
        page.call('Runtime.enable')
        page.navigate(url)
        return page


class Page:
    def __init__(self, browser, session, target):
        self.browser = browser
        self.session = session
        self.target = target

    def call(self, method, wait=60, **params):
        return self.browser.call(method, session=self.session, wait=wait, **params)

    def navigate(self, url):
        self.call('Page.navigate', url=url)
        self.wait_for('document.readyState === "complete"')

    def reload(self):
        self.call('Page.reload', ignoreCache=True)
        time.sleep(0.2)
        self.wait_for('document.readyState === "complete"')

    def evaluate(self, expression, timeout=60):
        """The expression's value (awaited when it is a promise), as JSON."""
        result = self.call('Runtime.evaluate', wait=timeout + 5, expression=expression, awaitPromise=True,
                           returnByValue=True, timeout=timeout * 1000)
        if 'exceptionDetails' in result:
            details = result['exceptionDetails']
            raise ProtocolError(details.get('exception', {}).get('description', details.get('text')))
        return result['result'].get('value')

    def wait_for(self, expression, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.evaluate(f'!!({expression})'):
                return
            time.sleep(0.05)
        raise ProtocolError(f'timed out waiting for {expression}')

    def read_file(self, path):
        """A file of the page's file system, or None."""
        encoded = self.evaluate(
            f'(() => {{ if (!tavelo.exists({json.dumps(path)})) return null;'
            f' const bytes = tavelo.readFile({json.dumps(path)}); let text = "";'
            f' for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));'
            f' return btoa(text); }})()')
        return None if encoded is None else base64.b64decode(encoded)

    def tap(self, x, y):
        """A finger's touch and release at page pixels (x, y)."""
        point = [{'x': x, 'y': y}]
        self.call('Input.dispatchTouchEvent', type='touchStart', touchPoints=point)
        time.sleep(0.1)
        self.call('Input.dispatchTouchEvent', type='touchEnd', touchPoints=[])

