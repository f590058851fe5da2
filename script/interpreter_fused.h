#pragma once
// The fused forms: short instruction sequences compilers emit for loop
// tests, counters, accumulators, element accesses and string tests, which
// decoding recognises (script/decode.h lists the families) and the loop runs
// as one step each; and the consumers, which hand an int a fused form
// computed to the plain instruction after it without the stack.
// Included by interpreter.cpp only.
//
// Every family is one template: kLocal chooses the variant whose first
// variable is a local slot (read without asking for the scope) or an
// eternal, global or thread variable reached through its slot hint.
// Offsets count from the sequence's first instruction: a load's flags lie at
// 2, its hash at 4 and its slot or hint at 8, the next instruction at 10.
// Every check that fails leaves the sequence to its single instructions
// (Step::PlainLoad, PlainPushInt, PlainPushFloat), which give the same
// result or the report; nothing is changed before the last check. Int
// results go on through INT_RESULT to the consumers below.

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "script/interpreter_calls.h"
#include "script/interpreter_operands.h"
#include "script/interpreter_registers.h"
#include "script/interpreter_values.h"

namespace tavelo::script {
namespace {

// What the plain instruction of a form does with an int a sequence has just
// computed, when it can take the int without the stack (the consumers
// below): store it by an int statement, use it as the subscript
// of an int element load or store, take it as the right operand of an int
// operation with the value below, test it for a conditional jump, or return
// it from a function, take it as the value below a constant operation
// (push_int; int operation), or pass it as a call's last argument.
enum class Consumer : uint8_t { None, Statement, ElementLoad, ElementStore, Operation, Branch, Return, Constant, Call };
struct ConsumerInfo {
  Consumer consumer = Consumer::None;
  uint8_t kind = 0;  // the statement or operation kind; for branches, 1 when jump_if_true
};
constexpr std::array<ConsumerInfo, kFormCount> make_consumers() {
  std::array<ConsumerInfo, kFormCount> consumers{};
  for (size_t i = 0; i < kOpcodeCount; ++i) {
    Op op = Op(i);
    ConsumerInfo& info = consumers[plain_form(op)];
    if (is_int_statement(op)) info = {Consumer::Statement, uint8_t(statement_kind(op))};
    if (is_int_operation(op)) info = {Consumer::Operation, uint8_t(operation_kind(op))};
    if (op == Op::LoadElement) info = {Consumer::ElementLoad, 0};
    if (op == Op::ElementAssignIntPop) info = {Consumer::ElementStore, 0};
    if (op == Op::JumpIfFalse || op == Op::JumpIfTrue) info = {Consumer::Branch, uint8_t(op == Op::JumpIfTrue)};
    if (op == Op::Return) info = {Consumer::Return, 0};
    if (op == Op::Call || op == Op::CallDiscard) info = {Consumer::Call, 0};
  }
  for (uint8_t kind = 0; kind < 4; ++kind) {
    consumers[DecodedForm(Form::OperateConstant) + kind] = {Consumer::Constant, kind};
  }
  return consumers;
}
constexpr std::array<ConsumerInfo, kFormCount> kConsumers = make_consumers();

// The flags of the element loads an int result feeds: an int element, no
// increment or unary operation, one or two subscripts (any scope).
constexpr uint16_t kIntElementOne = (uint16_t(ValueType::Int) << variable_flags::kTypeShift) |
                                    (1 << variable_flags::kSubscriptShift);
constexpr uint16_t kIntElementTwo = (uint16_t(ValueType::Int) << variable_flags::kTypeShift) |
                                    (2 << variable_flags::kSubscriptShift);

// The first form of a family in the pass (local or any scope); a family's
// forms follow it, one per jump mask or operation kind.
template <bool kLocal>
constexpr DecodedForm family_form(Form any_scope) {
  return kLocal ? DecodedForm(DecodedForm(any_scope) - kLocalToAnyScope) : DecodedForm(any_scope);
}

// The variable of a fused form's instruction at `at`: FIRST as the pass
// reads it, OPERAND any other; when it cannot be reached directly or holds
// another type, the single instructions run from the start (fallback).
#define FIRST(name, at, value_type, fallback)                                                                   \
  Value* name = sequence_variable<kLocal>(machine, thread, r.stack, r.sp, r.base, (at), ValueType::value_type); \
  if (!name) return Step::fallback
#define OPERAND(name, at, value_type, fallback)                                                         \
  Value* name = operand_variable(machine, thread, r.stack, r.sp, r.base, (at), ValueType::value_type); \
  if (!name) return Step::fallback
// The operation or statement kind a family's form holds.
#define KIND(name) unsigned(r.form - family_form<kLocal>(Form::name))
// A statement usually ends a loop body: the jump back is taken at once.
#define TAKE_JUMP()                                                                                   \
  if (FORM_AT(r.ip) == DecodedForm(Form::Jump)) [[likely]] {                                          \
    const uint8_t* jump_ = r.ip;                                                                      \
    OPAQUE(jump_);                                                                                    \
    r.ip = decoded_jump_target(jump_ + 6, I32_AT(jump_ + 2));                                         \
  }
// A test's jump, by the relation of its operands; the jump's offset lies at
// end - 4.
#define BRANCH(first, relation_, end)                                             \
  do {                                                                            \
    if (jump_taken(r.form - family_form<kLocal>(Form::first), (relation_))) {     \
      r.ip = decoded_jump_target((end), I32_AT((end) - 4));                       \
    } else {                                                                      \
      r.ip = (end);                                                               \
    }                                                                             \
    return Step::Sequence;                                                        \
  } while (0)

// ---- the consumers of an int result, with the next instruction at ip
// Each gives exactly what the plain instruction would with the int on the
// stack above the others (the checks are its own inline checks; a local
// slot at the int's place is not reached); anything else pushes the int for
// the plain instruction (Step::PushResult).
namespace consume {

// Most results go to the stack (a call's argument, a value below).
[[gnu::always_inline]] inline Step push_result(Machine& machine, Thread& thread, Registers& r) {
  PUSH(make_int(r.int_result));
  return Step::Sequence;
}

// An argument computed just before the call (f(n - 1)): the call runs
// without a second dispatch.
[[gnu::always_inline]] inline Step call_argument(Machine& machine, Thread& thread, Registers& r) {
  PUSH(make_int(r.int_result));
  return Step::Call;
}

[[gnu::always_inline]] inline Step statement(Machine& machine, Thread& thread, Registers& r) {
  Value* target = operand_variable(machine, thread, r.stack, r.sp, r.base, r.ip, ValueType::Int);
  if (!target) return Step::PushResult;
  target->integer = int_statement(kConsumers[r.form].kind, r.ip, target->integer, r.int_result);
  r.ip += 10;
  TAKE_JUMP();
  return Step::Sequence;
}

[[gnu::always_inline]] inline Step operation(Registers& r) {
  if (r.sp < 2 || TOP.type != ValueType::Int) return Step::PushResult;
  r.int_result = int_operation_of(kConsumers[r.form].kind, r.ip, TOP.integer, r.int_result);
  --r.sp;
  r.ip += 2;
  return Step::IntResult;
}

[[gnu::always_inline]] inline Step constant(Registers& r) {
  r.int_result = int_operation_of(kConsumers[r.form].kind, r.ip + 6, r.int_result, I32_AT(r.ip + 2));
  r.ip += 8;
  return Step::IntResult;
}

[[gnu::always_inline]] inline Step element_load(Machine& machine, Thread& thread, Registers& r) {
  uint16_t flags = load_u16le(r.ip + 2) & ~variable_flags::kScopeMask;
  ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, r.ip + 2));
  if (!array) return Step::PushResult;
  if (flags == kIntElementOne) {
    r.int_result = array->ints()[wrap_subscript(r.int_result, array->size1)];
  } else if (flags == kIntElementTwo && r.sp >= 2 && TOP.type == ValueType::Int) {
    r.int_result = array->ints()[element_index(*array, TOP.integer, r.int_result)];
    --r.sp;
  } else {
    return Step::PushResult;
  }
  r.ip += 10;
  return Step::IntResult;
}

[[gnu::always_inline]] inline Step element_store(Machine& machine, Thread& thread, Registers& r) {
  uint16_t flags = load_u16le(r.ip + 2);
  if ((flags & variable_flags::kSubscriptMask) != (1 << variable_flags::kSubscriptShift) || r.sp < 2 ||
      TOP.type != ValueType::Int) {
    return Step::PushResult;
  }
  ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, r.ip + 2));
  if (!array) return Step::PushResult;
  array->ints()[wrap_subscript(r.int_result, array->size1)] = TOP.integer;
  --r.sp;
  r.ip += 10;
  TAKE_JUMP();
  return Step::Sequence;
}

// The common return as the plain one makes it, with the int as the result;
// a kept result goes on to the caller's next instructions as if it lay on
// the caller's stack.
[[gnu::always_inline]] inline Step return_result(Registers& r, Thread& thread) {
  if (r.fp->end_handler || r.fp == thread.frames.data()) return Step::PushResult;
  Frame* caller = r.fp - 1;
  int32_t saved_top = std::max(caller->top, 1);
  if (r.sp + 1 <= saved_top || !caller->position) return Step::PushResult;
  Value* first = r.stack + saved_top;
  Value* end = r.stack + r.sp;
  if (hold_references(first, end)) [[unlikely]] release_range(first, end);
  r.sp = saved_top;
  r.fp = caller;
  r.base = caller->base;
  r.ip = caller->position;
  if (caller->code != r.code || !r.code) switch_code(r, caller->code);
  if (!caller->discard_result) return Step::IntResult;
  return Step::Sequence;
}

[[gnu::always_inline]] inline Step branch(Registers& r) {
  const uint8_t* target = jump_target(r.code_begin, r.code_end, r.ip + 6, I32_AT(r.ip + 2));
  if (!target) return Step::PushResult;
  r.ip = (r.int_result != 0) == bool(kConsumers[r.form].kind) ? target : r.ip + 6;
  return Step::Sequence;
}

}  // namespace consume

// ---- fused forms without a local variant
namespace fused {

[[gnu::always_inline]] inline Step jump(Registers& r) {
  r.ip = decoded_jump_target(r.instruction + 6, I32_AT(r.instruction + 2));
  return Step::Sequence;
}

// push_int; int operation: the value below takes the operation, and the
// result goes on.
[[gnu::always_inline]] inline Step operate_constant(Registers& r) {
  if (r.sp < 2 || TOP.type != ValueType::Int) return Step::PlainPushInt;
  --r.sp;
  INT_RESULT(int_operation_of(r.form - DecodedForm(Form::OperateConstant), r.instruction + 6, r.stack[r.sp].integer,
                              I32_AT(r.instruction + 2)),
             r.instruction + 8);
}

[[gnu::always_inline]] inline Step constant_return(Registers& r) {
  INT_RESULT(I32_AT(r.instruction + 2), r.instruction + 6);
}

// ---- the families, in the order of TAVELO_SEQUENCE_FAMILIES

template <bool kLocal>
[[gnu::always_inline]] inline Step load_int(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  INT_RESULT(variable->integer, r.instruction + 10);
}

// A load whose next instruction takes its int from the stack only (a call's
// argument, mostly).
template <bool kLocal>
[[gnu::always_inline]] inline Step load_int_push(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  r.ip = r.instruction + 10;
  PUSH(make_int(variable->integer));
  return Step::Sequence;
}

// Loop tests. A real branch, not a select: loop tests are predictable, and a
// select would make the next fetch wait for the variable.
template <bool kLocal>
[[gnu::always_inline]] inline Step compare_jump(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  BRANCH(CompareJump, relation(variable->integer, I32_AT(r.instruction + 12)), r.instruction + 24);
}

// The variable steps whether the test jumps or not.
template <bool kLocal>
[[gnu::always_inline]] inline Step step_compare_jump(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  int step = load_u16le(r.instruction + 2) & variable_flags::kStepMask;
  int32_t before = variable->integer;
  int32_t after = wrap_add(before, (step == 1 || step == 3) ? 1 : -1);
  const uint8_t* next = r.instruction + 24;
  if (jump_taken(r.form - family_form<kLocal>(Form::StepCompareJump),
                 relation(step <= 2 ? after : before, I32_AT(r.instruction + 12)))) {
    next = decoded_jump_target(r.instruction + 24, I32_AT(r.instruction + 20));
  }
  variable->integer = after;
  r.ip = next;
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step compare_variables_jump(Machine& machine, Thread& thread, Registers& r) {
  FIRST(left, r.instruction, Int, PlainLoad);
  OPERAND(right, r.instruction + 10, Int, PlainLoad);
  BRANCH(CompareVariablesJump, relation(left->integer, right->integer), r.instruction + 28);
}

template <bool kLocal>
[[gnu::always_inline]] inline Step constant_compare_jump(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction + 6, Int, PlainPushInt);
  BRANCH(ConstantCompareJump, relation(I32_AT(r.instruction + 2), variable->integer), r.instruction + 24);
}

// Operations folded with their operands.
template <bool kLocal>
[[gnu::always_inline]] inline Step fold_constant(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  INT_RESULT(int_operation_of(KIND(FoldConstant), r.instruction + 16, variable->integer, I32_AT(r.instruction + 12)),
             r.instruction + 18);
}

template <bool kLocal>
[[gnu::always_inline]] inline Step fold_statement(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  OPERAND(target, r.instruction + 18, Int, PlainLoad);
  int32_t value = int_operation_of(KIND(FoldStatement) >> 2, r.instruction + 16, variable->integer, I32_AT(r.instruction + 12));
  target->integer = int_statement(KIND(FoldStatement) & 3, r.instruction + 18, target->integer, value);
  r.ip = r.instruction + 28;
  TAKE_JUMP();
  return Step::Sequence;
}

// `v = w + K` and `v = w - K` into a local: the target is read from its
// slot without asking for its scope, and the constant is negated for a
// subtraction, which wraps the same way.
template <bool kLocal>
[[gnu::always_inline]] inline Step fold_assign(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  int32_t target = r.base + int16_t(load_u16le(r.instruction + 26));
  if (uint32_t(target) >= uint32_t(r.sp) || r.stack[target].type != ValueType::Int) return Step::PlainLoad;
  int32_t constant = I32_AT(r.instruction + 12);
  if (KIND(FoldAssign) != 0) constant = wrap_sub(0, constant);
  r.stack[target].integer = wrap_add(variable->integer, constant);
  r.ip = r.instruction + 28;
  TAKE_JUMP();
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step fold_variables(Machine& machine, Thread& thread, Registers& r) {
  FIRST(left, r.instruction, Int, PlainLoad);
  OPERAND(right, r.instruction + 10, Int, PlainLoad);
  INT_RESULT(int_operation_of(KIND(FoldVariables), r.instruction + 20, left->integer, right->integer),
             r.instruction + 22);
}

template <bool kLocal>
[[gnu::always_inline]] inline Step constant_fold(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction + 6, Int, PlainPushInt);
  INT_RESULT(int_operation_of(KIND(ConstantFold), r.instruction + 16, I32_AT(r.instruction + 2), variable->integer),
             r.instruction + 18);
}

// The value below takes the operation, and the result goes on.
template <bool kLocal>
[[gnu::always_inline]] inline Step operate_variable(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  if (r.sp < 2 || TOP.type != ValueType::Int) return Step::PlainLoad;
  --r.sp;
  INT_RESULT(int_operation_of(KIND(OperateVariable), r.instruction + 10, r.stack[r.sp].integer, variable->integer),
             r.instruction + 12);
}

// Statements.
template <bool kLocal>
[[gnu::always_inline]] inline Step statement(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  OPERAND(target, r.instruction + 10, Int, PlainLoad);
  target->integer = int_statement(KIND(Statement), r.instruction + 10, target->integer, variable->integer);
  r.ip = r.instruction + 20;
  TAKE_JUMP();
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step constant_statement(Machine& machine, Thread& thread, Registers& r) {
  FIRST(target, r.instruction + 6, Int, PlainPushInt);
  target->integer = int_statement(KIND(ConstantStatement), r.instruction + 6, target->integer, I32_AT(r.instruction + 2));
  r.ip = r.instruction + 16;
  TAKE_JUMP();
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step step(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  int step = load_u16le(r.instruction + 2) & variable_flags::kStepMask;
  variable->integer = wrap_add(variable->integer, (step == 1 || step == 3) ? 1 : -1);
  r.ip = r.instruction + 12;
  TAKE_JUMP();
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step load_int_return(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Int, PlainLoad);
  r.int_result = variable->integer;
  r.ip = r.instruction + 10;
  return Step::ReturnResult;
}

// Elements of int arrays reached directly; anything else (another element
// type, a missing array) runs as single instructions.
template <bool kLocal>
[[gnu::always_inline]] inline Step load_element_at(Machine& machine, Thread& thread, Registers& r) {
  FIRST(subscript, r.instruction, Int, PlainLoad);
  ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, r.instruction + 12));
  if (!array) return Step::PlainLoad;
  INT_RESULT(array->ints()[wrap_subscript(subscript->integer, array->size1)], r.instruction + 20);
}

template <bool kLocal>
[[gnu::always_inline]] inline Step load_element_at_2(Machine& machine, Thread& thread, Registers& r) {
  FIRST(row, r.instruction, Int, PlainLoad);
  OPERAND(column, r.instruction + 10, Int, PlainLoad);
  ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, r.instruction + 22));
  if (!array) return Step::PlainLoad;
  INT_RESULT(array->ints()[element_index(*array, row->integer, column->integer)], r.instruction + 30);
}

template <bool kLocal>
[[gnu::always_inline]] inline Step store_element_at(Machine& machine, Thread& thread, Registers& r) {
  FIRST(value, r.instruction, Int, PlainLoad);
  OPERAND(subscript, r.instruction + 10, Int, PlainLoad);
  ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, r.instruction + 22));
  if (!array) return Step::PlainLoad;
  array->ints()[wrap_subscript(subscript->integer, array->size1)] = value->integer;
  r.ip = r.instruction + 30;
  TAKE_JUMP();
  return Step::Sequence;
}

// The stored value lies below the subscripts; the single instruction reports
// a stack without it.
template <bool kLocal>
[[gnu::always_inline]] inline Step store_top_at(Machine& machine, Thread& thread, Registers& r) {
  FIRST(subscript, r.instruction, Int, PlainLoad);
  if (r.sp < 2 || TOP.type != ValueType::Int) return Step::PlainLoad;
  ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, r.instruction + 12));
  if (!array) return Step::PlainLoad;
  array->ints()[wrap_subscript(subscript->integer, array->size1)] = TOP.integer;
  --r.sp;
  r.ip = r.instruction + 20;
  TAKE_JUMP();
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step store_top_at_2(Machine& machine, Thread& thread, Registers& r) {
  FIRST(row, r.instruction, Int, PlainLoad);
  OPERAND(column, r.instruction + 10, Int, PlainLoad);
  if (r.sp < 2 || TOP.type != ValueType::Int) return Step::PlainLoad;
  ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, r.instruction + 22));
  if (!array) return Step::PlainLoad;
  array->ints()[element_index(*array, row->integer, column->integer)] = TOP.integer;
  --r.sp;
  r.ip = r.instruction + 30;
  TAKE_JUMP();
  return Step::Sequence;
}

// Floats.
template <bool kLocal>
[[gnu::always_inline]] inline Step float_fold(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Float, PlainLoad);
  float result = float_operation(OP_AT(r.instruction + 16), variable->real, float_at(r.instruction + 12));
  r.ip = r.instruction + 18;
  PUSH(make_float(result));
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step float_fold_statement(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Float, PlainLoad);
  OPERAND(target, r.instruction + 18, Float, PlainLoad);
  float value = float_operation(OP_AT(r.instruction + 16), variable->real, float_at(r.instruction + 12));
  target->real = script::float_statement(KIND(FloatFoldStatement), r.instruction + 18, target->real, value);
  r.ip = r.instruction + 28;
  TAKE_JUMP();
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step float_statement(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, Float, PlainLoad);
  OPERAND(target, r.instruction + 10, Float, PlainLoad);
  target->real = script::float_statement(KIND(FloatStatement), r.instruction + 10, target->real, variable->real);
  r.ip = r.instruction + 20;
  TAKE_JUMP();
  return Step::Sequence;
}

template <bool kLocal>
[[gnu::always_inline]] inline Step float_constant_statement(Machine& machine, Thread& thread, Registers& r) {
  FIRST(target, r.instruction + 6, Float, PlainPushFloat);
  target->real = script::float_statement(KIND(FloatConstantStatement), r.instruction + 6, target->real, float_at(r.instruction + 2));
  r.ip = r.instruction + 16;
  TAKE_JUMP();
  return Step::Sequence;
}

// Strings: literals are compared and joined where they lie in the code.
// Decoding checked that the literal lies inside the block and ends at its
// only NUL, so its length is its count less one.
#define LITERAL_AT(at) std::string_view(reinterpret_cast<const char*>((at) + 2), load_u16le(at) - 1u)

template <bool kLocal>
[[gnu::always_inline]] inline Step string_compare_jump(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, String, PlainLoad);
  std::string_view literal = LITERAL_AT(r.instruction + 12);
  unsigned mask = r.form - family_form<kLocal>(Form::StringCompareJump);
  BRANCH(StringCompareJump, text_relation(machine, variable->string->text(), literal, mask),
         r.instruction + 23 + literal.size());
}

template <bool kLocal>
[[gnu::always_inline]] inline Step string_variables_compare_jump(Machine& machine, Thread& thread, Registers& r) {
  FIRST(left, r.instruction, String, PlainLoad);
  OPERAND(right, r.instruction + 10, String, PlainLoad);
  unsigned mask = r.form - family_form<kLocal>(Form::StringVariablesCompareJump);
  BRANCH(StringVariablesCompareJump, text_relation(machine, left->string->text(), right->string->text(), mask),
         r.instruction + 28);
}

// A result beyond the string limit is left to the single instructions, which
// report it.
template <bool kLocal>
[[gnu::always_inline]] inline Step concat_constant(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, String, PlainLoad);
  std::string_view literal = LITERAL_AT(r.instruction + 12);
  std::string_view held = variable->string->text();
  if (held.size() + literal.size() > kMaxStringBytes) return Step::PlainLoad;
  r.ip = r.instruction + 17 + literal.size();
  PUSH(make_joined_string(held, literal));
  return Step::Sequence;
}

// `t = s + "literal"`. A target that alone holds a block of the result's
// size takes the new text in place, so a loop that builds texts of one
// length allocates nothing; otherwise a new block replaces the old one.
template <bool kLocal>
[[gnu::always_inline]] inline Step concat_assign(Machine& machine, Thread& thread, Registers& r) {
  FIRST(variable, r.instruction, String, PlainLoad);
  std::string_view literal = LITERAL_AT(r.instruction + 12);
  const uint8_t* store = r.instruction + 17 + literal.size();
  OPERAND(target, store, String, PlainLoad);
  std::string_view held = variable->string->text();
  size_t size = held.size() + literal.size();
  if (size > kMaxStringBytes) return Step::PlainLoad;
  StringBlock* block = target->string;
  if (block->references == 1 && size_t(block->size) == size + 1) {
    std::memmove(block->data(), held.data(), held.size());  // the held text may be this block's
    std::memcpy(block->data() + held.size(), literal.data(), literal.size());
  } else {
    target->string = make_joined_string(held, literal).string;
    release_string(block);
  }
  r.ip = store + 10;
  TAKE_JUMP();
  return Step::Sequence;
}

#undef LITERAL_AT



}  // namespace fused

}  // namespace
}  // namespace tavelo::script
