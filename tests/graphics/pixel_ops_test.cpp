// Pixel kernels: clipping, fills, blends and copies on small pages, checked
// against values worked out by hand from the blend formulas.

#include "graphics/pixel_ops.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/graphics/page_test_support.h"

namespace tavelo::graphics {
namespace {

using testing::Bgr;
using testing::filled_page;
using testing::index_at;
using testing::numbered_page;
using testing::pixel_at;
using testing::put_pixel;

TEST(Clipping, one_page_cuts_negative_edges_and_page_bounds) {
  struct Case {
    Rect in;
    Rect out;
  } cases[] = {
      {{2, 3, 4, 5}, {2, 3, 4, 5}},
      {{-2, -1, 5, 5}, {0, 0, 3, 4}},
      {{8, 8, 10, 10}, {8, 8, 2, 2}},
      {{10, 0, 1, 1}, {}},
      {{-5, 0, 5, 1}, {}},
      {{0, 0, 0, 3}, {}},
      {{INT32_MAX, 0, INT32_MAX, 1}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(clip_to_page(c.in, 10, 10), c.out) << c.in.x << "," << c.in.y;
}

TEST(Clipping, two_pages_move_the_other_side_and_fit_both) {
  struct Case {
    Rect source;
    int32_t dx, dy;
    std::optional<CopyRegion> expected;
  } cases[] = {
      // Negative source x moves the destination right by the same amount.
      {{-3, 0, 5, 2}, 10, 0, CopyRegion{0, 0, 13, 0, 2, 2}},
      // Negative destination x moves the source and shortens the rectangle.
      {{2, 2, 6, 3}, -4, 1, CopyRegion{6, 2, 0, 1, 2, 3}},
      // Cut at the source page's edge (20 x 10), then at the destination's (16 x 16).
      {{15, 5, 10, 10}, 14, 0, CopyRegion{15, 5, 14, 0, 2, 5}},
      {{0, 0, 4, 4}, 16, 0, std::nullopt},
      {{20, 0, 4, 4}, 0, 0, std::nullopt},
      {{-10, -10, 5, 5}, 0, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<CopyRegion> got = clip_copy(c.source, 20, 10, c.dx, c.dy, 16, 16);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.source.x << "," << c.dx;
    if (!got) continue;
    EXPECT_EQ(got->source(), c.expected->source());
    EXPECT_EQ(got->destination(), c.expected->destination());
  }
}

TEST(Fills, solid_transparent_multiply_and_invert_arithmetic) {
  Page page = filled_page(4, 2, Depth::Rgb24, 100);
  EXPECT_EQ(fill_rect(page, {-1, 0, 2, 1}, make_colour(1, 2, 3)), (Rect{0, 0, 1, 1}));
  EXPECT_EQ(pixel_at(page, 0, 0), (Bgr{3, 2, 1}));
  EXPECT_EQ(pixel_at(page, 1, 0), (Bgr{100, 100, 100}));

  // Level 255: the old value weighs 256, the colour 1; level 0 the reverse.
  struct Case {
    int32_t level;
    uint8_t expected;
  } cases[] = {{255, 100}, {0, 200}, {128, 150}, {-7, 200}, {999, 100}};
  for (const Case& c : cases) {
    Page p = filled_page(20, 1, Depth::Rgb24, 100);  // 60 bytes: vector and tail paths
    fill_rect_level(p, {0, 0, 20, 1}, make_colour(200, 200, 200), c.level);
    for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(pixel_at(p, x, 0), (Bgr{c.expected, c.expected, c.expected})) << c.level;
  }

  Page indexed = filled_page(3, 1, Depth::Indexed8, 100);
  fill_rect_level(indexed, {0, 0, 3, 1}, 0x00FFFFC8, 128);  // low byte 200 blends with the index
  EXPECT_EQ(index_at(indexed, 2, 0), 150);

  Page m = filled_page(2, 1, Depth::Rgb24, 200);
  multiply_fill(m, {0, 0, 2, 1}, make_colour(255, 127, 0));  // (c + 1) * v >> 8
  EXPECT_EQ(pixel_at(m, 1, 0), (Bgr{0, 100, 200}));
  invert_rect(m, {1, 0, 5, 5});
  EXPECT_EQ(pixel_at(m, 1, 0), (Bgr{255, 155, 55}));
  EXPECT_EQ(pixel_at(m, 0, 0), (Bgr{0, 100, 200}));

  Page m8 = filled_page(2, 1, Depth::Indexed8, 200);
  EXPECT_TRUE(multiply_fill(m8, {0, 0, 2, 1}, 0).empty());
  EXPECT_TRUE(invert_rect(m8, {0, 0, 2, 1}).empty());
  EXPECT_EQ(index_at(m8, 0, 0), 200);
}

TEST(Fills, sepia_ramps_brightness_and_on_8_bit_pages_changes_only_the_palette) {
  const uint32_t dark = make_colour(10, 20, 30), light = make_colour(255, 250, 240);
  Page page = make_page(3, 1, Depth::Rgb24);
  put_pixel(page, 1, 0, {255, 255, 255});
  put_pixel(page, 2, 0, {10, 100, 200});
  sepia_rect(page, {0, 0, 3, 1}, dark, light, std::nullopt);
  EXPECT_EQ(pixel_at(page, 0, 0), (Bgr{30, 20, 10}));
  EXPECT_EQ(pixel_at(page, 1, 0), (Bgr{213, 220, 223}));
  EXPECT_EQ(pixel_at(page, 2, 0), (Bgr{113, 111, 107}));

  Page mixed = make_page(1, 1, Depth::Rgb24);
  put_pixel(mixed, 0, 0, {10, 100, 200});
  sepia_rect(mixed, {0, 0, 1, 1}, dark, light, 64);  // old weighs 65, sepia 192
  EXPECT_EQ(pixel_at(mixed, 0, 0), (Bgr{87, 108, 131}));

  Page indexed = make_page(4, 4, Depth::Indexed8);
  indexed.row(1)[1] = 7;
  std::vector<uint8_t> pixels_before = indexed.pixels;
  EXPECT_EQ(sepia_rect(indexed, {1, 1, 1, 1}, dark, light, std::nullopt), (Rect{0, 0, 4, 4}));
  EXPECT_EQ(indexed.pixels, pixels_before);
  EXPECT_EQ(indexed.palette[0].blue, 30);
  EXPECT_EQ(indexed.palette[255].red, 223);
}

TEST(Points, read_colours_and_report_outside) {
  Page page = make_page(2, 2, Depth::Rgb24);
  EXPECT_EQ(point_colour(page, 0, 0), 0);
  set_point(page, 1, 1, 0x00332211);
  EXPECT_EQ(pixel_at(page, 1, 1), (Bgr{0x33, 0x22, 0x11}));
  EXPECT_EQ(point_colour(page, 1, 1), 0x00332211);
  EXPECT_EQ(point_colour(page, 2, 0), -1);
  EXPECT_EQ(point_colour(page, 0, -1), -1);
  EXPECT_TRUE(set_point(page, 5, 5, 0).empty());

  Page indexed = make_page(1, 1, Depth::Indexed8);
  indexed.palette[9] = {0x30, 0x20, 0x10, 0};
  set_point(indexed, 0, 0, 0x12345609);  // low byte is the index
  EXPECT_EQ(point_colour(indexed, 0, 0), 0x00302010);
}

TEST(Copies, level_copy_weighs_destination_by_level_plus_one) {
  struct Case {
    int32_t level;
    uint8_t expected;  // dst 10, src 200
  } cases[] = {{0, 200}, {255, 10}, {128, 105}, {1, 199}, {-3, 200}, {300, 10}};
  for (const Case& c : cases) {
    Page src = filled_page(21, 2, Depth::Rgb24, 200);
    Page dst = filled_page(21, 2, Depth::Rgb24, 10);
    level_copy(src, dst, {0, 0, 0, 0, 21, 2}, c.level);
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < 21; ++x) ASSERT_EQ(pixel_at(dst, x, y).green, c.expected) << c.level << " x " << x;
    }
  }
  // 8 -> 24 blends the palette colour; 8 -> 8 the index bytes; 24 -> 8 is refused.
  Page indexed = filled_page(2, 1, Depth::Indexed8, 3);
  indexed.palette[3] = {200, 0, 100, 0};
  Page dst = filled_page(2, 1, Depth::Rgb24, 10);
  level_copy(indexed, dst, {0, 0, 0, 0, 2, 1}, 128);
  EXPECT_EQ(pixel_at(dst, 1, 0), (Bgr{105, 5, 55}));
  Page dst8 = filled_page(2, 1, Depth::Indexed8, 203);
  level_copy(indexed, dst8, {0, 0, 0, 0, 2, 1}, 128);  // (129 * 203 + 128 * 3) >> 8
  EXPECT_EQ(index_at(dst8, 0, 0), 103);
  Page rgb = filled_page(2, 1, Depth::Rgb24, 200);
  EXPECT_TRUE(level_copy(rgb, dst8, {0, 0, 0, 0, 2, 1}, 0).empty());
  EXPECT_EQ(index_at(dst8, 0, 0), 103);
}

TEST(Copies, alpha_copy_branches_on_transparency_plus_level) {
  struct Case {
    uint8_t alpha;
    int32_t level;
    uint8_t expected;  // dst 10, src 200
  } cases[] = {
      {254, 0, 10},   // a = 255: destination stays
      {1, 0, 200},    // a = 2: source copied exactly
      {0, 0, 200},    // a = 1
      {100, 0, 125},  // (200 * 156 + 10 * 101) >> 8
      {253, 0, 12},   // a = 254: (200 * 3 + 10 * 254) >> 8
      {0, 253, 12},   // the level adds to the alpha byte
      {1, 1, 198},    // a = 3: (200 * 254 + 10 * 3) >> 8
      {0, 254, 10},
      {0, -50, 200},
  };
  for (const Case& c : cases) {
    Page src = filled_page(19, 1, Depth::Rgb24, 200);
    Page alpha = filled_page(19, 1, Depth::Indexed8, c.alpha);
    Page dst = filled_page(19, 1, Depth::Rgb24, 10);
    alpha_copy(src, alpha, dst, nullptr, {0, 0, 0, 0, 19, 1}, c.level);
    for (int32_t x = 0; x < 19; ++x) ASSERT_EQ(pixel_at(dst, x, 0).red, c.expected) << int(c.alpha) << "/" << c.level;
  }
}

TEST(Copies, alpha_copy_at_level_255_draws_nothing_and_multiplies_destination_alpha) {
  Page src = filled_page(2, 1, Depth::Rgb24, 200);
  Page alpha = filled_page(2, 1, Depth::Indexed8, 127);
  Page dst = filled_page(2, 1, Depth::Rgb24, 10);
  Page dst_alpha = filled_page(2, 1, Depth::Indexed8, 200);
  EXPECT_TRUE(alpha_copy(src, alpha, dst, &dst_alpha, {0, 0, 0, 0, 2, 1}, 255).empty());
  EXPECT_EQ(pixel_at(dst, 0, 0).blue, 10);
  EXPECT_EQ(index_at(dst_alpha, 0, 0), 200);
  alpha_copy(src, alpha, dst, &dst_alpha, {0, 0, 0, 0, 2, 1}, 0);
  EXPECT_EQ(index_at(dst_alpha, 1, 0), 100);  // (200 * 128) >> 8

  // An 8-bit source is taken through its palette.
  Page indexed = filled_page(1, 1, Depth::Indexed8, 5);
  indexed.palette[5] = {1, 2, 3, 0};
  Page opaque = filled_page(1, 1, Depth::Indexed8, 0);
  alpha_copy(indexed, opaque, dst, nullptr, {0, 0, 0, 0, 1, 1}, 0);
  EXPECT_EQ(pixel_at(dst, 0, 0), (Bgr{1, 2, 3}));
}

TEST(Copies, additive_multiply_and_reverse_multiply) {
  struct Case {
    int32_t level;
    uint8_t dst, src, expected;
  } additive[] = {{0, 200, 100, 255}, {0, 10, 100, 109}, {128, 10, 100, 59}, {255, 10, 100, 10}};
  for (const Case& c : additive) {
    Page src = filled_page(1, 1, Depth::Rgb24, c.src);
    Page dst = filled_page(1, 1, Depth::Rgb24, c.dst);
    additive_copy(src, dst, {0, 0, 0, 0, 1, 1}, c.level);
    EXPECT_EQ(pixel_at(dst, 0, 0).blue, c.expected) << c.level << " " << int(c.dst);
  }
  Page mask = filled_page(1, 1, Depth::Indexed8, 127);
  Page dst = filled_page(1, 1, Depth::Indexed8, 200);
  multiply_copy(mask, dst, {0, 0, 0, 0, 1, 1});
  EXPECT_EQ(index_at(dst, 0, 0), 100);
  Page dst2 = filled_page(1, 1, Depth::Indexed8, 200);
  reverse_multiply_copy(mask, dst2, {0, 0, 0, 0, 1, 1});  // 255 - ((55 * 129) >> 8)
  EXPECT_EQ(index_at(dst2, 0, 0), 228);
  Page rgb = filled_page(1, 1, Depth::Rgb24, 1);
  EXPECT_TRUE(multiply_copy(mask, rgb, {0, 0, 0, 0, 1, 1}).empty());
  EXPECT_TRUE(reverse_multiply_copy(rgb, dst, {0, 0, 0, 0, 1, 1}).empty());
}

TEST(Copies, copy_converts_8_to_24_through_the_palette_and_refuses_24_to_8) {
  Page indexed = make_page(2, 1, Depth::Indexed8);
  indexed.row(0)[0] = 1;
  indexed.row(0)[1] = 2;
  indexed.palette[1] = {10, 20, 30, 0};
  indexed.palette[2] = {40, 50, 60, 0};
  Page rgb = make_page(3, 1, Depth::Rgb24);
  EXPECT_EQ(copy_pixels(indexed, nullptr, rgb, nullptr, {0, 0, 1, 0, 2, 1}), (Rect{1, 0, 2, 1}));
  EXPECT_EQ(pixel_at(rgb, 1, 0), (Bgr{10, 20, 30}));
  EXPECT_EQ(pixel_at(rgb, 2, 0), (Bgr{40, 50, 60}));
  EXPECT_TRUE(copy_pixels(rgb, nullptr, indexed, nullptr, {0, 0, 0, 0, 2, 1}).empty());
  EXPECT_EQ(index_at(indexed, 0, 0), 1);
}

TEST(Copies, copy_takes_alpha_only_when_both_pages_have_one) {
  Page src = filled_page(2, 2, Depth::Rgb24, 50);
  Page src_alpha = filled_page(2, 2, Depth::Indexed8, 77);
  Page dst = make_page(2, 2, Depth::Rgb24);
  Page dst_alpha = filled_page(2, 2, Depth::Indexed8, 1);
  copy_pixels(src, &src_alpha, dst, nullptr, {0, 0, 0, 0, 2, 2});
  copy_pixels(src, nullptr, dst, &dst_alpha, {0, 0, 0, 0, 2, 2});
  EXPECT_EQ(index_at(dst_alpha, 1, 1), 1);
  copy_pixels(src, &src_alpha, dst, &dst_alpha, {0, 0, 1, 1, 1, 1});
  EXPECT_EQ(index_at(dst_alpha, 1, 1), 77);
  EXPECT_EQ(index_at(dst_alpha, 0, 0), 1);
}

// Within one page every kernel must read the source as it was before the
// operation, whichever way the rectangles overlap.
TEST(Copies, overlapping_rectangles_in_one_page_read_the_original_source) {
  struct Shift {
    int32_t dx, dy;
  } shifts[] = {{1, 1}, {-1, -1}, {2, -1}, {-2, 1}, {0, 1}, {1, 0}, {0, -2}, {-1, 0}};
  for (const Shift& s : shifts) {
    CopyRegion region{3, 3, 3 + s.dx, 3 + s.dy, 6, 5};
    Page original = numbered_page(12, 12);
    auto expect_moved = [&](const Page& page, const char* what) {
      for (int32_t y = 0; y < 12; ++y) {
        for (int32_t x = 0; x < 12; ++x) {
          bool inside = x >= region.dst_x && x < region.dst_x + 6 && y >= region.dst_y && y < region.dst_y + 5;
          Bgr want = inside ? pixel_at(original, x - s.dx, y - s.dy) : pixel_at(original, x, y);
          ASSERT_EQ(pixel_at(page, x, y), want) << what << " shift " << s.dx << "," << s.dy << " at " << x << "," << y;
        }
      }
    };
    Page copied = numbered_page(12, 12);
    copy_pixels(copied, nullptr, copied, nullptr, region);
    expect_moved(copied, "copy");
    Page levelled = numbered_page(12, 12);
    level_copy(levelled, levelled, region, 0);
    expect_moved(levelled, "level copy");
    Page blended = numbered_page(12, 12);
    Page opaque = filled_page(12, 12, Depth::Indexed8, 0);
    alpha_copy(blended, opaque, blended, nullptr, region, 0);
    expect_moved(blended, "alpha copy");
  }
}

TEST(Copies, swap_exchanges_rectangles_and_refuses_mixed_depths) {
  Page a = filled_page(2, 2, Depth::Rgb24, 1);
  Page b = filled_page(3, 3, Depth::Rgb24, 2);
  Page a_alpha = filled_page(2, 2, Depth::Indexed8, 11);
  Page b_alpha = filled_page(3, 3, Depth::Indexed8, 22);
  swap_pixels(a, &a_alpha, b, &b_alpha, {0, 0, 1, 1, 2, 2});
  EXPECT_EQ(pixel_at(a, 1, 1).blue, 2);
  EXPECT_EQ(pixel_at(b, 2, 2).blue, 1);
  EXPECT_EQ(pixel_at(b, 0, 0).blue, 2);
  EXPECT_EQ(index_at(a_alpha, 0, 0), 22);
  EXPECT_EQ(index_at(b_alpha, 1, 1), 11);

  Page page = numbered_page(4, 1);
  swap_pixels(page, nullptr, page, nullptr, {0, 0, 2, 0, 2, 1});
  EXPECT_EQ(pixel_at(page, 0, 0).blue, 2);
  EXPECT_EQ(pixel_at(page, 3, 0).blue, 1);

  Page indexed = make_page(2, 2, Depth::Indexed8);
  EXPECT_TRUE(swap_pixels(a, nullptr, indexed, nullptr, {0, 0, 0, 0, 1, 1}).empty());
}

TEST(Tables, lookup_tables_clamp_and_map_over_the_common_size) {
  std::vector<int32_t> elements(300, 0);
  for (int32_t i = 0; i < 256; ++i) elements[size_t(i)] = 255 - i;
  elements[0] = 999;
  elements[1] = -4;
  LookupTable table = make_lookup_table(elements);
  EXPECT_EQ(table[0], 255);
  EXPECT_EQ(table[1], 0);
  EXPECT_EQ(table[200], 55);

  Page base = filled_page(3, 2, Depth::Indexed8, 200);
  Page mapped = make_table_alpha(base, table);
  EXPECT_EQ(mapped.width, 3);
  EXPECT_EQ(index_at(mapped, 2, 1), 55);

  Page dst = filled_page(2, 4, Depth::Indexed8, 9);
  EXPECT_EQ(map_through_table(base, dst, table), (Rect{0, 0, 2, 4}));
  EXPECT_EQ(index_at(dst, 1, 1), 55);
  EXPECT_EQ(index_at(dst, 1, 2), 9);  // below the source's height
  Page rgb = make_page(2, 2, Depth::Rgb24);
  EXPECT_TRUE(map_through_table(base, rgb, table).empty());
}

}  // namespace
}  // namespace tavelo::graphics
