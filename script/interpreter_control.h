#pragma once
// The handlers of control flow: jumps, conditional jumps, select and case,
// jump tables, line marks, click and end handlers, break, and the message
// text instructions, which hand their bytes to the host's hooks. Jump
// targets are checked against the block when they are taken. Included by
// interpreter.cpp only.

#include <cstring>
#include <string_view>

#include "script/interpreter_registers.h"
#include "script/interpreter_values.h"
#include "script/read_marks.h"

namespace tavelo::script {
namespace {

// The selector of the select/case instructions lives in the thread store
// under this name.
constexpr uint32_t kSelectorHash = 0x11F91FD3;

// The selector of the select/case instructions lives in the thread store.
[[gnu::noinline]] void store_selector(Thread& thread, Value value) {
  Value* selector = thread.store.find(kSelectorHash);
  value.hash = kSelectorHash;
  value.scope = Scope::Thread;
  if (selector) {
    release_value(*selector);
    *selector = value;
  } else {
    thread.store.append(value);
  }
}

// Whether a case instruction jumps (to the next case) for the value on top.
[[gnu::noinline]] bool case_jumps(Machine& machine, Thread& thread, Op op, const Value& top) {
  Value* selector_record = thread.store.find(kSelectorHash);
  Value selector = selector_record ? *selector_record : make_int(0);
  CaseRelation relation = relate(machine, top, selector);
  switch (op) {
    case Op::CaseEqual: return selector_mismatch(relation);
    // Relational cases never jump for strings and arrays.
    case Op::CaseGreater: return relation != CaseRelation::Unordered && relation != CaseRelation::Greater;
    case Op::CaseLess: return relation != CaseRelation::Unordered && relation != CaseRelation::Less;
    case Op::CaseLessEqual: return relation == CaseRelation::Greater;
    case Op::CaseGreaterEqual: return relation == CaseRelation::Less;
    default: return false;
  }
}

// Text and control-code instructions hand their bytes to the host's hooks.
// A control code that must run again (a timed pause in the text) goes back
// to its instruction, which starts at the u16 count before the bytes and the
// opcode before that, and the thread yields.
[[gnu::noinline]] void run_text(Machine& machine, Op op, std::string_view bytes) {
  const HostHooks& hooks = machine.hooks;
  if (op == Op::Text) {
    if (hooks.append_text) hooks.append_text(machine.engine, bytes);
  } else if (hooks.control_code && machine.current) {
    Frame& frame = machine.current->frame();
    if (!hooks.control_code(machine.engine, bytes) && !machine.stopping()) {
      frame.position = reinterpret_cast<const uint8_t*>(bytes.data()) - 4;
      if (machine.slice_state == kSliceRunning) machine.slice_state = kSliceYield;
    }
  }
}

// The message instruction; false when it must run again next slice.
[[gnu::noinline]] bool lay_out_message(Machine& machine) {
  return !machine.hooks.lay_out_message || machine.hooks.lay_out_message(machine.engine);
}

[[gnu::always_inline]] inline Step jump(Machine& machine, Thread& thread, Registers& r) {
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  JUMP_TO(offset);
  return Step::Next;
}

// jump_if_true and jump_if_false, by the truth of the value on top.
[[gnu::always_inline]] inline Step jump_if(Machine& machine, Thread& thread, Registers& r) {
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  bool truth = is_true(TOP);
  release_value(TOP);
  --r.sp;
  if (truth == (OP == Op::JumpIfTrue)) JUMP_TO(offset);
  return Step::Next;
}

[[gnu::always_inline]] inline Step pop(Registers& r) {
  release_value(TOP);
  --r.sp;
  return Step::Next;
}

// select stores the value on top as the selector and jumps to the first case.
[[gnu::always_inline]] inline Step select_case(Machine& machine, Thread& thread, Registers& r) {
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  store_selector(thread, TOP);
  --r.sp;
  JUMP_TO(offset);
  return Step::Next;
}

// The case tests share one handler: each jumps to the next case when the
// value on top does not match the selector as its opcode says.
#define TAVELO_CASE_TESTS(X) X(CaseEqual) X(CaseGreater) X(CaseLess) X(CaseLessEqual) X(CaseGreaterEqual)
[[gnu::always_inline]] inline Step case_test(Machine& machine, Thread& thread, Registers& r) {
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  if (case_jumps(machine, thread, OP, TOP)) JUMP_TO(offset);
  return Step::Next;
}

// An index on top picks one of count jump offsets; one outside picks the last.
[[gnu::always_inline]] inline Step jump_table(Machine& machine, Thread& thread, Registers& r) {
  uint16_t count = load_u16le(r.ip);
  r.ip += 2;
  if (r.code_end - r.ip < ptrdiff_t(count) * 4) FAULT(CodeFault::TruncatedOperand, load_u16le(r.instruction));
  int32_t index = as_int(TOP);
  release_value(TOP);
  --r.sp;
  if (count == 0) return Step::Next;
  if (index < 0 || index >= count) index = count - 1;
  r.ip += size_t(index) * 4;
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  JUMP_TO(offset);
  return Step::Next;
}

// A line mark: the frame's line, the read marks and the debugger's hook.
[[gnu::always_inline]] inline Step line(Machine& machine, Thread& thread, Registers& r) {
  r.fp->line = load_u16le(r.ip);
  r.ip += 2;
  save_registers(thread, r);
  mark_line(machine, thread, r.fp->line);
  if (machine.hooks.line_reached) [[unlikely]] {
    machine.hooks.line_reached(machine.engine, thread, r.fp->line);
    CHECK_SLICE();
  }
  return Step::Next;
}

// A click handler is set for the frame; a click already waiting for it
// jumps there at once (and ends a wait).
#define TAVELO_CLICK_HANDLERS(X) X(OnLeftClick) X(OnMiddleClick) X(OnRightClick) X(OnAnyClick)
[[gnu::always_inline]] inline Step click_handler(Machine& machine, Thread& thread, Registers& r) {
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  const uint8_t* target;
  TARGET_OF(offset, target);
  Frame& frame = *r.fp;
  bool left = OP == Op::OnLeftClick || OP == Op::OnAnyClick;
  bool middle = OP == Op::OnMiddleClick || OP == Op::OnAnyClick;
  bool right = OP == Op::OnRightClick || OP == Op::OnAnyClick;
  if (left) frame.left_handler = target;
  if (middle) frame.middle_handler = target;
  if (right) frame.right_handler = target;
  bool go = (left && thread.pending_left) || (middle && thread.pending_middle) || (right && thread.pending_right);
  if (go) {
    if (left) thread.pending_left = false;
    if (middle) thread.pending_middle = false;
    if (right) thread.pending_right = false;
    if (left) frame.left_handler = nullptr;
    if (middle) frame.middle_handler = nullptr;
    if (right) frame.right_handler = nullptr;
    frame.wait_deadline = 0;
    frame.waiting = false;
    r.ip = target;
  }
  return Step::Next;
}

[[gnu::always_inline]] inline Step clear_click_handlers(Registers& r) {
  r.fp->left_handler = r.fp->right_handler = r.fp->middle_handler = nullptr;
  return Step::Next;
}

[[gnu::always_inline]] inline Step set_break(Machine& machine, Thread& thread, Registers& r) {
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  TARGET_OF(offset, r.fp->break_target);
  return Step::Next;
}

// break leaves for the nearest break target set after the position it was
// set from, in this frame or a caller's.
[[gnu::always_inline]] inline Step break_out(Thread& thread, Registers& r) {
  save_registers(thread, r);
  for (int depth = thread.depth; depth >= 0; --depth) {
    Frame& frame = thread.frames[size_t(depth)];
    if (frame.break_target && frame.break_target > frame.position) {
      frame.position = frame.break_target;
      frame.break_target = nullptr;
      frame.wait_deadline = 0;
      frame.waiting = false;
      break;
    }
  }
  load_registers(thread, r);
  return Step::Next;
}

[[gnu::always_inline]] inline Step set_end_handler(Machine& machine, Thread& thread, Registers& r) {
  int32_t offset = I32_AT(r.ip);
  r.ip += 4;
  TARGET_OF(offset, r.fp->end_handler);
  r.fp->wait_deadline = 0;
  r.fp->waiting = false;
  return Step::Next;
}

// text and control_code hand their bytes to the hooks (run_text).
[[gnu::always_inline]] inline Step text(Machine& machine, Thread& thread, Registers& r) {
  uint16_t count = load_u16le(r.ip);
  r.ip += 2;
  if (r.code_end - r.ip < count) FAULT(CodeFault::TruncatedOperand, load_u16le(r.instruction));
  std::string_view bytes(reinterpret_cast<const char*>(r.ip), strnlen(reinterpret_cast<const char*>(r.ip), count));
  r.ip += count;
  save_registers(thread, r);
  run_text(machine, OP, bytes);
  load_registers(thread, r);
  CHECK_SLICE();
  return Step::Next;
}

// The message instruction lays out the page; it runs again while the
// layout waits.
[[gnu::always_inline]] inline Step message(Machine& machine, Thread& thread, Registers& r) {
  save_registers(thread, r);
  if (!lay_out_message(machine)) {
    // fp: an event raised by the layout runs in a frame above this one.
    r.fp->position = r.instruction;
    if (machine.slice_state == kSliceRunning) machine.slice_state = kSliceYield;
    return Step::Exit;
  }
  load_registers(thread, r);
  CHECK_SLICE();
  return Step::Next;
}

// Unknown opcodes are reported and skipped as a bare 16-bit word.
[[gnu::always_inline]] inline Step unknown_opcode(Machine& machine, Thread& thread, Registers& r) {
  // Unknown opcodes are skipped as a bare 16-bit word.
  save_registers(thread, r);
  report_script_error(machine, "コード[%04X]は定義されていません", {unsigned(load_u16le(r.instruction))});
  CHECK_SLICE();
  return Step::Next;
}

}  // namespace
}  // namespace tavelo::script
