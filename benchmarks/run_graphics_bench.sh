#!/usr/bin/env bash
# Runs the picture-decoding, pixel-operation, scaling and composition benchmarks in one
# go, so their figures (each against memcpy, libpng or libswscale measured in
# the same run) can be compared with each other. The pixel operations run
# several times in random order, so that other work on the machine falls on
# all of them alike; the table gives the best CPU time of each and its ratio
# to memcpy of the same rows (8-bit benchmarks against the 8-bit memcpy). The
# load average is printed before and after: a busy machine skews the figures.
#
# usage: benchmarks/run_graphics_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${2:-5}
for program in picture_decode_bench pixel_ops_bench scaling_bench composition_bench; do
  [ -x "$build/bin/$program" ] || { echo "build the benchmarks first (cmake --build build)"; exit 1; }
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== picture_decode_bench"
"$build/bin/picture_decode_bench" --benchmark_counters_tabular=true
echo "== pixel_ops_bench (best CPU time of $runs runs; ratio to memcpy of the same rows)"
"$build/bin/pixel_ops_bench" --benchmark_repetitions="$runs" --benchmark_enable_random_interleaving=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '
    NR == 1 { next }
    {
      name = $1
      gsub(/"/, "", name)
      if (name ~ /_(mean|median|stddev|cv)$/) next
      if (!(name in best)) order[++count] = name
      if (!(name in best) || $4 + 0 < best[name]) best[name] = $4 + 0
    }
    END {
      for (i = 1; i <= count; ++i) {
        name = order[i]
        split(name, part, "/")
        reference = (part[1] ~ /_8bit$/ ? "BM_memcpy_rows_8bit" : "BM_memcpy_rows") "/" part[2] "/" part[3]
        ratio = (reference in best && best[reference] > 0) ? sprintf("%.2f", best[name] / best[reference]) : "-"
        printf "%-32s %12.0f %8s\n", name, best[name], ratio
      }
    }' | sort -t/ -k1,1 -k2,2n | { printf '%-32s %12s %8s\n' benchmark "cpu ns" /memcpy; cat; }
echo "== scaling_bench"
"$build/bin/scaling_bench" --benchmark_counters_tabular=true
echo "== composition_bench (best CPU time of $runs runs; ratio to memcpy of the changed cells)"
"$build/bin/composition_bench" --benchmark_repetitions="$runs" --benchmark_enable_random_interleaving=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '
    NR == 1 { next }
    {
      name = $1
      gsub(/"/, "", name)
      if (name ~ /_(mean|median|stddev|cv)$/) next
      if (!(name in best)) order[++count] = name
      if (!(name in best) || $4 + 0 < best[name]) best[name] = $4 + 0
    }
    END {
      for (i = 1; i <= count; ++i) {
        name = order[i]
        ratio = "-"
        if (match(name, /cells:[0-9]+/)) {
          reference = "BM_memcpy_cells/" substr(name, RSTART + 6, RLENGTH - 6)
          if (reference in best && best[reference] > 0) ratio = sprintf("%.2f", best[name] / best[reference])
        }
        printf "%-42s %12.0f %8s\n", name, best[name], ratio
      }
    }' | sort -V | { printf '%-42s %12s %8s\n' benchmark "cpu ns" /memcpy; cat; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
