// tvimg end to end: pictures made by ImageMagick go through .rct/.rc8 and
// back to PNG, and ImageMagick must read the same pixels as before.

#include <gtest/gtest.h>

#include "graphics/picture_rct.h"
#include "tests/graphics/picture_test_support.h"

namespace tavelo {
namespace {

using testing::magick;
using testing::magick_rgba;
using testing::run_command;
using testing::TempDirectory;

testing::ProcessResult tvimg(const std::string& arguments) {
  return run_command(testing::tool_path("tvimg") + " " + arguments);
}

// in -> middle -> out.png, and ImageMagick's pixels of in and out agree.
void expect_round_trip(const TempDirectory& directory, const std::string& in, const std::string& middle,
                       const std::string& options = {}) {
  std::string out = directory.at("back.png");
  testing::ProcessResult there = tvimg(options + " '" + in + "' '" + middle + "'");
  ASSERT_EQ(there.exit_status, 0) << there.output;
  testing::ProcessResult back = tvimg(options + " '" + middle + "' '" + out + "'");
  ASSERT_EQ(back.exit_status, 0) << back.output;
  std::vector<uint8_t> expected = magick_rgba(directory, in);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(magick_rgba(directory, out), expected);
}

TEST(Tvimg, HelpAndUsage) {
  testing::ProcessResult help = tvimg("--help");
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.output.find("usage: tvimg"), std::string::npos);
  EXPECT_EQ(tvimg("").exit_status, 1);
  TempDirectory directory;
  EXPECT_EQ(tvimg("'" + directory.at("none.png") + "' '" + directory.at("x.rct") + "'").exit_status, 1);
}

TEST(Tvimg, RoundTripsThroughRctAndRc8) {
  TempDirectory directory;
  struct Size {
    int width, height;
  };
  std::vector<Size> sizes = {{1, 600}, {600, 1}, {173, 61}};
  for (int w = 1; w <= 7; ++w) sizes.push_back({w, 3});
  for (const Size& size : sizes) {
    std::string dimensions = std::to_string(size.width) + "x" + std::to_string(size.height);
    SCOPED_TRACE(dimensions);
    std::string full = directory.at("full.png");
    ASSERT_TRUE(magick("-size " + dimensions + " plasma:fractal -depth 8 PNG24:'" + full + "'"));
    expect_round_trip(directory, full, directory.at("full.rct"));
    std::string few = directory.at("few.png");
    ASSERT_TRUE(magick("-size " + dimensions + " gradient:red-blue -swirl 60 -colors 40 -depth 8 PNG8:'" + few + "'"));
    expect_round_trip(directory, few, directory.at("few.rc8"));
  }
}

TEST(Tvimg, LongRunsAndBitmaps) {
  TempDirectory directory;
  // A flat area (long back-references) over a strip of noise (long literals).
  std::string flat = directory.at("flat.png");
  ASSERT_TRUE(magick("-size 300x200 xc:skyblue \\( -size 300x3 xc: +noise Random \\) -append -depth 8 PNG24:'" +
                     flat + "'"));
  expect_round_trip(directory, flat, directory.at("flat.rct"));
  std::vector<uint8_t> rct = testing::read_bytes(directory.at("flat.rct"));
  EXPECT_LT(rct.size(), 300u * 3 * 3 + 1000);

  std::string bmp = directory.at("picture.bmp");
  ASSERT_TRUE(magick("-size 31x17 gradient:green-yellow -swirl 90 -type TrueColor BMP3:'" + bmp + "'"));
  std::string png = directory.at("picture.png");
  ASSERT_EQ(tvimg("'" + bmp + "' '" + png + "'").exit_status, 0);
  EXPECT_EQ(magick_rgba(directory, png), magick_rgba(directory, bmp));
}

TEST(Tvimg, ScrambledPictures) {
  TempDirectory directory;
  std::string in = directory.at("in.png");
  ASSERT_TRUE(magick("-size 90x40 plasma:fractal -depth 8 PNG24:'" + in + "'"));
  std::string rct = directory.at("secret.rct");
  expect_round_trip(directory, in, rct, "--key 'ひみつ'");
  std::vector<uint8_t> bytes = testing::read_bytes(rct);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 8), "TS00");
  // Without the key the picture reads as black.
  std::string black = directory.at("black.png");
  ASSERT_EQ(tvimg("'" + rct + "' '" + black + "'").exit_status, 0);
  std::vector<uint8_t> pixels = magick_rgba(directory, black);
  ASSERT_EQ(pixels.size(), 90u * 40 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], i % 4 == 3 ? 255 : 0) << i;
}

TEST(Tvimg, DifferenceImageOverABase) {
  TempDirectory directory;
  std::string base = directory.at("base.png");
  std::string face = directory.at("face.png");
  ASSERT_TRUE(magick("-size 64x48 plasma:fractal -depth 8 PNG24:'" + base + "'"));
  ASSERT_TRUE(magick("'" + base + "' -fill red -draw 'rectangle 10,10 30,20' -fill blue -draw 'circle 40,30 45,35' "
                     "-depth 8 PNG24:'" + face + "'"));
  std::string difference = directory.at("face.rct");
  ASSERT_EQ(tvimg("--base '" + base + "' '" + face + "' '" + difference + "'").exit_status, 0);
  std::optional<graphics::RctHeader> header = graphics::parse_rct_header(testing::read_bytes(difference));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->variant, graphics::RctVariant::PlainDifference);
  EXPECT_EQ(header->base_name, "base");
  // Mostly base pixels: far smaller than the picture on its own.
  ASSERT_EQ(tvimg("'" + face + "' '" + directory.at("alone.rct") + "'").exit_status, 0);
  EXPECT_LT(testing::read_bytes(difference).size() * 4, testing::read_bytes(directory.at("alone.rct")).size());

  std::string back = directory.at("back.png");
  testing::ProcessResult merged = tvimg("--base '" + base + "' '" + difference + "' '" + back + "'");
  ASSERT_EQ(merged.exit_status, 0) << merged.output;
  // The drawn pure red could not be stored as such over the base: red 254.
  std::vector<uint8_t> expected = magick_rgba(directory, face);
  for (size_t i = 0; i + 3 < expected.size(); i += 4) {
    if (expected[i] == 255 && expected[i + 1] == 0 && expected[i + 2] == 0) expected[i] = 254;
  }
  EXPECT_EQ(magick_rgba(directory, back), expected);
}

TEST(Tvimg, RefusesMoreThan256ColoursForRc8) {
  TempDirectory directory;
  std::string in = directory.at("many.png");
  ASSERT_TRUE(magick("-size 64x64 plasma:fractal -depth 8 PNG24:'" + in + "'"));
  testing::ProcessResult result = tvimg("'" + in + "' '" + directory.at("many.rc8") + "'");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.output.find("more than 256 colours"), std::string::npos);
}

}  // namespace
}  // namespace tavelo
