// The fontout calls through real scripts: glyph shapes against FreeType's
// own rendering of the same font (4× monochrome, reduced with the 20-weight
// kernel), the drop shadow composited over it, and glyph cache files that one
// run writes, the next reads without asking FreeType for those glyphs, and
// that a damaged file does not survive.

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "graphics/page_table.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "platform/file_system.h"
#include "platform/font_lookup.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"
#include "text/glyph_cache.h"
#include "text/renderer.h"
#include "text/state.h"

namespace tavelo::testing {
namespace {

constexpr int32_t kHeight = 24;  // cell 24 × 12: a kanji advances 24 pixels
constexpr int32_t kAdvance = 24;

// FreeType's monochrome rendering of a character at four times the cell
// size, as rows of 0/1 samples.
struct Samples {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> ink;
};

Samples freetype_samples(char32_t character) {
  platform::FontLookup lookup;
  const std::optional<platform::FontFile> file = platform::find_font_file(lookup, "ＭＳ ゴシック");
  Samples samples;
  if (!file) return samples;
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&library) == 0 && FT_New_Face(library, file->path.c_str(), file->face_index, &face) == 0 &&
      FT_Set_Pixel_Sizes(face, 2 * 4 * kHeight / 2, 4 * kHeight) == 0 &&
      FT_Load_Glyph(face, FT_Get_Char_Index(face, character), FT_LOAD_TARGET_MONO) == 0 &&
      FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) == 0) {
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    samples.width = int32_t(bitmap.width);
    samples.height = int32_t(bitmap.rows);
    for (unsigned y = 0; y < bitmap.rows; ++y) {
      for (unsigned x = 0; x < bitmap.width; ++x) {
        samples.ink.push_back((bitmap.buffer[y * unsigned(bitmap.pitch) + x / 8] >> (7 - x % 8)) & 1);
      }
    }
  }
  if (face) FT_Done_Face(face);
  if (library) FT_Done_FreeType(library);
  return samples;
}

// Coverage (255 no ink, 0 full ink) of the cell with the samples placed at
// (dx, dy) in sample units: each 4 × 4 block, the centre four counting twice.
std::vector<uint8_t> coverage(const Samples& samples, int32_t dx, int32_t dy) {
  constexpr std::array<int, 16> kWeights{1, 1, 1, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 1};
  std::vector<uint8_t> cell(size_t(kAdvance * kHeight));
  for (int32_t r = 0; r < kHeight; ++r) {
    for (int32_t c = 0; c < kAdvance; ++c) {
      int weight = 0;
      for (int32_t s = 0; s < 16; ++s) {
        const int32_t x = 4 * c + s % 4 - dx, y = 4 * r + s / 4 - dy;
        if (x >= 0 && y >= 0 && x < samples.width && y < samples.height) {
          weight += samples.ink[size_t(y * samples.width + x)] * kWeights[size_t(s)];
        }
      }
      cell[size_t(r * kAdvance + c)] = uint8_t(255 * (20 - weight) / 20);
    }
  }
  return cell;
}

// The line buffer's blend of one channel.
uint8_t blend(uint8_t old, uint8_t colour, uint8_t m) {
  if (m >= 254) return old;
  if (m <= 1) return colour;
  return uint8_t(((256 - m) * colour + (m + 1) * old) / 256);
}

// Blue, green, red of a pixel.
std::array<uint8_t, 3> pixel(const graphics::Page& page, int32_t x, int32_t y) {
  const uint8_t* p = page.row(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

TEST(Fontout, glyphs_are_freetypes_shapes_with_the_drop_shadow_under_them) {
  // "永" in white, plain at (0, 0), with a red drop shadow at (100, 0).
  const std::string body = R"(
    push_int 64
    push_int 200
    syscall page_create 2
    set_int_pop global int "@page@GLOBAL"
    push_int 24
    push_string "ＭＳ ゴシック"
    syscall_discard fontout_font 2
    push_int 0
    push_int 0
    load global int "@page@GLOBAL"
    syscall_discard fontout_locate 3
    push_int 0xFFFFFF
    syscall_discard fontout_color 1
    push_string "永"
    syscall_discard fontout 1
    push_int 0
    push_int 100
    load global int "@page@GLOBAL"
    syscall_discard fontout_locate 3
    push_int 0x000000FF
    push_int 0xFFFFFF
    syscall_discard fontout_color 2
    push_string "永"
    syscall_discard fontout 1
)";
  graphics::Page page;
  RunHooks hooks;
  hooks.after = [&page](TestEngine& test) {
    for (int32_t handle : test.engine.graphics.pages.handles()) {
      const graphics::Page* found = graphics::find_page(test.engine.graphics, handle);
      if (found && found->width == 200) page = graphics::clone_page(*found);
    }
  };
  run_script(body, "", {}, hooks);
  ASSERT_EQ(page.width, 200);

  // Where FreeType's samples sit in the cell is the renderer's business; find
  // the placement whose coverage gives the plain glyph's pixels exactly.
  const Samples samples = freetype_samples(U'永');
  ASSERT_GT(samples.width, 0);
  std::optional<std::vector<uint8_t>> found;
  for (int32_t dy = -16; dy <= 32 && !found; ++dy) {
    for (int32_t dx = -16; dx <= 32 && !found; ++dx) {
      const std::vector<uint8_t> cell = coverage(samples, dx, dy);
      bool same = true;
      for (int32_t i = 0; i < kAdvance * kHeight && same; ++i) {
        const uint8_t expected = blend(0, 0xFF, cell[size_t(i)]);
        same = pixel(page, i % kAdvance, i / kAdvance) == std::array<uint8_t, 3>{expected, expected, expected};
      }
      if (same) found = cell;
    }
  }
  ASSERT_TRUE(found) << "no placement of FreeType's glyph matches the drawn pixels";

  // The shadow: the same coverage in the effect colour, K = 24 / 9 = 2
  // pixels right and A = 1 down, then the text over it.
  std::vector<std::array<uint8_t, 3>> expected(size_t(100 * kHeight * 2), {0, 0, 0});
  auto at = [&expected](int32_t x, int32_t y) -> std::array<uint8_t, 3>& { return expected[size_t(y * 100 + x)]; };
  for (int32_t r = 0; r < kHeight; ++r) {
    for (int32_t c = 0; c < kAdvance; ++c) {
      const uint8_t m = (*found)[size_t(r * kAdvance + c)];
      std::array<uint8_t, 3>& shadow = at(c + 2, r + 1);
      shadow = {blend(shadow[0], 0x00, m), blend(shadow[1], 0x00, m), blend(shadow[2], 0xFF, m)};
    }
  }
  for (int32_t r = 0; r < kHeight; ++r) {
    for (int32_t c = 0; c < kAdvance; ++c) {
      const uint8_t m = (*found)[size_t(r * kAdvance + c)];
      std::array<uint8_t, 3>& text = at(c, r);
      text = {blend(text[0], 0xFF, m), blend(text[1], 0xFF, m), blend(text[2], 0xFF, m)};
    }
  }
  for (int32_t y = 0; y < kHeight + 1; ++y) {
    for (int32_t x = 0; x < kAdvance + 2; ++x) {
      ASSERT_EQ(pixel(page, 100 + x, y), at(x, y)) << x << "," << y;
    }
  }
}

TEST(Fontout, glyph_cache_files_serve_the_next_run_and_damaged_ones_are_rebuilt) {
  const std::string body = R"(
    push_int 12
    push_int 24
    push_string "ＭＳ ゴシック"
    syscall_discard fontcache_open 3
    push_int 24
    push_string "ＭＳ ゴシック"
    syscall_discard fontout_font 2
    push_int 64
    push_int 200
    syscall page_create 2
    set_int_pop global int "@page@GLOBAL"
    push_int 0
    push_int 0
    load global int "@page@GLOBAL"
    syscall_discard fontout_locate 3
    push_string "漢字かな"
    syscall_discard fontout 1
)";
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(body)});
  write_game(game, files);
  const std::string cache_file = game.at("savedata/fc_ＭＳ ゴシック_048x096.fcd");

  // FreeType glyph calls of one run.
  auto run = [&game]() {
    uint64_t calls = 0;
    RunHooks hooks;
    hooks.after = [&calls](TestEngine& test) { calls = test.engine.text.renderer.freetype_glyph_calls; };
    run_game(game, {}, {}, hooks);
    return calls;
  };
  EXPECT_GT(run(), 0u);
  ASSERT_TRUE(platform::is_file(cache_file));
  EXPECT_EQ(run(), 0u);

  // A used size that does not match the file: the cache starts empty and is
  // written whole again.
  std::vector<uint8_t> bytes = read_bytes(cache_file);
  ASSERT_GT(bytes.size(), text::kGlyphCacheHeaderSize);
  bytes[327952] ^= 0x40;
  ASSERT_TRUE(platform::write_file_atomically(cache_file, bytes));
  EXPECT_GT(run(), 0u);
  EXPECT_EQ(run(), 0u);

  // 20 GB (sparse, so no disk is spent): longer than any cache of this size,
  // refused by its length without being read, and replaced.
  std::filesystem::resize_file(cache_file, uint64_t(20) << 30);
  EXPECT_GT(run(), 0u);
  EXPECT_LT(std::filesystem::file_size(cache_file), uint64_t(1) << 20);
  EXPECT_EQ(run(), 0u);
}

// A font collection of `count` faces that all name one font: "ttcf", version
// 1.0, the count and the offsets (big-endian), then the font with its table
// offsets moved past that header.
std::vector<uint8_t> collection_of(const std::vector<uint8_t>& font, uint32_t count) {
  auto put_u32 = [](std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(value >> (24 - 8 * i));
  };
  const uint32_t header = 12 + 4 * count;
  std::vector<uint8_t> bytes(header);
  bytes[0] = 't', bytes[1] = 't', bytes[2] = 'c', bytes[3] = 'f';
  bytes[5] = 1;  // major version 1, minor 0
  put_u32(bytes, 8, count);
  for (uint32_t i = 0; i < count; ++i) put_u32(bytes, 12 + 4 * size_t(i), header);
  std::vector<uint8_t> moved = font;
  const size_t tables = size_t(font[4]) << 8 | font[5];
  for (size_t i = 0; i < tables; ++i) {
    const size_t at = 12 + 16 * i + 8;
    const uint32_t offset = uint32_t(font[at]) << 24 | uint32_t(font[at + 1]) << 16 | uint32_t(font[at + 2]) << 8 | font[at + 3];
    put_u32(moved, at, offset + header);
  }
  bytes.insert(bytes.end(), moved.begin(), moved.end());
  return bytes;
}

TEST(Fontout, a_collection_of_many_faces_gives_only_its_first_ones) {
  platform::FontLookup lookup;
  const std::optional<platform::FontFile> file = platform::find_font_file(lookup, "ＭＳ ゴシック");
  ASSERT_TRUE(file);
  const std::vector<uint8_t> font = read_bytes(file->path);
  if (file->face_index != 0 || font.size() < 12 || font[0] == 't') GTEST_SKIP() << "the font is a collection itself";
  TempDirectory game;
  game.write("data/many.ttf", collection_of(font, 1000));
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    push_string "many.ttf"
    syscall_discard load_font 1
    push_int 24
    push_string "IPAGothic"
    syscall_discard fontout_font 2
    push_string "漢字"
    syscall_discard fontout 1
    push_int 1000
    syscall_discard 0xCF35F0E3 1
)")});
  write_game(game, files);
  size_t faces = 0;
  bool private_face = false;
  RunHooks hooks;
  // Private fonts go at shutdown, so they are looked at while the script waits
  // (the headless clock starts at 1 s).
  hooks.before = [&](TestEngine& test) {
    test.platform.schedule(1500, [&] {
      faces = text::private_face_count(test.engine.text.renderer);
      private_face = text::face_source(test.engine.text.renderer, "IPAGothic") == text::FaceSource::Private;
    });
  };
  GameRun run = run_game(game, {}, {}, hooks);
  EXPECT_EQ(faces, size_t(text::kMaxFacesPerFontFile)) << run.log;
  EXPECT_TRUE(private_face);
}

}  // namespace
}  // namespace tavelo::testing
