// Frame pacing.

#include "graphics/frame_pacer.h"

#include <algorithm>
#include <cstdlib>

namespace tavelo::graphics {

void set_frame_limit(FramePacer& pacer, int32_t max_fps) { pacer.limit = std::clamp(max_fps, 1, 80); }

bool frame_due(FramePacer& pacer, uint32_t now) {
  uint32_t interval = uint32_t(1000 / pacer.limit);
  int64_t elapsed = std::llabs(int64_t(now) - int64_t(pacer.last_frame));
  if (pacer.started && !pacer.forced && elapsed < interval) return false;
  pacer.forced = false;
  pacer.started = true;
  pacer.last_frame = now;
  return true;
}

void run_frame_cycle(host::Engine&) {}

}  // namespace tavelo::graphics
