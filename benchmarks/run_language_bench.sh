#!/usr/bin/env bash
# The interpreter benchmark set written in the script language against the
# hand-assembled programs: every benchmarks/interpreter/NAME.tvs (compiled by
# tvc) against NAME.tva (assembled by tvoasm). Each runs once under valgrind's
# callgrind, with the iteration counts on the lines marked N divided by
# CALLGRIND_DIVISOR (default 10); the empty game's count is subtracted. The
# compiled programs run twice: with line numbers before every statement (the
# default) and with `--lines text` (line numbers only before story text).
# Prints millions of instructions and the ratios compiled / hand-written.
#
# usage: benchmarks/run_language_bench.sh [BUILD_DIR] [NAME...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
shift || true
tavelo=$build/tavelo
tvoasm=$build/bin/tvoasm
tvc=$build/bin/tvc
[ -x "$tavelo" ] && [ -x "$tvoasm" ] && [ -x "$tvc" ] || { echo "build the engine first (cmake --build build)"; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is not installed"; exit 1; }

if [ -d /dev/shm ] && [ -w /dev/shm ]; then work=$(mktemp -d -p /dev/shm); else work=$(mktemp -d); fi
trap 'rm -rf "$work"' EXIT
export TAVELO_CONFIG_HOME=$work/config
divisor=${CALLGRIND_DIVISOR:-10}

# The source with the counts on lines marked N divided.
divided() {
  awk -v d="$divisor" '
    /(;|\/\/) N$/ { line = ""; rest = $0
                    while (match(rest, /[0-9][0-9][0-9]+/)) {
                      line = line substr(rest, 1, RSTART - 1) int(substr(rest, RSTART, RLENGTH) / d)
                      rest = substr(rest, RSTART + RLENGTH) }
                    $0 = line rest }
    { print }' "$1" >"$2"
}

# shellcheck source=valgrind_preload.sh
. "$here/valgrind_preload.sh"
preload=$(valgrind_preload "$tavelo" "$work")

# Instructions the engine executes on a game, in millions.
instructions_m() {
  local out=$work/callgrind.out
  rm -rf "$work/config"  # every run starts without settings, as the first did
  LD_PRELOAD=$preload valgrind --tool=callgrind --callgrind-out-file="$out" "$tavelo" --headless "$1" >/dev/null 2>"$work/callgrind.log"
  awk '/^summary:/ { printf "%.1f", $2 / 1000000 }' "$out"
  rm -f "$out"
}

# make_game NAME KIND: KIND is tva, all or text.
make_game() {
  local name=$1 kind=$2 dir=$work/$1-$2
  mkdir -p "$dir/scenario"
  printf 'TITLEBAR bench-%s\n' "$name" >"$dir/tavelo.env"
  if [ "$kind" = tva ]; then
    divided "$here/interpreter/$name.tva" "$work/$name.tva"
    "$tvoasm" "$work/$name.tva" -o "$dir/scenario/start.tvo"
  else
    divided "$here/interpreter/$name.tvs" "$work/$name.tvs"
    "$tvc" --lines "$kind" "$work/$name.tvs" -o "$dir/scenario/start.tvo"
  fi
  echo "$dir"
}

if [ $# -gt 0 ]; then
  programs=("$@")
else
  programs=()
  for source in "$here"/interpreter/*.tvs; do
    name=$(basename "$source" .tvs)
    [ "$name" = empty ] || programs+=("$name")
  done
fi

base_tva=$(instructions_m "$(make_game empty tva)")
base_text=$(instructions_m "$(make_game empty text)")
base_all=$(instructions_m "$(make_game empty all)")
echo "empty game (M instr): assembled $base_tva, compiled $base_text (text lines), $base_all (all lines)"
printf '%-20s %10s %10s %7s %10s %7s\n' program assembled "--lines text" ratio "all lines" ratio
for program in "${programs[@]}"; do
  tva=$(instructions_m "$(make_game "$program" tva)")
  text=$(instructions_m "$(make_game "$program" text)")
  all=$(instructions_m "$(make_game "$program" all)")
  awk -v p="$program" -v a="$tva" -v ba="$base_tva" -v t="$text" -v bt="$base_text" -v l="$all" -v bl="$base_all" '
    BEGIN { a -= ba; t -= bt; l -= bl
            printf "%-20s %10.1f %10.1f %7.3f %10.1f %7.3f\n", p, a, t, t / a, l, l / a }'
done
