#pragma once
// State of the input subsystem: the 148 input slots (live and frozen per
// frame) with their press counters, the pointer and mouse mode, the last key,
// the input lock and gate, the game controller's state and its synthesised
// keys, the drag tracker, the pointer's visibility and dropped files, the
// click latches that become the threads' clicks and handler jumps, and the
// keyboard skip switch. input/input.h and the system calls work on this
// record; the host hands it platform events.

#include <array>
#include <cstdint>
#include <string>

namespace tavelo::input {

inline constexpr int32_t kSlotCount = 148;

// Logical slots; 0..129 are virtual keys.
enum Slot : int32_t {
  kSlotPageUp = 33,
  kSlotPageDown = 34,
  kSlotDecide = 130,
  kSlotCancel = 131,
  kSlotUp = 132,
  kSlotDown = 133,
  kSlotRight = 134,
  kSlotLeft = 135,
  kSlotSkip = 136,
  kSlotErase = 147,
};

struct SlotTable {
  std::array<uint8_t, kSlotCount> down{};
  std::array<uint32_t, kSlotCount> time{};     // script time of the last press
  std::array<uint32_t, kSlotCount> presses{};  // counts presses, for the consuming query
};

// The pointer in game-screen pixels.
struct Pointer {
  int32_t x = 0;
  int32_t y = 0;
};

// One button of the drag tracker; times are script ms, 0 for none.
struct DragButton {
  int32_t pressed = 0;
  int32_t press_x = 0;
  int32_t press_y = 0;
  uint32_t press_time = 0;
  uint32_t hold_start_time = 0;
  uint32_t pending_click_time = 0;
  uint32_t double_click_time = 0;
  uint32_t release_time = 0;
  int32_t state = 0;  // 0 idle, 1 after a double click, 2 dragging
};

struct DragRecord {
  int32_t x = 0;
  int32_t y = 0;
  DragButton left;
  DragButton right;
  int32_t both_buttons = 0;
};

// Script function keys of one button: press, click, double click, drag
// start, drag move, drag end, drag cancel.
enum DragFunction : int32_t {
  kDragPress, kDragClick, kDragDouble, kDragStart, kDragMove, kDragEnd, kDragCancel, kDragFunctionCount
};

struct DragTracker {
  bool active = false;
  DragRecord now;
  DragRecord previous;
  std::array<uint32_t, kDragFunctionCount> left_functions{};
  std::array<uint32_t, kDragFunctionCount> right_functions{};
  uint32_t per_poll = 0;
  uint32_t position_change = 0;
  uint32_t wheel = 0;
  // Calls found due by a poll and not yet made: one is made per poll, in
  // the order they were found.
  std::array<uint32_t, 16> queued_functions{};
  std::array<std::array<int32_t, 4>, 16> queued_arguments{};
  std::array<int32_t, 16> queued_counts{};
  int32_t queued = 0;
};

// A game controller's state and the keys it holds down.
struct PadState {
  int32_t use = 0;           // 0 off (the JoyUse mode), else on
  int32_t mapping_mode = 1;  // 1 arrows, Esc and Enter; 2 the numeric keys
  uint32_t buttons = 0;      // bit per platform::PadButton
  std::array<int32_t, 6> axes{};
  uint32_t held_keys = 0;    // bit per synthesised key (see input.cpp)
  uint32_t last_poll = 0;    // script ms
  bool polled = false;
};

// A latched press, taken by the cycle's click delivery.
struct ButtonEvent {
  bool happened = false;
  uint32_t time = 0;  // script time of the press
};

// Button clicks with their time stamps (turned into the threads' pending
// clicks and handler jumps), which buttons are held (the release wait and the
// skip test read them), and which presses scripts asked to swallow.
struct Clicks {
  ButtonEvent left;
  ButtonEvent right;
  ButtonEvent middle;
  bool left_held = false;
  bool right_held = false;
  bool middle_held = false;
  bool erase_held = false;
  // Ctrl held: the skip comes from the key, not from a mode to keep.
  bool ctrl_held = false;
  // Click suppression: presses of the masked buttons (1 left, 2 right, 4
  // middle) in quick succession are swallowed while the count lasts.
  uint8_t suppress_mask = 0;
  int32_t suppress_count = 0;
};

struct State {
  SlotTable live;
  SlotTable frame;
  std::array<uint32_t, kSlotCount> consumed{};  // presses already reported
  bool erase_on_space = false;   // ERASEONSPACE: Space erases instead of deciding
  bool control_key_skips_all = false;  // CTRLKEYDEF: Ctrl skips by mode 1
  int32_t last_key = 0;          // the last key pressed, 0 after it was taken
  bool locked = false;           // key messages change nothing
  bool gated = false;            // buttons and keys are ignored (menu requests aside)
  // The main window has taken up a menu request the script has not opened
  // yet: the gate lets input through.
  bool menu_request_current = false;
  uint32_t last_click_time = 0;  // of the last accepted or swallowed click
  bool skip_key_remembered = false;  // auto mode was on when Shift or Ctrl went down
  // Keys as the keyboard holds them, whatever the lock and the gate say.
  std::array<uint8_t, 256> raw_keys{};
  int32_t caps_lock_owner = -1;  // the thread that cleared the mouse areas first

  Pointer pointer;               // the engine's pointer position
  Pointer real_pointer;          // where the platform's pointer last was
  Pointer frame_pointer;
  Pointer mode_change_pointer;   // where mouse mode last changed
  bool pointer_inside = false;   // the platform's pointer is over the game area
  bool mouse_mode = true;
  bool frame_mouse_mode = true;
  bool pointer_hidden = false;

  Clicks clicks;
  // The keyboard skip switch: the Caps Lock toggle state while the window is
  // active. The skip test reads it and may turn it off.
  bool keyboard_skip = false;

  PadState pad;
  DragTracker drag;

  // Files dropped on the main window: accepted only while scripts allow it;
  // the last name is game text of at most 259 bytes.
  bool accept_dropped_files = false;
  std::string dropped_file;
};

}  // namespace tavelo::input
