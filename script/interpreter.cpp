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
// string tests, which run as one step each (interpreter_fused.h).
//
// This file is the dispatch only: one case per plain instruction and per
// form family, each handing over to its handler, by what the handler does:
//   interpreter_values.h      what the instructions compute
//   interpreter_registers.h   the loop's registers and how handlers leave
//   interpreter_operands.h    variables, array elements, jump targets
//   interpreter_arithmetic.h  operations on the values on top
//   interpreter_variables.h   loads, constants, assignments
//   interpreter_calls.h       calls, returns, parameters, system calls
//   interpreter_control.h     jumps, select and case, handlers, text
//   interpreter_fused.h       fused forms and the consumers of their ints
//   interpreter_jump_table.h  computed goto or switch
// docs/interpreter.md explains the forms and how to add an instruction.

#include "script/interpreter.h"

#include <iterator>

#include "script/interpreter_arithmetic.h"
#include "script/interpreter_calls.h"
#include "script/interpreter_control.h"
#include "script/interpreter_fused.h"
#include "script/interpreter_registers.h"
#include "script/interpreter_variables.h"

namespace tavelo::script {

bool deadline_reached(uint32_t now, int32_t deadline) {
  if (deadline == 0 || deadline == kNoDeadline) return deadline == 0;
  int64_t difference = int64_t(now) - int64_t(uint32_t(deadline));
  if (difference >= 0) return true;
  return difference < -43200000;
}

// Before each plain instruction: a malformed one may have popped the stack
// empty. Fused forms never take the stack below where they found it, so the
// check follows only plain instructions.
#define CHECK_STACK()                                                       \
  if (r.sp < 1) [[unlikely]] {                                              \
    save_registers(thread, r);                                              \
    report_code_fault(machine, thread, CodeFault::StackUnderflow, 0);       \
    return;                                                                 \
  }
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
#define FUZZ_BUDGET()                         \
  if (--r.fuzz_instructions_left < 0) {       \
    save_registers(thread, r);                \
    request_exit(machine, 0);                 \
    return;                                   \
  }
#else
#define FUZZ_BUDGET()
#endif
#define DECODE_NEXT()          \
  FUZZ_BUDGET();               \
  r.instruction = r.ip;        \
  r.form = FORM_AT(r.ip);      \
  r.ip += 2
// Where the loop goes after a handler. Every handler returns constants, so
// once it is inlined only its own outcomes remain, each a direct jump.
#define STEP(handler)                                           \
  switch (handler) {                                            \
    case Step::Next: NEXT();                                    \
    case Step::Sequence: SEQUENCE_NEXT();                       \
    case Step::IntResult: CONSUME_NEXT();                       \
    case Step::PushResult: goto consume_none;                   \
    case Step::ReturnResult: goto consume_return;               \
    case Step::Call: DECODE_NEXT(); goto call_instruction;      \
    case Step::CheckParameters: goto check_parameters;          \
    case Step::PlainLoad: goto plain_load;                      \
    case Step::PlainPushInt: goto plain_push_int;               \
    case Step::PlainPushFloat: goto plain_push_float;           \
    case Step::Exit: return;                                    \
  }                                                             \
  return;
// A plain instruction with a handler of its own.
#define PLAIN(name, handler) CASE(name) STEP(handler)

// The handlers of the fused families, each run for its local forms and its
// any-scope forms (the order of TAVELO_SEQUENCE_FAMILIES).
#define TAVELO_FUSED_HANDLERS(X) \
  X(1, LoadInt, load_int) \
  X(1, LoadIntPush, load_int_push) \
  X(8, CompareJump, compare_jump) \
  X(8, StepCompareJump, step_compare_jump) \
  X(8, CompareVariablesJump, compare_variables_jump) \
  X(8, ConstantCompareJump, constant_compare_jump) \
  X(4, FoldConstant, fold_constant) \
  X(16, FoldStatement, fold_statement) \
  X(2, FoldAssign, fold_assign) \
  X(4, FoldVariables, fold_variables) \
  X(4, ConstantFold, constant_fold) \
  X(4, OperateVariable, operate_variable) \
  X(4, Statement, statement) \
  X(4, ConstantStatement, constant_statement) \
  X(1, Step, step) \
  X(1, LoadIntReturn, load_int_return) \
  X(1, LoadElementAt, load_element_at) \
  X(1, LoadElementAt2, load_element_at_2) \
  X(1, StoreElementAt, store_element_at) \
  X(1, StoreTopAt, store_top_at) \
  X(1, StoreTopAt2, store_top_at_2) \
  X(1, FloatFold, float_fold) \
  X(4, FloatFoldStatement, float_fold_statement) \
  X(4, FloatStatement, float_statement) \
  X(4, FloatConstantStatement, float_constant_statement) \
  X(8, StringCompareJump, string_compare_jump) \
  X(8, StringVariablesCompareJump, string_variables_compare_jump) \
  X(1, ConcatConstant, concat_constant) \
  X(1, ConcatAssign, concat_assign)
#define LOCAL_FORMS(width, name, handler) \
  FORM_CASE(width, Local##name) STEP(fused::handler<true>(machine, thread, r))
#define ANY_SCOPE_FORMS(width, name, handler) FORM_CASE(width, name) STEP(fused::handler<false>(machine, thread, r))

namespace {

// Runs the thread until a handler ends the slice, or until the loop pauses
// (kSlicePaused; interpreter_jump_table.h). Never inlined: the pauses exist
// so that the loop is entered anew.
[[gnu::noinline]] void run_slice_part(Machine& machine, Thread& thread) {
  machine.slice_state = kSliceRunning;
  make_current(machine, &thread);
  if (!thread.frame().position) {
    execute_return(machine, thread);
    if (machine.slice_state != kSliceRunning) return;
  }
  // The registers live in machine registers while the loop runs: every
  // handler is inlined, so no address of them escapes (interpreter_registers.h).
  DecodedForm no_code[1] = {kNotDecoded};
  Registers r;
  r.no_code = no_code;
  load_registers(thread, r);
  r.instruction = r.ip;

#include "script/interpreter_jump_table.h"

  // One switch over the decoded forms: plain instructions, fused forms, and
  // the form not decoded yet. The loop runs until a handler ends the slice.
  for (;;) {
    PAUSE_POINT();
    CHECK_STACK();
    DECODE_NEXT();
    switch (r.form) {
      case kNotDecoded:
      NOT_DECODED_LABEL {
        r.ip = r.instruction;
        Decoding decoding = decode_instruction(r.code_begin, r.code_end, r.ip);
        if (decoding.form == kNotDecoded) {
          save_registers(thread, r);
          report_code_fault(machine, thread, decoding.fault, decoding.detail);
          return;
        }
        r.decoded[r.ip - r.code_begin] = decoding.form;
        NEXT();
      }

      // ---- fused forms (interpreter_fused.h): the three without a local
      // variant, the consumers of an int result at ip, then every family's
      // local forms and its any-scope forms
      FORM_CASE(1, Jump) STEP(fused::jump(r))
      FORM_CASE(4, OperateConstant) STEP(fused::operate_constant(r))
      FORM_CASE(1, ConstantReturn) STEP(fused::constant_return(r))
      CONSUMER_SWITCH()
      consume_none: STEP(consume::push_result(machine, thread, r))
      consume_call: STEP(consume::call_argument(machine, thread, r))
      consume_statement: STEP(consume::statement(machine, thread, r))
      consume_operation: STEP(consume::operation(r))
      consume_constant: STEP(consume::constant(r))
      consume_element_load: STEP(consume::element_load(machine, thread, r))
      consume_element_store: STEP(consume::element_store(machine, thread, r))
      consume_return: STEP(consume::return_result(r, thread))
      consume_branch: STEP(consume::branch(r))

      TAVELO_FUSED_HANDLERS(LOCAL_FORMS)
      TAVELO_FUSED_HANDLERS(ANY_SCOPE_FORMS)

      // ---- operations on the values on top (interpreter_arithmetic.h)
      PLAIN(MulInt, int_binary<Op::MulInt>(r))
      PLAIN(DivInt, int_binary<Op::DivInt>(r))
      PLAIN(ModInt, int_binary<Op::ModInt>(r))
      PLAIN(AddInt, int_binary<Op::AddInt>(r))
      PLAIN(SubInt, int_binary<Op::SubInt>(r))
      PLAIN(ShiftRight, int_binary<Op::ShiftRight>(r))
      PLAIN(ShiftLeft, int_binary<Op::ShiftLeft>(r))
      PLAIN(BitXor, int_binary<Op::BitXor>(r))
      PLAIN(BitAnd, int_binary<Op::BitAnd>(r))
      PLAIN(BitOr, int_binary<Op::BitOr>(r))
      PLAIN(LogicalAnd, int_binary<Op::LogicalAnd>(r))
      PLAIN(LogicalOr, int_binary<Op::LogicalOr>(r))
      PLAIN(LessEqualInt, int_binary<Op::LessEqualInt>(r))
      PLAIN(LessInt, int_binary<Op::LessInt>(r))
      PLAIN(GreaterEqualInt, int_binary<Op::GreaterEqualInt>(r))
      PLAIN(GreaterInt, int_binary<Op::GreaterInt>(r))
      PLAIN(EqualInt, int_binary<Op::EqualInt>(r))
      PLAIN(NotEqualInt, int_binary<Op::NotEqualInt>(r))
      PLAIN(MulFloat, float_binary<Op::MulFloat>(r))
      PLAIN(DivFloat, float_binary<Op::DivFloat>(r))
      PLAIN(AddFloat, float_binary<Op::AddFloat>(r))
      PLAIN(SubFloat, float_binary<Op::SubFloat>(r))
      PLAIN(LessEqualFloat, float_comparison<Op::LessEqualFloat>(r))
      PLAIN(LessFloat, float_comparison<Op::LessFloat>(r))
      PLAIN(GreaterEqualFloat, float_comparison<Op::GreaterEqualFloat>(r))
      PLAIN(GreaterFloat, float_comparison<Op::GreaterFloat>(r))
      PLAIN(EqualFloat, float_comparison<Op::EqualFloat>(r))
      PLAIN(NotEqualFloat, float_comparison<Op::NotEqualFloat>(r))
      PLAIN(Concat, concat(machine, thread, r))
      TAVELO_STRING_COMPARISONS(CASE) STEP(string_comparison(machine, r))
      TAVELO_ARRAY_COMPARISONS(CASE) STEP(array_comparison(r))
      PLAIN(LogicalNot, logical_not(r))
      PLAIN(BitNot, bit_not(r))
      PLAIN(NegateInt, negate_int(r))
      PLAIN(NegateFloat, negate_float(r))
      PLAIN(FloatToInt, float_to_int(r))
      PLAIN(IntToFloat, int_to_float(r))
      CASE(Nop191) CASE(Nop1A8) CASE(Nop1A9) NEXT();

      // ---- loads, constants and assignments (interpreter_variables.h)
      CASE(PushInt) plain_push_int: STEP(push_int(machine, thread, r))
      CASE(PushFloat) plain_push_float: STEP(push_float(machine, thread, r))
      PLAIN(PushString, push_string(machine, thread, r))
      CASE(Load) plain_load: STEP(load(machine, thread, r))
      PLAIN(LoadElement, load_element(machine, thread, r))
      TAVELO_VARIABLE_ASSIGNMENTS(CASE) STEP(assign_variable(machine, thread, r))
      TAVELO_ELEMENT_ASSIGNMENTS(CASE) STEP(assign_element(machine, thread, r))

      // ---- calls (interpreter_calls.h)
      CASE(Call) CASE(CallDiscard) call_instruction: STEP(call(machine, thread, r))
      PLAIN(Return, return_from_function(machine, thread, r))
      CASE(DeclareLocals) CASE(CheckParameters) check_parameters: STEP(check_parameters(machine, thread, r))
      CASE(Syscall) CASE(SyscallDiscard) STEP(syscall(machine, thread, r))

      // ---- control flow and text (interpreter_control.h)
      PLAIN(Jump, jump(machine, thread, r))
      CASE(JumpIfTrue) CASE(JumpIfFalse) STEP(jump_if(machine, thread, r))
      PLAIN(Pop, pop(r))
      PLAIN(Select, select_case(machine, thread, r))
      TAVELO_CASE_TESTS(CASE) STEP(case_test(machine, thread, r))
      PLAIN(JumpTable, jump_table(machine, thread, r))
      PLAIN(Line, line(machine, thread, r))
      TAVELO_CLICK_HANDLERS(CASE) STEP(click_handler(machine, thread, r))
      PLAIN(ClearClickHandlers, clear_click_handlers(r))
      PLAIN(SetBreak, set_break(machine, thread, r))
      PLAIN(Break, break_out(thread, r))
      PLAIN(SetEndHandler, set_end_handler(machine, thread, r))
      CASE(Text) CASE(ControlCode) STEP(text(machine, thread, r))
      PLAIN(Message, message(machine, thread, r))
      CASE(Invalid) default: STEP(unknown_opcode(machine, thread, r))
    }
  }
}

}  // namespace

// Two calls rather than a do-while: the WebAssembly optimiser folds a
// function called from one place into its caller, which would make the
// paused loop one long call again.
void run_slice(Machine& machine, Thread& thread) {
  run_slice_part(machine, thread);
  while (machine.slice_state == kSlicePaused) run_slice_part(machine, thread);
}

}  // namespace tavelo::script
