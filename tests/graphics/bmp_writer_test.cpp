// The capture's BMP files: header fields byte for byte, bottom-up rows with
// their padding, the trailing bytes, and pages that cannot be written.

#include "graphics/bmp_writer.h"

#include <gtest/gtest.h>

#include "resources/byte_reader.h"

namespace tavelo::graphics {
namespace {

TEST(BmpWriter, headers_rows_and_padding) {
  struct Case {
    int32_t width;
    int32_t height;
    uint32_t stride;
  };
  for (Case c : {Case{1, 1, 4}, Case{2, 3, 8}, Case{4, 2, 12}, Case{5, 2, 16}}) {
    Page page = make_page(c.width, c.height, Depth::Rgb24);
    // Each pixel's bytes say where they came from: x, y and the channel.
    for (int32_t y = 0; y < c.height; ++y) {
      for (int32_t x = 0; x < c.width; ++x) {
        for (int channel = 0; channel < 3; ++channel) page.row(y)[x * 3 + channel] = uint8_t(x * 16 + y * 4 + channel);
      }
    }
    std::vector<uint8_t> file = encode_bmp24(page);
    uint32_t image = c.stride * uint32_t(c.height);
    ASSERT_EQ(file.size(), image + 56) << c.width << "x" << c.height;

    resources::ByteReader reader(file);
    EXPECT_EQ(reader.u8(), 'B');
    EXPECT_EQ(reader.u8(), 'M');
    EXPECT_EQ(reader.u32le(), image + 56);  // file size
    EXPECT_EQ(reader.u32le(), 0u);          // reserved
    EXPECT_EQ(reader.u32le(), 54u);         // data offset
    EXPECT_EQ(reader.u32le(), 40u);         // information header size
    EXPECT_EQ(reader.i32le(), c.width);
    EXPECT_EQ(reader.i32le(), c.height);  // positive: bottom-up
    EXPECT_EQ(reader.u16le(), 1u);        // planes
    EXPECT_EQ(reader.u16le(), 24u);       // bits per pixel
    EXPECT_EQ(reader.u32le(), 0u);        // uncompressed
    EXPECT_TRUE(reader.ok);
    ASSERT_EQ(reader.position, 34u);

    for (int32_t row = 0; row < c.height; ++row) {
      const uint8_t* data = file.data() + 54 + size_t(row) * c.stride;
      int32_t y = c.height - 1 - row;
      for (int32_t x = 0; x < c.width; ++x) {
        for (int channel = 0; channel < 3; ++channel) {
          EXPECT_EQ(data[x * 3 + channel], uint8_t(x * 16 + y * 4 + channel)) << "row " << row << " x " << x;
        }
      }
      for (uint32_t pad = uint32_t(c.width) * 3; pad < c.stride; ++pad) EXPECT_EQ(data[pad], 0) << "padding";
    }
    EXPECT_EQ(file[file.size() - 2], 0);
    EXPECT_EQ(file[file.size() - 1], 0);
  }
}

TEST(BmpWriter, refuses_pages_it_cannot_describe) {
  EXPECT_TRUE(encode_bmp24(make_page(4, 4, Depth::Indexed8)).empty()) << "8-bit pages are not captured";
  Page broken = make_page(4, 4, Depth::Rgb24);
  broken.pixels.resize(10);  // fewer bytes than the size claims
  EXPECT_TRUE(encode_bmp24(broken).empty());
}

}  // namespace
}  // namespace tavelo::graphics
