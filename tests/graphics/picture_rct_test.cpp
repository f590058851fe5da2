// The .rct and .rc8 codecs: hand-made streams for the exact meaning of each
// control byte, round trips through the encoder, scrambling, difference
// merges and damaged files.

#include <gtest/gtest.h>

#include <cstring>

#include "graphics/picture_rct.h"
#include "resources/byte_reader.h"
#include "tests/graphics/picture_test_support.h"
#include "tools/picture/picture_encoder.h"

namespace tavelo {
namespace {

using graphics::Depth;
using graphics::Page;
using testing::busy_indexed_page;
using testing::busy_page;
using testing::same_picture;

std::vector<uint8_t> rct_file(std::string_view kind, int32_t width, int32_t height, std::span<const uint8_t> data,
                              std::string_view base_name = {}, std::optional<uint32_t> length = std::nullopt) {
  resources::ByteWriter out;
  out.append(std::span<const uint8_t>(graphics::kPictureMagicLead));
  out.append(kind);
  out.i32le(width);
  out.i32le(height);
  out.u32le(length.value_or(uint32_t(data.size())));
  if (kind == "TC01" || kind == "TS01") {
    out.u16le(uint16_t(base_name.size()));
    out.append(base_name);
  }
  out.append(data);
  return out.bytes;
}

std::vector<uint8_t> rc8_file(int32_t width, int32_t height, std::span<const uint8_t> data) {
  resources::ByteWriter out;
  out.append(std::span<const uint8_t>(graphics::kPictureMagicLead));
  out.append("8_00");
  out.i32le(width);
  out.i32le(height);
  out.u32le(uint32_t(data.size()));
  for (int i = 0; i < 256; ++i) out.append(std::vector<uint8_t>{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  out.append(data);
  return out.bytes;
}

uint32_t pixel(const Page& page, int32_t x, int32_t y) {
  const uint8_t* p = page.row(y) + 3 * size_t(x);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

Page decode_plain(const std::vector<uint8_t>& file) {
  std::optional<graphics::RctPicture> picture = graphics::decode_rct(file, {});
  EXPECT_TRUE(picture);
  return picture ? std::move(picture->page) : Page{};
}

TEST(RctStream, ControlBytesMeanWhatTheFormatSays) {
  // 130 x 3. Row 0: first pixel, a literal run of exactly 128 pixels (0x7F,
  // n = 0), then one pixel repeated from the left (count field 0).
  // Row 1: 0x80|9<<2|3 with n = 126: 130 pixels copied from the row above.
  // Row 2: the long form across the end of the picture, clipped.
  std::vector<uint8_t> data = {1, 2, 3, 0x7F, 0, 0};
  for (int i = 0; i < 128; ++i) data.insert(data.end(), {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2)});
  data.push_back(0x80 | 0 << 2 | 0);
  data.insert(data.end(), {0x80 | 9 << 2 | 3, 126, 0});
  data.insert(data.end(), {0x80 | 16 << 2 | 3, 0xFF, 0xFF});
  Page page = decode_plain(rct_file("TC00", 130, 3, data));
  ASSERT_EQ(page.width, 130);
  EXPECT_EQ(pixel(page, 0, 0), 0x030201u);
  EXPECT_EQ(pixel(page, 1, 0), 0x020100u);
  EXPECT_EQ(pixel(page, 128, 0), 0x81807Fu);
  EXPECT_EQ(pixel(page, 129, 0), pixel(page, 128, 0));
  for (int32_t x = 0; x < 130; ++x) {
    EXPECT_EQ(pixel(page, x, 1), pixel(page, x, 0)) << x;
    EXPECT_EQ(pixel(page, x, 2), pixel(page, x, 0)) << x;
  }
}

TEST(RctStream, OffsetsReachAroundTheCurrentPixel) {
  // 5 x 3: row 0 literal; then every pixel of rows 1 and 2 comes from offset
  // (3,-1) (index 6) or (-3,-2) (index 19), one pixel at a time.
  std::vector<uint8_t> data = {10, 0, 0, 3};
  for (int x = 1; x < 5; ++x) data.insert(data.end(), {uint8_t(10 + x), 0, 0});
  data.insert(data.end(), {0x80 | 6 << 2, 0x80 | 6 << 2});  // (0,1) <- (3,0); (1,1) <- (4,0)
  data.insert(data.end(), {0x00, 99, 0, 0, 0x00, 98, 0, 0, 0x00, 97, 0, 0});
  data.insert(data.end(), {0x80 | 9 << 2 | 2, 0x80 | 19 << 2 | 1});  // (0..2,2) from above; (3..4,2) from (0..1,0)
  Page page = decode_plain(rct_file("TC00", 5, 3, data));
  EXPECT_EQ(pixel(page, 0, 1), 13u);
  EXPECT_EQ(pixel(page, 1, 1), 14u);
  EXPECT_EQ(pixel(page, 4, 1), 97u);
  EXPECT_EQ(pixel(page, 0, 2), 13u);
  EXPECT_EQ(pixel(page, 2, 2), 99u);
  EXPECT_EQ(pixel(page, 3, 2), 10u);
  EXPECT_EQ(pixel(page, 4, 2), 11u);
}

TEST(Rc8Stream, CountsAndOffsets) {
  // 20 x 2: first index, a literal of 2, back-references (-1,0) of 3 (field 0)
  // and of n + 10 = 14 (field 7, n = 4); then row 1 from (0,-1), 20 pixels.
  std::vector<uint8_t> data = {5, 0x01, 6, 7, 0x80 | 0 << 3 | 0, 0x80 | 0 << 3 | 7, 4, 0, 0x80 | 7 << 3 | 7, 10, 0};
  std::optional<Page> page = graphics::decode_rc8(rc8_file(20, 2, data));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->depth, Depth::Indexed8);
  EXPECT_EQ(page->palette[3].blue, 3);
  EXPECT_EQ(page->palette[3].green, 252);
  EXPECT_EQ(page->palette[3].red, 1);
  const uint8_t* row0 = page->row(0);
  EXPECT_EQ(std::vector<uint8_t>(row0, row0 + 4), (std::vector<uint8_t>{5, 6, 7, 7}));
  for (int x = 3; x < 20; ++x) EXPECT_EQ(row0[x], 7) << x;
  EXPECT_TRUE(std::equal(row0, row0 + 20, page->row(1)));
}

TEST(RctCodec, RoundTripsAtAwkwardSizes) {
  struct Size {
    int32_t width, height;
  };
  std::vector<Size> sizes = {{1, 1}, {640, 2}, {2, 700}, {1, 300}, {300, 1}, {257, 3}, {64, 64}};
  for (int32_t w = 1; w <= 7; ++w) {
    for (int32_t h = 1; h <= 5; ++h) sizes.push_back({w, h});
  }
  for (const Size& size : sizes) {
    SCOPED_TRACE(::testing::Message() << size.width << "x" << size.height);
    Page original = busy_page(size.width, size.height, uint32_t(size.width * 1000 + size.height));
    tools::RctEncoded encoded = tools::encode_rct(original);
    std::optional<graphics::RctPicture> decoded = graphics::decode_rct(encoded.bytes, {});
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(same_picture(decoded->page, original));
    EXPECT_TRUE(decoded->base_name.empty());
    // Row padding is clean after the rows were spread.
    for (int32_t y = 0; y < size.height; ++y) {
      for (int32_t i = size.width * 3; i < decoded->page.stride; ++i) ASSERT_EQ(decoded->page.row(y)[i], 0);
    }

    Page indexed = busy_indexed_page(size.width, size.height, uint32_t(size.height * 1000 + size.width));
    std::optional<Page> decoded8 = graphics::decode_rc8(tools::encode_rc8(indexed));
    ASSERT_TRUE(decoded8);
    EXPECT_TRUE(same_picture(*decoded8, indexed));
  }
}

TEST(RctCodec, LongRunsUseTheSixteenBitForms) {
  // One colour over 400 x 400: back-references of up to 65539 pixels.
  Page flat = graphics::make_page(400, 400, Depth::Rgb24);
  for (int32_t y = 0; y < 400; ++y) {
    for (int32_t x = 0; x < 400; ++x) std::memcpy(flat.row(y) + 3 * x, "\x12\x34\x56", 3);
  }
  std::vector<uint8_t> bytes = tools::encode_rct(flat).bytes;
  EXPECT_LT(bytes.size(), 60u);
  std::optional<graphics::RctPicture> decoded = graphics::decode_rct(bytes, {});
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(same_picture(decoded->page, flat));

  // All-distinct pixels: literal runs longer than 127 pixels.
  Page distinct = graphics::make_page(300, 2, Depth::Rgb24);
  for (int32_t i = 0; i < 600; ++i) std::memcpy(distinct.row(i / 300) + 3 * (i % 300), &i, 3);
  bytes = tools::encode_rct(distinct).bytes;
  EXPECT_EQ(bytes[20 + 3], 0x7F);
  decoded = graphics::decode_rct(bytes, {});
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(same_picture(decoded->page, distinct));
}

TEST(RctCodec, ScrambledPicturesNeedTheirKey) {
  Page original = busy_page(33, 17, 7);
  tools::RctOptions options;
  options.key = "secret";
  std::vector<uint8_t> bytes = tools::encode_rct(original, options).bytes;
  ASSERT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 8), "TS00");
  std::optional<graphics::RctPicture> right = graphics::decode_rct(bytes, graphics::make_image_key("secret"));
  ASSERT_TRUE(right);
  EXPECT_TRUE(same_picture(right->page, original));

  for (const graphics::ImageKey& wrong : {graphics::make_image_key("Secret"), graphics::ImageKey{}}) {
    std::optional<graphics::RctPicture> black = graphics::decode_rct(bytes, wrong);
    ASSERT_TRUE(black);
    EXPECT_EQ(black->page.width, 33);
    EXPECT_EQ(black->page.height, 17);
    EXPECT_TRUE(std::all_of(black->page.pixels.begin(), black->page.pixels.end(), [](uint8_t b) { return b == 0; }));
  }

  // Longer than one key block, so whole blocks and the tail are both used.
  Page large = busy_page(500, 40, 9);
  bytes = tools::encode_rct(large, options).bytes;
  ASSERT_GT(bytes.size(), 2048u);
  right = graphics::decode_rct(bytes, graphics::make_image_key("secret"));
  ASSERT_TRUE(right);
  EXPECT_TRUE(same_picture(right->page, large));
}

TEST(RctCodec, DifferenceMergeFillsRedFromTheBase) {
  Page base = busy_page(6, 4, 3);
  Page picture = busy_page(8, 5, 4);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      if ((x + y) % 2 == 0) std::memcpy(picture.row(y) + 3 * x, "\x00\x00\xFF", 3);
    }
  }
  Page merged = graphics::clone_page(picture);
  graphics::merge_difference(merged, base);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      bool red = (x + y) % 2 == 0;
      bool covered = x < 6 && y < 4;
      uint32_t expected = red && covered ? pixel(base, x, y) : pixel(picture, x, y);
      EXPECT_EQ(pixel(merged, x, y), expected) << x << "," << y;
    }
  }
  // An 8-bit base leaves the picture as it is.
  Page unchanged = graphics::clone_page(picture);
  graphics::merge_difference(unchanged, graphics::make_page(8, 5, Depth::Indexed8));
  EXPECT_TRUE(same_picture(unchanged, picture));
}

TEST(RctCodec, EncodedDifferenceNamesItsBase) {
  Page base = busy_page(12, 9, 5);
  Page picture = graphics::clone_page(base);
  std::memcpy(picture.row(4) + 3 * 5, "\x01\x02\x03", 3);
  std::memcpy(picture.row(2) + 3 * 2, "\x00\x00\xFF", 3);  // real red over the base
  tools::RctOptions options;
  options.base = &base;
  options.base_name = "bg01";
  tools::RctEncoded encoded = tools::encode_rct(picture, options);
  EXPECT_EQ(encoded.nudged_pixels, 1u);
  std::optional<graphics::RctHeader> header = graphics::parse_rct_header(encoded.bytes);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->variant, graphics::RctVariant::PlainDifference);
  std::optional<graphics::RctPicture> decoded = graphics::decode_rct(encoded.bytes, {});
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->base_name, "bg01");
  graphics::merge_difference(decoded->page, base);
  EXPECT_EQ(pixel(decoded->page, 5, 4), 0x030201u);
  EXPECT_EQ(pixel(decoded->page, 2, 2), 0xFE0000u);
  EXPECT_EQ(pixel(decoded->page, 7, 7), pixel(base, 7, 7));
}

TEST(RctCodec, DamagedFilesNeverReadOrWriteOutOfBounds) {
  const std::vector<uint8_t> first = {9, 9, 9};
  auto with = [&](std::initializer_list<uint8_t> tail) {
    std::vector<uint8_t> data = first;
    data.insert(data.end(), tail);
    return data;
  };
  std::vector<uint8_t> good = rct_file("TC00", 2, 2, with({0x80 | 3, 0, 0}));
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    bool image;
    int decoded_pixels;  // pixels before the stream stops (when image)
  };
  std::vector<uint8_t> short_header(good.begin(), good.begin() + 19);
  std::vector<uint8_t> cut_name = rct_file("TC01", 2, 2, {}, "abc", 0);
  cut_name.resize(cut_name.size() - 2);
  std::vector<uint8_t> bad_magic = good;
  bad_magic[4] = 'X';
  const Case cases[] = {
      {"header cut short", short_header, false, 0},
      {"unknown magic", bad_magic, false, 0},
      {"zero width", rct_file("TC00", 0, 2, first), false, 0},
      {"negative height", rct_file("TC00", 2, -2, first), false, 0},
      {"absurd size", rct_file("TC00", 100000, 100000, first), false, 0},
      {"data shorter than announced", rct_file("TC00", 2, 2, first, {}, 100), false, 0},
      {"base name past the end", cut_name, false, 0},
      {"empty data", rct_file("TC00", 2, 2, {}), true, 0},
      {"back-reference before the start", rct_file("TC00", 2, 2, with({0x80 | 9 << 2})), true, 1},
      {"run past the end", rct_file("TC00", 2, 2, with({0x80 | 3, 0xFF, 0xFF})), true, 4},
      {"literal longer than the data", rct_file("TC00", 4, 1, with({0x02, 9, 9, 9})), true, 2},
      {"sixteen-bit count cut short", rct_file("TC00", 2, 2, with({0x7F, 1})), true, 1},
      {"reference to pixels not decoded yet", rct_file("TC00", 1, 3, with({0x80 | 6 << 2 | 1})), true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<graphics::RctPicture> picture = graphics::decode_rct(c.file, {});
    ASSERT_EQ(picture.has_value(), c.image);
    if (!picture) continue;
    // Whatever was decoded stays; everything after the fault is black.
    const Page& page = picture->page;
    for (int i = 0; i < page.width * page.height; ++i) {
      uint32_t expected = i < c.decoded_pixels ? 0x090909u : 0u;
      EXPECT_EQ(pixel(page, i % page.width, i / page.width), expected) << i;
    }
  }

  // .rc8: header cut short, truncated data, and a bad back-reference.
  std::vector<uint8_t> rc8 = rc8_file(3, 3, std::vector<uint8_t>{4, 0x80 | 7 << 3});
  EXPECT_FALSE(graphics::decode_rc8(std::span<const uint8_t>(rc8).first(700)));
  EXPECT_FALSE(graphics::decode_rc8(std::span<const uint8_t>(rc8).first(rc8.size() - 1)));
  std::optional<Page> page = graphics::decode_rc8(rc8);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->row(0)[0], 4);
  EXPECT_EQ(page->row(0)[1], 0);
}

TEST(RctHeader, SizeFromTheFirstBytes) {
  for (std::string_view kind : {"TC00", "TC01", "TS00", "TS01"}) {
    std::optional<graphics::PictureSize> size = graphics::peek_rct_size(rct_file(kind, 640, 480, {}, "x"));
    ASSERT_TRUE(size) << kind;
    EXPECT_EQ(size->width, 640);
    EXPECT_EQ(size->height, 480);
  }
  std::optional<graphics::PictureSize> size8 = graphics::peek_rct_size(rc8_file(31, 7, {}));
  ASSERT_TRUE(size8);
  EXPECT_EQ(size8->width, 31);
  std::vector<uint8_t> other = rc8_file(31, 7, {});
  other[5] = '9';
  EXPECT_FALSE(graphics::peek_rct_size(other));
  EXPECT_FALSE(graphics::peek_rct_size(std::span<const uint8_t>(other).first(12)));
}

}  // namespace
}  // namespace tavelo
