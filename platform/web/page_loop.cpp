// The page's loop over emscripten's main loop, called from
// requestAnimationFrame.

#include "platform/web/page_loop.h"

#include <emscripten.h>

#include <memory>

EM_JS(void, tavelo_report_end, (int status), {
  if (Module.onEngineEnd) Module.onEngineEnd(status);
});

namespace tavelo::platform {
namespace {

struct PageLoop {
  std::function<PageCycle()> cycle;
  double budget_ms = 0;
};

void run_frame(void* argument) {
  auto* loop = static_cast<PageLoop*>(argument);
  double started = emscripten_get_now();
  for (;;) {
    switch (loop->cycle()) {
      case PageCycle::Again:
        if (emscripten_get_now() - started < loop->budget_ms) continue;
        return;
      case PageCycle::Yield: return;
      case PageCycle::Done:
        emscripten_cancel_main_loop();
        delete loop;
        return;
    }
  }
}

}  // namespace

void run_page_loop(std::function<PageCycle()> cycle, double budget_ms) {
  auto* loop = new PageLoop{std::move(cycle), budget_ms};
  // 0 frames per second: the browser's animation frames; no simulated
  // infinite loop, so main() returns and the page stays responsive.
  emscripten_set_main_loop_arg(run_frame, loop, 0, 0);
}

void report_engine_end(int status) { tavelo_report_end(status); }

}  // namespace tavelo::platform
