// The bitmap reader against ImageMagick: 8-, 24- and 32-bit bitmaps with
// every header kind ImageMagick writes decode to the pixels it reads itself;
// other depths and compressed bitmaps give no image.

#include <gtest/gtest.h>

#include "graphics/picture_bmp.h"
#include "resources/byte_reader.h"
#include "tests/graphics/picture_test_support.h"

namespace tavelo {
namespace {

using testing::magick;
using testing::magick_rgba;
using testing::TempDirectory;

constexpr const char* kColours = "-size 23x40 gradient:red-blue -swirl 120";
constexpr const char* kAlpha = "-alpha set -channel A -fx 'i<5?0.1:(i<9?0.5:1)' +channel";

// Colour compared always; the fourth channel only where the file has one.
void expect_same_colours(const graphics::DecodedImage& image, const std::vector<uint8_t>& expected,
                         bool compare_alpha) {
  std::vector<uint8_t> ours = testing::rgba_of(image);
  ASSERT_EQ(ours.size(), expected.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    if (i % 4 == 3 && !compare_alpha) continue;
    ASSERT_EQ(ours[i], expected[i]) << "byte " << i;
  }
}

TEST(BmpReader, DecodesWhatImageMagickWrites) {
  TempDirectory directory;
  struct Case {
    const char* name;
    std::string arguments;  // output format prefix last
    graphics::Depth depth;
    bool transparency;
  };
  const Case cases[] = {
      {"8-bit", std::string(kColours) + " -type Palette -compress none BMP3:", graphics::Depth::Indexed8, false},
      {"8-bit core header", std::string(kColours) + " -type Palette BMP2:", graphics::Depth::Indexed8, false},
      {"24-bit", std::string(kColours) + " -type TrueColor BMP3:", graphics::Depth::Rgb24, false},
      {"24-bit core header", std::string(kColours) + " -type TrueColor BMP2:", graphics::Depth::Rgb24, false},
      {"32-bit with alpha", std::string(kColours) + " " + kAlpha + " -define bmp3:alpha=true BMP3:",
       graphics::Depth::Rgb24, true},
      {"32-bit with alpha and bit fields", std::string(kColours) + " " + kAlpha + " BMP:", graphics::Depth::Rgb24,
       true},
      // A fourth byte of 0 everywhere means no alpha at all.
      {"32-bit without alpha",
       std::string(kColours) + " -alpha set -channel A -evaluate set 0 +channel -define bmp3:alpha=true BMP3:",
       graphics::Depth::Rgb24, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = directory.at("picture.bmp");
    size_t prefix = c.arguments.rfind(' ');
    ASSERT_TRUE(magick(c.arguments.substr(0, prefix) + " " + c.arguments.substr(prefix + 1) + "'" + path + "'"));
    std::optional<graphics::DecodedImage> image = graphics::decode_bmp(testing::read_bytes(path));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->colour.depth, c.depth);
    EXPECT_EQ(image->colour.width, 23);
    EXPECT_EQ(image->colour.height, 40);
    EXPECT_EQ(image->transparency.has_value(), c.transparency);
    expect_same_colours(*image, magick_rgba(directory, path), c.transparency);
  }
}

TEST(BmpReader, TopDownRows) {
  // ImageMagick writes bottom-up bitmaps; turn one around by hand: negative
  // height and the rows in reverse order mean the same picture.
  TempDirectory directory;
  std::string path = directory.at("bottom_up.bmp");
  ASSERT_TRUE(magick(std::string(kColours) + " -type TrueColor BMP3:'" + path + "'"));
  std::vector<uint8_t> file = testing::read_bytes(path);
  const size_t pixels_at = 14 + 40;
  const size_t stride = (23 * 3 + 3) & ~size_t(3);
  ASSERT_EQ(file.size(), pixels_at + stride * 40);
  std::vector<uint8_t> flipped(file.begin(), file.begin() + long(pixels_at));
  for (int y = 39; y >= 0; --y) {
    flipped.insert(flipped.end(), file.begin() + long(pixels_at + y * stride),
                   file.begin() + long(pixels_at + (y + 1) * stride));
  }
  resources::store_u32le(flipped.data() + 22, uint32_t(-40));
  std::optional<graphics::DecodedImage> image = graphics::decode_bmp(flipped);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->colour.height, 40);
  expect_same_colours(*image, magick_rgba(directory, path), false);
}

TEST(BmpReader, RefusesOtherDepthsCompressionAndDamage) {
  TempDirectory directory;
  std::string path = directory.at("picture.bmp");
  ASSERT_TRUE(magick("-size 23x9 gradient:red-blue -colors 12 -type Palette -compress none BMP3:'" + path + "'"));
  std::vector<uint8_t> four_bit = testing::read_bytes(path);
  ASSERT_EQ(four_bit[28], 4);
  EXPECT_FALSE(graphics::decode_bmp(four_bit));

  ASSERT_TRUE(magick(std::string(kColours) + " -type Palette -compress RLE BMP3:'" + path + "'"));
  std::vector<uint8_t> rle = testing::read_bytes(path);
  ASSERT_EQ(rle[30], 1);
  EXPECT_FALSE(graphics::decode_bmp(rle));

  ASSERT_TRUE(magick(std::string(kColours) + " -type TrueColor BMP3:'" + path + "'"));
  std::vector<uint8_t> good = testing::read_bytes(path);
  ASSERT_TRUE(graphics::decode_bmp(good));
  // Cut short anywhere: unreadable, never half a picture.
  for (size_t cut : {size_t(0), size_t(13), size_t(30), size_t(60), good.size() - 1}) {
    EXPECT_FALSE(graphics::decode_bmp(std::span<const uint8_t>(good).first(cut))) << cut;
  }
  struct Patch {
    const char* name;
    size_t offset;
    uint32_t value;
  };
  const Patch patches[] = {
      {"zero width", 18, 0},
      {"huge width", 18, 0x7FFFFFFF},
      {"most negative height", 22, 0x80000000u},
      {"header size 20", 14, 20},
      {"header size past the end", 14, 0xFFFFFFF0u},
      {"palette of four billion colours", 46, 0xFFFFFFFFu},
  };
  for (const Patch& patch : patches) {
    std::vector<uint8_t> bad = good;
    resources::store_u32le(bad.data() + patch.offset, patch.value);
    EXPECT_FALSE(graphics::decode_bmp(bad)) << patch.name;
  }
}

}  // namespace
}  // namespace tavelo
