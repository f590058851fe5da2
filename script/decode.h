#pragma once
// Decoded forms: what the interpreter runs at each instruction start. An
// instruction is decoded once, the first time it runs (interpreter.cpp keeps
// the result per code position in CodeBlock::decoded): its fixed operands are
// checked against the block, and the short sequences compilers emit for loop
// tests, counters, accumulators, element accesses and string tests are
// recognised, so the loop can run each as one step. docs/interpreter.md lists
// the sequences and the rule that keeps them exact.

#include <cstddef>
#include <cstdint>

#include "script/opcodes.h"

namespace tavelo::script {

using DecodedForm = uint16_t;

// 0: not decoded yet; 1 + op: the plain instruction (its fixed operands inside
// the block), run by its own case; the forms below: sequences.
inline constexpr DecodedForm kNotDecoded = 0;
constexpr DecodedForm plain_form(Op op) { return DecodedForm(size_t(op) + 1); }

// Every sequence has a local and an any-scope variant (its variable a local
// slot, or an eternal, global or thread variable reached through the slot
// hint), in two blocks of the same order, so that each runs without asking
// for the scope. Families of width 8 have one form per jump mask (below),
// families of width 4 one per operation or statement kind, FoldStatement one
// per pair (operation kind * 4 + statement kind), FoldAssign one for add and
// one for subtract.
#define TAVELO_SEQUENCE_FAMILIES(FAMILY)                                                        \
  FAMILY(LoadInt, 1)                /* load (an int) whose int the next instruction may take */ \
  FAMILY(LoadIntPush, 1)            /* load (an int) for an instruction that takes it from the stack */ \
  FAMILY(CompareJump, 8)            /* load; push_int; int comparison; jump_if_false/true */   \
  FAMILY(StepCompareJump, 8)        /* load with ++ or --; push_int; comparison; jump */       \
  FAMILY(CompareVariablesJump, 8)   /* load; load; comparison; jump */                         \
  FAMILY(ConstantCompareJump, 8)    /* push_int; load; comparison; jump */                     \
  FAMILY(FoldConstant, 4)           /* load; push_int; int operation */                        \
  FAMILY(FoldStatement, 16)         /* load; push_int; int operation; int statement */         \
  FAMILY(FoldAssign, 2)             /* load; push_int; add_int or sub_int; set_int_pop local */ \
  FAMILY(FoldVariables, 4)          /* load; load; int operation */                            \
  FAMILY(ConstantFold, 4)           /* push_int; load; int operation */                        \
  FAMILY(OperateVariable, 4)        /* load; int operation on the value below */               \
  FAMILY(Statement, 4)              /* load; int statement (set_int_pop, add_set_int_pop...) */ \
  FAMILY(ConstantStatement, 4)      /* push_int; int statement */                              \
  FAMILY(Step, 1)                   /* load with ++ or --; pop */                              \
  FAMILY(LoadIntReturn, 1)          /* load; return */                                         \
  FAMILY(LoadElementAt, 1)          /* load; load_elem, one-dimensional int array */           \
  FAMILY(LoadElementAt2, 1)         /* load; load; load_elem, two-dimensional int array */     \
  FAMILY(StoreElementAt, 1)         /* load; load; elem_set_int_pop, one dimension */          \
  FAMILY(StoreTopAt, 1)             /* load; elem_set_int_pop (the value below), one dimension */ \
  FAMILY(StoreTopAt2, 1)            /* load; load; elem_set_int_pop (the value below), two */  \
  FAMILY(FloatFold, 1)              /* load (a float); push_float; float operation */          \
  FAMILY(FloatFoldStatement, 4)     /* load; push_float; float operation; float statement */   \
  FAMILY(FloatStatement, 4)         /* load (a float); float statement */                      \
  FAMILY(FloatConstantStatement, 4) /* push_float; float statement */                          \
  FAMILY(StringCompareJump, 8)      /* load (a string); push_string; string comparison; jump */ \
  FAMILY(StringVariablesCompareJump, 8) /* load; load (strings); comparison; jump */           \
  FAMILY(ConcatConstant, 1)         /* load (a string); push_string; concat */                 \
  FAMILY(ConcatAssign, 1)           /* load (a string); push_string; concat; set_string_pop */

enum class Form : DecodedForm {
  Jump = kOpcodeCount + 2,  // a jump, without the general dispatch
  OperateConstant,          // push_int; int operation on the value below (4 forms)
  OperateConstantLast = OperateConstant + 3,
  ConstantReturn,           // push_int; return
#define TAVELO_FAMILY(name, width) Local##name, Local##name##Last = Local##name + (width) - 1,
  TAVELO_SEQUENCE_FAMILIES(TAVELO_FAMILY)
#undef TAVELO_FAMILY
#define TAVELO_FAMILY(name, width) name, name##Last = name + (width) - 1,
  TAVELO_SEQUENCE_FAMILIES(TAVELO_FAMILY)
#undef TAVELO_FAMILY
  Count,
};
inline constexpr DecodedForm kFormCount = DecodedForm(Form::Count);
inline constexpr DecodedForm kLocalToAnyScope = DecodedForm(Form::LoadInt) - DecodedForm(Form::LocalLoadInt);

// A test's comparison and jump sense, folded into the form when decoded: bit
// r of the mask is set when the jump is taken for relation r of the left
// operand to the right one (0 less, 1 equal, 2 greater). The masked families
// add the mask to their first form.
uint8_t jump_mask(Op comparison, bool jump_if_true);
inline bool jump_taken(unsigned mask, int relation) { return (mask >> relation) & 1; }

// What a statement computes, folded into the form of the statement
// families: the three common ones, and any other (read from the instruction
// when it runs).
enum class StatementKind : uint8_t { Assign, Add, Subtract, Other };
// The same for the int operations the sequences fold.
enum class OperationKind : uint8_t { Add, Subtract, Multiply, Other };
constexpr OperationKind operation_kind(Op op) {
  return op == Op::AddInt ? OperationKind::Add
         : op == Op::SubInt ? OperationKind::Subtract
         : op == Op::MulInt ? OperationKind::Multiply
                            : OperationKind::Other;
}
constexpr StatementKind statement_kind(Op op) {
  switch (op) {
    case Op::AssignIntPop: case Op::AssignFloatPop: return StatementKind::Assign;
    case Op::AddAssignIntPop: case Op::AddAssignFloatPop: return StatementKind::Add;
    case Op::SubAssignIntPop: case Op::SubAssignFloatPop: return StatementKind::Subtract;
    default: return StatementKind::Other;
  }
}

enum class CodeFault { OutsideCode, TruncatedOperand, StackUnderflow, BadLocal, BadOperand };

struct Decoding {
  DecodedForm form = kNotDecoded;  // kNotDecoded: the fault below
  CodeFault fault = CodeFault::OutsideCode;
  uint32_t detail = 0;
};

// Decodes the instruction at `at` of the block [begin, end), followed by its
// zero padding.
Decoding decode_instruction(const uint8_t* begin, const uint8_t* end, const uint8_t* at);

// The instructions the sequences take, by what they compute.
constexpr bool is_int_comparison(Op op) {
  return op == Op::LessEqualInt || op == Op::LessInt || op == Op::GreaterEqualInt || op == Op::GreaterInt ||
         op == Op::EqualInt || op == Op::NotEqualInt;
}
// Every operation of two ints giving an int (arithmetic, shifts, bitwise and
// logical operations, comparisons).
constexpr bool is_int_operation(Op op) {
  switch (op) {
    case Op::MulInt: case Op::DivInt: case Op::ModInt: case Op::AddInt: case Op::SubInt:
    case Op::ShiftRight: case Op::ShiftLeft: case Op::BitXor: case Op::LogicalAnd: case Op::LogicalOr:
    case Op::BitAnd: case Op::BitOr: return true;
    default: return is_int_comparison(op);
  }
}
// The int statements on variables: set_int_pop and the compound forms.
constexpr bool is_int_statement(Op op) {
  switch (op) {
    case Op::AssignIntPop: case Op::MulAssignIntPop: case Op::DivAssignIntPop: case Op::ModAssignIntPop:
    case Op::AddAssignIntPop: case Op::SubAssignIntPop: case Op::ShiftLeftAssignPop: case Op::ShiftRightAssignPop:
    case Op::AndAssignPop: case Op::XorAssignPop: case Op::OrAssignPop: return true;
    default: return false;
  }
}
bool is_float_operation(Op op);  // add, sub, mul, div of floats
bool is_float_statement(Op op);  // set_float_pop and the compound forms
bool is_string_comparison(Op op);

}  // namespace tavelo::script
