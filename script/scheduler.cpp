// The script clock, the machine reset and the script side of the cycle.

#include "script/scheduler.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "script/interpreter.h"
#include "script/machine.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

// Moves a thread's frames to their end handlers when the thread is asked to
// end; true when any frame moved.
bool run_end_handlers(Thread& thread) {
  bool moved = false;
  for (int depth = 0; depth <= thread.depth; ++depth) {
    Frame& frame = thread.frames[size_t(depth)];
    if (frame.end_handler) {
      frame.position = frame.end_handler;
      frame.end_handler = nullptr;
      frame.wait_deadline = 0;
      frame.wait_frame_stamp = 0;
      frame.waiting = false;
      moved = true;
    } else {
      frame.position = nullptr;
    }
  }
  return moved;
}

// Ending threads: end handlers, restarts and frees (the end-state machine's
// main-loop side).
void process_ending_threads(Machine& machine) {
  bool any = false;
  for (const std::unique_ptr<Thread>& thread : machine.threads) {
    if (thread->end_state != EndState::Running) any = true;
    else if (thread->has_parent) {
      Thread* parent = find_thread(machine, thread->parent_id);
      if (!parent || parent->end_state != EndState::Running) any = true;
    }
  }
  if (!any) return;

  bool main_thread_ending = false;
  std::vector<Thread*> snapshot;
  for (const std::unique_ptr<Thread>& thread : machine.threads) snapshot.push_back(thread.get());
  for (Thread* thread : snapshot) {
    if (!thread_exists(machine, thread)) continue;
    // A child ends as soon as its parent is ending; the link is then cleared.
    if (thread->has_parent) {
      Thread* parent = find_thread(machine, thread->parent_id);
      if (!parent || parent->end_state != EndState::Running) {
        thread->has_parent = false;
        if (thread->end_state == EndState::Running) thread->end_state = EndState::EndRequested;
      }
    }
    switch (thread->end_state) {
      case EndState::Free:
        if (thread->id == 0) main_thread_ending = true;
        free_thread(machine, thread);
        break;
      case EndState::EndRequested:
      case EndState::ReadyToRestart: {
        if (thread->id == 0) main_thread_ending = true;
        bool moved = thread->end_state == EndState::EndRequested && run_end_handlers(*thread);
        if (moved) {
          thread->end_state = EndState::EndHandlersRunning;
        } else if (thread->restart_position) {
          restart_thread_at(machine, *thread, thread->restart_code, thread->restart_position);
          thread->end_state = EndState::Restarted;
        } else {
          free_thread(machine, thread);
        }
        break;
      }
      default: break;
    }
  }
  if (main_thread_ending) {
    for (const std::unique_ptr<Thread>& thread : machine.threads) {
      if (thread->end_state == EndState::Running) thread->end_state = EndState::EndRequested;
    }
  }
}

uint32_t allowance_until_deadlines(const Machine& machine, uint32_t limit, bool input_wakes) {
  int64_t allowance = limit;
  for (const std::unique_ptr<Thread>& thread : machine.threads) {
    const Frame& frame = thread->frame();
    int32_t deadline = frame.wait_deadline;
    if (deadline == 0) return 0;
    if (deadline == kNoDeadline) continue;
    if (input_wakes && frame.waiting && deadline == thread->input_deadline) continue;
    int64_t remaining = int64_t(uint32_t(deadline)) - int64_t(machine.clock.held);
    allowance = std::min(allowance, std::max<int64_t>(remaining, 0));
  }
  return uint32_t(allowance);
}

}  // namespace

uint32_t sleep_allowance(const Machine& machine, uint32_t limit) {
  return allowance_until_deadlines(machine, limit, false);
}

uint32_t rest_allowance(const Machine& machine, uint32_t limit) {
  const SkipState& skip = machine.skip;
  bool input_wakes =
      !(skip.skip_all || skip.read_skip || keyboard_skip_on(machine) || skip.automatic || skip.fast_forward);
  return allowance_until_deadlines(machine, limit, input_wakes);
}

uint32_t script_time(Machine& machine) {
  const ScriptClock& clock = machine.clock;
  uint32_t real = machine.platform.ticks_ms();
  if (clock.base == 0) return real + clock.offset;
  double scaled = double(real - clock.base) * clock.factor;
  return clock.base + uint32_t(int64_t(scaled)) + clock.offset;
}

uint32_t held_script_time(const Machine& machine) { return machine.clock.held; }

void set_time_factor(Machine& machine, double factor) {
  ScriptClock& clock = machine.clock;
  uint32_t real = machine.platform.ticks_ms();
  if (factor == 1.0) {
    // Script time goes on from where it is, without a jump.
    clock.offset = clock.held - real;
    clock.base = 0;
  } else {
    clock.base = real == 0 ? 1 : real;
  }
  clock.factor = factor;
}

void reset_machine(Machine& machine) {
  machine.clock.factor = 1.0;
  machine.clock.base = 0;
  machine.clock.offset = 0;
  machine.fast_mode = false;
  SkipState& skip = machine.skip;
  skip.skip_all = skip.read_skip = skip.automatic = skip.fast_forward = false;
  skip.current_line_read = false;
  skip.suspension = 0;
  skip.always_read.clear();
  free_all_threads(machine);
  machine.current = create_thread(machine, 0);
  machine.clock.held = script_time(machine);
}

void begin_cycle(Machine& machine) {
  uint32_t now = script_time(machine);
  if (!machine.fast_mode) {
    machine.clock.held = now;
  } else if (std::llabs(int64_t(now) - int64_t(machine.clock.held)) > 500) {
    // Fast mode holds the clock still; half a second of real time ends it.
    machine.fast_mode = false;
  }
}

RoundEnd run_threads(Machine& machine) {
  if (machine.stopping()) return RoundEnd::Stopping;
  if (machine.threads.empty()) return RoundEnd::Restart;
  // A snapshot, because a slice may create and free threads.
  std::vector<Thread*> snapshot;
  snapshot.reserve(machine.threads.size());
  for (const std::unique_ptr<Thread>& thread : machine.threads) snapshot.push_back(thread.get());
  for (Thread* thread : snapshot) {
    if (!thread_exists(machine, thread)) continue;
    run_slice(machine, *thread);
    if (machine.stopping()) return RoundEnd::Stopping;
    if (thread_exists(machine, thread) && thread->end_state == EndState::Free) {
      bool main_thread = thread->id == 0;
      free_thread(machine, thread);
      if (main_thread) machine.slice_state = kSliceRestart;
    }
    if (machine.slice_state == kSliceGameLoaded) return RoundEnd::GameLoaded;
    if (machine.slice_state == kSliceRestart) return RoundEnd::Restart;
  }
  process_ending_threads(machine);
  return RoundEnd::Continue;
}

}  // namespace tavelo::script
