#pragma once
// Rectangles in page pixels: x and y of the top-left corner, width and height.
// A rectangle with a width or height below 1 is empty and changes nothing.
// Points are pixel positions or offsets.

#include <cstdint>

namespace tavelo::graphics {

struct Rect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  bool empty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int32_t x = 0;
  int32_t y = 0;

  friend bool operator==(const Point&, const Point&) = default;
};

}  // namespace tavelo::graphics
