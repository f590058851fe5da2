#!/usr/bin/env bash
# Regenerates the seeds of read_mark_file_fuzz: runs the engine headless on a
# small game (scripts made by tvoasm) that shows lines of two scripts, keeps
# the read-mark file it writes, and adds a torn copy of it.
# usage: fuzz/corpus/make_read_mark_seeds.sh BUILD_DIR   (BUILD_DIR/bin/tvoasm and BUILD_DIR/tavelo must exist)
set -euo pipefail
bin=$1/bin
here=$(cd "$(dirname "$0")" && pwd)
out=$here/read_mark_file_fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/game/scenario" "$work/game/update"

cat >"$work/start.txt" <<'SCRIPT'
.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main
init:
    return
main:
    line 1
    line 7
    line 40
    push_string "second"
    syscall_discard 0xCD00D280 1
    syscall_discard 0x8D8FB32E 0
    return
SCRIPT
cat >"$work/second.txt" <<'SCRIPT'
.entry main
main:
    line 3
    line 200
    return
SCRIPT
"$bin/tvoasm" "$work/start.txt" -o "$work/game/scenario/start.tvo"
"$bin/tvoasm" "$work/second.txt" -o "$work/game/scenario/second.tvo"
printf 'TITLEBAR SeedGame\n' >"$work/game/tavelo.env"
TAVELO_CONFIG_HOME="$work/config" "$1/tavelo" --headless --quit-after 5000 "$work/game" >/dev/null 2>&1 || true
cp "$work/game/savedata/tavelo_readmark.tss" "$out/two_scripts.tss"
head -c 200 "$out/two_scripts.tss" >"$out/torn.tss"
