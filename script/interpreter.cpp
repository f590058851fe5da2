// The interpreter loop.
//
// The code bytes are the only source of truth: frames keep byte positions, a
// waiting system call steps back to its own start, and call instructions and
// global-variable instructions cache what they resolved in their operand
// fields (a call-target index and a 16-bit slot hint). Code blocks are
// followed by zero padding, so fixed-size operands can be decoded before the
// size check. Each instruction is decoded once, the first time it runs
// (script/decode.h): its position and fixed operands are checked against the
// block and the result is cached per code position (CodeBlock::decoded), so a
// broken file ends its thread instead of running off its code, and the checks
// cost nothing afterwards. Decoding also recognises the short sequences
// compilers emit for loop tests, counters, accumulators, element accesses and
// string tests, which run here as one step each.

#include "script/interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "resources/byte_reader.h"
#include "resources/multibyte.h"
#include "resources/state.h"
#include "script/decode.h"
#include "script/error_report.h"
#include "script/loader.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/opcodes.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/syscall.h"
#include "script/thread.h"

// Computed goto is an extension of GCC and Clang; other compilers dispatch
// every instruction through the switch.
#if defined(__GNUC__)
#define TAVELO_THREADED_DISPATCH 1
#else
#define TAVELO_THREADED_DISPATCH 0
#endif

namespace tavelo::script {
namespace {

using resources::load_u16le;
using resources::load_u32le;

constexpr uint32_t kSelectorHash = 0x11F91FD3;

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

// What the plain instruction of a form does with an int a sequence has just
// computed, when it can take the int without the stack (the INT_RESULT
// block of the loop): store it by an int statement, use it as the subscript
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

}  // namespace

bool deadline_reached(uint32_t now, int32_t deadline) {
  if (deadline == 0 || deadline == kNoDeadline) return deadline == 0;
  int64_t difference = int64_t(now) - int64_t(uint32_t(deadline));
  if (difference >= 0) return true;
  return difference < -43200000;
}

namespace {

void report_code_fault(Machine& machine, Thread& thread, CodeFault fault, uint32_t detail) {
  const char* format = "";
  switch (fault) {
    case CodeFault::OutsideCode: format = "実行位置[%08X]がスクリプトのコードの外にあります"; break;
    case CodeFault::TruncatedOperand: format = "命令[%04X]のオペランドがコードの終わりで切れています"; break;
    case CodeFault::StackUnderflow: format = "スタックに積まれていない値を取り出しました"; break;
    case CodeFault::BadLocal: format = "ローカル変数の番号[%d]が範囲外です"; break;
    case CodeFault::BadOperand: format = "命令[%04X]のオペランドが不正です"; break;
  }
  if (machine.debug_mode) {
    report_script_error(machine, format, {detail});
  } else if (thread.id == 0) {
    show_box(machine, BoxKind::Error, format, {detail});
  }
  // A broken code block cannot be continued. Other threads end; the main
  // thread ends the engine, since restarting would meet the same fault.
  if (thread.id == 0) {
    request_exit(machine, 255);
  } else {
    thread.end_state = EndState::Free;
  }
  machine.slice_state = kSliceThreadEnded;
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

// Resolves the variable of a Variable operand; null when it does not exist.
// Sets fault for a local slot outside the stack or an unknown scope.
Value* find_operand_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp, int32_t base,
                             uint16_t flags, uint32_t hash, const uint8_t* hint_field, bool& fault) {
  int scope = (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  switch (scope) {
    case int(Scope::Local): {
      int32_t index = base + int16_t(load_u16le(hint_field));
      if (uint32_t(index) >= uint32_t(sp)) {
        fault = true;
        return nullptr;
      }
      return &stack[index];
    }
    case int(Scope::Eternal):
    case int(Scope::Global):
    case int(Scope::Thread): {
      VariableStore& store = scope == int(Scope::Eternal) ? machine.eternal
                             : scope == int(Scope::Global) ? machine.global : thread.store;
      uint16_t hint = load_u16le(hint_field);
      uint16_t before = hint;
      Value* found = store.find_with_hint(hash, hint);
      // The code block is the engine's own writable copy; the hint is cached
      // there. Thread variables use the field too: the hash is checked on
      // every use, so a hint from another thread's store only costs a search.
      if (hint != before) resources::store_u16le(const_cast<uint8_t*>(hint_field), hint);
      return found;
    }
    default: fault = true; return nullptr;
  }
}

// Creates a missing variable (scopes 0-2) holding value (whose reference moves in).
Value* create_operand_variable(Machine& machine, Thread& thread, uint16_t flags, uint32_t hash,
                               const uint8_t* hint_field, Value value) {
  int scope = (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  value.hash = hash;
  value.scope = Scope(scope);
  VariableStore& store = scope == int(Scope::Eternal) ? machine.eternal
                         : scope == int(Scope::Global) ? machine.global : thread.store;
  int32_t index = store.append(value);
  if (index <= 0x7FFF) resources::store_u16le(const_cast<uint8_t*>(hint_field), uint16_t(index));
  return &store.records[size_t(index)];
}

// The variable of a Variable operand (flags at operand, hash at + 2, slot or
// hint at + 6) when it can be reached without a search: a local slot below
// sp, or an eternal, global or thread variable at its slot hint. Null
// otherwise; the general path then decides. Sequences pass the stack top from
// before their own pushes, so a local slot that would name a value they have
// yet to push is not reached either.
[[gnu::always_inline]] inline Value* reach(Machine& machine, Thread& thread, Value* stack, int32_t sp, int32_t base,
                                           const uint8_t* operand) {
  uint16_t scope = (load_u16le(operand) & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  uint16_t hint = load_u16le(operand + 6);
  if (scope == uint16_t(Scope::Local)) {
    int32_t index = base + int16_t(hint);
    return uint32_t(index) < uint32_t(sp) ? &stack[index] : nullptr;
  }
  std::vector<Value>* records = scope == uint16_t(Scope::Global)    ? &machine.global.records
                                : scope == uint16_t(Scope::Thread)  ? &thread.store.records
                                : scope == uint16_t(Scope::Eternal) ? &machine.eternal.records
                                                                    : nullptr;
  if (!records || hint >= records->size()) return nullptr;
  Value* variable = &(*records)[hint];
  return variable->hash == load_u32le(operand + 2) ? variable : nullptr;
}

// The variable a sequence's instruction at `at` names (a load, or the target
// of a statement), when it is reached without a search and holds a value of
// the type; null otherwise. The local variant reads the slot without asking
// for the scope: decoding chose it for a local operand.
template <bool kLocal>
[[gnu::always_inline]] inline Value* sequence_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp,
                                                       int32_t base, const uint8_t* at, ValueType type) {
  Value* variable;
  if constexpr (kLocal) {
    int32_t index = base + int16_t(load_u16le(at + 8));
    if (uint32_t(index) >= uint32_t(sp)) return nullptr;
    variable = &stack[index];
  } else {
    variable = reach(machine, thread, stack, sp, base, at + 2);
    if (!variable) return nullptr;
  }
  return variable->type == type ? variable : nullptr;
}

// The same for any operand, with the scope asked.
[[gnu::always_inline]] inline Value* operand_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp,
                                                      int32_t base, const uint8_t* at, ValueType type) {
  Value* variable = reach(machine, thread, stack, sp, base, at + 2);
  return variable && variable->type == type ? variable : nullptr;
}

void report_type_mismatch(Machine& machine) {
  report_script_error(machine, "発見した変数のタイプが違うエラー\nスタックに積まれて居ないのに参照したんではないか？");
}


// Subscripts wrap around a dimension instead of failing: -1 is the last
// element. Game scripts rely on it.
// A subscript already inside the dimension needs no division.
[[gnu::always_inline]] inline int32_t wrap_subscript(int32_t subscript, int32_t size) {
  if (size > 0 && uint32_t(subscript) < uint32_t(size)) [[likely]] return subscript;
  if (size <= 0) return 0;
  int32_t remainder = subscript % size;
  return remainder < 0 ? remainder + size : remainder;
}

// The array variable of an element operand. A missing array is reported and
// created as a one-element array of the operand's type.
Value* find_array_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp, int32_t base,
                           uint16_t flags, uint32_t hash, const uint8_t* hint_field, ValueType array_type,
                           bool& fault) {
  Value* variable = find_operand_variable(machine, thread, stack, sp, base, flags, hash, hint_field, fault);
  if (fault || variable) return variable;
  report_script_error(machine, "Array : イニシャライズされていない配列を参照しました");
  return create_operand_variable(machine, thread, flags, hash, hint_field, make_default(array_type));
}

// A subscript as an int; a string or array there (a broken file) counts as 0.
inline int32_t subscript_value(const Value& record) { return as_int(record); }

// Releases the count values below end (subscripts that found no array).
// Out of line: the error path inlined into the loop cost calls 15 % through
// the register allocation of the whole loop.
[[gnu::noinline]] void release_values(Value* end, int count) {
  while (count-- > 0) release_value(*--end);
}

// The element index of count subscripts lying below end (the first one
// topmost); subscripts wrap around each dimension. The caller then releases
// the subscripts (release_values).
int32_t array_index(Machine& machine, const ArrayBlock& array, const Value* end, int count) {
  if (array.size3 == 0) report_script_error(machine, "配列が初期化されていません。");
  int32_t k1 = wrap_subscript(subscript_value(end[-1]), array.size1);
  if (count == 1) return k1;
  int32_t k2 = wrap_subscript(subscript_value(end[-2]), array.size2);
  if (count == 2) return array.size1 * k2 + k1;
  int32_t k3 = wrap_subscript(subscript_value(end[-3]), array.size3);
  return (array.size2 * k3 + k2) * array.size1 + k1;
}

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

// ---- cold instructions
// Kept out of the dispatch loop so that its hot cases stay close together.
// Each runs with the loop's state saved (thread.sp, the frame's position); the
// loop reloads afterwards.

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


// A jump target: offset from `from` (the end of the jump's operand) in the
// block [begin, end); null outside.
[[gnu::always_inline]] inline const uint8_t* jump_target(const uint8_t* begin, const uint8_t* end,
                                                         const uint8_t* from, int32_t offset) {
  int64_t target = int64_t(from - begin) + offset;
  return uint64_t(target) < uint64_t(end - begin) ? begin + target : nullptr;
}
// The target of a jump inside a decoded form: decoding made the form only
// for a target inside the block, and code bytes other than the cache fields
// never change, so it needs no check when it runs.
[[gnu::always_inline]] inline const uint8_t* decoded_jump_target(const uint8_t* from, int32_t offset) {
  return from + offset;
}

// The block of an int array variable the sequences and inline paths index
// directly; null for anything else.
[[gnu::always_inline]] inline ArrayBlock* int_array(Value* variable) {
  if (!variable || variable->type != ValueType::IntArray) return nullptr;
  ArrayBlock* array = variable->array;
  return array->size1 > 0 && array->size2 > 0 ? array : nullptr;
}

// The element of a two-dimensional index, as array_index computes it.
[[gnu::always_inline]] inline int32_t element_index(const ArrayBlock& array, int32_t row, int32_t column) {
  return array.size1 * wrap_subscript(row, array.size2) + wrap_subscript(column, array.size1);
}

inline float float_at(const uint8_t* at) {
  uint32_t bits = load_u32le(at);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

// Numeric instructions meeting a string or array (only a broken file puts one
// there) take 0 instead, so that no block address is read or overwritten.
#define NUMERIC_OPERANDS()                                                              \
  if ((uint16_t(SECOND.type) | uint16_t(TOP.type)) >= uint16_t(ValueType::String)) [[unlikely]] { \
    drop_reference(SECOND);                                                             \
    drop_reference(TOP);                                                                \
  }
#define NUMERIC_TOP() \
  if (uint16_t(TOP.type) >= uint16_t(ValueType::String)) [[unlikely]] drop_reference(TOP)

}  // namespace

void run_slice(Machine& machine, Thread& thread) {
  machine.slice_state = kSliceRunning;
  make_current(machine, &thread);
  if (!thread.frame().position) {
    execute_return(machine, thread);
    if (machine.slice_state != kSliceRunning) return;
  }

  // Everything the loop keeps in locals, written back (SAVE) before anything
  // that can yield, report, call a handler or grow the stack, and read again
  // (LOAD) afterwards.
  Frame* fp;
  const uint8_t* ip;
  int32_t base;          // the frame's base: local slot 0
  Value* stack;
  int32_t sp;
  int32_t stack_limit;   // pushes beyond it grow the stack first
  const CodeBlock* code = nullptr;  // the block the three below describe
  const uint8_t* code_begin = nullptr;
  const uint8_t* code_end = nullptr;
  DecodedForm* decoded = nullptr;  // the decoded forms of the frame's code block
  // The address of a position's form less twice the position: the form of
  // the instruction at p is read without the block's start (FORM_AT), which
  // saves a register and a subtraction on every step. Unsigned arithmetic,
  // wrapping as it may; the sum is the form's address.
  uintptr_t decoded_bias = 0;
  DecodedForm no_code[1] = {kNotDecoded};
static_assert(sizeof(DecodedForm) == 2, "FORM_AT scales positions by two");
#define FORM_AT(p) (*reinterpret_cast<const DecodedForm*>(decoded_bias + 2 * reinterpret_cast<uintptr_t>(p)))
  // The loop's state lives in registers only if no address of it escapes:
  // no lambda captures it and no function takes it by reference. Helpers that
  // change it are macros or return the new value.
  //
  // Calls and returns mostly stay in one block; a frame without a block
  // decodes as outside the code.
#define SWITCH_CODE(block)                                \
  do {                                                    \
    code = (block);                                       \
    code_begin = code ? code->begin() : ip;               \
    code_end = code ? code->end() : ip;                   \
    decoded = code ? code->decoded.get() : no_code;       \
    decoded_bias = reinterpret_cast<uintptr_t>(decoded) - 2 * reinterpret_cast<uintptr_t>(code_begin); \
  } while (0)
#define LOAD()                                               \
  do {                                                       \
    fp = &thread.frame();                                    \
    ip = fp->position;                                       \
    base = fp->base;                                         \
    if (fp->code != code || !code) SWITCH_CODE(fp->code);    \
    stack = thread.stack();                                  \
    sp = thread.sp;                                          \
    stack_limit = thread.capacity() - 8;                     \
  } while (0)
  LOAD();
  const uint8_t* instruction = ip;

// The frame's depth is kept only here: calls and returns in the loop move
// the frame pointer alone.
#define SAVE() (thread.sp = sp, fp->position = ip, thread.depth = int(fp - thread.frames.data()))
#define FAULT(kind, detail)                               \
  do {                                                    \
    SAVE();                                               \
    report_code_fault(machine, thread, kind, detail);      \
    return;                                               \
  } while (0)
#define JUMP_TO(offset)                                                          \
  do {                                                                           \
    int64_t target_ = int64_t(ip - code_begin) + int64_t(int32_t(offset));   \
    if (target_ < 0 || target_ >= int64_t(code_end - code_begin)) {          \
      ip = instruction;                                                        \
      FAULT(CodeFault::OutsideCode, uint32_t(target_));                          \
    }                                                                            \
    ip = code_begin + target_;                                               \
  } while (0)
// A jump target computed without jumping; null when outside the block.
#define TARGET_OF(offset, out)                                                   \
  do {                                                                           \
    int64_t target_ = int64_t(ip - code_begin) + int64_t(int32_t(offset));  \
    if (target_ < 0 || target_ >= int64_t(code_end - code_begin)) {         \
      ip = instruction;                                                        \
      FAULT(CodeFault::OutsideCode, uint32_t(target_));                          \
    }                                                                            \
    out = code_begin + target_;                                                \
  } while (0)
#define TOP stack[sp - 1]
#define SECOND stack[sp - 2]
// Growing the stack is where a runaway script meets the stack limit: the
// check costs nothing on pushes that fit. True when within the limit.
#define GROW_STACK(extra)                                                                      \
  (thread.sp = sp, stack_grown = ensure_stack(thread, (extra)), stack = thread.stack(),       \
   stack_limit = thread.capacity() - 8, stack_grown)
  bool stack_grown = true;
#define STACK_OVERFLOW()                                 \
  do {                                                   \
    SAVE();                                              \
    report_stack_overflow(machine, Overflow::Values);    \
    return;                                              \
  } while (0)
#define ENSURE_STACK(extra)                                                    \
  do {                                                                         \
    if (sp + (extra) >= stack_limit && !GROW_STACK(extra)) [[unlikely]] STACK_OVERFLOW(); \
  } while (0)
// After a report: the user may have chosen to end the engine.
#define STOP_IF_ENDING()    \
  do {                      \
    if (machine.stopping()) { \
      SAVE();               \
      return;               \
    }                       \
  } while (0)
#define CHECK_SLICE()                                                \
  do {                                                               \
    if (machine.slice_state != kSliceRunning || machine.stopping()) {   \
      SAVE();                                                        \
      return;                                                        \
    }                                                                \
  } while (0)
// The value is taken before the stack may grow: it may be read from a local
// variable, which lives in the stack.
#define PUSH(value)                                                   \
  do {                                                                \
    Value pushed_ = (value);                                          \
    if (sp + 1 >= stack_limit && !GROW_STACK(1)) [[unlikely]] {       \
      /* the stack has room: the value goes where the thread frees it */ \
      stack[sp++] = pushed_;                                          \
      STACK_OVERFLOW();                                               \
    }                                                                 \
    stack[sp++] = pushed_;                                            \
  } while (0)

  DecodedForm form;
  int32_t int_result = 0;  // see INT_RESULT
  // The plain instruction a form runs (sequences that fall back set form to
  // their first instruction's form where the instruction needs it).
#define OP Op(form - 1)
// Before each instruction: a malformed one may have popped the stack empty.
// Sequences never take the stack below where they found it, so the check
// follows only plain instructions.
#define CHECK_STACK() \
  if (sp < 1) [[unlikely]] FAULT(CodeFault::StackUnderflow, 0)
#define DECODE_NEXT()                                              \
  FUZZ_BUDGET();                                                   \
  instruction = ip;                                                \
  form = FORM_AT(ip);                                 \
  ip += 2
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
  // Fuzzed code loops for ever as easily as it ends; the fuzz build ends the
  // engine after a fixed number of instructions per slice. A system call
  // counts as a thousand: one may copy a whole page.
  int64_t fuzz_instructions_left = 100000;
#define FUZZ_BUDGET()                              \
  if (--fuzz_instructions_left < 0) {              \
    SAVE();                                        \
    request_exit(machine, 0);                 \
    return;                                        \
  }
#define FUZZ_CHARGE_SYSCALL() fuzz_instructions_left -= 999
#else
#define FUZZ_BUDGET()
#define FUZZ_CHARGE_SYSCALL()
#endif
#define FOUR_CASES(form_name, from)                \
  case DecodedForm(Form::form_name) + (from):     \
  case DecodedForm(Form::form_name) + (from) + 1: \
  case DecodedForm(Form::form_name) + (from) + 2: \
  case DecodedForm(Form::form_name) + (from) + 3:
#if TAVELO_THREADED_DISPATCH
  // One table entry per form of a family (both dispatch tables).
#define REPEAT_1(label) label,
#define REPEAT_2(label) label, label,
#define REPEAT_4(label) label, label, label, label,
#define REPEAT_8(label) REPEAT_4(label) REPEAT_4(label)
#define REPEAT_16(label) REPEAT_8(label) REPEAT_8(label)
  // Every instruction ends with its own indirect jump to the next one, so
  // each jump is predicted from its own history.
  static constexpr const void* kDispatch[] = {
      &&not_decoded,
#define TAVELO_OPCODE(raw_value, name, mnemonic, layout, meaning) &&label_##name,
#include "script/opcodes.def"
#undef TAVELO_OPCODE
      &&label_Invalid,
      &&form_Jump,
      &&form_OperateConstant, &&form_OperateConstant, &&form_OperateConstant, &&form_OperateConstant,
      &&form_ConstantReturn,
#define TAVELO_FAMILY(name, width) REPEAT_##width(&&form_Local##name)
      TAVELO_SEQUENCE_FAMILIES(TAVELO_FAMILY)
#undef TAVELO_FAMILY
#define TAVELO_FAMILY(name, width) REPEAT_##width(&&form_##name)
      TAVELO_SEQUENCE_FAMILIES(TAVELO_FAMILY)
#undef TAVELO_FAMILY
  };
  static_assert(std::size(kDispatch) == kFormCount, "one entry per form");
  // What each form does with an int a sequence computed before it (the
  // consume_ blocks below, by kConsumers): one indirect jump per step.
#define CONSUMER_LABEL(f)                                                           \
  (kConsumers[f].consumer == Consumer::Statement      ? &&consume_statement        \
   : kConsumers[f].consumer == Consumer::Operation    ? &&consume_operation        \
   : kConsumers[f].consumer == Consumer::Constant     ? &&consume_constant         \
   : kConsumers[f].consumer == Consumer::ElementLoad  ? &&consume_element_load     \
   : kConsumers[f].consumer == Consumer::ElementStore ? &&consume_element_store    \
   : kConsumers[f].consumer == Consumer::Return       ? &&consume_return           \
   : kConsumers[f].consumer == Consumer::Branch       ? &&consume_branch           \
   : kConsumers[f].consumer == Consumer::Call         ? &&consume_call             \
                                                      : &&consume_none)
  static constexpr const void* kConsumerDispatch[] = {
      &&consume_none,
#define TAVELO_OPCODE(raw_value, name, mnemonic, layout, meaning) CONSUMER_LABEL(plain_form(Op::name)),
#include "script/opcodes.def"
#undef TAVELO_OPCODE
      &&consume_none,  // Invalid
      &&consume_none,  // Jump
      CONSUMER_LABEL(DecodedForm(Form::OperateConstant)), CONSUMER_LABEL(DecodedForm(Form::OperateConstant) + 1),
      CONSUMER_LABEL(DecodedForm(Form::OperateConstant) + 2), CONSUMER_LABEL(DecodedForm(Form::OperateConstant) + 3),
      &&consume_none,  // ConstantReturn
#define TAVELO_FAMILY(name, width) REPEAT_##width(&&consume_none) REPEAT_##width(&&consume_none)
      TAVELO_SEQUENCE_FAMILIES(TAVELO_FAMILY)
#undef TAVELO_FAMILY
#undef REPEAT_1
#undef REPEAT_2
#undef REPEAT_4
#undef REPEAT_8
#undef REPEAT_16
  };
#undef CONSUMER_LABEL
  static_assert(std::size(kConsumerDispatch) == kFormCount, "one entry per form");
#define CONSUME_NEXT()                  \
  do {                                  \
    form = FORM_AT(ip);    \
    goto* kConsumerDispatch[form];      \
  } while (0)
#define CASE(name)             \
  case plain_form(Op::name):   \
  label_##name:
#define FORM_CASE_(name)           \
  case DecodedForm(Form::name):    \
  form_##name:
#define FORM_CASE2_(name)              \
  case DecodedForm(Form::name):        \
  case DecodedForm(Form::name) + 1:    \
  form_##name:
#define FORM_CASE4_(name) \
  FOUR_CASES(name, 0)     \
  form_##name:
#define FORM_CASE8_(name) \
  FOUR_CASES(name, 0)     \
  FOUR_CASES(name, 4)     \
  form_##name:
#define FORM_CASE16_(name) \
  FOUR_CASES(name, 0)      \
  FOUR_CASES(name, 4)      \
  FOUR_CASES(name, 8)      \
  FOUR_CASES(name, 12)     \
  form_##name:
#define NOT_DECODED_LABEL not_decoded:
#define NEXT()                 \
  do {                         \
    CHECK_STACK();             \
    DECODE_NEXT();             \
    goto* kDispatch[form];     \
  } while (0)
#define SEQUENCE_NEXT()        \
  do {                         \
    DECODE_NEXT();             \
    goto* kDispatch[form];     \
  } while (0)
#else
#define CASE(name) case plain_form(Op::name):
#define FORM_CASE_(name) case DecodedForm(Form::name):
#define FORM_CASE2_(name) case DecodedForm(Form::name): case DecodedForm(Form::name) + 1:
#define FORM_CASE4_(name) FOUR_CASES(name, 0)
#define FORM_CASE8_(name) FOUR_CASES(name, 0) FOUR_CASES(name, 4)
#define FORM_CASE16_(name) FOUR_CASES(name, 0) FOUR_CASES(name, 4) FOUR_CASES(name, 8) FOUR_CASES(name, 12)
#define NOT_DECODED_LABEL
#define CONSUME_NEXT() goto int_result_block
#define NEXT() break
#define SEQUENCE_NEXT() break
#endif
// The sequences' form names are made by a macro (sequences.inc).
#define FORM_CASE(name) FORM_CASE_(name)
#define FORM_CASE2(name) FORM_CASE2_(name)
#define FORM_CASE4(name) FORM_CASE4_(name)
#define FORM_CASE8(name) FORM_CASE8_(name)
#define FORM_CASE16(name) FORM_CASE16_(name)
// The variable of a sequence's instruction at `at` (local or any-scope
// variant), or of its other operands; when it cannot be reached directly or
// holds another type, the single instructions run from the start (fallback).
#define FIRST_IN_PASS(name, at, value_type, fallback, local)                                               \
  Value* name = sequence_variable<local>(machine, thread, stack, sp, base, (at), ValueType::value_type); \
  if (!name) goto fallback
#define OPERAND(name, at, value_type, fallback)                                                  \
  Value* name = operand_variable(machine, thread, stack, sp, base, (at), ValueType::value_type); \
  if (!name) goto fallback
#define I32_AT(at) int32_t(load_u32le(at))
#define OP_AT(at) decode_opcode(load_u16le(at))
// A statement usually ends a loop body: the jump back is taken at once.
#define TAKE_JUMP()                                                            \
  if (FORM_AT(ip) == DecodedForm(Form::Jump)) ip = decoded_jump_target(ip + 6, I32_AT(ip + 2))
// An int result a sequence has computed, with the next instruction at next:
// the INT_RESULT block hands it to the plain instructions that follow as far
// as they can take it without the stack, and pushes it otherwise.
#define INT_RESULT(value, next) \
  do {                          \
    int_result = (value);       \
    ip = (next);                \
    CONSUME_NEXT();             \
  } while (0)
// A test's jump, by the relation of its operands; the jump's offset lies at
// end - 4.
#define BRANCH(first, relation_, end)                                \
  do {                                                                         \
    if (jump_taken(form - DecodedForm(Form::first), (relation_))) {            \
      ip = decoded_jump_target((end), I32_AT((end) - 4));                     \
    } else {                                                                   \
      ip = (end);                                                              \
    }                                                                          \
    SEQUENCE_NEXT();                                                           \
  } while (0)


  // One switch over the decoded forms: plain instructions, sequences, and the
  // form not decoded yet. The loop runs until an out-of-line operation ends
  // the slice; those operations are followed by CHECK_SLICE.
  for (;;) {
    CHECK_STACK();
    DECODE_NEXT();
    switch (form) {
      case kNotDecoded:
      NOT_DECODED_LABEL {
        ip = instruction;
        Decoding decoding = decode_instruction(code_begin, code_end, ip);
        if (decoding.form == kNotDecoded) FAULT(decoding.fault, decoding.detail);
        decoded[ip - code_begin] = decoding.form;
        NEXT();
      }

      // ---- sequences
      FORM_CASE(Jump) {
        ip = decoded_jump_target(instruction + 6, I32_AT(instruction + 2));
        SEQUENCE_NEXT();
      }
      // The value below takes the operation, and the result goes on.
      FORM_CASE4(OperateConstant) {
        if (sp < 2 || TOP.type != ValueType::Int) goto plain_push_int;
        --sp;
        INT_RESULT(int_operation_of(form - DecodedForm(Form::OperateConstant), instruction + 6, stack[sp].integer,
                                    I32_AT(instruction + 2)),
                   instruction + 8);
      }

      FORM_CASE(ConstantReturn) INT_RESULT(I32_AT(instruction + 2), instruction + 6);

      // An int a sequence computed, with the next instruction at ip. Each
      // step gives exactly what the plain instruction would with the int on
      // the stack above the others (the checks are its own inline checks;
      // a local slot at the int's place is not reached); anything else
      // pushes the int for the plain instruction.
#if !TAVELO_THREADED_DISPATCH
      int_result_block:
        form = FORM_AT(ip);
        switch (kConsumers[form].consumer) {
          case Consumer::Statement: goto consume_statement;
          case Consumer::Operation: goto consume_operation;
          case Consumer::Constant: goto consume_constant;
          case Consumer::ElementLoad: goto consume_element_load;
          case Consumer::ElementStore: goto consume_element_store;
          case Consumer::Return: goto consume_return;
          case Consumer::Branch: goto consume_branch;
          case Consumer::Call: goto consume_call;
          case Consumer::None: goto consume_none;
        }
        goto consume_none;
#endif
      // Most results go to the stack (a call's argument, a value below).
      consume_none: {
        PUSH(make_int(int_result));
        SEQUENCE_NEXT();
      }
      // An argument computed just before the call (f(n - 1)): the call runs
      // without a second dispatch.
      consume_call: {
        PUSH(make_int(int_result));
        DECODE_NEXT();
        goto call_instruction;
      }
      consume_statement: {
        Value* target = operand_variable(machine, thread, stack, sp, base, ip, ValueType::Int);
        if (!target) goto consume_none;
        target->integer = int_statement(kConsumers[form].kind, ip, target->integer, int_result);
        ip += 10;
        TAKE_JUMP();
        SEQUENCE_NEXT();
      }
      consume_operation: {
        if (sp < 2 || TOP.type != ValueType::Int) goto consume_none;
        int_result = int_operation_of(kConsumers[form].kind, ip, TOP.integer, int_result);
        --sp;
        ip += 2;
        CONSUME_NEXT();
      }
      consume_constant: {
        int_result = int_operation_of(kConsumers[form].kind, ip + 6, int_result, I32_AT(ip + 2));
        ip += 8;
        CONSUME_NEXT();
      }
      consume_element_load: {
        uint16_t flags = load_u16le(ip + 2) & ~variable_flags::kScopeMask;
        ArrayBlock* array = int_array(reach(machine, thread, stack, sp, base, ip + 2));
        if (!array) goto consume_none;
        if (flags == kIntElementOne) {
          int_result = array->ints()[wrap_subscript(int_result, array->size1)];
        } else if (flags == kIntElementTwo && sp >= 2 && TOP.type == ValueType::Int) {
          int_result = array->ints()[element_index(*array, TOP.integer, int_result)];
          --sp;
        } else {
          goto consume_none;
        }
        ip += 10;
        CONSUME_NEXT();
      }
      consume_element_store: {
        uint16_t flags = load_u16le(ip + 2);
        if ((flags & variable_flags::kSubscriptMask) != (1 << variable_flags::kSubscriptShift) || sp < 2 ||
            TOP.type != ValueType::Int) {
          goto consume_none;
        }
        ArrayBlock* array = int_array(reach(machine, thread, stack, sp, base, ip + 2));
        if (!array) goto consume_none;
        array->ints()[wrap_subscript(int_result, array->size1)] = TOP.integer;
        --sp;
        ip += 10;
        TAKE_JUMP();
        SEQUENCE_NEXT();
      }
      // The common return as the plain one makes it, with the int as the
      // result; a kept result goes on to the caller's next instructions as
      // if it lay on the caller's stack.
      consume_return: {
        if (fp->end_handler || fp == thread.frames.data()) goto consume_none;
        Frame* caller = fp - 1;
        int32_t saved_top = std::max(caller->top, 1);
        if (sp + 1 <= saved_top || !caller->position) goto consume_none;
        Value* first = stack + saved_top;
        Value* end = stack + sp;
        if (hold_references(first, end)) [[unlikely]] release_range(first, end);
        sp = saved_top;
        fp = caller;
        base = caller->base;
        ip = caller->position;
        if (caller->code != code || !code) SWITCH_CODE(caller->code);
        if (!caller->discard_result) CONSUME_NEXT();
        SEQUENCE_NEXT();
      }
      consume_branch: {
        const uint8_t* target = jump_target(code_begin, code_end, ip + 6, I32_AT(ip + 2));
        if (!target) goto consume_none;
        ip = (int_result != 0) == bool(kConsumers[form].kind) ? target : ip + 6;
        SEQUENCE_NEXT();
      }
#define SEQUENCE(name) Local##name
#define FIRST(name, at, value_type, fallback) FIRST_IN_PASS(name, at, value_type, fallback, true)
#include "script/sequences.inc"
#undef SEQUENCE
#undef FIRST
#define SEQUENCE(name) name
#define FIRST(name, at, value_type, fallback) FIRST_IN_PASS(name, at, value_type, fallback, false)
#include "script/sequences.inc"
#undef SEQUENCE
#undef FIRST

      // ---- binary arithmetic
      CASE(MulInt) NUMERIC_OPERANDS(); SECOND.integer = wrap_mul(SECOND.integer, TOP.integer); --sp; NEXT();
      CASE(DivInt) NUMERIC_OPERANDS(); SECOND.integer = divide_int(SECOND.integer, TOP.integer); --sp; NEXT();
      CASE(ModInt) NUMERIC_OPERANDS(); SECOND.integer = remainder_int(SECOND.integer, TOP.integer); --sp; NEXT();
      CASE(AddInt) NUMERIC_OPERANDS(); SECOND.integer = wrap_add(SECOND.integer, TOP.integer); --sp; NEXT();
      CASE(SubInt) NUMERIC_OPERANDS(); SECOND.integer = wrap_sub(SECOND.integer, TOP.integer); --sp; NEXT();
      CASE(ShiftRight) NUMERIC_OPERANDS(); SECOND.integer = SECOND.integer >> (TOP.integer & 31); --sp; NEXT();
      CASE(ShiftLeft) NUMERIC_OPERANDS(); SECOND.integer = int32_t(uint32_t(SECOND.integer) << (TOP.integer & 31)); --sp; NEXT();
      CASE(BitXor) NUMERIC_OPERANDS(); SECOND.integer ^= TOP.integer; --sp; NEXT();
      CASE(BitAnd) NUMERIC_OPERANDS(); SECOND.integer &= TOP.integer; --sp; NEXT();
      CASE(BitOr) NUMERIC_OPERANDS(); SECOND.integer |= TOP.integer; --sp; NEXT();
      CASE(LogicalAnd) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer != 0 && TOP.integer != 0); --sp; NEXT();
      CASE(LogicalOr) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer != 0 || TOP.integer != 0); --sp; NEXT();
      CASE(MulFloat) NUMERIC_OPERANDS(); SECOND = make_float(as_float(SECOND) * as_float(TOP)); --sp; NEXT();
      CASE(DivFloat) {
        NUMERIC_OPERANDS();
        float divisor = as_float(TOP);
        if (divisor == 0.0f) divisor = 0.00001f;
        SECOND = make_float(as_float(SECOND) / divisor);
        --sp;
        NEXT();
      }
      CASE(AddFloat) NUMERIC_OPERANDS(); SECOND = make_float(as_float(SECOND) + as_float(TOP)); --sp; NEXT();
      CASE(SubFloat) NUMERIC_OPERANDS(); SECOND = make_float(as_float(SECOND) - as_float(TOP)); --sp; NEXT();
      CASE(Concat) {
        SAVE();
        Value joined = concatenate(machine, OP, SECOND, TOP);
        release_value(TOP);
        release_value(SECOND);
        SECOND = joined;
        --sp;
        STOP_IF_ENDING();
        NEXT();
      }

      // ---- comparisons (some yield -1 for true; scripts only test non-zero)
      CASE(LessEqualInt) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer <= TOP.integer); --sp; NEXT();
      CASE(LessInt) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer < TOP.integer); --sp; NEXT();
      CASE(GreaterEqualInt) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer >= TOP.integer ? -1 : 0); --sp; NEXT();
      CASE(GreaterInt) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer > TOP.integer); --sp; NEXT();
      CASE(EqualInt) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer == TOP.integer); --sp; NEXT();
      CASE(NotEqualInt) NUMERIC_OPERANDS(); SECOND = make_int(SECOND.integer != TOP.integer); --sp; NEXT();
      CASE(LessEqualFloat) NUMERIC_OPERANDS(); SECOND = make_int(as_float(SECOND) <= as_float(TOP)); --sp; NEXT();
      CASE(LessFloat) NUMERIC_OPERANDS(); SECOND = make_int(as_float(SECOND) < as_float(TOP) ? -1 : 0); --sp; NEXT();
      CASE(GreaterEqualFloat) NUMERIC_OPERANDS(); SECOND = make_int(as_float(SECOND) >= as_float(TOP) ? -1 : 0); --sp; NEXT();
      CASE(GreaterFloat) NUMERIC_OPERANDS(); SECOND = make_int(as_float(SECOND) > as_float(TOP)); --sp; NEXT();
      CASE(EqualFloat) NUMERIC_OPERANDS(); SECOND = make_int(as_float(SECOND) == as_float(TOP)); --sp; NEXT();
      CASE(NotEqualFloat) NUMERIC_OPERANDS(); SECOND = make_int(as_float(SECOND) != as_float(TOP)); --sp; NEXT();
      CASE(LessEqualString)
      CASE(LessString)
      CASE(GreaterEqualString)
      CASE(GreaterString)
      CASE(EqualString)
      CASE(NotEqualString) {
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
        --sp;
        NEXT();
      }
      CASE(EqualIntArray)
      CASE(EqualFloatArray)
      CASE(EqualStringArray)
      CASE(NotEqualIntArray)
      CASE(NotEqualFloatArray)
      CASE(NotEqualStringArray) {
        bool same = SECOND.bits == TOP.bits;
        bool equal_form = OP == Op::EqualIntArray || OP == Op::EqualFloatArray || OP == Op::EqualStringArray;
        release_value(TOP);
        release_value(SECOND);
        SECOND = make_int(equal_form ? same : !same);
        --sp;
        NEXT();
      }

      // ---- unary
      CASE(LogicalNot) NUMERIC_TOP(); TOP = make_int(TOP.type == ValueType::Float ? TOP.real == 0.0f : TOP.integer == 0); NEXT();
      CASE(BitNot) NUMERIC_TOP(); TOP.integer = ~TOP.integer; NEXT();
      CASE(NegateInt) NUMERIC_TOP(); TOP.integer = wrap_sub(0, TOP.integer); NEXT();
      CASE(NegateFloat) NUMERIC_TOP(); TOP.real = -TOP.real; NEXT();
      CASE(Nop191)
      CASE(Nop1A8)
      CASE(Nop1A9) NEXT();
      CASE(FloatToInt)
        if (TOP.type == ValueType::Float) TOP = make_int(truncate_to_int(TOP.real));
        NEXT();
      CASE(IntToFloat)
        if (TOP.type == ValueType::Int) TOP = make_float(float(TOP.integer));
        NEXT();

      // ---- assignment to variables
      CASE(AssignIntPop)
      CASE(AddAssignIntPop)
      CASE(AssignInt)
      CASE(AssignFloat)
      CASE(AssignString)
      CASE(AssignIntArray)
      CASE(AssignFloatArray)
      CASE(AssignStringArray)
      CASE(MulAssignInt)
      CASE(MulAssignFloat)
      CASE(DivAssignInt)
      CASE(DivAssignFloat)
      CASE(ModAssignInt)
      CASE(AddAssignInt)
      CASE(AddAssignFloat)
      CASE(AddAssignString)
      CASE(SubAssignInt)
      CASE(SubAssignFloat)
      CASE(ShiftLeftAssign)
      CASE(ShiftRightAssign)
      CASE(AndAssign)
      CASE(XorAssign)
      CASE(OrAssign)
      CASE(AssignFloatPop)
      CASE(AssignStringPop)
      CASE(AssignIntArrayPop)
      CASE(AssignFloatArrayPop)
      CASE(AssignStringArrayPop)
      CASE(MulAssignIntPop)
      CASE(MulAssignFloatPop)
      CASE(DivAssignIntPop)
      CASE(DivAssignFloatPop)
      CASE(ModAssignIntPop)
      CASE(AddAssignFloatPop)
      CASE(AddAssignStringPop)
      CASE(SubAssignIntPop)
      CASE(SubAssignFloatPop)
      CASE(ShiftLeftAssignPop)
      CASE(ShiftRightAssignPop)
      CASE(AndAssignPop)
      CASE(XorAssignPop)
      CASE(OrAssignPop) {
        const uint8_t* operand = ip;
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        const AssignInfo& info = kAssignInfos[size_t(OP)];
        // Numbers into a number variable of the same type, and a string
        // stored in a string variable, inline when the variable is reached
        // directly (and is not the value itself).
        Value* stored = reach(machine, thread, stack, sp, base, operand);
        if (stored && stored != &TOP && stored->type == info.type) {
          if (info.type == ValueType::Int && (TOP.type == ValueType::Int || TOP.type == ValueType::Float)) {
            stored->integer = int_arith(info.kind, stored->integer, as_int(TOP));
            if (info.pop) --sp;
            else TOP = *stored;
            NEXT();
          }
          if (info.type == ValueType::Float && (TOP.type == ValueType::Int || TOP.type == ValueType::Float)) {
            stored->real = float_arith(info.kind, stored->real, as_float(TOP), Divisor::Variable);
            if (info.pop) --sp;
            else TOP = *stored;
            NEXT();
          }
          if (info.type == ValueType::String && info.kind == Arith::Assign && TOP.type == ValueType::String) {
            StringBlock* old = stored->string;
            stored->string = TOP.string;  // the value's reference moves into the variable
            if (info.pop) {
              --sp;
            } else {
              ++TOP.string->references;
              TOP = *stored;
            }
            release_string(old);
            NEXT();
          }
        }
        SAVE();
        bool fault = false;
        Value* variable = find_operand_variable(machine, thread, stack, sp, base, flags, hash, hint_field, fault);
        if (fault) FAULT(CodeFault::BadLocal, flags);
        if (!variable) {
          variable = create_operand_variable(machine, thread, flags, hash, hint_field, make_default(TOP.type));
        }
        apply_assignment(machine, OP, info, *variable, TOP, Divisor::Variable);
        variable->hash = hash;
        variable->scope = Scope((flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift);
        if (info.pop) {
          release_value(TOP);
          --sp;
        } else {
          Value copy = *variable;
          retain_value(copy);
          release_value(TOP);
          TOP = copy;
        }
        STOP_IF_ENDING();
        NEXT();
      }

      // ---- assignment to array elements
      CASE(ElementAssignInt)
      CASE(ElementAssignFloat)
      CASE(ElementAssignString)
      CASE(ElementMulAssignInt)
      CASE(ElementMulAssignFloat)
      CASE(ElementDivAssignInt)
      CASE(ElementDivAssignFloat)
      CASE(ElementModAssignInt)
      CASE(ElementAddAssignInt)
      CASE(ElementAddAssignFloat)
      CASE(ElementAddAssignString)
      CASE(ElementSubAssignInt)
      CASE(ElementSubAssignFloat)
      CASE(ElementShiftLeftAssign)
      CASE(ElementShiftRightAssign)
      CASE(ElementAndAssign)
      CASE(ElementXorAssign)
      CASE(ElementOrAssign)
      CASE(ElementAssignIntPop)
      CASE(ElementAssignFloatPop)
      CASE(ElementAssignStringPop)
      CASE(ElementMulAssignIntPop)
      CASE(ElementMulAssignFloatPop)
      CASE(ElementDivAssignIntPop)
      CASE(ElementDivAssignFloatPop)
      CASE(ElementModAssignIntPop)
      CASE(ElementAddAssignIntPop)
      CASE(ElementAddAssignFloatPop)
      CASE(ElementAddAssignStringPop)
      CASE(ElementSubAssignIntPop)
      CASE(ElementSubAssignFloatPop)
      CASE(ElementShiftLeftAssignPop)
      CASE(ElementShiftRightAssignPop)
      CASE(ElementAndAssignPop)
      CASE(ElementXorAssignPop)
      CASE(ElementOrAssignPop) {
        const uint8_t* operand = ip;
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        int subscripts = (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift;
        if (subscripts < 1 || subscripts > 3) FAULT(CodeFault::BadOperand, load_u16le(instruction));
        if (sp - subscripts < 2) FAULT(CodeFault::StackUnderflow, 0);
        // Storing an int into a one- or two-dimensional int array, inline.
        if (OP == Op::ElementAssignIntPop && subscripts <= 2 && TOP.type == ValueType::Int &&
            SECOND.type == ValueType::Int) {
          ArrayBlock* array = int_array(reach(machine, thread, stack, sp, base, operand));
          if (array && subscripts == 1) {
            array->ints()[wrap_subscript(TOP.integer, array->size1)] = SECOND.integer;
            sp -= 2;
            NEXT();
          }
          if (array && stack[sp - 3].type == ValueType::Int) {
            array->ints()[element_index(*array, SECOND.integer, TOP.integer)] = stack[sp - 3].integer;
            sp -= 3;
            NEXT();
          }
        }
        const AssignInfo& info = kAssignInfos[size_t(OP)];
        ValueType array_type = ValueType(uint16_t(info.type) + 3);
        SAVE();
        bool fault = false;
        Value* variable =
            find_array_variable(machine, thread, stack, sp, base, flags, hash, hint_field, array_type, fault);
        if (fault) FAULT(CodeFault::BadLocal, flags);
        if (variable->type != array_type) {
          report_type_mismatch(machine);
          release_values(stack + sp, subscripts);
          sp -= subscripts;
        } else {
          ArrayBlock& array = *variable->array;
          int32_t index = array_index(machine, array, stack + sp, subscripts);
          release_values(stack + sp, subscripts);
          sp -= subscripts;
          Value element = make_int(0);
          if (info.type == ValueType::Int) element.integer = array.ints()[index];
          else if (info.type == ValueType::Float) element = make_float(array.floats()[index]);
          else {
            element.type = ValueType::String;
            element.string = array.strings()[index];
          }
          apply_assignment(machine, OP, info, element, TOP, Divisor::Element);
          if (info.type == ValueType::Int) array.ints()[index] = element.integer;
          else if (info.type == ValueType::Float) array.floats()[index] = element.real;
          else array.strings()[index] = element.string;
          if (!info.pop) {
            retain_value(element);
            release_value(TOP);
            TOP = element;
          }
        }
        if (info.pop) {
          release_value(TOP);
          --sp;
        }
        STOP_IF_ENDING();
        NEXT();
      }

      // ---- loads and constants
      CASE(PushInt)
      plain_push_int: {
        PUSH(make_int(I32_AT(ip)));
        ip += 4;
        NEXT();
      }
      CASE(PushFloat)
      plain_push_float: {
        PUSH(make_float(float_at(ip)));
        ip += 4;
        NEXT();
      }
      CASE(PushString) {
        uint16_t count = load_u16le(ip);
        ip += 2;
        if (code_end - ip < count) FAULT(CodeFault::TruncatedOperand, load_u16le(instruction));
        // The count includes the terminating NUL; texts end at their first NUL.
        const char* text = reinterpret_cast<const char*>(ip);
        size_t length = strnlen(text, count);
        ip += count;
        PUSH(make_string(std::string_view(text, length)));
        NEXT();
      }
      CASE(Load)
      plain_load: {
        const uint8_t* operand = ip;
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        ValueType type = ValueType((flags & variable_flags::kTypeMask) >> variable_flags::kTypeShift);
        // The common cases inline: a variable reached directly, of the
        // requested type, with at most an integer increment.
        if ((flags & variable_flags::kUnaryMask) == 0) {
          Value* stored = reach(machine, thread, stack, sp, base, operand);
          if (stored && stored->type == type) {
            int step = flags & variable_flags::kStepMask;
            if (step == 0) {
              Value value = *stored;
              retain_value(value);
              PUSH(value);
              NEXT();
            }
            if (type == ValueType::Int && step <= 4) {
              int32_t before = stored->integer;
              stored->integer = wrap_add(before, (step == 1 || step == 3) ? 1 : -1);
              PUSH(make_int(step <= 2 ? stored->integer : before));
              NEXT();
            }
          }
        }
        if (uint16_t(type) >= kValueTypeCount) FAULT(CodeFault::BadOperand, load_u16le(instruction));
        bool fault = false;
        Value* variable = find_operand_variable(machine, thread, stack, sp, base, flags, hash, hint_field, fault);
        if (fault) FAULT(CodeFault::BadLocal, flags);
        if (!variable) variable = create_operand_variable(machine, thread, flags, hash, hint_field, make_default(type));
        bool bits_as_float = type == ValueType::Float && variable->type == ValueType::Int;
        if (variable->type != type && !bits_as_float) {
          SAVE();
          report_type_mismatch(machine);
          // Safe continuation: the default of the requested type.
          PUSH(make_default(type));
          STOP_IF_ENDING();
          NEXT();
        }
        Value value = step_value(*variable, type, flags & variable_flags::kStepMask);
        value.type = type;
        apply_unary(value, (flags & variable_flags::kUnaryMask) >> variable_flags::kUnaryShift);
        retain_value(value);
        PUSH(value);
        NEXT();
      }
      CASE(LoadElement) {
        const uint8_t* operand = ip;
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        int subscripts = (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift;
        int element_type = (flags & variable_flags::kTypeMask) >> variable_flags::kTypeShift;
        if (subscripts < 1 || subscripts > 3 || element_type > 2) FAULT(CodeFault::BadOperand, load_u16le(instruction));
        if (sp - subscripts < 1) FAULT(CodeFault::StackUnderflow, 0);
        ValueType array_type = ValueType(element_type + 3);
        // An int element of a one- or two-dimensional array reached directly, inline.
        if (subscripts <= 2 && element_type == int(ValueType::Int) && (flags & 0x1F) == 0 &&
            TOP.type == ValueType::Int) {
          ArrayBlock* array = int_array(reach(machine, thread, stack, sp, base, operand));
          if (array && subscripts == 1) {
            TOP = make_int(array->ints()[wrap_subscript(TOP.integer, array->size1)]);
            NEXT();
          }
          if (array && SECOND.type == ValueType::Int) {
            SECOND = make_int(array->ints()[element_index(*array, SECOND.integer, TOP.integer)]);
            --sp;
            NEXT();
          }
        }
        SAVE();
        bool fault = false;
        Value* variable =
            find_array_variable(machine, thread, stack, sp, base, flags, hash, hint_field, array_type, fault);
        if (fault) FAULT(CodeFault::BadLocal, flags);
        if (variable->type != array_type) {
          report_type_mismatch(machine);
          release_values(stack + sp, subscripts);
          sp -= subscripts;
          PUSH(make_default(ValueType(element_type)));
        } else {
          ArrayBlock& array = *variable->array;
          int32_t index = array_index(machine, array, stack + sp, subscripts);
          release_values(stack + sp, subscripts);
          sp -= subscripts;
          Value value;
          if (element_type == int(ValueType::String)) {
            value = make_int(0);
            value.type = ValueType::String;
            value.string = array.strings()[index];
            retain_value(value);
          } else {
            Value stored = element_type == int(ValueType::Int) ? make_int(array.ints()[index])
                                                               : make_float(array.floats()[index]);
            value = step_value(stored, ValueType(element_type), flags & variable_flags::kStepMask);
            if (element_type == int(ValueType::Int)) array.ints()[index] = stored.integer;
            else array.floats()[index] = stored.real;
            apply_unary(value, (flags & variable_flags::kUnaryMask) >> variable_flags::kUnaryShift);
          }
          PUSH(value);
        }
        STOP_IF_ENDING();
        NEXT();
      }

      // ---- calls
      CASE(Call)
      CASE(CallDiscard)
      call_instruction: {
        uint16_t argc = load_u16le(ip + 8);
        uint32_t cache = load_u32le(ip + 4);
        ip += 10;
        if (argc > sp - 1) FAULT(CodeFault::StackUnderflow, 0);
        if (cache - 1 >= machine.call_targets.size()) [[unlikely]] {  // 0: not resolved yet
          SAVE();
          CallTarget resolved;
          resolved.position = resolve_function(machine, load_u32le(instruction + 2), &resolved.code);
          if (!resolved.position) return;
          note_parameters(resolved);
          machine.call_targets.push_back(resolved);
          cache = uint32_t(machine.call_targets.size());
          resources::store_u32le(const_cast<uint8_t*>(instruction + 6), cache);
        }
        const CallTarget& target = machine.call_targets[cache - 1];
        if (fp == &thread.frames.back()) [[unlikely]] {
          SAVE();
          call_position(machine, thread, target.code, target.position, argc, OP == Op::CallDiscard);
          return;  // reported; the engine ends
        }
        // The call, inline (as enter_call): the argument count above the
        // arguments, a fresh frame above the caller's. Most calls stay in the
        // caller's block.
        ENSURE_STACK(1);
        fp->position = ip;
        fp->discard_result = OP == Op::CallDiscard;
        fp->top = sp - argc;
        stack[sp++] = make_int(argc);
        start_frame(fp[1], fp[0], target.code, target.position, sp);
        ++fp;
        base = sp;
        ip = target.position;
        if (target.code != code || !code) SWITCH_CODE(target.code);
        // Functions with parameters start by checking them; the usual case,
        // as many arguments of the declared types, is settled here.
        if (target.parameter_types) {
          uint16_t count = target.parameter_count;
          if (count <= argc && parameters_match(stack + sp - 1, target.parameter_types, count)) {
            ip = target.parameter_types + count;
            SEQUENCE_NEXT();
          }
          instruction = ip;
          form = plain_form(Op::CheckParameters);
          ip += 2;
          goto check_parameters;
        }
        SEQUENCE_NEXT();
      }
      CASE(Return) {
        // The common return, inline: no end handler, and a caller that goes
        // on and finds the callee's records above its own. The result (unless
        // discarded) moves down to the caller's top.
        if (!fp->end_handler && fp != thread.frames.data()) {
          Frame* caller = fp - 1;
          int32_t saved_top = std::max(caller->top, 1);
          if (sp > saved_top && caller->position) {
            int32_t kept = caller->discard_result ? 0 : 1;
            Value& top = stack[sp - 1];
            // A kept int goes on as an int result (the caller mostly stores
            // it or computes with it); copying the record whole right after
            // the pair of stores that wrote it would stall on store
            // forwarding.
            bool int_kept = kept && top.type == ValueType::Int;
            int32_t value = top.integer;
            // The callee's records (arguments, their count, locals, and the
            // result when discarded) mostly hold no block to release; the
            // kept result lies above them.
            Value* first = stack + saved_top;
            Value* end = stack + sp - kept;
            if (hold_references(first, end)) [[unlikely]] release_range(first, end);
            if (kept && !int_kept) *first = stack[sp - 1];
            sp = saved_top + kept - int_kept;
            fp = caller;
            base = caller->base;
            ip = caller->position;
            if (caller->code != code || !code) SWITCH_CODE(caller->code);
            if (int_kept) INT_RESULT(value, ip);
            SEQUENCE_NEXT();
          }
        }
        SAVE();
        execute_return(machine, thread);
        LOAD();
        CHECK_SLICE();
        NEXT();
      }
      CASE(DeclareLocals)
      CASE(CheckParameters)
      check_parameters: {
        uint16_t count = load_u16le(ip);
        ip += 2;
        if (code_end - ip < count) FAULT(CodeFault::TruncatedOperand, load_u16le(instruction));
        const uint8_t* types = ip;
        ip += count;
        if (OP == Op::DeclareLocals) {
          ENSURE_STACK(int32_t(count) + 1);
          for (uint16_t i = 0; i < count; ++i) stack[sp++] = make_default(declared_type(types[i]));
          NEXT();
        }
        int32_t supplied = base >= 1 ? as_int(stack[base - 1]) : 0;
        // The usual case: enough arguments, all of the declared types.
        if (supplied >= count && base - 1 - count >= 0 && parameters_match(stack + base - 1, types, count)) NEXT();
        SAVE();
        repair_parameters(machine, thread, types, count);
        LOAD();
        STOP_IF_ENDING();
        NEXT();
      }
      CASE(Syscall)
      CASE(SyscallDiscard) {
        uint32_t key = load_u32le(ip);
        uint16_t argc = load_u16le(ip + 4);
        ip += 6;
        if (argc > sp - 1) FAULT(CodeFault::StackUnderflow, 0);
        FUZZ_CHARGE_SYSCALL();
        SAVE();
        CallEnd end = run_syscall(machine, thread, instruction, key, argc, OP == Op::Syscall);
        if (end == CallEnd::Wait) return;
        LOAD();
        CHECK_SLICE();
        // A kept int goes on as a computed int (x = f(...), f(...) + 1).
        if (end == CallEnd::IntResult) {
          int_result = TOP.integer;
          --sp;
          CONSUME_NEXT();
        }
        NEXT();
      }

      // ---- control flow
      CASE(Jump) {
        int32_t offset = I32_AT(ip);
        ip += 4;
        JUMP_TO(offset);
        NEXT();
      }
      CASE(JumpIfTrue)
      CASE(JumpIfFalse) {
        int32_t offset = I32_AT(ip);
        ip += 4;
        bool truth = is_true(TOP);
        release_value(TOP);
        --sp;
        if (truth == (OP == Op::JumpIfTrue)) JUMP_TO(offset);
        NEXT();
      }
      CASE(Pop) {
        release_value(TOP);
        --sp;
        NEXT();
      }
      CASE(Select) {
        int32_t offset = I32_AT(ip);
        ip += 4;
        store_selector(thread, TOP);
        --sp;
        JUMP_TO(offset);
        NEXT();
      }
      CASE(CaseEqual)
      CASE(CaseGreater)
      CASE(CaseLess)
      CASE(CaseLessEqual)
      CASE(CaseGreaterEqual) {
        int32_t offset = I32_AT(ip);
        ip += 4;
        if (case_jumps(machine, thread, OP, TOP)) JUMP_TO(offset);
        NEXT();
      }
      CASE(JumpTable) {
        uint16_t count = load_u16le(ip);
        ip += 2;
        if (code_end - ip < ptrdiff_t(count) * 4) FAULT(CodeFault::TruncatedOperand, load_u16le(instruction));
        int32_t index = as_int(TOP);
        release_value(TOP);
        --sp;
        if (count == 0) NEXT();
        if (index < 0 || index >= count) index = count - 1;
        ip += size_t(index) * 4;
        int32_t offset = I32_AT(ip);
        ip += 4;
        JUMP_TO(offset);
        NEXT();
      }
      CASE(Line) {
        fp->line = load_u16le(ip);
        ip += 2;
        SAVE();
        mark_line(machine, thread, fp->line);
        if (machine.hooks.line_reached) [[unlikely]] {
          machine.hooks.line_reached(machine.engine, thread, fp->line);
          CHECK_SLICE();
        }
        NEXT();
      }
      CASE(OnLeftClick)
      CASE(OnMiddleClick)
      CASE(OnRightClick)
      CASE(OnAnyClick) {
        int32_t offset = I32_AT(ip);
        ip += 4;
        const uint8_t* target;
        TARGET_OF(offset, target);
        Frame& frame = *fp;
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
          ip = target;
        }
        NEXT();
      }
      CASE(ClearClickHandlers) {
        fp->left_handler = fp->right_handler = fp->middle_handler = nullptr;
        NEXT();
      }
      CASE(SetBreak) {
        int32_t offset = I32_AT(ip);
        ip += 4;
        TARGET_OF(offset, fp->break_target);
        NEXT();
      }
      CASE(Break) {
        SAVE();
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
        LOAD();
        NEXT();
      }
      CASE(SetEndHandler) {
        int32_t offset = I32_AT(ip);
        ip += 4;
        TARGET_OF(offset, fp->end_handler);
        fp->wait_deadline = 0;
        fp->waiting = false;
        NEXT();
      }

      // ---- message text
      CASE(Text)
      CASE(ControlCode) {
        uint16_t count = load_u16le(ip);
        ip += 2;
        if (code_end - ip < count) FAULT(CodeFault::TruncatedOperand, load_u16le(instruction));
        std::string_view bytes(reinterpret_cast<const char*>(ip), strnlen(reinterpret_cast<const char*>(ip), count));
        ip += count;
        SAVE();
        run_text(machine, OP, bytes);
        LOAD();
        CHECK_SLICE();
        NEXT();
      }
      CASE(Message) {
        SAVE();
        if (!lay_out_message(machine)) {
          // fp: an event raised by the layout runs in a frame above this one.
          fp->position = instruction;
          if (machine.slice_state == kSliceRunning) machine.slice_state = kSliceYield;
          return;
        }
        LOAD();
        CHECK_SLICE();
        NEXT();
      }

      CASE(Invalid)
      default: {
        // Unknown opcodes are skipped as a bare 16-bit word.
        SAVE();
        report_script_error(machine, "コード[%04X]は定義されていません", {unsigned(load_u16le(instruction))});
        CHECK_SLICE();
        NEXT();
      }
    }
  }
#undef SAVE
#undef LOAD
#undef SWITCH_CODE
#undef GROW_STACK
#undef FAULT
#undef JUMP_TO
#undef TARGET_OF
#undef TOP
#undef SECOND
#undef ENSURE_STACK
#undef STACK_OVERFLOW
#undef PUSH
#undef CHECK_SLICE
#undef STOP_IF_ENDING
#undef CASE
#undef FORM_CASE
#undef FORM_CASE2
#undef FORM_CASE2_
#undef FORM_CASE4
#undef FORM_CASE8
#undef FORM_CASE16
#undef FORM_CASE16_
#undef FORM_CASE_
#undef FORM_CASE4_
#undef FORM_CASE8_
#undef FOUR_CASES
#undef DECODE_NEXT
#undef FUZZ_BUDGET
#undef FUZZ_CHARGE_SYSCALL
#undef NOT_DECODED_LABEL
#undef NUMERIC_OPERANDS
#undef NUMERIC_TOP
#undef NEXT
#undef OP
#undef SEQUENCE_NEXT
#undef CHECK_STACK
#undef FIRST_IN_PASS
#undef OPERAND
#undef I32_AT
#undef OP_AT
#undef TAKE_JUMP
#undef INT_RESULT
#undef CONSUME_NEXT
#undef FORM_AT
#undef BRANCH
}

}  // namespace tavelo::script
