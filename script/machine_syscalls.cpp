// System calls of the script machine: waits, threads, events, script control.

#include <array>
#include <cstdlib>

#include "resources/name_hash.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/scheduler.h"
#include "script/loader.h"
#include "script/machine.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/syscalls.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::script {
namespace {

uint32_t now(Machine& machine) { return machine.clock.held; }

CallStatus sys_wait(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  Frame& frame = args.thread.frame();
  uint32_t time = now(machine);
  if (!frame.waiting) {
    frame.waiting = true;
    int32_t ms = args.int_at(1);
    if (ms > 0) {
      frame.wait_deadline = as_deadline(int64_t(time) + ms);
    } else if (ms == 0) {
      frame.wait_deadline = as_deadline(time);
      if (machine.no_update_on_wait0) machine.fast_mode = true;
    } else if (ms == -2) {
      frame.wait_deadline = as_deadline(int64_t(time) - 10);
      machine.fast_mode = true;
    } else {
      frame.wait_deadline = kNoDeadline;
    }
    return CallStatus::Again;
  }
  if (args.thread.id == 0 && args.thread.end_state == EndState::Running && is_skipping(machine)) {
    return finish_wait(args, 0);
  }
  bool done = frame.wait_deadline == kNoDeadline ? args.thread.end_state != EndState::Running
                                                 : deadline_reached(time, frame.wait_deadline);
  return done ? finish_wait(args, 0) : CallStatus::Again;
}

CallStatus sys_wait_from(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  Frame& frame = args.thread.frame();
  uint32_t time = now(machine);
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
  return finish_wait(args, int32_t(deadline > floor ? deadline : floor));
}

CallStatus sys_set_time_factor(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  set_time_factor(machine, args.float_at(1));
  return args.done(0);
}

// Thread creation: frame 0 at the function, the remaining arguments copied in
// stack order, then their count, with the base above them.
CallStatus create_thread_call(Machine& machine, CallArgs& args, bool child) {
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(machine, uint32_t(args.int_at(1)), &code);
  if (!position) return CallStatus::Done;
  Thread& creator = args.thread;
  Thread* thread = create_thread(machine, -1);
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
  return args.done(thread->end_state == EndState::Running ? thread->id : 0);
}

CallStatus sys_create_thread(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine; return create_thread_call(machine, args, false); }
CallStatus sys_create_child_thread(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine; return create_thread_call(machine, args, true); }

CallStatus sys_end_thread(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  Thread* current = &args.thread;
  Thread* target = args.has(1) ? find_thread(machine, args.int_at(1)) : current;
  if (args.has(1) && args.int_at(1) == -1) target = current;
  if (target && target->id == 0) {
    report_script_error(machine, "thread(0)の終了には$system_end()を使用してください");
  } else if (target) {
    if (target == current) {
      // A second request on the running thread frees it at the end of the slice.
      target->end_state = target->end_state == EndState::Running ? EndState::EndRequested : EndState::Free;
      machine.slice_state = kSliceThreadEnded;
    } else if (target->end_state == EndState::Running) {
      target->end_state = EndState::EndRequested;
    }
  }
  return args.done(0);
}

CallStatus sys_thread_exists(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(find_thread(machine, args.int_at(1)) ? 1 : 0);
}

CallStatus sys_set_restart(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(machine, uint32_t(args.int_at(1)), &code);
  if (position) {
    args.thread.restart_position = position;
    args.thread.restart_code = code;
  }
  return args.done(0);
}

CallStatus sys_end_all_threads(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  int32_t code = args.has(1) ? args.int_at(1) : 0;
  machine.end_all_code = code;
  if (code >= 0) end_all_threads(machine);
  return args.done(0);
}

CallStatus sys_set_start_script(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  machine.next_start_script = std::string(args.text_at(1));
  end_all_threads(machine);
  return args.done(0);
}

CallStatus sys_end_engine(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  args.return_int(0);
  request_exit(machine, 0);
  machine.slice_state = kSliceYield;
  return CallStatus::Done;
}

CallStatus register_event(Machine& machine, CallArgs& args, bool at_head) {
  uint32_t key = resources::name_hash(args.text_at(1));
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(machine, uint32_t(args.int_at(2)), &code);
  if (position) {
    EventRegistration registration{args.thread.id, false, key, position, code};
    auto& events = machine.events;
    if (at_head) events.insert(events.begin(), registration);
    else events.push_back(registration);
  }
  return args.done(0);
}

CallStatus sys_register_event(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine; return register_event(machine, args, false); }
CallStatus sys_register_event_first(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine; return register_event(machine, args, true); }

CallStatus sys_unregister_event(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  uint32_t key = resources::name_hash(args.text_at(1));
  const uint8_t* position = resolve_function(machine, uint32_t(args.int_at(2)), nullptr);
  Machine& state = machine;
  if (position && !state.events_locked) {
    int32_t id = args.thread.id;
    std::erase_if(state.events, [&](const EventRegistration& registration) {
      return registration.thread_id == id && registration.key == key && registration.handler == position &&
             !registration.suspended;
    });
  }
  return args.done(0);
}

// Control calls below take their fixed arguments off the stack themselves and
// leave the rest for the callee or the event handlers.
void drop_top_arguments(Thread& thread, int count) {
  for (int i = 0; i < count && thread.sp > 1; ++i) pop_value(thread);
}

CallStatus sys_raise_event(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  uint32_t key = resources::name_hash(args.text_at(1));
  int count = args.count > 0 ? args.count - 1 : 0;
  drop_top_arguments(args.thread, args.count > 0 ? 1 : 0);
  raise_event(machine, key, count, args.keep_result);
  return CallStatus::Done;
}

CallStatus sys_raise_event_to(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  uint32_t key = resources::name_hash(args.text_at(1));
  int32_t thread_id = args.int_at(2);
  int count = args.count > 2 ? args.count - 2 : 0;
  drop_top_arguments(args.thread, std::min(args.count, 2));
  raise_event_to(machine, key, thread_id, count, args.keep_result);
  return CallStatus::Done;
}

// Calls code as a function with the arguments left on the stack. When the
// target is missing, the call is finished with an int 0.
CallStatus call_with_remaining(Machine& machine, CallArgs& args, const CodeBlock* code, const uint8_t* position,
                               int fixed) {
  int argc = std::max(args.count - fixed, 0);
  drop_top_arguments(args.thread, std::min(args.count, fixed));
  if (!position) {
    finish_control_call(machine, args.first, !args.keep_result);
    return CallStatus::Done;
  }
  call_position(machine, args.thread, code, position, argc, !args.keep_result);
  return CallStatus::Done;
}

const uint8_t* entry_of(Machine& machine, std::string_view name, const CodeBlock** code) {
  LoadedScript* script = load_script(machine, name);
  if (!script) return nullptr;
  if (script->entry_offset < 0) {
    report_script_error(machine, "[%s]実行関数が設定されていません。", {name});
    return nullptr;
  }
  *code = script->code.get();
  return script->code->begin() + script->entry_offset;
}

CallStatus sys_call_script(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string name(args.text_at(1));
  const CodeBlock* code = nullptr;
  const uint8_t* position = entry_of(machine, name, &code);
  return call_with_remaining(machine, args, code, position, 1);
}

CallStatus sys_call_script_function(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string name(args.text_at(1));
  uint32_t hash = uint32_t(args.int_at(2));
  if (!load_script(machine, name)) return CallStatus::Done;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(machine, hash, &code);
  return call_with_remaining(machine, args, code, position, 2);
}

CallStatus sys_call_script_function_named(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string name(args.text_at(1));
  uint32_t hash = resources::name_hash(args.text_at(2));
  if (!load_script(machine, name)) return CallStatus::Done;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(machine, hash, &code);
  return call_with_remaining(machine, args, code, position, 2);
}

// Jumps: the thread starts over at the target with the remaining arguments as
// its parameters, and the slice ends.
CallStatus jump_with_remaining(Machine& machine, CallArgs& args, const CodeBlock* code, const uint8_t* position,
                               int fixed) {
  Thread& thread = args.thread;
  if (!position) {
    finish_control_call(machine, args.first, !args.keep_result);
    return CallStatus::Done;
  }
  int argc = std::max(args.count - fixed, 0);
  std::vector<Value> values(thread.stack() + args.first, thread.stack() + args.first + argc);
  for (const Value& value : values) retain_value(value);
  reset_thread(machine, thread);
  for (const Value& value : values) push_value(thread, value);
  push_value(thread, make_int(argc));
  Frame& frame = thread.frame();
  frame.base = thread.sp;
  frame.position = position;
  frame.code = code;
  machine.slice_state = kSliceYield;
  return CallStatus::Done;
}

CallStatus sys_jump_script(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string name(args.text_at(1));
  const CodeBlock* code = nullptr;
  const uint8_t* position = entry_of(machine, name, &code);
  return jump_with_remaining(machine, args, code, position, 1);
}

CallStatus sys_jump_function(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  const CodeBlock* code = nullptr;
  const uint8_t* position = resolve_function(machine, uint32_t(args.int_at(1)), &code);
  return jump_with_remaining(machine, args, code, position, 1);
}

constexpr SyscallFlags kNone = SyscallFlags::None;
constexpr SyscallFlags kControl = SyscallFlags::Control;

constexpr std::array kMachineSyscalls = {
    SyscallEntry{0xCF35F0E3, "wait", sys_wait, kNone,
                 "int ms -> int 0; waits ms; 0 and -2 only end the slice, other negatives wait "
                 "until the thread is asked to end; skipping text ends the wait of thread 0"},
    SyscallEntry{0xFF75CD29, "wait_from", sys_wait_from, kNone,
                 "int start, int ms -> int the deadline, or now - 10 when that is later; "
                 "waits until start + ms (now + ms when start lies over ten times ms away)"},
    SyscallEntry{0x806261CE, "time_factor_set", sys_set_time_factor, kNone,
                 "float factor -> int 0; the speed of the script clock"},
    SyscallEntry{0xF2F9DAA8, "thread_create", sys_create_thread, kNone,
                 "func function, any arguments... -> int the new thread's id, 0 when it is already ending"},
    SyscallEntry{0xAE497F1A, "thread_create_child", sys_create_child_thread, kNone,
                 "func function, any arguments... -> int the new thread's "
                 "id; it is asked to end when the current thread ends"},
    SyscallEntry{0x4EF903F3, "thread_end", sys_end_thread, kNone,
                 "[int thread = -1] -> int 0; -1 the current thread (a second "
                 "end frees it at once); thread 0 is refused: see system_end"},
    SyscallEntry{0x9FB53FBE, "thread_exists", sys_thread_exists, kNone, "int thread -> int 1 when the thread exists"},
    SyscallEntry{0x461EA516, "thread_restart_set", sys_set_restart, kNone,
                 "func function -> int 0; the current thread starts there again when it ends"},
    SyscallEntry{0x3704C919, "thread_end_all", sys_end_all_threads, kNone,
                 "[int code = 0] -> int 0; a non-zero code keeps the sound "
                 "playing through the restart, a negative one ends no thread"},
    SyscallEntry{0x32530606, "start_script_set", sys_set_start_script, kNone,
                 "str script -> int 0; ends all threads, and the engine starts again with that script"},
    SyscallEntry{0x8D8FB32E, "system_end", sys_end_engine, kNone, "-> none; ends the engine with exit status 0"},
    SyscallEntry{0x078A756E, "event_register", sys_register_event, kNone,
                 "str event, func handler -> int 0; the current thread's handler, after the others"},
    SyscallEntry{0x1295BBDA, "event_register_first", sys_register_event_first, kNone,
                 "str event, func handler -> int 0; the current thread's handler, before the others"},
    SyscallEntry{0xA93C9856, "event_unregister", sys_unregister_event, kNone,
                 "str event, func handler -> int 0; removes the current thread's registrations of that handler"},
    SyscallEntry{0x76EE6C90, "event_raise", sys_raise_event, kControl,
                 "str event, any arguments... -> int 0; each handler "
                 "runs with the arguments in its thread's next slice"},
    SyscallEntry{0x29F1AC40, "event_raise_to", sys_raise_event_to, kControl,
                 "str event, int thread, any arguments... -> int 0; "
                 "only that thread's handlers (-1: the current thread)"},
    SyscallEntry{0xCD00D280, "script_call", sys_call_script, kControl,
                 "str script, any arguments... -> any what the script's "
                 "entry function returns; loads the script when needed"},
    SyscallEntry{0x10DB0A43, "script_call2", sys_call_script, kControl,
                 "str script, any arguments... -> any the same as script_call"},
    SyscallEntry{0x9627DDC3, "script_call_function", sys_call_script_function, kControl,
                 "str script, func function, any arguments... -> any what "
                 "the function returns; loads the script when needed"},
    SyscallEntry{0xEDEFB0B0, "script_call_function_by_name", sys_call_script_function_named, kControl,
                 "str script, str function, any arguments... -> any what "
                 "the function returns; the name is hashed when called"},
    SyscallEntry{0x718EF651, "script_jump", sys_jump_script, kControl,
                 "str script, any arguments... -> none; the thread starts over at the script's entry function"},
    SyscallEntry{0x1E24E1B6, "function_jump", sys_jump_function, kControl,
                 "func function, any arguments... -> none; the thread starts over at the function"},
};

}  // namespace

std::span<const SyscallEntry> machine_syscalls() { return kMachineSyscalls; }

}  // namespace tavelo::script
