// How the interpreter's loop goes from one instruction to the next.
// Included once, inside run_slice_part (interpreter.cpp), before its loop: with
// computed goto it declares the jump tables there, which can only name the
// function's own labels.
//
// The loop is written once with these macros, and this file alone decides
// whether it compiles as one switch or as threaded code:
//   CASE(name), FORM_CASEn(form)  the start of a plain instruction's or a
//                                 form family's handler (n forms)
//   NEXT()                        the next instruction, after the stack check
//   SEQUENCE_NEXT()               the next instruction at once
//   CONSUME_NEXT()                the consumer of int_result at ip
//   NOT_DECODED_LABEL, CONSUMER_SWITCH()  the labels only one of the two needs
// With computed goto (GCC and Clang) every handler ends with its own
// indirect jump, predicted from its own history, and a second table picks
// the consumer of an int result by the next instruction's form; other
// compilers, or a build defining TAVELO_THREADED_DISPATCH=0, run everything
// through the switch at the top of the loop.
//
// The switch form is the page's, and it steps out of the loop every
// kStepsBetweenPauses instructions (PAUSE_POINT) to be entered again at once.
// A browser compiles WebAssembly twice: quick code first, then optimised
// code for the functions that run a lot, and a call already running goes on
// in the code it started with. Without the pauses a script that computes for
// a second without waiting would run all of it in the quick code, two to
// three times slower; with them the next entry takes the optimised loop.

#ifndef TAVELO_THREADED_DISPATCH
#if defined(__GNUC__)
#define TAVELO_THREADED_DISPATCH 1
#else
#define TAVELO_THREADED_DISPATCH 0
#endif
#endif

#define FOUR_CASES(form_name, from)                \
  case DecodedForm(Form::form_name) + (from):     \
  case DecodedForm(Form::form_name) + (from) + 1: \
  case DecodedForm(Form::form_name) + (from) + 2: \
  case DecodedForm(Form::form_name) + (from) + 3:
#define FORM_CASES1(name) case DecodedForm(Form::name):
#define FORM_CASES2(name) case DecodedForm(Form::name): case DecodedForm(Form::name) + 1:
#define FORM_CASES4(name) FOUR_CASES(name, 0)
#define FORM_CASES8(name) FOUR_CASES(name, 0) FOUR_CASES(name, 4)
#define FORM_CASES16(name) FOUR_CASES(name, 0) FOUR_CASES(name, 4) FOUR_CASES(name, 8) FOUR_CASES(name, 12)

#if TAVELO_THREADED_DISPATCH

// One table entry per form of a family (both tables).
#define REPEAT_1(label) label,
#define REPEAT_2(label) label, label,
#define REPEAT_4(label) label, label, label, label,
#define REPEAT_8(label) REPEAT_4(label) REPEAT_4(label)
#define REPEAT_16(label) REPEAT_8(label) REPEAT_8(label)
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

// What each form does with an int a fused form computed before it (by
// kConsumers): one indirect jump per step.
#define CONSUMER_LABEL(f)                                                         \
  (kConsumers[f].consumer == Consumer::Statement      ? &&consume_statement     \
   : kConsumers[f].consumer == Consumer::Operation    ? &&consume_operation     \
   : kConsumers[f].consumer == Consumer::Constant     ? &&consume_constant      \
   : kConsumers[f].consumer == Consumer::ElementLoad  ? &&consume_element_load  \
   : kConsumers[f].consumer == Consumer::ElementStore ? &&consume_element_store \
   : kConsumers[f].consumer == Consumer::Return       ? &&consume_return        \
   : kConsumers[f].consumer == Consumer::Branch       ? &&consume_branch        \
   : kConsumers[f].consumer == Consumer::Call         ? &&consume_call          \
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
};
static_assert(std::size(kConsumerDispatch) == kFormCount, "one entry per form");
#undef CONSUMER_LABEL
#undef REPEAT_1
#undef REPEAT_2
#undef REPEAT_4
#undef REPEAT_8
#undef REPEAT_16

#define CASE(name)           \
  case plain_form(Op::name): \
  label_##name:
#define FORM_CASE(width, name) \
  FORM_CASES##width(name)      \
  form_##name:
#define NOT_DECODED_LABEL not_decoded:
#define NEXT()                   \
  do {                           \
    CHECK_STACK();               \
    DECODE_NEXT();               \
    goto* kDispatch[r.form];     \
  } while (0)
#define SEQUENCE_NEXT()          \
  do {                           \
    DECODE_NEXT();               \
    goto* kDispatch[r.form];     \
  } while (0)
#define CONSUME_NEXT()                 \
  do {                                 \
    r.form = FORM_AT(r.ip);            \
    goto* kConsumerDispatch[r.form];   \
  } while (0)
#define CONSUMER_SWITCH()
#define PAUSE_POINT()

#else  // the plain switch

// Often enough that the optimised loop takes over within a millisecond of
// its arrival, seldom enough that leaving and entering cost nothing.
constexpr uint32_t kStepsBetweenPauses = 1u << 16;
uint32_t steps_before_pause = kStepsBetweenPauses;
// At the top of the loop nothing is held between instructions but what
// save_registers keeps.
#define PAUSE_POINT()                          \
  if (--steps_before_pause == 0) [[unlikely]] { \
    save_registers(thread, r);                 \
    machine.slice_state = kSlicePaused;        \
    return;                                    \
  }

#define CASE(name) case plain_form(Op::name):
#define FORM_CASE(width, name) FORM_CASES##width(name)
#define NOT_DECODED_LABEL
#define NEXT() continue
#define SEQUENCE_NEXT() continue
#define CONSUME_NEXT() goto int_result_block
// The consumer of an int result, by the next instruction's form.
#define CONSUMER_SWITCH()                                             \
  int_result_block:                                                   \
  r.form = FORM_AT(r.ip);                                             \
  switch (kConsumers[r.form].consumer) {                              \
    case Consumer::Statement: goto consume_statement;                 \
    case Consumer::Operation: goto consume_operation;                 \
    case Consumer::Constant: goto consume_constant;                   \
    case Consumer::ElementLoad: goto consume_element_load;            \
    case Consumer::ElementStore: goto consume_element_store;          \
    case Consumer::Return: goto consume_return;                       \
    case Consumer::Branch: goto consume_branch;                       \
    case Consumer::Call: goto consume_call;                           \
    case Consumer::None: goto consume_none;                           \
  }                                                                   \
  goto consume_none;

#endif
