// Where the picture lands on a full screen or a HiDPI window, and back.

#include "platform/screen_geometry.h"

#include <gtest/gtest.h>

namespace tavelo::platform {
namespace {

TEST(ScreenGeometry, placements_for_each_scaling) {
  struct Case {
    Scaling scaling;
    int32_t output_width, output_height;
    PictureRect expected;
  };
  const Case cases[] = {
      // 800 × 600 for 640 × 480: 62/50 (the smaller of 62 and 62), centred.
      {Scaling::Fit, 800, 600, {3, 2, 793, 595}},
      {Scaling::Fit, 1920, 1080, {243, 2, 1433, 1075}},
      {Scaling::Integer, 1920, 1080, {320, 60, 1280, 960}},
      {Scaling::Integer, 1280, 960, {0, 0, 1280, 960}},
      {Scaling::Integer, 600, 400, {38, 3, 524, 393}},  // larger than the output: fitted
      {Scaling::Stretch, 1920, 1080, {0, 0, 1920, 1080}},
      {Scaling::Centred, 800, 600, {80, 60, 640, 480}},
  };
  for (const Case& c : cases) {
    PictureRect place = place_picture(c.scaling, 640, 480, c.output_width, c.output_height);
    EXPECT_EQ(place.x, c.expected.x) << int(c.scaling) << " on " << c.output_width;
    EXPECT_EQ(place.y, c.expected.y) << int(c.scaling) << " on " << c.output_width;
    EXPECT_EQ(place.width, c.expected.width) << int(c.scaling) << " on " << c.output_width;
    EXPECT_EQ(place.height, c.expected.height) << int(c.scaling) << " on " << c.output_width;
  }
}

TEST(ScreenGeometry, pointer_positions_map_to_picture_pixels_and_back) {
  PictureRect place = place_picture(Scaling::Integer, 640, 480, 1920, 1080);  // 2x at (320, 60)
  struct Case {
    int32_t x, y, picture_x, picture_y;
  };
  for (Case c : {Case{320, 60, 0, 0}, {321, 61, 0, 0}, {322, 62, 1, 1}, {1599, 1019, 639, 479}, {319, 59, -1, -1},
                 {0, 0, -160, -30}}) {
    int32_t x = c.x;
    int32_t y = c.y;
    output_to_picture(place, 640, 480, x, y);
    EXPECT_EQ(x, c.picture_x) << c.x;
    EXPECT_EQ(y, c.picture_y) << c.y;
  }
  int32_t x = 10;
  int32_t y = 20;
  picture_to_output(place, 640, 480, x, y);
  EXPECT_EQ(x, 341);
  EXPECT_EQ(y, 101);
  output_to_picture(place, 640, 480, x, y);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
}

}  // namespace
}  // namespace tavelo::platform
