#!/usr/bin/env python3
"""Regenerates the seeds of message_layout_fuzz (operation codes in
fuzz/message_layout_fuzz.cpp): a short story with a speaker, a quotation and
page commands; a line far past the pending-text limit; pages replayed from the
history; and text full of stray bytes.

usage: fuzz/corpus/make_message_layout_seeds.py
"""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'message_layout_fuzz')


def text(utf8):
    data = utf8.encode('cp932')
    return bytes([0, len(data)]) + data


def control(code, *ints):
    out = bytes([1, ord(code), len(ints)])
    for value in ints:
        out += b'i' + struct.pack('<i', value)
    return out


MESSAGE = b'\x02'


def replay(offset):
    return b'\x03' + (b'\xff\xff' if offset < 0 else struct.pack('>H', offset))


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {
        'story.bin': text('太郎「こんにちは。今日はいい天気ですね、散歩に行きませんか」') + MESSAGE + control('p')
        + control('w') + text('『（かっこ）』と「「二重」」') + MESSAGE,
        'long_line.bin': text('あ' * 60 + '。') * 12 + MESSAGE + bytes([4, 2, 1, 0x20]) + text('い' * 100) * 12
        + MESSAGE,
        'history.bin': b''.join(control('w') + control('s', 20) + text('「ページ%d」' % n) + MESSAGE + control('p')
                                + control('n') for n in range(1, 4)) + replay(-1) + replay(39900),
        'stray.bin': bytes([0, 12, 0x81, 0x01, 0x7C, 0x82, 0x09, 0x81, 0x75, 0x81, 0x75, 0xFC, 0xFF, 0x00])
        + MESSAGE + control('x') + control('t', 500) + text('「閉じない') + MESSAGE,
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), 'wb') as seed:
            seed.write(data)


if __name__ == '__main__':
    main()
