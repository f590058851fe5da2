#pragma once
// Platform events into input: mouse buttons latch clicks for the script
// machine, Caps Lock toggles its keyboard skip switch, Ctrl is tracked and
// dropped files are kept while scripts accept them. The host's frame loop
// hands every event here; tests press buttons directly.

#include <cstdint>

namespace tavelo::platform {
class TextEncoding;
struct Event;
enum class MouseButton : uint8_t;
}  // namespace tavelo::platform

namespace tavelo::script {
struct Machine;
}

namespace tavelo::input {

struct State;

// Records a press at script time: the click latch, and (left and right only)
// the end of skipping.
void press_button(script::Machine& machine, platform::MouseButton button, uint32_t time);

// Takes one platform event.
void handle_event(State& state, script::Machine& machine, const platform::Event& event);

}  // namespace tavelo::input
