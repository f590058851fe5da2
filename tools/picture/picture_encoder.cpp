// Picture encoders.
//
// The compressor is greedy: at each pixel it measures, for every offset of
// the format, how many pixels from there on repeat the pixels at that
// distance (runs may overlap the current position, as the decoder allows),
// and takes the longest if it is worth a control byte. Pixels with no such
// run are collected into literal runs.

#include "tools/picture/picture_encoder.h"

#include <bit>
#include <cstring>
#include <unordered_map>

#include "resources/byte_reader.h"

namespace tavelo::tools {
namespace {

struct PackScheme {
  size_t pixel_bytes;
  const graphics::BackOffset* offsets;
  size_t offset_count;
  uint8_t offset_shift;
  size_t min_run;          // shortest back-reference
  size_t short_run_limit;  // longest run of the one-byte form
  size_t long_base;        // run = n + long_base in the long form
  uint8_t long_field;      // count field marking the long form
};

constexpr PackScheme kRct = {3, graphics::kRctBackOffsets, 32, 2, 1, 3, 4, 3};
constexpr PackScheme kRc8 = {1, graphics::kRc8BackOffsets, 16, 3, 3, 9, 10, 7};

constexpr size_t kLongLiteralBase = 128;
constexpr size_t kMaxLiteral = 0xFFFF + kLongLiteralBase;

// Bytes that agree from a and b on, at most limit.
size_t matching_bytes(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t i = 0;
  while (i + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return i + size_t(std::countr_zero(x ^ y)) / 8;
    i += 8;
  }
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

void emit_literals(resources::ByteWriter& out, const uint8_t* pixels, size_t count, size_t pixel_bytes) {
  while (count > 0) {
    size_t run = std::min(count, kMaxLiteral);
    if (run >= kLongLiteralBase) {
      out.u8(0x7F);
      out.u16le(uint16_t(run - kLongLiteralBase));
    } else {
      out.u8(uint8_t(run - 1));
    }
    out.append(std::span<const uint8_t>(pixels, run * pixel_bytes));
    pixels += run * pixel_bytes;
    count -= run;
  }
}

std::vector<uint8_t> pack(const PackScheme& scheme, std::span<const uint8_t> packed, int32_t width, int32_t height) {
  const size_t pixel = scheme.pixel_bytes;
  const size_t count = size_t(width) * size_t(height);
  resources::ByteWriter out;
  if (count == 0 || packed.size() < count * pixel) return {};
  const uint8_t* data = packed.data();
  const size_t max_run = 0xFFFF + scheme.long_base;

  int64_t distances[32];
  for (size_t i = 0; i < scheme.offset_count; ++i) {
    distances[i] = -(int64_t(scheme.offsets[i].dx) + int64_t(scheme.offsets[i].dy) * int64_t(width));
  }

  out.append(std::span<const uint8_t>(data, pixel));
  size_t position = 1;
  size_t literal_start = 1;
  while (position < count) {
    size_t best_run = 0;
    size_t best_index = 0;
    const size_t limit = std::min(count - position, max_run);
    const uint8_t* here = data + position * pixel;
    for (size_t i = 0; i < scheme.offset_count; ++i) {
      const int64_t distance = distances[i];
      if (distance <= 0 || distance > int64_t(position)) continue;
      const uint8_t* there = here - size_t(distance) * pixel;
      if (there[0] != here[0]) continue;
      size_t run = matching_bytes(here, there, limit * pixel) / pixel;
      if (run > best_run) {
        best_run = run;
        best_index = i;
        if (run == limit) break;
      }
    }
    if (best_run < scheme.min_run) {
      ++position;
      continue;
    }
    emit_literals(out, data + literal_start * pixel, position - literal_start, pixel);
    const uint8_t control = uint8_t(0x80 | best_index << scheme.offset_shift);
    if (best_run <= scheme.short_run_limit) {
      out.u8(uint8_t(control | (best_run - scheme.min_run)));
    } else {
      out.u8(uint8_t(control | scheme.long_field));
      out.u16le(uint16_t(best_run - scheme.long_base));
    }
    position += best_run;
    literal_start = position;
  }
  emit_literals(out, data + literal_start * pixel, position - literal_start, pixel);
  return std::move(out.bytes);
}

void write_magic(resources::ByteWriter& out, std::string_view kind) {
  out.append(std::span<const uint8_t>(graphics::kPictureMagicLead));
  out.append(kind);
}

}  // namespace

std::vector<uint8_t> pack_rct_stream(std::span<const uint8_t> packed, int32_t width, int32_t height) {
  return pack(kRct, packed, width, height);
}

std::vector<uint8_t> pack_rc8_stream(std::span<const uint8_t> packed, int32_t width, int32_t height) {
  return pack(kRc8, packed, width, height);
}

std::vector<uint8_t> packed_pixels(const graphics::Page& page) {
  const size_t row = size_t(page.width) * size_t(page.bytes_per_pixel());
  std::vector<uint8_t> packed(row * size_t(page.height));
  for (int32_t y = 0; y < page.height; ++y) std::memcpy(packed.data() + size_t(y) * row, page.row(y), row);
  return packed;
}

RctEncoded encode_rct(const graphics::Page& picture, const RctOptions& options) {
  RctEncoded result;
  if (picture.depth != graphics::Depth::Rgb24) return result;
  std::vector<uint8_t> packed = packed_pixels(picture);
  const bool difference = options.base != nullptr || !options.base_name.empty();
  if (options.base && options.base->depth == graphics::Depth::Rgb24) {
    const graphics::Page& base = *options.base;
    const int32_t width = std::min(picture.width, base.width);
    const int32_t height = std::min(picture.height, base.height);
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = packed.data() + size_t(y) * size_t(picture.width) * 3;
      const uint8_t* base_row = base.row(y);
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = row + 3 * size_t(x);
        const uint8_t* b = base_row + 3 * size_t(x);
        if (p[0] == b[0] && p[1] == b[1] && p[2] == b[2]) {
          p[0] = 0, p[1] = 0, p[2] = 255;
        } else if (p[0] == 0 && p[1] == 0 && p[2] == 255) {
          p[2] = 254;
          ++result.nudged_pixels;
        }
      }
    }
  }
  std::vector<uint8_t> data = pack_rct_stream(packed, picture.width, picture.height);
  if (options.key) {
    data.push_back('T');
    data.push_back('S');
    graphics::apply_image_key(graphics::make_image_key(*options.key), data);
  }
  resources::ByteWriter out;
  write_magic(out, options.key ? (difference ? "TS01" : "TS00") : (difference ? "TC01" : "TC00"));
  out.i32le(picture.width);
  out.i32le(picture.height);
  out.u32le(uint32_t(data.size()));
  if (difference) {
    out.u16le(uint16_t(options.base_name.size()));
    out.append(std::string_view(options.base_name));
  }
  out.append(data);
  result.bytes = std::move(out.bytes);
  return result;
}

std::vector<uint8_t> encode_rc8(const graphics::Page& picture) {
  if (picture.depth != graphics::Depth::Indexed8) return {};
  std::vector<uint8_t> data = pack_rc8_stream(packed_pixels(picture), picture.width, picture.height);
  resources::ByteWriter out;
  write_magic(out, "8_00");
  out.i32le(picture.width);
  out.i32le(picture.height);
  out.u32le(uint32_t(data.size()));
  for (const graphics::PaletteEntry& entry : picture.palette) {
    out.u8(entry.blue);
    out.u8(entry.green);
    out.u8(entry.red);
  }
  out.append(data);
  return std::move(out.bytes);
}

std::optional<graphics::Page> to_indexed(const graphics::Page& picture) {
  if (picture.depth == graphics::Depth::Indexed8) return graphics::clone_page(picture);
  graphics::Page indexed = graphics::make_page(picture.width, picture.height, graphics::Depth::Indexed8);
  indexed.palette = {};
  std::unordered_map<uint32_t, uint8_t> colours;
  for (int32_t y = 0; y < picture.height; ++y) {
    const uint8_t* from = picture.row(y);
    uint8_t* to = indexed.row(y);
    for (int32_t x = 0; x < picture.width; ++x) {
      const uint8_t* p = from + 3 * size_t(x);
      uint32_t colour = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
      auto found = colours.find(colour);
      if (found == colours.end()) {
        if (colours.size() == 256) return std::nullopt;
        uint8_t index = uint8_t(colours.size());
        indexed.palette[index] = {p[0], p[1], p[2], 0};
        found = colours.emplace(colour, index).first;
      }
      to[x] = found->second;
    }
  }
  return indexed;
}

}  // namespace tavelo::tools
