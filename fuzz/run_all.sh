#!/usr/bin/env bash
# Runs every fuzz target in BIN_DIR for SECONDS each, starting from its seed
# corpus in fuzz/corpus/<target>/ (copied, so the tree stays clean).
set -euo pipefail
bin_dir=$1
seconds=${2:-10}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
count=0
for target in "$bin_dir"/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name"
  if [ -d "$here/corpus/$name" ]; then cp -r "$here/corpus/$name/." "$work/$name/"; fi
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=0 \
       -artifact_prefix="$work/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz: $name found a problem:"
    tail -n 60 "$work/$name.log"
    status=1
  fi
  count=$((count + 1))
done
echo "fuzz: $count targets run"
exit $status
