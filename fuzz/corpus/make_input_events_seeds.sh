#!/usr/bin/env bash
# Writes the seeds of input_events_fuzz: two keyed areas side by side with
# pointer moves, arrows, a click, a pad button and the wheel; and one with a
# huge area and keys beyond the slots.
# usage: fuzz/corpus/make_input_events_seeds.sh
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/input_events_fuzz
mkdir -p "$out"
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
# event: type(1) key(2) repeat(1) button(1) clicks(1) pad(1) axis(1) value(2) wheel(1) x(4) y(4) inside(1)
event() { printf "\\x$(printf %02x $1)"; printf "\\x$(printf %02x $(($2 & 255)))\\x$(printf %02x $((($2 >> 8) & 255)))"; printf '\x00\x00\x01'; printf "\\x$(printf %02x $3)"; printf '\x00\x00\x00'; printf "\\x$(printf %02x $(($4 & 255)))"; le32 "$5"; le32 "$6"; printf '\x01'; }
{
  printf '\x02\x01\x01\x00'
  printf '\x01'; le32 0; le32 0; le32 50; le32 50; printf '\x31\x00'
  printf '\x02'; le32 100; le32 0; le32 50; le32 50; printf '\x32\x00'
  event 4 0 0 0 10 10      # mouse move
  event 2 39 0 0 0 0       # key down Right
  event 2 40 0 0 0 0       # key down Down
  event 5 0 0 0 120 10     # mouse down
  event 6 0 0 0 120 10     # mouse up
  event 9 0 1 0 0 0        # pad button down B
  event 7 0 0 1 0 0        # wheel
} >"$out/two_areas.bin"
{
  printf '\x01\x01\x02\x01'
  printf '\x07'; le32 -2147483648; le32 -2147483648; le32 2147483647; le32 2147483647; printf '\x25\x00'
  event 2 300 0 0 0 0
  event 2 -5 0 0 0 0
  event 9 0 200 0 0 0
  event 4 0 0 0 2147483647 -2147483648
} >"$out/huge_area.bin"
