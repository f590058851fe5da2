#!/usr/bin/env bash
# Installs what is missing, builds the engine and plays the bundled demo game
# (in a window when a display is available; headless otherwise, where the
# demo plays itself from games/demo/autoplay.txt). Extra arguments go to the
# engine, e.g. --quit-after 5000.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/bootstrap.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"

game=build/games/demo
options=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # Nobody can click: the demo plays itself from replayed input and ends.
  echo "play: no display; running headless, the demo playing itself"
  options+=(--headless --input "$game/autoplay.txt" --quit-after 30000)
fi
exec build/tavelo "${options[@]}" "$@" "$game"
