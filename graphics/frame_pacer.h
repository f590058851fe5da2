#pragma once
// Frame pacing and the per-frame screen work. A frame is due when at least
// 1000 / MAX_FPS ms (MAX_FPS clamped to 1..80) have passed since the last
// one; the frame cycle then composes and presents the changed parts of the
// screen.

#include <cstdint>

namespace tavelo::host {
struct Engine;
}

namespace tavelo::graphics {

struct FramePacer {
  int32_t limit = 80;        // frames per second
  uint32_t last_frame = 0;   // millisecond clock of the last due frame
  bool started = false;
  bool forced = false;  // the next test says due (a script asked for a frame)
};

void set_frame_limit(FramePacer& pacer, int32_t max_fps);

// Whether a frame is due at real time now; a due frame records the time.
bool frame_due(FramePacer& pacer, uint32_t now);

// Composes and presents the screen. Nothing to do until a display page exists.
void run_frame_cycle(host::Engine& engine);

}  // namespace tavelo::graphics
