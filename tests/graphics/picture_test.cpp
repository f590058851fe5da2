// Pictures by name inside an engine: resolution order and letter case,
// companions, difference images, scrambled pictures, size queries, the cache
// as seen through pic_load, and the error boxes.

#include <gtest/gtest.h>

#include <cstring>

#include "graphics/picture.h"
#include "graphics/state.h"
#include "resources/state.h"
#include "script/game_files.h"
#include "graphics/picture_png.h"
#include "resources/game_names.h"
#include "resources/search_list.h"
#include "tests/graphics/picture_test_support.h"
#include "tests/support/test_engine.h"
#include "tools/archive/archive_tool.h"
#include "tools/picture/picture_encoder.h"

namespace tavelo {
namespace {

using graphics::Depth;
using graphics::Page;
using testing::busy_indexed_page;
using testing::busy_page;
using testing::same_picture;
using testing::sjis;

// A game directory whose pictures live in data\, registered as a search
// place when the engine starts.
class Pictures : public ::testing::Test {
 protected:
  void write(const std::string& name, const std::vector<uint8_t>& bytes) { directory.write("data/" + name, bytes); }
  void write_rct(const std::string& name, const Page& page, const tools::RctOptions& options = {}) {
    write(name, tools::encode_rct(page, options).bytes);
  }
  void write_png(const std::string& name, const Page& colour, const Page* alpha = nullptr) {
    write(name, graphics::encode_png(colour, alpha));
  }
  host::Engine& start() {
    test_engine = std::make_unique<testing::TestEngine>(directory.path());
    EXPECT_EQ(script::register_search_entry(test_engine->engine.script, "data", resources::SoundOnly::No),
              resources::Registration::Directory);
    return test_engine->engine;
  }
  const std::vector<platform::RecordedBox>& boxes() const { return test_engine->platform.boxes(); }

  testing::TempDirectory directory;
  std::unique_ptr<testing::TestEngine> test_engine;
};

Page alpha_ramp(int32_t width, int32_t height) {
  Page alpha = graphics::make_page(width, height, Depth::Indexed8);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) alpha.row(y)[x] = uint8_t(x * 7 + y * 3);
  }
  return alpha;
}

TEST_F(Pictures, NamesResolveByBaseNameInOrderAndWithoutCase) {
  Page rct = busy_page(9, 5, 1);
  write_rct("Title.rct", rct);
  write_rct("both.rct", busy_page(3, 3, 2));
  write_png("both.png", busy_page(4, 4, 3));
  write_rct(std::string("背景01.rct"), busy_page(6, 2, 4));
  // The trail byte of ダ is 0x5F, the code of `_`: this is no companion.
  Page colour = busy_page(5, 5, 5);
  Page alpha = alpha_ramp(5, 5);
  write_png("ダ.png", colour, &alpha);
  host::Engine& engine = start();

  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "title"), "title.rct");
  // The name memo answers a repeated base name with the file found before.
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "data\\TITLE.png"), "title.rct");
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "both"), "both.png");
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "data\\TITLE.png"), "TITLE.rct");
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "both"), "both.png");
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, sjis("背景01")), sjis("背景01.rct"));
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "missing"), std::nullopt);
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, sjis("ダ")), sjis("ダ.png"));

  std::optional<Page> loaded = graphics::pic_load(engine.graphics.pictures, engine.script, "sub\\TiTlE.bmp");
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(same_picture(*loaded, rct));
  EXPECT_FALSE(loaded->engine_held);
  std::optional<Page> trail = graphics::pic_load(engine.graphics.pictures, engine.script, sjis("ダ"));
  ASSERT_TRUE(trail);
  EXPECT_TRUE(same_picture(*trail, colour));
  EXPECT_FALSE(graphics::pic_load(engine.graphics.pictures, engine.script, "missing"));
}

TEST_F(Pictures, CompanionsCarryTransparency) {
  Page colour = busy_page(7, 6, 6);
  Page alpha = alpha_ramp(7, 6);
  write_png("chara.png", colour, &alpha);
  write_png("bg.png", busy_page(7, 6, 7));  // RGB, no transparency chunk
  write("bg_.rc8", tools::encode_rc8(busy_indexed_page(7, 6, 8)));
  write_png("flat.png", busy_page(4, 4, 9));
  write_rct("mask.rct", busy_page(5, 3, 10));
  Page mask = busy_indexed_page(5, 3, 11);
  write("mask_.rc8", tools::encode_rc8(mask));
  // A 32-bit bitmap whose fourth bytes are all 0 has no companion.
  std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0,
                              2, 0, 0, 0, 1, 0, 32, 0};
  bmp.resize(54, 0);
  for (int i = 0; i < 4; ++i) bmp.insert(bmp.end(), {uint8_t(i), 2, 3, 0});
  write("zero.bmp", bmp);
  host::Engine& engine = start();

  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "chara_"), "chara_.png");
  std::optional<Page> transparency = graphics::pic_load(engine.graphics.pictures, engine.script, "chara_");
  ASSERT_TRUE(transparency);
  EXPECT_EQ(transparency->depth, Depth::Indexed8);
  EXPECT_TRUE(same_picture(*transparency, alpha));
  std::optional<Page> plain = graphics::pic_load(engine.graphics.pictures, engine.script, "chara");
  ASSERT_TRUE(plain);
  EXPECT_TRUE(same_picture(*plain, colour));

  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "bg_"), "bg_.rc8");
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "flat_"), std::nullopt);
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "mask_"), "mask_.rc8");
  std::optional<Page> mask_page = graphics::pic_load(engine.graphics.pictures, engine.script, "mask_");
  ASSERT_TRUE(mask_page);
  EXPECT_TRUE(same_picture(*mask_page, mask));
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "zero"), "zero.bmp");
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "zero_"), std::nullopt);
}

TEST_F(Pictures, DifferenceImagesMergeOverTheirBase) {
  Page base = busy_page(10, 8, 12);
  Page face = busy_page(12, 6, 13);  // wider than the base, and shorter
  for (int32_t y = 0; y < 6; ++y) std::memcpy(face.row(y) + 3 * 8, "\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF", 9);
  write_rct("base.rct", base);
  write("base8.rc8", tools::encode_rc8(busy_indexed_page(12, 6, 14)));
  auto difference = [&](const std::string& name, const std::string& base_name) {
    tools::RctOptions options;
    options.base_name = base_name;
    write_rct(name, face, options);
  };
  difference("face.rct", "base");
  difference("face8.rct", "base8");
  difference("orphan.rct", "nobase");
  difference("loop.rct", "loop");
  host::Engine& engine = start();

  std::optional<Page> merged = graphics::pic_load(engine.graphics.pictures, engine.script, "face");
  ASSERT_TRUE(merged);
  for (int32_t y = 0; y < 6; ++y) {
    // Columns 8 and 9 come from the base; 10 and 11 lie outside it and stay red.
    EXPECT_EQ(std::memcmp(merged->row(y) + 3 * 8, base.row(y) + 3 * 8, 6), 0) << y;
    EXPECT_EQ(std::memcmp(merged->row(y) + 3 * 10, "\x00\x00\xFF", 3), 0) << y;
    EXPECT_EQ(std::memcmp(merged->row(y), face.row(y), 3 * 8), 0) << y;
  }
  std::optional<Page> over8 = graphics::pic_load(engine.graphics.pictures, engine.script, "face8");
  ASSERT_TRUE(over8);
  EXPECT_TRUE(same_picture(*over8, face));
  EXPECT_TRUE(boxes().empty());

  std::optional<Page> orphan = graphics::pic_load(engine.graphics.pictures, engine.script, "orphan");
  ASSERT_TRUE(orphan);
  EXPECT_TRUE(same_picture(*orphan, face));
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, "差分元画像[nobase]が存在しません");
  EXPECT_EQ(boxes()[0].icon, platform::Icon::Error);

  // A picture that names itself as its base ends instead of recursing.
  EXPECT_TRUE(graphics::pic_load(engine.graphics.pictures, engine.script, "loop"));
}

TEST_F(Pictures, ScrambledPicturesUseTheKeyInForce) {
  Page picture = busy_page(20, 10, 15);
  tools::RctOptions options;
  options.key = sjis("鍵の文字列");
  write_rct("secret.rct", picture, options);
  host::Engine& engine = start();

  std::optional<Page> black = graphics::pic_load(engine.graphics.pictures, engine.script, "secret");
  ASSERT_TRUE(black);
  EXPECT_TRUE(std::all_of(black->pixels.begin(), black->pixels.end(), [](uint8_t b) { return b == 0; }));
  graphics::pic_set_key(engine.graphics.pictures, sjis("鍵の文字列"));
  graphics::pic_set_key(engine.graphics.pictures, "");  // leaves the key alone
  std::optional<Page> clear = graphics::pic_load(engine.graphics.pictures, engine.script, "secret");
  ASSERT_TRUE(clear);
  EXPECT_TRUE(same_picture(*clear, picture));
}

TEST_F(Pictures, SizesAndDepthWithoutDecoding) {
  write_rct("big.rct", busy_page(64, 48, 16));
  // Pictures that do not load measure 0 x 0 and have no depth, whatever their
  // headers claim: one announces 640 x 480 but is cut short, two announce
  // sizes no picture has.
  std::vector<uint8_t> cut = tools::encode_rct(busy_page(640, 480, 17)).bytes;
  cut.resize(100);
  write("cut.rct", cut);
  std::vector<uint8_t> huge = tools::encode_rct(busy_page(4, 4, 17)).bytes;
  for (int i = 0; i < 8; ++i) huge[8 + size_t(i)] = uint8_t((i < 4 ? 100000u : 0xFFFFFFFFu) >> (8 * (i % 4)));
  write("huge.rct", huge);
  std::vector<uint8_t> wide = tools::encode_rc8(busy_indexed_page(4, 4, 18));
  wide[9] = 0x7F;  // width 32516
  write("wide.rc8", wide);
  write("pal.rc8", tools::encode_rc8(busy_indexed_page(33, 22, 18)));
  Page colour = busy_page(13, 11, 19);
  Page alpha = alpha_ramp(13, 11);
  write_png("sprite.png", colour, &alpha);
  write_png("opaque.png", colour);
  write("junk.rct", std::vector<uint8_t>(50, 'x'));
  host::Engine& engine = start();

  struct Case {
    const char* name;
    int32_t width, height;
    int fullcolor;
  };
  const Case cases[] = {
      {"big", 64, 48, 1},     {"cut", 0, 0, -1},     {"huge", 0, 0, -1},  {"wide", 0, 0, -1},
      {"pal", 33, 22, 0},     {"sprite", 13, 11, 1}, {"sprite_", 13, 11, 0}, {"opaque", 13, 11, 1},
      {"junk", 0, 0, -1},     {"none", 0, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(graphics::pic_width(engine.graphics.pictures, engine.script, c.name), c.width);
    EXPECT_EQ(graphics::pic_height(engine.graphics.pictures, engine.script, c.name), c.height);
    EXPECT_EQ(graphics::pic_is_fullcolor(engine.graphics.pictures, engine.script, c.name), c.fullcolor);
  }
  for (const char* broken : {"cut", "huge", "wide", "junk"}) {
    EXPECT_FALSE(graphics::pic_load(engine.graphics.pictures, engine.script, broken)) << broken;
  }
  EXPECT_FALSE(graphics::pic_size(engine.graphics.pictures, engine.script, "opaque_"));
}

TEST_F(Pictures, CacheKeepsDecodedPicturesUnderItsBudget) {
  write_rct("a.rct", busy_page(16, 16, 20));
  host::Engine& engine = start();
  graphics::ImageCache& cache = engine.graphics.pictures.cache;

  std::optional<Page> first = graphics::pic_load(engine.graphics.pictures, engine.script, "a");
  ASSERT_TRUE(first);
  first->pixels[0] ^= 0xFF;  // the caller's copy is its own
  write_rct("a.rct", busy_page(16, 16, 21));
  std::optional<Page> second = graphics::pic_load(engine.graphics.pictures, engine.script, "A");
  ASSERT_TRUE(second);
  EXPECT_TRUE(same_picture(*second, busy_page(16, 16, 20)));
  EXPECT_EQ(cache.hits(), 1u);
  EXPECT_EQ(cache.hit_ratio_percent(), 50);
  std::shared_ptr<const Page> shared = graphics::pic_load_shared(engine.graphics.pictures, engine.script, "a");
  EXPECT_EQ(shared, graphics::pic_load_shared(engine.graphics.pictures, engine.script, "a"));
  EXPECT_TRUE(shared->engine_held);

  // A budget smaller than one picture: every load decodes anew, and a page
  // lent out survives its entry.
  cache.set_budget(100);
  EXPECT_EQ(cache.entry_count(), 0u);
  EXPECT_TRUE(same_picture(*shared, busy_page(16, 16, 20)));
  testing::TestEngine fresh(directory.path());
  script::register_search_entry(fresh.engine.script, "data", resources::SoundOnly::No);
  fresh.engine.graphics.pictures.cache.set_budget(100);
  for (uint32_t seed : {30u, 31u, 32u}) {
    write_rct("a.rct", busy_page(16, 16, seed));
    std::optional<Page> page = graphics::pic_load(fresh.engine.graphics.pictures, fresh.engine.script, "a");
    ASSERT_TRUE(page);
    EXPECT_TRUE(same_picture(*page, busy_page(16, 16, seed)));
  }
  EXPECT_EQ(fresh.engine.graphics.pictures.cache.hit_ratio_percent(), 0);
}

TEST_F(Pictures, BrokenPngShowsItsBoxAndLoadsNothing) {
  write("broken.png", std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0});
  host::Engine& engine = start();
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "broken"), "broken.png");
  EXPECT_FALSE(graphics::pic_load(engine.graphics.pictures, engine.script, "broken"));
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, "PNG エラー\nbroken.png\nファイルが壊れているか、PNG ではありません。");
  EXPECT_EQ(boxes()[0].icon, platform::Icon::Error);
}

TEST_F(Pictures, EntriesOfOneArchiveAreDistinctPictures) {
  Page one = busy_page(6, 6, 40);
  Page two = busy_page(6, 6, 41);
  Page alpha = alpha_ramp(6, 6);
  host::Engine& engine = [&]() -> host::Engine& {
    testing::TestEngine probe(directory.path());
    const resources::LeadByteTable& lead = probe.engine.resources.lead_bytes;
    std::vector<tools::ArchiveInput> inputs;
    inputs.push_back({resources::lookup_key(lead, "one.png"), graphics::encode_png(one, &alpha)});
    inputs.push_back({resources::lookup_key(lead, "two.png"), graphics::encode_png(two, &alpha)});
    directory.write("pics.arc", tools::build_archive(resources::ArchiveVersion::V2, inputs));
    test_engine = std::make_unique<testing::TestEngine>(directory.path());
    EXPECT_EQ(script::register_search_entry(test_engine->engine.script, "pics", resources::SoundOnly::No),
              resources::Registration::Archive);
    return test_engine->engine;
  }();
  engine.graphics.pictures.cache.set_budget(0);
  std::optional<Page> first = graphics::pic_load(engine.graphics.pictures, engine.script, "one");
  std::optional<Page> second = graphics::pic_load(engine.graphics.pictures, engine.script, "two");
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(same_picture(*first, one));
  EXPECT_TRUE(same_picture(*second, two));
  EXPECT_EQ(graphics::pic_find(engine.graphics.pictures, engine.script, "two_"), "two_.png");
}

}  // namespace
}  // namespace tavelo
