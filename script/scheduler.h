#pragma once
// The script side of the engine's cycle: the script clock, the machine reset,
// one round of slices over every thread with the ending threads' bookkeeping,
// the clicks that become handler jumps, and the sleep the threads allow. The
// host's frame loop (host/frame_loop.h) runs these in order every cycle.

#include <cstdint>

namespace tavelo::script {

struct Machine;
struct ButtonEvent;

// Restores the machine for a run of the start script: speed factor 1, fast
// mode off, skip state cleared; frees every thread and creates the main
// thread (id 0) as the current one.
void reset_machine(Machine& machine);

// Script time: computed now, and the value held for the current cycle.
uint32_t script_time(Machine& machine);
uint32_t held_script_time(const Machine& machine);
void set_time_factor(Machine& machine, double factor);

// Holds the script time of the cycle that begins. In fast mode the clock
// stands still until real time has moved half a second away from it.
void begin_cycle(Machine& machine);

enum class RoundEnd {
  Continue,    // every thread had its slice
  GameLoaded,  // a saved game is to be loaded
  Restart,     // back to the start: the main thread ended, or no thread is left
  Stopping,    // the engine is ending
};

// Gives every thread one slice (newest first), then moves ending threads to
// their end handlers, restarts or frees them.
RoundEnd run_threads(Machine& machine);


// How long the loop may sleep, in ms: 0 when a thread has no wait deadline,
// else until the nearest deadline, at most limit (1 ms for the loop's own
// pace; a window that wakes on input may wait longer).
uint32_t sleep_allowance(const Machine& machine, uint32_t limit = 1);
// sleep_allowance for a window, which wakes on input: threads in a wait only
// input ends (poll_for_input) do not count, except while skipping or reading
// automatically, which may end such waits without input.
uint32_t rest_allowance(const Machine& machine, uint32_t limit);

}  // namespace tavelo::script
