#pragma once
// What every waiting system call shares. A wait is a call that returns Again
// until its condition holds: the first run marks the frame waiting and sets a
// deadline (script time) that tells the loop how long it may sleep; later runs
// test the condition and either finish the wait or poll again.

#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "script/syscall.h"

namespace tavelo::script {

// A deadline value that is never read as "none" (0) or "no deadline" (-1).
int32_t as_deadline(int64_t time);

// Finishes a wait: clears the frame's wait state, ends fast mode and gives
// the result.
CallStatus finish_wait(CallArgs& args, int32_t result);

// Polls again in 1 ms: the deadline moves on to the held script time + 1.
CallStatus poll_again(CallArgs& args);
// poll_again for a wait that only the player's input ends (a click, a key):
// a window that wakes on input need not wake for it (rest_allowance).
CallStatus poll_for_input(CallArgs& args);

// Clears the frame's wait state without giving a result.
void end_wait(CallArgs& args);

// A dialog as a wait: the first run opens it, every run polls it. nullopt
// while it is open (the call then returns poll_again(args)); the outcome once
// it has closed, with the wait ended.
std::optional<platform::DialogOutcome> run_dialog(CallArgs& args, const platform::DialogRequest& request);
// Whether run_dialog has the call's dialog open already: a call whose request
// is costly to build builds it only when this is false.
bool dialog_is_open(const CallArgs& args);

}  // namespace tavelo::script
