#pragma once
// The handlers of the operations on the values on top of the stack: int and
// float arithmetic, comparisons, string and array comparisons,
// concatenation, unary operations and conversions. What each computes lives
// in interpreter_values.h, shared with the fused forms. Included by
// interpreter.cpp only.

#include "script/interpreter_registers.h"
#include "script/interpreter_values.h"

namespace tavelo::script {
namespace {

// Numeric instructions meeting a string or array (only a broken file puts one
// there) take 0 instead, so that no block address is read or overwritten.
#define NUMERIC_OPERANDS()                                                                            \
  if ((uint16_t(SECOND.type) | uint16_t(TOP.type)) >= uint16_t(ValueType::String)) [[unlikely]] { \
    drop_reference(SECOND);                                                                           \
    drop_reference(TOP);                                                                              \
  }
#define NUMERIC_TOP() \
  if (uint16_t(TOP.type) >= uint16_t(ValueType::String)) [[unlikely]] drop_reference(TOP)

// Arithmetic, shifts and bitwise operations write the int's bits and keep
// the record's type (a float there keeps its tag, as it always has); logical
// operations and comparisons make an int.
constexpr bool keeps_type(Op op) {
  switch (op) {
    case Op::MulInt: case Op::DivInt: case Op::ModInt: case Op::AddInt: case Op::SubInt:
    case Op::ShiftRight: case Op::ShiftLeft: case Op::BitXor: case Op::BitAnd: case Op::BitOr: return true;
    default: return false;
  }
}

// An int operation (is_int_operation) on the two values on top.
template <Op kOp>
[[gnu::always_inline]] inline Step int_binary(Registers& r) {
  NUMERIC_OPERANDS();
  int32_t result = int_operation(kOp, SECOND.integer, TOP.integer);
  if constexpr (keeps_type(kOp)) {
    SECOND.integer = result;
  } else {
    SECOND = make_int(result);
  }
  --r.sp;
  return Step::Next;
}

// A float operation (is_float_operation); ints count as their value.
template <Op kOp>
[[gnu::always_inline]] inline Step float_binary(Registers& r) {
  NUMERIC_OPERANDS();
  SECOND = make_float(float_operation(kOp, as_float(SECOND), as_float(TOP)));
  --r.sp;
  return Step::Next;
}

// Float comparisons; less and greater-or-equal give -1 for true (scripts
// only test non-zero).
template <Op kOp>
[[gnu::always_inline]] inline Step float_comparison(Registers& r) {
  NUMERIC_OPERANDS();
  float a = as_float(SECOND), b = as_float(TOP);
  int32_t result = kOp == Op::LessEqualFloat      ? a <= b
                   : kOp == Op::LessFloat         ? (a < b ? -1 : 0)
                   : kOp == Op::GreaterEqualFloat ? (a >= b ? -1 : 0)
                   : kOp == Op::GreaterFloat      ? a > b
                   : kOp == Op::EqualFloat        ? a == b
                                                  : a != b;
  SECOND = make_int(result);
  --r.sp;
  return Step::Next;
}

[[gnu::always_inline]] inline Step concat(Machine& machine, Thread& thread, Registers& r) {
  save_registers(thread, r);
  Value joined = concatenate(machine, OP, SECOND, TOP);
  release_value(TOP);
  release_value(SECOND);
  SECOND = joined;
  --r.sp;
  STOP_IF_ENDING();
  return Step::Next;
}

// The string comparisons share one handler: the opcode picks the test.
#define TAVELO_STRING_COMPARISONS(X) \
  X(LessEqualString) X(LessString) X(GreaterEqualString) X(GreaterString) X(EqualString) X(NotEqualString)
[[gnu::always_inline]] inline Step string_comparison(Machine& machine, Registers& r) {
  int order = compare_strings(machine, SECOND, TOP);
  bool result = OP == Op::LessEqualString      ? order <= 0
                : OP == Op::LessString         ? order < 0
                : OP == Op::GreaterEqualString ? order >= 0
                : OP == Op::GreaterString      ? order > 0
                : OP == Op::EqualString        ? order == 0
                                               : order != 0;
  release_value(TOP);
  release_value(SECOND);
  SECOND = make_int(result);
  --r.sp;
  return Step::Next;
}

// Arrays compare by identity: the same block or not.
#define TAVELO_ARRAY_COMPARISONS(X)                                                        \
  X(EqualIntArray) X(EqualFloatArray) X(EqualStringArray) X(NotEqualIntArray) X(NotEqualFloatArray) \
  X(NotEqualStringArray)
[[gnu::always_inline]] inline Step array_comparison(Registers& r) {
  bool same = SECOND.bits == TOP.bits;
  bool equal_form = OP == Op::EqualIntArray || OP == Op::EqualFloatArray || OP == Op::EqualStringArray;
  release_value(TOP);
  release_value(SECOND);
  SECOND = make_int(equal_form ? same : !same);
  --r.sp;
  return Step::Next;
}

[[gnu::always_inline]] inline Step logical_not(Registers& r) {
  NUMERIC_TOP();
  TOP = make_int(TOP.type == ValueType::Float ? TOP.real == 0.0f : TOP.integer == 0);
  return Step::Next;
}

[[gnu::always_inline]] inline Step bit_not(Registers& r) {
  NUMERIC_TOP();
  TOP.integer = ~TOP.integer;
  return Step::Next;
}

[[gnu::always_inline]] inline Step negate_int(Registers& r) {
  NUMERIC_TOP();
  TOP.integer = wrap_sub(0, TOP.integer);
  return Step::Next;
}

[[gnu::always_inline]] inline Step negate_float(Registers& r) {
  NUMERIC_TOP();
  TOP.real = -TOP.real;
  return Step::Next;
}

[[gnu::always_inline]] inline Step float_to_int(Registers& r) {
  if (TOP.type == ValueType::Float) TOP = make_int(truncate_to_int(TOP.real));
  return Step::Next;
}

[[gnu::always_inline]] inline Step int_to_float(Registers& r) {
  if (TOP.type == ValueType::Int) TOP = make_float(float(TOP.integer));
  return Step::Next;
}

}  // namespace
}  // namespace tavelo::script
