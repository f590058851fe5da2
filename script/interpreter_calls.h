#pragma once
// The handlers of calls, returns, parameter checks and system calls. A call
// and the common return run inline, in the frame array, without leaving the
// loop; the parameter check a function starts with is settled at the call
// when the arguments already have the declared types. What needs the whole
// machine (resolving a function, reporting, ending the engine, running a
// system call's handler) runs out of line with the registers saved.
// Included by interpreter.cpp only.

#include <algorithm>

#include "script/dispatch.h"
#include "script/interpreter_registers.h"
#include "script/interpreter_values.h"
#include "script/loader.h"
#include "script/syscall.h"

namespace tavelo::script {
namespace {

ValueType declared_type(uint8_t byte) { return byte < kValueTypeCount ? ValueType(byte) : ValueType::Int; }

// The parameter check when the arguments do not fit the declared types: too
// few are reported and completed with defaults (and a fresh count above
// them); wrong types are reported one by one and left as they are.
[[gnu::noinline]] void repair_parameters(Machine& machine, Thread& thread, const uint8_t* types, uint16_t count) {
  Frame& frame = thread.frame();
  int32_t base = frame.base;
  int32_t supplied = base >= 1 ? as_int(thread.stack()[base - 1]) : 0;
  if (supplied < count) {
    report_script_error(machine, "関数のパラメータが不足しています。");
    for (int i = count - 1; i >= 0; --i) push_value(thread, make_default(declared_type(types[i])));
    push_value(thread, make_int(count));
    frame.base = thread.sp;
    return;
  }
  for (int i = 1; i <= count; ++i) {
    int32_t index = base - 1 - i;
    if (index < 0) break;
    if (uint8_t(thread.stack()[index].type) != types[i - 1]) {
      report_script_error(machine, "関数のパラメータが(%d個中、%d番目)間違っています。", {int(count), i});
    }
  }
}

// Whether any of the records [first, end) holds a string or array block.
[[gnu::always_inline]] inline bool hold_references(const Value* first, const Value* end) {
  // Int is 0 and Float 1; every other type sets a higher bit.
  static_assert(uint16_t(ValueType::Int) == 0 && uint16_t(ValueType::Float) == 1 &&
                uint16_t(ValueType::String) == 2);
  uint16_t types = 0;
  for (const Value* value = first; value < end; ++value) types |= uint16_t(value->type);
  return (types & ~1u) != 0;
}
[[gnu::noinline]] void release_range(Value* first, Value* end) {
  for (Value* value = first; value < end; ++value) release_value(*value);
}

enum class CallEnd { Next, IntResult, Wait };

// A system call with argc arguments on the stack. IntResult: the kept result
// is an int (on top). Wait: the call runs again, with the same arguments,
// from instruction in the thread's next slice.
[[gnu::noinline]] CallEnd run_syscall(Machine& machine, Thread& thread, const uint8_t* instruction, uint32_t key,
                                      uint16_t argc, bool keep) {
  int32_t first = thread.sp - argc;
  const SyscallEntry* entry = find_syscall_cached(machine.syscalls, key);
  if (!entry) {
    report_script_error(machine, "組み込み関数[%08X]は定義されていません", {key});
    release_stack_above(thread, first);
    if (keep) push_value(thread, make_int(0));
    return CallEnd::Next;
  }
  CallArgs args{machine, thread, *entry, argc, key, keep, first};
  // The caller's frame: a handler that raised an event has pushed the
  // event handler's frame above it.
  Frame& caller = thread.frame();
  CallStatus status = entry->handler(machine.engine, args);
  if (status == CallStatus::Again && !machine.stopping()) {
    if (args.has_result) release_stack_above(thread, first + argc);
    caller.position = instruction;
    if (machine.slice_state == kSliceRunning) machine.slice_state = kSliceYield;
    return CallEnd::Wait;
  }
  if ((uint8_t(entry->flags) & uint8_t(SyscallFlags::Control)) == 0) {
    if (!args.has_result) push_value(thread, make_int(0));
    // The result (on top) replaces the arguments; a discarded one goes too.
    Value* stack = thread.stack();
    int32_t top = thread.sp - 1;
    if (hold_references(stack + first, stack + top)) release_range(stack + first, stack + top);
    if (!keep) {
      release_value(stack[top]);
      thread.sp = first;
      return CallEnd::Next;
    }
    thread.sp = first + 1;
    if (stack[top].type == ValueType::Int) {
      // Read as its parts: the handler has just pushed it as two 8-byte
      // stores, which a 16-byte load would have to wait for.
      stack[first] = make_int(stack[top].integer);
      return CallEnd::IntResult;
    }
    stack[first] = stack[top];
  }
  return CallEnd::Next;
}


// Whether the arguments below the argument count at count_record have the
// declared types (the first argument is the nearest).
[[gnu::always_inline]] inline bool parameters_match(const Value* count_record, const uint8_t* types, uint16_t count) {
  // One and two parameters, the most common counts, without a loop.
  if (count == 1) return uint8_t(count_record[-1].type) == types[0];
  if (count == 2) {
    return (uint8_t(count_record[-1].type) == types[0]) & (uint8_t(count_record[-2].type) == types[1]);
  }
  for (int i = 1; i <= count; ++i) {
    if (uint8_t(count_record[-i].type) != types[i - 1]) return false;
  }
  return true;
}

// Notes the parameter check a call target starts with, when its types lie
// inside the block.
void note_parameters(CallTarget& target) {
  if (!target.code) return;
  const uint8_t* at = target.position;
  ptrdiff_t left = target.code->end() - at;
  if (left < 4 || decode_opcode(load_u16le(at)) != Op::CheckParameters) return;
  uint16_t count = load_u16le(at + 2);
  if (left - 4 < count) return;
  target.parameter_types = at + 4;
  target.parameter_count = count;
}


[[gnu::always_inline]] inline Step call(Machine& machine, Thread& thread, Registers& r) {
  uint16_t argc = load_u16le(r.ip + 8);
  uint32_t cache = load_u32le(r.ip + 4);
  r.ip += 10;
  if (argc > r.sp - 1) FAULT(CodeFault::StackUnderflow, 0);
  if (cache - 1 >= machine.call_targets.size()) [[unlikely]] {  // 0: not resolved yet
    save_registers(thread, r);
    CallTarget resolved;
    resolved.position = resolve_function(machine, load_u32le(r.instruction + 2), &resolved.code);
    if (!resolved.position) return Step::Exit;
    note_parameters(resolved);
    machine.call_targets.push_back(resolved);
    cache = uint32_t(machine.call_targets.size());
    resources::store_u32le(const_cast<uint8_t*>(r.instruction + 6), cache);
  }
  const CallTarget& target = machine.call_targets[cache - 1];
  if (r.fp == &thread.frames.back()) [[unlikely]] {
    save_registers(thread, r);
    call_position(machine, thread, target.code, target.position, argc, OP == Op::CallDiscard);
    return Step::Exit;  // reported; the engine ends
  }
  // The call, inline (as enter_call): the argument count above the
  // arguments, a fresh frame above the caller's. Most calls stay in the
  // caller's block.
  ENSURE_STACK(1);
  r.fp->position = r.ip;
  r.fp->discard_result = OP == Op::CallDiscard;
  r.fp->top = r.sp - argc;
  r.stack[r.sp++] = make_int(argc);
  start_frame(r.fp[1], r.fp[0], target.code, target.position, r.sp);
  ++r.fp;
  r.base = r.sp;
  r.ip = target.position;
  if (target.code != r.code || !r.code) switch_code(r, target.code);
  // Functions with parameters start by checking them; the usual case,
  // as many arguments of the declared types, is settled here.
  if (target.parameter_types) {
    uint16_t count = target.parameter_count;
    if (count <= argc && parameters_match(r.stack + r.sp - 1, target.parameter_types, count)) {
      r.ip = target.parameter_types + count;
      return Step::Sequence;
    }
    r.instruction = r.ip;
    r.form = plain_form(Op::CheckParameters);
    r.ip += 2;
    return Step::CheckParameters;
  }
  return Step::Sequence;
}

// The common return, inline: no end handler, and a caller that goes on and
// finds the callee's records above its own. The result (unless discarded)
// moves down to the caller's top.
[[gnu::always_inline]] inline Step return_from_function(Machine& machine, Thread& thread, Registers& r) {
  if (!r.fp->end_handler && r.fp != thread.frames.data()) {
    Frame* caller = r.fp - 1;
    int32_t saved_top = std::max(caller->top, 1);
    if (r.sp > saved_top && caller->position) {
      int32_t kept = caller->discard_result ? 0 : 1;
      Value& top = r.stack[r.sp - 1];
      // A kept int goes on as an int result (the caller mostly stores
      // it or computes with it); copying the record whole right after
      // the pair of stores that wrote it would stall on store
      // forwarding.
      bool int_kept = kept && top.type == ValueType::Int;
      int32_t value = top.integer;
      // The callee's records (arguments, their count, locals, and the
      // result when discarded) mostly hold no block to release; the
      // kept result lies above them.
      Value* first = r.stack + saved_top;
      Value* end = r.stack + r.sp - kept;
      if (hold_references(first, end)) [[unlikely]] release_range(first, end);
      if (kept && !int_kept) *first = r.stack[r.sp - 1];
      r.sp = saved_top + kept - int_kept;
      r.fp = caller;
      r.base = caller->base;
      r.ip = caller->position;
      if (caller->code != r.code || !r.code) switch_code(r, caller->code);
      if (int_kept) INT_RESULT(value, r.ip);
      return Step::Sequence;
    }
  }
  save_registers(thread, r);
  execute_return(machine, thread);
  load_registers(thread, r);
  CHECK_SLICE();
  return Step::Next;
}

// declare_locals pushes the defaults of its types; check_parameters checks
// the arguments below the argument count.
[[gnu::always_inline]] inline Step check_parameters(Machine& machine, Thread& thread, Registers& r) {
  uint16_t count = load_u16le(r.ip);
  r.ip += 2;
  if (r.code_end - r.ip < count) FAULT(CodeFault::TruncatedOperand, load_u16le(r.instruction));
  const uint8_t* types = r.ip;
  r.ip += count;
  if (OP == Op::DeclareLocals) {
    ENSURE_STACK(int32_t(count) + 1);
    for (uint16_t i = 0; i < count; ++i) r.stack[r.sp++] = make_default(declared_type(types[i]));
    return Step::Next;
  }
  int32_t supplied = r.base >= 1 ? as_int(r.stack[r.base - 1]) : 0;
  // The usual case: enough arguments, all of the declared types.
  if (supplied >= count && r.base - 1 - count >= 0 && parameters_match(r.stack + r.base - 1, types, count)) return Step::Next;
  save_registers(thread, r);
  repair_parameters(machine, thread, types, count);
  load_registers(thread, r);
  STOP_IF_ENDING();
  return Step::Next;
}

[[gnu::always_inline]] inline Step syscall(Machine& machine, Thread& thread, Registers& r) {
  uint32_t key = load_u32le(r.ip);
  uint16_t argc = load_u16le(r.ip + 4);
  r.ip += 6;
  if (argc > r.sp - 1) FAULT(CodeFault::StackUnderflow, 0);
  FUZZ_CHARGE_SYSCALL();
  save_registers(thread, r);
  CallEnd end = run_syscall(machine, thread, r.instruction, key, argc, OP == Op::Syscall);
  if (end == CallEnd::Wait) return Step::Exit;
  load_registers(thread, r);
  CHECK_SLICE();
  // A kept int goes on as a computed int (x = f(...), f(...) + 1).
  if (end == CallEnd::IntResult) {
    r.int_result = TOP.integer;
    --r.sp;
    return Step::IntResult;
  }
  return Step::Next;
}

}  // namespace
}  // namespace tavelo::script
