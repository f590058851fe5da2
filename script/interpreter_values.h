#pragma once
// What the instructions compute, written once for the plain instructions and
// the fused forms alike: number conversions, int and float arithmetic with
// the engine's division rules, the assignment opcodes' table, comparisons,
// concatenation within the string limit, and the increment and unary bits of
// loads. Included by interpreter.cpp only (the loop must inline these).

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "resources/byte_reader.h"
#include "resources/multibyte.h"
#include "resources/state.h"
#include "script/decode.h"
#include "script/error_report.h"
#include "script/opcodes.h"
#include "script/state.h"
#include "script/value.h"

namespace tavelo::script {
namespace {

using resources::load_u16le;
using resources::load_u32le;

// Float to int as the x86 truncating conversion does it: values that do not
// fit (and NaN) become INT32_MIN instead of being undefined.
int32_t truncate_to_int(float value) {
  if (!(value > -2147483904.0f && value < 2147483648.0f)) return INT32_MIN;
  return int32_t(value);
}

// Numbers as the other numeric type. Strings and arrays count as 0: their
// payload is a block address, which must never leak into script values.
float as_float(const Value& value) {
  if (value.type == ValueType::Float) return value.real;
  return value.type == ValueType::Int ? float(value.integer) : 0.0f;
}
int32_t as_int(const Value& value) {
  if (value.type == ValueType::Float) return truncate_to_int(value.real);
  return value.type == ValueType::Int ? value.integer : 0;
}

int32_t wrap_add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
int32_t wrap_sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
int32_t wrap_mul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

// Division by zero gives the dividend times 10000; scripts rely on it.
int32_t divide_int(int32_t a, int32_t b) {
  if (b == 0) return wrap_mul(a, 10000);
  if (b == -1) return wrap_sub(0, a);
  return a / b;
}
int32_t remainder_int(int32_t a, int32_t b) {
  if (b == 0 || b == -1) return 0;
  return a % b;
}

enum class Arith : uint8_t { Assign, Mul, Div, Mod, Add, Sub, Shl, Shr, And, Xor, Or };

[[gnu::always_inline]] inline int32_t int_arith(Arith kind, int32_t a, int32_t b) {
  switch (kind) {
    case Arith::Assign: return b;
    case Arith::Mul: return wrap_mul(a, b);
    case Arith::Div: return divide_int(a, b);
    case Arith::Mod: return remainder_int(a, b);
    case Arith::Add: return wrap_add(a, b);
    case Arith::Sub: return wrap_sub(a, b);
    case Arith::Shl: return int32_t(uint32_t(a) << (b & 31));
    case Arith::Shr: return a >> (b & 31);
    case Arith::And: return a & b;
    case Arith::Xor: return a ^ b;
    case Arith::Or: return a | b;
  }
  return b;
}

// Float division by zero divides by 0.00001 for variables; array elements
// multiply by 10000.0 instead.
enum class Divisor { Variable, Element };
[[gnu::always_inline]] inline float float_arith(Arith kind, float a, float b, Divisor divisor) {
  switch (kind) {
    case Arith::Assign: return b;
    case Arith::Mul: return a * b;
    case Arith::Div:
      if (b == 0.0f) return divisor == Divisor::Element ? a * 10000.0f : a / 0.00001f;
      return a / b;
    case Arith::Add: return a + b;
    case Arith::Sub: return a - b;
    default: return b;
  }
}

// Assignment opcodes, described once: what they compute, on which type, and
// whether the statement form drops the value afterwards.
struct AssignInfo {
  Arith kind = Arith::Assign;
  ValueType type = ValueType::Int;
  bool pop = false;
};

constexpr AssignInfo assign_info(Op op) {
  switch (op) {
#define TAVELO_ASSIGN(name, arith, value_type) \
  case Op::name: return {Arith::arith, ValueType::value_type, false}; \
  case Op::name##Pop: return {Arith::arith, ValueType::value_type, true};
    TAVELO_ASSIGN(AssignInt, Assign, Int)
    TAVELO_ASSIGN(AssignFloat, Assign, Float)
    TAVELO_ASSIGN(AssignString, Assign, String)
    TAVELO_ASSIGN(AssignIntArray, Assign, IntArray)
    TAVELO_ASSIGN(AssignFloatArray, Assign, FloatArray)
    TAVELO_ASSIGN(AssignStringArray, Assign, StringArray)
    TAVELO_ASSIGN(MulAssignInt, Mul, Int)
    TAVELO_ASSIGN(MulAssignFloat, Mul, Float)
    TAVELO_ASSIGN(DivAssignInt, Div, Int)
    TAVELO_ASSIGN(DivAssignFloat, Div, Float)
    TAVELO_ASSIGN(ModAssignInt, Mod, Int)
    TAVELO_ASSIGN(AddAssignInt, Add, Int)
    TAVELO_ASSIGN(AddAssignFloat, Add, Float)
    TAVELO_ASSIGN(AddAssignString, Add, String)
    TAVELO_ASSIGN(SubAssignInt, Sub, Int)
    TAVELO_ASSIGN(SubAssignFloat, Sub, Float)
    TAVELO_ASSIGN(ShiftLeftAssign, Shl, Int)
    TAVELO_ASSIGN(ShiftRightAssign, Shr, Int)
    TAVELO_ASSIGN(AndAssign, And, Int)
    TAVELO_ASSIGN(XorAssign, Xor, Int)
    TAVELO_ASSIGN(OrAssign, Or, Int)
    TAVELO_ASSIGN(ElementAssignInt, Assign, Int)
    TAVELO_ASSIGN(ElementAssignFloat, Assign, Float)
    TAVELO_ASSIGN(ElementAssignString, Assign, String)
    TAVELO_ASSIGN(ElementMulAssignInt, Mul, Int)
    TAVELO_ASSIGN(ElementMulAssignFloat, Mul, Float)
    TAVELO_ASSIGN(ElementDivAssignInt, Div, Int)
    TAVELO_ASSIGN(ElementDivAssignFloat, Div, Float)
    TAVELO_ASSIGN(ElementModAssignInt, Mod, Int)
    TAVELO_ASSIGN(ElementAddAssignInt, Add, Int)
    TAVELO_ASSIGN(ElementAddAssignFloat, Add, Float)
    TAVELO_ASSIGN(ElementAddAssignString, Add, String)
    TAVELO_ASSIGN(ElementSubAssignInt, Sub, Int)
    TAVELO_ASSIGN(ElementSubAssignFloat, Sub, Float)
    TAVELO_ASSIGN(ElementShiftLeftAssign, Shl, Int)
    TAVELO_ASSIGN(ElementShiftRightAssign, Shr, Int)
    TAVELO_ASSIGN(ElementAndAssign, And, Int)
    TAVELO_ASSIGN(ElementXorAssign, Xor, Int)
    TAVELO_ASSIGN(ElementOrAssign, Or, Int)
#undef TAVELO_ASSIGN
    default: return {};
  }
}

constexpr std::array<AssignInfo, kOpcodeCount + 1> make_assign_infos() {
  std::array<AssignInfo, kOpcodeCount + 1> infos{};
  for (size_t i = 0; i < kOpcodeCount; ++i) infos[i] = assign_info(Op(i));
  return infos;
}
constexpr std::array<AssignInfo, kOpcodeCount + 1> kAssignInfos = make_assign_infos();

// What the statement whose opcode lies at `at` computes.
inline Arith statement_arith(const uint8_t* at) { return kAssignInfos[size_t(decode_opcode(load_u16le(at)))].kind; }

// A statement's new value, by the kind its form holds; other operations are
// read from the statement at `at`.
[[gnu::always_inline]] inline int32_t int_statement(unsigned kind, const uint8_t* at, int32_t current, int32_t value) {
  if (kind == unsigned(StatementKind::Add)) return wrap_add(current, value);
  if (kind == unsigned(StatementKind::Assign)) return value;
  if (kind == unsigned(StatementKind::Subtract)) return wrap_sub(current, value);
  return int_arith(statement_arith(at), current, value);
}
[[gnu::always_inline]] inline float float_statement(unsigned kind, const uint8_t* at, float current, float value) {
  if (kind == unsigned(StatementKind::Add)) return current + value;
  if (kind == unsigned(StatementKind::Assign)) return value;
  if (kind == unsigned(StatementKind::Subtract)) return current - value;
  return float_arith(statement_arith(at), current, value, Divisor::Variable);
}

// The result of an int operation the sequences fold (is_int_operation):
// exactly what its instruction gives for two ints, including the -1 of
// greater-or-equal.
[[gnu::always_inline]] inline int32_t int_operation(Op op, int32_t a, int32_t b) {
  switch (op) {
    case Op::MulInt: return wrap_mul(a, b);
    case Op::DivInt: return divide_int(a, b);
    case Op::ModInt: return remainder_int(a, b);
    case Op::AddInt: return wrap_add(a, b);
    case Op::SubInt: return wrap_sub(a, b);
    case Op::ShiftRight: return a >> (b & 31);
    case Op::ShiftLeft: return int32_t(uint32_t(a) << (b & 31));
    case Op::BitXor: return a ^ b;
    case Op::BitAnd: return a & b;
    case Op::BitOr: return a | b;
    case Op::LogicalAnd: return a != 0 && b != 0;
    case Op::LogicalOr: return a != 0 || b != 0;
    case Op::LessEqualInt: return a <= b;
    case Op::LessInt: return a < b;
    case Op::GreaterEqualInt: return a >= b ? -1 : 0;
    case Op::GreaterInt: return a > b;
    case Op::EqualInt: return a == b;
    case Op::NotEqualInt: return a != b;
    default: return 0;
  }
}

// An int operation by the kind its form holds; other operations are read
// from the instruction at `at`.
[[gnu::always_inline]] inline int32_t int_operation_of(unsigned kind, const uint8_t* at, int32_t a, int32_t b) {
  if (kind == unsigned(OperationKind::Add)) return wrap_add(a, b);
  if (kind == unsigned(OperationKind::Subtract)) return wrap_sub(a, b);
  if (kind == unsigned(OperationKind::Multiply)) return wrap_mul(a, b);
  return int_operation(decode_opcode(load_u16le(at)), a, b);
}

// The same for the float operations (is_float_operation).
[[gnu::always_inline]] inline float float_operation(Op op, float a, float b) {
  switch (op) {
    case Op::AddFloat: return a + b;
    case Op::SubFloat: return a - b;
    case Op::MulFloat: return a * b;
    default: return a / (b == 0.0f ? 0.00001f : b);
  }
}

// Relation of a to b as the jump masks count it: 0 less, 1 equal, 2 greater.
[[gnu::always_inline]] inline int relation(int32_t a, int32_t b) { return (a > b) - (a < b) + 1; }

// The relation of two texts for a string test. Equality tests (the masks that
// do not tell less from greater) need only whether the texts are equal, and
// texts that compare equal have the same bytes unless letters differ in
// case, so most of them are decided by the sizes or one memcmp.
[[gnu::always_inline]] inline int text_relation(Machine& machine, std::string_view a, std::string_view b, unsigned mask) {
  if (mask == 0b010 || mask == 0b101) {
    if (a.size() != b.size()) return 0;
    if (std::memcmp(a.data(), b.data(), a.size()) == 0) return 1;
  }
  int order = resources::compare_text(machine.resources.lead_bytes, a, b, resources::Case::Insensitive);
  return (order > 0) - (order < 0) + 1;
}

// Concatenation is the one way a script grows a string without bound (a
// string doubled 31 times would be 2 GiB): beyond kMaxStringBytes the result
// is cut on a character boundary, with a report naming the instruction.
[[gnu::noinline]] Value join_beyond_limit(Machine& machine, Op op, std::string_view a, std::string_view b) {
  std::string joined;
  joined.reserve(a.size() + b.size());
  joined.append(a).append(b);
  std::string cut = resources::cut_game_text(machine.resources.lead_bytes, joined, kMaxStringBytes);
  report_script_error(machine, "%s : 文字列が%dバイトを超えたので切り詰めました",
                      {opcode_info(op).mnemonic, int(kMaxStringBytes)});
  return make_string(cut);
}

Value concatenate(Machine& machine, Op op, const Value& left, const Value& right) {
  std::string_view a = left.type == ValueType::String ? left.string->text() : std::string_view{};
  std::string_view b = right.type == ValueType::String ? right.string->text() : std::string_view{};
  if (a.size() + b.size() > kMaxStringBytes) [[unlikely]] return join_beyond_limit(machine, op, a, b);
  return make_joined_string(a, b);
}

// Replaces a string or array by an int 0, releasing its block; a variable
// record keeps its name and scope.
void drop_reference(Value& value) {
  if (!is_reference_type(value.type)) return;
  release_value(value);
  value.type = ValueType::Int;
  value.bits = 0;
}

// The outcome of applying an assignment (op) to a stored value: the new
// stored value is written in place; strings build new blocks.
void apply_assignment(Machine& machine, Op op, const AssignInfo& info, Value& target, const Value& operand,
                      Divisor divisor) {
  switch (info.type) {
    case ValueType::Int: {
      // A string or array held here counts as 0; its block is released.
      drop_reference(target);
      int32_t current = as_int(target);
      target.integer = int_arith(info.kind, current, as_int(operand));
      target.type = ValueType::Int;
      break;
    }
    case ValueType::Float: {
      drop_reference(target);
      float current = as_float(target);
      target.real = float_arith(info.kind, current, as_float(operand), divisor);
      target.type = ValueType::Float;
      break;
    }
    case ValueType::String: {
      Value result;
      if (info.kind == Arith::Add) {
        result = concatenate(machine, op, target, operand);
      } else {
        result = operand;
        if (result.type == ValueType::String) retain_value(result);
        else result = make_string({});
      }
      release_value(target);
      target.type = ValueType::String;
      target.string = result.string;
      break;
    }
    default: {  // arrays: share the block
      Value result = operand;
      if (is_array_type(result.type)) retain_value(result);
      else result = make_default(info.type);
      release_value(target);
      target.type = result.type;
      target.array = result.array;
      break;
    }
  }
}

int compare_strings(Machine& machine, const Value& a, const Value& b) {
  std::string_view left = a.type == ValueType::String ? a.string->text() : std::string_view{};
  std::string_view right = b.type == ValueType::String ? b.string->text() : std::string_view{};
  return resources::compare_text(machine.resources.lead_bytes, left, right, resources::Case::Insensitive);
}

// Compares a case value with the selector: <0, 0, >0, or 2 when they cannot
// be ordered (strings and arrays in relational cases).
enum class CaseRelation { Less, Equal, Greater, Unordered };

CaseRelation relate(Machine& machine, const Value& top, const Value& selector) {
  bool top_number = top.type == ValueType::Int || top.type == ValueType::Float;
  bool selector_number = selector.type == ValueType::Int || selector.type == ValueType::Float;
  if (top_number && selector_number) {
    if (top.type == ValueType::Int && selector.type == ValueType::Int) {
      return top.integer < selector.integer ? CaseRelation::Less
             : top.integer > selector.integer ? CaseRelation::Greater : CaseRelation::Equal;
    }
    float a = as_float(top), b = as_float(selector);
    return a < b ? CaseRelation::Less : a > b ? CaseRelation::Greater : a == b ? CaseRelation::Equal : CaseRelation::Unordered;
  }
  if (top.type == ValueType::String && selector.type == ValueType::String) {
    return compare_strings(machine, top, selector) == 0 ? CaseRelation::Equal : CaseRelation::Unordered;
  }
  if (is_array_type(top.type) && top.type == selector.type) {
    return top.array == selector.array ? CaseRelation::Equal : CaseRelation::Unordered;
  }
  return CaseRelation::Unordered;
}

bool selector_mismatch(CaseRelation relation) { return relation != CaseRelation::Equal; }

// Applies the increment/decrement bits to an int or float in place and returns
// the value to push.
Value step_value(Value& stored, ValueType type, int step) {
  Value before = stored;
  if (step == 0) return before;
  int direction = (step == 1 || step == 3) ? 1 : -1;
  if (type == ValueType::Float) stored.real += float(direction);
  else if (type == ValueType::Int) stored.integer = wrap_add(stored.integer, direction);
  else return before;
  return step <= 2 ? stored : before;
}

void apply_unary(Value& value, int unary) {
  if (unary == 0) return;
  if (value.type == ValueType::Float) {
    if (unary == 1) value.real = -value.real;  // float loads honour only negate
    return;
  }
  if (value.type != ValueType::Int) return;
  if (unary == 1) value.integer = wrap_sub(0, value.integer);
  else if (unary == 2) value.integer = value.integer == 0;
  else value.integer = ~value.integer;
}

}  // namespace
}  // namespace tavelo::script
