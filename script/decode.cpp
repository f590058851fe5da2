// Decoding instructions into the interpreter's forms.

#include "script/decode.h"

#include <cstring>

#include "resources/byte_reader.h"
#include "script/value.h"

namespace tavelo::script {
namespace {

using resources::load_u16le;
using resources::load_u32le;

constexpr std::array<uint8_t, kOpcodeCount + 1> make_operand_sizes() {
  std::array<uint8_t, kOpcodeCount + 1> sizes{};
  for (size_t i = 0; i < kOpcodeCount; ++i) sizes[i] = uint8_t(fixed_operand_size(kOpcodeInfo[i].layout));
  sizes[kOpcodeCount] = 0;
  return sizes;
}
constexpr std::array<uint8_t, kOpcodeCount + 1> kOperandSizes = make_operand_sizes();

// Sizes of the instructions the sequences are made of.
constexpr ptrdiff_t kVariableSize = 10;  // opcode, flags, hash, slot or hint
constexpr ptrdiff_t kConstantSize = 6;   // push_int or push_float
constexpr ptrdiff_t kJumpSize = 6;
constexpr ptrdiff_t kBareSize = 2;

uint16_t scope_of(uint16_t flags) { return (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift; }
int subscripts_of(uint16_t flags) { return (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift; }
bool is_local(uint16_t flags) { return scope_of(flags) == uint16_t(Scope::Local); }

// A load the sequences take: a plain value of the type (no increment, unary
// operation or subscripts; an int load may have an increment when step is
// allowed), in one of the four scopes.
enum class Steps { None, Allowed };
bool is_sequence_load(uint16_t flags, ValueType type, Steps steps) {
  uint16_t rest = flags & ~(variable_flags::kScopeMask | variable_flags::kStepMask);
  int step = flags & variable_flags::kStepMask;
  bool step_ok = step == 0 || (steps == Steps::Allowed && type == ValueType::Int && step <= 4);
  return rest == (uint16_t(type) << variable_flags::kTypeShift) && step_ok && scope_of(flags) <= uint16_t(Scope::Local);
}

// An element load the sequences take: an int element, no increment or unary
// operation, with that many subscripts.
bool is_int_element_load(uint16_t flags, int subscripts) {
  return subscripts_of(flags) == subscripts && scope_of(flags) <= uint16_t(Scope::Local) &&
         (flags & (variable_flags::kTypeMask | variable_flags::kStepMask | variable_flags::kUnaryMask)) ==
             (uint16_t(ValueType::Int) << variable_flags::kTypeShift);
}

bool is_known_scope(uint16_t flags) { return scope_of(flags) <= uint16_t(Scope::Local); }

// A literal whose text ends at its last byte, the only NUL: the sequences
// take its length from the count instead of searching for the end each run.
bool is_whole_text(const uint8_t* text, size_t count) {
  return count >= 1 && text[count - 1] == 0 && std::memchr(text, 0, count - 1) == nullptr;
}

bool is_branch(Op op) { return op == Op::JumpIfFalse || op == Op::JumpIfTrue; }

// Whether the instruction can take an int a sequence computed without the
// stack (the interpreter's INT_RESULT consumers). The instructions that
// start sequences themselves never do, so the opcode decides.
bool takes_int_result(Op op) {
  return is_int_statement(op) || is_int_operation(op) || op == Op::LoadElement || op == Op::ElementAssignIntPop ||
         is_branch(op) || op == Op::Return || op == Op::PushInt;
}

}  // namespace

uint8_t jump_mask(Op comparison, bool jump_if_true) {
  uint8_t truth = 0b100;  // greater
  switch (comparison) {
    case Op::LessInt: case Op::LessString: truth = 0b001; break;
    case Op::LessEqualInt: case Op::LessEqualString: truth = 0b011; break;
    case Op::EqualInt: case Op::EqualString: truth = 0b010; break;
    case Op::NotEqualInt: case Op::NotEqualString: truth = 0b101; break;
    case Op::GreaterEqualInt: case Op::GreaterEqualString: truth = 0b110; break;
    default: break;
  }
  return jump_if_true ? truth : uint8_t(~truth & 0b111);
}

bool is_float_operation(Op op) {
  return op == Op::AddFloat || op == Op::SubFloat || op == Op::MulFloat || op == Op::DivFloat;
}

bool is_float_statement(Op op) {
  return op == Op::AssignFloatPop || op == Op::MulAssignFloatPop || op == Op::DivAssignFloatPop ||
         op == Op::AddAssignFloatPop || op == Op::SubAssignFloatPop;
}

bool is_string_comparison(Op op) {
  return op == Op::LessEqualString || op == Op::LessString || op == Op::GreaterEqualString ||
         op == Op::GreaterString || op == Op::EqualString || op == Op::NotEqualString;
}

Decoding decode_instruction(const uint8_t* begin, const uint8_t* end, const uint8_t* at) {
  ptrdiff_t left = end - at;
  if (left < 2) return {kNotDecoded, CodeFault::OutsideCode, uint32_t(at - begin)};
  Op op = decode_opcode(load_u16le(at));
  if (left - 2 < ptrdiff_t(kOperandSizes[size_t(op)])) return {kNotDecoded, CodeFault::TruncatedOperand, load_u16le(at)};
  // Reads within the block or its padding; an instruction cut off by the end
  // of the block reads as Invalid.
  auto op_at = [&](ptrdiff_t offset) { return left >= offset + 2 ? decode_opcode(load_u16le(at + offset)) : Op::Invalid; };
  auto flags_at = [&](ptrdiff_t offset) { return left >= offset + 4 ? load_u16le(at + offset + 2) : uint16_t(0); };
  // A conditional jump at offset whose target lies in the block.
  auto branch_at = [&](ptrdiff_t offset) {
    if (left < offset + kJumpSize || !is_branch(op_at(offset))) return false;
    int64_t target = int64_t(at - begin) + offset + kJumpSize + int32_t(load_u32le(at + offset + 2));
    return target >= 0 && target < end - begin;
  };
  auto masked = [&](Form first, ptrdiff_t comparison, bool local) {
    uint8_t mask = jump_mask(op_at(comparison), op_at(comparison + kBareSize) == Op::JumpIfTrue);
    return Decoding{DecodedForm(DecodedForm(first) - (local ? kLocalToAnyScope : 0) + mask)};
  };
  auto sequence = [&](Form form, bool local) {
    return Decoding{DecodedForm(DecodedForm(form) - (local ? kLocalToAnyScope : 0))};
  };
  // A statement family's form for the statement at offset.
  auto statement = [&](Form first, ptrdiff_t offset, bool local) {
    return Decoding{DecodedForm(DecodedForm(first) - (local ? kLocalToAnyScope : 0) +
                                DecodedForm(statement_kind(op_at(offset))))};
  };
  // An operation family's form for the operation at offset.
  auto operation_form = [&](Form first, ptrdiff_t offset, bool local) {
    return Decoding{DecodedForm(DecodedForm(first) - (local ? kLocalToAnyScope : 0) +
                                DecodedForm(operation_kind(op_at(offset))))};
  };
  const Decoding plain{plain_form(op)};

  if (op == Op::Jump) {
    int64_t target = int64_t(at - begin) + kJumpSize + int32_t(load_u32le(at + 2));
    return target >= 0 && target < end - begin ? Decoding{DecodedForm(Form::Jump)} : plain;
  }

  if (op == Op::PushInt) {
    Op next = op_at(kConstantSize);
    uint16_t flags = flags_at(kConstantSize);
    bool local = is_local(flags);
    if (next == Op::Load && is_sequence_load(flags, ValueType::Int, Steps::None)) {
      Op operation = op_at(kConstantSize + kVariableSize);
      if (is_int_comparison(operation) && branch_at(kConstantSize + kVariableSize + kBareSize)) {
        return masked(Form::ConstantCompareJump, kConstantSize + kVariableSize, local);
      }
      if (is_int_operation(operation)) return operation_form(Form::ConstantFold, kConstantSize + kVariableSize, local);
    }
    if (is_int_statement(next) && is_known_scope(flags) && left >= kConstantSize + kVariableSize) {
      return statement(Form::ConstantStatement, kConstantSize, local);
    }
    if (next == Op::Return) return Decoding{DecodedForm(Form::ConstantReturn)};
    if (is_int_operation(next)) {
      return Decoding{DecodedForm(DecodedForm(Form::OperateConstant) + DecodedForm(operation_kind(next)))};
    }
    return plain;
  }

  if (op == Op::PushFloat) {
    uint16_t flags = flags_at(kConstantSize);
    if (is_float_statement(op_at(kConstantSize)) && is_known_scope(flags) && left >= kConstantSize + kVariableSize) {
      return statement(Form::FloatConstantStatement, kConstantSize, is_local(flags));
    }
    return plain;
  }

  if (op != Op::Load) return plain;
  uint16_t flags = load_u16le(at + 2);
  bool local = is_local(flags);
  Op next = op_at(kVariableSize);
  uint16_t next_flags = flags_at(kVariableSize);
  Op third = op_at(2 * kVariableSize);

  if (is_sequence_load(flags, ValueType::Float, Steps::None)) {
    if (next == Op::PushFloat && is_float_operation(op_at(kVariableSize + kConstantSize))) {
      ptrdiff_t statement_at = kVariableSize + kConstantSize + kBareSize;
      if (is_float_statement(op_at(statement_at)) && is_known_scope(flags_at(statement_at)) &&
          left >= statement_at + kVariableSize) {
        return statement(Form::FloatFoldStatement, statement_at, local);
      }
      return sequence(Form::FloatFold, local);
    }
    if (is_float_statement(next) && is_known_scope(next_flags) && left >= 2 * kVariableSize) {
      return statement(Form::FloatStatement, kVariableSize, local);
    }
    return plain;
  }

  if (is_sequence_load(flags, ValueType::String, Steps::None)) {
    if (next == Op::PushString && left >= kVariableSize + 4) {
      size_t count = load_u16le(at + kVariableSize + 2);
      ptrdiff_t after = kVariableSize + 4 + ptrdiff_t(count);  // past the literal
      if (left >= after + kBareSize && is_whole_text(at + kVariableSize + 4, count)) {
        if (is_string_comparison(op_at(after)) && branch_at(after + kBareSize)) {
          return masked(Form::StringCompareJump, after, local);
        }
        if (op_at(after) == Op::Concat) {
          ptrdiff_t store_at = after + kBareSize;
          if (op_at(store_at) == Op::AssignStringPop && is_known_scope(flags_at(store_at)) &&
              left >= store_at + kVariableSize) {
            return sequence(Form::ConcatAssign, local);
          }
          return sequence(Form::ConcatConstant, local);
        }
      }
    }
    if (next == Op::Load && is_sequence_load(next_flags, ValueType::String, Steps::None) &&
        is_string_comparison(third) && branch_at(2 * kVariableSize + kBareSize)) {
      return masked(Form::StringVariablesCompareJump, 2 * kVariableSize, local);
    }
    return plain;
  }

  if (!is_sequence_load(flags, ValueType::Int, Steps::Allowed)) return plain;
  if ((flags & variable_flags::kStepMask) != 0) {
    if (next == Op::Pop) return sequence(Form::Step, local);
    if (next == Op::PushInt && is_int_comparison(op_at(kVariableSize + kConstantSize)) &&
        branch_at(kVariableSize + kConstantSize + kBareSize)) {
      return masked(Form::StepCompareJump, kVariableSize + kConstantSize, local);
    }
    return plain;
  }
  if (next == Op::PushInt) {
    ptrdiff_t operation_at = kVariableSize + kConstantSize;
    Op operation = op_at(operation_at);
    if (is_int_comparison(operation) && branch_at(operation_at + kBareSize)) {
      return masked(Form::CompareJump, operation_at, local);
    }
    if (is_int_operation(operation)) {
      ptrdiff_t statement_at = operation_at + kBareSize;
      if (is_int_statement(op_at(statement_at)) && is_known_scope(flags_at(statement_at)) &&
          left >= statement_at + kVariableSize) {
        // The common `v = w + K` into a local: the target's scope and the
        // statement are known, and only add and subtract remain.
        OperationKind kind = operation_kind(operation);
        if (op_at(statement_at) == Op::AssignIntPop && is_local(flags_at(statement_at)) &&
            (kind == OperationKind::Add || kind == OperationKind::Subtract)) {
          return Decoding{DecodedForm(DecodedForm(Form::FoldAssign) - (local ? kLocalToAnyScope : 0) +
                                      DecodedForm(kind == OperationKind::Subtract))};
        }
        Decoding decoding = statement(Form::FoldStatement, statement_at, local);
        decoding.form = DecodedForm(decoding.form + 4 * DecodedForm(operation_kind(op_at(operation_at))));
        return decoding;
      }
      return operation_form(Form::FoldConstant, operation_at, local);
    }
  }
  if (is_int_statement(next) && is_known_scope(next_flags) && left >= 2 * kVariableSize) {
    return statement(Form::Statement, kVariableSize, local);
  }
  if (next == Op::Return) return sequence(Form::LoadIntReturn, local);
  if (next == Op::LoadElement && is_int_element_load(next_flags, 1) && left >= 2 * kVariableSize) {
    return sequence(Form::LoadElementAt, local);
  }
  if (next == Op::ElementAssignIntPop && subscripts_of(next_flags) == 1 && is_known_scope(next_flags) &&
      left >= 2 * kVariableSize) {
    return sequence(Form::StoreTopAt, local);
  }
  if (next == Op::Load && is_sequence_load(next_flags, ValueType::Int, Steps::None)) {
    uint16_t third_flags = flags_at(2 * kVariableSize);
    if (is_int_comparison(third) && branch_at(2 * kVariableSize + kBareSize)) {
      return masked(Form::CompareVariablesJump, 2 * kVariableSize, local);
    }
    if (is_int_operation(third)) return operation_form(Form::FoldVariables, 2 * kVariableSize, local);
    if (left >= 3 * kVariableSize) {
      if (third == Op::LoadElement && is_int_element_load(third_flags, 2)) return sequence(Form::LoadElementAt2, local);
      if (third == Op::ElementAssignIntPop && is_known_scope(third_flags)) {
        if (subscripts_of(third_flags) == 2) return sequence(Form::StoreTopAt2, local);
        if (subscripts_of(third_flags) == 1) return sequence(Form::StoreElementAt, local);
      }
    }
  }
  if (is_int_operation(next)) return operation_form(Form::OperateVariable, kVariableSize, local);
  return sequence(takes_int_result(next) ? Form::LoadInt : Form::LoadIntPush, local);
}

}  // namespace tavelo::script
