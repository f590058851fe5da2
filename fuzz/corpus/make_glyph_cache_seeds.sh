#!/usr/bin/env bash
# Regenerates the seeds of glyph_cache_file_fuzz: a cache file for a 20-pixel
# face (cell 40 x 80 in quarter pixels) holding three glyphs, and a copy torn
# inside its glyph data. Written field by field, as the renderer writes them.
# usage: fuzz/corpus/make_glyph_cache_seeds.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$here/glyph_cache_file_fuzz
mkdir -p "$out"
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
rows = 20
glyphs = {0x9A8E: 20, 0xA082: 20, 0x41: 9}  # code -> width
widths = bytearray(65536)
offsets = [0] * 65536
data = bytearray(4)  # offset 0 never names a glyph
for code, width in glyphs.items():
    widths[code] = width
    offsets[code] = len(data)
    data += bytes((x * 13 + y * 7) % 256 for y in range(rows) for x in range(width))
header = b"face".ljust(260, b"\0") + struct.pack("<ii", 40, 80) + bytes(widths)
header += struct.pack("<65536I", *offsets) + struct.pack("<III", len(data) + 0x80000, len(data), 0)
assert len(header) == 327960
with open(out + "/three_glyphs.fcd", "wb") as f:
    f.write(header + data)
with open(out + "/torn.fcd", "wb") as f:
    f.write(header + data[:100])
PY
