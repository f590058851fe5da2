#pragma once
// Script threads and call frames. Threads are cooperative: each gets one slice
// per main-loop cycle and runs until it yields. A thread owns its stack, its
// thread store and up to 256 call frames; the thread list is newest first.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "script/value.h"
#include "script/variables.h"

namespace tavelo::script {

struct CodeBlock;
struct ReadMarkSet;

inline constexpr int kMaxFrames = 256;
inline constexpr int32_t kStackGuard = 8;
inline constexpr int32_t kNoDeadline = -1;  // wait without a deadline

// A cached read-mark lookup: not looked up yet, looked up and absent, or a set.
enum class ReadMarkCache : uint8_t { Unknown, None, Set };

// A new field needs its fresh value in start_frame too.
struct alignas(64) Frame {
  const uint8_t* position = nullptr;  // null when the frame has nothing left to run
  const CodeBlock* code = nullptr;    // the code block position lies in
  int32_t base = 0;                   // stack index of local slot 0; argc at base - 1
  int32_t top = 0;                    // while a callee runs: the caller's stack top without arguments
  bool discard_result = false;        // set by the call that left this frame
  int32_t line = 0;
  const uint8_t* left_handler = nullptr;
  const uint8_t* right_handler = nullptr;
  const uint8_t* middle_handler = nullptr;
  const uint8_t* break_target = nullptr;
  const uint8_t* end_handler = nullptr;
  int32_t mouse_words[6] = {};  // owned by the mouse-area calls
  ReadMarkCache read_mark_cache = ReadMarkCache::Unknown;
  ReadMarkSet* read_marks = nullptr;
  int32_t wait_deadline = 0;  // script time; 0 none, kNoDeadline without one
  uint32_t wait_frame_stamp = 0;
  bool waiting = false;  // a re-run system call has started its wait
};

// A mouse area: a rectangle of game-screen pixels whose script functions the
// area poll calls when the pointer enters, leaves or clicks it. Owned by the
// thread that registered it; the input subsystem's calls manage them.
struct MouseArea {
  int32_t id = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t enter = 0;  // script function keys
  uint32_t leave = 0;
  uint32_t click = 0;
  int32_t state = 0;  // 0 outside, 1 entered, 2 clicked
  int32_t depth = 0;  // the thread's call depth at registration
  int32_t key_code = 0;
  bool key_pressed = false;
};

enum class EndState : int32_t {
  Running = 0,
  EndRequested = 1,
  EndHandlersRunning = 2,
  ReadyToRestart = 3,
  Restarted = 4,
  Free = -1,  // freed at the end of its slice
};

struct Thread {
  int32_t id = 0;
  int depth = 0;  // index of the current frame
  std::array<Frame, kMaxFrames> frames{};
  // Stack records, preceded by kStackGuard spare records so that a malformed
  // script that pops past the bottom touches only those (the interpreter
  // notices sp < 1 before the next instruction). Capacity grows by 256 records.
  std::vector<Value> storage;
  int32_t sp = 1;  // number of used stack records; slot 0 holds an int 0
  VariableStore store;
  int32_t parent_id = 0;
  bool has_parent = false;
  const uint8_t* restart_position = nullptr;
  const CodeBlock* restart_code = nullptr;
  EndState end_state = EndState::Running;
  // The dialog a waiting system call of this thread has open (a
  // platform::DialogId), 0 for none.
  uint32_t open_dialog = 0;
  // The deadline of the current frame's wait while it is one only input can
  // end (poll_for_input); a window that wakes on input does not wake for it.
  int32_t input_deadline = 0;
  bool pending_left = false;
  bool pending_right = false;
  bool pending_middle = false;
  std::vector<MouseArea> mouse_areas;  // in registration order

  Frame& frame() { return frames[size_t(depth)]; }
  const Frame& frame() const { return frames[size_t(depth)]; }
  Value* stack() { return storage.data() + kStackGuard; }
  Value& slot(int32_t index) { return storage[size_t(kStackGuard + index)]; }
  int32_t capacity() const { return int32_t(storage.size()) - kStackGuard; }
};

struct EventRegistration {
  int32_t thread_id = 0;
  bool suspended = false;
  uint32_t key = 0;
  const uint8_t* handler = nullptr;
  const CodeBlock* code = nullptr;
};

// The most records a thread's stack may hold (16 MiB). Only a runaway script
// comes near it: the interpreter then ends the engine with the fatal stack
// overflow report instead of growing until the system kills the process.
inline constexpr int32_t kMaxStackRecords = int32_t(1) << 20;

// Stack operations on a thread. Pushes keep at least 8 free records.
// ensure_stack makes room for extra more records. It always does, so the push
// that asked can go ahead; false tells that the stack has grown beyond
// kMaxStackRecords (the interpreter reports and stops; the engine's own pushes
// are few and bounded, so they do not ask).
bool ensure_stack(Thread& thread, int32_t extra);
inline void push_value(Thread& thread, const Value& value) {
  if (thread.sp + 8 >= thread.capacity()) ensure_stack(thread, 8);
  thread.slot(thread.sp++) = value;
}
inline void pop_value(Thread& thread) { release_value(thread.slot(--thread.sp)); }
// Releases records [from, sp) and sets sp = from.
void release_stack_above(Thread& thread, int32_t from);

// Starts callee, the frame above caller, fresh at position, with its local
// slot 0 (and its stack top) at base.
inline void start_frame(Frame& callee, const Frame& caller, const CodeBlock* code, const uint8_t* position,
                        int32_t base) {
  // Everything from left_handler on starts as zero bytes (null, 0, false,
  // Unknown) and is cleared as one run of six 16-byte stores: the frame
  // whole, or a memset of the run, compiles to a string instruction with a
  // long start-up, and field by field to a burst of small stores.
  static_assert(sizeof(Frame) == 128, "start_frame sets every field");
  static_assert(std::is_trivially_copyable_v<Frame> && std::is_standard_layout_v<Frame>);
  callee.position = position;
  callee.code = code;
  callee.base = base;
  callee.top = base;
  callee.discard_result = false;
  callee.line = caller.line;
#if UINTPTR_MAX > 0xFFFFFFFFu
  static_assert(offsetof(Frame, left_handler) == 32 && ReadMarkCache{} == ReadMarkCache::Unknown);
  using Bytes16 = char __attribute__((vector_size(16)));
  const Bytes16 zero{};
  char* rest = reinterpret_cast<char*>(&callee) + offsetof(Frame, left_handler);
  static_assert(sizeof(Frame) - offsetof(Frame, left_handler) == 6 * sizeof(Bytes16));
  std::memcpy(rest, &zero, 16);
  std::memcpy(rest + 16, &zero, 16);
  std::memcpy(rest + 32, &zero, 16);
  std::memcpy(rest + 48, &zero, 16);
  std::memcpy(rest + 64, &zero, 16);
  std::memcpy(rest + 80, &zero, 16);
#else
  // 32-bit targets (the browser build) lay the frame out otherwise: the same
  // run of zero bytes, cleared in 8-byte stores. A memset of this length is a
  // library call in WebAssembly, and the compiler would merge plain zero
  // stores back into one: the zero is hidden from it.
  static_assert(ReadMarkCache{} == ReadMarkCache::Unknown);
  constexpr size_t kRestBytes = sizeof(Frame) - offsetof(Frame, left_handler);
  static_assert(offsetof(Frame, left_handler) % 8 == 0 && kRestBytes % 8 == 0);
  char* rest = reinterpret_cast<char*>(&callee) + offsetof(Frame, left_handler);
  uint64_t zero = 0;
#if defined(__GNUC__)
  asm("" : "+r"(zero));
#endif
  for (size_t at = 0; at < kRestBytes; at += 8) std::memcpy(rest + at, &zero, 8);
#endif
}

// Enters a call from caller (the thread's current frame) whose argc
// arguments lie below stack[sp] (the thread's stack and top, which the
// interpreter keeps in registers): stores argc at sp and starts a fresh frame
// at position above it, which it returns; the caller then counts the
// argument count in its top (sp + 1). The caller has checked the frame limit
// and made room for one more record. The depth is derived from the frame's
// place, not read back: callers in a hurry keep the frame pointer.
inline Frame& enter_call(Thread& thread, Frame& caller, Value* stack, int32_t sp, const CodeBlock* code,
                         const uint8_t* position, int argc, bool discard) {
  caller.discard_result = discard;
  stack[sp++] = make_int(argc);
  caller.top = sp - (argc + 1);
  Frame& frame = (&caller)[1];
  thread.depth = int(&frame - thread.frames.data());
  start_frame(frame, caller, code, position, sp);
  return frame;
}

std::unique_ptr<Thread> new_thread(int32_t id);
// Releases the stack above slot 0, clears the frames and the end machine.
void clear_thread(Thread& thread);

}  // namespace tavelo::script
