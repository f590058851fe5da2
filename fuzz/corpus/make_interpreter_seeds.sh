#!/usr/bin/env bash
# Regenerates the seed corpus of interpreter_fuzz: the benchmark programs and
# the loader seeds, assembled by tvoasm, plus loops, calls and broken code.
# Usage: fuzz/corpus/make_interpreter_seeds.sh BUILD_DIR/bin
set -euo pipefail
bin=${1:?usage: make_interpreter_seeds.sh BIN_DIR}
here=$(cd "$(dirname "$0")" && pwd)
out="$here/interpreter_fuzz"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

for source in "$here"/../../benchmarks/interpreter/*.tva; do
  # Smaller loop counts keep each run inside the fuzzer's budget.
  sed -e 's/push_int 30000000/push_int 300/' -e 's/push_int 30$/push_int 8/' "$source" >"$work/$(basename "$source")"
  "$bin/tvoasm" "$work/$(basename "$source")" -o "$out/$(basename "$source" .tva).tvo"
done

seed() {  # seed NAME < source
  cat > "$work/$1.tvoasm"
  "$bin/tvoasm" "$work/$1.tvoasm" -o "$out/$1.tvo"
}

seed sequences <<'SRC'
.entry main
.function "$main@GLOBAL" main
.function "$f@GLOBAL" f
main:
    locals int int string
    push_int 5
    set_int_pop global int "@g@GLOBAL"
loop:
    load local int slot:0
    push_int 10
    ge_int
    jump_if_true done
    load local int slot:0
    add_set_int_pop local int slot:1
    load global int "@g@GLOBAL"
    push_int 3
    mul_int
    push_string "x"
    add_set_string_pop local string slot:2
    pop
    load local int post_inc slot:0
    pop
    jump loop
done:
    load local int slot:1
    call "$f@GLOBAL" 1
    return
f:
    params int
    load local int slot:-2
    return
SRC

seed elements <<'SRC'
.entry main
main:
    push_int 4
    syscall 0x96B07AEE 1
    pop
    push_int 7
    push_int 2
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    push_int 2
    load_elem global int subscripts:1 "@a@GLOBAL"
    push_int 1
    select cases
cases:
    push_int 1
    case_eq out
    pop
out:
    return
SRC

seed sprites <<'SRC'
.entry main
main:
    push_int 24
    push_int 32
    syscall page_create_withalfa 2
    set_int_pop global int "@p@GLOBAL"
    load global int "@p@GLOBAL"
    syscall sprite_create 1
    set_int_pop global int "@s@GLOBAL"
    push_int 0x40000100
    push_int 20
    push_int 30
    load global int "@s@GLOBAL"
    syscall_discard sprite_move 4
    push_int 1
    push_int 300
    push_float 90.0
    load global int "@s@GLOBAL"
    syscall_discard sprite_rotate 4
    push_int 2
    push_int 40
    push_int 1
    push_int 40
    push_int 0
    load global int "@s@GLOBAL"
    syscall_discard sprite_animate_define 6
    push_int 50
    push_int 128
    load global int "@s@GLOBAL"
    syscall_discard sprite_alfa_set 3
    push_int 30
    push_float 2.0
    load global int "@s@GLOBAL"
    syscall_discard sprite_xmodify_set 3
    push_int 0
    push_int 0
    load global int "@p@GLOBAL"
    load global int "@s@GLOBAL"
    syscall_discard sprite_paste 4
    push_int 1500
    push_int 1500
    push_int 100
    push_int 100
    syscall_discard screen_window_set 4
    push_int 3
    push_int -2
    syscall_discard screen_offset 2
    load global int "@s@GLOBAL"
    syscall_discard sprite_move_wait 1
    load global int "@s@GLOBAL"
    syscall_discard sprite_release 1
    return
SRC
