#pragma once
// Thumbnails: a picture reduced by sampling four points of each cell of a
// grid (the same reduction for the snapshot's thumbnail and make_thumbnail),
// and drawing a thumbnail's packed pixels onto a page, clipped.

#include <cstdint>
#include <span>
#include <vector>

#include "graphics/page.h"
#include "graphics/rect.h"

namespace tavelo::persistence {

// Reduces the area (clipped to the 24-bit source page) into width × height
// pixels, 3 bytes each, rows in page order without padding. Empty when the
// page is not 24-bit, the area is empty or a size is not positive.
std::vector<uint8_t> reduce_to_pixels(const graphics::Page& source, graphics::Rect area, int32_t width,
                                      int32_t height);

// Reduces the source area into the destination area of a 24-bit page,
// clipped to the destination; returns the rectangle it changed (empty when
// nothing was drawn or a page is not 24-bit). The work is that of the
// visible part, however large the destination area.
graphics::Rect reduce_into_page(const graphics::Page& source, graphics::Rect source_area, graphics::Page& destination,
                                graphics::Rect destination_area);

// Draws packed 24-bit pixels onto a 24-bit page at (x, y), clipped; returns
// the rectangle it changed (empty when nothing was drawn).
graphics::Rect draw_pixels(std::span<const uint8_t> pixels, int32_t width, int32_t height, graphics::Page& page,
                           int32_t x, int32_t y);

}  // namespace tavelo::persistence
