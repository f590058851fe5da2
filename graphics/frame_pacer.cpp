// Frame pacing.

#include "graphics/frame_pacer.h"

#include <algorithm>
#include <cstdlib>

namespace tavelo::graphics {

void set_frame_limit(FramePacer& pacer, int32_t max_fps) { pacer.limit = std::clamp(max_fps, 1, 80); }

int32_t skip_divisor_for(int32_t aggskip) {
  if (aggskip <= 0) return 0;
  return aggskip >= 4 ? 4 : aggskip + 1;
}

bool frame_due(FramePacer& pacer, uint32_t now) {
  if (pacer.display_lock > 0) return false;
  uint32_t interval = uint32_t(1000 / pacer.limit);
  int64_t elapsed = std::llabs(int64_t(now) - int64_t(pacer.last_frame));
  if (pacer.started && !pacer.forced && elapsed < interval) return false;
  pacer.forced = false;
  pacer.started = true;
  pacer.last_frame = now;
  return true;
}

bool frame_shown(const FramePacer& pacer, bool skipping) {
  if (pacer.skip_divisor <= 0 || !skipping) return true;
  return pacer.frame_counter % uint32_t(pacer.skip_divisor) == 0;
}

}  // namespace tavelo::graphics
