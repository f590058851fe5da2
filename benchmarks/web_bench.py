#!/usr/bin/env python3
"""Figures of the browser build (scripts/web.sh --build-only first), taken in
Debian's chromium, headless, against build-web/ served on 127.0.0.1:

- download: what a compressing server sends (gzip -9) for the page, the
  engine, its data (the demo and IPAGothic), and the extra fonts;
- first frame: from the start of the page's load to the engine's first frame
  with ?play=demo (the median of RUNS loads);
- interpreter: every benchmarks/interpreter/NAME.tva run headless in the page
  and by the desktop build (`tavelo --headless`): wall time from the engine's
  start to its end (in the page from callMain to the end it reports, on the
  desktop the whole process), RUNS rounds in which every program and the empty
  game run once in the page and once on the desktop, so that a change in the
  machine's load hits both; the median of each, less the empty game's median;
  the ratio page / desktop, its geometric mean, and the load average while
  they ran. Beside the wall time, the same for the CPU time of the thread
  that runs the engine (the page's main thread, read from the renderer's
  schedstat; the desktop process's user + system time), which a loaded
  machine disturbs far less. Then the same programs once the browser's
  optimised code runs: each also runs in a long form (its `; N` constants
  times LONG, a `; DEPTH` argument plus 3), and the table gives the long
  form's time less the program's, the cost of the added work alone. A
  browser runs a function in quick baseline code for its first few hundred
  milliseconds, until its optimised code is compiled; the first table
  includes that, the second shows the speed a game has after its first
  second;
- CPU: the browser's processes' CPU time per wall second while the demo
  animates, and at a still text page (a game that shows one page of text and
  waits for a click), in % of one core.

usage: benchmarks/web_bench.py [--build build] [--web build-web] [--runs 5] [--seconds 10]
                               [--figures download,first-frame,cpu,interpreter] [--js-flags FLAGS]
                               [--long 4] [--raw] [NAME...]
(NAME...: only those interpreter programs)
"""
import argparse
import glob
import gzip
import json
import math
import os
import re
import resource
import shutil
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


def long_form(source_text, times):
    """The program with more work: its `; N` constants times `times`, a
    `; DEPTH` argument plus 3 (fib then makes 4.2 times the calls)."""
    def longer(match):
        value = int(match.group(2))
        value = value + 3 if match.group(4) == 'DEPTH' else value * times
        return f'{match.group(1)}{value}{match.group(3)}{match.group(4)}'
    return re.sub(r'^(\s*push_int )(\d+)(\s*; )(N|DEPTH)\b', longer, source_text, flags=re.M)


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
    """The engine's run in a new tab: (wall ms from callMain to its end, the
    page's main thread's CPU ms from tavelo.start to the end)."""
    page = browser.page(server.url)
    try:
        page.wait_for('window.tavelo')
        # The faces a player's game gets, fetched before the clocks start
        # (the page then finds them in place).
        page.evaluate('tavelo.ready.then(() => Promise.all(' + json.dumps(server.faces) + '.map((face) => '
                      'fetch("fonts/" + face).then((r) => r.arrayBuffer())'
                      '.then((b) => FS.writeFile("/fonts/" + face, new Uint8Array(b))))))', timeout=120)
        cpu = page_thread_cpu_seconds(browser)
        page.evaluate(f"tavelo.start({{game: {{files: {game_files_js(folder)}, name: {name!r}}}, args: ['--headless']}})"
                      '.then(() => tavelo.ended)', timeout=600)
        cpu = page_thread_cpu_seconds(browser) - cpu
        return page.evaluate('tavelo.endedAt - tavelo.startedAt'), cpu * 1000
    finally:
        browser.call('Target.closeTarget', targetId=page.target)


def native_run_ms(tavelo, folder, config):
    """The desktop's run: (wall ms of the process, its CPU ms)."""
    cpu = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.monotonic()
    subprocess.run([tavelo, '--headless', folder], check=True, capture_output=True,
                   env=dict(os.environ, TAVELO_CONFIG_HOME=config))
    wall = (time.monotonic() - started) * 1000
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime + after.ru_stime - cpu.ru_utime - cpu.ru_stime) * 1000


def browser_processes(browser):
    """The browser's process and all its descendants."""
    pids = [browser.process.pid]
    seen = []
    while pids:
        pid = pids.pop()
        if pid in seen:
            continue
        seen.append(pid)
        pids += [int(child) for child in subprocess.run(['pgrep', '-P', str(pid)], capture_output=True,
                                                        text=True).stdout.split()]
    return seen


def browser_cpu_seconds(browser):
    total = 0.0
    ticks = os.sysconf('SC_CLK_TCK')
    for pid in browser_processes(browser):
        try:
            with open(f'/proc/{pid}/stat') as stat:
                fields = stat.read().rsplit(')', 1)[1].split()
            total += (int(fields[11]) + int(fields[12])) / ticks
        except FileNotFoundError:
            pass
    return total


def page_thread_cpu_seconds(browser):
    """CPU time of the renderers' main threads (where pages and the engine
    run), to the nanosecond (schedstat): the background compilers and the
    browser's other processes are left out."""
    total = 0.0
    for pid in browser_processes(browser):
        try:
            with open(f'/proc/{pid}/cmdline') as cmdline:
                if '--type=renderer' not in cmdline.read():
                    continue
            with open(f'/proc/{pid}/task/{pid}/schedstat') as schedstat:
                total += int(schedstat.read().split()[0]) / 1e9
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def cpu_percent(browser, seconds):
    before, started = browser_cpu_seconds(browser), time.monotonic()
    time.sleep(seconds)
    return 100 * (browser_cpu_seconds(browser) - before) / (time.monotonic() - started)


def first_frame_figures(server, runs):
    # A fresh profile for each load: a tab closed mid-game counts as an
    # abnormal end, and the demo (in debug mode) would ask about it at the
    # next start.
    firsts = []
    for _ in range(runs):
        browser = cdp.Browser()
        try:
            page = browser.page(server.url + '?play=demo')
            page.wait_for('window.tavelo && tavelo.firstFrameAt > 0', timeout=120)
            firsts.append(page.evaluate('tavelo.firstFrameAt'))
        finally:
            browser.close()
    print(f'first frame after the start of the page load: {statistics.median(firsts):.0f} ms '
          f'(runs: {", ".join(f"{t:.0f}" for t in firsts)})')


def cpu_figures(server, work, tvoasm, seconds):
    browser = cdp.Browser()
    try:
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
        print(f'CPU while the demo animates: {cpu_percent(browser, seconds):.1f} % of one core')
    finally:
        browser.close()

    still = make_game(work, 'still', STILL_TEXT_GAME, tvoasm)
    browser = cdp.Browser()
    try:
        page = browser.page(server.url)
        page.wait_for('window.tavelo')
        page.evaluate(f"tavelo.start({{game: {{files: {game_files_js(still)}, name: 'still'}}}})")
        page.wait_for('tavelo.firstFrameAt > 0', timeout=120)
        time.sleep(25)
        print(f'CPU at a still text page: {cpu_percent(browser, seconds):.1f} % of one core')
    finally:
        browser.close()


def geometric_mean(values):
    return math.exp(sum(math.log(value) for value in values) / len(values))


def interpreter_figures(server, work, tavelo, tvoasm, names, runs, browser_flags, times, raw):
    sources = {name: open(os.path.join(HERE, 'interpreter', name + '.tva')).read() for name in ['empty'] + names}
    games = {name: make_game(work, name, source, tvoasm) for name, source in sources.items()}
    games.update({name + '.long': make_game(work, name + '.long', long_form(sources[name], times), tvoasm)
                  for name in names})
    # The desktop's settings file is synced at start-up and exit: on a RAM
    # disk, so that the disk's delays stay out of the times.
    shm = '/dev/shm' if os.access('/dev/shm', os.W_OK) else None
    config = tempfile.mkdtemp(prefix='tavelo-web-bench-config-', dir=shm)
    in_page = {name: [] for name in games}
    native = {name: [] for name in games}
    loads = [os.getloadavg()[0]]
    browser = cdp.Browser(flags=browser_flags)
    try:
        for _ in range(runs):
            for name, folder in games.items():
                in_page[name].append(page_run_ms(browser, server, name, folder))
                native[name].append(native_run_ms(tavelo, folder, config))
            loads.append(os.getloadavg()[0])
    finally:
        browser.close()
        shutil.rmtree(config, ignore_errors=True)

    def median(runs_of, name, kind):
        return statistics.median(run[kind] for run in runs_of[name])

    def table(title, base_of):
        print(title)
        print(f'{"":<20} {"wall time":^27}  {"CPU time (main thread)":^27}')
        print(f'{"program":<20} {"page ms":>8} {"desktop ms":>10} {"ratio":>7}  {"page ms":>8} {"desktop ms":>10} '
              f'{"ratio":>7}')
        ratios = [[], []]
        for name in names:
            row = f'{name:<20}'
            measured, base = base_of(name)
            for kind in (0, 1):
                page_ms = max(median(in_page, measured, kind) - median(in_page, base, kind), 1)
                native_ms = max(median(native, measured, kind) - median(native, base, kind), 1)
                ratios[kind].append(page_ms / native_ms)
                row += f' {page_ms:>8.0f} {native_ms:>10.0f} {page_ms / native_ms:>7.2f} '
            print(row.rstrip())
            if raw:
                for game in (measured, base):
                    print(f'  {game}: page', [(round(a), round(b)) for a, b in in_page[game]], 'desktop',
                          [(round(a), round(b)) for a, b in native[game]])
        if names:
            print(f'{"geometric mean":<20} {"":>8} {"":>10} {geometric_mean(ratios[0]):>7.2f}  {"":>8} {"":>10} '
                  f'{geometric_mean(ratios[1]):>7.2f}')

    print(f'interpreter: medians of {runs} runs, load average (1 min) {min(loads):.1f}-{max(loads):.1f} '
          f'while they ran')
    print(f'the empty game: {median(in_page, "empty", 0):.0f} ms in the page, {median(native, "empty", 0):.0f} ms '
          f'on the desktop')
    table('each program, the empty game\'s time subtracted:', lambda name: (name, 'empty'))
    table(f'the added work of the long form (x{times}), the program\'s time subtracted:',
          lambda name: (name + '.long', name))


FIGURES = ('download', 'first-frame', 'cpu', 'interpreter')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', default=os.path.join(HERE, '..', 'build'))
    parser.add_argument('--web', default=os.path.join(HERE, '..', 'build-web'))
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--seconds', type=float, default=10)
    parser.add_argument('--figures', default=','.join(FIGURES),
                        help='which figures, comma-separated: ' + ', '.join(FIGURES))
    parser.add_argument('--js-flags', default='',
                        help='V8 flags for the interpreter runs, e.g. --no-wasm-dynamic-tiering (all code optimized '
                             'before it first runs)')
    parser.add_argument('--long', type=int, default=4, help='how many times the work the long forms do')
    parser.add_argument('--raw', action='store_true', help='print every run\'s times too')
    parser.add_argument('programs', nargs='*')
    options = parser.parse_args()
    figures = options.figures.split(',')
    unknown = [figure for figure in figures if figure not in FIGURES]
    if unknown:
        parser.error('unknown figures: ' + ', '.join(unknown))
    build, web = os.path.abspath(options.build), os.path.abspath(options.web)
    tavelo, tvoasm = os.path.join(build, 'tavelo'), os.path.join(build, 'bin', 'tvoasm')
    work = tempfile.mkdtemp(prefix='tavelo-web-bench-')

    if 'download' in figures:
        page_sizes, font_sizes = download_sizes(web)
        print('download (gzip -9, bytes): ' + ', '.join(f'{name} {size}' for name, size in page_sizes.items()) +
              f'; total {sum(page_sizes.values())}')
        print('fonts fetched for a player\'s game: ' +
              ', '.join(f'{name} {size}' for name, size in font_sizes.items()) +
              f'; with them {sum(page_sizes.values()) + sum(font_sizes.values())}')

    server = cdp.Server(web)
    # The faces the page fetches before a player's game (build-web/fonts/).
    server.faces = sorted(os.path.basename(path) for path in glob.glob(os.path.join(web, 'fonts', '*')))
    try:
        if 'first-frame' in figures:
            first_frame_figures(server, options.runs)
        if 'cpu' in figures:
            cpu_figures(server, work, tvoasm, options.seconds)
        if 'interpreter' in figures:
            names = options.programs or sorted(os.path.basename(path)[:-4] for path in
                                               glob.glob(os.path.join(HERE, 'interpreter', '*.tva')))
            interpreter_figures(server, work, tavelo, tvoasm, [name for name in names if name != 'empty'],
                                options.runs, [f'--js-flags={options.js_flags}'] if options.js_flags else [],
                                options.long, options.raw)
    finally:
        server.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
