#pragma once
// Scripted input for scenario tests: button presses injected as platform
// events at given moments of the headless virtual clock, so they take the
// same path as a real window's events.

#include <cstdint>

#include "platform/headless/headless_platform.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {

// A press at at_ms, released 50 ms later.
inline void schedule_click(TestEngine& test, uint32_t at_ms, platform::MouseButton button) {
  platform::Event press;
  press.type = platform::EventType::MouseDown;
  press.time = at_ms;
  press.button = button;
  platform::Event release = press;
  release.type = platform::EventType::MouseUp;
  release.time = at_ms + 50;
  test.platform.inject_event(press);
  test.platform.inject_event(release);
}

// A key held down from at_ms on (a virtual-key code).
inline void press_key(TestEngine& test, int32_t key, uint32_t at_ms = 0) {
  platform::Event press;
  press.type = platform::EventType::KeyDown;
  press.time = at_ms;
  press.key = key;
  test.platform.inject_event(press);
}

}  // namespace tavelo::testing
