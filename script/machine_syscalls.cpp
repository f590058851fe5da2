// System calls of the script machine: waits, threads, events, script control.

#include <array>
#include <cstdlib>

#include "graphics/state.h"
#include "host/engine.h"
#include "resources/name_hash.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/loader.h"
#include "script/machine.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/syscalls.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

uint32_t now(host::Engine& engine) { return engine.script.clock.held; }

// Finishes a wait: clears the frame's wait state and gives the result.
CallStatus finish_wait(host::Engine& engine, CallArgs& args, int32_t result) {
  Frame& frame = args.thread.frame();
  frame.wait_deadline = 0;
  frame.waiting = false;
  engine.script.fast_mode = false;
  args.return_int(result);
  return CallStatus::Done;
}

// A deadline value that is never read as "none" (0) or "no deadline" (-1).
int32_t as_deadline(int64_t time) {
  int32_t deadline = int32_t(uint32_t(time));
  if (deadline == 0 || deadline == kNoDeadline) deadline = 1;
  return deadline;
}

CallStatus sys_wait(host::Engine& engine, CallArgs& args) {
  Frame& frame = args.thread.frame();
  uint32_t time = now(engine);
  if (!frame.waiting) {
    frame.waiting = true;
    int32_t ms = args.int_at(1);
    if (ms > 0) {
      frame.wait_deadline = as_deadline(int64_t(time) + ms);
    } else if (ms == 0) {
      frame.wait_deadline = as_deadline(time);
      if (engine.script.no_update_on_wait0) engine.script.fast_mode = true;
    } else if (ms == -2) {
      frame.wait_deadline = as_deadline(int64_t(time) - 10);
      engine.script.fast_mode = true;
    } else {
      frame.wait_deadline = kNoDeadline;
    }
    return CallStatus::Again;
  }
  if (args.thread.id == 0 && args.thread.end_state == EndState::Running && is_skipping(engine)) {
    return finish_wait(engine, args, 0);
  }
  bool done = frame.wait_deadline == kNoDeadline ? args.thread.end_state != EndState::Running
                                                 : deadline_reached(time, frame.wait_deadline);
  return done ? finish_wait(engine, args, 0) : CallStatus::Again;
}

// Polls every millisecond: the deadline moves on by 1 ms per slice.
CallStatus poll_again(host::Engine& engine, Frame& frame) {
  frame.wait_deadline = as_deadline(int64_t(now(engine)) + 1);
  return CallStatus::Again;
}

CallStatus sys_wait_click(host::Engine& engine, CallArgs& args) {
  Frame& frame = args.thread.frame();
  host::InputState& input = engine.host.input;
  Thread& thread = args.thread;
  if (!frame.waiting) {
    frame.waiting = true;
    // Earlier presses of the keys do not count.
    input.event33.happened = input.event34.happened = input.event147.happened = false;
  }
  int32_t bits = (thread.pending_left ? 1 : 0) | (thread.pending_right ? 2 : 0) | (thread.pending_middle ? 4 : 0) |
                 (input.event33.happened ? 8 : 0) | (input.event34.happened ? 16 : 0) |
                 (input.event147.happened ? 32 : 0);
  if (bits == 0) return poll_again(engine, frame);
  input.event33.happened = input.event34.happened = input.event147.happened = false;
  thread.pending_left = thread.pending_right = thread.pending_middle = false;
  return finish_wait(engine, args, bits);
}

CallStatus sys_wait_release(host::Engine& engine, CallArgs& args) {
  Frame& frame = args.thread.frame();
  host::InputState& input = engine.host.input;
  frame.waiting = true;
  if (input.left_held || input.right_held || input.middle_held || input.erase_held) return poll_again(engine, frame);
  args.thread.pending_left = args.thread.pending_right = args.thread.pending_middle = false;
  return finish_wait(engine, args, 0);
}

CallStatus sys_wait_from(host::Engine& engine, CallArgs& args) {
  Frame& frame = args.thread.frame();
  uint32_t time = now(engine);
  if (!frame.waiting) {
    frame.waiting = true;
    int64_t start = uint32_t(args.int_at(1));
    int64_t duration = args.int_at(2);
    int64_t distance = std::llabs(int64_t(time) - start);
    int64_t deadline = distance <= 10 * duration ? start + duration : int64_t(time) + duration;
    frame.wait_deadline = as_deadline(deadline);
    return CallStatus::Again;
  }
  if (!deadline_reached(time, frame.wait_deadline)) return CallStatus::Again;
  int64_t deadline = uint32_t(frame.wait_deadline);
  int64_t floor = int64_t(time) - 10;
  return finish_wait(engine, args, int32_t(deadline > floor ? deadline : floor));
}

CallStatus sys_wait_frame(host::Engine& engine, CallArgs& args) {
  Frame& frame = args.thread.frame();
  State& state = engine.script;
  if (!frame.waiting) {
    frame.waiting = true;
    frame.wait_deadline = as_deadline(int64_t(now(engine)) + 1);
    frame.wait_frame_stamp = state.frame_counter;
    if (!(args.has(1) && args.int_at(1) != 0)) engine.graphics.pacer.forced = true;
    return CallStatus::Again;
  }
  if (state.display_lock != 0) return finish_wait(engine, args, 0);
  if (deadline_reached(now(engine), frame.wait_deadline) && state.frame_counter != frame.wait_frame_stamp) {
    return finish_wait(engine, args, 0);
  }
  return poll_again(engine, frame);
}

CallStatus sys_set_time_factor(host::Engine& engine, CallArgs& args) {
  set_time_factor(engine, args.float_at(1));
  args.return_int(0);
  return CallStatus::Done;
}

// Thread creation: frame 0 at the function, the remaining arguments copied in
// stack order, then their count, with the base above them.
CallStatus create_thread_call(host::Engine& engine, CallArgs& args, bool child) {
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(engine, uint32_t(args.int_at(1)), &code);
  if (!position) return CallStatus::Done;
  Thread& creator = args.thread;
  Thread* thread = create_thread(engine, -1);
  int argc = args.count > 0 ? args.count - 1 : 0;
  for (int i = 0; i < argc; ++i) {
    Value value = creator.slot(args.first + i);
    retain_value(value);
    push_value(*thread, value);
  }
  push_value(*thread, make_int(argc));
  Frame& frame = thread->frame();
  frame.base = thread->sp;
  frame.position = position;
  frame.code = code;
  if (child) {
    thread->has_parent = true;
    thread->parent_id = creator.id;
  }
  args.return_int(thread->end_state == EndState::Running ? thread->id : 0);
  return CallStatus::Done;
}

CallStatus sys_create_thread(host::Engine& engine, CallArgs& args) { return create_thread_call(engine, args, false); }
CallStatus sys_create_child_thread(host::Engine& engine, CallArgs& args) { return create_thread_call(engine, args, true); }

CallStatus sys_end_thread(host::Engine& engine, CallArgs& args) {
  Thread* current = &args.thread;
  Thread* target = args.has(1) ? find_thread(engine, args.int_at(1)) : current;
  if (args.has(1) && args.int_at(1) == -1) target = current;
  if (target && target->id == 0) {
    report_script_error(engine, "thread(0)の終了には$system_end()を使用してください");
  } else if (target) {
    if (target == current) {
      // A second request on the running thread frees it at the end of the slice.
      target->end_state = target->end_state == EndState::Running ? EndState::EndRequested : EndState::Free;
      engine.script.slice_state = kSliceThreadEnded;
    } else if (target->end_state == EndState::Running) {
      target->end_state = EndState::EndRequested;
    }
  }
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_thread_exists(host::Engine& engine, CallArgs& args) {
  args.return_int(find_thread(engine, args.int_at(1)) ? 1 : 0);
  return CallStatus::Done;
}

CallStatus sys_set_restart(host::Engine& engine, CallArgs& args) {
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(engine, uint32_t(args.int_at(1)), &code);
  if (position) {
    args.thread.restart_position = position;
    args.thread.restart_code = code;
  }
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_end_all_threads(host::Engine& engine, CallArgs& args) {
  int32_t code = args.has(1) ? args.int_at(1) : 0;
  // A non-zero code lets the sound go on through the restart that follows.
  if (code != 0) engine.script.skip_next_audio_reset = true;
  if (code >= 0) end_all_threads(engine);
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_set_start_script(host::Engine& engine, CallArgs& args) {
  engine.script.next_start_script = std::string(args.text_at(1));
  end_all_threads(engine);
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_end_engine(host::Engine& engine, CallArgs& args) {
  args.return_int(0);
  host::request_exit(engine, 0);
  engine.script.slice_state = kSliceYield;
  return CallStatus::Done;
}

CallStatus register_event(host::Engine& engine, CallArgs& args, bool at_head) {
  uint32_t key = resources::name_hash(args.text_at(1));
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(engine, uint32_t(args.int_at(2)), &code);
  if (position) {
    EventRegistration registration{args.thread.id, false, key, position, code};
    auto& events = engine.script.events;
    if (at_head) events.insert(events.begin(), registration);
    else events.push_back(registration);
  }
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_register_event(host::Engine& engine, CallArgs& args) { return register_event(engine, args, false); }
CallStatus sys_register_event_first(host::Engine& engine, CallArgs& args) { return register_event(engine, args, true); }

CallStatus sys_unregister_event(host::Engine& engine, CallArgs& args) {
  uint32_t key = resources::name_hash(args.text_at(1));
  const uint8_t* position = resolve_function(engine, uint32_t(args.int_at(2)), nullptr);
  State& state = engine.script;
  if (position && !state.events_locked) {
    int32_t id = args.thread.id;
    std::erase_if(state.events, [&](const EventRegistration& registration) {
      return registration.thread_id == id && registration.key == key && registration.handler == position &&
             !registration.suspended;
    });
  }
  args.return_int(0);
  return CallStatus::Done;
}

// Control calls below take their fixed arguments off the stack themselves and
// leave the rest for the callee or the event handlers.
void drop_top_arguments(Thread& thread, int count) {
  for (int i = 0; i < count && thread.sp > 1; ++i) pop_value(thread);
}

CallStatus sys_raise_event(host::Engine& engine, CallArgs& args) {
  uint32_t key = resources::name_hash(args.text_at(1));
  int count = args.count > 0 ? args.count - 1 : 0;
  drop_top_arguments(args.thread, args.count > 0 ? 1 : 0);
  raise_event(engine, key, count, args.keep_result);
  return CallStatus::Done;
}

CallStatus sys_raise_event_to(host::Engine& engine, CallArgs& args) {
  uint32_t key = resources::name_hash(args.text_at(1));
  int32_t thread_id = args.int_at(2);
  int count = args.count > 2 ? args.count - 2 : 0;
  drop_top_arguments(args.thread, std::min(args.count, 2));
  raise_event_to(engine, key, thread_id, count, args.keep_result);
  return CallStatus::Done;
}

// Calls code as a function with the arguments left on the stack. When the
// target is missing, the call is finished with an int 0.
CallStatus call_with_remaining(host::Engine& engine, CallArgs& args, const CodeBlock* code, const uint8_t* position,
                               int fixed) {
  int argc = std::max(args.count - fixed, 0);
  drop_top_arguments(args.thread, std::min(args.count, fixed));
  if (!position) {
    finish_control_call(engine, args.first, !args.keep_result);
    return CallStatus::Done;
  }
  call_position(engine, args.thread, code, position, argc, !args.keep_result);
  return CallStatus::Done;
}

const uint8_t* entry_of(host::Engine& engine, std::string_view name, const CodeBlock** code) {
  LoadedScript* script = load_script(engine, name);
  if (!script) return nullptr;
  if (script->entry_offset < 0) {
    report_script_error(engine, "[%s]実行関数が設定されていません。", {name});
    return nullptr;
  }
  *code = script->code.get();
  return script->code->begin() + script->entry_offset;
}

CallStatus sys_call_script(host::Engine& engine, CallArgs& args) {
  std::string name(args.text_at(1));
  const CodeBlock* code = nullptr;
  const uint8_t* position = entry_of(engine, name, &code);
  return call_with_remaining(engine, args, code, position, 1);
}

CallStatus sys_call_script_function(host::Engine& engine, CallArgs& args) {
  std::string name(args.text_at(1));
  uint32_t hash = uint32_t(args.int_at(2));
  if (!load_script(engine, name)) return CallStatus::Done;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(engine, hash, &code);
  return call_with_remaining(engine, args, code, position, 2);
}

CallStatus sys_call_script_function_named(host::Engine& engine, CallArgs& args) {
  std::string name(args.text_at(1));
  uint32_t hash = resources::name_hash(args.text_at(2));
  if (!load_script(engine, name)) return CallStatus::Done;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(engine, hash, &code);
  return call_with_remaining(engine, args, code, position, 2);
}

// Jumps: the thread starts over at the target with the remaining arguments as
// its parameters, and the slice ends.
CallStatus jump_with_remaining(host::Engine& engine, CallArgs& args, const CodeBlock* code, const uint8_t* position,
                               int fixed) {
  Thread& thread = args.thread;
  if (!position) {
    finish_control_call(engine, args.first, !args.keep_result);
    return CallStatus::Done;
  }
  int argc = std::max(args.count - fixed, 0);
  std::vector<Value> values(thread.stack() + args.first, thread.stack() + args.first + argc);
  for (const Value& value : values) retain_value(value);
  reset_thread(engine, thread);
  for (const Value& value : values) push_value(thread, value);
  push_value(thread, make_int(argc));
  Frame& frame = thread.frame();
  frame.base = thread.sp;
  frame.position = position;
  frame.code = code;
  engine.script.slice_state = kSliceYield;
  return CallStatus::Done;
}

CallStatus sys_jump_script(host::Engine& engine, CallArgs& args) {
  std::string name(args.text_at(1));
  const CodeBlock* code = nullptr;
  const uint8_t* position = entry_of(engine, name, &code);
  return jump_with_remaining(engine, args, code, position, 1);
}

CallStatus sys_jump_function(host::Engine& engine, CallArgs& args) {
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(engine, uint32_t(args.int_at(1)), &code);
  return jump_with_remaining(engine, args, code, position, 1);
}

constexpr SyscallFlags kControl = SyscallFlags::Control;

constexpr std::array kMachineSyscalls = {
    SyscallEntry{0xCF35F0E3, "", sys_wait},
    SyscallEntry{0x008ACBC0, "", sys_wait_click},
    SyscallEntry{0x1204D7E8, "", sys_wait_release},
    SyscallEntry{0xFF75CD29, "", sys_wait_from},
    SyscallEntry{0x4662E95D, "", sys_wait_frame},
    SyscallEntry{0x806261CE, "", sys_set_time_factor},
    SyscallEntry{0xF2F9DAA8, "", sys_create_thread},
    SyscallEntry{0xAE497F1A, "", sys_create_child_thread},
    SyscallEntry{0x4EF903F3, "", sys_end_thread},
    SyscallEntry{0x9FB53FBE, "", sys_thread_exists},
    SyscallEntry{0x461EA516, "", sys_set_restart},
    SyscallEntry{0x3704C919, "", sys_end_all_threads},
    SyscallEntry{0x32530606, "", sys_set_start_script},
    SyscallEntry{0x8D8FB32E, "", sys_end_engine},
    SyscallEntry{0x078A756E, "", sys_register_event},
    SyscallEntry{0x1295BBDA, "", sys_register_event_first},
    SyscallEntry{0xA93C9856, "", sys_unregister_event},
    SyscallEntry{0x76EE6C90, "", sys_raise_event, kControl},
    SyscallEntry{0x29F1AC40, "", sys_raise_event_to, kControl},
    SyscallEntry{0xCD00D280, "", sys_call_script, kControl},
    SyscallEntry{0x10DB0A43, "", sys_call_script, kControl},
    SyscallEntry{0x9627DDC3, "", sys_call_script_function, kControl},
    SyscallEntry{0xEDEFB0B0, "", sys_call_script_function_named, kControl},
    SyscallEntry{0x718EF651, "", sys_jump_script, kControl},
    SyscallEntry{0x1E24E1B6, "", sys_jump_function, kControl},
};

}  // namespace

std::span<const SyscallEntry> machine_syscalls() { return kMachineSyscalls; }

}  // namespace tavelo::script
