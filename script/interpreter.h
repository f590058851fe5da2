#pragma once
// The interpreter: runs slices of script threads over the code blocks of
// loaded scripts (docs/interpreter.md explains the decoded forms and the
// dispatch). The scheduler (scheduler.h) gives every thread its slice.

#include <cstdint>

namespace tavelo::script {

struct Machine;
struct Thread;

// Runs instructions of the thread (made current) until the slice state is non-zero.
void run_slice(Machine& machine, Thread& thread);

// Whether a wait deadline has been reached at script time now. A deadline more
// than 12 hours away from now counts as reached, so a clock jump cannot make
// a thread wait for ever.
bool deadline_reached(uint32_t now, int32_t deadline);

}  // namespace tavelo::script
