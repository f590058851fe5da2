#pragma once
// The input slots: platform events (keys, buttons, pointer, wheel, game
// controller, focus) become latched slots with time stamps, frozen once per
// cycle for the scripts, plus the click latches (delivered to the threads
// once a cycle) and the keyboard skip switch. The host's main window hands every event here with
// its pointer position already in game-screen pixels; the frame loop calls
// freeze_input and poll_pad; system calls ask key_down and key_pressed.

#include <cstdint>

namespace tavelo::platform {
struct Event;
enum class MouseButton : uint8_t;
}  // namespace tavelo::platform

namespace tavelo::script {
struct Machine;
}

namespace tavelo::input {

struct State;

// The flag word of a virtual key: bit 0x1 its own slot, then decide, cancel,
// up, down, right, left, skip and erase (0x100). 0 for keys beyond 147.
uint16_t key_flags(int32_t virtual_key, bool erase_on_space);

// input_reset: clears both tables, the lock and the last key, turns the
// keyboard skip switch off as a Caps Lock press and release would (the next
// press turns it on again) and selects controller mapping mode 1. The environment's ERASEONSPACE and
// CTRLKEYDEF are read here.
void reset_input(State& state, script::Machine& machine);

// Where the pointer event happened, in game-screen pixels.
struct PointerPlace {
  int32_t x = 0;
  int32_t y = 0;
  bool inside = false;  // over the game area
};

// Takes one platform event. Pointer events come with their game-screen place.
void handle_event(State& state, script::Machine& machine, const platform::Event& event, PointerPlace place = {});

// Records a press at script time: the click latch, and (left and right only)
// the end of skipping. Used for presses that reach the decide, cancel and
// skip slots.
void press_button(State& state, script::Machine& machine, platform::MouseButton button, uint32_t time);

// Presses and releases the skip slot (136), subject to click suppression:
// the menu's skip commands.
void pulse_skip_input(State& state, script::Machine& machine);

// The per-cycle freeze: the live slots, pointer and mouse mode become what
// scripts read; while input is gated (and no menu request is current) the
// frozen slots read as released.
void freeze_input(State& state);

// Turns the game controller's change since the last poll into key presses and
// releases (at most once per 10 ms of script time; nothing while joystick use
// is off).
void poll_pad(State& state, script::Machine& machine);
// Releases every key the controller holds down.
void release_pad_keys(State& state, script::Machine& machine);

// Whether the slot is down in the frozen table; false beyond the slots.
bool key_down(const State& state, int32_t slot);
// Whether the slot was pressed since the last time this was asked (consuming).
bool key_pressed(State& state, int32_t slot);
// Forgets presses of the slot not yet asked about.
void consume_presses(State& state, int32_t slot);
// Whether a key was pressed since the last look (consuming it).
bool take_key_press(State& state);
// Forgets the clicks latched since the last cycle (a wait that a click ended
// uses it up, so it cannot end the next wait too).
void drop_latched_clicks(State& state);

// suppress_clicks: presses of the masked slots (1 decide, 2 cancel, 4 skip)
// within 350 ms of the last click are swallowed, at most three times.
void suppress_clicks(State& state, int32_t mask);

// The keyboard skip switch as the skip test sees it (script::HostHooks'
// keyboard_skip): whether it is on; with settle, holding the right button
// turns it off and drops the latched clicks.
bool keyboard_skip(State& state, bool settle);

// Once a cycle: clicks latched since the last cycle become the threads'
// pending clicks and jump to the handlers that lie ahead of each frame; while
// skipping, the left handlers are taken as if clicked. A click older than
// 60 ms of script time is dropped.
void process_clicks(State& state, script::Machine& machine);

// Sets the engine's pointer; x = -10000 takes the platform pointer's last
// real position instead.
void set_pointer(State& state, int32_t x, int32_t y);

// Whether the input gate lets buttons and keys through.
bool input_passes_gate(const State& state);

}  // namespace tavelo::input
