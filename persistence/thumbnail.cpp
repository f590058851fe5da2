// Four-point cell sampling and clipped drawing of thumbnails.

#include "persistence/thumbnail.h"

#include <algorithm>
#include <cstring>

namespace tavelo::persistence {

namespace {

// The area inside the page, or an empty one.
graphics::Rect clip_to_page(graphics::Rect area, const graphics::Page& page) {
  int64_t left = std::max<int64_t>(area.x, 0);
  int64_t top = std::max<int64_t>(area.y, 0);
  int64_t right = std::min<int64_t>(int64_t(area.x) + area.width, page.width);
  int64_t bottom = std::min<int64_t>(int64_t(area.y) + area.height, page.height);
  if (right <= left || bottom <= top) return {};
  return {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

// Writes the output pixels (col, row) of a width × height reduction of area
// for the columns and rows of cells (a part of the grid: the caller clips
// first, so the loop never visits a pixel that is not written).
template <typename Put>
void reduce(const graphics::Page& source, graphics::Rect area, int32_t width, int32_t height, graphics::Rect cells,
            Put put) {
  const int64_t cell_width = area.width / width;
  const int64_t cell_height = area.height / height;
  // Sample points within a cell: products before the division.
  const int64_t dx[4] = {cell_width / 5, 3 * cell_width / 5, 4 * cell_width / 5, 2 * cell_width / 5};
  const int64_t dy[4] = {cell_height / 5, 4 * cell_height / 5, 2 * cell_height / 5, 3 * cell_height / 5};
  for (int32_t row = cells.y; row < cells.y + cells.height; ++row) {
    const int64_t cell_top = area.y + int64_t(row) * area.height / height;
    for (int32_t col = cells.x; col < cells.x + cells.width; ++col) {
      const int64_t cell_left = area.x + int64_t(col) * area.width / width;
      unsigned sums[3] = {0, 0, 0};
      for (int i = 0; i < 4; ++i) {
        // The area lies inside the page; a sample can only reach its last
        // row or column, never beyond.
        int32_t x = int32_t(std::min<int64_t>(cell_left + dx[i], area.x + area.width - 1));
        int32_t y = int32_t(std::min<int64_t>(cell_top + dy[i], area.y + area.height - 1));
        const uint8_t* pixel = source.row(y) + size_t(x) * 3;
        for (int c = 0; c < 3; ++c) sums[c] += pixel[c];
      }
      put(col, row, uint8_t(sums[0] >> 2), uint8_t(sums[1] >> 2), uint8_t(sums[2] >> 2));
    }
  }
}

}  // namespace

std::vector<uint8_t> reduce_to_pixels(const graphics::Page& source, graphics::Rect area, int32_t width,
                                      int32_t height) {
  if (source.depth != graphics::Depth::Rgb24 || width <= 0 || height <= 0) return {};
  area = clip_to_page(area, source);
  if (area.empty()) return {};
  std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 3);
  reduce(source, area, width, height, {0, 0, width, height},
         [&](int32_t col, int32_t row, uint8_t b, uint8_t g, uint8_t r) {
           uint8_t* out = pixels.data() + (size_t(row) * size_t(width) + size_t(col)) * 3;
           out[0] = b;
           out[1] = g;
           out[2] = r;
         });
  return pixels;
}

graphics::Rect reduce_into_page(const graphics::Page& source, graphics::Rect source_area, graphics::Page& destination,
                                graphics::Rect destination_area) {
  if (source.depth != graphics::Depth::Rgb24 || destination.depth != graphics::Depth::Rgb24) return {};
  source_area = clip_to_page(source_area, source);
  const graphics::Rect changed = clip_to_page(destination_area, destination);
  if (source_area.empty() || destination_area.empty() || changed.empty()) return {};
  // The grid spans the whole destination area; only its cells on the page
  // are computed.
  const graphics::Rect cells{changed.x - destination_area.x, changed.y - destination_area.y, changed.width,
                             changed.height};
  reduce(source, source_area, destination_area.width, destination_area.height, cells,
         [&](int32_t col, int32_t row, uint8_t b, uint8_t g, uint8_t r) {
           uint8_t* out = destination.row(destination_area.y + row) + size_t(destination_area.x + col) * 3;
           out[0] = b;
           out[1] = g;
           out[2] = r;
         });
  return changed;
}

graphics::Rect draw_pixels(std::span<const uint8_t> pixels, int32_t width, int32_t height, graphics::Page& page,
                           int32_t x, int32_t y) {
  if (page.depth != graphics::Depth::Rgb24 || width <= 0 || height <= 0 ||
      pixels.size() < size_t(width) * size_t(height) * 3) {
    return {};
  }
  graphics::Rect target = clip_to_page({x, y, width, height}, page);
  if (target.empty()) return {};
  for (int32_t row = target.y; row < target.y + target.height; ++row) {
    const uint8_t* from = pixels.data() + (size_t(row - y) * size_t(width) + size_t(target.x - x)) * 3;
    std::memcpy(page.row(row) + size_t(target.x) * 3, from, size_t(target.width) * 3);
  }
  return target;
}

}  // namespace tavelo::persistence
