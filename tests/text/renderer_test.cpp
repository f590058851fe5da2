// The renderer on the installed IPA fonts: advances at both scales, where
// glyph ink lands in the line buffer, thickening, cutting at the client width,
// font choice and private fonts. Glyphs are checked by coverage sums and
// bounding boxes, not pixel snapshots, so a FreeType update that moves an edge
// by a sample does not fail them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "tests/support/test_engine.h"
#include "text/renderer.h"

namespace {

using tavelo::graphics::Depth;
using tavelo::graphics::Page;
using tavelo::testing::sjis;
using namespace tavelo::text;

struct Ink {
  int64_t sum = 0;  // total ink, 255 per fully inked pixel
  int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
  bool grey = false;  // some pixel is partly inked
};

Ink ink_in(const Page& line, int32_t from, int32_t to) {
  Ink ink;
  for (int32_t y = 0; y < line.height; ++y) {
    for (int32_t x = from; x < to; ++x) {
      const uint8_t m = line.row(y)[x];
      if (m == 255) continue;
      ink.sum += 255 - m;
      ink.grey |= m != 0;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
    }
  }
  return ink;
}

class RendererTest : public ::testing::Test {
 protected:
  RendererTest() : encoding(tavelo::platform::TextEncoding::create("CP932")) {
    renderer.codec = make_text_codec(*encoding);
  }

  FontRecord font(std::string_view face_utf8, std::optional<int32_t> height = {},
                  std::optional<int32_t> width = {}) {
    FontRecord record = make_font_record(1);
    const std::string face = sjis(face_utf8);
    choose_font(renderer, record, FontChoice{face, height, width, {}, {}}, settings);
    return record;
  }

  // Draws on a scratch page and returns the line buffer's ink.
  Ink draw(const FontRecord& record, std::string_view text_utf8) {
    const DrawResult result = draw_text(renderer, record, page, nullptr, sjis(text_utf8), settings);
    return ink_in(renderer.line_buffer, 0, std::min(result.advance, renderer.line_buffer.width));
  }

  std::unique_ptr<tavelo::platform::TextEncoding> encoding;
  Renderer renderer;
  DrawSettings settings;
  Page page = tavelo::graphics::make_page(640, 64, Depth::Rgb24);
};

TEST_F(RendererTest, advances_follow_the_scale_rules) {
  struct Case {
    const char* name;
    int32_t antialias_mode;
    bool skipping;
    int32_t height;
    std::optional<int32_t> width;
    const char* text;
    std::vector<int32_t> advances;
  };
  const Case cases[] = {
      // Full-width characters are one em; single-byte ones lose a pixel at scale 4.
      {"scale 4", 1, false, 20, {}, "漢かA1ｱ", {20, 20, 9, 9, 9}},
      {"scale 1", 0, false, 20, {}, "漢かA1ｱ", {20, 20, 10, 10, 10}},
      {"mode 2 while skipping", 2, true, 20, {}, "漢A", {20, 10}},
      {"mode 2 otherwise", 2, false, 20, {}, "漢A", {20, 9}},
      // The default width of an odd height is rounded down; the half pixel
      // added when realising keeps the em square.
      {"odd height", 1, false, 21, {}, "漢", {21}},
      {"double width", 1, false, 20, 20, "漢", {40}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    renderer.antialias_mode = c.antialias_mode;
    settings.skip_active = c.skipping;
    const FontRecord record = font("ＭＳ ゴシック", c.height, c.width);
    std::vector<int32_t> advances;
    const int32_t total = measure_text(renderer, record, sjis(c.text), settings, &advances);
    EXPECT_EQ(advances, c.advances);
    int32_t sum = 0;
    for (int32_t a : c.advances) sum += a;
    EXPECT_EQ(total, sum);
  }
  // A proportional face gives narrow letters less room.
  const FontRecord proportional = font("ＭＳ Ｐゴシック", 20);
  EXPECT_LT(measure_text(renderer, proportional, "i", settings), measure_text(renderer, proportional, "W", settings));
}

TEST_F(RendererTest, glyph_ink_sits_in_its_cell) {
  const FontRecord record = font("ＭＳ ゴシック", 20);
  // A horizontal bar: wide, a few rows, in the middle of the cell.
  const Ink bar = draw(record, "一");
  EXPECT_GE(bar.right - bar.left, 14);
  EXPECT_LE(bar.bottom - bar.top, 3);
  EXPECT_GE(bar.top, 7);
  EXPECT_LE(bar.bottom, 12);
  EXPECT_TRUE(bar.grey);
  // A box fills most of the cell and is centred in its advance.
  const Ink box = draw(record, "口");
  EXPECT_GE(box.right - box.left, 12);
  EXPECT_GE(box.bottom - box.top, 12);
  EXPECT_NEAR((box.left + box.right) / 2.0, 9.5, 1.5);
  // The second character of a string is drawn one advance further on.
  const Ink pair = draw(record, "一口");
  EXPECT_EQ(ink_in(renderer.line_buffer, 20, 40).left, box.left + 20);
  EXPECT_EQ(pair.sum, bar.sum + box.sum);
  // Half-width letters stay within their narrower advance.
  const Ink letter = draw(record, "H");
  EXPECT_GE(letter.left, 0);
  EXPECT_LE(letter.right, 8);
  EXPECT_GE(letter.bottom - letter.top, 9);
}

TEST_F(RendererTest, scale_one_draws_without_grey) {
  renderer.antialias_mode = 0;
  const Ink ink = draw(font("ＭＳ ゴシック", 20), "漢字");
  EXPECT_GT(ink.sum, 0);
  EXPECT_FALSE(ink.grey);
}

TEST_F(RendererTest, mincho_faces_are_thickened_unless_caches_are_smart) {
  const FontRecord mincho = font("ＭＳ 明朝", 24);
  const FontRecord gothic = font("ＭＳ ゴシック", 24);
  ASSERT_TRUE(mincho.mincho);
  ASSERT_FALSE(gothic.mincho);
  const Ink thick = draw(mincho, "永");
  const Ink gothic_ink = draw(gothic, "永");
  renderer.cache_naming = CacheFileNaming::Smart;
  const Ink thin = draw(mincho, "永");
  EXPECT_GT(thick.sum, thin.sum * 11 / 10);
  EXPECT_EQ(draw(gothic, "永").sum, gothic_ink.sum);
}

TEST_F(RendererTest, text_past_the_client_width_is_cut_and_not_cached) {
  renderer.client_width = 50;
  ASSERT_EQ(open_font_cache(renderer, sjis("ＭＳ ゴシック"), 20, 10, "", CacheWrites::Disabled), CacheLoad::Missing);
  const FontRecord record = font("ＭＳ ゴシック", 20);
  ASSERT_TRUE(record.cache_usable);
  const DrawResult result = draw_text(renderer, record, page, nullptr, sjis("一二三四五"), settings);
  EXPECT_EQ(result.advance, 100);
  EXPECT_EQ(renderer.line_buffer.width, 50);
  // The third character is cut at column 50: its left part is drawn.
  const Ink third = ink_in(renderer.line_buffer, 40, 50);
  EXPECT_GT(third.sum, 0);
  EXPECT_EQ(third.right, 49);
  // Only the two glyphs that fitted whole were stored.
  for (const char* c : {"一", "二"}) EXPECT_TRUE(glyph_cached(renderer.cache, character_code(sjis(c)))) << c;
  for (const char* c : {"三", "四"}) EXPECT_FALSE(glyph_cached(renderer.cache, character_code(sjis(c)))) << c;
  EXPECT_EQ(renderer.cache.used, kGlyphDataStart + 2 * 20 * 20);
}

TEST_F(RendererTest, font_choice_applies_defaults_and_limits) {
  FontRecord record = font("ＭＳ 明朝", 30);
  EXPECT_EQ(record.width, 15);
  EXPECT_EQ(record.pitch, 37);
  EXPECT_TRUE(record.mincho);
  EXPECT_FALSE(record.cache_usable);
  // Face names keep whole characters within 31 bytes.
  record = font("あいうえおかきくけこさしすせそたち", 30);
  EXPECT_EQ(record.face, sjis("あいうえおかきくけこさしすせそ"));
  EXPECT_FALSE(record.mincho);
  // Nonsense sizes draw nothing instead of asking for huge bitmaps.
  record = font("ＭＳ ゴシック", 1 << 20);
  EXPECT_EQ(draw_text(renderer, record, page, nullptr, "A", settings).advance, 0);
}

TEST_F(RendererTest, private_fonts_are_chosen_by_their_names) {
  EXPECT_FALSE(add_private_font(renderer, std::vector<uint8_t>(100, 7)));
  EXPECT_EQ(face_source(renderer, sjis("IPA P明朝")), FaceSource::Installed);
  const std::vector<uint8_t> file = tavelo::testing::read_bytes("/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf");
  ASSERT_FALSE(file.empty());
  ASSERT_TRUE(add_private_font(renderer, file));
  // Any of its names, the Japanese one included, in any ASCII case.
  EXPECT_EQ(face_source(renderer, sjis("IPA P明朝")), FaceSource::Private);
  EXPECT_EQ(face_source(renderer, "ipapmincho"), FaceSource::Private);
  EXPECT_EQ(face_source(renderer, "NoSuchFace"), FaceSource::Installed);
  EXPECT_GT(draw(font("IPA P明朝", 20), "漢").sum, 0);
}

}  // namespace
