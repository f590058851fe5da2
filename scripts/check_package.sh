#!/usr/bin/env bash
# Builds the Debian package of a configured and built tree, checks it with
# lintian (no errors allowed) and plays its installed demo headless from a
# read-only copy unpacked with dpkg -x, as a fresh machine would run it: the
# demo must not hold its update folder (debug mode), and what it writes must
# land in the per-user save root.
#   scripts/check_package.sh BUILD_DIR
# Exit status 0 when all of that works, 1 otherwise, 77 when cpack, lintian
# or dpkg-deb is missing (scripts/bootstrap.sh installs them).
set -euo pipefail

build=$(cd "${1:?usage: check_package.sh BUILD_DIR}" && pwd)
for tool in cpack lintian dpkg-deb; do
  command -v "$tool" > /dev/null || { echo "check_package: $tool is missing"; exit 77; }
done

work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2> /dev/null; rm -rf "$work"' EXIT
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "check_package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Errors fail; warnings are shown.
lintian --tag-display-limit 0 "$deb" > "$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E: ' "$work/lintian.log"; then
  echo "check_package: lintian reports errors"
  exit 1
fi

root="$work/root"
dpkg -x "$deb" "$root"
for path in usr/games/tavelo usr/share/man/man6/tavelo.6.gz usr/share/applications/tavelo.desktop \
            usr/share/icons/hicolor/scalable/apps/tavelo.svg usr/share/games/tavelo/demo/tavelo.env; do
  [ -e "$root/$path" ] || { echo "check_package: $path is missing from the package"; exit 1; }
done
if [ -e "$root/usr/share/games/tavelo/demo/update" ]; then
  echo "check_package: the installed demo holds update/ and would show players debug mode"
  exit 1
fi

# The installed demo runs from a read-only tree, as from /usr/share: its
# saves, system save and read marks go to the per-user save root. Root may
# write anywhere, so as root the run is made as nobody.
chmod -R a-w "$root"
user=$work/user
mkdir -m 777 "$user"
chmod 755 "$work"
as_player=()
if [ "$(id -u)" = 0 ]; then
  as_player=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
env HOME="$user" TAVELO_CONFIG_HOME="$user/settings" TAVELO_DATA_HOME="$user/data" \
  "${as_player[@]}" "$root/usr/games/tavelo" --headless --quit-after 3000 > "$work/run.log" 2>&1 || {
  status=$?; cat "$work/run.log"; echo "check_package: the installed demo ended with status $status"; exit 1; }
echo "check_package: the installed demo played 3 s and ended with status 0"
saved=$user/data/TAVELO_SYSTEM/TAVELO_RUNTIME/savedata
if [ -z "$(ls -A "$saved" 2> /dev/null)" ]; then
  echo "check_package: nothing was saved under $saved"; ls -laR "$user"; exit 1
fi
echo "check_package: its saves went to the per-user save root: $(ls "$saved" | tr '\n' ' ')"
