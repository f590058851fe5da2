#pragma once
// Scripted input for scenario tests: presses at given moments of the
// headless virtual clock.

#include <cstdint>

#include "host/input.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {

inline void schedule_click(TestEngine& test, uint32_t at_ms, host::MouseButton button) {
  host::Engine& engine = test.engine;
  platform::HeadlessPlatform& platform = test.platform;
  platform.schedule(at_ms, [&engine, &platform, button] { host::press_button(engine, button, platform.ticks_ms()); });
}

}  // namespace tavelo::testing
