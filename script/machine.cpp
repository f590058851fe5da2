// Threads, calls, returns and events of the script machine.

#include "script/machine.h"

#include <algorithm>

#include "resources/name_hash.h"
#include "script/error_report.h"
#include "script/loader.h"
#include "script/message_box.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

constexpr uint32_t kLastAutomaticId = 0xFFFFFFFDu;  // -3

int32_t next_automatic_id(Machine& machine) {
  if (!machine.thread_ids_started) {
    machine.thread_ids_started = true;
    machine.next_thread_id = uint32_t(next_random(machine.random) % 16386) * 65536u;
    if (machine.next_thread_id == 0) machine.next_thread_id = 1;
  }
  for (;;) {
    uint32_t id = machine.next_thread_id++;
    if (id == kLastAutomaticId) {
      // -2, -1 and 0 are never handed out: 0 is the main thread and -1 means
      // "the current thread" in system calls.
      machine.next_thread_id = 1;
      machine.thread_ids_wrapped = true;
    }
    if (machine.thread_ids_wrapped && find_thread(machine, int32_t(id))) continue;
    return int32_t(id);
  }
}

void remove_registrations_of(Machine& machine, int32_t thread_id) {
  if (machine.events_locked) return;
  std::erase_if(machine.events, [thread_id](const EventRegistration& registration) {
    return registration.thread_id == thread_id && !registration.suspended;
  });
}

// Delivers one event to a thread: a call to the handler inserted above
// whatever the thread was doing, with copies of the values.
void deliver_event(Machine& machine, Thread& target, const EventRegistration& registration,
                   const std::vector<Value>& values) {
  Thread* previous = make_current(machine, &target);
  target.frame().discard_result = true;
  if (push_frame(machine, target)) {
    for (const Value& value : values) {
      retain_value(value);
      push_value(target, value);
    }
    push_value(target, make_int(int32_t(values.size())));
    Frame& frame = target.frame();
    frame.base = target.sp;
    frame.position = registration.handler;
    frame.code = registration.code;
  }
  make_current(machine, previous);
}

void raise(Machine& machine, uint32_t key, int count, bool keep_result, const int32_t* only_thread) {
  Thread& raiser = *machine.current;
  count = std::clamp(count, 0, raiser.sp - 1);
  std::vector<Value> values(raiser.stack() + raiser.sp - count, raiser.stack() + raiser.sp);
  raiser.sp -= count;  // the references move into values
  if (keep_result) push_value(raiser, make_int(0));

  // Registrations may be added or removed by nothing below (delivery only
  // pushes frames), so a snapshot of the matching entries is enough.
  std::vector<EventRegistration> targets;
  if (only_thread) {
    for (auto it = machine.events.rbegin(); it != machine.events.rend(); ++it) {
      if (it->key == key && it->thread_id == *only_thread) targets.push_back(*it);
    }
  } else {
    for (const EventRegistration& registration : machine.events) {
      if (registration.key == key) targets.push_back(registration);
    }
  }
  bool stale = false;
  for (const EventRegistration& registration : targets) {
    Thread* target = find_thread(machine, registration.thread_id);
    if (!target || target->end_state == EndState::Free) {
      stale = true;
      continue;
    }
    deliver_event(machine, *target, registration, values);
    if (machine.stopping()) break;
  }
  if (stale && !machine.events_locked) {
    std::erase_if(machine.events, [&machine, key](const EventRegistration& registration) {
      return registration.key == key && !registration.suspended && !find_thread(machine, registration.thread_id);
    });
  }
  for (Value& value : values) release_value(value);
}

}  // namespace

Thread* create_thread(Machine& machine, int32_t id) {
  if (id == -1) id = next_automatic_id(machine);
  std::unique_ptr<Thread> thread = new_thread(id);
  Thread* raw = thread.get();
  machine.threads.insert(machine.threads.begin(), std::move(thread));
  return raw;
}

Thread* find_thread(Machine& machine, int32_t id) {
  for (const std::unique_ptr<Thread>& thread : machine.threads) {
    if (thread->id == id) return thread.get();
  }
  return nullptr;
}

bool thread_exists(const Machine& machine, const Thread* thread) {
  for (const std::unique_ptr<Thread>& candidate : machine.threads) {
    if (candidate.get() == thread) return true;
  }
  return false;
}

Thread* make_current(Machine& machine, Thread* thread) {
  Thread* previous = machine.current;
  machine.current = thread;
  return previous;
}

void reset_thread(Machine& machine, Thread& thread) {
  clear_thread(thread);
  remove_registrations_of(machine, thread.id);
}

void free_thread(Machine& machine, Thread* thread) {
  if (machine.hooks.thread_freed) machine.hooks.thread_freed(machine.engine, thread->id);
  reset_thread(machine, *thread);
  thread->store.release_all();
  if (machine.current == thread) machine.current = nullptr;
  std::erase_if(machine.threads, [thread](const std::unique_ptr<Thread>& candidate) { return candidate.get() == thread; });
}

void free_all_threads(Machine& machine) {
  while (!machine.threads.empty()) free_thread(machine, machine.threads.front().get());
}

void end_all_threads(Machine& machine) {
  for (const std::unique_ptr<Thread>& thread : machine.threads) {
    if (thread->end_state == EndState::Running) thread->end_state = EndState::EndRequested;
  }
  machine.slice_state = kSliceThreadEnded;
}

void report_stack_overflow(Machine& machine, Overflow overflow) {
  // Whichever button is chosen, the engine ends: the script has recursed or
  // pushed beyond repair.
  show_box(machine, BoxKind::FatalRetry,
           overflow == Overflow::Calls ? "スタックオーバーフロー : ネストが深すぎます"
                                       : "スタックオーバーフロー : スタックに積まれた値が多すぎます",
           {});
  request_exit(machine, 255);
  machine.slice_state = kSliceYield;
}

bool push_frame(Machine& machine, Thread& thread) {
  if (thread.depth + 1 >= kMaxFrames) {
    report_stack_overflow(machine, Overflow::Calls);
    return false;
  }
  Frame& caller = thread.frame();
  caller.top = thread.sp;
  Frame& frame = thread.frames[size_t(++thread.depth)];
  frame = Frame{};
  frame.position = caller.position;
  frame.code = caller.code;
  frame.line = caller.line;
  frame.top = thread.sp;
  frame.base = thread.sp;
  return true;
}

const uint8_t* resolve_function(Machine& machine, uint32_t hash, const CodeBlock** code) {
  Thread* current = machine.current;
  const CodeBlock* current_code = current ? current->frame().code : nullptr;
  for (;;) {
    const uint8_t* position = find_function(machine, hash, current_code);
    if (position) {
      if (code) *code = code_block_at(machine, position);
      return position;
    }
    // The report cannot be suppressed: a missing function is a broken game.
    machine.debug_mode = true;
    report_script_error(machine,
                        "関数 [%08X] がメモリ上に発見できませんでした。\n関数が存在する場合には、$load_libraryを忘れていませんか？\n"
                        "グループ指定(@～～)は正しく行われていますか？",
                        {hash});
    if (machine.stopping()) return nullptr;
  }
}

bool call_position(Machine& machine, Thread& thread, const CodeBlock* code, const uint8_t* position, int argc,
                   bool discard) {
  if (thread.depth + 1 >= kMaxFrames) {
    // The argument count is pushed before the report, as a call pushes it
    // before its frame.
    thread.frame().discard_result = discard;
    push_value(thread, make_int(argc));
    return push_frame(machine, thread);
  }
  ensure_stack(thread, 1);
  enter_call(thread, thread.frame(), thread.stack(), thread.sp, code, position, argc, discard);
  ++thread.sp;
  return true;
}

bool call_function_by_hash(Machine& machine, uint32_t hash, int argc) {
  Thread* thread = machine.current;
  if (!thread) return false;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(machine, hash, &code);
  if (!position) return false;
  return call_position(machine, *thread, code, position, argc, false);
}

void finish_control_call(Machine& machine, int32_t first, bool discard) {
  Thread& thread = *machine.current;
  if (first < 1) first = 1;
  if (thread.sp <= first) {
    if (!discard) push_value(thread, make_int(0));
    return;
  }
  if (discard) {
    release_stack_above(thread, first);
    return;
  }
  Value result = thread.slot(thread.sp - 1);
  --thread.sp;
  release_stack_above(thread, first);
  push_value(thread, result);
}

void execute_return(Machine& machine, Thread& thread) {
  for (;;) {
    Frame& frame = thread.frame();
    if (frame.end_handler) {
      frame.position = frame.end_handler;
      frame.end_handler = nullptr;
      return;
    }
    if (thread.depth == 0) {
      switch (thread.end_state) {
        case EndState::Running: thread.end_state = EndState::EndRequested; break;
        case EndState::EndHandlersRunning: thread.end_state = EndState::ReadyToRestart; break;
        case EndState::Restarted: thread.end_state = EndState::Free; break;
        default: break;
      }
      // In states 1 and 3 the return runs again once the main loop has acted.
      if ((thread.end_state == EndState::EndRequested || thread.end_state == EndState::ReadyToRestart) &&
          frame.position) {
        frame.position -= 2;
      }
      machine.slice_state = kSliceThreadEnded;
      return;
    }
    int32_t callee_top = thread.sp;
    --thread.depth;
    Frame& caller = thread.frame();
    int32_t saved_top = std::max(caller.top, 1);
    if (callee_top <= saved_top) {
      // Nothing above the caller's part: a malformed function popped too much.
      thread.sp = std::min(thread.sp, saved_top);
      if (!caller.discard_result) push_value(thread, make_int(0));
    } else if (caller.discard_result) {
      release_stack_above(thread, saved_top);
    } else {
      Value result = thread.slot(callee_top - 1);
      thread.sp = callee_top - 1;
      release_stack_above(thread, saved_top);
      thread.slot(thread.sp++) = result;
    }
    if (caller.position) return;
  }
}

void restart_thread_at(Machine& machine, Thread& thread, const CodeBlock* code, const uint8_t* position) {
  reset_thread(machine, thread);
  Frame& frame = thread.frame();
  frame.position = position;
  frame.code = code;
}

void raise_event(Machine& machine, uint32_t key, int count, bool keep_result) {
  raise(machine, key, count, keep_result, nullptr);
}

void raise_event_to(Machine& machine, uint32_t key, int32_t thread_id, int count, bool keep_result) {
  if (thread_id == -1 && machine.current) thread_id = machine.current->id;
  raise(machine, key, count, keep_result, &thread_id);
}

}  // namespace tavelo::script

namespace tavelo::script {

bool load_and_enter(Machine& machine, std::string_view name) {
  LoadedScript* script = load_script(machine, name);
  if (!script) return false;
  Thread* thread = machine.current;
  if (!thread) return false;
  reset_thread(machine, *thread);
  if (script->entry_offset < 0) {
    report_script_error(machine, "[%s]実行関数が設定されていません。", {name});
    // No place to start: the thread ends.
    thread->end_state = EndState::Free;
    return false;
  }
  Frame& frame = thread->frame();
  frame.code = script->code.get();
  frame.position = script->code->begin() + script->entry_offset;
  return true;
}

}  // namespace tavelo::script
