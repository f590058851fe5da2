#!/usr/bin/env python3
"""Prints the engine's coupling figures: how many compile steps a change to
each shared header sets off, and which host:: operations code outside host/
calls.

The rebuild counts come from the dependency log of a built Ninja tree
(`ninja -t deps`, the headers each object was last compiled with): an object
is counted for a header when the header is among its dependencies. Build the
tree first; the counts cover every target it builds (engine, tools, tests,
benchmarks when configured).

  python3 scripts/rebuild_figures.py [build-directory]
"""
import os
import re
import subprocess
import sys

HEADERS = ['graphics/state.h', 'text/state.h', 'audio/state.h', 'script/state.h', 'persistence/snapshot.h']
# The engine's parts as a handler reaches them: not operations of host/.
ACCESSORS = {'Engine', 'platform_of', 'resources_of', 'machine_of', 'graphics_of', 'text_of', 'input_of',
             'audio_of', 'movie_of', 'persistence_of', 'library_of'}
LAYER_FOLDERS = ['platform', 'resources', 'script', 'graphics', 'text', 'audio', 'input', 'movie',
                 'persistence', 'dialogs', 'library']
HOST_NAME = re.compile(r'\bhost::([A-Za-z_]\w*)')


def object_dependencies(build):
    """Object file -> set of source-tree-relative dependency paths."""
    root = os.path.realpath(os.path.join(os.path.dirname(__file__), '..'))
    output = subprocess.run(['ninja', '-C', build, '-t', 'deps'], check=True, capture_output=True,
                            text=True).stdout
    objects = {}
    current = None
    for line in output.splitlines():
        if line and not line.startswith(' '):
            current = line.split(':')[0]
            objects[current] = set()
        elif line.strip() and current is not None:
            path = line.strip()
            if not os.path.isabs(path):
                path = os.path.join(build, path)
            path = os.path.realpath(path)
            if path.startswith(root + os.sep):
                objects[current].add(os.path.relpath(path, root))
    return objects


def is_syscall_file(path):
    name = os.path.basename(path)
    return name.startswith(('syscalls.', )) or '_syscalls.' in name


def object_source(name):
    # CMake names objects <target dir>/CMakeFiles/<target>.dir/<source>.o
    match = re.match(r'(?:(.*)/)?CMakeFiles/[^/]+\.dir/(.+)\.o$', name)
    if not match:
        return name
    return os.path.join(match.group(1) or '', match.group(2))


def host_calls(root):
    """host:: operation -> files outside host/ that name it (accessors left out)."""
    calls = {}
    for folder in LAYER_FOLDERS:
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in files:
                if not name.endswith(('.h', '.cpp', '.inc')):
                    continue
                path = os.path.join(directory, name)
                with open(path, encoding='utf-8', errors='replace') as source:
                    text = source.read()
                for operation in set(HOST_NAME.findall(text)):
                    # Functions only: the types of their arguments and results come with them.
                    if operation not in ACCESSORS and operation[0].islower():
                        calls.setdefault(operation, set()).add(os.path.relpath(path, root))
    return calls


def main():
    root = os.path.realpath(os.path.join(os.path.dirname(__file__), '..'))
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'build')
    objects = object_dependencies(build)
    print(f'compile steps set off by a change to a header ({len(objects)} objects in {build}):')
    for header in HEADERS:
        users = sorted(object_source(name) for name, deps in objects.items() if header in deps)
        tests = sum(1 for source in users if source.startswith('tests/'))
        syscalls = sum(1 for source in users if is_syscall_file(source))
        print(f'  {header:26} {len(users):4}  (tests {tests}, system-call files {syscalls})')
    calls = host_calls(root)
    print(f'host:: operations named outside host/ (state accessors left out): {len(calls)}')
    for operation in sorted(calls):
        print(f'  {operation:24} {", ".join(sorted(calls[operation]))}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
