#!/bin/sh
# Makes the README's pictures of a player's first minutes again: the
# launcher in a real window under Xvfb (software rendering, no window
# manager), the demo headless:
#   docs/images/launcher.png       the launcher with the demo and a second game
#   docs/images/demo-title.png     the demo's title, waiting for the player
#   docs/images/demo-choice.png    the demo's choice
#   docs/images/exit-question.png  the exit question, drawn in the window
#   scripts/docs_screenshots.sh [BUILD_DIR]
# Needs xvfb-run; pngquant, when installed, makes the files smaller.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
images=$root/docs/images
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A second game, made from the template and listed beside the demo.
"$build/bin/tvc" new "$work/first-game" > /dev/null
TAVELO_BIN=$build/bin "$work/first-game/build.sh" > /dev/null
mkdir -p "$work/settings"
printf -- '-\t%s\n' "$work/first-game" > "$work/settings/games.txt"
cat > "$work/launcher.txt" <<INPUT
1500 key Down
2500 screenshot $images/launcher.png
3000 key Escape
INPUT
HOME=$work TAVELO_CONFIG_HOME=$work/settings SDL_AUDIODRIVER=dummy SDL_RENDER_DRIVER=software \
  xvfb-run -a -s '-screen 0 1024x768x24' "$build/tavelo" --input "$work/launcher.txt" \
  > "$work/run.log" 2>&1 || { cat "$work/run.log"; exit 1; }

# The demo: its title, then (after the start button and the opening film)
# the story pages up to the choice. The demo runs headless here, on its
# virtual clock, so the pictures come at the same moments on a loaded
# machine too; what it draws is the window's picture.
{
  echo "1200 mouse move 320 358"
  echo "1400 screenshot $images/demo-title.png"
  grep -E '^[0-9]+ click' "$root/games/demo/autoplay.txt" | awk '$1 <= 9000'
  echo "10500 screenshot $images/demo-choice.png"
} > "$work/demo.txt"
HOME=$work TAVELO_CONFIG_HOME=$work/settings "$build/tavelo" --headless --quit-after 11000 \
  --input "$work/demo.txt" "$build/games/demo" > "$work/run.log" 2>&1 || { cat "$work/run.log"; exit 1; }

# The exit question over the title, which waits for the player (a window:
# headless questions are answered at once).
cat > "$work/question.txt" <<INPUT
2000 close
3500 screenshot $images/exit-question.png
4000 key Y
INPUT
HOME=$work TAVELO_CONFIG_HOME=$work/settings SDL_AUDIODRIVER=dummy SDL_RENDER_DRIVER=software \
  xvfb-run -a -s '-screen 0 1024x768x24' "$build/tavelo" --quit-after 30000 --input "$work/question.txt" \
  "$build/games/demo" > "$work/run.log" 2>&1 || { cat "$work/run.log"; exit 1; }

if command -v pngquant > /dev/null; then
  for picture in launcher demo-title demo-choice exit-question; do
    pngquant --force --skip-if-larger --output "$images/$picture.png" 64 "$images/$picture.png" || true
  done
fi
ls -l "$images/launcher.png" "$images/demo-title.png" "$images/demo-choice.png" "$images/exit-question.png"
