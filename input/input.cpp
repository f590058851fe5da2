// The input slots.

#include "input/input.h"

#include <array>

#include "input/state.h"
#include "platform/key_map.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/state.h"

namespace tavelo::input {
namespace {

using namespace platform::keys;

// Dropped file names, in bytes of game text.
constexpr size_t kDroppedNameLimit = 259;
// Presses of suppressed slots closer than this to the last click are swallowed.
constexpr uint32_t kSuppressWindowMs = 350;
constexpr int32_t kSuppressedPresses = 3;
// The controller is read at most this often.
constexpr uint32_t kPadPollMs = 10;
// A stick counts as a direction beyond a third of its travel either way
// (positions below 10922 or above 54612 of 0..65535).
constexpr int32_t kAxisLow = 10922 - 32768;
constexpr int32_t kAxisHigh = 54612 - 32768;

enum KeyFlag : uint16_t {
  kOwn = 0x1, kDecide = 0x2, kCancel = 0x4, kUp = 0x8, kDown = 0x10, kRight = 0x20, kLeft = 0x40, kSkip = 0x80,
  kErase = 0x100,
};

// Logical flag bits in slot order, from decide (130) to skip (136).
constexpr std::array<std::pair<uint16_t, int32_t>, 8> kLogicalSlots = {{
    {kDecide, kSlotDecide}, {kCancel, kSlotCancel}, {kUp, kSlotUp}, {kDown, kSlotDown},
    {kRight, kSlotRight}, {kLeft, kSlotLeft}, {kSkip, kSlotSkip}, {kErase, kSlotErase},
}};

constexpr std::array<uint16_t, kSlotCount> make_key_flags() {
  std::array<uint16_t, kSlotCount> flags{};
  for (int32_t key : {5, 9, 12, 23, 33, 34, 35, 36, 47, 64, 0x61, 0x63, 0x65, 0x67, 0x69, 144, 145}) flags[key] = kOwn;
  for (int32_t key = '0'; key <= '8'; ++key) flags[key] = kOwn;
  for (int32_t key = 'A'; key <= 'Y'; ++key) flags[key] = kOwn;
  for (int32_t key = 106; key <= 111; ++key) flags[key] = kOwn;
  for (int32_t key : {kKeyReturn, kKeySpace, int32_t('X')}) flags[key] = kOwn | kDecide;
  for (int32_t key : {kKeyEscape, 0x23, 0x2D, 0x2E, int32_t('Z'), 0x60}) flags[key] = kOwn | kCancel;
  for (int32_t key : {kKeyUp, 0x68}) flags[key] = kOwn | kUp;
  for (int32_t key : {kKeyDown, 0x62}) flags[key] = kOwn | kDown;
  for (int32_t key : {kKeyRight, 0x66}) flags[key] = kOwn | kRight;
  for (int32_t key : {kKeyLeft, 0x64}) flags[key] = kOwn | kLeft;
  for (int32_t key : {kKeyShift, kKeyControl, kKeyCapsLock}) flags[key] = kOwn | kSkip;
  return flags;
}

constexpr std::array<uint16_t, kSlotCount> kKeyFlags = make_key_flags();

bool keeps_mouse_mode(int32_t key) {
  return key == kKeyShift || key == kKeyControl || key == kKeySpace || (key >= kKeyF1 && key <= kKeyF24);
}

// Takes a click if it happened within 60 ms of now; older clicks are dropped.
bool take_click(ButtonEvent& event, uint32_t now) {
  if (!event.happened) return false;
  event.happened = false;
  return int64_t(now) - int64_t(event.time) <= 60;
}

void latch_event(ButtonEvent& event, uint32_t now) {
  event.happened = true;
  event.time = now;
}

// Down in the live table without counting as a press (see hold_key_behind_gate).
void hold_slot(State& state, int32_t slot, uint32_t now) {
  state.live.down[size_t(slot)] = 1;
  state.live.time[size_t(slot)] = now;
}

void set_slot(State& state, int32_t slot, uint32_t now) {
  hold_slot(state, slot, now);
  ++state.live.presses[size_t(slot)];
}

// The held flags the waits and the skip test read follow the slots.
void sync_held(State& state) {
  Clicks& clicks = state.clicks;
  clicks.left_held = state.live.down[kSlotDecide] != 0;
  clicks.right_held = state.live.down[kSlotCancel] != 0;
  clicks.middle_held = state.live.down[kSlotSkip] != 0;
  clicks.erase_held = state.live.down[kSlotErase] != 0;
  clicks.ctrl_held = state.raw_keys[kKeyControl] != 0;
}

// A press of decide, cancel or skip: click suppression, then the slot and
// the click latch.
void press_click_slot(State& state, script::Machine& machine, int32_t slot, uint32_t now) {
  Clicks& clicks = state.clicks;
  uint8_t bit = slot == kSlotDecide ? 1 : slot == kSlotCancel ? 2 : 4;
  if (clicks.suppress_mask & bit) {
    if (now - state.last_click_time < kSuppressWindowMs) {
      state.last_click_time = now;
      if (--clicks.suppress_count <= 0) clicks.suppress_mask = 0;
      return;
    }
    clicks.suppress_mask = 0;
  }
  state.last_click_time = now;
  set_slot(state, slot, now);
  platform::MouseButton button = slot == kSlotDecide   ? platform::MouseButton::Left
                                 : slot == kSlotCancel ? platform::MouseButton::Right
                                                       : platform::MouseButton::Middle;
  press_button(state, machine, button, now);
}

void press_logical(State& state, script::Machine& machine, int32_t slot, uint32_t now) {
  if (slot == kSlotDecide || slot == kSlotCancel || slot == kSlotSkip) {
    press_click_slot(state, machine, slot, now);
    return;
  }
  set_slot(state, slot, now);
}

void key_went_down(State& state, script::Machine& machine, int32_t key, bool repeat, uint32_t now) {
  if (key < 0 || key >= kSlotCount) return;
  state.last_key = key;
  if (!keeps_mouse_mode(key) && state.mouse_mode) {
    state.mouse_mode = false;
    state.mode_change_pointer = state.pointer;
  }
  uint16_t flags = key_flags(key, state.erase_on_space);
  if (flags & kOwn) set_slot(state, key, now);
  for (auto [bit, slot] : kLogicalSlots) {
    if (flags & bit) press_logical(state, machine, slot, now);
  }
  if ((key == kKeyShift || key == kKeyControl) && !repeat) {
    state.skip_key_remembered = machine.skip.automatic;
    int32_t mode = key == kKeyShift ? 2 : state.control_key_skips_all ? 1 : 4;
    script::set_skip_mode(machine, mode);
  }
}

// Behind the input gate a key still goes down in the live table, so that it
// reads as held once the gate opens; it is no press (no click, no last key,
// no skip mode) and the frozen table hides it while the gate is shut.
void hold_key_behind_gate(State& state, int32_t key, uint32_t now) {
  if (key < 0 || key >= kSlotCount) return;
  uint16_t flags = key_flags(key, state.erase_on_space);
  if (flags & kOwn) hold_slot(state, key, now);
  for (auto [bit, slot] : kLogicalSlots) {
    if (flags & bit) hold_slot(state, slot, now);
  }
}

void key_went_up(State& state, script::Machine& machine, int32_t key) {
  if (key < 0 || key >= kSlotCount) return;
  uint16_t flags = key_flags(key, state.erase_on_space);
  if (flags & kOwn) state.live.down[size_t(key)] = 0;
  for (auto [bit, slot] : kLogicalSlots) {
    if (flags & bit) state.live.down[size_t(slot)] = 0;
  }
  if (key == kKeyShift || key == kKeyControl) script::set_skip_mode(machine, state.skip_key_remembered ? 3 : 0);
}

int32_t button_slot(platform::MouseButton button) {
  switch (button) {
    case platform::MouseButton::Left: return kSlotDecide;
    case platform::MouseButton::Right: return kSlotCancel;
    case platform::MouseButton::Middle: return kSlotSkip;
  }
  return kSlotDecide;
}

// Every pointer event: outside the game area the buttons read as released;
// inside, the position follows and a moved pointer turns mouse mode on.
void follow_pointer(State& state, PointerPlace place) {
  state.pointer_inside = place.inside;
  if (!place.inside) {
    state.live.down[kSlotDecide] = state.live.down[kSlotCancel] = state.live.down[kSlotSkip] = 0;
    return;
  }
  bool moved = place.x != state.real_pointer.x || place.y != state.real_pointer.y;
  state.real_pointer = {place.x, place.y};
  state.pointer = state.real_pointer;
  if (!state.mouse_mode && moved) {
    state.mouse_mode = true;
    state.mode_change_pointer = state.pointer;
  }
}

// Keys the controller synthesises, by bit of PadState::held_keys: up, down,
// left, right (arrows in mode 1, numeric 8, 2, 4, 6 in mode 2), then the
// first button (Esc) and the second (Enter).
constexpr std::array<int32_t, 6> kPadKeysMode1 = {kKeyUp, kKeyDown, kKeyLeft, kKeyRight, kKeyEscape, kKeyReturn};
constexpr std::array<int32_t, 6> kPadKeysMode2 = {0x68, 0x62, 0x64, 0x66, kKeyEscape, kKeyReturn};

uint32_t pad_bit(platform::PadButton button) { return 1u << uint32_t(button); }

uint32_t wanted_pad_keys(const PadState& pad) {
  auto button = [&](platform::PadButton which) { return (pad.buttons & pad_bit(which)) != 0; };
  int32_t x = pad.axes[size_t(platform::PadAxis::LeftX)];
  int32_t y = pad.axes[size_t(platform::PadAxis::LeftY)];
  uint32_t keys = 0;
  if (y < kAxisLow || button(platform::PadButton::DpadUp)) keys |= 1;
  if (y > kAxisHigh || button(platform::PadButton::DpadDown)) keys |= 2;
  if (x < kAxisLow || button(platform::PadButton::DpadLeft)) keys |= 4;
  if (x > kAxisHigh || button(platform::PadButton::DpadRight)) keys |= 8;
  if (button(platform::PadButton::A)) keys |= 16;
  if (button(platform::PadButton::B)) keys |= 32;
  return keys;
}

void change_pad_keys(State& state, script::Machine& machine, uint32_t wanted) {
  const std::array<int32_t, 6>& keys = state.pad.mapping_mode == 2 ? kPadKeysMode2 : kPadKeysMode1;
  uint32_t now = script::script_time(machine);
  for (size_t i = 0; i < keys.size(); ++i) {
    uint32_t bit = 1u << i;
    if ((wanted & bit) == (state.pad.held_keys & bit)) continue;
    if (wanted & bit) {
      if (!state.locked) key_went_down(state, machine, keys[i], false, now);
    } else {
      key_went_up(state, machine, keys[i]);
    }
  }
  state.pad.held_keys = wanted;
  sync_held(state);
}

}  // namespace

uint16_t key_flags(int32_t virtual_key, bool erase_on_space) {
  if (virtual_key < 0 || virtual_key >= kSlotCount) return 0;
  if (virtual_key == kKeySpace && erase_on_space) return kOwn | kErase;
  return kKeyFlags[size_t(virtual_key)];
}

void reset_input(State& state, script::Machine& machine) {
  state.live = SlotTable{};
  state.frame = SlotTable{};
  state.consumed = {};
  state.locked = false;
  state.last_key = 0;
  state.menu_request_current = false;  // the engine's reset drops every request
  // As a synthesised Caps Lock press and release: the next press turns the
  // switch on again.
  state.keyboard_skip = false;
  state.pad.mapping_mode = 1;
  state.erase_on_space = resources::env_setting(machine.resources, resources::EnvInt::EraseOnSpace) != 0;
  state.control_key_skips_all = resources::env_setting(machine.resources, resources::EnvInt::CtrlKeyDefault) != 0;
  sync_held(state);
}

void press_button(State& state, script::Machine& machine, platform::MouseButton button, uint32_t time) {
  Clicks& clicks = state.clicks;
  ButtonEvent& event = button == platform::MouseButton::Left    ? clicks.left
                               : button == platform::MouseButton::Right ? clicks.right
                                                                        : clicks.middle;
  latch_event(event, time);
  if (button != platform::MouseButton::Middle) script::stop_skipping_on_click(machine);
}

void handle_event(State& state, script::Machine& machine, const platform::Event& event, PointerPlace place) {
  uint32_t now = script::script_time(machine);
  bool open = input_passes_gate(state);
  switch (event.type) {
    case platform::EventType::KeyDown:
      if (event.key >= 0 && event.key < int32_t(state.raw_keys.size())) state.raw_keys[size_t(event.key)] = 1;
      // Every time the engine turned the switch off it stood for a Caps Lock
      // press and release, so the switch is the keyboard's toggle.
      if (event.key == kKeyCapsLock && !event.repeat) state.keyboard_skip = !state.keyboard_skip;
      if (state.locked) break;
      if (open) {
        key_went_down(state, machine, event.key, event.repeat, now);
      } else {
        hold_key_behind_gate(state, event.key, now);
      }
      break;
    case platform::EventType::KeyUp:
      if (event.key >= 0 && event.key < int32_t(state.raw_keys.size())) state.raw_keys[size_t(event.key)] = 0;
      if (!state.locked) key_went_up(state, machine, event.key);
      break;
    case platform::EventType::MouseMove: follow_pointer(state, place); break;
    case platform::EventType::MouseDown:
      follow_pointer(state, place);
      if (!place.inside) break;
      if (open) {
        press_click_slot(state, machine, button_slot(event.button), now);
      } else {
        hold_slot(state, button_slot(event.button), now);
      }
      break;
    case platform::EventType::MouseUp:
      follow_pointer(state, place);
      state.live.down[size_t(button_slot(event.button))] = 0;
      break;
    case platform::EventType::Wheel:
      if (!open || event.wheel == 0) break;
      // The wheel presses and releases Page Up or Page Down at once.
      set_slot(state, event.wheel > 0 ? kSlotPageUp : kSlotPageDown, now);
      state.live.down[size_t(event.wheel > 0 ? kSlotPageUp : kSlotPageDown)] = 0;
      break;
    case platform::EventType::PadButtonDown:
      if (event.pad_button < platform::PadButton::Count) state.pad.buttons |= pad_bit(event.pad_button);
      break;
    case platform::EventType::PadButtonUp:
      if (event.pad_button < platform::PadButton::Count) state.pad.buttons &= ~pad_bit(event.pad_button);
      break;
    case platform::EventType::PadAxis:
      if (event.pad_axis < platform::PadAxis::Count) state.pad.axes[size_t(event.pad_axis)] = event.axis_value;
      break;
    case platform::EventType::PadRemoved:
      state.pad.buttons = 0;
      state.pad.axes = {};
      break;
    case platform::EventType::FocusGained:
    case platform::EventType::FocusLost:
      // Keys and buttons released elsewhere never report their release.
      state.live.down = {};
      state.raw_keys = {};
      break;
    case platform::EventType::FileDropped:
      if (state.accept_dropped_files) {
        state.dropped_file = resources::cut_game_text(machine.resources.lead_bytes,
                                                      machine.encoding.from_utf8_lossy(event.text), kDroppedNameLimit);
      }
      break;
    default: break;
  }
  sync_held(state);
}

void pulse_skip_input(State& state, script::Machine& machine) {
  press_click_slot(state, machine, kSlotSkip, script::script_time(machine));
  state.live.down[kSlotSkip] = 0;
  sync_held(state);
}

bool input_passes_gate(const State& state) {
  return !state.gated || state.menu_request_current;
}

void freeze_input(State& state) {
  if (input_passes_gate(state)) {
    state.frame = state.live;
  } else {
    state.frame.down = {};
    state.frame.time = {};
    // Presses made while gated are never reported.
    state.frame.presses = state.consumed;
  }
  state.frame_pointer = state.pointer;
  state.frame_mouse_mode = state.mouse_mode;
}

void poll_pad(State& state, script::Machine& machine) {
  uint32_t now = script::script_time(machine);
  if (state.pad.polled && now - state.pad.last_poll < kPadPollMs) return;
  state.pad.polled = true;
  state.pad.last_poll = now;
  uint32_t wanted = state.pad.use != 0 ? wanted_pad_keys(state.pad) : 0;
  if (wanted != state.pad.held_keys) change_pad_keys(state, machine, wanted);
}

void release_pad_keys(State& state, script::Machine& machine) { change_pad_keys(state, machine, 0); }

bool key_down(const State& state, int32_t slot) {
  return slot >= 0 && slot < kSlotCount && state.frame.down[size_t(slot)] != 0;
}

bool key_pressed(State& state, int32_t slot) {
  if (slot < 0 || slot >= kSlotCount) return false;
  if (state.frame.presses[size_t(slot)] == state.consumed[size_t(slot)]) return false;
  state.consumed[size_t(slot)] = state.frame.presses[size_t(slot)];
  return true;
}

bool take_key_press(State& state) {
  if (state.last_key == 0) return false;
  state.last_key = 0;
  return true;
}

void drop_latched_clicks(State& state) {
  state.clicks.left.happened = state.clicks.right.happened = state.clicks.middle.happened = false;
}

void consume_presses(State& state, int32_t slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  state.consumed[size_t(slot)] = state.live.presses[size_t(slot)];
  state.frame.presses[size_t(slot)] = state.live.presses[size_t(slot)];
}

void suppress_clicks(State& state, int32_t mask) {
  state.clicks.suppress_mask = uint8_t(mask & 7);
  state.clicks.suppress_count = kSuppressedPresses;
}

bool keyboard_skip(State& state, bool settle) {
  if (!state.keyboard_skip) return false;
  if (!settle || !state.clicks.right_held) return true;
  // Holding the right button ends keyboard skipping; the clicks that came
  // with it must not also jump to handlers.
  Clicks& clicks = state.clicks;
  clicks.right.happened = clicks.left.happened = clicks.middle.happened = false;
  state.keyboard_skip = false;
  return false;
}

void process_clicks(State& state, script::Machine& machine) {
  Clicks& clicks = state.clicks;
  uint32_t now = machine.clock.held;
  bool left = take_click(clicks.left, now);
  bool right = take_click(clicks.right, now);
  bool middle = take_click(clicks.middle, now);
  bool skipping = !left && !right && !middle && script::is_skipping(machine);
  if (!left && !right && !middle && !skipping) return;
  for (const std::unique_ptr<script::Thread>& thread : machine.threads) {
    thread->pending_left |= left;
    thread->pending_right |= right;
    thread->pending_middle |= middle;
    for (int depth = 0; depth <= thread->depth; ++depth) {
      script::Frame& frame = thread->frames[size_t(depth)];
      if (!frame.position) continue;
      const uint8_t* target = nullptr;
      if ((left || skipping) && frame.left_handler && frame.left_handler > frame.position) target = frame.left_handler;
      else if (right && frame.right_handler && frame.right_handler > frame.position) target = frame.right_handler;
      else if (middle && frame.middle_handler && frame.middle_handler > frame.position) target = frame.middle_handler;
      if (!target) continue;
      frame.position = target;
      frame.left_handler = frame.right_handler = frame.middle_handler = nullptr;
      frame.wait_deadline = 0;
      frame.waiting = false;
      if (depth == thread->depth) thread->pending_left = thread->pending_right = thread->pending_middle = false;
    }
  }
}

void set_pointer(State& state, int32_t x, int32_t y) {
  state.pointer = x == -10000 ? state.real_pointer : Pointer{x, y};
}

}  // namespace tavelo::input
