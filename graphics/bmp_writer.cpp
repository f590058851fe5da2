// 24-bit BMP files of pages.

#include "graphics/bmp_writer.h"

#include <cstring>

namespace tavelo::graphics {
namespace {

void put_u16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
// The capture has always ended with two zero bytes after the rows, and the
// file size in the header counts them.
constexpr uint32_t kTrailingBytes = 2;

}  // namespace

std::vector<uint8_t> encode_bmp24(const Page& page) {
  if (page.depth != Depth::Rgb24 || page.width <= 0 || page.height <= 0) return {};
  const uint32_t stride = uint32_t(page_stride(page.width, Depth::Rgb24));
  const uint32_t image_bytes = stride * uint32_t(page.height);
  const size_t row_bytes = size_t(page.width) * 3;
  if (page.stride < int32_t(row_bytes) || page.pixels.size() < size_t(page.stride) * size_t(page.height)) return {};

  std::vector<uint8_t> out;
  out.reserve(kFileHeaderBytes + kInfoHeaderBytes + image_bytes + kTrailingBytes);
  out.push_back('B');
  out.push_back('M');
  put_u32(out, image_bytes + kFileHeaderBytes + kInfoHeaderBytes + kTrailingBytes);
  put_u16(out, 0);  // reserved
  put_u16(out, 0);
  put_u32(out, kFileHeaderBytes + kInfoHeaderBytes);  // offset of the rows

  put_u32(out, kInfoHeaderBytes);
  put_u32(out, uint32_t(page.width));
  put_u32(out, uint32_t(page.height));  // positive: rows run bottom-up
  put_u16(out, 1);                      // planes
  put_u16(out, 24);                     // bits per pixel
  put_u32(out, 0);                      // no compression
  put_u32(out, image_bytes);
  put_u32(out, 0);  // horizontal resolution: unspecified
  put_u32(out, 0);  // vertical resolution
  put_u32(out, 0);  // palette colours used
  put_u32(out, 0);  // important colours

  const size_t rows_start = out.size();
  out.resize(rows_start + image_bytes + kTrailingBytes, 0);
  for (int32_t y = 0; y < page.height; ++y) {
    uint8_t* target = out.data() + rows_start + size_t(page.height - 1 - y) * stride;
    std::memcpy(target, page.row(y), row_bytes);
  }
  return out;
}

}  // namespace tavelo::graphics
