// The alpha copy's vector rows against the blend written out per byte: every
// alpha byte at several levels, row widths that end inside and between the
// 32- and 16-pixel steps, uniform runs that take the skip and copy shortcuts,
// and an offset region so that no row starts aligned.

#include <gtest/gtest.h>

#include <random>

#include "graphics/pixel_ops.h"

namespace tavelo::graphics {
namespace {

uint8_t expected_byte(uint8_t src, uint8_t dst, uint8_t t, int32_t level) {
  int32_t a = int32_t(t) + level + 1;
  if (a >= 255) return dst;
  if (a <= 2) return src;
  return uint8_t((src * (257 - a) + dst * a) >> 8);
}

Page random_page(int32_t width, int32_t height, Depth depth, std::mt19937& random) {
  Page page = make_page(width, height, depth);
  for (uint8_t& byte : page.pixels) byte = uint8_t(random());
  return page;
}

TEST(AlphaCopyRows, every_alpha_byte_and_level_matches_the_per_byte_blend) {
  std::mt19937 random(7);
  const int32_t levels[] = {-40, -1, 0, 1, 2, 100, 200, 252, 253, 254};
  const int32_t widths[] = {1, 15, 16, 17, 31, 32, 33, 48, 63, 64, 95, 131};
  for (int32_t width : widths) {
    for (int32_t level : levels) {
      const int32_t height = 6, page_width = width + 5;
      Page src = random_page(page_width, height + 2, Depth::Rgb24, random);
      Page alpha = random_page(page_width, height + 2, Depth::Indexed8, random);
      // Row 0: every alpha value in turn; row 1: uniform runs of transparent,
      // opaque and middle values so the shortcuts meet mixed neighbours.
      for (int32_t x = 0; x < page_width; ++x) {
        alpha.row(1)[x] = uint8_t((x * 37 + level) & 255);
        alpha.row(2)[x] = x < 40 ? 255 : x < 80 ? 0 : x < 100 ? 128 : uint8_t(x);
      }
      Page dst = random_page(page_width + 3, height + 1, Depth::Rgb24, random);
      Page before = clone_page(dst);
      CopyRegion region{1, 1, 3, 1, width, height};
      alpha_copy(src, alpha, dst, nullptr, region, level);
      for (int32_t y = 0; y < dst.height; ++y) {
        for (int32_t x = 0; x < dst.width; ++x) {
          bool inside = x >= 3 && x < 3 + width && y >= 1 && y < 1 + height;
          for (int32_t c = 0; c < 3; ++c) {
            size_t at = size_t(x) * 3 + size_t(c);
            uint8_t old = before.row(y)[at];
            uint8_t want = inside ? expected_byte(src.row(y)[size_t(x - 2) * 3 + size_t(c)], old,
                                                  alpha.row(y)[x - 2], level)
                                  : old;
            ASSERT_EQ(dst.row(y)[at], want) << "width " << width << " level " << level << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(AlphaCopyRows, indexed_sources_and_destination_alpha_follow_the_same_rule) {
  std::mt19937 random(11);
  Page src = random_page(70, 3, Depth::Indexed8, random);
  for (size_t i = 0; i < 256; ++i) src.palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
  Page alpha = random_page(70, 3, Depth::Indexed8, random);
  Page dst = random_page(70, 3, Depth::Rgb24, random);
  Page dst_alpha = random_page(70, 3, Depth::Indexed8, random);
  Page before = clone_page(dst);
  Page alpha_before = clone_page(dst_alpha);
  alpha_copy(src, alpha, dst, &dst_alpha, {0, 0, 0, 0, 70, 3}, 3);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 70; ++x) {
      const PaletteEntry& colour = src.palette[src.row(y)[x]];
      const uint8_t channels[3] = {colour.blue, colour.green, colour.red};
      uint8_t t = alpha.row(y)[x];
      for (int32_t c = 0; c < 3; ++c) {
        size_t at = size_t(x) * 3 + size_t(c);
        ASSERT_EQ(dst.row(y)[at], expected_byte(channels[c], before.row(y)[at], t, 3)) << x << "," << y;
      }
      ASSERT_EQ(dst_alpha.row(y)[x], uint8_t((alpha_before.row(y)[x] * (t + 1)) >> 8));
    }
  }
}

}  // namespace
}  // namespace tavelo::graphics
