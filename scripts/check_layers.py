#!/usr/bin/env python3
"""Checks the engine's layer rule and its platform boundary.

Layers, lowest first (docs/architecture.md draws them):
  platform <- resources <- script <- graphics <- {text, audio, input, movie,
  persistence, dialogs} <- library <- host
Graphics is the canvas the subsystems above it draw on and convert points
through; the film calls that also stop sound and take the ending key live in
host/movie_syscalls.cpp. An include never points up a layer, and the subsystems of
one layer do not include each other. System-call files (syscalls.cpp and
*_syscalls.cpp) are the engine's glue: a handler receives the whole engine, and
these files may include host/engine_parts.h to reach its parts — nothing else
of host/.

Calls are checked too, since a handler holds the whole engine: outside host/
a file may name host:: only for the engine, the accessors of its own state
and of the layers below its own (host::graphics_of from text, say), and the
operations listed under "Calls into host" in docs/architecture.md, each with
the folders that may still use it and why it is debt.

Outside platform/ no file includes SDL or a desktop's headers, opens files with
the C library, reads the process environment or reads a wall clock.

Exit status 0 when every rule holds; otherwise each offending line is printed.
"""
import os
import re
import sys

LEVELS = {
    'platform': 0, 'resources': 1, 'script': 2, 'graphics': 3,
    'text': 4, 'audio': 4, 'input': 4, 'movie': 4, 'persistence': 4, 'dialogs': 4,
    'library': 5,
    'host': 6,
}
SHARED_RECORDS = set()
GLUE_HEADER = 'host/engine_parts.h'
SOURCE_SUFFIXES = ('.h', '.hpp', '.cpp', '.cc', '.def', '.inc')

INCLUDE = re.compile(r'^\s*#\s*include\s+[<"]([^>"]+)[>"]')
FORBIDDEN_OUTSIDE_PLATFORM = [
    (re.compile(r'^\s*#\s*include\s+[<"](SDL[^>"]*|windows\.h)[>"]'), 'platform header'),
    (re.compile(r'\b(fopen|freopen|getenv|secure_getenv|gettimeofday|clock_gettime)\s*\('), 'platform call'),
    (re.compile(r'\bstd::time\s*\(|\btime\s*\(\s*(nullptr|NULL|0)\s*\)'), 'wall clock'),
    (re.compile(r'\b(system_clock|steady_clock|high_resolution_clock)\b'), 'wall clock'),
]


HOST_NAME = re.compile(r'\bhost::([A-Za-z_]\w*)')
ACCESSOR = re.compile(r'^([a-z]+)_of$')
ACCESSOR_FOLDERS = {'machine': 'script'}
# A row of the allow-list: | `operation` | folder, folder | why |
ALLOW_ROW = re.compile(r'^\|\s*`([a-z_]+)`\s*\|([^|]*)\|')
ALLOW_SECTION = '## Calls into host'


def read_allow_list(root):
    """operation -> folders that may call it, from docs/architecture.md."""
    allowed = {}
    path = os.path.join(root, 'docs', 'architecture.md')
    if not os.path.exists(path):
        return allowed
    inside = False
    with open(path, encoding='utf-8') as doc:
        for line in doc:
            if line.startswith('## '):
                inside = line.strip() == ALLOW_SECTION
                continue
            match = ALLOW_ROW.match(line) if inside else None
            if match:
                allowed[match.group(1)] = {part.strip(' `') for part in match.group(2).split(',')}
    return allowed


def host_call_allowed(folder, operation, allowed):
    if operation == 'Engine' or operation[0].isupper():
        return True  # the engine and the types of allowed calls' arguments
    accessor = ACCESSOR.match(operation)
    if accessor:
        part = ACCESSOR_FOLDERS.get(accessor.group(1), accessor.group(1))
        if part in LEVELS and (part == folder or LEVELS[part] < LEVELS[folder]):
            return True
    return folder in allowed.get(operation, ())


def is_glue(path):
    name = os.path.basename(path)
    return name == 'syscalls.cpp' or name.endswith('_syscalls.cpp')


def source_files(root):
    for folder in LEVELS:
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield folder, os.path.join(directory, name)


def strip_comment(line):
    at = line.find('//')
    return line if at < 0 else line[:at]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    problems = []
    allowed = read_allow_list(root)
    edges = {}  # folder -> set of folders it includes (glue excluded)
    for folder, path in source_files(root):
        relative = os.path.relpath(path, root)
        with open(path, encoding='utf-8', errors='replace') as source:
            for number, line in enumerate(source, 1):
                code = strip_comment(line)
                if folder != 'platform':
                    for pattern, what in FORBIDDEN_OUTSIDE_PLATFORM:
                        if pattern.search(code):
                            problems.append(f'{relative}:{number}: {what} outside platform/: {line.strip()}')
                if folder != 'host':
                    for operation in HOST_NAME.findall(code):
                        if not host_call_allowed(folder, operation, allowed):
                            problems.append(f'{relative}:{number}: calls host::{operation} '
                                            f'(not its own state, a lower layer or on the allow-list)')
                match = INCLUDE.match(code)
                if not match:
                    continue
                target = match.group(1)
                target_folder = target.split('/')[0]
                if target_folder not in LEVELS or target_folder == folder:
                    continue
                if is_glue(path) and target == GLUE_HEADER:
                    continue
                upward = LEVELS[target_folder] > LEVELS[folder]
                sideways = LEVELS[target_folder] == LEVELS[folder] and target not in SHARED_RECORDS
                if upward or sideways:
                    direction = 'up a layer' if upward else 'sideways'
                    problems.append(f'{relative}:{number}: includes {target} ({direction})')
                edges.setdefault(folder, set()).add(target_folder)

    # Folder cycles (the rule above forbids them; this names one if it slips in).
    def cycle_from(start):
        stack = [(start, [start])]
        while stack:
            node, trail = stack.pop()
            for nxt in edges.get(node, ()):
                if nxt == start:
                    return trail + [start]
                if nxt not in trail:
                    stack.append((nxt, trail + [nxt]))
        return None

    for folder in sorted(edges):
        cycle = cycle_from(folder)
        if cycle:
            problems.append('folder include cycle: ' + ' -> '.join(cycle))
            break

    for problem in problems:
        print(problem)
    if problems:
        print(f'{len(problems)} layer or boundary problem(s); see docs/architecture.md', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
