// The PNG reader against ImageMagick: every accepted colour type, transparency
// kind and interlace method decodes to the pixels ImageMagick itself reads;
// the rest is refused with its result code. And what we write, it reads.

#include <gtest/gtest.h>

#include "graphics/picture_png.h"
#include "tests/graphics/picture_test_support.h"

namespace tavelo {
namespace {

using graphics::PngDecoded;
using graphics::PngResult;
using testing::magick;
using testing::magick_rgba;
using testing::rgba_of;
using testing::TempDirectory;

// Colour and transparency that vary over the picture, so a misplaced row,
// pass or channel shows.
constexpr const char* kColours = "-size 37x23 gradient:red-blue -swirl 90";
constexpr const char* kAlpha = "-alpha set -channel A -fx 'i<5?0:(i<9?0.5:(j<4?0.2:1))' +channel";

TEST(PngReader, DecodesWhatImageMagickWrites) {
  TempDirectory directory;
  struct Case {
    const char* name;
    std::string arguments;
    bool transparency;
  };
  const std::string grey = "-size 37x23 gradient:black-white -swirl 90";
  const Case cases[] = {
      {"grey", grey + " -define png:color-type=0", false},
      {"grey with key colour", grey + " -alpha set -channel A -fx 'i==3?0:1' +channel -define png:color-type=0", true},
      {"grey with alpha", grey + " " + kAlpha + " -define png:color-type=4", true},
      {"palette", std::string(kColours) + " -colors 100 PNG8:", false},
      {"palette with tRNS", std::string(kColours) + " " + kAlpha + " PNG8:", true},
      {"rgb", std::string(kColours) + " -define png:color-type=2", false},
      {"rgb with key colour",
       std::string(kColours) + " -alpha set -channel A -fx 'i==3?0:1' +channel -define png:color-type=2", true},
      {"rgba", std::string(kColours) + " " + kAlpha + " -define png:color-type=6", true},
      {"rgb interlaced", std::string(kColours) + " -interlace PNG -define png:color-type=2", false},
      {"rgba interlaced", std::string(kColours) + " " + kAlpha + " -interlace PNG -define png:color-type=6", true},
      {"grey interlaced", grey + " -interlace PNG -define png:color-type=0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = directory.at("picture.png");
    std::string arguments = c.arguments;
    // Output prefix (PNG8:) sticks to the file name; the rest precedes it.
    std::string prefix;
    if (arguments.size() > 5 && arguments.compare(arguments.size() - 5, 5, "PNG8:") == 0) {
      prefix = "PNG8:";
      arguments.resize(arguments.size() - 5);
    }
    ASSERT_TRUE(magick(arguments + " -depth 8 -define png:bit-depth=8 " + prefix + "'" + path + "'"));
    PngDecoded decoded = graphics::decode_png(testing::read_bytes(path));
    ASSERT_EQ(decoded.result, PngResult::Success);
    ASSERT_TRUE(decoded.image);
    EXPECT_EQ(decoded.image->colour.depth, graphics::Depth::Rgb24);
    EXPECT_EQ(decoded.image->colour.width, 37);
    EXPECT_EQ(decoded.image->colour.height, 23);
    EXPECT_EQ(decoded.image->transparency.has_value(), c.transparency);
    std::vector<uint8_t> expected = magick_rgba(directory, path);
    ASSERT_EQ(expected.size(), size_t(37 * 23 * 4));
    EXPECT_EQ(rgba_of(*decoded.image), expected);
  }
}

TEST(PngReader, RefusesWhatItDoesNotAccept) {
  TempDirectory directory;
  std::string path = directory.at("picture.png");
  ASSERT_TRUE(magick(std::string(kColours) + " -depth 16 -define png:color-type=2 '" + path + "'"));
  EXPECT_EQ(graphics::decode_png(testing::read_bytes(path)).result, PngResult::UnsupportedBitDepth);

  ASSERT_TRUE(magick("-size 9x9 xc:white -fill black -draw 'point 3,3' -define png:color-type=0 "
                     "-define png:bit-depth=1 '" + path + "'"));
  EXPECT_EQ(graphics::decode_png(testing::read_bytes(path)).result, PngResult::UnsupportedBitDepth);

  ASSERT_TRUE(magick(std::string(kColours) + " -depth 8 -define png:color-type=2 '" + path + "'"));
  std::vector<uint8_t> good = testing::read_bytes(path);
  // Cut anywhere, damaged or not a PNG at all: the library reports an error.
  for (size_t cut : {size_t(0), size_t(7), size_t(40), good.size() / 2, good.size() * 3 / 4}) {
    std::vector<uint8_t> truncated(good.begin(), good.begin() + long(cut));
    PngDecoded decoded = graphics::decode_png(truncated);
    EXPECT_EQ(decoded.result, PngResult::LibraryError) << cut;
    EXPECT_FALSE(decoded.image);
  }
  // A side chunk announcing far more bytes than the file holds.
  std::vector<uint8_t> huge_text(good.begin(), good.begin() + 33);
  huge_text.insert(huge_text.end(), {0x29, 0x00, 0x00, 0x25, 't', 'E', 'X', 't', 'a', 0, 'b'});
  huge_text.insert(huge_text.end(), good.begin() + 33, good.end());
  EXPECT_EQ(graphics::decode_png(huge_text).result, PngResult::LibraryError);
  std::vector<uint8_t> damaged = good;
  damaged[good.size() / 2] ^= 0x55;
  EXPECT_EQ(graphics::decode_png(damaged).result, PngResult::LibraryError);
}

TEST(PngWriter, ImageMagickReadsWhatWeWrite) {
  TempDirectory directory;
  graphics::Page colour = testing::busy_page(41, 13, 5);
  graphics::Page alpha = graphics::make_page(41, 13, graphics::Depth::Indexed8);
  for (int32_t y = 0; y < 13; ++y) {
    for (int32_t x = 0; x < 41; ++x) alpha.row(y)[x] = uint8_t(x * 6 + y);
  }
  graphics::Page indexed = testing::busy_indexed_page(41, 13, 6);
  struct Case {
    const graphics::Page* colour;
    const graphics::Page* alpha;
  };
  for (Case c : {Case{&colour, nullptr}, Case{&colour, &alpha}, Case{&indexed, nullptr}}) {
    std::vector<uint8_t> bytes = graphics::encode_png(*c.colour, c.alpha);
    ASSERT_FALSE(bytes.empty());
    std::string path = directory.write("written.png", bytes);
    EXPECT_EQ(magick_rgba(directory, path), testing::rgba_of(*c.colour, c.alpha));
  }
}

}  // namespace
}  // namespace tavelo
