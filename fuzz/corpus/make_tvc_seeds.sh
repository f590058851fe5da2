#!/usr/bin/env bash
# Regenerates the seed corpus of tvc_fuzz: the interpreter benchmarks written
# in the language, the samples of docs/language.md and the prelude.
# Usage: fuzz/corpus/make_tvc_seeds.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
out="$here/tvc_fuzz"
rm -rf "$out"
mkdir -p "$out"
for source in "$root"/benchmarks/interpreter/*.tvs; do cp "$source" "$out/"; done
for source in "$root"/games/template/scenario/*.tvs; do
  [ -f "$source" ] && cp "$source" "$out/template_$(basename "$source")"
done
awk -v out="$out" '
  /^```tvs$/ { n++; file = sprintf("%s/sample_%02d.tvs", out, n); inside = 1; next }
  /^```/ { inside = 0; next }
  inside { print > file }' "$root/docs/language.md"
