// Change marks per destination cell, and their travel through sprites.

#include "graphics/change_marks.h"

#include <algorithm>

#include "graphics/page_table.h"
#include "graphics/sprite_table.h"
#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

// Marks the cells the rectangle touches. Columns run from max(0, x / 100) to
// min(last, (x + width - 1) / 100) with the division truncating toward zero,
// so a rectangle just left of the page may still mark column 0; that costs
// one redraw of unchanged pixels and nothing else.
void mark_cells(Destination& record, Rect rect) {
  if (record.columns <= 0 || record.rows <= 0) return;
  int64_t first_column = std::max<int64_t>(0, rect.x / kCellSize);
  int64_t last_column = std::min<int64_t>(record.columns - 1, (int64_t(rect.x) + rect.width - 1) / kCellSize);
  int64_t first_row = std::max<int64_t>(0, rect.y / kCellSize);
  int64_t last_row = std::min<int64_t>(record.rows - 1, (int64_t(rect.y) + rect.height - 1) / kCellSize);
  if (first_column > last_column || first_row > last_row) return;
  record.changed = true;
  for (int64_t row = first_row; row <= last_row; ++row) {
    uint8_t* cells = record.cells.data() + row * record.columns;
    std::fill(cells + first_column, cells + last_column + 1, uint8_t(1));
  }
}

Rect moved(Rect rect, int64_t dx, int64_t dy) {
  int64_t x = std::clamp<int64_t>(rect.x + dx, INT32_MIN, INT32_MAX);
  int64_t y = std::clamp<int64_t>(rect.y + dy, INT32_MIN, INT32_MAX);
  return {int32_t(x), int32_t(y), rect.width, rect.height};
}

void mark_chain(State& state, int32_t page_handle, Rect rect, int depth);

// Passes a change of a page the sprites show (their source page or its alpha
// page) on to the sprites' destinations.
void mark_viewers(State& state, int32_t shown_page, int32_t page_handle, Rect rect, int depth) {
  auto viewers = state.changes.viewers.find(shown_page);
  if (viewers == state.changes.viewers.end()) return;
  for (int32_t handle : viewers->second) {
    Sprite* sprite = find_sprite(state, handle);
    if (!sprite || sprite->destination == page_handle) continue;
    if (sprite->transform.on) {
      // A transformed picture cannot be patched: rebuild it and redraw the
      // whole destination.
      sprite->transform.valid = false;
      mark_chain(state, sprite->destination, {0, 0, 9999, 9999}, depth + 1);
    } else {
      mark_chain(state, sprite->destination,
                 moved(rect, int64_t(sprite->x) - sprite->source.x, int64_t(sprite->y) - sprite->source.y), depth + 1);
    }
  }
}

void mark_chain(State& state, int32_t page_handle, Rect rect, int depth) {
  if (rect.empty()) return;
  if (Destination* record = find_destination(state, page_handle)) mark_cells(*record, rect);
  if (depth >= kMaxMarkChain || state.changes.viewers.empty()) return;

  mark_viewers(state, page_handle, page_handle, rect, depth);
  // Only an 8-bit page can serve as an alpha page. Which pages it serves is
  // asked of the shown pages alone: a page no sprite shows passes nothing on.
  const Page* page = find_page(state, page_handle);
  if (!page || page->depth != Depth::Indexed8) return;
  std::vector<int32_t> owners;
  for (const auto& [shown, sprites] : state.changes.viewers) {
    const Page* source = shown == page_handle ? nullptr : find_page(state, shown);
    if (source && source->alpha_page == page_handle) owners.push_back(shown);
  }
  for (int32_t owner : owners) mark_viewers(state, owner, page_handle, rect, depth);
}

}  // namespace

void mark_changed(State& state, int32_t page_handle, Rect rect) {
  if (state.pacer.display_lock > 0) return;
  mark_chain(state, page_handle, rect, 0);
}

void mark_whole_page(State& state, int32_t page_handle) {
  const Page* page = find_page(state, page_handle);
  if (page) mark_changed(state, page_handle, {0, 0, page->width, page->height});
}

void add_viewer(State& state, int32_t page_handle, int32_t sprite_handle) {
  state.changes.viewers[page_handle].insert(sprite_handle);
}

void remove_viewer(State& state, int32_t page_handle, int32_t sprite_handle) {
  auto viewers = state.changes.viewers.find(page_handle);
  if (viewers == state.changes.viewers.end()) return;
  viewers->second.erase(sprite_handle);
  if (viewers->second.empty()) state.changes.viewers.erase(viewers);
}

Destination* find_destination(State& state, int32_t page_handle) {
  for (Destination& record : state.changes.destinations) {
    if (record.page == page_handle) return &record;
  }
  return nullptr;
}

const Destination* find_destination(const State& state, int32_t page_handle) {
  for (const Destination& record : state.changes.destinations) {
    if (record.page == page_handle) return &record;
  }
  return nullptr;
}

Destination* attach_destination(State& state, int32_t page_handle) {
  Destination* record = find_destination(state, page_handle);
  if (!record) {
    const Page* page = find_page(state, page_handle);
    if (!page) return nullptr;
    Destination fresh;
    fresh.page = page_handle;
    fresh.columns = (page->width + kCellSize - 1) / kCellSize;
    fresh.rows = (page->height + kCellSize - 1) / kCellSize;
    fresh.cells.assign(size_t(fresh.columns) * size_t(fresh.rows), 0);
    state.changes.destinations.push_back(std::move(fresh));
    record = &state.changes.destinations.back();
  }
  ++record->sprites;
  return record;
}

void detach_destination(State& state, int32_t page_handle) {
  Destination* record = find_destination(state, page_handle);
  if (record && record->sprites > 0) --record->sprites;
}

void free_unused_destinations(State& state) {
  std::erase_if(state.changes.destinations,
                [](const Destination& record) { return record.sprites <= 0 && !record.persistent; });
}

size_t destination_count(const State& state) { return state.changes.destinations.size(); }

}  // namespace tavelo::graphics
