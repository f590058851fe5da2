#!/usr/bin/env bash
# Builds the libraries the browser build links, for WebAssembly, from Debian's
# own source packages: SDL2, FreeType, libpng, zlib, libogg, libvorbis, Dear
# ImGui and a small FFmpeg (the demuxers, decoders, scaler and resampler the
# engine's films and sounds use). Nothing comes from anywhere but Debian's
# archive: emscripten's network "ports" are never used.
#
# Each library is installed into a prefix of its own under the cache
# (~/.cache/tavelo/web-deps, or $TAVELO_WEB_DEPS), named after its package
# version and a hash of its recipe below, of emcc's version and of the
# prefixes it builds on; a second run finds them and builds nothing. The
# prefixes are joined into one sysroot (hard links), whose path is the last
# line this script prints.
#
# Usage: scripts/web-deps.sh        (prints the sysroot)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/bootstrap.sh --web >&2

cache=${TAVELO_WEB_DEPS:-$HOME/.cache/tavelo/web-deps}
mkdir -p "$cache/src"
# Debian's emscripten: its prebuilt system libraries are in a frozen cache
# that EM_CACHE would hide, and its tools need Debian's node modules.
unset EM_CACHE
export NODE_PATH=/usr/share/nodejs
# configure scripts run their test programs under node, whose own fetch()
# would make emscripten's loader fail to read the .wasm file.
export NODE_OPTIONS=--no-experimental-fetch
# emcc is a Python program started for every compile: the system's Python
# starts it directly (a version manager's shim first on PATH costs as much
# again as the compile of a configure check).
export EMSDK_PYTHON=/usr/bin/python3
jobs=$(nproc)
emcc_version=$(emcc --version | sed -n 1p)

log() { echo "web-deps: $*" >&2; }

# A deb-src line for every archive the machine installs from (deb822 stanzas
# and one-line entries alike), so `apt-get source` reaches the same archive.
ensure_deb_src() {
  if apt-get source --print-uris --only-source zlib >/dev/null 2>&1; then return; fi
  local stanzas=/etc/apt/sources.list.d/tavelo-deb-src.sources lines=/etc/apt/sources.list.d/tavelo-deb-src.list
  log "adding deb-src entries ($stanzas, $lines)"
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && [ "$file" != "$stanzas" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*deb/ && /debian\.org/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
  done >"$stanzas"
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] && [ "$file" != "$lines" ] || continue
    sed -n 's/^deb \(.*debian\.org.*\)$/deb-src \1/p' "$file"
  done >"$lines"
  apt-get update -qq >&2
}

# Fetches and unpacks (with Debian's patches) a source package, once per
# version, and prints "VERSION DIRECTORY". The version is the one the desktop
# build uses (the source version of its installed -dev package), so both
# builds draw with the same code, when the archive still lists it; else the
# newest listed version that downloads (a mirror may lag behind its index).
fetch_source() {
  local package=$1 binary=$2 installed candidates version
  installed=$(dpkg-query -W -f='${db:Status-Status} ${source:Version}' "$binary" 2>/dev/null |
    awk '$1 == "installed" { print $2 }')
  candidates=$(apt-cache showsrc --only-source "$package" | awk '/^Version:/ { print $2 }' | sort -Vru)
  if [ -n "$installed" ] && grep -qxF "$installed" <<<"$candidates"; then
    candidates=$(printf '%s\n%s' "$installed" "$candidates")
  fi
  # One already fetched is taken before any download.
  for version in $candidates; do
    if [ -f "$cache/src/${package}_${version//[:~+]/_}/.unpacked" ]; then
      candidates=$version
      break
    fi
  done
  for version in $candidates; do
    local directory="$cache/src/${package}_${version//[:~+]/_}"
    if [ ! -f "$directory/.unpacked" ]; then
      rm -rf "$directory" && mkdir -p "$directory"
      log "apt-get source $package=$version"
      if ! (cd "$directory" && apt-get source -qq --only-source "$package=$version" >&2); then
        rm -rf "$directory"
        continue
      fi
      touch "$directory/.unpacked"
    fi
    echo "$version $(find "$directory" -mindepth 1 -maxdepth 1 -type d | head -1)"
    return
  done
}

# ---- recipes: each builds in the current directory (a copy of the source)
# and installs into $prefix; $deps is the sysroot of the ones before it.

cmake_flags() {
  echo -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_PREFIX_PATH="$deps" -DCMAKE_FIND_ROOT_PATH="$deps" -DCMAKE_C_FLAGS=-O2 -DCMAKE_CXX_FLAGS=-O2
}

build_zlib() {
  CFLAGS=-O2 emconfigure ./configure --static --prefix="$prefix" >&2
  emmake make -j"$jobs" libz.a >&2
  emmake make install >&2
}

build_libpng1.6() {
  # shellcheck disable=SC2046
  emcmake cmake -S . -B out $(cmake_flags) -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_ROOT="$deps" -DM_LIBRARY= >&2
  cmake --build out -j"$jobs" >&2
  cmake --install out >&2
}

# libogg and libvorbis by their configure scripts: CMake's type-size checks
# cannot read emcc's output.
configure_static() {
  emconfigure ./configure --prefix="$prefix" --disable-shared --enable-static \
    CFLAGS=-O2 "$@" >&2
  emmake make -j"$jobs" >&2
  emmake make install >&2
}

build_libogg() { configure_static; }

build_libvorbis() {
  configure_static --with-ogg="$deps" --disable-oggtest --disable-docs --disable-examples
}

build_freetype() {
  # Outline glyphs: no colour bitmap tables, no shaping. Compressed fonts go
  # through the zlib built here (FreeType's own copy would clash with it).
  # shellcheck disable=SC2046
  emcmake cmake -S . -B out $(cmake_flags) -DFT_REQUIRE_ZLIB=ON -DZLIB_ROOT="$deps" -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON >&2
  cmake --build out -j"$jobs" >&2
  cmake --install out >&2
}

build_libsdl2() {
  # SDL's own settings for the browser (include/SDL_config_emscripten.h, no
  # threads) instead of its CMake configure, whose hundreds of checks each
  # run emcc. Each part compiles the files of the drivers those settings
  # name; the files of the others compile to nothing.
  local parts=". atomic audio audio/disk audio/dummy audio/emscripten cpuinfo dynapi events file
    filesystem/emscripten haptic haptic/dummy joystick joystick/emscripten libm loadso/dlopen locale
    locale/emscripten misc misc/emscripten power power/emscripten render render/opengles2 render/software
    sensor sensor/dummy stdlib thread thread/generic timer timer/unix video video/emscripten video/yuv2rgb"
  mkdir -p out "$prefix/include/SDL2" "$prefix/lib"
  local part
  for part in $parts; do ls src/"$part"/*.c; done >out/sources
  # One object per source, named after its path (drivers share file names).
  awk '{ object = $0; gsub("/", "_", object); print $0 " out/" object ".o" }' out/sources |
    xargs -P "$jobs" -n 2 sh -c 'emcc -O2 -w -Iinclude -c "$0" -o "$1"' >&2
  emar rcs "$prefix/lib/libSDL2.a" out/*.o
  cp include/*.h "$prefix/include/SDL2/"
}

build_imgui() {
  # The library the engine's UI layer uses: the core, FreeType glyphs and the
  # SDL_Renderer backend, with the same switches as the desktop package.
  local sources=(imgui.cpp imgui_draw.cpp imgui_tables.cpp imgui_widgets.cpp misc/freetype/imgui_freetype.cpp
    backends/imgui_impl_sdlrenderer.cpp)
  mkdir -p out "$prefix/include/imgui/backends" "$prefix/lib"
  local objects=()
  for source in "${sources[@]}"; do
    local object="out/$(basename "${source%.cpp}").o"
    em++ -O2 -std=c++17 -DIMGUI_ENABLE_FREETYPE -DIMGUI_DISABLE_OBSOLETE_FUNCTIONS=0 -I. -Imisc/freetype \
      -I"$deps/include/freetype2" -I"$deps/include/SDL2" -c "$source" -o "$object" >&2
    objects+=("$object")
  done
  emar rcs "$prefix/lib/libimgui.a" "${objects[@]}"
  cp imgui.h imconfig.h imgui_internal.h imstb_*.h misc/freetype/imgui_freetype.h "$prefix/include/imgui/"
  cp backends/imgui_impl_sdlrenderer.h "$prefix/include/imgui/backends/"
}

build_ffmpeg() {
  # Only what films and sounds need: MPEG-1 program streams and AVI with
  # MPEG-1/2 video, MJPEG and raw pictures, MP2/MP3 and PCM sound; the
  # scaler and the resampler. No programs, protocols, devices or filters.
  local demuxers=mpegps,mpegvideo,avi,wav,ogg,mp3
  local decoders=mpeg1video,mpeg2video,mjpeg,rawvideo,mp2,mp2float,mp3,mp3float,pcm_s16le,pcm_u8,pcm_s24le,pcm_f32le,vorbis
  local parsers=mpegvideo,mpegaudio,mjpeg
  emconfigure ./configure --prefix="$prefix" --cc=emcc --cxx=em++ --ar=emar --ranlib=emranlib --nm=emnm \
    --target-os=none --arch=x86_32 --enable-cross-compile --disable-asm --disable-inline-asm --disable-x86asm \
    --disable-stripping --disable-programs --disable-doc --disable-debug --disable-network --disable-autodetect \
    --disable-pthreads --disable-w32threads --disable-os2threads --disable-everything --disable-avdevice \
    --disable-avfilter --disable-postproc --enable-swscale --enable-swresample \
    --enable-demuxer="$demuxers" --enable-decoder="$decoders" --enable-parser="$parsers" \
    --extra-cflags=-O2 --optflags=-O2 >&2
  emmake make -j"$jobs" >&2
  emmake make install >&2
}

# source package, the desktop build's -dev package of it, what the recipe builds on
libraries=(
  "zlib zlib1g-dev"
  "libpng1.6 libpng-dev zlib"
  "libogg libogg-dev"
  "libvorbis libvorbis-dev libogg"
  "freetype libfreetype-dev zlib"
  "libsdl2 libsdl2-dev"
  "imgui libimgui-dev libsdl2 freetype"
  "ffmpeg libavcodec-dev"
)

# Builds one library (a line of the list above) into its prefix, unless the
# cache has it.
build_library() {
  local name=$1 source=$2 needs=$3 prefix=$4 deps need work started
  [ -f "$prefix/.built" ] && return
  # The libraries this one builds on, joined into one tree.
  deps="$cache/deps-$name"
  rm -rf "$deps" && mkdir -p "$deps"
  for need in $needs; do cp -alf "${prefix_of[$need]}/." "$deps/"; done
  work="$cache/work-$name"
  rm -rf "$work" "$prefix" && cp -a "$source" "$work"
  log "building $name"
  started=$(date +%s)
  (cd "$work" && "build_$name")
  touch "$prefix/.built"
  log "built $name in $(( $(date +%s) - started )) s"
  rm -rf "$work" "$deps"
}

ensure_deb_src
declare -A prefix_of source_of
all_keys=""
for entry in "${libraries[@]}"; do
  read -r name binary needs <<<"$entry"
  read -r version source < <(fetch_source "$name" "$binary")
  [ -n "${source:-}" ] || { log "cannot fetch the source package $name"; exit 1; }
  key_text="$version|$emcc_version|$(declare -f "build_$name")|$(declare -f cmake_flags)"
  for need in $needs; do key_text+="|${prefix_of[$need]}"; done
  key=$(printf '%s' "$key_text" | sha256sum | cut -c1-12)
  prefix_of[$name]="$cache/$name-${version//[:~+]/_}-$key"
  source_of[$name]=$source
  all_keys+="${prefix_of[$name]} "
done

# FFmpeg builds on none of the others, and its configure is a long serial
# run of small checks: it goes alongside the rest, one after the other.
build_library ffmpeg "${source_of[ffmpeg]}" "" "${prefix_of[ffmpeg]}" &
ffmpeg_build=$!
for entry in "${libraries[@]}"; do
  read -r name binary needs <<<"$entry"
  [ "$name" = ffmpeg ] && continue
  build_library "$name" "${source_of[$name]}" "$needs" "${prefix_of[$name]}"
done
wait "$ffmpeg_build" || { log "building ffmpeg failed"; exit 1; }

root="$cache/sysroot-$(printf '%s' "$all_keys" | sha256sum | cut -c1-12)"
if [ ! -f "$root/.joined" ]; then
  rm -rf "$root" && mkdir -p "$root"
  for prefix in $all_keys; do cp -alf "$prefix/." "$root/"; done
  rm -f "$root/.built"
  touch "$root/.joined"
fi
echo "$root"
