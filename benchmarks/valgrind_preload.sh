# Sourced by the benchmark scripts that run the engine under valgrind:
# libhwy (loaded through the movie decoders) probes its timer with rdtscp
# when it is loaded, which valgrind 3.19 cannot run. A stand-in for the probe,
# built into WORK_DIR and preloaded, lets the engine start under valgrind.
# Usage: valgrind_preload TAVELO WORK_DIR  (prints the LD_PRELOAD value, or
# nothing when the engine does not load libhwy)
valgrind_preload() {
  if ! ldd "$1" | grep libhwy >/dev/null; then return 0; fi
  cat >"$2/hwy_timer.cpp" <<'END'
#include <cstdint>
namespace hwy { namespace platform {
uint64_t TimerResolution() { return 1; }
double InvariantTicksPerSecond() { return 1e9; }
} }
END
  echo 'HWY_0 { global: *; };' >"$2/hwy_timer.map"
  c++ -shared -fPIC -O2 -o "$2/libhwy_timer.so" "$2/hwy_timer.cpp" -Wl,--version-script="$2/hwy_timer.map"
  echo "$2/libhwy_timer.so"
}
