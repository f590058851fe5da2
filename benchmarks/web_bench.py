#!/usr/bin/env python3
"""Figures of the browser build (scripts/web.sh --build-only first), taken in
Debian's chromium, headless, against build-web/ served on 127.0.0.1:

- download: what a compressing server sends (gzip -9) for the page, the
  engine, its data (the demo and IPAGothic), and the extra fonts;
- first frame: from the start of the page's load to the engine's first frame
  with ?play=demo (the median of RUNS loads);
- interpreter: every benchmarks/interpreter/NAME.tva run headless in the page
  and by the desktop build (`tavelo --headless`), best of RUNS, the empty
  game's time subtracted from both; the ratio page / desktop and their
  geometric mean;
- CPU: the browser's processes' CPU time per wall second while the demo
  animates, and at a still text page (a game that shows one page of text and
  waits for a click), in % of one core.

usage: benchmarks/web_bench.py [--build build] [--web build-web] [--runs 3] [--seconds 10] [NAME...]
"""
import argparse
import glob
import gzip
import math
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
import cdp  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

STILL_TEXT_GAME = """.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main
init:
    return
main:
    line 1
    text "静かなページです。クリックを待っています。"
    message
    control "p"
    push_int 1
    syscall_discard wait_click 1
    return
"""


def compressed_size(path):
    with open(path, 'rb') as data:
        return len(gzip.compress(data.read(), 9))


def download_sizes(web):
    page = {name: compressed_size(os.path.join(web, name)) for name in
            ('index.html', 'tavelo.js', 'tavelo.wasm', 'tavelo.data')}
    fonts = {os.path.basename(path): compressed_size(path) for path in sorted(glob.glob(os.path.join(web, 'fonts', '*')))}
    return page, fonts


def make_game(work, name, source_text, tvoasm):
    folder = os.path.join(work, name)
    os.makedirs(os.path.join(folder, 'scenario'), exist_ok=True)
    with open(os.path.join(folder, 'tavelo.env'), 'w') as out:
        out.write(f'TITLEBAR bench-{name}\n')
    source = os.path.join(work, name + '.tva')
    with open(source, 'w') as out:
        out.write(source_text)
    subprocess.run([tvoasm, source, '-o', os.path.join(folder, 'scenario', 'start.tvo')], check=True)
    return folder


def game_files_js(folder):
    """The game's files as a JavaScript array of [path, bytes]."""
    entries = []
    for directory, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(directory, name)
            with open(path, 'rb') as data:
                entries.append(f'[{os.path.relpath(path, folder)!r}, new Uint8Array({list(data.read())})]')
    return '[' + ', '.join(entries) + ']'


def page_run_ms(browser, server, name, folder):
    page = browser.page(server.url)
    try:
        page.wait_for('window.tavelo')
        page.evaluate(f"tavelo.start({{game: {{files: {game_files_js(folder)}, name: {name!r}}}, args: ['--headless']}})"
                      '.then(() => tavelo.ended)', timeout=600)
        return page.evaluate('tavelo.endedAt - tavelo.startedAt')
    finally:
        browser.call('Target.closeTarget', targetId=page.target)


def native_run_ms(tavelo, folder, config):
    started = time.monotonic()
    subprocess.run([tavelo, '--headless', folder], check=True, capture_output=True,
                   env=dict(os.environ, TAVELO_CONFIG_HOME=config))
    return (time.monotonic() - started) * 1000


def browser_cpu_seconds(browser):
    total = 0.0
    ticks = os.sysconf('SC_CLK_TCK')
    pids = [browser.process.pid]
    pids += [int(pid) for pid in subprocess.run(['pgrep', '-P', str(browser.process.pid)], capture_output=True,
                                                text=True).stdout.split()]
    seen = set()
    while pids:
        pid = pids.pop()
        if pid in seen:
            continue
        seen.add(pid)
        pids += [int(child) for child in subprocess.run(['pgrep', '-P', str(pid)], capture_output=True,
                                                        text=True).stdout.split()]
        try:
            with open(f'/proc/{pid}/stat') as stat:
                fields = stat.read().rsplit(')', 1)[1].split()
            total += (int(fields[11]) + int(fields[12])) / ticks
        except FileNotFoundError:
            pass
    return total


def cpu_percent(browser, seconds):
    before, started = browser_cpu_seconds(browser), time.monotonic()
    time.sleep(seconds)
    return 100 * (browser_cpu_seconds(browser) - before) / (time.monotonic() - started)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', default=os.path.join(HERE, '..', 'build'))
    parser.add_argument('--web', default=os.path.join(HERE, '..', 'build-web'))
    parser.add_argument('--runs', type=int, default=3)
    parser.add_argument('--seconds', type=float, default=10)
    parser.add_argument('programs', nargs='*')
    options = parser.parse_args()
    build, web = os.path.abspath(options.build), os.path.abspath(options.web)
    tavelo, tvoasm = os.path.join(build, 'tavelo'), os.path.join(build, 'bin', 'tvoasm')
    work = tempfile.mkdtemp(prefix='tavelo-web-bench-')

    page_sizes, font_sizes = download_sizes(web)
    print('download (gzip -9, bytes): ' + ', '.join(f'{name} {size}' for name, size in page_sizes.items()) +
          f'; total {sum(page_sizes.values())}')
    print('fonts fetched for a player\'s game: ' + ', '.join(f'{name} {size}' for name, size in font_sizes.items()) +
          f'; with them {sum(page_sizes.values()) + sum(font_sizes.values())}')

    server = cdp.Server(web)
    browser = cdp.Browser()
    try:
        # A fresh profile for each load: a tab closed mid-game counts as an
        # abnormal end, and the demo (in debug mode) would ask about it at the
        # next start.
        firsts = []
        for _ in range(options.runs):
            browser.close()
            browser = cdp.Browser()
            page = browser.page(server.url + '?play=demo')
            page.wait_for('window.tavelo && tavelo.firstFrameAt > 0', timeout=120)
            firsts.append(page.evaluate('tavelo.firstFrameAt'))
        print(f'first frame after the start of the page load: {statistics.median(firsts):.0f} ms '
              f'(runs: {", ".join(f"{t:.0f}" for t in firsts)})')

        browser.close()
        browser = cdp.Browser()
        page = browser.page(server.url + '?play=demo')
        page.wait_for('tavelo.firstFrameAt > 0', timeout=120)
        page.evaluate('new Promise(r => setTimeout(r, 1000))')
        # The title's start button (a click, as the player's first gesture).
        box = page.evaluate('(() => { const r = document.getElementById("canvas").getBoundingClientRect();'
                            ' return [r.left, r.top, r.width, r.height]; })()')
        for kind in ('mousePressed', 'mouseReleased'):
            page.call('Input.dispatchMouseEvent', type=kind, x=box[0] + box[2] / 2, y=box[1] + 358 * box[3] / 480,
                      button='left', clickCount=1)
        # The browser compiles the engine's hot code again in the background
        # for some 20 s after the start: the figures are taken after that.
        time.sleep(20)
        print(f'CPU while the demo animates: {cpu_percent(browser, options.seconds):.1f} % of one core')
        browser.call('Target.closeTarget', targetId=page.target)

        still = make_game(work, 'still', STILL_TEXT_GAME, tvoasm)
        browser.close()
        browser = cdp.Browser()
        page = browser.page(server.url)
        page.wait_for('window.tavelo')
        page.evaluate(f"tavelo.start({{game: {{files: {game_files_js(still)}, name: 'still'}}}})")
        page.wait_for('tavelo.firstFrameAt > 0', timeout=120)
        time.sleep(25)
        print(f'CPU at a still text page: {cpu_percent(browser, options.seconds):.1f} % of one core')
        browser.call('Target.closeTarget', targetId=page.target)

        names = options.programs or sorted(os.path.basename(path)[:-4] for path in
                                           glob.glob(os.path.join(HERE, 'interpreter', '*.tva')))
        names = [name for name in names if name != 'empty']
        config = os.path.join(work, 'config')
        empty = make_game(work, 'empty', open(os.path.join(HERE, 'interpreter', 'empty.tva')).read(), tvoasm)
        base_page = min(page_run_ms(browser, server, 'empty', empty) for _ in range(options.runs))
        base_native = min(native_run_ms(tavelo, empty, config) for _ in range(options.runs))
        print(f'empty game: page {base_page:.0f} ms, desktop {base_native:.0f} ms')
        print(f'{"program":<20} {"page ms":>10} {"desktop ms":>11} {"ratio":>7}')
        ratios = []
        for name in names:
            folder = make_game(work, name, open(os.path.join(HERE, 'interpreter', name + '.tva')).read(), tvoasm)
            in_page = max(min(page_run_ms(browser, server, name, folder) for _ in range(options.runs)) - base_page, 1)
            native = max(min(native_run_ms(tavelo, folder, config) for _ in range(options.runs)) - base_native, 1)
            ratios.append(in_page / native)
            print(f'{name:<20} {in_page:>10.0f} {native:>11.0f} {in_page / native:>7.2f}', flush=True)
        if ratios:
            mean = math.exp(sum(math.log(r) for r in ratios) / len(ratios))
            print(f'geometric mean of the ratios: {mean:.2f}')
    finally:
        browser.close()
        server.close()


if __name__ == '__main__':
    main()
