#!/usr/bin/env bash
# Installs the Debian packages the engine, its tools and its tests need, but only
# those that are missing, so a second run costs a dpkg query and nothing more.
# With --web it installs the browser build's tools instead: Debian's emscripten,
# chromium for the browser test, and dpkg-dev for `apt-get source`.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache python3
  libsdl2-dev libimgui-dev libpng-dev zlib1g-dev libogg-dev libvorbis-dev
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev ffmpeg
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xdotool imagemagick sox vorbis-tools lua5.4
  libspeechd-dev libwebsockets-dev speech-dispatcher speech-dispatcher-espeak-ng espeak-ng
  lintian
)
if [ "${1:-}" = "--web" ]; then
  packages=(emscripten chromium dpkg-dev fonts-ipafont-gothic fonts-ipafont-mincho)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: all ${#packages[@]} packages present"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
