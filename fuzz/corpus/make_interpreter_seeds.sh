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
