#!/usr/bin/env bash
# Regenerates the seed corpus of script_loader_fuzz with tvoasm.
# Usage: fuzz/corpus/make_script_loader_seeds.sh BUILD_DIR/bin
set -euo pipefail
bin=${1:?usage: make_script_loader_seeds.sh BIN_DIR}
here=$(cd "$(dirname "$0")" && pwd)
out="$here/script_loader_fuzz"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

seed() {  # seed NAME < source
  cat > "$work/$1.tvoasm"
  "$bin/tvoasm" "$work/$1.tvoasm" -o "$out/$1.tvo"
}

seed minimal <<'SRC'
.entry main
main: return
SRC

seed functions <<'SRC'
.entry main
.function "$main@GLOBAL" main
.function "$helper@GLOBAL" helper
main:
    line 1
    call "$helper@GLOBAL" 0
    syscall_discard 0x818A4B92 0
    return
helper:
    line 2
    push_int 7
    return
SRC

seed scrambled <<'SRC'
.variant scrambled
.entry main
.function 0x12345678 main
main:
    push_string "スクランブル"
    text "こんにちは"
    message
    jump_table main end main
end:
    return
SRC

seed variables <<'SRC'
.entry main
main:
    locals int float string
    push_float 1.5
    set_float_pop local slot:1
    load global int post_inc "@count@GLOBAL" slot:2
    push_int 1
    push_int 2
    load_elem global int subscripts:2 "@grid@GLOBAL"
    elem_add_set_int_pop thread int subscripts:1 "%t@GLOBAL"
    select case
case:
    case_eq out
    case_gt out
out:
    return
SRC

seed broken <<'SRC'
.function_count 3
.code_size 200
.entry 40
.function 1 9
    .bytes 0x00 0x00 0x01 0x08 0xFF 0xFF
SRC

seed not_a_script <<'SRC'
.raw_file
.bytes "TaveloObjV1.000" 0x01 0xFF 0xFF
SRC
