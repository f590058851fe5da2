#!/usr/bin/env bash
# Installs what is missing, builds the engine and plays the bundled demo game
# (in a window when a display is available, headless otherwise). Extra
# arguments go to the engine, e.g. --quit-after 5000.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/bootstrap.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"

game=build/games/demo
options=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "play: no display; running headless"
  options+=(--headless)
fi
exec build/tavelo "${options[@]}" "$@" "$game"
