#!/usr/bin/env bash
# Builds the browser build into build-web/ (HTML, JS, WebAssembly, the demo
# and the fonts as data) and serves it on 127.0.0.1 until interrupted.
#   scripts/web.sh [--build-only] [--port N]      (default port 8127)
# The libraries come from scripts/web-deps.sh (cached); the demo game from
# the desktop build in build/, whose tools assemble it.
set -euo pipefail
cd "$(dirname "$0")/.."

serve=1
port=8127
while [ $# -gt 0 ]; do
  case $1 in
    --build-only) serve=0 ;;
    --port) port=$2; shift ;;
    *) echo "usage: scripts/web.sh [--build-only] [--port N]" >&2; exit 2 ;;
  esac
  shift
done

root=$(./scripts/web-deps.sh | tail -1)
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
unset EM_CACHE
export NODE_PATH=/usr/share/nodejs
export EMSDK_PYTHON=/usr/bin/python3  # as in web-deps.sh

echo "== the demo game (desktop build's tools)"
[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target demo_game >/dev/null
# A clean copy: runs of the desktop build leave saves and logs beside the
# game, and its build keeps its own files and intermediate pictures there.
rm -rf build-web/demo-game
mkdir -p build-web
cp -a build/games/demo build-web/demo-game
(cd build-web/demo-game && rm -rf savedata debugout.log CMakeFiles cmake_install.cmake ./*.png)

echo "== the page"
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVELO_WERROR=ON \
  -DTAVELO_WEB_DEPS="$root" -DTAVELO_DEMO_DIR="$PWD/build-web/demo-game" >/dev/null
cmake --build build-web -j "$(nproc)"

[ "$serve" = 1 ] || exit 0
echo "Tavelo in the browser: http://127.0.0.1:$port/ (Ctrl-C stops the server)"
exec python3 -m http.server --bind 127.0.0.1 --directory build-web "$port"
