#pragma once
// Frame pacing. A frame is due when at least 1000 / MAX_FPS ms (MAX_FPS
// clamped to 1..80) have passed since the last one; while skipping, AGGSKIP
// presents only every n-th due frame. The host's frame loop asks here whether
// to compose and present.

#include <cstdint>

namespace tavelo::graphics {

struct FramePacer {
  int32_t limit = 80;        // frames per second
  uint32_t last_frame = 0;   // millisecond clock of the last due frame
  bool started = false;
  bool forced = false;  // the next test says due (a script asked for a frame)
  // Due frames so far; the frame wait compares it.
  uint32_t frame_counter = 0;
  // While skipping, only every skip_divisor-th due frame is presented (AGGSKIP;
  // 0 presents every frame).
  int32_t skip_divisor = 0;
  // The update lock (update_lock / update_unlock): while above 0 nothing is
  // marked, composed or shown, no frame is due, no per-frame work runs and
  // frame waits end at once.
  int32_t display_lock = 0;
};

void set_frame_limit(FramePacer& pacer, int32_t max_fps);

// The divisor for an AGGSKIP value: 0 for 0 or less, else value + 1, at most 4.
int32_t skip_divisor_for(int32_t aggskip);

// Whether a frame is due at real time now (never while updates are locked);
// a due frame records the time.
bool frame_due(FramePacer& pacer, uint32_t now);

// Whether the due frame that is counted now should be shown: always, except
// every frame but the n-th while skipping with AGGSKIP.
bool frame_shown(const FramePacer& pacer, bool skipping);

}  // namespace tavelo::graphics
