// Glyph caches on disk: a cache written by one run serves the next, damaged
// files are discarded and rebuilt, large glyphs grow the data safely, and the
// start-up pre-build writes the listed characters.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/byte_reader.h"
#include "tests/support/test_engine.h"
#include "text/prebuild_characters.h"
#include "text/renderer.h"

namespace {

using tavelo::graphics::Depth;
using tavelo::graphics::Page;
using tavelo::testing::sjis;
using tavelo::testing::TempDirectory;
using namespace tavelo::text;

constexpr size_t kUsedField = 327952;

class GlyphCacheTest : public ::testing::Test {
 protected:
  GlyphCacheTest() : encoding(tavelo::platform::TextEncoding::create("CP932")) {}

  std::unique_ptr<Renderer> new_run() {
    auto renderer = std::make_unique<Renderer>();
    renderer->codec = make_text_codec(*encoding);
    return renderer;
  }

  FontRecord gothic(Renderer& renderer) {
    FontRecord record = make_font_record(1);
    choose_font(renderer, record, FontChoice{face, 20, {}, {}, {}}, settings);
    return record;
  }

  std::vector<uint8_t> line_after_drawing(Renderer& renderer, std::string_view text) {
    const FontRecord record = gothic(renderer);
    draw_text(renderer, record, page, nullptr, text, settings);
    return renderer.line_buffer.pixels;
  }

  std::unique_ptr<tavelo::platform::TextEncoding> encoding;
  TempDirectory directory;
  const std::string face = sjis("ＭＳ ゴシック");
  const std::string path = directory.at("savedata/fc_gothic_040x080.fcd");
  DrawSettings settings;
  Page page = tavelo::graphics::make_page(200, 40, Depth::Rgb24);
};

size_t cached_count(const GlyphCache& cache) {
  size_t count = 0;
  for (size_t code = 0; code < kGlyphCodeCount; ++code) count += glyph_cached(cache, uint16_t(code));
  return count;
}

TEST_F(GlyphCacheTest, file_names_carry_face_and_cell_size) {
  EXPECT_EQ(glyph_cache_file_name("Face", 40, 80, CacheFileNaming::Plain), "savedata\\fc_Face_040x080.fcd");
  EXPECT_EQ(glyph_cache_file_name("Face", 120, 96, CacheFileNaming::Smart), "savedata\\fca_Face_120x096.fcd");
}

TEST_F(GlyphCacheTest, cache_written_by_one_run_serves_the_next) {
  const std::string text = sjis("漢字かなA");
  std::vector<uint8_t> first_line;
  {
    auto run = new_run();
    EXPECT_EQ(open_font_cache(*run, face, 20, 10, path, CacheWrites::Allowed), CacheLoad::Missing);
    first_line = line_after_drawing(*run, text);
    EXPECT_EQ(cached_count(run->cache), 5u);
    close_fonts(*run, CacheWrites::Allowed);
  }
  const std::vector<uint8_t> file = tavelo::testing::read_bytes(path);
  ASSERT_GT(file.size(), kGlyphCacheHeaderSize);

  auto run = new_run();
  EXPECT_EQ(open_font_cache(*run, face, 20, 10, path, CacheWrites::Allowed), CacheLoad::FromFile);
  EXPECT_EQ(cached_count(run->cache), 5u);
  // The cached glyphs draw the same pixels, with the cached widths.
  EXPECT_EQ(line_after_drawing(*run, text), first_line);
  EXPECT_EQ(run->advances, (std::vector<int32_t>{20, 20, 20, 20, 9}));
  EXPECT_FALSE(run->cache.dirty);
  // Nothing new: the file is not rewritten.
  EXPECT_FALSE(close_glyph_cache(run->cache, CacheWrites::Allowed));

  // With saving disabled a dirty cache is dropped.
  const std::string other = directory.at("savedata/fc_other_040x080.fcd");
  open_font_cache(*run, face, 20, 10, other, CacheWrites::Disabled);
  line_after_drawing(*run, text);
  close_fonts(*run, CacheWrites::Disabled);
  EXPECT_FALSE(tavelo::platform::is_file(other));
}

TEST_F(GlyphCacheTest, damaged_files_are_discarded) {
  // An intact file with two glyphs of 20 rows: widths 20 and 9.
  GlyphCache source;
  reset_glyph_cache(source, face, 40, 80);
  ASSERT_TRUE(store_glyph(source, 0x8E9A, 20, std::vector<uint8_t>(400, 100)));
  ASSERT_TRUE(store_glyph(source, 'A', 9, std::vector<uint8_t>(180, 50)));
  const std::vector<uint8_t> intact = write_glyph_cache_file(source);
  const size_t widths = 268, offsets = 268 + 65536;

  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
  };
  auto put_u32 = [](std::vector<uint8_t>& f, size_t at, uint32_t v) { tavelo::resources::store_u32le(&f[at], v); };
  const Case cases[] = {
      {"header cut short", [](auto& f) { f.resize(kGlyphCacheHeaderSize - 1); }},
      {"data cut short", [](auto& f) { f.pop_back(); }},
      {"bytes after the data", [](auto& f) { f.push_back(0); }},
      {"huge used size", [&](auto& f) { put_u32(f, kUsedField, 0xFFFFFFF0); }},
      {"used size below the data start", [&](auto& f) { put_u32(f, kUsedField, 2); }},
      {"offset past the data", [&](auto& f) { put_u32(f, offsets + 4 * 'A', 584); }},
      {"offset inside the unused start", [&](auto& f) { put_u32(f, offsets + 4 * 'A', 2); }},
      {"width past the data", [&](auto& f) { f[widths + 'A'] = 255; }},
      {"other cell width", [&](auto& f) { put_u32(f, 260, 44); }},
      {"other cell height", [&](auto& f) { put_u32(f, 264, 84); }},
      {"face without its NUL", [](auto& f) { std::fill(f.begin(), f.begin() + 260, uint8_t('A')); }},
  };
  auto run = new_run();
  directory.write("savedata/fc_gothic_040x080.fcd", intact);
  ASSERT_EQ(open_font_cache(*run, face, 20, 10, path, CacheWrites::Disabled), CacheLoad::FromFile);
  EXPECT_EQ(cached_count(run->cache), 2u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file = intact;
    c.damage(file);
    directory.write("savedata/fc_gothic_040x080.fcd", file);
    EXPECT_EQ(open_font_cache(*run, face, 20, 10, path, CacheWrites::Disabled), CacheLoad::Damaged);
    EXPECT_EQ(cached_count(run->cache), 0u);
    EXPECT_EQ(run->cache.used, kGlyphDataStart);
  }
  // A rebuilt cache replaces the damaged file at the next close.
  line_after_drawing(*run, sjis("漢"));
  close_fonts(*run, CacheWrites::Allowed);
  EXPECT_EQ(open_font_cache(*run, face, 20, 10, path, CacheWrites::Disabled), CacheLoad::FromFile);
}

TEST_F(GlyphCacheTest, large_glyphs_grow_the_data_by_whole_steps) {
  GlyphCache cache;
  reset_glyph_cache(cache, face, 4 * 255, 4 * 1024);
  EXPECT_EQ(cache.data.size(), kGlyphCacheGrowth);
  // 255 × 1024 bytes, and four times that reserved: more than one step.
  std::vector<uint8_t> glyph(255 * 1024);
  for (size_t i = 0; i < glyph.size(); ++i) glyph[i] = uint8_t(i * 7);
  ASSERT_TRUE(store_glyph(cache, 0x8E9A, 255, glyph));
  EXPECT_EQ(cache.data.size() % kGlyphCacheGrowth, 0u);
  EXPECT_GT(cache.data.size(), size_t(cache.used));
  EXPECT_FALSE(store_glyph(cache, 'A', 256, glyph));  // does not fit the width byte

  GlyphCache copy;
  reset_glyph_cache(copy, face, 4 * 255, 4 * 1024);
  ASSERT_TRUE(read_glyph_cache_file(copy, write_glyph_cache_file(cache)));
  const std::span<const uint8_t> stored = cached_glyph(copy, 0x8E9A);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), glyph.begin(), glyph.end()));
}

TEST_F(GlyphCacheTest, prebuild_writes_the_listed_characters_as_drawn) {
  auto run = new_run();
  EXPECT_EQ(prebuild_glyph_cache(*run, face, 20, 10, path), PrebuildResult::Written);
  EXPECT_EQ(prebuild_glyph_cache(*run, face, 20, 10, path), PrebuildResult::Skipped);
  EXPECT_EQ(prebuild_glyph_cache(*run, face, 0, 10, directory.at("savedata/none.fcd")), PrebuildResult::Skipped);

  ASSERT_EQ(open_font_cache(*run, face, 20, 10, path, CacheWrites::Disabled), CacheLoad::FromFile);
  EXPECT_EQ(cached_count(run->cache), kPrebuildCharacterCount);
  const std::string text = sjis("あ漢、");
  const std::vector<uint8_t> from_cache = line_after_drawing(*run, text);
  EXPECT_FALSE(run->cache.dirty);
  // A run without the cache rasterises the same glyphs.
  auto plain = new_run();
  EXPECT_EQ(line_after_drawing(*plain, text), from_cache);
}

}  // namespace
