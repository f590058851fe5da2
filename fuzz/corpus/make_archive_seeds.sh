#!/usr/bin/env bash
# Regenerates the seed archives of archive_fuzz with tvarc.
# usage: fuzz/corpus/make_archive_seeds.sh BUILD_DIR   (BUILD_DIR/bin/tvarc must exist)
set -euo pipefail
tvarc=$1/bin/tvarc
here=$(cd "$(dirname "$0")" && pwd)
out=$here/archive_fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

mkdir -p "$work/one" "$work/three/bg" "$work/japanese"
printf 'a' >"$work/one/a.png"
printf 'title' >"$work/three/title.png"
printf 'start script' >"$work/three/start.tvo"
: >"$work/three/bg/empty.dat"
printf 'name' >"$work/japanese/タイトル.png"
printf 'ogg' >"$work/japanese/bgm.ogg"

for version in v1 v2; do
  "$tvarc" create "--$version" "$work/one" -o "$out/one_$version.arc" >/dev/null
  "$tvarc" create "--$version" "$work/three" -o "$out/three_$version.arc" >/dev/null
  "$tvarc" create "--$version" "$work/japanese" -o "$out/japanese_$version.arc" >/dev/null
done
ls "$out"
