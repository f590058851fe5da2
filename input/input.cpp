// Platform events into input.

#include "input/input.h"

#include "input/state.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/multibyte.h"
#include "resources/state.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/state.h"

namespace tavelo::input {
namespace {

constexpr int32_t kKeyControl = 0x11;
constexpr int32_t kKeyCapsLock = 0x14;
// Dropped file names, in bytes of game text.
constexpr size_t kDroppedNameLimit = 259;

void set_held(script::Clicks& clicks, platform::MouseButton button, bool held) {
  switch (button) {
    case platform::MouseButton::Left: clicks.left_held = held; break;
    case platform::MouseButton::Right: clicks.right_held = held; break;
    case platform::MouseButton::Middle: clicks.middle_held = held; break;
  }
}

}  // namespace

void press_button(script::Machine& machine, platform::MouseButton button, uint32_t time) {
  script::Clicks& clicks = machine.clicks;
  script::ButtonEvent& event = button == platform::MouseButton::Left    ? clicks.left
                               : button == platform::MouseButton::Right ? clicks.right
                                                                        : clicks.middle;
  event.happened = true;
  event.time = time;
  if (button != platform::MouseButton::Middle) script::stop_skipping_on_click(machine);
}

void handle_event(State& state, script::Machine& machine, const platform::Event& event) {
  switch (event.type) {
    case platform::EventType::MouseDown:
      set_held(machine.clicks, event.button, true);
      press_button(machine, event.button, script::script_time(machine));
      break;
    case platform::EventType::MouseUp: set_held(machine.clicks, event.button, false); break;
    case platform::EventType::KeyDown:
      if (event.key == kKeyControl) machine.clicks.ctrl_held = true;
      if (event.key == kKeyCapsLock && !event.repeat) machine.skip.keyboard_switch = !machine.skip.keyboard_switch;
      break;
    case platform::EventType::KeyUp:
      if (event.key == kKeyControl) machine.clicks.ctrl_held = false;
      break;
    case platform::EventType::FocusLost:
      // Buttons released outside the window never report their release.
      machine.clicks.left_held = machine.clicks.right_held = machine.clicks.middle_held = false;
      machine.clicks.ctrl_held = false;
      break;
    case platform::EventType::FileDropped:
      if (state.accept_dropped_files) {
        state.dropped_file =
            resources::cut_game_text(machine.resources.lead_bytes, machine.encoding.from_utf8_lossy(event.text),
                                     kDroppedNameLimit);
      }
      break;
    default: break;
  }
}

}  // namespace tavelo::input
