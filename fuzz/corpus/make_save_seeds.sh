#!/usr/bin/env bash
# Regenerates the seeds of save_file_fuzz and system_save_fuzz: runs the
# engine headless on a small game (made by tvoasm) that keeps strings, a
# shared string array and an eternal value, takes a thumbnail and saves.
# usage: fuzz/corpus/make_save_seeds.sh BUILD_DIR   (BUILD_DIR/bin/tvoasm and BUILD_DIR/tavelo must exist)
set -euo pipefail
bin=$1/bin
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$here/save_file_fuzz" "$here/system_save_fuzz" "$work/game/scenario"

cat >"$work/start.txt" <<'SCRIPT'
.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main
init:
    return
main:
    line 1
    syscall_discard 0x4D849AA6 0
    syscall_discard 0x1BB47604 0
    push_string "text"
    set_string_pop global string "@s@GLOBAL"
    push_int 2
    syscall 0x1F57B724 1
    set_string_array_pop global string_array "@a@GLOBAL"
    load global string_array "@a@GLOBAL"
    set_string_array_pop global string_array "@b@GLOBAL"
    push_int 3
    syscall 0x96B07AEE 1
    set_int_array_pop thread int_array "%i@GLOBAL"
    push_int 1
    set_int_pop eternal int "#seen@GLOBAL"
    push_string "ev_01.png"
    syscall_discard 0xEB5CC468 1
    push_int 4
    push_int 3
    syscall_discard 0x9143DC9E 2
    push_string "chapter"
    syscall_discard 0xF8004993 1
    push_int 1
    syscall_discard 0x89018DD1 1
    syscall_discard 0x8D8FB32E 0
    return
SCRIPT
"$bin/tvoasm" "$work/start.txt" -o "$work/game/scenario/start.tvo"
printf 'TITLEBAR SeedGame\n' >"$work/game/tavelo.env"
TAVELO_CONFIG_HOME="$work/config" "$1/tavelo" --headless --quit-after 5000 "$work/game" >/dev/null 2>&1 || true
cp "$work/game/savedata/tavelo_0001.sav" "$here/save_file_fuzz/save"
head -c 42000 "$work/game/savedata/tavelo_0001.sav" >"$here/save_file_fuzz/torn"
cp "$work/game/savedata/tavelo_system.tss" "$here/system_save_fuzz/system"
