#!/usr/bin/env bash
# Whole-process comparison of the script machine with Lua 5.4 on equivalent
# programs: every benchmarks/interpreter/NAME.tva against NAME.lua (loops on
# local, global and thread variables, counters, compare and branch, floats,
# strings, arrays, calls, recursion, system calls). The engine, the engine on
# an empty game and Lua run in turn, RUNS times each (default 15), so that a
# change in machine load hits all three; the best times count, the engine's
# less the empty game's best of the same rounds (its start-up and shutdown).
# Prints the times and the ratios (engine / Lua; below 1 means the engine is
# faster).
#
# With CALLGRIND=1 each program runs once under valgrind's callgrind instead
# and the instruction counts are printed in millions (the empty game's count
# subtracted): not disturbed by the machine's load, so two builds can be
# compared exactly. The iteration counts on the lines marked N are divided by
# CALLGRIND_DIVISOR (default 10) first, as callgrind runs some 50 times slower.
#
# usage: benchmarks/run_interpreter_bench.sh [BUILD_DIR] [NAME...]
#        (RUNS=n to change the runs; NAME... to run only those programs)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
shift || true
tavelo=$build/tavelo
tvoasm=$build/bin/tvoasm
lua=$(command -v lua5.4 || true)
[ -x "$tavelo" ] && [ -x "$tvoasm" ] || { echo "build the engine first (cmake --build build)"; exit 1; }
[ -n "$lua" ] || { echo "lua5.4 is not installed (scripts/bootstrap.sh installs it)"; exit 1; }
callgrind=${CALLGRIND:-0}
if [ "$callgrind" = 1 ] && ! command -v valgrind >/dev/null; then echo "valgrind is not installed"; exit 1; fi

# The engine syncs its settings file at start-up and exit; on a RAM disk that
# costs next to nothing, so the timings measure the interpreter, not the disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then work=$(mktemp -d -p /dev/shm); else work=$(mktemp -d); fi
trap 'rm -rf "$work"' EXIT
export TAVELO_CONFIG_HOME=$work/config

runs=${RUNS:-15}

elapsed_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

# shellcheck source=valgrind_preload.sh
. "$here/valgrind_preload.sh"
preload=
if [ "$callgrind" = 1 ]; then preload=$(valgrind_preload "$tavelo" "$work"); fi

# Instructions executed by the command, in millions.
instructions_m() {
  local out=$work/callgrind.out
  LD_PRELOAD=$preload valgrind --tool=callgrind --callgrind-out-file="$out" "$@" >/dev/null 2>"$work/callgrind.log"
  awk '/^summary:/ { printf "%.1f", $2 / 1000000 }' "$out"
  rm -f "$out"
}

# best_of CMD_A -- CMD_B [-- CMD_C]: runs them in turn; prints their best
# times (or, under callgrind, their instruction counts).
best_of() {
  local commands=() current="" arg
  for arg in "$@"; do
    if [ "$arg" = "--" ]; then commands+=("$current"); current=""; else current+="${current:+ }$(printf '%q' "$arg")"; fi
  done
  commands+=("$current")
  local best=() i t
  if [ "$callgrind" = 1 ]; then
    for i in "${!commands[@]}"; do eval "best[$i]=\$(instructions_m ${commands[$i]})"; done
    echo "${best[*]}"
    return
  fi
  for _ in $(seq "$runs"); do
    for i in "${!commands[@]}"; do
      t=$(eval "elapsed_ms ${commands[$i]}")
      if [ -z "${best[$i]:-}" ] || [ "$t" -lt "${best[$i]}" ]; then best[$i]=$t; fi
    done
  done
  echo "${best[*]}"
}

# The program's source, with the counts on lines marked N divided for callgrind.
source_of() {
  local file=$here/interpreter/$1
  if [ "$callgrind" = 1 ]; then
    awk -v d="${CALLGRIND_DIVISOR:-10}" '
      /(;|--) N$/ { line = ""; rest = $0
                    while (match(rest, /[0-9][0-9][0-9]+/)) {
                      line = line substr(rest, 1, RSTART - 1) int(substr(rest, RSTART, RLENGTH) / d)
                      rest = substr(rest, RSTART + RLENGTH) }
                    $0 = line rest }
      { print }' "$file" >"$work/$1"
    file=$work/$1
  fi
  echo "$file"
}

make_game() {
  local name=$1
  mkdir -p "$work/$name/scenario"
  printf 'TITLEBAR bench-%s\n' "$name" >"$work/$name/tavelo.env"
  "$tvoasm" "$(source_of "$name.tva")" -o "$work/$name/scenario/start.tvo"
}

if [ $# -gt 0 ]; then
  programs=("$@")
else
  programs=()
  for source in "$here"/interpreter/*.tva; do
    name=$(basename "$source" .tva)
    [ "$name" = empty ] || programs+=("$name")
  done
fi

unit=ms
[ "$callgrind" = 1 ] && unit="M instr"
make_game empty
# The first run writes the settings every later run finds (a million
# instructions more start-up afterwards): the empty game is measured as the
# programs are, after it.
"$tavelo" --headless "$work/empty" >/dev/null 2>&1 || true
read -r baseline _ < <(best_of "$tavelo" --headless "$work/empty" -- true)
echo "engine start-up and shutdown (empty game): ${baseline} ${unit}"
printf '%-20s %12s %12s %8s\n' program "engine $unit" "lua $unit" ratio
for program in "${programs[@]}"; do
  make_game "$program"
  if [ "$callgrind" = 1 ]; then
    read -r engine reference < <(best_of "$tavelo" --headless "$work/$program" -- "$lua" "$(source_of "$program.lua")")
  else
    read -r engine baseline reference < <(best_of "$tavelo" --headless "$work/$program" -- \
      "$tavelo" --headless "$work/empty" -- "$lua" "$(source_of "$program.lua")")
  fi
  engine=$(awk -v a="$engine" -v b="$baseline" 'BEGIN { d = a - b; if (d < 0) d = 0; print d }')
  ratio=$(awk -v a="$engine" -v b="$reference" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }')
  printf '%-20s %12s %12s %8s\n' "$program" "$engine" "$reference" "$ratio"
done
