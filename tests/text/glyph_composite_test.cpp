// Compositing a line buffer onto pages: where each effect puts its copies,
// the rectangles reported, and the blend on 24-bit and 8-bit pages and their
// alpha pages. Line buffers are made by hand, so no font is involved.

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "text/glyph_composite.h"

namespace {

using tavelo::graphics::Depth;
using tavelo::graphics::Page;
using tavelo::graphics::Rect;
using tavelo::text::composite_line;
using tavelo::text::InkStyle;
using tavelo::text::LineInk;

constexpr uint32_t kText = 0x00112233;    // red 0x33, green 0x22, blue 0x11
constexpr uint32_t kEffect = 0x00405060;  // red 0x60, green 0x50, blue 0x40

Page line_of(std::vector<uint8_t> coverage) {
  Page line = tavelo::graphics::make_page(int32_t(coverage.size()), 1, Depth::Indexed8);
  for (size_t i = 0; i < coverage.size(); ++i) line.row(0)[i] = coverage[i];
  return line;
}

uint32_t colour_at(const Page& page, int32_t x, int32_t y) {
  const uint8_t* p = page.row(y) + 3 * x;
  return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
}

// Offsets from the pen of every pixel that changed, with its final colour.
std::map<std::pair<int, int>, uint32_t> painted(const Page& page, int32_t x, int32_t y) {
  std::map<std::pair<int, int>, uint32_t> result;
  for (int32_t py = 0; py < page.height; ++py) {
    for (int32_t px = 0; px < page.width; ++px) {
      if (colour_at(page, px, py) != 0) result[{px - x, py - y}] = colour_at(page, px, py);
    }
  }
  return result;
}

TEST(GlyphComposite, effects_place_their_copies_and_widen_the_out_rectangle) {
  // Height 36: shadow offset K = 4 across, A = 2 down and around.
  constexpr uint32_t kLight = kEffect | 0x808080, kShade = kEffect | 0x505050;
  const std::map<std::pair<int, int>, uint32_t> outline = {
      {{2, 2}, kEffect}, {{-2, 2}, kEffect}, {{2, -2}, kEffect}, {{-2, -2}, kEffect},
      {{2, 0}, kEffect}, {{-2, 0}, kEffect}, {{0, -2}, kEffect}, {{0, 2}, kEffect}, {{0, 0}, kText}};
  auto with = [&](std::map<std::pair<int, int>, uint32_t> base,
                  std::vector<std::pair<std::pair<int, int>, uint32_t>> more) {
    for (auto& [offset, colour] : more) base[offset] = colour;
    return base;
  };
  struct Case {
    const char* name;
    uint32_t mode;
    tavelo::text::Decoration decoration;
    std::map<std::pair<int, int>, uint32_t> pixels;
    int32_t grow_width, grow_height;
  };
  const Case cases[] = {
      {"shadow", 0x00000000, {}, {{{4, 2}, kEffect}, {{0, 0}, kText}}, 5, 2},
      {"outline", 0x01000000, {}, outline, 5, 2},
      {"outline and shadow", 0x02000000, {}, with(outline, {{{4, 4}, kEffect}, {{4, 2}, kEffect}}), 9, 4},
      {"outline over light shadow", 0x03000000, {}, with(outline, {{{4, 4}, kLight}, {{4, 2}, kLight}}), 9, 4},
      {"decoration: shadow and outline", 0x04000000, {true, true, false},
       with(outline, {{{4, 4}, kShade}}), 9, 4},
      {"decoration: bold moves the right and lower outline", 0x04000000, {false, true, true},
       {{{3, 2}, kEffect}, {{-2, 2}, kEffect}, {{3, -2}, kEffect}, {{-2, -2}, kEffect}, {{3, 0}, kEffect},
        {{-2, 0}, kEffect}, {{0, -2}, kEffect}, {{0, 3}, kEffect}, {{1, 0}, kText}, {{0, 0}, kText}},
       9, 4},
      {"decoration: bold shadow only", 0x04000000, {true, false, true},
       {{{5, 4}, kShade}, {{1, 0}, kText}, {{0, 0}, kText}}, 9, 4},
      {"decoration: nothing chosen", 0x04000000, {false, false, false}, {{{0, 0}, kText}}, 9, 4},
      {"no effect", 0x7F000000, {}, {{{0, 0}, kText}}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Page line = line_of({0});
    Page page = tavelo::graphics::make_page(30, 30, Depth::Rgb24);
    const InkStyle style{kText, c.mode | kEffect, c.decoration};
    auto result = composite_line(LineInk{&line, 1, 7, 36}, style, page, nullptr, 10, 12);
    EXPECT_EQ(painted(page, 10, 12), c.pixels);
    EXPECT_EQ(result.out_rect, (Rect{10, 12, 7 + c.grow_width, 36 + c.grow_height}));
    // The changed rectangle holds every painted pixel.
    for (auto& [offset, colour] : c.pixels) {
      const int32_t px = 10 + offset.first, py = 12 + offset.second;
      EXPECT_TRUE(px >= result.changed_rect.x && px < result.changed_rect.x + result.changed_rect.width &&
                  py >= result.changed_rect.y && py < result.changed_rect.y + result.changed_rect.height);
    }
  }
}

TEST(GlyphComposite, coverage_blends_channels_and_makes_alpha_opaque) {
  // Coverage 0 and 1 set the colour, 254 and 255 leave the page, the rest blend.
  Page line = line_of({0, 1, 128, 253, 254, 255});
  for (Depth depth : {Depth::Rgb24, Depth::Indexed8}) {
    SCOPED_TRACE(depth == Depth::Rgb24 ? "24-bit" : "8-bit");
    Page page = tavelo::graphics::make_page(6, 1, depth);
    std::fill(page.pixels.begin(), page.pixels.end(), uint8_t(100));
    Page alpha = tavelo::graphics::make_page(6, 1, Depth::Indexed8);
    std::fill(alpha.pixels.begin(), alpha.pixels.end(), uint8_t(255));
    const InkStyle style{0x00C800C8, 0xFFFFFFFF, {}};  // red and blue 200, green 0
    auto result = composite_line(LineInk{&line, 6, 6, 1}, style, page, &alpha, 0, 0);
    EXPECT_EQ(result.changed_rect, (Rect{0, 0, 6, 1}));
    // ((256 - m) * 200 + (m + 1) * 100) / 256 for red and blue; green toward 0.
    const std::vector<uint8_t> red = {200, 200, 150, 101, 100, 100};
    const std::vector<uint8_t> green = {0, 0, 50, 99, 100, 100};
    for (int32_t x = 0; x < 6; ++x) {
      if (depth == Depth::Rgb24) {
        EXPECT_EQ(page.row(0)[3 * x + 0], red[x]) << x;  // blue, same values as red
        EXPECT_EQ(page.row(0)[3 * x + 1], green[x]) << x;
        EXPECT_EQ(page.row(0)[3 * x + 2], red[x]) << x;
      } else {
        EXPECT_EQ(page.row(0)[x], red[x]) << x;  // the index blends with the low byte
      }
    }
    // alpha * (m + 1) >> 8 where the pixel changed.
    EXPECT_EQ(std::vector<uint8_t>(alpha.row(0), alpha.row(0) + 6), (std::vector<uint8_t>{0, 1, 128, 253, 255, 255}));
  }
}

TEST(GlyphComposite, copies_are_clipped_to_the_page) {
  Page line = line_of({0, 0, 0, 0});
  Page page = tavelo::graphics::make_page(4, 4, Depth::Rgb24);
  const InkStyle style{kText, 0x01000000 | kEffect, {}};
  // Height 18: outline one pixel around; the pen sits off the page's left edge
  // and at the int32 limits.
  auto result = composite_line(LineInk{&line, 4, 4, 18}, style, page, nullptr, -2, 3);
  EXPECT_EQ(result.changed_rect, (Rect{0, 2, 3, 2}));
  EXPECT_EQ(colour_at(page, 1, 3), kText);
  result = composite_line(LineInk{&line, 4, 4, 18}, style, page, nullptr, INT32_MAX, INT32_MIN);
  EXPECT_TRUE(result.changed_rect.empty());
}

}  // namespace
