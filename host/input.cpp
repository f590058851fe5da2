// Latched input.

#include "host/input.h"

#include "host/engine.h"
#include "script/read_marks.h"

namespace tavelo::host {

void press_button(Engine& engine, MouseButton button, uint32_t time) {
  InputState& input = engine.host.input;
  ButtonEvent& event = button == MouseButton::Left ? input.left : button == MouseButton::Right ? input.right : input.middle;
  event.happened = true;
  event.time = time;
  if (button != MouseButton::Middle) script::stop_skipping_on_click(engine);
}

bool take_click(ButtonEvent& event, uint32_t now) {
  if (!event.happened) return false;
  event.happened = false;
  return int64_t(now) - int64_t(event.time) <= 60;
}

}  // namespace tavelo::host
