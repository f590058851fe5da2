#pragma once
// Where the game's picture lands in a window or on a full screen, and the way
// back from a pointer position to a picture pixel. Pure arithmetic shared by
// both backends (the SDL backend draws and maps the pointer with it; the
// headless one shows pictures 1:1) and by the tests.

#include <cstdint>

#include "platform/platform.h"

namespace tavelo::platform {

struct PictureRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The picture's place on an output of output_width × output_height pixels.
// Fit scales by s / 50 with s = min(output_width * 50 / width, output_height
// * 50 / height), as the full-screen fit always has; Integer falls back to
// Fit when the picture is larger than the output. Sizes must be positive.
PictureRect place_picture(Scaling scaling, int32_t width, int32_t height, int32_t output_width,
                          int32_t output_height);

// A point of the output (pixels) as a pixel of the picture placed at place,
// whose size is width × height. Points outside map outside the picture.
void output_to_picture(const PictureRect& place, int32_t width, int32_t height, int32_t& x, int32_t& y);

// The opposite way, to the centre of the output area the pixel covers.
void picture_to_output(const PictureRect& place, int32_t width, int32_t height, int32_t& x, int32_t& y);

}  // namespace tavelo::platform
