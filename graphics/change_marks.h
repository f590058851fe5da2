#pragma once
// Change marks: every operation that changes pixels reports the changed
// rectangle of its page here, and the frame cycle recomposes only what was
// marked. Marks are kept per destination record (a page that sprites draw on,
// and always the display page) as one flag per 100 x 100 pixel cell. A change
// to a page that a sprite shows travels on to that sprite's destination,
// moved by the sprite's offset, and from there through further sprites, so
// chains of pages reach the screen. While updates are locked nothing is
// marked at all: those changes are lost, as scripts expect.
//
// The sprites that show a page are indexed by that page (the sprite table
// keeps the index as sprites come and go), so a change asks only the sprites
// it concerns: the work of a frame grows with the sprites that change, not
// with their number times the number of all sprites.

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "graphics/rect.h"

namespace tavelo::graphics {

struct State;

inline constexpr int32_t kCellSize = 100;  // pixels per cell side

// One page that sprites draw on.
struct Destination {
  int32_t page = 0;     // page handle
  int32_t sprites = 0;  // sprites drawing on it (the display page counts once itself)
  bool persistent = false;  // survives the game reset even without sprites
  bool changed = false;     // some cell is marked
  int32_t columns = 0;      // cells across: width / 100, a remainder counting as one more
  int32_t rows = 0;
  std::vector<uint8_t> cells;  // 1 = marked, row by row
};

struct ChangeMarks {
  // A handful of records in practice (the screen and a few layer pages), so
  // a linear search beats anything cleverer.
  std::vector<Destination> destinations;
  // Source page handle -> handles of the sprites showing it. Pages no sprite
  // shows have no entry.
  std::map<int32_t, std::set<int32_t>> viewers;
};

// Changes may travel through at most this many pages; a cycle of sprites
// over pages (a page shown on a page that shows the first) stops here
// instead of recursing for ever.
inline constexpr int kMaxMarkChain = 16;

// Records that rect of the page changed: the page's own cells, then every
// sprite that shows the page. Empty rectangles and a locked screen mark nothing.
void mark_changed(State& state, int32_t page_handle, Rect rect);
// The whole page and whatever shows it.
void mark_whole_page(State& state, int32_t page_handle);

// The sprite table's part of the index: a sprite starts or stops showing its
// source page.
void add_viewer(State& state, int32_t page_handle, int32_t sprite_handle);
void remove_viewer(State& state, int32_t page_handle, int32_t sprite_handle);

Destination* find_destination(State& state, int32_t page_handle);
const Destination* find_destination(const State& state, int32_t page_handle);
// Finds or creates the page's record (cells all clear) and counts one more
// sprite on it. Null when the page does not exist.
Destination* attach_destination(State& state, int32_t page_handle);
// Counts one sprite less on the page's record.
void detach_destination(State& state, int32_t page_handle);
// Frees the records without sprites that are not persistent.
void free_unused_destinations(State& state);
size_t destination_count(const State& state);

}  // namespace tavelo::graphics
