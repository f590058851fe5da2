#pragma once
// Read marks and the skip modes (SkipState inside script::State). Every line
// instruction of the main thread marks its line in the script's read-mark set
// and records whether the line had been read before; the skip test, which the
// waits, the click handling and frame presentation consult, reads that flag
// together with the skip flags and the keyboard skip switch (Caps Lock), which
// input owns and the machine asks about through HostHooks::keyboard_skip.

#include <cstdint>

namespace tavelo::script {

struct Machine;

struct Thread;

// The read-mark part of the line instruction.
void mark_line(Machine& machine, Thread& thread, int32_t line);

// After a saved game is loaded its current line counts as read.
void mark_current_line_read(Machine& machine);

// Whether the keyboard skip switch (input's, asked through the host hooks) is on.
bool keyboard_skip_on(const Machine& machine);

// The skip test: whether text is being skipped now. Read-skip switches itself
// off at the first unread line; holding the right button while the keyboard
// switch is on stops skipping, eats the pending clicks and turns the switch off.
bool is_skipping(Machine& machine);

// Skip modes: 0 and 7 all off; 1 skip all (or read-skip, by FastModeFlg_AR);
// 2 read-skip; 3 automatic; 4 skip all; 5 mode 1 with NEKOMENU, else mode 4;
// 6 fast-forward. Fast-forward is cleared first whatever the mode; modes
// above 7 change nothing else.
void set_skip_mode(Machine& machine, int32_t mode);

// A left or right button press stops skipping, except during fast-forward.
void stop_skipping_on_click(Machine& machine);

}  // namespace tavelo::script
