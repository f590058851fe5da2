// Picture placement.

#include "platform/screen_geometry.h"

#include <algorithm>

namespace tavelo::platform {
namespace {

PictureRect centred(int32_t width, int32_t height, int32_t output_width, int32_t output_height) {
  return {(output_width - width) / 2, (output_height - height) / 2, width, height};
}

// Floor division: pointer positions left of or above the picture must stay
// negative rather than round towards it.
int64_t floor_divide(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --quotient;
  return quotient;
}

}  // namespace

PictureRect place_picture(Scaling scaling, int32_t width, int32_t height, int32_t output_width,
                          int32_t output_height) {
  if (width <= 0 || height <= 0 || output_width <= 0 || output_height <= 0) return {0, 0, width, height};
  int64_t fiftieths = std::min(int64_t(output_width) * 50 / width, int64_t(output_height) * 50 / height);
  int64_t whole = std::min(output_width / width, output_height / height);
  switch (scaling) {
    case Scaling::Centred: return centred(width, height, output_width, output_height);
    case Scaling::Stretch: return {0, 0, output_width, output_height};
    case Scaling::Integer:
      if (whole >= 1) {
        return centred(int32_t(width * whole), int32_t(height * whole), output_width, output_height);
      }
      [[fallthrough]];
    case Scaling::Fit:
      if (fiftieths < 1) fiftieths = 1;
      return centred(int32_t(width * fiftieths / 50), int32_t(height * fiftieths / 50), output_width, output_height);
  }
  return centred(width, height, output_width, output_height);
}

void output_to_picture(const PictureRect& place, int32_t width, int32_t height, int32_t& x, int32_t& y) {
  if (place.width <= 0 || place.height <= 0) return;
  x = int32_t(floor_divide(int64_t(x - place.x) * width, place.width));
  y = int32_t(floor_divide(int64_t(y - place.y) * height, place.height));
}

void picture_to_output(const PictureRect& place, int32_t width, int32_t height, int32_t& x, int32_t& y) {
  if (width <= 0 || height <= 0) return;
  x = place.x + int32_t(floor_divide((int64_t(x) * 2 + 1) * place.width, int64_t(width) * 2));
  y = place.y + int32_t(floor_divide((int64_t(y) * 2 + 1) * place.height, int64_t(height) * 2));
}

}  // namespace tavelo::platform
