#pragma once
// The latched input the script machine reads: button clicks with their time
// stamps and the held state of the mouse buttons. The window backend (or a
// headless input replay) feeds it; the main loop turns clicks into handler
// jumps and the click waits read it.

#include <cstdint>
#include <string>

namespace tavelo::host {

struct Engine;

enum class MouseButton { Left, Right, Middle };

struct ButtonEvent {
  bool happened = false;
  uint32_t time = 0;  // script time of the press
};

struct InputState {
  ButtonEvent left;
  ButtonEvent right;
  ButtonEvent middle;
  // Input events 33, 34 and 147 (decide, cancel and erase keys) as seen by
  // the click wait.
  ButtonEvent event33;
  ButtonEvent event34;
  ButtonEvent event147;
  bool left_held = false;
  bool right_held = false;
  bool middle_held = false;
  bool erase_held = false;
  // The keyboard skip switch: the Caps Lock toggle state while the window is
  // active. The skip test reads it and turns it off.
  bool caps_lock = false;
  bool ctrl_held = false;
  // Click suppression: presses of the masked buttons (1 left, 2 right, 4
  // middle) in quick succession are swallowed while the count lasts.
  uint8_t suppress_mask = 0;
  int32_t suppress_count = 0;
  // Files dropped on the main window: accepted only while scripts allow it;
  // the last name is game text of at most 259 bytes.
  bool accept_dropped_files = false;
  std::string dropped_file;
};

// Records a press (used by the platform event pump and by tests).
void press_button(Engine& engine, MouseButton button, uint32_t time);

// Takes a click event if it happened within 60 ms of now; older events are dropped.
bool take_click(ButtonEvent& event, uint32_t now);

}  // namespace tavelo::host
