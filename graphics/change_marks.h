#pragma once
// Change marks: every operation that changes pixels reports the changed
// rectangle of its page here. The screen composition drains the list each frame
// and recomposes only what changed. Recording must stay cheap, since fills and
// copies call it once per operation: the list is short and merges per page
// once it fills up.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/rect.h"

namespace tavelo::graphics {

struct State;

struct ChangeMark {
  int32_t page = 0;  // page handle
  Rect rect;
};

struct ChangeMarks {
  std::vector<ChangeMark> pending;  // oldest first
};

// Beyond this many marks a new mark is merged into the bounding box of an
// earlier mark of the same page rather than appended.
inline constexpr size_t kMergeMarksAbove = 64;

// Records that rect of the page changed. Empty rectangles are ignored.
void mark_changed(State& state, int32_t page_handle, Rect rect);
// Hands the recorded marks to the caller and starts a new list.
std::vector<ChangeMark> take_change_marks(State& state);

}  // namespace tavelo::graphics
