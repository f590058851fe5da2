// Geometry kernels: nearest-neighbour scaling by error terms, the rotating
// copy and its whole-turn fallbacks, the bilinear smooth copy and its bands,
// and the mosaic.

#include "graphics/scaling.h"

#include <gtest/gtest.h>

#include <limits>

#include "graphics/pixel_ops.h"
#include "tests/graphics/page_test_support.h"

namespace tavelo::graphics {
namespace {

using testing::Bgr;
using testing::filled_page;
using testing::index_at;
using testing::numbered_page;
using testing::pixel_at;
using testing::put_pixel;

TEST(ScaledCopy, doubling_repeats_every_pixel_and_row) {
  Page src = numbered_page(100, 100);
  Page dst = make_page(200, 200, Depth::Rgb24);
  EXPECT_EQ(scaled_copy(src, nullptr, {0, 0, 100, 100}, dst, nullptr, {0, 0, 200, 200}), (Rect{0, 0, 200, 200}));
  for (int32_t y = 0; y < 200; ++y) {
    for (int32_t x = 0; x < 200; ++x) ASSERT_EQ(pixel_at(dst, x, y), pixel_at(src, x / 2, y / 2)) << x << "," << y;
  }
}

TEST(ScaledCopy, halving_takes_every_second_pixel_from_offset_one) {
  Page src = numbered_page(100, 100);
  Page dst = make_page(50, 50, Depth::Rgb24);
  scaled_copy(src, nullptr, {0, 0, 100, 100}, dst, nullptr, {0, 0, 50, 50});
  for (int32_t y = 0; y < 50; ++y) {
    for (int32_t x = 0; x < 50; ++x) {
      ASSERT_EQ(pixel_at(dst, x, y), pixel_at(src, 2 * x + 1, 2 * y + 1)) << x << "," << y;
    }
  }
}

TEST(ScaledCopy, clipping_cuts_the_other_rectangle_in_proportion) {
  Page src = numbered_page(100, 100);
  Page dst = filled_page(200, 200, Depth::Rgb24, 250);
  // Ten source columns lie left of the page: the destination starts 20 further right.
  EXPECT_EQ(scaled_copy(src, nullptr, {-10, 0, 100, 100}, dst, nullptr, {0, 0, 200, 200}), (Rect{20, 0, 180, 200}));
  EXPECT_EQ(pixel_at(dst, 19, 0), (Bgr{250, 250, 250}));
  EXPECT_EQ(pixel_at(dst, 20, 0), pixel_at(src, 0, 0));
  EXPECT_EQ(pixel_at(dst, 199, 199), pixel_at(src, 89, 99));

  // The destination hangs 40 pixels off the top: the source loses 20 rows.
  Page dst2 = make_page(200, 200, Depth::Rgb24);
  EXPECT_EQ(scaled_copy(src, nullptr, {0, 0, 100, 100}, dst2, nullptr, {0, -40, 200, 200}), (Rect{0, 0, 200, 160}));
  EXPECT_EQ(pixel_at(dst2, 0, 0), pixel_at(src, 0, 20));

  EXPECT_TRUE(scaled_copy(src, nullptr, {0, 0, 0, 100}, dst, nullptr, {0, 0, 10, 10}).empty());
  EXPECT_TRUE(scaled_copy(src, nullptr, {0, 0, 10, 10}, dst, nullptr, {300, 0, 10, 10}).empty());
}

TEST(ScaledCopy, palette_sources_alpha_pages_and_refused_pairs) {
  Page indexed = filled_page(2, 2, Depth::Indexed8, 4);
  indexed.palette[4] = {9, 8, 7, 0};
  Page indexed_alpha = filled_page(2, 2, Depth::Indexed8, 33);
  Page rgb = make_page(4, 4, Depth::Rgb24);
  Page rgb_alpha = make_page(4, 4, Depth::Indexed8);
  scaled_copy(indexed, &indexed_alpha, {0, 0, 2, 2}, rgb, &rgb_alpha, {0, 0, 4, 4});
  EXPECT_EQ(pixel_at(rgb, 3, 3), (Bgr{9, 8, 7}));
  EXPECT_EQ(index_at(rgb_alpha, 3, 3), 33);
  Page small8 = make_page(4, 4, Depth::Indexed8);
  EXPECT_TRUE(scaled_copy(rgb, nullptr, {0, 0, 4, 4}, small8, nullptr, {0, 0, 2, 2}).empty());
}

// A whole number of turns with unit scales is the plain copy, centred.
TEST(RotatedCopy, whole_turns_equal_the_centred_plain_copy) {
  Page src = numbered_page(10, 8);
  Page expected = filled_page(20, 20, Depth::Rgb24, 5);
  // (dxl - xl + 1) / 2 = 2 and (dyl - yl + 1) / 2 = 3 from the destination corner.
  copy_pixels(src, nullptr, expected, nullptr, *clip_copy(src, {1, 1, 6, 4}, expected, 4, 6));
  for (float angle : {0.0f, 360.0f, 720.0004f, -360.0f}) {
    Page dst = filled_page(20, 20, Depth::Rgb24, 5);
    Page dst_alpha = filled_page(20, 20, Depth::Indexed8, 255);
    EXPECT_EQ(rotated_copy(src, nullptr, {1, 1, 6, 4}, dst, &dst_alpha, {2, 3, 10, 9}, angle, 1.0f, 1.0f),
              (Rect{4, 6, 6, 4}))
        << angle;
    EXPECT_EQ(dst.pixels, expected.pixels) << angle;
    // The source has no alpha page: the drawn rectangle becomes opaque.
    EXPECT_EQ(index_at(dst_alpha, 4, 6), 0);
    EXPECT_EQ(index_at(dst_alpha, 3, 6), 255);
  }
}

TEST(RotatedCopy, vanishing_or_unnumbered_scales_and_angles_and_24_to_8_draw_nothing) {
  Page src = filled_page(10, 10, Depth::Rgb24, 200);
  Page dst = make_page(10, 10, Depth::Rgb24);
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (float scale : {0.001f, -0.002f, 0.0f, nan, inf}) {
    EXPECT_TRUE(rotated_copy(src, nullptr, {0, 0, 10, 10}, dst, nullptr, {0, 0, 10, 10}, 30.0f, scale, 1.0f).empty());
    EXPECT_TRUE(rotated_copy(src, nullptr, {0, 0, 10, 10}, dst, nullptr, {0, 0, 10, 10}, 0.0f, 1.0f, scale).empty());
  }
  for (float angle : {nan, inf, -inf}) {
    EXPECT_TRUE(rotated_copy(src, nullptr, {0, 0, 10, 10}, dst, nullptr, {0, 0, 10, 10}, angle, 1.5f, 1.0f).empty());
  }
  Page dst8 = make_page(10, 10, Depth::Indexed8);
  EXPECT_TRUE(rotated_copy(src, nullptr, {0, 0, 10, 10}, dst8, nullptr, {0, 0, 10, 10}, 30.0f, 1.0f, 1.0f).empty());
  EXPECT_EQ(dst.pixels, make_page(10, 10, Depth::Rgb24).pixels);
}

TEST(RotatedCopy, turned_pictures_stay_inside_the_destination_and_keep_their_colour) {
  Page src = filled_page(20, 10, Depth::Rgb24, 200);
  Page src_alpha = filled_page(20, 10, Depth::Indexed8, 17);
  Page dst = make_page(60, 60, Depth::Rgb24);
  Page dst_alpha = filled_page(60, 60, Depth::Indexed8, 255);
  Rect destination{10, 10, 40, 40};
  Rect drawn = rotated_copy(src, &src_alpha, {0, 0, 20, 10}, dst, &dst_alpha, destination, 45.0f, 1.5f, 1.5f);
  ASSERT_FALSE(drawn.empty());
  int changed = 0;
  for (int32_t y = 0; y < 60; ++y) {
    for (int32_t x = 0; x < 60; ++x) {
      Bgr p = pixel_at(dst, x, y);
      if (p == Bgr{}) {
        EXPECT_EQ(index_at(dst_alpha, x, y), 255);
        continue;
      }
      ++changed;
      EXPECT_EQ(p, (Bgr{200, 200, 200}));
      EXPECT_EQ(index_at(dst_alpha, x, y), 17);
      EXPECT_TRUE(x >= drawn.x && x < drawn.x + drawn.width && y >= drawn.y && y < drawn.y + drawn.height);
      EXPECT_TRUE(x >= 10 && x < 50 && y >= 10 && y < 50);
    }
  }
  // A 20 x 10 picture at 1.5 times covers about 450 pixels.
  EXPECT_GT(changed, 380);
  EXPECT_LT(changed, 520);
}

// 4 x 2 grey source enlarged twice; values worked out by hand: the columns at
// source positions 0.25, 0.75, 1.25 ... and the rows at 0.25 (level 64) and
// 0.75 (level 192). Column 0 and 7 and rows 0 and 3 fall outside and stay.
TEST(SmoothCopy, bilinear_arithmetic_on_a_small_enlargement) {
  Page src = make_page(4, 2, Depth::Rgb24);
  const uint8_t top[4] = {0, 64, 128, 192};
  for (int32_t x = 0; x < 4; ++x) {
    put_pixel(src, x, 0, {top[x], top[x], top[x]});
    put_pixel(src, x, 1, {100, 100, 100});
  }
  Page dst = filled_page(8, 4, Depth::Rgb24, 7);
  SmoothCopyResult result = smooth_scaled_copy(src, {0, 0, 4, 2}, dst, {0, 0, 8, 4}, 2.0f, 2.0f);
  EXPECT_EQ(result.drawn, (Rect{1, 1, 6, 2}));
  const uint8_t row1[6] = {37, 61, 85, 109, 133, 157};
  const uint8_t row2[6] = {79, 87, 95, 103, 111, 119};
  for (int32_t x = 0; x < 8; ++x) {
    EXPECT_EQ(pixel_at(dst, x, 0).blue, 7);
    EXPECT_EQ(pixel_at(dst, x, 3).blue, 7);
    uint8_t want1 = x >= 1 && x <= 6 ? row1[x - 1] : 7;
    uint8_t want2 = x >= 1 && x <= 6 ? row2[x - 1] : 7;
    EXPECT_EQ(pixel_at(dst, x, 1), (Bgr{want1, want1, want1})) << x;
    EXPECT_EQ(pixel_at(dst, x, 2), (Bgr{want2, want2, want2})) << x;
  }
}

TEST(SmoothCopy, unit_scale_reproduces_the_source_but_its_last_row_and_column) {
  Page src = numbered_page(10, 10);
  Page dst = make_page(10, 10, Depth::Rgb24);
  EXPECT_EQ(smooth_scaled_copy(src, {0, 0, 10, 10}, dst, {0, 0, 10, 10}, 1.0f, 1.0f).drawn, (Rect{0, 0, 9, 9}));
  for (int32_t y = 0; y < 9; ++y) {
    for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(pixel_at(dst, x, y), pixel_at(src, x, y));
  }
  EXPECT_EQ(pixel_at(dst, 9, 9), Bgr{});
}

TEST(SmoothCopy, constant_pages_stay_constant_and_bands_do_not_change_the_result) {
  Page constant = filled_page(300, 200, Depth::Rgb24, 77);
  Page dst = make_page(520, 360, Depth::Rgb24);
  SmoothCopyResult result = smooth_scaled_copy(constant, {0, 0, 300, 200}, dst, {0, 0, 520, 360}, 1.7f, 1.7f);
  ASSERT_FALSE(result.drawn.empty());
  for (int32_t y = 0; y < 360; ++y) {
    for (int32_t x = 0; x < 520; ++x) {
      const Rect& d = result.drawn;
      bool inside = x >= d.x && x < d.x + d.width && y >= d.y && y < d.y + d.height;
      ASSERT_EQ(pixel_at(dst, x, y).green, inside ? 77 : 0) << x << "," << y;
    }
  }

  Page src = numbered_page(160, 120);
  Page threaded = make_page(400, 300, Depth::Rgb24);
  Page single = make_page(400, 300, Depth::Rgb24);
  SmoothCopyResult many = smooth_scaled_copy(src, {0, 0, 160, 120}, threaded, {0, 0, 400, 300}, 2.5f, 2.5f);
  SmoothCopyResult one =
      smooth_scaled_copy(src, {0, 0, 160, 120}, single, {0, 0, 400, 300}, 2.5f, 2.5f, Threading::CallingThread);
  EXPECT_EQ(many.drawn, one.drawn);
  EXPECT_EQ(one.worker_threads, 0);
  EXPECT_EQ(many.worker_threads, many.bands - 1);
  EXPECT_EQ(threaded.pixels, single.pixels);
}

TEST(SmoothCopy, small_jobs_run_on_the_calling_thread) {
  Page src = numbered_page(64, 40);
  Page dst = make_page(128, 99, Depth::Rgb24);
  SmoothCopyResult result = smooth_scaled_copy(src, {0, 0, 64, 40}, dst, {0, 0, 128, 99}, 2.0f, 2.475f);
  EXPECT_FALSE(result.drawn.empty());
  EXPECT_LT(result.drawn.height, 100);
  EXPECT_EQ(result.bands, 1);
  EXPECT_EQ(result.worker_threads, 0);

  struct Case {
    int32_t rows;
    unsigned processors;
    int32_t bands;
  } cases[] = {{99, 16, 1}, {100, 16, 4}, {100, 4, 4}, {100, 3, 2}, {500, 2, 2}, {500, 1, 1}, {500, 0, 1}};
  for (const Case& c : cases) EXPECT_EQ(smooth_copy_bands(c.rows, c.processors), c.bands) << c.rows << "/" << c.processors;
}

TEST(SmoothCopy, mixed_depths_are_not_supported) {
  Page indexed = make_page(4, 4, Depth::Indexed8);
  Page rgb = make_page(8, 8, Depth::Rgb24);
  SmoothCopyResult result = smooth_scaled_copy(indexed, {0, 0, 4, 4}, rgb, {0, 0, 8, 8}, 2.0f, 2.0f);
  EXPECT_FALSE(result.supported);
  EXPECT_TRUE(result.drawn.empty());
  EXPECT_TRUE(smooth_scaled_copy(rgb, {0, 0, 8, 8}, rgb, {0, 0, 8, 8}, 0.0f, 1.0f).drawn.empty());
}

TEST(Mosaic, tiles_are_centred_uniform_and_size_below_one_draws_nothing) {
  Page src = numbered_page(5, 3);
  Page dst = filled_page(5, 3, Depth::Rgb24, 99);
  uint32_t random = 1;
  EXPECT_TRUE(mosaic(src, {0, 0, 5, 3}, dst, 0, 0, 0, random).empty());
  EXPECT_TRUE(mosaic(src, {0, 0, 5, 3}, dst, 0, 0, -4, random).empty());
  EXPECT_EQ(dst.pixels, filled_page(5, 3, Depth::Rgb24, 99).pixels);

  // Size 1: every tile is one pixel, so the mosaic is a copy.
  EXPECT_EQ(mosaic(src, {0, 0, 5, 3}, dst, 0, 0, 1, random), (Rect{0, 0, 5, 3}));
  EXPECT_EQ(dst.pixels, src.pixels);

  // Size 2 over width 5: tiles cover columns [0,2), [2,4), [4,5) (the grid
  // starts (5 mod 2) / 2 - 2 = -2); height 3 gives rows [0,2), [2,3).
  Page tiled = make_page(5, 3, Depth::Rgb24);
  uint32_t before = random;
  mosaic(src, {0, 0, 5, 3}, tiled, 0, 0, 2, random);
  EXPECT_NE(random, before);
  EXPECT_EQ(pixel_at(tiled, 0, 0), pixel_at(tiled, 1, 1));
  EXPECT_EQ(pixel_at(tiled, 2, 0), pixel_at(tiled, 3, 1));
  EXPECT_LE(pixel_at(tiled, 1, 0).blue, 1);  // averaged from columns 0 and 1
  EXPECT_EQ(pixel_at(tiled, 4, 0).blue, 4);
  EXPECT_EQ(pixel_at(tiled, 4, 2), pixel_at(src, 4, 2));

  Page indexed = make_page(5, 3, Depth::Indexed8);
  EXPECT_TRUE(mosaic(indexed, {0, 0, 5, 3}, tiled, 0, 0, 2, random).empty());
}

}  // namespace
}  // namespace tavelo::graphics
