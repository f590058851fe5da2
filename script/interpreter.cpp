// The interpreter loop.
//
// The code bytes are the only source of truth: frames keep byte positions, a
// waiting system call steps back to its own start, and call instructions and
// global-variable instructions cache what they resolved in their operand
// fields (a call-target index and a 16-bit slot hint). Code blocks are
// followed by zero padding, so fixed-size operands can be decoded before the
// size check. Each instruction is decoded once, the first time it runs: its
// position and fixed operands are checked against the block and the result is
// cached as a byte per code position (CodeBlock::decoded), so a broken file
// ends its thread instead of running off its code, and the checks cost
// nothing afterwards. Decoding also recognises the short sequences compilers
// emit for loop tests, counters and accumulators and runs them as one step.

#include "script/interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "resources/byte_reader.h"
#include "resources/multibyte.h"
#include "resources/state.h"
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

constexpr std::array<uint8_t, kOpcodeCount + 1> make_operand_sizes() {
  std::array<uint8_t, kOpcodeCount + 1> sizes{};
  for (size_t i = 0; i < kOpcodeCount; ++i) sizes[i] = uint8_t(fixed_operand_size(kOpcodeInfo[i].layout));
  sizes[kOpcodeCount] = 0;
  return sizes;
}
constexpr std::array<uint8_t, kOpcodeCount + 1> kOperandSizes = make_operand_sizes();

enum class CodeFault { OutsideCode, TruncatedOperand, StackUnderflow, BadLocal, BadOperand };

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

int32_t int_arith(Arith kind, int32_t a, int32_t b) {
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
float float_arith(Arith kind, float a, float b, bool element) {
  switch (kind) {
    case Arith::Assign: return b;
    case Arith::Mul: return a * b;
    case Arith::Div:
      if (b == 0.0f) return element ? a * 10000.0f : a / 0.00001f;
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

AssignInfo assign_info(Op op) {
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

Value concatenate(const Value& left, const Value& right) {
  std::string_view a = left.type == ValueType::String ? left.string->text() : std::string_view{};
  std::string_view b = right.type == ValueType::String ? right.string->text() : std::string_view{};
  std::string joined;
  joined.reserve(a.size() + b.size());
  joined.append(a).append(b);
  return make_string(joined);
}

// Replaces a string or array by an int 0, releasing its block; a variable
// record keeps its name and scope.
void drop_reference(Value& value) {
  if (!is_reference_type(value.type)) return;
  release_value(value);
  value.type = ValueType::Int;
  value.bits = 0;
}

// The outcome of applying an assignment to a stored value: the new stored
// value is written in place; strings build new blocks.
void apply_assignment(const AssignInfo& info, Value& target, const Value& operand, bool element) {
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
      target.real = float_arith(info.kind, current, as_float(operand), element);
      target.type = ValueType::Float;
      break;
    }
    case ValueType::String: {
      Value result;
      if (info.kind == Arith::Add) {
        result = concatenate(target, operand);
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

// The binary int operations a load followed by push_int folds: the exact
// results of the instructions (including the -1 of greater-or-equal).
bool is_int_comparison(Op op) {
  return op == Op::LessEqualInt || op == Op::LessInt || op == Op::GreaterEqualInt || op == Op::GreaterInt ||
         op == Op::EqualInt || op == Op::NotEqualInt;
}
bool is_foldable(Op op) { return op == Op::AddInt || op == Op::SubInt || op == Op::MulInt || is_int_comparison(op); }
[[gnu::always_inline]] inline int32_t fold_int(Op op, int32_t a, int32_t b) {
  switch (op) {
    case Op::AddInt: return wrap_add(a, b);
    case Op::SubInt: return wrap_sub(a, b);
    case Op::MulInt: return wrap_mul(a, b);
    case Op::LessEqualInt: return a <= b;
    case Op::LessInt: return a < b;
    case Op::GreaterEqualInt: return a >= b ? -1 : 0;
    case Op::GreaterInt: return a > b;
    case Op::EqualInt: return a == b;
    case Op::NotEqualInt: return a != b;
    default: return 0;
  }
}

// The integer statements on variables that consume a value just loaded.
bool is_int_statement(uint16_t raw) {
  return raw == raw_opcode(Op::AssignIntPop) || raw == raw_opcode(Op::AddAssignIntPop) ||
         raw == raw_opcode(Op::SubAssignIntPop);
}
int32_t int_statement(uint16_t raw, int32_t current, int32_t operand) {
  if (raw == raw_opcode(Op::AddAssignIntPop)) return wrap_add(current, operand);
  if (raw == raw_opcode(Op::SubAssignIntPop)) return wrap_sub(current, operand);
  return operand;
}

// Decoded forms, one byte per code position. 0: not decoded yet; 1 + op: the
// plain instruction, its fixed operands inside the block; above that, a
// sequence run as one step. Every sequence starts with an int load of a local
// or global variable (or is a jump), its operands inside the block. At run
// time a sequence checks its variable and jump target (operand bytes can be
// rewritten by hint caching when a broken file overlaps instructions), and
// when either check fails the plain instruction runs instead.
constexpr uint8_t kNotDecoded = 0;
constexpr uint8_t plain_form(Op op) { return uint8_t(uint8_t(op) + 1); }
enum class Form : uint8_t {
  Jump = kOpcodeCount + 2,  // a jump, without the general dispatch
  // The sequences on a local variable, then the same on a global or eternal
  // one reached through its slot hint.
  LocalLoadInt,
  LocalCompareJump,  // eight forms, one per jump mask (below)
  LocalCompareJumpLast = LocalCompareJump + 7,
  LocalFoldConstant,
  LocalStatement,
  LocalStep,
  LocalLoadIntReturn,
  LocalLoadElementAt,
  LocalStoreElementAt,
  LoadInt,       // load an int
  CompareJump,   // load; push_int; int comparison; jump_if_false or jump_if_true
  CompareJumpLast = CompareJump + 7,
  FoldConstant,  // load; push_int; int arithmetic or comparison
  Statement,     // load; set_int_pop, add_set_int_pop or sub_set_int_pop
  Step,          // load with ++ or --; pop
  LoadIntReturn, // load; return
  LoadElementAt,   // load (the subscript); load_elem of a one-dimensional int array
  StoreElementAt,  // load (the value); load (the subscript); elem_set_int_pop, one dimension
};
static_assert(size_t(Form::StoreElementAt) <= 255, "decoded forms are bytes");
constexpr uint8_t kLocalToAnyScope = uint8_t(Form::LoadInt) - uint8_t(Form::LocalLoadInt);

// A loop test's comparison and jump sense, folded into the form when decoded:
// bit r of the mask is set when the jump is taken for relation r of the
// variable to the constant (0 less, 1 equal, 2 greater).
uint8_t jump_mask(Op comparison, bool jump_if_true) {
  uint8_t truth = comparison == Op::LessInt        ? 0b001
                  : comparison == Op::LessEqualInt ? 0b011
                  : comparison == Op::EqualInt     ? 0b010
                  : comparison == Op::NotEqualInt  ? 0b101
                  : comparison == Op::GreaterEqualInt ? 0b110
                                                      : 0b100;  // GreaterInt
  return jump_if_true ? truth : uint8_t(~truth & 0b111);
}

// The variable flags of a load the sequences take: an int, no unary
// operation, no subscripts, in a scope reachable by slot or hint.
bool is_sequence_load(uint16_t flags) {
  uint16_t scope = (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  uint16_t rest = flags & ~(variable_flags::kScopeMask | variable_flags::kStepMask);
  return rest == (uint16_t(ValueType::Int) << variable_flags::kTypeShift) && scope != uint16_t(Scope::Thread);
}

int subscript_count(uint16_t flags) {
  return (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift;
}

// An element load the sequences take: one subscript, an int element, no
// step or unary operation.
bool is_int_element_load(uint16_t flags) {
  return subscript_count(flags) == 1 && (flags & (variable_flags::kTypeMask | variable_flags::kStepMask |
                                                  variable_flags::kUnaryMask)) ==
                                            (uint16_t(ValueType::Int) << variable_flags::kTypeShift);
}

bool is_local_operand(uint16_t flags) {
  return (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift == uint16_t(Scope::Local);
}

struct Decoding {
  uint8_t form = kNotDecoded;  // kNotDecoded: the fault below
  CodeFault fault = CodeFault::OutsideCode;
  uint32_t detail = 0;
};

Decoding decode_instruction(const uint8_t* begin, const uint8_t* end, const uint8_t* at) {
  ptrdiff_t left = end - at;
  if (left < 2) return {kNotDecoded, CodeFault::OutsideCode, uint32_t(at - begin)};
  uint16_t raw = load_u16le(at);
  Op op = decode_opcode(raw);
  if (left - 2 < ptrdiff_t(kOperandSizes[size_t(op)])) return {kNotDecoded, CodeFault::TruncatedOperand, raw};
  auto raw_at = [&](ptrdiff_t offset) { return left >= offset + 2 ? load_u16le(at + offset) : uint16_t(0); };
  // A jump whose 4-byte offset lies at operand; targets are relative to its end.
  auto jump_inside = [&](ptrdiff_t operand) {
    int64_t target = int64_t(at - begin) + operand + 4 + int32_t(load_u32le(at + operand));
    return target >= 0 && target < end - begin;
  };
  if (op == Op::Jump) return {jump_inside(2) ? uint8_t(Form::Jump) : plain_form(op)};
  if (op != Op::Load || !is_sequence_load(load_u16le(at + 2))) return {plain_form(op)};
  uint16_t flags = load_u16le(at + 2);
  int step = flags & variable_flags::kStepMask;
  bool local = is_local_operand(flags);
  auto sequence = [&](Form form) { return Decoding{uint8_t(uint8_t(form) - (local ? kLocalToAnyScope : 0))}; };
  uint16_t next = raw_at(10);
  if (step != 0) return step <= 4 && next == raw_opcode(Op::Pop) ? sequence(Form::Step) : Decoding{plain_form(op)};
  if (next == raw_opcode(Op::PushInt) && left >= 18) {
    Op folded = decode_opcode(raw_at(16));
    uint16_t branch = raw_at(18);
    if (is_int_comparison(folded) && left >= 24 &&
        (branch == raw_opcode(Op::JumpIfFalse) || branch == raw_opcode(Op::JumpIfTrue)) && jump_inside(20)) {
      Decoding decoding = sequence(Form::CompareJump);
      decoding.form = uint8_t(decoding.form + jump_mask(folded, branch == raw_opcode(Op::JumpIfTrue)));
      return decoding;
    }
    if (is_foldable(folded)) return sequence(Form::FoldConstant);
  }
  if (is_int_statement(next) && left >= 20) return sequence(Form::Statement);
  if (next == raw_opcode(Op::Return)) return sequence(Form::LoadIntReturn);
  if (next == raw_opcode(Op::LoadElement) && left >= 20 && is_int_element_load(load_u16le(at + 12))) {
    return sequence(Form::LoadElementAt);
  }
  if (next == raw_opcode(Op::Load) && left >= 30 && is_sequence_load(load_u16le(at + 12)) &&
      (load_u16le(at + 12) & variable_flags::kStepMask) == 0 && raw_at(20) == raw_opcode(Op::ElementAssignIntPop) &&
      subscript_count(load_u16le(at + 22)) == 1) {
    return sequence(Form::StoreElementAt);
  }
  return sequence(Form::LoadInt);
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
    case int(Scope::Global): {
      VariableStore& store = scope == int(Scope::Eternal) ? machine.eternal : machine.global;
      uint16_t hint = load_u16le(hint_field);
      uint16_t before = hint;
      Value* found = store.find_with_hint(hash, hint);
      // The code block is the engine's own writable copy; the hint is cached there.
      if (hint != before) resources::store_u16le(const_cast<uint8_t*>(hint_field), hint);
      return found;
    }
    case int(Scope::Thread): return thread.store.find(hash);
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
  if (scope != int(Scope::Thread) && index <= 0x7FFF) {
    resources::store_u16le(const_cast<uint8_t*>(hint_field), uint16_t(index));
  }
  return &store.records[size_t(index)];
}

// A global or eternal variable at its slot hint; null when the hint is stale.
inline Value* hinted_global(Machine& machine, uint16_t flags, uint32_t hash, uint16_t hint) {
  uint16_t scope = (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  std::vector<Value>& records = scope == uint16_t(Scope::Global) ? machine.global.records : machine.eternal.records;
  return hint < records.size() && records[hint].hash == hash ? &records[hint] : nullptr;
}

// The variable of a local or hinted global operand when it can be reached
// without a search; null otherwise (the general path then decides).
inline Value* fast_variable(Machine& machine, Value* stack, int32_t sp, int32_t base, uint16_t flags, uint32_t hash,
                            const uint8_t* hint_field) {
  uint16_t scope = (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  uint16_t hint = load_u16le(hint_field);
  if (scope == uint16_t(Scope::Local)) {
    int32_t index = base + int16_t(hint);
    return uint32_t(index) < uint32_t(sp) ? &stack[index] : nullptr;
  }
  if (scope > uint16_t(Scope::Global)) return nullptr;
  return hinted_global(machine, flags, hash, hint);
}

// The int variable a sequence starts by loading (flags at load + 2, hash at
// load + 4, slot or hint at load + 8); null unless it is reachable and an int.
inline Value* sequence_variable(Machine& machine, Value* stack, int32_t sp, int32_t base, const uint8_t* load, bool local) {
  Value* variable;
  if (local) {
    int32_t index = base + int16_t(load_u16le(load + 8));
    if (uint32_t(index) >= uint32_t(sp)) return nullptr;
    variable = &stack[index];
  } else {
    variable = hinted_global(machine, load_u16le(load + 2), load_u32le(load + 4), load_u16le(load + 8));
    if (!variable) return nullptr;
  }
  return variable->type == ValueType::Int ? variable : nullptr;
}

void report_type_mismatch(Machine& machine) {
  report_script_error(machine, "発見した変数のタイプが違うエラー\nスタックに積まれて居ないのに参照したんではないか？");
}

// Subscripts wrap around a dimension instead of failing: -1 is the last
// element. Game scripts rely on it.
inline int32_t wrap_subscript(int32_t subscript, int32_t size) {
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

// Pops c subscripts (the first one is topmost) and returns the element index;
// subscripts wrap around each dimension.
// Pops a subscript as an int; a string or array there (a broken file) counts
// as 0 and is released.
int32_t pop_subscript(Value* stack, int32_t& sp) {
  Value& record = stack[--sp];
  int32_t subscript = as_int(record);
  release_value(record);
  return subscript;
}

// Out of line: the error path inlined into the loop cost calls 15 % through
// the register allocation of the whole loop.
[[gnu::noinline]] void drop_subscripts(Value* stack, int32_t& sp, int count) {
  while (count-- > 0) release_value(stack[--sp]);
}

int32_t array_index(Machine& machine, const ArrayBlock& array, Value* stack, int32_t& sp, int count) {
  if (array.size3 == 0) report_script_error(machine, "配列が初期化されていません。");
  int32_t k1 = wrap_subscript(pop_subscript(stack, sp), array.size1);
  if (count == 1) return k1;
  int32_t k2 = wrap_subscript(pop_subscript(stack, sp), array.size2);
  if (count == 2) return array.size1 * k2 + k1;
  int32_t k3 = wrap_subscript(pop_subscript(stack, sp), array.size3);
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

enum class CallEnd { Next, Wait };

// A system call with argc arguments on the stack. Wait: the call runs again,
// with the same arguments, from instruction in the thread's next slice.
[[gnu::noinline]] CallEnd run_syscall(Machine& machine, Thread& thread, const uint8_t* instruction, uint32_t key,
                                      uint16_t argc, bool keep) {
  int32_t first = thread.sp - argc;
  const SyscallEntry* entry = find_syscall(machine.syscalls, key);
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
    finish_control_call(machine, first, !keep);
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
  const uint8_t* code_begin;
  const uint8_t* code_end;
  Value* stack;
  int32_t sp;
  int32_t stack_limit;  // pushes beyond it grow the stack first
  uint8_t* decoded;      // the decoded forms of the frame's code block
  uint8_t no_code[1] = {kNotDecoded};
  const CodeBlock* code = nullptr;  // the block the four above describe
  // Makes frame current at position; calls and returns mostly stay in one block.
  auto enter_frame = [&](Frame& frame, const uint8_t* position) {
    fp = &frame;
    ip = position;
    if (frame.code != code || !code) {
      code = frame.code;
      code_begin = code ? code->begin() : ip;  // no block: decodes as outside the code
      code_end = code ? code->end() : ip;
      decoded = code ? code->decoded.get() : no_code;
    }
    stack = thread.stack();
    sp = thread.sp;
    stack_limit = thread.capacity() - 8;
  };
  auto load = [&] { enter_frame(thread.frame(), thread.frame().position); };
  load();
  const uint8_t* instruction = ip;
  // A jump target from the end of its instruction; null outside the block.
  auto target_of = [&](const uint8_t* from, int32_t offset) -> const uint8_t* {
    int64_t target = int64_t(from - code_begin) + offset;
    return uint64_t(target) < uint64_t(code_end - code_begin) ? code_begin + target : nullptr;
  };

#define SAVE() (thread.sp = sp, fp->position = ip)
#define LOAD() load()
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
#define ENSURE_STACK(extra)                                 \
  do {                                                      \
    if (sp + (extra) >= stack_limit) [[unlikely]] {       \
      thread.sp = sp;                                     \
      ensure_stack(thread, (extra));                        \
      stack = thread.stack();                             \
      stack_limit = thread.capacity() - 8;                \
    }                                                       \
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
#define PUSH(value)              \
  do {                           \
    Value pushed_ = (value);     \
    ENSURE_STACK(1);             \
    stack[sp++] = pushed_;       \
  } while (0)

  Op op;
  uint8_t form;
#define DECODE_NEXT()                                              \
  FUZZ_BUDGET();                                                   \
  instruction = ip;                                                \
  form = decoded[ip - code_begin];                                 \
  if (sp < 1) [[unlikely]] FAULT(CodeFault::StackUnderflow, 0);    \
  op = Op(uint8_t(form - 1));                                      \
  ip += 2
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
  // Fuzzed code loops for ever as easily as it ends; the fuzz build ends the
  // engine after a fixed number of instructions per slice.
  int64_t fuzz_instructions_left = 100000;
#define FUZZ_BUDGET()                              \
  if (--fuzz_instructions_left < 0) {              \
    SAVE();                                        \
    request_exit(machine, 0);                 \
    return;                                        \
  }
#else
#define FUZZ_BUDGET()
#endif
#if TAVELO_THREADED_DISPATCH
  // The sequences end with their own indirect jump to the next instruction:
  // loops made of them then have one well-predicted jump per step instead of
  // sharing the switch's. (Threading every instruction measured slower for
  // calls.)
  static constexpr const void* kDispatch[] = {
      &&not_decoded,
#define TAVELO_OPCODE(raw_value, name, mnemonic, layout, meaning) &&label_##name,
#include "script/opcodes.def"
#undef TAVELO_OPCODE
      &&label_Invalid,
      &&form_Jump,
      &&form_LocalLoadInt,
      &&form_LocalCompareJump, &&form_LocalCompareJump, &&form_LocalCompareJump, &&form_LocalCompareJump,
      &&form_LocalCompareJump, &&form_LocalCompareJump, &&form_LocalCompareJump, &&form_LocalCompareJump,
      &&form_LocalFoldConstant,
      &&form_LocalStatement,
      &&form_LocalStep,
      &&form_LocalLoadIntReturn,
      &&form_LocalLoadElementAt,
      &&form_LocalStoreElementAt,
      &&form_LoadInt,
      &&form_CompareJump, &&form_CompareJump, &&form_CompareJump, &&form_CompareJump,
      &&form_CompareJump, &&form_CompareJump, &&form_CompareJump, &&form_CompareJump,
      &&form_FoldConstant,
      &&form_Statement,
      &&form_Step,
      &&form_LoadIntReturn,
      &&form_LoadElementAt,
      &&form_StoreElementAt,
  };
  static_assert(std::size(kDispatch) == size_t(Form::StoreElementAt) + 1, "one entry per form");
#define CASE(name)             \
  case plain_form(Op::name):   \
  label_##name:
#define FORM_CASE(name)        \
  case uint8_t(Form::name):    \
  form_##name:
#define NOT_DECODED_LABEL not_decoded:
#define COMPARE_JUMP_CASES(name) \
  EIGHT_CASES(name)              \
  form_##name:
#define FAST_NEXT()            \
  do {                         \
    DECODE_NEXT();             \
    goto* kDispatch[form];     \
  } while (0)
#else
#define CASE(name) case plain_form(Op::name):
#define FORM_CASE(name) case uint8_t(Form::name):
#define NOT_DECODED_LABEL
#define COMPARE_JUMP_CASES(name) EIGHT_CASES(name)
#define FAST_NEXT() break
#endif
#define NEXT() break
#define EIGHT_CASES(name)                                                                           \
  case uint8_t(Form::name):                                                                         \
  case uint8_t(Form::name) + 1:                                                                     \
  case uint8_t(Form::name) + 2:                                                                     \
  case uint8_t(Form::name) + 3:                                                                     \
  case uint8_t(Form::name) + 4:                                                                     \
  case uint8_t(Form::name) + 5:                                                                     \
  case uint8_t(Form::name) + 6:                                                                     \
  case uint8_t(Form::name) + 7:
// Numeric instructions meeting a string or array (only a broken file puts one
// there) take 0 instead, so that no block address is read or overwritten.
#define NUMERIC_OPERANDS()                                                              \
  if ((uint16_t(SECOND.type) | uint16_t(TOP.type)) >= uint16_t(ValueType::String)) [[unlikely]] { \
    drop_reference(SECOND);                                                             \
    drop_reference(TOP);                                                                \
  }
#define NUMERIC_TOP() \
  if (uint16_t(TOP.type) >= uint16_t(ValueType::String)) [[unlikely]] drop_reference(TOP)
// The int variable of a sequence's load; when it cannot be reached directly
// the plain load decides.
#define SEQUENCE_VARIABLE(variable)                                                       \
  Value* variable = sequence_variable(machine, stack, sp, fp->base, instruction,            \
                                      form < uint8_t(Form::LoadInt));                     \
  if (!variable) goto plain_load

  // One switch over the decoded forms: plain instructions, sequences, and the
  // form not decoded yet. The loop runs until an out-of-line operation ends
  // the slice; those operations are followed by CHECK_SLICE.
  for (;;) {
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

      // ---- sequences (operands inside the block; offsets from the
      // instruction: flags 2, hash 4, hint 8, the next instruction 10)
      FORM_CASE(Jump) {
        const uint8_t* target = target_of(instruction + 6, int32_t(load_u32le(instruction + 2)));
        if (!target) goto plain_jump;
        ip = target;
        FAST_NEXT();
      }
      FORM_CASE(LocalLoadInt)
      FORM_CASE(LoadInt) {
        SEQUENCE_VARIABLE(variable);
        ip = instruction + 10;
        PUSH(make_int(variable->integer));
        FAST_NEXT();
      }
      COMPARE_JUMP_CASES(LocalCompareJump)
      COMPARE_JUMP_CASES(CompareJump) {
        SEQUENCE_VARIABLE(variable);
        int32_t a = variable->integer, b = int32_t(load_u32le(instruction + 12));
        unsigned mask = (form - (form < uint8_t(Form::LoadInt) ? uint8_t(Form::LocalCompareJump)
                                                                : uint8_t(Form::CompareJump)));
        bool jump = (mask >> ((a > b) - (a < b) + 1)) & 1;
        // A real branch, not a select: loop tests are predictable, and a
        // select would make the next fetch wait for the variable.
        if (jump) {
          const uint8_t* target = target_of(instruction + 24, int32_t(load_u32le(instruction + 20)));
          if (!target) goto plain_load;
          ip = target;
          FAST_NEXT();
        }
        ip = instruction + 24;
        FAST_NEXT();
      }
      FORM_CASE(LocalFoldConstant)
      FORM_CASE(FoldConstant) {
        SEQUENCE_VARIABLE(variable);
        int32_t result = fold_int(decode_opcode(load_u16le(instruction + 16)), variable->integer,
                                  int32_t(load_u32le(instruction + 12)));
        ip = instruction + 18;
        PUSH(make_int(result));
        FAST_NEXT();
      }
      FORM_CASE(LocalStatement)
      FORM_CASE(Statement) {
        SEQUENCE_VARIABLE(variable);
        Value* target = fast_variable(machine, stack, sp, fp->base, load_u16le(instruction + 12),
                                      load_u32le(instruction + 14), instruction + 18);
        if (!target || target->type != ValueType::Int) goto plain_load;
        target->integer = int_statement(load_u16le(instruction + 10), target->integer, variable->integer);
        ip = instruction + 20;
        FAST_NEXT();
      }
      FORM_CASE(LocalLoadIntReturn)
      FORM_CASE(LoadIntReturn) {
        SEQUENCE_VARIABLE(variable);
        PUSH(make_int(variable->integer));
        instruction += 10;
        ip = instruction + 2;
        op = Op::Return;
        goto plain_return;
      }
      // One-dimensional int arrays reached directly; anything else (another
      // element type, a missing array, a size of 0) takes the plain path.
      FORM_CASE(LocalLoadElementAt)
      FORM_CASE(LoadElementAt) {
        SEQUENCE_VARIABLE(variable);
        Value* array = fast_variable(machine, stack, sp, fp->base, load_u16le(instruction + 12),
                                     load_u32le(instruction + 14), instruction + 18);
        if (!array || array->type != ValueType::IntArray || array->array->size1 <= 0) goto plain_load;
        int32_t element = array->array->ints()[wrap_subscript(variable->integer, array->array->size1)];
        ip = instruction + 20;
        PUSH(make_int(element));
        FAST_NEXT();
      }
      FORM_CASE(LocalStoreElementAt)
      FORM_CASE(StoreElementAt) {
        SEQUENCE_VARIABLE(variable);
        Value* subscript = sequence_variable(machine, stack, sp, fp->base, instruction + 10,
                                             is_local_operand(load_u16le(instruction + 12)));
        Value* array = fast_variable(machine, stack, sp, fp->base, load_u16le(instruction + 22),
                                     load_u32le(instruction + 24), instruction + 28);
        if (!subscript || !array || array->type != ValueType::IntArray || array->array->size1 <= 0) goto plain_load;
        ArrayBlock& block = *array->array;
        block.ints()[wrap_subscript(subscript->integer, block.size1)] = variable->integer;
        ip = instruction + 30;
        FAST_NEXT();
      }
      FORM_CASE(LocalStep)
      FORM_CASE(Step) {
        SEQUENCE_VARIABLE(variable);
        int step = load_u16le(instruction + 2) & variable_flags::kStepMask;
        variable->integer = wrap_add(variable->integer, (step == 1 || step == 3) ? 1 : -1);
        ip = instruction + 12;
        // A counter step usually ends a loop body: take the jump back here.
        if (decoded[ip - code_begin] == uint8_t(Form::Jump)) {
          const uint8_t* target = target_of(ip + 6, int32_t(load_u32le(ip + 2)));
          if (target) ip = target;
        }
        FAST_NEXT();
      }

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
        Value joined = concatenate(SECOND, TOP);
        release_value(TOP);
        release_value(SECOND);
        SECOND = joined;
        --sp;
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
        bool result = op == Op::LessEqualString      ? order <= 0
                      : op == Op::LessString         ? order < 0
                      : op == Op::GreaterEqualString ? order >= 0
                      : op == Op::GreaterString      ? order > 0
                      : op == Op::EqualString        ? order == 0
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
        bool equal_form = op == Op::EqualIntArray || op == Op::EqualFloatArray || op == Op::EqualStringArray;
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
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        // Integer statements on existing integer variables, inline.
        if (TOP.type == ValueType::Int &&
            (op == Op::AddAssignIntPop || op == Op::AssignIntPop || op == Op::SubAssignIntPop)) {
          Value* stored = fast_variable(machine, stack, sp, fp->base, flags, hash, hint_field);
          if (stored && stored->type == ValueType::Int && stored != &TOP) {
            stored->integer = op == Op::AssignIntPop   ? TOP.integer
                              : op == Op::AddAssignIntPop ? wrap_add(stored->integer, TOP.integer)
                                                          : wrap_sub(stored->integer, TOP.integer);
            --sp;
            NEXT();
          }
        }
        bool fault = false;
        Value* variable = find_operand_variable(machine, thread, stack, sp, fp->base, flags, hash, hint_field, fault);
        if (fault) FAULT(CodeFault::BadLocal, flags);
        AssignInfo info = assign_info(op);
        if (!variable) {
          variable = create_operand_variable(machine, thread, flags, hash, hint_field, make_default(TOP.type));
        }
        apply_assignment(info, *variable, TOP, false);
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
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        int subscripts = (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift;
        if (subscripts < 1 || subscripts > 3) FAULT(CodeFault::BadOperand, load_u16le(instruction));
        if (sp - subscripts < 2) FAULT(CodeFault::StackUnderflow, 0);
        // Storing an int into a one-dimensional int array, inline.
        if (op == Op::ElementAssignIntPop && subscripts == 1 && TOP.type == ValueType::Int &&
            SECOND.type == ValueType::Int) {
          Value* stored = fast_variable(machine, stack, sp, fp->base, flags, hash, hint_field);
          if (stored && stored->type == ValueType::IntArray && stored->array->size1 > 0) {
            ArrayBlock& array = *stored->array;
            array.ints()[wrap_subscript(TOP.integer, array.size1)] = SECOND.integer;
            sp -= 2;
            NEXT();
          }
        }
        AssignInfo info = assign_info(op);
        ValueType array_type = ValueType(uint16_t(info.type) + 3);
        SAVE();
        bool fault = false;
        Value* variable =
            find_array_variable(machine, thread, stack, sp, fp->base, flags, hash, hint_field, array_type, fault);
        if (fault) FAULT(CodeFault::BadLocal, flags);
        if (variable->type != array_type) {
          report_type_mismatch(machine);
          drop_subscripts(stack, sp, subscripts);
        } else {
          ArrayBlock& array = *variable->array;
          int32_t index = array_index(machine, array, stack, sp, subscripts);
          Value element = make_int(0);
          if (info.type == ValueType::Int) element.integer = array.ints()[index];
          else if (info.type == ValueType::Float) element = make_float(array.floats()[index]);
          else {
            element.type = ValueType::String;
            element.string = array.strings()[index];
          }
          apply_assignment(info, element, TOP, true);
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
      CASE(PushInt) PUSH(make_int(int32_t(load_u32le(ip)))); ip += 4; NEXT();
      CASE(PushFloat) {
        uint32_t bits = load_u32le(ip);
        float value;
        std::memcpy(&value, &bits, 4);
        PUSH(make_float(value));
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
        op = Op::Load;
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        ValueType type = ValueType((flags & variable_flags::kTypeMask) >> variable_flags::kTypeShift);
        // The common cases inline: a local or a hinted global of the
        // requested type, with at most an integer increment.
        if ((flags & variable_flags::kUnaryMask) == 0) {
          Value* stored = fast_variable(machine, stack, sp, fp->base, flags, hash, hint_field);
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
        Value* variable = find_operand_variable(machine, thread, stack, sp, fp->base, flags, hash, hint_field, fault);
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
        uint16_t flags = load_u16le(ip);
        uint32_t hash = load_u32le(ip + 2);
        const uint8_t* hint_field = ip + 6;
        ip += 8;
        int subscripts = (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift;
        int element_type = (flags & variable_flags::kTypeMask) >> variable_flags::kTypeShift;
        if (subscripts < 1 || subscripts > 3 || element_type > 2) FAULT(CodeFault::BadOperand, load_u16le(instruction));
        if (sp - subscripts < 1) FAULT(CodeFault::StackUnderflow, 0);
        ValueType array_type = ValueType(element_type + 3);
        // A one-dimensional int element of a reachable array, inline.
        if (subscripts == 1 && element_type == int(ValueType::Int) && (flags & 0x1F) == 0) {
          Value* stored = fast_variable(machine, stack, sp, fp->base, flags, hash, hint_field);
          if (stored && stored->type == ValueType::IntArray && TOP.type == ValueType::Int && stored->array->size1 > 0) {
            const ArrayBlock& array = *stored->array;
            TOP = make_int(array.ints()[wrap_subscript(TOP.integer, array.size1)]);
            NEXT();
          }
        }
        SAVE();
        bool fault = false;
        Value* variable =
            find_array_variable(machine, thread, stack, sp, fp->base, flags, hash, hint_field, array_type, fault);
        if (fault) FAULT(CodeFault::BadLocal, flags);
        if (variable->type != array_type) {
          report_type_mismatch(machine);
          drop_subscripts(stack, sp, subscripts);
          PUSH(make_default(ValueType(element_type)));
        } else {
          ArrayBlock& array = *variable->array;
          int32_t index = array_index(machine, array, stack, sp, subscripts);
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
      CASE(CallDiscard) {
        uint32_t hash = load_u32le(ip);
        const uint8_t* cache_field = ip + 4;
        uint16_t argc = load_u16le(ip + 8);
        ip += 10;
        if (argc > sp - 1) FAULT(CodeFault::StackUnderflow, 0);
        SAVE();
        uint32_t cache = load_u32le(cache_field);
        CallTarget target;
        if (cache != 0 && cache <= machine.call_targets.size()) {
          target = machine.call_targets[cache - 1];
        } else {
          target.position = resolve_function(machine, hash, &target.code);
          if (!target.position) return;
          machine.call_targets.push_back(target);
          resources::store_u32le(const_cast<uint8_t*>(cache_field), uint32_t(machine.call_targets.size()));
        }
        if (fp == &thread.frames.back()) {
          call_position(machine, thread, target.code, target.position, argc, op == Op::CallDiscard);
          return;  // reported; the engine ends
        }
        // With room for the argument count made here, entering the call
        // cannot move the stack; the new frame's position is known, and
        // most calls stay in the caller's block.
        ENSURE_STACK(1);
        fp = &enter_call(thread, *fp, target.code, target.position, argc, op == Op::CallDiscard);
        ip = target.position;
        ++sp;  // the argument count
        if (target.code != code || !code) enter_frame(*fp, ip);
        // Functions with parameters start by checking them: go straight there.
        if (decoded[ip - code_begin] == plain_form(Op::CheckParameters)) {
          instruction = ip;
          op = Op::CheckParameters;
          ip += 2;
          goto check_parameters;
        }
        NEXT();
      }
      CASE(Return)
      plain_return: {
        // The common return, inline: no end handler, and a caller that goes
        // on and finds the callee's records above its own. The result (unless
        // discarded) moves down to the caller's top.
        if (!fp->end_handler && fp != thread.frames.data()) {
          Frame& caller = fp[-1];
          int32_t saved_top = std::max(caller.top, 1);
          if (sp > saved_top && caller.position) {
            int32_t kept = caller.discard_result ? 0 : 1;
            Value& top = stack[sp - 1];
            // An int result is rebuilt from its fields: copying the record
            // whole right after the pair of stores that wrote it stalls on
            // store forwarding.
            Value result = top.type == ValueType::Int ? make_int(top.integer) : top;
            if (!kept) release_value(top);
            for (int32_t i = saved_top; i < sp - 1; ++i) release_value(stack[i]);
            if (kept) stack[saved_top] = result;
            sp = thread.sp = saved_top + kept;
            thread.depth = int(&caller - thread.frames.data());
            fp = &caller;
            ip = caller.position;
            if (caller.code != code || !code) enter_frame(caller, ip);
            NEXT();
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
        if (op == Op::DeclareLocals) {
          ENSURE_STACK(int32_t(count) + 1);
          for (uint16_t i = 0; i < count; ++i) stack[sp++] = make_default(declared_type(types[i]));
          NEXT();
        }
        int32_t base = fp->base;
        int32_t supplied = base >= 1 ? as_int(stack[base - 1]) : 0;
        if (supplied >= count && base - 1 - count >= 0) {
          // The usual case: enough arguments, all of the declared types.
          bool match = true;
          for (int i = 1; i <= count; ++i) match &= uint8_t(stack[base - 1 - i].type) == types[i - 1];
          if (match) NEXT();
        }
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
        SAVE();
        if (run_syscall(machine, thread, instruction, key, argc, op == Op::Syscall) == CallEnd::Wait) return;
        LOAD();
        CHECK_SLICE();
        NEXT();
      }

      // ---- control flow
      CASE(Jump)
      plain_jump: {
        op = Op::Jump;
        int32_t offset = int32_t(load_u32le(ip));
        ip += 4;
        JUMP_TO(offset);
        NEXT();
      }
      CASE(JumpIfTrue)
      CASE(JumpIfFalse) {
        int32_t offset = int32_t(load_u32le(ip));
        ip += 4;
        bool truth = is_true(TOP);
        release_value(TOP);
        --sp;
        if (truth == (op == Op::JumpIfTrue)) JUMP_TO(offset);
        NEXT();
      }
      CASE(Pop)
        release_value(TOP);
        --sp;
        NEXT();
      CASE(Select) {
        int32_t offset = int32_t(load_u32le(ip));
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
        int32_t offset = int32_t(load_u32le(ip));
        ip += 4;
        if (case_jumps(machine, thread, op, TOP)) JUMP_TO(offset);
        NEXT();
      }
      CASE(JumpTable) {
        uint16_t count = load_u16le(ip);
        ip += 2;
        if (code_end - ip < ptrdiff_t(count) * 4) FAULT(CodeFault::TruncatedOperand, load_u16le(instruction));
        int32_t index = as_int(TOP);
        release_value(TOP);
        --sp;
        if (count == 0) break;
        if (index < 0 || index >= count) index = count - 1;
        ip += size_t(index) * 4;
        int32_t offset = int32_t(load_u32le(ip));
        ip += 4;
        JUMP_TO(offset);
        NEXT();
      }
      CASE(Line) {
        fp->line = load_u16le(ip);
        ip += 2;
        SAVE();
        mark_line(machine, thread, fp->line);
        NEXT();
      }
      CASE(OnLeftClick)
      CASE(OnMiddleClick)
      CASE(OnRightClick)
      CASE(OnAnyClick) {
        int32_t offset = int32_t(load_u32le(ip));
        ip += 4;
        const uint8_t* target;
        TARGET_OF(offset, target);
        Frame& frame = *fp;
        bool left = op == Op::OnLeftClick || op == Op::OnAnyClick;
        bool middle = op == Op::OnMiddleClick || op == Op::OnAnyClick;
        bool right = op == Op::OnRightClick || op == Op::OnAnyClick;
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
      CASE(ClearClickHandlers)
        fp->left_handler = fp->right_handler = fp->middle_handler = nullptr;
        NEXT();
      CASE(SetBreak) {
        int32_t offset = int32_t(load_u32le(ip));
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
        int32_t offset = int32_t(load_u32le(ip));
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
        run_text(machine, op, bytes);
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
      default:
        // Unknown opcodes are skipped as a bare 16-bit word.
        SAVE();
        report_script_error(machine, "コード[%04X]は定義されていません", {unsigned(load_u16le(instruction))});
        CHECK_SLICE();
        NEXT();
    }
  }
#undef SAVE
#undef LOAD
#undef FAULT
#undef JUMP_TO
#undef TARGET_OF
#undef TOP
#undef SECOND
#undef ENSURE_STACK
#undef PUSH
#undef CHECK_SLICE
#undef STOP_IF_ENDING
#undef CASE
#undef FORM_CASE
#undef COMPARE_JUMP_CASES
#undef EIGHT_CASES
#undef FAST_NEXT
#undef DECODE_NEXT
#undef FUZZ_BUDGET
#undef NOT_DECODED_LABEL
#undef SEQUENCE_VARIABLE
#undef NUMERIC_OPERANDS
#undef NUMERIC_TOP
#undef NEXT
}

}  // namespace tavelo::script
