// Thread records and their stacks.

#include "script/thread.h"

#include <algorithm>

namespace tavelo::script {

void ensure_stack(Thread& thread, int32_t extra) {
  int64_t needed = int64_t(thread.sp) + extra + 8;
  if (needed < thread.capacity()) return;
  int64_t capacity = thread.capacity();
  while (capacity <= needed) capacity += 256;
  thread.storage.resize(size_t(capacity + kStackGuard), make_int(0));
}

void release_stack_above(Thread& thread, int32_t from) {
  while (thread.sp > from) pop_value(thread);
}

std::unique_ptr<Thread> new_thread(int32_t id) {
  auto thread = std::make_unique<Thread>();
  thread->id = id;
  thread->storage.assign(size_t(256 + kStackGuard), make_int(0));
  thread->store.records.reserve(256);
  thread->sp = 1;
  thread->frames[0].base = 1;
  thread->frames[0].top = 1;
  return thread;
}

void clear_thread(Thread& thread) {
  // Records below sp hold live values, records at and above it released
  // ones. A broken script that popped past the bottom (its thread ends at
  // the next instruction) may have stored a string or array in slot 0 or in
  // the spare records below it.
  release_stack_above(thread, 1);
  for (int32_t i = -kStackGuard; i < std::min(thread.sp, 1); ++i) release_value(thread.slot(i));
  for (int32_t i = -kStackGuard; i <= 0; ++i) thread.slot(i) = make_int(0);
  thread.depth = 0;
  thread.frames.fill(Frame{});
  thread.frames[0].base = 1;
  thread.frames[0].top = 1;
  thread.sp = 1;
  thread.end_state = EndState::Running;
  thread.mouse_areas.clear();
}

}  // namespace tavelo::script
