#!/usr/bin/env bash
# Makes the demo game's two-second opening film with ffmpeg: a slow dusk
# gradient with the engine's name, fading in and out, over a soft tone;
# MPEG-1 video with MP2 sound. Usage: make_film.sh OUTPUT_DIR
# Writes movie/opening.mpg. The name is drawn only when ffmpeg has its text
# filter and the IPA font is installed.
set -euo pipefail
out=$1
mkdir -p "$out/movie"

picture="gradients=s=640x480:c0=1d3557:c1=e9c46a:c2=264653:n=3:speed=0.02:r=25:d=2:seed=7"
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
filters=$(ffmpeg -hide_banner -filters 2>/dev/null || true)
if [ -f "$font" ] && [[ $filters == *" drawtext "* ]]; then
  picture+=",drawtext=fontfile=$font:text=Tavelo:fontsize=72:fontcolor=0xf1faee:x=(w-tw)/2:y=(h-th)/2"
fi
picture+=",fade=t=in:d=0.4,fade=t=out:st=1.6:d=0.4"
tone="sine=frequency=392:duration=2:sample_rate=44100,afade=t=in:d=0.3,afade=t=out:st=1.5:d=0.5"

ffmpeg -v error -y -f lavfi -i "$picture" -f lavfi -i "$tone" -c:v mpeg1video -q:v 4 -c:a mp2 -b:a 128k \
  -fflags +bitexact -f mpeg "$out/movie/opening.mpg"
