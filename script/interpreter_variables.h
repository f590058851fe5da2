#pragma once
// The handlers of the instructions that read and write variables: constants
// pushed, variables and array elements loaded (with their increment and
// unary bits), and the assignment opcodes on variables and elements. The
// common cases (a variable reached by its slot or hint, of the expected type;
// an int element of a one- or two-dimensional array) run inline; the rest
// goes through the general search, which reports and creates what is
// missing. Included by interpreter.cpp only.

#include <cstring>
#include <string_view>

#include "script/interpreter_operands.h"
#include "script/interpreter_registers.h"
#include "script/interpreter_values.h"

namespace tavelo::script {
namespace {

[[gnu::always_inline]] inline Step push_int(Machine& machine, Thread& thread, Registers& r) {
  PUSH(make_int(I32_AT(r.ip)));
  r.ip += 4;
  return Step::Next;
}

[[gnu::always_inline]] inline Step push_float(Machine& machine, Thread& thread, Registers& r) {
  PUSH(make_float(float_at(r.ip)));
  r.ip += 4;
  return Step::Next;
}

[[gnu::always_inline]] inline Step push_string(Machine& machine, Thread& thread, Registers& r) {
  uint16_t count = load_u16le(r.ip);
  r.ip += 2;
  if (r.code_end - r.ip < count) FAULT(CodeFault::TruncatedOperand, load_u16le(r.instruction));
  // The count includes the terminating NUL; texts end at their first NUL.
  const char* text = reinterpret_cast<const char*>(r.ip);
  size_t length = strnlen(text, count);
  r.ip += count;
  PUSH(make_string(std::string_view(text, length)));
  return Step::Next;
}

[[gnu::always_inline]] inline Step load(Machine& machine, Thread& thread, Registers& r) {
  const uint8_t* operand = r.ip;
  uint16_t flags = load_u16le(r.ip);
  uint32_t hash = load_u32le(r.ip + 2);
  const uint8_t* hint_field = r.ip + 6;
  r.ip += 8;
  ValueType type = ValueType((flags & variable_flags::kTypeMask) >> variable_flags::kTypeShift);
  // The common cases inline: a variable reached directly, of the
  // requested type, with at most an integer increment.
  if ((flags & variable_flags::kUnaryMask) == 0) {
    Value* stored = reach(machine, thread, r.stack, r.sp, r.base, operand);
    if (stored && stored->type == type) {
      int step = flags & variable_flags::kStepMask;
      if (step == 0) {
        Value value = *stored;
        retain_value(value);
        PUSH(value);
        return Step::Next;
      }
      if (type == ValueType::Int && step <= 4) {
        int32_t before = stored->integer;
        stored->integer = wrap_add(before, (step == 1 || step == 3) ? 1 : -1);
        PUSH(make_int(step <= 2 ? stored->integer : before));
        return Step::Next;
      }
    }
  }
  if (uint16_t(type) >= kValueTypeCount) FAULT(CodeFault::BadOperand, load_u16le(r.instruction));
  bool fault = false;
  Value* variable = find_operand_variable(machine, thread, r.stack, r.sp, r.base, flags, hash, hint_field, fault);
  if (fault) FAULT(CodeFault::BadLocal, flags);
  if (!variable) variable = create_operand_variable(machine, thread, flags, hash, hint_field, make_default(type));
  bool bits_as_float = type == ValueType::Float && variable->type == ValueType::Int;
  if (variable->type != type && !bits_as_float) {
    save_registers(thread, r);
    report_type_mismatch(machine);
    // Safe continuation: the default of the requested type.
    PUSH(make_default(type));
    STOP_IF_ENDING();
    return Step::Next;
  }
  Value value = step_value(*variable, type, flags & variable_flags::kStepMask);
  value.type = type;
  apply_unary(value, (flags & variable_flags::kUnaryMask) >> variable_flags::kUnaryShift);
  retain_value(value);
  PUSH(value);
  return Step::Next;
}

// An element of an int, float or string array; its subscripts lie on the
// stack, the first one topmost.
[[gnu::always_inline]] inline Step load_element(Machine& machine, Thread& thread, Registers& r) {
  const uint8_t* operand = r.ip;
  uint16_t flags = load_u16le(r.ip);
  uint32_t hash = load_u32le(r.ip + 2);
  const uint8_t* hint_field = r.ip + 6;
  r.ip += 8;
  int subscripts = (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift;
  int element_type = (flags & variable_flags::kTypeMask) >> variable_flags::kTypeShift;
  if (subscripts < 1 || subscripts > 3 || element_type > 2) FAULT(CodeFault::BadOperand, load_u16le(r.instruction));
  if (r.sp - subscripts < 1) FAULT(CodeFault::StackUnderflow, 0);
  ValueType array_type = ValueType(element_type + 3);
  // An int element of a one- or two-dimensional array reached directly, inline.
  if (subscripts <= 2 && element_type == int(ValueType::Int) && (flags & 0x1F) == 0 &&
      TOP.type == ValueType::Int) {
    ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, operand));
    if (array && subscripts == 1) {
      TOP = make_int(array->ints()[wrap_subscript(TOP.integer, array->size1)]);
      return Step::Next;
    }
    if (array && SECOND.type == ValueType::Int) {
      SECOND = make_int(array->ints()[element_index(*array, SECOND.integer, TOP.integer)]);
      --r.sp;
      return Step::Next;
    }
  }
  save_registers(thread, r);
  bool fault = false;
  Value* variable =
      find_array_variable(machine, thread, r.stack, r.sp, r.base, flags, hash, hint_field, array_type, fault);
  if (fault) FAULT(CodeFault::BadLocal, flags);
  if (variable->type != array_type) {
    report_type_mismatch(machine);
    release_values(r.stack + r.sp, subscripts);
    r.sp -= subscripts;
    PUSH(make_default(ValueType(element_type)));
  } else {
    ArrayBlock& array = *variable->array;
    int32_t index = array_index(machine, array, r.stack + r.sp, subscripts);
    release_values(r.stack + r.sp, subscripts);
    r.sp -= subscripts;
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
  return Step::Next;
}

// The assignment opcodes on variables share one handler; kAssignInfos tells
// what each computes, on which type, and whether it drops the value.
#define TAVELO_VARIABLE_ASSIGNMENTS(X)                                                                        \
  X(AssignIntPop) X(AddAssignIntPop) X(AssignInt) X(AssignFloat) X(AssignString) X(AssignIntArray)            \
  X(AssignFloatArray) X(AssignStringArray) X(MulAssignInt) X(MulAssignFloat) X(DivAssignInt) X(DivAssignFloat) \
  X(ModAssignInt) X(AddAssignInt) X(AddAssignFloat) X(AddAssignString) X(SubAssignInt) X(SubAssignFloat)       \
  X(ShiftLeftAssign) X(ShiftRightAssign) X(AndAssign) X(XorAssign) X(OrAssign) X(AssignFloatPop)               \
  X(AssignStringPop) X(AssignIntArrayPop) X(AssignFloatArrayPop) X(AssignStringArrayPop) X(MulAssignIntPop)    \
  X(MulAssignFloatPop) X(DivAssignIntPop) X(DivAssignFloatPop) X(ModAssignIntPop) X(AddAssignFloatPop)         \
  X(AddAssignStringPop) X(SubAssignIntPop) X(SubAssignFloatPop) X(ShiftLeftAssignPop) X(ShiftRightAssignPop)   \
  X(AndAssignPop) X(XorAssignPop) X(OrAssignPop)
[[gnu::always_inline]] inline Step assign_variable(Machine& machine, Thread& thread, Registers& r) {
  const uint8_t* operand = r.ip;
  uint16_t flags = load_u16le(r.ip);
  uint32_t hash = load_u32le(r.ip + 2);
  const uint8_t* hint_field = r.ip + 6;
  r.ip += 8;
  const AssignInfo& info = kAssignInfos[size_t(OP)];
  // Numbers into a number variable of the same type, and a string
  // stored in a string variable, inline when the variable is reached
  // directly (and is not the value itself).
  Value* stored = reach(machine, thread, r.stack, r.sp, r.base, operand);
  if (stored && stored != &TOP && stored->type == info.type) {
    if (info.type == ValueType::Int && (TOP.type == ValueType::Int || TOP.type == ValueType::Float)) {
      stored->integer = int_arith(info.kind, stored->integer, as_int(TOP));
      if (info.pop) --r.sp;
      else TOP = *stored;
      return Step::Next;
    }
    if (info.type == ValueType::Float && (TOP.type == ValueType::Int || TOP.type == ValueType::Float)) {
      stored->real = float_arith(info.kind, stored->real, as_float(TOP), Divisor::Variable);
      if (info.pop) --r.sp;
      else TOP = *stored;
      return Step::Next;
    }
    if (info.type == ValueType::String && info.kind == Arith::Assign && TOP.type == ValueType::String) {
      StringBlock* old = stored->string;
      stored->string = TOP.string;  // the value's reference moves into the variable
      if (info.pop) {
        --r.sp;
      } else {
        ++TOP.string->references;
        TOP = *stored;
      }
      release_string(old);
      return Step::Next;
    }
  }
  save_registers(thread, r);
  bool fault = false;
  Value* variable = find_operand_variable(machine, thread, r.stack, r.sp, r.base, flags, hash, hint_field, fault);
  if (fault) FAULT(CodeFault::BadLocal, flags);
  if (!variable) {
    variable = create_operand_variable(machine, thread, flags, hash, hint_field, make_default(TOP.type));
  }
  apply_assignment(machine, OP, info, *variable, TOP, Divisor::Variable);
  variable->hash = hash;
  variable->scope = Scope((flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift);
  if (info.pop) {
    release_value(TOP);
    --r.sp;
  } else {
    Value copy = *variable;
    retain_value(copy);
    release_value(TOP);
    TOP = copy;
  }
  STOP_IF_ENDING();
  return Step::Next;
}

// The same on array elements; the subscripts lie below the value.
#define TAVELO_ELEMENT_ASSIGNMENTS(X)                                                                          \
  X(ElementAssignInt) X(ElementAssignFloat) X(ElementAssignString) X(ElementMulAssignInt)                      \
  X(ElementMulAssignFloat) X(ElementDivAssignInt) X(ElementDivAssignFloat) X(ElementModAssignInt)              \
  X(ElementAddAssignInt) X(ElementAddAssignFloat) X(ElementAddAssignString) X(ElementSubAssignInt)             \
  X(ElementSubAssignFloat) X(ElementShiftLeftAssign) X(ElementShiftRightAssign) X(ElementAndAssign)            \
  X(ElementXorAssign) X(ElementOrAssign) X(ElementAssignIntPop) X(ElementAssignFloatPop)                       \
  X(ElementAssignStringPop) X(ElementMulAssignIntPop) X(ElementMulAssignFloatPop) X(ElementDivAssignIntPop)    \
  X(ElementDivAssignFloatPop) X(ElementModAssignIntPop) X(ElementAddAssignIntPop) X(ElementAddAssignFloatPop)  \
  X(ElementAddAssignStringPop) X(ElementSubAssignIntPop) X(ElementSubAssignFloatPop)                           \
  X(ElementShiftLeftAssignPop) X(ElementShiftRightAssignPop) X(ElementAndAssignPop) X(ElementXorAssignPop)     \
  X(ElementOrAssignPop)
[[gnu::always_inline]] inline Step assign_element(Machine& machine, Thread& thread, Registers& r) {
  const uint8_t* operand = r.ip;
  uint16_t flags = load_u16le(r.ip);
  uint32_t hash = load_u32le(r.ip + 2);
  const uint8_t* hint_field = r.ip + 6;
  r.ip += 8;
  int subscripts = (flags & variable_flags::kSubscriptMask) >> variable_flags::kSubscriptShift;
  if (subscripts < 1 || subscripts > 3) FAULT(CodeFault::BadOperand, load_u16le(r.instruction));
  if (r.sp - subscripts < 2) FAULT(CodeFault::StackUnderflow, 0);
  // Storing an int into a one- or two-dimensional int array, inline.
  if (OP == Op::ElementAssignIntPop && subscripts <= 2 && TOP.type == ValueType::Int &&
      SECOND.type == ValueType::Int) {
    ArrayBlock* array = int_array(reach(machine, thread, r.stack, r.sp, r.base, operand));
    if (array && subscripts == 1) {
      array->ints()[wrap_subscript(TOP.integer, array->size1)] = SECOND.integer;
      r.sp -= 2;
      return Step::Next;
    }
    if (array && r.stack[r.sp - 3].type == ValueType::Int) {
      array->ints()[element_index(*array, SECOND.integer, TOP.integer)] = r.stack[r.sp - 3].integer;
      r.sp -= 3;
      return Step::Next;
    }
  }
  const AssignInfo& info = kAssignInfos[size_t(OP)];
  ValueType array_type = ValueType(uint16_t(info.type) + 3);
  save_registers(thread, r);
  bool fault = false;
  Value* variable =
      find_array_variable(machine, thread, r.stack, r.sp, r.base, flags, hash, hint_field, array_type, fault);
  if (fault) FAULT(CodeFault::BadLocal, flags);
  if (variable->type != array_type) {
    report_type_mismatch(machine);
    release_values(r.stack + r.sp, subscripts);
    r.sp -= subscripts;
  } else {
    ArrayBlock& array = *variable->array;
    int32_t index = array_index(machine, array, r.stack + r.sp, subscripts);
    release_values(r.stack + r.sp, subscripts);
    r.sp -= subscripts;
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
    --r.sp;
  }
  STOP_IF_ENDING();
  return Step::Next;
}

}  // namespace
}  // namespace tavelo::script
