#!/usr/bin/env bash
# Regenerates the seeds of sound_wave_fuzz and sound_ogg_fuzz: short sounds
# made by sox and oggenc in every encoding and layout the decoders handle,
# beside the kept regression inputs.
# usage: fuzz/corpus/make_sound_seeds.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wave=$here/sound_wave_fuzz
ogg=$here/sound_ogg_fuzz
mkdir -p "$wave" "$ogg"
# Crash inputs found earlier (regression_*) stay; the made seeds are made anew.
find "$wave" "$ogg" -type f ! -name 'regression_*' -delete

sox -n -r 8000 -c 1 -b 16 "$wave/pcm16_mono.wav" synth 0.02 sine 440
sox -n -r 8000 -c 2 -b 8 "$wave/pcm8_stereo.wav" synth 0.02 sine 440 sine 660
sox -n -r 8000 -c 1 -e ms-adpcm "$wave/adpcm_mono.wav" synth 0.05 sine 440
sox -n -r 8000 -c 2 -e ms-adpcm "$wave/adpcm_stereo.wav" synth 0.05 sine 440 sine 660
sox -n -r 8000 -c 1 -e ima-adpcm "$wave/ima_silent.wav" synth 0.02 sine 440

sox -n -r 8000 -c 1 -b 16 "$work/mono.wav" synth 0.1 sine 440
sox -n -r 22050 -c 2 -b 16 "$work/stereo.wav" synth 0.1 sine 440 sine 660
oggenc -Q -q 0 -o "$ogg/mono.ogg" "$work/mono.wav"
oggenc -Q -q 0 -o "$ogg/stereo.ogg" "$work/stereo.wav"
ls -l "$wave" "$ogg"
