#pragma once
// The interpreter: runs slices of script threads over the code blocks of
// loaded scripts, and the main loop that gives every thread one slice per
// cycle, paces frames, turns clicks into handler jumps and sleeps until the
// nearest wait deadline.

#include <cstdint>

namespace tavelo::host {
struct Engine;
}

namespace tavelo::script {

struct Thread;

// Runs instructions of the thread (made current) until the slice state is non-zero.
void run_slice(host::Engine& engine, Thread& thread);

// The main loop. Returns 2 (a game was loaded) or 5 (back to the start: the
// main thread ended or a return to the title was confirmed); 0 when the
// engine is ending.
int run_scripts(host::Engine& engine);

// Restores the machine for a run of the start script: speed factor 1, fast
// mode off, skip state cleared; frees every thread and creates the main
// thread (id 0) as the current one.
void reset_machine(host::Engine& engine);

// Script time: computed now, and the value held for the current cycle.
uint32_t script_time(host::Engine& engine);
uint32_t held_script_time(const host::Engine& engine);
void set_time_factor(host::Engine& engine, double factor);

// Whether a wait deadline has been reached at script time now. A deadline more
// than 12 hours away from now counts as reached, so a clock jump cannot make
// a thread wait for ever.
bool deadline_reached(uint32_t now, int32_t deadline);

}  // namespace tavelo::script
