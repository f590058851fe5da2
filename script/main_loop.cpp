// The main loop, the script clock and the machine reset.

#include <algorithm>
#include <vector>

#include "graphics/frame_pacer.h"
#include "host/engine.h"
#include "host/input.h"
#include "platform/platform.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/machine.h"
#include "script/read_mark_file.h"
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
void process_ending_threads(host::Engine& engine) {
  State& state = engine.script;
  bool any = false;
  for (const std::unique_ptr<Thread>& thread : state.threads) {
    if (thread->end_state != EndState::Running) any = true;
    else if (thread->has_parent) {
      Thread* parent = find_thread(engine, thread->parent_id);
      if (!parent || parent->end_state != EndState::Running) any = true;
    }
  }
  if (!any) return;

  bool main_thread_ending = false;
  std::vector<Thread*> snapshot;
  for (const std::unique_ptr<Thread>& thread : state.threads) snapshot.push_back(thread.get());
  for (Thread* thread : snapshot) {
    if (!thread_exists(engine, thread)) continue;
    // A child ends as soon as its parent is ending; the link is then cleared.
    if (thread->has_parent) {
      Thread* parent = find_thread(engine, thread->parent_id);
      if (!parent || parent->end_state != EndState::Running) {
        thread->has_parent = false;
        if (thread->end_state == EndState::Running) thread->end_state = EndState::EndRequested;
      }
    }
    switch (thread->end_state) {
      case EndState::Free:
        if (thread->id == 0) main_thread_ending = true;
        free_thread(engine, thread);
        break;
      case EndState::EndRequested:
      case EndState::ReadyToRestart: {
        if (thread->id == 0) main_thread_ending = true;
        bool moved = thread->end_state == EndState::EndRequested && run_end_handlers(*thread);
        if (moved) {
          thread->end_state = EndState::EndHandlersRunning;
        } else if (thread->restart_position) {
          restart_thread_at(engine, *thread, thread->restart_code, thread->restart_position);
          thread->end_state = EndState::Restarted;
        } else {
          free_thread(engine, thread);
        }
        break;
      }
      default: break;
    }
  }
  if (main_thread_ending) {
    for (const std::unique_ptr<Thread>& thread : state.threads) {
      if (thread->end_state == EndState::Running) thread->end_state = EndState::EndRequested;
    }
  }
}

// Clicks become jumps to the handler targets that lie ahead of each frame.
void process_clicks(host::Engine& engine) {
  State& state = engine.script;
  host::InputState& input = engine.host.input;
  uint32_t now = state.clock.held;
  bool left = host::take_click(input.left, now);
  bool right = host::take_click(input.right, now);
  bool middle = host::take_click(input.middle, now);
  bool skipping = !left && !right && !middle && is_skipping(engine);
  if (!left && !right && !middle && !skipping) return;
  for (const std::unique_ptr<Thread>& thread : state.threads) {
    thread->pending_left |= left;
    thread->pending_right |= right;
    thread->pending_middle |= middle;
    for (int depth = 0; depth <= thread->depth; ++depth) {
      Frame& frame = thread->frames[size_t(depth)];
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

// The time the threads allow the loop to sleep: 0 when a thread has no wait
// deadline, else the nearest deadline, at most 1 ms.
uint32_t sleep_allowance(host::Engine& engine) {
  State& state = engine.script;
  int64_t allowance = 1;
  for (const std::unique_ptr<Thread>& thread : state.threads) {
    int32_t deadline = thread->frame().wait_deadline;
    if (deadline == 0) return 0;
    if (deadline == kNoDeadline) continue;
    int64_t remaining = int64_t(uint32_t(deadline)) - int64_t(state.clock.held);
    allowance = std::min(allowance, std::max<int64_t>(remaining, 0));
  }
  return uint32_t(allowance);
}

void run_frame(host::Engine& engine) {
  State& state = engine.script;
  if (state.skip_divisor < 0) state.skip_divisor = 0;
  bool present = !state.skip.fast_forward;
  if (present && state.skip_divisor > 0 && state.skip.suspension == 0 && is_skipping(engine)) {
    present = state.frame_counter % uint32_t(state.skip_divisor) == 0;
  }
  if (present) graphics::run_frame_cycle(engine);
  ++state.frame_counter;
  engine.platform.pump_events();
}

}  // namespace

uint32_t script_time(host::Engine& engine) {
  const ScriptClock& clock = engine.script.clock;
  uint32_t real = engine.platform.ticks_ms();
  if (clock.base == 0) return real + clock.offset;
  double scaled = double(real - clock.base) * clock.factor;
  return clock.base + uint32_t(int64_t(scaled)) + clock.offset;
}

uint32_t held_script_time(const host::Engine& engine) { return engine.script.clock.held; }

void set_time_factor(host::Engine& engine, double factor) {
  ScriptClock& clock = engine.script.clock;
  uint32_t real = engine.platform.ticks_ms();
  if (factor == 1.0) {
    // Script time goes on from where it is, without a jump.
    clock.offset = clock.held - real;
    clock.base = 0;
  } else {
    clock.base = real == 0 ? 1 : real;
  }
  clock.factor = factor;
}

void reset_machine(host::Engine& engine) {
  State& state = engine.script;
  state.clock.factor = 1.0;
  state.clock.base = 0;
  state.clock.offset = 0;
  state.fast_mode = false;
  state.return_to_title = false;
  SkipState& skip = state.skip;
  skip.skip_all = skip.read_skip = skip.automatic = skip.fast_forward = false;
  skip.current_line_read = false;
  skip.suspension = 0;
  skip.always_read.clear();
  load_read_marks(engine);  // only the first reset reads the file
  free_all_threads(engine);
  state.current = create_thread(engine, 0);
  state.clock.held = script_time(engine);
}

int run_scripts(host::Engine& engine) {
  State& state = engine.script;
  std::vector<Thread*> snapshot;
  for (;;) {
    if (engine.stopping()) return 0;
    uint32_t now = script_time(engine);
    if (!state.fast_mode) {
      state.clock.held = now;
    } else if (std::llabs(int64_t(now) - int64_t(state.clock.held)) > 500) {
      state.fast_mode = false;
    }
    if (engine.host.quit_at && int64_t(state.clock.held) - int64_t(*engine.host.quit_at) >= 0) {
      host::request_exit(engine, 0);
      return 0;
    }

    if (state.threads.empty()) return 5;
    snapshot.clear();
    for (const std::unique_ptr<Thread>& thread : state.threads) snapshot.push_back(thread.get());
    for (Thread* thread : snapshot) {
      if (!thread_exists(engine, thread)) continue;
      run_slice(engine, *thread);
      if (engine.stopping()) return 0;
      if (thread_exists(engine, thread) && thread->end_state == EndState::Free) {
        bool main_thread = thread->id == 0;
        free_thread(engine, thread);
        if (main_thread) state.slice_state = kSliceRestart;
      }
      if (state.slice_state == kSliceGameLoaded || state.slice_state == kSliceRestart) return state.slice_state;
    }

    process_ending_threads(engine);

    if (!state.fast_mode && graphics::frame_due(engine.graphics.pacer, engine.platform.ticks_ms())) {
      run_frame(engine);
      if (state.display_lock == 0 && state.return_to_title) {
        state.return_to_title = false;
        return 5;
      }
    }

    process_clicks(engine);

    if (!state.fast_mode) {
      uint32_t allowance = sleep_allowance(engine);
      if (allowance > 0) engine.platform.sleep_ms(allowance);
    }
  }
}

}  // namespace tavelo::script
