#!/usr/bin/env bash
# Runs the picture-decoding, pixel-operation and scaling benchmarks in one
# go, so their figures (each against memcpy, libpng or libswscale measured in
# the same run) can be compared with each other.
#
# usage: benchmarks/run_graphics_bench.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
for program in picture_decode_bench pixel_ops_bench scaling_bench; do
  [ -x "$build/bin/$program" ] || { echo "build the benchmarks first (cmake --build build)"; exit 1; }
done
for program in picture_decode_bench pixel_ops_bench scaling_bench; do
  echo "== $program"
  "$build/bin/$program" --benchmark_counters_tabular=true
done
