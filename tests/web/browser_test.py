#!/usr/bin/env python3
"""The browser build in a real browser: Debian's chromium, headless, driven
over the DevTools protocol against build-web/ served on 127.0.0.1.

- The demo, played with a replayed-input file on the virtual clock in the page,
  gives the same screenshots (pixel for pixel) and the same debugout.log as
  `tavelo --headless` with the same file.
- A game opened from a .zip (a small kit game this test packs) plays as the
  desktop build plays it; its save is listed and loads after the page reloads.
- A game whose environment names another code page starts again in it.
- A tap on the demo's title button (a mouse area) in the page's real window
  starts the demo.

usage: tests/web/browser_test.py [BUILD_DIR [WEB_DIR]]   (defaults build, build-web)
"""
import base64
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import traceback
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))

# The demo: the title's start button is clicked, the story's pages are
# clicked on, the menu bar is shown for a moment; screenshots on the way.
DEMO_INPUT = """\
300 mouse move 320 358
500 click left 320 358
1500 screenshot shot-1.png
4000 click left 320 240
6000 click left 320 240
6500 screenshot shot-2.png
8000 click left 320 240
9000 key F10
9500 screenshot shot-3.png
9600 key Escape
11000 click left 320 240
"""
DEMO_QUIT_AFTER = 13000
DEMO_SHOTS = ['shot-1.png', 'shot-2.png', 'shot-3.png', 'final.png']
# Screenshots with the menu bar open: the menus are Dear ImGui's triangles,
# drawn by SDL's software renderer, and the edges of their anti-aliased
# glyphs come out a little differently from WebAssembly than from the
# desktop's x86-64 code (8143 of 921600 channel values, all inside the open
# menu). The game's own pictures are equal to the bit.
UI_SHOT_BOUND = {'shot-3.png': 0.015}
# How the log line the demo's title writes when its button was chosen begins
# (the button's number follows).
TITLE_CHOSEN = 'タイトル: 選ばれました'

# A kit game: prints slot 1's comment ("" before the first save), loads slot 1
# when it can; otherwise sets a global, takes a save point and saves slot 1.
# Either way it goes on after the save point, prints the global and ends.
KIT_SCRIPT = """\
.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main
init:
    return
main:
    line 1
    syscall_discard enable_saving 0
    syscall_discard enable_save_points 0
    push_int 1
    syscall save_comment 1
    syscall_discard 0xF3679C34 1
    push_int 1
    syscall load 1
    jump_if_false loading
    push_int 41
    set_int_pop global int "@g@GLOBAL"
    push_string "kit"
    syscall_discard save_point 1
    push_int 1
    syscall_discard save 1
    load global int "@g@GLOBAL"
    syscall_discard 0xF3679C34 1
    syscall_discard 0x8D8FB32E 0
    return
loading:
    push_int 60000
    syscall_discard music_fadeout_wait 1
    return
"""


def log_lines(data):
    """debugout.log's lines without their "YYMMDD_HHMM " stamps (local time)."""
    lines = []
    for line in data.decode('utf-8', errors='replace').splitlines():
        if len(line) >= 12 and line[6] == '_' and line[11] == ' ':
            line = line[12:]
        lines.append(line.rstrip())
    return lines


def png_pixels(data):
    """(width, height, rows) of an 8-bit RGB or RGBA PNG, decoded here."""
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG file'
    at, chunks, header = 8, b'', None
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            header = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            chunks += body
        at += 12 + length
    width, height, depth, colour = header[:4]
    assert depth == 8 and colour in (2, 6), f'unexpected PNG form {depth}/{colour}'
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(chunks)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                guess = left + up - corner
                near = min((abs(guess - left), 0, left), (abs(guess - up), 1, up), (abs(guess - corner), 2, corner))
                line[i] = (line[i] + near[2]) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def same_picture(name, native, page, bound=0.0):
    """None when equal, or differing in at most bound (a share) of channel values."""
    if native is None or page is None:
        return f'{name}: missing (desktop {native is not None}, page {page is not None})'
    if native == page:
        return None
    a, b = png_pixels(native), png_pixels(page)
    if a[:2] != b[:2]:
        return f'{name}: {a[0]}x{a[1]} on the desktop, {b[0]}x{b[1]} in the page'
    differing = sum(x != y for row_a, row_b in zip(a[2], b[2]) for x, y in zip(row_a, row_b))
    allowed = int(bound * a[0] * a[1] * 3)
    return None if differing <= allowed else f'{name}: {differing} channel values differ (allowed {allowed})'


class Suite:
    def __init__(self, build, web):
        self.build = build
        self.work = tempfile.mkdtemp(prefix='tavelo-browser-test-')
        self.server = cdp.Server(web)
        self.browser = cdp.Browser()

    def close(self):
        self.browser.close()
        self.server.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def native_run(self, name, game, input_text, quit_after):
        """`tavelo --headless` on a copy of game; its folder (screenshots, log)."""
        folder = os.path.join(self.work, 'desktop-' + name)
        os.makedirs(folder)
        copy = os.path.join(folder, 'game')
        shutil.copytree(game, copy, ignore=shutil.ignore_patterns('savedata', 'debugout.log'))
        command = [os.path.join(self.build, 'tavelo'), '--headless', '--quit-after', str(quit_after),
                   '--screenshot', 'final.png']
        if input_text:
            with open(os.path.join(folder, 'input.txt'), 'w') as out:
                out.write(input_text)
            command += ['--input', 'input.txt']
        environment = dict(os.environ, TAVELO_CONFIG_HOME=os.path.join(folder, 'config'))
        result = subprocess.run(command + [copy], cwd=folder, env=environment, capture_output=True, timeout=300)
        assert result.returncode == 0, f'desktop run failed ({result.returncode}): {result.stderr.decode()}'
        return folder

    def page_run(self, game, input_text, quit_after, page=None):
        """The same run in a fresh page (or the given one); the page."""
        page = page or self.browser.page(self.server.url)
        args = ['--headless', '--quit-after', str(quit_after), '--screenshot', 'final.png']
        files = {}
        if input_text:
            args += ['--input', '/run/input.txt']
            files['/run/input.txt'] = input_text
        page.wait_for('window.tavelo')
        status = page.evaluate(f'tavelo.start({{game: {game}, args: {args!r}, files: {files!r}}})'
                               '.then(() => tavelo.ended)', timeout=300)
        assert status == 0, f'the page run ended with status {status}; console: {self.browser.console[-10:]}'
        return page


def read(path):
    try:
        with open(path, 'rb') as data:
            return data.read()
    except FileNotFoundError:
        return None


def demo_plays_as_on_the_desktop(suite):
    demo = os.path.join(suite.build, 'games', 'demo')
    native = suite.native_run('demo', demo, DEMO_INPUT, DEMO_QUIT_AFTER)
    page = suite.page_run("'demo'", DEMO_INPUT, DEMO_QUIT_AFTER)
    problems = [same_picture(shot, read(os.path.join(native, shot)), page.read_file('/' + shot), UI_SHOT_BOUND.get(shot, 0))
                for shot in DEMO_SHOTS]
    native_log = log_lines(read(os.path.join(native, 'game', 'debugout.log')) or b'')
    page_log = log_lines(page.read_file('/games/demo/debugout.log') or b'')
    if native_log != page_log:
        problems.append(f'debugout.log differs: desktop {native_log[:40]} page {page_log[:40]}')
    if not any(line.startswith(TITLE_CHOSEN) for line in native_log):
        problems.append('the replay did not start the demo')
    problems = [problem for problem in problems if problem]
    assert not problems, '; '.join(problems)


def kit_game(suite, name='kit', environment=''):
    """The kit game's folder (assembled with the desktop build's tvoasm) and its .zip."""
    folder = os.path.join(suite.work, name)
    os.makedirs(os.path.join(folder, 'scenario'), exist_ok=True)
    with open(os.path.join(folder, 'tavelo.env'), 'w') as out:
        out.write('TITLEBAR TaveloKit\n' + environment)
    # A file under update/ turns on debug mode: the prints go to debugout.log.
    os.makedirs(os.path.join(folder, 'update'), exist_ok=True)
    with open(os.path.join(folder, 'update', 'debug.dat'), 'w') as out:
        out.write('debug\n')
    source = os.path.join(suite.work, 'kit.tva')
    with open(source, 'w') as out:
        out.write(KIT_SCRIPT)
    tvoasm = os.path.join(suite.build, 'bin', 'tvoasm')
    subprocess.run([tvoasm, source, '-o', os.path.join(folder, 'scenario', 'start.tvo')], check=True)
    packed = io.BytesIO()
    with zipfile.ZipFile(packed, 'w', zipfile.ZIP_DEFLATED) as archive:
        for name in ('tavelo.env', 'scenario/start.tvo', 'update/debug.dat'):
            archive.write(os.path.join(folder, name), 'kit/' + name)
    return folder, packed.getvalue()


def run_zip(suite, page, packed, name):
    """Plays the .zip bytes in the page (opened as name) as a player's game."""
    page.wait_for('window.tavelo')
    page.evaluate(f'window.kitZip = Uint8Array.from(atob("{base64.b64encode(packed).decode()}"),'
                  ' c => c.charCodeAt(0)).buffer')
    suite.page_run(f"{{zip: window.kitZip, name: '{name}'}}", '', 5000, page)


def zip_game_plays_and_its_save_loads_after_a_reload(suite):
    folder, packed = kit_game(suite)
    native = suite.native_run('kit', folder, '', 5000)
    page = suite.browser.page(suite.server.url)
    run_zip(suite, page, packed, 'kit.zip')
    problem = same_picture('final.png', read(os.path.join(native, 'final.png')), page.read_file('/final.png'))
    first = log_lines(page.read_file('/games/kit/debugout.log') or b'')
    assert first == log_lines(read(os.path.join(native, 'game', 'debugout.log'))), f'kit log: {first}'
    assert first == ['', '41'], f'kit log: {first}'
    assert problem is None, problem
    assert page.read_file('/games/kit/savedata/tavelo01.sav') is not None or page.evaluate(
        'FS.readdir("/games/kit/savedata").length > 2'), 'no save file in the page'

    page.reload()
    run_zip(suite, page, packed, 'kit.zip')
    second = log_lines(page.read_file('/games/kit/debugout.log') or b'')
    assert second == ['kit', '41'], f'after the reload the kit logged {second}'


def a_game_in_another_code_page_restarts_the_engine_in_it(suite):
    # The page's engine starts in CP932; this game's environment names UTF-8,
    # and the run must begin again in that code page, as the desktop's does.
    folder, packed = kit_game(suite, 'kit-utf8', 'CODEPAGE UTF-8\n')
    native = suite.native_run('kit-utf8', folder, '', 5000)
    page = suite.browser.page(suite.server.url)
    run_zip(suite, page, packed, 'kit-utf8.zip')
    logged = log_lines(page.read_file('/games/kit-utf8/debugout.log') or b'')
    assert logged == log_lines(read(os.path.join(native, 'game', 'debugout.log'))) == ['', '41'], f'logged {logged}'


def a_tap_on_the_title_button_starts_the_demo(suite):
    page = suite.browser.page(suite.server.url)
    page.wait_for('window.tavelo')
    page.evaluate("tavelo.start({game: 'demo', args: ['--quit-after', '20000']})")
    page.wait_for('tavelo.firstFrameAt > 0', timeout=60)
    # The canvas shows the 640 x 480 picture scaled to its box: map the
    # button's centre (320, 358) to page pixels.
    box = page.evaluate('(() => { const r = document.getElementById("canvas").getBoundingClientRect();'
                        ' return [r.left, r.top, r.width, r.height]; })()')
    x, y = box[0] + 320 * box[2] / 640, box[1] + 358 * box[3] / 480
    page.tap(x, y)
    page.wait_for('tavelo.exists("/games/demo/debugout.log") &&'
                  ' new TextDecoder().decode(tavelo.readFile("/games/demo/debugout.log"))'
                  f'.includes("{TITLE_CHOSEN}")', timeout=30)


CHECKS = [demo_plays_as_on_the_desktop, zip_game_plays_and_its_save_loads_after_a_reload,
          a_game_in_another_code_page_restarts_the_engine_in_it, a_tap_on_the_title_button_starts_the_demo]


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'build'))
    web = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, 'build-web'))
    suite = Suite(build, web)
    passed = failed = 0
    try:
        for check in CHECKS:
            try:
                check(suite)
                passed += 1
                print(f'ok   {check.__name__}', flush=True)
            except Exception as error:  # a check's failure is reported, and the others still run
                failed += 1
                print(f'FAIL {check.__name__}: {error}', flush=True)
                if not isinstance(error, (AssertionError, cdp.ProtocolError)):
                    traceback.print_exc()
                for line in suite.browser.console[-20:]:
                    print(f'     console: {line}')
    finally:
        suite.close()
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
