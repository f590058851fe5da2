#!/usr/bin/env python3
"""Writes the seeds of debug_link_fuzz: the frames a session of tvdbg and the
engine exchange (messages, replies, a break report, a variable record with a
string, an echo), one stream per file, plus a stream cut in the middle of a
frame. usage: fuzz/corpus/make_debug_link_seeds.py"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, 'debug_link_fuzz')
os.makedirs(out, exist_ok=True)


def frame(body):
    return struct.pack('<I', len(body)) + body


def message(code, w=0, l=0, block=b''):
    return frame(struct.pack('<BIii', 1, code, w, l) + block)


def reply(code, value):
    return frame(struct.pack('<BIi', 2, code, value))


def copy_data(tag, data):
    return frame(struct.pack('<BII', 3, tag, len(data)) + data)


break_report = b'START.TVO'.ljust(64, b'\0') + struct.pack('<Ii', 0, 12)
variable = struct.pack('<IiiI', 0x1234ABCD, 2, 1, 5) + b'hello'
echo_block = struct.pack('<III', 0, 0, 3) + b'abc'
seeds = {
    'engine_to_debugger': message(0xA000) + message(0xA002) + copy_data(0, break_report) + reply(0xA003, 0)
    + copy_data(1, variable) + reply(0xA00E, 0) + message(0xA001),
    'debugger_to_engine': message(0xA003) + message(0xA004, 0x1234, 4) + message(0xA007) + message(0xA00E, 0x99)
    + message(0xA00F, 0, 0, echo_block) + message(0xA00A),
    'cut_in_a_frame': message(0xA004, 1, 2)[:7],
}
for name, data in seeds.items():
    with open(os.path.join(out, name), 'wb') as seed:
        seed.write(data)
