#!/usr/bin/env bash
# Regenerates the seeds of movie_fuzz: tiny films made by ffmpeg in the two
# shapes games ship, MPEG-1 with MP2 sound and AVI with MJPEG pictures and
# PCM sound, each a few pictures long.
# usage: fuzz/corpus/make_movie_seeds.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$here/movie_fuzz
rm -rf "$out"
mkdir -p "$out"

picture="testsrc=s=32x24:r=25:d=0.12"
tone="sine=frequency=440:duration=0.12:sample_rate=8000"
ffmpeg -v error -y -f lavfi -i "$picture" -f lavfi -i "$tone" -c:v mpeg1video -q:v 10 -c:a mp2 -b:a 32k \
  -fflags +bitexact -f mpeg "$out/mpeg1_mp2.mpg"
ffmpeg -v error -y -f lavfi -i "$picture" -f lavfi -i "$tone" -c:v mjpeg -q:v 31 -c:a pcm_s16le -ac 1 \
  -fflags +bitexact "$out/mjpeg_pcm.avi"
ffmpeg -v error -y -f lavfi -i "$picture" -c:v mpeg1video -q:v 10 -fflags +bitexact -f mpeg "$out/mpeg1_silent.mpg"
ls -l "$out"
