#pragma once
// What the bitmap and PNG readers produce: a colour page (24-bit, or 8-bit for
// paletted bitmaps) and, when the file carries transparency, an 8-bit
// transparency page of the same size with the grey palette (0 opaque, 255
// invisible).

#include <optional>

#include "graphics/page.h"

namespace tavelo::graphics {

struct DecodedImage {
  Page colour;
  std::optional<Page> transparency;
};

}  // namespace tavelo::graphics
