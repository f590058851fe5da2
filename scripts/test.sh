#!/usr/bin/env bash
# Installs what is missing, checks the layer rule, builds the engine, tools and
# tests, and runs every test: the unit and scenario tests (plain build), the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the audio tests under
# ThreadSanitizer, the interpreter's tests with its plain-switch dispatch, a
# short run of every fuzz target, and the browser build in
# Debian's chromium (its libraries cached under ~/.cache/tavelo; it installs
# emscripten and chromium when they are missing). Set
# TAVELO_FUZZ_SECONDS to fuzz longer (default 10 per target), and
# TAVELO_WEB_TESTS=0 to leave the browser build out (a machine that cannot
# have chromium).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/bootstrap.sh

jobs=$(nproc)
# Compiler caching that survives a fresh clone in another folder.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fuzz_seconds=${TAVELO_FUZZ_SECONDS:-10}

echo "== layers and platform boundary"
python3 scripts/check_layers.py

echo "== build (warnings are errors)"
cmake -S . -B build -G Ninja -DTAVELO_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

echo "== tests"
(cd build && ctest -j "$jobs" --output-on-failure)

echo "== tests under ASan and UBSan"
cmake -S . -B build-sanitize -G Ninja -DTAVELO_WERROR=ON -DTAVELO_SANITIZE=ON -DTAVELO_BENCHMARKS=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-sanitize -j "$jobs"
leak_suppressions=$PWD/tests/lsan.supp
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$leak_suppressions ctest -j "$jobs" --output-on-failure)

echo "== audio tests under ThreadSanitizer"
# Only the sound output's code and the file layer under it are instrumented;
# the rest of this tree compiles as the plain build did (the compiler cache).
cmake -S . -B build-tsan -G Ninja -DTAVELO_WERROR=ON -DTAVELO_TSAN=ON -DTAVELO_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target audio_tests
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest -R '^audio$' --output-on-failure)

echo "== the interpreter dispatched through its plain switch"
# The form other compilers build (no computed goto): only the interpreter's
# file compiles differently, the rest comes from the compiler cache.
cmake -S . -B build-switch -G Ninja -DTAVELO_WERROR=ON -DTAVELO_SWITCH_DISPATCH=ON -DTAVELO_BENCHMARKS=OFF >/dev/null
cmake --build build-switch -j "$jobs" --target scenario_tests
(cd build-switch && TAVELO_CONFIG_HOME=$PWD/test-config/switch tests/scenario_tests --gtest_brief=1 \
  --gtest_filter='Interpreter.*:AssignmentForms.*:Calls.*:Threads.*:Waits.*')

echo "== fuzz targets (${fuzz_seconds} s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTAVELO_FUZZ=ON -DTAVELO_TESTS=OFF \
  -DTAVELO_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_targets
./fuzz/run_all.sh build-fuzz/bin "$fuzz_seconds"

if [ "${TAVELO_WEB_TESTS:-1}" != 0 ]; then
  echo "== the browser build in chromium"
  ./scripts/web.sh --build-only
  python3 tests/web/browser_test.py build build-web
fi
