#pragma once
// The loop's registers: the frame, instruction pointer, stack and code block
// the interpreter keeps in locals while it runs, what an instruction's
// handler tells the loop to do next (Step), and the few macros handlers use
// to push, fault or leave the slice. Included by interpreter.cpp only.
//
// Every handler is an always-inline function taking the registers by
// reference. Once inlined into run_slice_part no address of them escapes, so the
// compiler keeps them in machine registers; a handler that is not inlined
// (or a helper that takes `Registers&` without being inlined) would put them
// in memory for the whole loop. Out-of-line helpers take values instead, and
// anything that can yield, report, call a hook or grow the stack runs after
// save_registers and is followed by load_registers.

#include <cstdint>

#include "script/decode.h"
#include "script/error_report.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

struct Registers {
  Frame* fp = nullptr;
  const uint8_t* ip = nullptr;
  int32_t base = 0;          // the frame's base: local slot 0
  Value* stack = nullptr;
  int32_t sp = 0;
  int32_t stack_limit = 0;   // pushes beyond it grow the stack first
  const CodeBlock* code = nullptr;  // the block the three below describe
  const uint8_t* code_begin = nullptr;
  const uint8_t* code_end = nullptr;
  DecodedForm* decoded = nullptr;  // the decoded forms of the frame's code block
  // The address of a position's form less twice the position: the form of
  // the instruction at p is read without the block's start (FORM_AT), which
  // saves a register and a subtraction on every step. Unsigned arithmetic,
  // wrapping as it may; the sum is the form's address.
  uintptr_t decoded_bias = 0;
  DecodedForm* no_code = nullptr;  // the form a frame without a block reads
  const uint8_t* instruction = nullptr;  // the start of the running instruction
  // Its decoded form, kept in 32 bits: as a 16-bit field GCC widens it again
  // in every handler that computes with it (a jump mask, an operation kind).
  uint32_t form = kNotDecoded;
  int32_t int_result = 0;  // an int a fused form passes on (Step::IntResult)
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
  // Fuzzed code loops for ever as easily as it ends; the fuzz build ends the
  // engine after a fixed number of instructions per slice. A system call
  // counts as a thousand: one may copy a whole page.
  int64_t fuzz_instructions_left = 100000;
#endif
};
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
#define FUZZ_CHARGE_SYSCALL() r.fuzz_instructions_left -= 999
#else
#define FUZZ_CHARGE_SYSCALL()
#endif

// What the loop does after a handler. Each handler returns constants, so
// once it is inlined the choice folds into a direct jump.
enum class Step : uint8_t {
  Next,          // the next instruction, after the stack check plain instructions need
  Sequence,      // the next instruction at once: fused forms and jumps never
                 // leave the stack below where they found it
  IntResult,     // int_result goes to the instruction at ip (the consumers)
  PushResult,    // int_result is pushed for the instruction at ip
  ReturnResult,  // the function returns int_result (ip: after the return)
  Call,          // the call at ip runs, its last argument just pushed
  CheckParameters,  // the parameter check at instruction runs as a plain one
  PlainLoad,        // a fused form's check failed: its first instruction, a
  PlainPushInt,     // load, push_int or push_float, runs alone, and the rest
  PlainPushFloat,   // follows one instruction at a time
  Exit,          // the slice ends; the registers are saved
};

static_assert(sizeof(DecodedForm) == 2, "FORM_AT scales positions by two");
#define FORM_AT(p) (*reinterpret_cast<const DecodedForm*>(r.decoded_bias + 2 * reinterpret_cast<uintptr_t>(p)))
// The plain instruction a form runs (fused forms that fall back leave form
// at their own; the plain instructions they fall back to do not ask).
#define OP Op(r.form - 1)
// Hides how a value was computed from the optimiser, so that it is used as
// it stands. A fused form's jump taken at once (TAKE_JUMP) would otherwise
// read its offset as "instruction + 14", which keeps the instruction's start
// alive beside the next position and costs a copy on every step.
#if defined(__GNUC__)
#define OPAQUE(value) asm("" : "+r"(value))
#else
#define OPAQUE(value) static_cast<void>(value)
#endif
#define TOP r.stack[r.sp - 1]
#define SECOND r.stack[r.sp - 2]
#define I32_AT(at) int32_t(load_u32le(at))
#define OP_AT(at) decode_opcode(load_u16le(at))

// Calls and returns mostly stay in one block; a frame without a block
// decodes as outside the code.
[[gnu::always_inline]] inline void switch_code(Registers& r, const CodeBlock* block) {
  r.code = block;
  r.code_begin = block ? block->begin() : r.ip;
  r.code_end = block ? block->end() : r.ip;
  r.decoded = block ? block->decoded.get() : r.no_code;
  r.decoded_bias = reinterpret_cast<uintptr_t>(r.decoded) - 2 * reinterpret_cast<uintptr_t>(r.code_begin);
}

[[gnu::always_inline]] inline void load_registers(Thread& thread, Registers& r) {
  r.fp = &thread.frame();
  r.ip = r.fp->position;
  r.base = r.fp->base;
  if (r.fp->code != r.code || !r.code) switch_code(r, r.fp->code);
  r.stack = thread.stack();
  r.sp = thread.sp;
  r.stack_limit = thread.capacity() - 8;
}

// The frame's depth is kept only here: calls and returns in the loop move
// the frame pointer alone.
[[gnu::always_inline]] inline void save_registers(Thread& thread, Registers& r) {
  thread.sp = r.sp;
  r.fp->position = r.ip;
  thread.depth = int(r.fp - thread.frames.data());
}

// Growing the stack is where a runaway script meets the stack limit: the
// check costs nothing on pushes that fit. True when within the limit.
[[gnu::always_inline]] inline bool grow_stack(Thread& thread, Registers& r, int32_t extra) {
  thread.sp = r.sp;
  bool grown = ensure_stack(thread, extra);
  r.stack = thread.stack();
  r.stack_limit = thread.capacity() - 8;
  return grown;
}

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

// The rest are macros because they leave the handler (Step::Exit) or
// jump: the control flow of every handler is visible where it is written.
#define FAULT(kind, detail)                           \
  do {                                                \
    save_registers(thread, r);                        \
    report_code_fault(machine, thread, kind, detail); \
    return Step::Exit;                                \
  } while (0)
// A jump target by offset from ip, computed without jumping; a target
// outside the block faults.
#define TARGET_OF(offset, out)                                                  \
  do {                                                                          \
    int64_t target_ = int64_t(r.ip - r.code_begin) + int64_t(int32_t(offset)); \
    if (target_ < 0 || target_ >= int64_t(r.code_end - r.code_begin)) {        \
      r.ip = r.instruction;                                                     \
      FAULT(CodeFault::OutsideCode, uint32_t(target_));                         \
    }                                                                           \
    out = r.code_begin + target_;                                               \
  } while (0)
#define JUMP_TO(offset) TARGET_OF(offset, r.ip)
#define STACK_OVERFLOW()                              \
  do {                                                \
    save_registers(thread, r);                        \
    report_stack_overflow(machine, Overflow::Values); \
    return Step::Exit;                                \
  } while (0)
#define ENSURE_STACK(extra)                                                                             \
  do {                                                                                                  \
    if (r.sp + (extra) >= r.stack_limit && !grow_stack(thread, r, (extra))) [[unlikely]] STACK_OVERFLOW(); \
  } while (0)
// After a report: the user may have chosen to end the engine.
#define STOP_IF_ENDING()         \
  do {                           \
    if (machine.stopping()) {    \
      save_registers(thread, r); \
      return Step::Exit;         \
    }                            \
  } while (0)
#define CHECK_SLICE()                                                  \
  do {                                                                 \
    if (machine.slice_state != kSliceRunning || machine.stopping()) { \
      save_registers(thread, r);                                       \
      return Step::Exit;                                               \
    }                                                                  \
  } while (0)
// The value is taken before the stack may grow: it may be read from a local
// variable, which lives in the stack.
#define PUSH(value)                                                           \
  do {                                                                        \
    Value pushed_ = (value);                                                  \
    if (r.sp + 1 >= r.stack_limit && !grow_stack(thread, r, 1)) [[unlikely]] { \
      /* the stack has room: the value goes where the thread frees it */      \
      r.stack[r.sp++] = pushed_;                                              \
      STACK_OVERFLOW();                                                       \
    }                                                                         \
    r.stack[r.sp++] = pushed_;                                                \
  } while (0)
// An int result computed by a fused form, with the next instruction at next:
// the consumers hand it to the plain instructions that follow as far as they
// can take it without the stack, and push it otherwise.
#define INT_RESULT(value, next) \
  do {                          \
    r.int_result = (value);     \
    r.ip = (next);              \
    return Step::IntResult;     \
  } while (0)

}  // namespace
}  // namespace tavelo::script
