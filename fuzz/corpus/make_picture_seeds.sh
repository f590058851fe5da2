#!/usr/bin/env bash
# Regenerates the seed pictures of the picture_*_fuzz targets with ImageMagick
# and tvimg. The .rct seeds scrambled with the key "fuzz" match the key the
# fuzz target uses.
# usage: fuzz/corpus/make_picture_seeds.sh BUILD_DIR   (BUILD_DIR/bin/tvimg must exist)
set -euo pipefail
tvimg=$1/bin/tvimg
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in picture_rct_fuzz picture_rc8_fuzz picture_bmp_fuzz picture_png_fuzz; do
  rm -rf "${here:?}/$target"
  mkdir -p "$here/$target"
done

alpha="-alpha set -channel A -fx 'i<3?0:(i<6?0.5:1)' +channel"
convert -size 24x10 plasma:fractal -depth 8 PNG24:"$work/plasma.png"
convert -size 24x10 gradient:red-blue -swirl 90 -depth 8 PNG24:"$work/swirl.png"
convert "$work/swirl.png" -fill red -draw 'rectangle 3,3 8,6' -depth 8 PNG24:"$work/face.png"
convert -size 24x10 gradient:red-blue -swirl 90 -colors 30 -depth 8 PNG8:"$work/few.png"
convert -size 5x3 xc:navy -depth 8 PNG24:"$work/tiny.png"

rct=$here/picture_rct_fuzz
"$tvimg" "$work/plasma.png" "$rct/plain.rct"
"$tvimg" "$work/swirl.png" "$rct/runs.rct"
"$tvimg" "$work/tiny.png" "$rct/tiny.rct"
"$tvimg" --key fuzz "$work/swirl.png" "$rct/scrambled.rct"
"$tvimg" --base "$work/swirl.png" "$work/face.png" "$rct/difference.rct"
"$tvimg" --key fuzz --base "$work/swirl.png" "$work/face.png" "$rct/scrambled_difference.rct"

rc8=$here/picture_rc8_fuzz
"$tvimg" "$work/few.png" "$rc8/few.rc8"
"$tvimg" "$work/tiny.png" "$rc8/tiny.rc8"

bmp=$here/picture_bmp_fuzz
convert -size 24x10 gradient:red-blue -swirl 90 -type Palette -compress none BMP3:"$bmp/indexed.bmp"
convert -size 24x10 gradient:red-blue -swirl 90 -type Palette BMP2:"$bmp/indexed_core.bmp"
convert -size 13x7 gradient:red-blue -type TrueColor BMP3:"$bmp/rgb.bmp"
convert -size 13x7 gradient:red-blue -type TrueColor BMP2:"$bmp/rgb_core.bmp"
eval convert -size 13x7 gradient:red-blue "$alpha" -define bmp3:alpha=true BMP3:"$bmp/rgba.bmp"
eval convert -size 13x7 gradient:red-blue "$alpha" BMP:"$bmp/rgba_bitfields.bmp"

png=$here/picture_png_fuzz
convert -size 13x7 gradient:black-white -depth 8 -define png:color-type=0 "$png/grey.png"
eval convert -size 13x7 gradient:black-white "$alpha" -depth 8 -define png:color-type=4 "$png/grey_alpha.png"
eval convert -size 13x7 gradient:red-blue "$alpha" -depth 8 PNG8:"$png/palette_trns.png"
convert -size 13x7 gradient:red-blue -depth 8 -define png:color-type=2 "$png/rgb.png"
eval convert -size 13x7 gradient:red-blue "$alpha" -depth 8 -define png:color-type=6 "$png/rgba.png"
convert -size 13x7 gradient:red-blue -depth 8 -interlace PNG -define png:color-type=2 "$png/rgb_adam7.png"
convert -size 13x7 gradient:red-blue -alpha set -channel A -fx 'i==3?0:1' +channel -depth 8 \
  -define png:color-type=2 -define png:bit-depth=8 "$png/rgb_key.png"
ls -l "$here"/picture_*_fuzz
