#!/bin/sh
# Builds this game with the Tavelo tools.
#   ./build.sh          compile scenario/*.tvs into scenario/obj/ (line
#                       numbers on every statement, for debugging)
#   ./build.sh run      compile, then play it; edits are compiled and the game
#                       starts again by itself (live reload)
#   ./build.sh pack     compile for players and pack the game into dist/
# The tools are looked for in $TAVELO_BIN (set by `tvc new`), then on the PATH.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=${TAVELO_BIN:-@TAVELO_BIN@}

tool() {
  for candidate in "$bin/$1" "$bin/../$1"; do
    if [ -x "$candidate" ]; then echo "$candidate"; return; fi
  done
  command -v "$1" || { echo "build.sh: $1 not found (set TAVELO_BIN to the tools' directory)" >&2; exit 1; }
}

tvc=$(tool tvc)
case "${1:-build}" in
  build)
    "$tvc" -d "$here/scenario/obj" "$here"/scenario/*.tvs
    ;;
  run)
    "$tvc" -d "$here/scenario/obj" "$here"/scenario/*.tvs
    exec "$(tool tavelo)" --watch "$here"
    ;;
  pack)
    # Players get no debug folder, scripts without line numbers (read marks
    # still work) and the data in archives.
    tvarc=$(tool tvarc)
    rm -rf "$here/dist"
    mkdir -p "$here/dist/.scenario"
    "$tvc" --lines text -d "$here/dist/.scenario" "$here"/scenario/*.tvs
    "$tvarc" create "$here/dist/.scenario" -o "$here/dist/scenario.arc"
    rm -rf "$here/dist/.scenario"
    for folder in data stream voice font movie; do
      if [ -d "$here/$folder" ]; then "$tvarc" create "$here/$folder" -o "$here/dist/$folder.arc"; fi
    done
    cp "$here/tavelo.env" "$here/dist/"
    echo "packed into $here/dist"
    ;;
  *)
    echo "usage: build.sh [build|run|pack]" >&2
    exit 2
    ;;
esac
