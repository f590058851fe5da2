// Change-mark recording.

#include "graphics/change_marks.h"

#include <algorithm>

#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

Rect bounding_box(const Rect& a, const Rect& b) {
  int64_t left = std::min(a.x, b.x);
  int64_t top = std::min(a.y, b.y);
  int64_t right = std::max(int64_t(a.x) + a.width, int64_t(b.x) + b.width);
  int64_t bottom = std::max(int64_t(a.y) + a.height, int64_t(b.y) + b.height);
  return {int32_t(left), int32_t(top), int32_t(std::min<int64_t>(right - left, INT32_MAX)),
          int32_t(std::min<int64_t>(bottom - top, INT32_MAX))};
}

}  // namespace

void mark_changed(State& state, int32_t page_handle, Rect rect) {
  if (rect.empty()) return;
  std::vector<ChangeMark>& pending = state.changes.pending;
  // Repeated marks of one rectangle (a script filling the same box in a loop)
  // are common and cost nothing to drop.
  if (!pending.empty() && pending.back().page == page_handle && pending.back().rect == rect) return;
  if (pending.size() >= kMergeMarksAbove) {
    for (ChangeMark& mark : pending) {
      if (mark.page == page_handle) {
        mark.rect = bounding_box(mark.rect, rect);
        return;
      }
    }
  }
  pending.push_back({page_handle, rect});
}

std::vector<ChangeMark> take_change_marks(State& state) {
  std::vector<ChangeMark> marks;
  marks.swap(state.changes.pending);
  return marks;
}

}  // namespace tavelo::graphics
