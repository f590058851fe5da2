#pragma once
// The page's loop: the browser calls back once per animation frame, and
// nothing may block it. web/web_main.cpp runs the engine's cycles from here.
// While the engine rests longer than a frame the page asks for no animation
// frames (each costs the browser a frame's work even when nothing is drawn):
// a timer wakes it at the end of the rest, input at once. Main thread only.

#include <cstdint>
#include <functional>

namespace tavelo::platform {

enum class PageCycle {
  Again,  // run another cycle in this animation frame, time permitting
  Rest,   // nothing to do for rest_ms (0: until the next animation frame)
  Done,   // the run has ended: no more callbacks
};

struct PageStep {
  PageCycle cycle = PageCycle::Again;
  uint32_t rest_ms = 0;
};

// Calls cycle from every animation frame, again and again while it answers
// Again and the frame's budget (budget_ms of real time) lasts. Returns at
// once; the callbacks begin after the caller returns to the browser.
void run_page_loop(std::function<PageStep()> cycle, double budget_ms);

// Tells the page the engine has ended with this exit status (the page's
// Module.onEngineEnd).
void report_engine_end(int status);

}  // namespace tavelo::platform
