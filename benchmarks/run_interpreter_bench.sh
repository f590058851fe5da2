#!/usr/bin/env bash
# Whole-process comparison of the script machine with Lua 5.4 on equivalent
# programs (benchmarks/interpreter/*.tva and *.lua): local and global integer
# loops, recursive calls, string concatenation and array indexing. The engine
# and Lua run alternately, RUNS times each (default 7), so that a change in
# machine load hits both; the best time counts, less the start-up time of an
# empty game for the engine. Prints the times and the ratios (engine / Lua;
# below 1 means the engine is faster).
#
# usage: benchmarks/run_interpreter_bench.sh [BUILD_DIR]   (RUNS=n to change)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tavelo=$build/tavelo
tvoasm=$build/bin/tvoasm
lua=$(command -v lua5.4 || true)
[ -x "$tavelo" ] && [ -x "$tvoasm" ] || { echo "build the engine first (cmake --build build)"; exit 1; }
[ -n "$lua" ] || { echo "lua5.4 is not installed (scripts/bootstrap.sh installs it)"; exit 1; }

# The engine syncs its settings file at start-up and exit; on a RAM disk that
# costs next to nothing, so the timings measure the interpreter, not the disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then work=$(mktemp -d -p /dev/shm); else work=$(mktemp -d); fi
trap 'rm -rf "$work"' EXIT
export TAVELO_CONFIG_HOME=$work/config

runs=${RUNS:-7}

elapsed_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

# best_pair CMD_A -- CMD_B: runs them alternately; prints both best times.
best_pair() {
  local a=() b=() seen=0 arg
  for arg in "$@"; do
    if [ "$arg" = "--" ]; then seen=1; elif [ $seen = 0 ]; then a+=("$arg"); else b+=("$arg"); fi
  done
  local best_a="" best_b="" t
  for _ in $(seq "$runs"); do
    t=$(elapsed_ms "${a[@]}"); if [ -z "$best_a" ] || [ "$t" -lt "$best_a" ]; then best_a=$t; fi
    t=$(elapsed_ms "${b[@]}"); if [ -z "$best_b" ] || [ "$t" -lt "$best_b" ]; then best_b=$t; fi
  done
  echo "$best_a $best_b"
}

make_game() {
  local name=$1
  mkdir -p "$work/$name/scenario"
  printf 'TITLEBAR bench-%s\n' "$name" >"$work/$name/tavelo.env"
  "$tvoasm" "$here/interpreter/$name.tva" -o "$work/$name/scenario/start.tvo"
}

make_game empty
read -r baseline _ < <(best_pair "$tavelo" --headless "$work/empty" -- true)
echo "engine start-up and shutdown (empty game): ${baseline} ms"
printf '%-36s %10s %10s %8s\n' program "engine ms" "lua ms" ratio
# Each entry: the engine program, then the Lua program it is compared with.
# Script functions are global (found by name), so calls compare with a global
# Lua function; the local-function variant is printed for comparison.
for entry in local_loop:local_loop global_loop:global_loop calls:calls calls:calls_local_function \
             strings:strings arrays:arrays; do
  program=${entry%%:*}
  lua_program=${entry#*:}
  [ -f "$work/$program/scenario/start.tvo" ] || make_game "$program"
  read -r engine reference < <(best_pair "$tavelo" --headless "$work/$program" -- "$lua" "$here/interpreter/$lua_program.lua")
  engine=$(( engine > baseline ? engine - baseline : 0 ))
  ratio=$(awk -v a="$engine" -v b="$reference" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }')
  label=$program
  [ "$lua_program" = "$program" ] || label="$program (lua: $lua_program)"
  printf '%-36s %10s %10s %8s\n' "$label" "$engine" "$reference" "$ratio"
done
