#pragma once
// Small page builders and readers for the page, pixel and scaling tests.

#include <cstdint>
#include <vector>

#include "graphics/page.h"

namespace tavelo::testing {

struct Bgr {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  friend bool operator==(const Bgr&, const Bgr&) = default;
};

inline Bgr pixel_at(const graphics::Page& page, int32_t x, int32_t y) {
  const uint8_t* p = page.row(y) + size_t(x) * 3;
  return {p[0], p[1], p[2]};
}

inline void put_pixel(graphics::Page& page, int32_t x, int32_t y, Bgr colour) {
  uint8_t* p = page.row(y) + size_t(x) * 3;
  p[0] = colour.blue;
  p[1] = colour.green;
  p[2] = colour.red;
}

inline uint8_t index_at(const graphics::Page& page, int32_t x, int32_t y) { return page.row(y)[x]; }

// A 24-bit page whose every pixel is distinct: blue = x, green = y, red = x ^ y.
inline graphics::Page numbered_page(int32_t width, int32_t height) {
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) put_pixel(page, x, y, {uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
  }
  return page;
}

inline graphics::Page filled_page(int32_t width, int32_t height, graphics::Depth depth, uint8_t byte) {
  graphics::Page page = graphics::make_page(width, height, depth);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t i = 0; i < width * page.bytes_per_pixel(); ++i) page.row(y)[i] = byte;
  }
  return page;
}

}  // namespace tavelo::testing
