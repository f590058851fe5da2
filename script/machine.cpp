// Threads, calls, returns and events of the script machine.

#include "script/machine.h"

#include <algorithm>

#include "host/engine.h"
#include "host/message_box.h"
#include "resources/name_hash.h"
#include "script/error_report.h"
#include "script/loader.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

constexpr uint32_t kLastAutomaticId = 0xFFFFFFFDu;  // -3

int32_t next_automatic_id(host::Engine& engine) {
  State& state = engine.script;
  if (!state.thread_ids_started) {
    state.thread_ids_started = true;
    state.next_thread_id = uint32_t(next_random(state.random) % 16386) * 65536u;
    if (state.next_thread_id == 0) state.next_thread_id = 1;
  }
  for (;;) {
    uint32_t id = state.next_thread_id++;
    if (id == kLastAutomaticId) {
      // -2, -1 and 0 are never handed out: 0 is the main thread and -1 means
      // "the current thread" in system calls.
      state.next_thread_id = 1;
      state.thread_ids_wrapped = true;
    }
    if (state.thread_ids_wrapped && find_thread(engine, int32_t(id))) continue;
    return int32_t(id);
  }
}

void remove_registrations_of(State& state, int32_t thread_id) {
  if (state.events_locked) return;
  std::erase_if(state.events, [thread_id](const EventRegistration& registration) {
    return registration.thread_id == thread_id && !registration.suspended;
  });
}

// Delivers one event to a thread: a call to the handler inserted above
// whatever the thread was doing, with copies of the values.
void deliver_event(host::Engine& engine, Thread& target, const EventRegistration& registration,
                   const std::vector<Value>& values) {
  Thread* previous = make_current(engine, &target);
  target.frame().discard_result = true;
  if (push_frame(engine, target)) {
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
  make_current(engine, previous);
}

void raise(host::Engine& engine, uint32_t key, int count, bool keep_result, const int32_t* only_thread) {
  State& state = engine.script;
  Thread& raiser = *state.current;
  count = std::clamp(count, 0, raiser.sp - 1);
  std::vector<Value> values(raiser.stack() + raiser.sp - count, raiser.stack() + raiser.sp);
  raiser.sp -= count;  // the references move into values
  if (keep_result) push_value(raiser, make_int(0));

  // Registrations may be added or removed by nothing below (delivery only
  // pushes frames), so a snapshot of the matching entries is enough.
  std::vector<EventRegistration> targets;
  if (only_thread) {
    for (auto it = state.events.rbegin(); it != state.events.rend(); ++it) {
      if (it->key == key && it->thread_id == *only_thread) targets.push_back(*it);
    }
  } else {
    for (const EventRegistration& registration : state.events) {
      if (registration.key == key) targets.push_back(registration);
    }
  }
  bool stale = false;
  for (const EventRegistration& registration : targets) {
    Thread* target = find_thread(engine, registration.thread_id);
    if (!target || target->end_state == EndState::Free) {
      stale = true;
      continue;
    }
    deliver_event(engine, *target, registration, values);
    if (engine.stopping()) break;
  }
  if (stale && !state.events_locked) {
    std::erase_if(state.events, [&engine, key](const EventRegistration& registration) {
      return registration.key == key && !registration.suspended && !find_thread(engine, registration.thread_id);
    });
  }
  for (Value& value : values) release_value(value);
}

}  // namespace

Thread* create_thread(host::Engine& engine, int32_t id) {
  if (id == -1) id = next_automatic_id(engine);
  std::unique_ptr<Thread> thread = new_thread(id);
  Thread* raw = thread.get();
  engine.script.threads.insert(engine.script.threads.begin(), std::move(thread));
  return raw;
}

Thread* find_thread(host::Engine& engine, int32_t id) {
  for (const std::unique_ptr<Thread>& thread : engine.script.threads) {
    if (thread->id == id) return thread.get();
  }
  return nullptr;
}

bool thread_exists(const host::Engine& engine, const Thread* thread) {
  for (const std::unique_ptr<Thread>& candidate : engine.script.threads) {
    if (candidate.get() == thread) return true;
  }
  return false;
}

Thread* make_current(host::Engine& engine, Thread* thread) {
  Thread* previous = engine.script.current;
  engine.script.current = thread;
  return previous;
}

void reset_thread(host::Engine& engine, Thread& thread) {
  clear_thread(thread);
  remove_registrations_of(engine.script, thread.id);
}

void free_thread(host::Engine& engine, Thread* thread) {
  State& state = engine.script;
  reset_thread(engine, *thread);
  thread->store.release_all();
  if (state.current == thread) state.current = nullptr;
  std::erase_if(state.threads, [thread](const std::unique_ptr<Thread>& candidate) { return candidate.get() == thread; });
}

void free_all_threads(host::Engine& engine) {
  while (!engine.script.threads.empty()) free_thread(engine, engine.script.threads.front().get());
}

void end_all_threads(host::Engine& engine) {
  for (const std::unique_ptr<Thread>& thread : engine.script.threads) {
    if (thread->end_state == EndState::Running) thread->end_state = EndState::EndRequested;
  }
  engine.script.slice_state = kSliceThreadEnded;
}

bool push_frame(host::Engine& engine, Thread& thread) {
  if (thread.depth + 1 >= kMaxFrames) {
    // Whichever button is chosen, the engine ends: the script has recursed
    // beyond repair.
    host::show_box(engine, host::BoxKind::FatalRetry, "スタックオーバーフロー : ネストが深すぎます", {});
    host::request_exit(engine, 255);
    engine.script.slice_state = kSliceYield;
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

const uint8_t* resolve_function(host::Engine& engine, uint32_t hash, const CodeBlock** code) {
  Thread* current = engine.script.current;
  const CodeBlock* current_code = current ? current->frame().code : nullptr;
  for (;;) {
    const uint8_t* position = find_function(engine, hash, current_code);
    if (position) {
      if (code) *code = code_block_at(engine, position);
      return position;
    }
    // The report cannot be suppressed: a missing function is a broken game.
    engine.host.debug_mode = true;
    report_script_error(engine,
                        "関数 [%08X] がメモリ上に発見できませんでした。\n関数が存在する場合には、$load_libraryを忘れていませんか？\n"
                        "グループ指定(@～～)は正しく行われていますか？",
                        {hash});
    if (engine.stopping()) return nullptr;
  }
}

bool call_position(host::Engine& engine, Thread& thread, const CodeBlock* code, const uint8_t* position, int argc,
                   bool discard) {
  if (thread.depth + 1 >= kMaxFrames) {
    // The argument count is pushed before the report, as a call pushes it
    // before its frame.
    thread.frame().discard_result = discard;
    push_value(thread, make_int(argc));
    return push_frame(engine, thread);
  }
  enter_call(thread, thread.frame(), code, position, argc, discard);
  return true;
}

bool call_function_by_hash(host::Engine& engine, uint32_t hash, int argc) {
  Thread* thread = engine.script.current;
  if (!thread) return false;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(engine, hash, &code);
  if (!position) return false;
  return call_position(engine, *thread, code, position, argc, false);
}

void finish_control_call(host::Engine& engine, int32_t first, bool discard) {
  Thread& thread = *engine.script.current;
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

void execute_return(host::Engine& engine, Thread& thread) {
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
      engine.script.slice_state = kSliceThreadEnded;
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

void restart_thread_at(host::Engine& engine, Thread& thread, const CodeBlock* code, const uint8_t* position) {
  reset_thread(engine, thread);
  Frame& frame = thread.frame();
  frame.position = position;
  frame.code = code;
}

void raise_event(host::Engine& engine, uint32_t key, int count, bool keep_result) {
  raise(engine, key, count, keep_result, nullptr);
}

void raise_event_to(host::Engine& engine, uint32_t key, int32_t thread_id, int count, bool keep_result) {
  if (thread_id == -1 && engine.script.current) thread_id = engine.script.current->id;
  raise(engine, key, count, keep_result, &thread_id);
}

}  // namespace tavelo::script

namespace tavelo::script {

bool load_and_enter(host::Engine& engine, std::string_view name) {
  LoadedScript* script = load_script(engine, name);
  if (!script) return false;
  Thread* thread = engine.script.current;
  if (!thread) return false;
  reset_thread(engine, *thread);
  if (script->entry_offset < 0) {
    report_script_error(engine, "[%s]実行関数が設定されていません。", {name});
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
