#!/usr/bin/env python3
"""Runs scripts/check_layers.py on small made-up trees: it must catch an
include up or across a layer and a call into host/ that is neither an
accessor of the caller's own or a lower layer nor on the allow-list, and
leave alone what the rule allows."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'check_layers.py')

ALLOW_LIST = """# Architecture

## Calls into host

| Operation | Used by | Why it is still a call |
| --- | --- | --- |
| `refresh_window_menu` | input | the menus are host's |

## Who owns what
| `not_a_call` | text | outside the section: no entry |
"""


def check(files):
    """The check's exit status and the problem lines, sorted."""
    with tempfile.TemporaryDirectory() as root:
        for relative, text in files.items():
            path = os.path.join(root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'w', encoding='utf-8') as out:
                out.write(text)
        result = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
        return result.returncode, sorted(result.stdout.splitlines())


class LayerCheck(unittest.TestCase):
    def test_includes_go_down_and_never_across(self):
        status, lines = check({
            'text/layout.cpp': '#include "graphics/page.h"\n#include "audio/state.h"\n',
            'graphics/page.cpp': '#include "text/state.h"\n',
            'movie/player.cpp': '#include "audio/channels.h"\n',
            'input/syscalls.cpp': '#include "host/engine_parts.h"\n#include "host/engine.h"\n',
        })
        self.assertEqual(status, 1)
        self.assertEqual(lines, [
            'folder include cycle: graphics -> text -> graphics',
            'graphics/page.cpp:1: includes text/state.h (up a layer)',
            'input/syscalls.cpp:2: includes host/engine.h (up a layer)',
            'movie/player.cpp:1: includes audio/channels.h (sideways)',
            'text/layout.cpp:2: includes audio/state.h (sideways)',
        ])

    def test_calls_into_host_are_accessors_below_or_on_the_list(self):
        status, lines = check({
            'docs/architecture.md': ALLOW_LIST,
            'input/syscalls.cpp': (
                'void f(host::Engine& engine) {\n'
                '  host::refresh_window_menu(engine);  // listed for input\n'
                '  host::input_of(engine); host::graphics_of(engine); host::machine_of(engine);\n'
                '}\n'),
            'text/syscalls.cpp': (
                'void g(host::Engine& engine) {\n'
                '  host::refresh_window_menu(engine);\n'
                '  host::audio_of(engine);\n'
                '  host::not_a_call(engine);\n'
                '}\n'),
            'graphics/syscalls.cpp': 'void h(host::Engine& engine) { host::movie_of(engine); }\n',
        })
        self.assertEqual(status, 1)
        self.assertEqual(lines, [
            'graphics/syscalls.cpp:1: calls host::movie_of (not its own state, a lower layer or on the allow-list)',
            'text/syscalls.cpp:2: calls host::refresh_window_menu (not its own state, a lower layer or on the allow-list)',
            'text/syscalls.cpp:3: calls host::audio_of (not its own state, a lower layer or on the allow-list)',
            'text/syscalls.cpp:4: calls host::not_a_call (not its own state, a lower layer or on the allow-list)',
        ])

    def test_a_tree_that_keeps_the_rule_passes(self):
        status, lines = check({
            'docs/architecture.md': ALLOW_LIST,
            'movie/syscalls.cpp': ('#include "graphics/screen.h"\n#include "host/engine_parts.h"\n'
                                   'void m(host::Engine& e) { host::graphics_of(e); host::movie_of(e); }\n'),
            'host/frame_loop.cpp': '#include "movie/state.h"\nvoid n(host::Engine& e) { host::anything(e); }\n',
        })
        self.assertEqual((status, lines), (0, []))


if __name__ == '__main__':
    unittest.main()
