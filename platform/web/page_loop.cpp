// The page's loop over the browser's animation frames and timers.

#include "platform/web/page_loop.h"

#include <emscripten.h>

EM_JS(void, tavelo_report_end, (int status), {
  if (Module.onEngineEnd) Module.onEngineEnd(status);
});

// Calls _tavelo_page_frame at the next animation frame (delay below 0) or
// after delay ms. Input during a timed rest (pointer, keys, touch, wheel,
// focus, size) turns the rest into the next animation frame; while the
// engine watches gamepads and one is connected (its buttons send no
// events), rests last at most a frame.
EM_JS(void, tavelo_page_schedule, (int delay), {
  let loop = Module.tavelo_page_loop;
  if (!loop) {
    loop = Module.tavelo_page_loop = {timer: 0};
    loop.run = () => {
      loop.timer = 0;
      _tavelo_page_frame();
    };
    loop.wake = () => {
      if (!loop.timer) return;
      clearTimeout(loop.timer);
      loop.timer = 0;
      requestAnimationFrame(loop.run);
    };
    const kinds = ['pointerdown', 'pointerup', 'pointermove', 'mousedown', 'mouseup', 'mousemove', 'keydown', 'keyup',
      'wheel', 'touchstart', 'touchmove', 'touchend', 'focus', 'blur', 'resize',
      'fullscreenchange', 'visibilitychange'];
    for (let i = 0; i < kinds.length; ++i) window.addEventListener(kinds[i], loop.wake, {capture: true, passive: true});
  }
  if (delay > 16 && Module.tavelo_pads_watched && Array.prototype.some.call(navigator.getGamepads(), (pad) => pad)) {
    delay = 16;
  }
  if (delay < 0) requestAnimationFrame(loop.run);
  else loop.timer = setTimeout(loop.run, delay);
});

namespace tavelo::platform {
namespace {

// A rest up to this long waits for the next animation frame instead.
constexpr uint32_t kFrameMs = 17;

struct PageLoop {
  std::function<PageStep()> cycle;
  double budget_ms = 0;
};

PageLoop* running_loop = nullptr;

// One callback: cycles while they answer Again and the budget lasts, then
// the next callback as the last answer asks.
void run_callback(PageLoop& loop) {
  double started = emscripten_get_now();
  for (;;) {
    PageStep step = loop.cycle();
    switch (step.cycle) {
      case PageCycle::Again:
        if (emscripten_get_now() - started < loop.budget_ms) continue;
        tavelo_page_schedule(-1);
        return;
      case PageCycle::Rest:
        tavelo_page_schedule(step.rest_ms > kFrameMs ? int(step.rest_ms) : -1);
        return;
      case PageCycle::Done:
        running_loop = nullptr;
        delete &loop;
        return;
    }
  }
}

}  // namespace

void run_page_loop(std::function<PageStep()> cycle, double budget_ms) {
  running_loop = new PageLoop{std::move(cycle), budget_ms};
  tavelo_page_schedule(-1);
}

void report_engine_end(int status) { tavelo_report_end(status); }

}  // namespace tavelo::platform

extern "C" EMSCRIPTEN_KEEPALIVE void tavelo_page_frame() {
  if (tavelo::platform::running_loop) tavelo::platform::run_callback(*tavelo::platform::running_loop);
}
