#!/usr/bin/env bash
# Makes the demo game's sounds from synthesised tones (sox) and encodes the
# music and the voice as Ogg Vorbis (oggenc). Usage: make_sounds.sh OUTPUT_DIR
# Writes stream/demo_intro.ogg and stream/demo_loop.ogg (music: an opening
# and the part that loops after it), voice/demo_voice.ogg and
# stream/demo_chime.wav (a sound effect).
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/stream" "$out/voice"

# Plucked notes of 0.5 s each, joined end to end: -R makes sox's noise
# repeatable, so every build makes the same files.
notes() {
  local file=$1; shift
  local parts=()
  local i=0
  for note in "$@"; do
    sox -R -n -r 44100 -c 2 -b 16 "$work/note$i.wav" synth 0.5 pluck "$note" gain -8
    parts+=("$work/note$i.wav")
    i=$((i + 1))
  done
  sox "${parts[@]}" -b 16 "$file"
}

notes "$work/intro.wav" C4 E4 G4 C5
notes "$work/loop.wav" C4 G4 E5 G4 A3 E4 C5 E4
sox -R -n -r 22050 -c 1 -b 16 "$work/voice.wav" synth 1.4 sine 180-260 sine mix 700-560 tremolo 6 70 \
  fade 0.05 1.4 0.3 gain -4
sox -R -n -r 44100 -c 2 -b 16 "$out/stream/demo_chime.wav" synth 0.8 sine 1320 sine mix 1980 fade 0 0.8 0.7 gain -10

oggenc -Q -q 3 --serial 1 -o "$out/stream/demo_intro.ogg" "$work/intro.wav"
oggenc -Q -q 3 --serial 2 -o "$out/stream/demo_loop.ogg" "$work/loop.wav"
oggenc -Q -q 3 --serial 3 -o "$out/voice/demo_voice.ogg" "$work/voice.wav"
