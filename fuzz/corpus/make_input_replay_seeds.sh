#!/usr/bin/env bash
# Writes the seeds of input_replay_fuzz: small replayed-input files with every
# event form, a comment, CRLF line ends and one bad line.
# usage: fuzz/corpus/make_input_replay_seeds.sh
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/input_replay_fuzz
mkdir -p "$out"
cat >"$out/every_event.txt" <<'REPLAY'
# every form once
0 key Return
10 key down Left Ctrl
20 key up Left Ctrl
30 click left 100 200
40 mouse down right 5 6
50 mouse up right 5 6
60 mouse move 320 0
70 wheel -2
80 text こんにちは
90 pad start
100 pad axis lefttrigger 32767
110 screenshot shots/frame.png
120 close
REPLAY
printf '0 key F10\r\n50 key Down\r\n100 key Return\r\n' >"$out/crlf.txt"
printf '10 click left 1 2\n5 key Space\n' >"$out/decreasing.txt"
