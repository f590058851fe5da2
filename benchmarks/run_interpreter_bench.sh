#!/usr/bin/env bash
# Whole-process comparison of the script machine with Lua 5.4 on equivalent
# programs (benchmarks/interpreter/*.tva and *.lua): local and global integer
# loops, recursive calls, string concatenation and array indexing. Each
# program runs three times; the best time counts, less the start-up time of
# an empty game for the engine. Prints the times and the ratios (engine / Lua;
# below 1 means the engine is faster).
#
# usage: benchmarks/run_interpreter_bench.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tavelo=$build/tavelo
tvoasm=$build/bin/tvoasm
lua=$(command -v lua5.4 || true)
[ -x "$tavelo" ] && [ -x "$tvoasm" ] || { echo "build the engine first (cmake --build build)"; exit 1; }
[ -n "$lua" ] || { echo "lua5.4 is not installed (scripts/bootstrap.sh installs it)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TAVELO_CONFIG_HOME=$work/config

best_of_three() {
  local best=""
  for _ in 1 2 3; do
    local start end elapsed
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    elapsed=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
  done
  echo "$best"
}

make_game() {
  local name=$1
  mkdir -p "$work/$name/scenario"
  printf 'TITLEBAR bench-%s\n' "$name" >"$work/$name/tavelo.env"
  "$tvoasm" "$here/interpreter/$name.tva" -o "$work/$name/scenario/start.tvo"
}

make_game empty
baseline=$(best_of_three "$tavelo" --headless "$work/empty")
echo "engine start-up and shutdown (empty game): ${baseline} ms"
printf '%-12s %10s %10s %8s\n' program "engine ms" "lua ms" ratio
for program in local_loop global_loop calls strings arrays; do
  make_game "$program"
  engine=$(best_of_three "$tavelo" --headless "$work/$program")
  engine=$(( engine > baseline ? engine - baseline : 0 ))
  reference=$(best_of_three "$lua" "$here/interpreter/$program.lua")
  ratio=$(awk -v a="$engine" -v b="$reference" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }')
  printf '%-12s %10s %10s %8s\n' "$program" "$engine" "$reference" "$ratio"
done
