#pragma once
// Mouse areas and the drag tracker: what one area poll or drag poll decides.
// The areas live on their script thread (script::MouseArea), the six frame
// words on its call frames, the tracker in input::State. A poll returns the
// one script function it wants called with its arguments; the system call
// (input/syscalls.cpp) makes the call, so nothing here holds an area across
// the called function, which may remove areas or end the thread.

#include <array>
#include <cstdint>

namespace tavelo::script {
struct Thread;
struct MouseArea;
}  // namespace tavelo::script

namespace tavelo::input {

struct State;

// The frame words, by index into script::Frame::mouse_words. Focused and
// remembered hold the area's index + 1 in the thread's list, 0 for none.
enum FrameWord : int32_t { kWordLeft, kWordRight, kWordMiddle, kWordInput, kWordFocused, kWordRemembered };

// A script function to call, with its arguments in order (argument 1 first).
struct ScriptCall {
  uint32_t function = 0;
  bool wanted = false;
  std::array<int32_t, 5> arguments{};
  int count = 0;
};

bool area_contains(const script::MouseArea& area, int32_t x, int32_t y);

// One area poll on thread (its current frame is the polling one).
ScriptCall poll_mouse_areas(State& state, script::Thread& thread);

// Drag tracking: the tracker's mouse handler and its poll. Times in script ms.
void start_drag_tracking(State& state, uint32_t per_poll, uint32_t position_change, uint32_t wheel);
enum class DragMessage { Down, DoubleClick, Up };
enum class DragSide { Left, Right };
void track_drag_message(State& state, DragSide side, DragMessage message, int32_t x, int32_t y, uint32_t now);
// The next function a drag poll calls. A poll finds every call due and the
// calls are made one per poll, in the order found.
ScriptCall poll_drag(State& state, uint32_t now);

}  // namespace tavelo::input
