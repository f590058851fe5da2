// Bitmap reading. The pixel rows are taken to start right after the palette
// (and the colour masks of a 40-byte header with bit fields); the header's
// pixel offset is not consulted. Every row must be present: a bitmap cut short
// is unreadable, not half black.

#include "graphics/picture_bmp.h"

#include <algorithm>
#include <cstring>

#include "graphics/picture_rct.h"
#include "resources/byte_reader.h"

namespace tavelo::graphics {
namespace {

constexpr uint32_t kUncompressed = 0;
constexpr uint32_t kBitFields = 3;

struct BitmapLayout {
  int32_t width = 0;
  int32_t height = 0;  // negative: rows run top-down
  uint16_t bit_count = 0;
  uint32_t compression = kUncompressed;
  size_t palette_entries = 0;
  size_t palette_entry_bytes = 4;
  size_t header_bytes = 0;
  size_t mask_bytes = 0;  // masks after a 40-byte header
};

// Bit fields that only restate the plain blue-green-red-alpha layout are no
// compression at all; other masks are refused.
bool standard_masks(std::span<const uint8_t> masks) {
  resources::ByteReader reader(masks);
  uint32_t red = reader.u32le();
  uint32_t green = reader.u32le();
  uint32_t blue = reader.u32le();
  return reader.ok && red == 0x00FF0000u && green == 0x0000FF00u && blue == 0x000000FFu;
}

std::optional<BitmapLayout> read_layout(std::span<const uint8_t> block) {
  resources::ByteReader reader(block);
  BitmapLayout layout;
  uint32_t header_size = reader.u32le();
  if (!reader.ok) return std::nullopt;
  if (header_size == 12) {
    layout.width = reader.u16le();
    layout.height = reader.u16le();
    reader.skip(2);  // planes
    layout.bit_count = reader.u16le();
    layout.palette_entry_bytes = 3;
    if (layout.bit_count <= 15) layout.palette_entries = size_t(1) << layout.bit_count;
  } else if (header_size >= 40) {
    layout.width = reader.i32le();
    layout.height = reader.i32le();
    reader.skip(2);  // planes
    layout.bit_count = reader.u16le();
    layout.compression = reader.u32le();
    reader.skip(12);  // image size, resolution
    uint32_t colours_used = reader.u32le();
    if (colours_used != 0) {
      layout.palette_entries = colours_used;
    } else if (layout.bit_count <= 15) {
      layout.palette_entries = size_t(1) << layout.bit_count;
    }
    if (layout.compression == kBitFields) {
      if (layout.bit_count != 32) return std::nullopt;
      // Headers of 52 bytes or more hold the masks; a 40-byte header is followed by them.
      size_t mask_at = header_size >= 52 ? 40 : header_size;
      if (mask_at > block.size() || block.size() - mask_at < 12) return std::nullopt;
      if (!standard_masks(block.subspan(mask_at, 12))) return std::nullopt;
      if (header_size < 52) layout.mask_bytes = 12;
    } else if (layout.compression != kUncompressed) {
      return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  if (!reader.ok) return std::nullopt;
  layout.header_bytes = header_size;
  return layout;
}

}  // namespace

std::optional<DecodedImage> decode_bmp(std::span<const uint8_t> file) {
  if (file.size() < 14 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  std::span<const uint8_t> block = file.subspan(14);
  std::optional<BitmapLayout> layout = read_layout(block);
  if (!layout) return std::nullopt;
  if (layout->bit_count != 8 && layout->bit_count != 24 && layout->bit_count != 32) return std::nullopt;

  const int32_t width = layout->width;
  const int64_t signed_height = layout->height;
  const bool top_down = signed_height < 0;
  const int64_t height64 = top_down ? -signed_height : signed_height;
  if (width <= 0 || height64 <= 0 || width > kMaxPictureSide || height64 > kMaxPictureSide) return std::nullopt;
  const int32_t height = int32_t(height64);

  // The palette may announce more entries than the block holds; that is a
  // damaged file, caught by the reader.
  resources::ByteReader reader(block);
  reader.skip(layout->header_bytes);
  reader.skip(layout->mask_bytes);
  if (layout->palette_entries > (size_t(1) << 16)) return std::nullopt;
  std::span<const uint8_t> palette = reader.take(layout->palette_entries * layout->palette_entry_bytes);
  const size_t file_stride = ((size_t(width) * layout->bit_count + 31) / 32) * 4;
  std::span<const uint8_t> rows = reader.take(file_stride * size_t(height));
  if (!reader.ok) return std::nullopt;  // cut short

  auto file_row = [&](int32_t y) {
    int32_t stored = top_down ? y : height - 1 - y;
    return rows.data() + size_t(stored) * file_stride;
  };

  DecodedImage image;
  if (layout->bit_count == 8) {
    image.colour = make_page(width, height, Depth::Indexed8);
    for (size_t i = 0; i < 256; ++i) {
      PaletteEntry entry{};
      if (i < layout->palette_entries) {
        const uint8_t* p = palette.data() + i * layout->palette_entry_bytes;
        entry = {p[0], p[1], p[2], 0};
      }
      image.colour.palette[i] = entry;
    }
    for (int32_t y = 0; y < height; ++y) std::memcpy(image.colour.row(y), file_row(y), size_t(width));
    return image;
  }

  image.colour = make_page(width, height, Depth::Rgb24);
  if (layout->bit_count == 24) {
    for (int32_t y = 0; y < height; ++y) std::memcpy(image.colour.row(y), file_row(y), size_t(width) * 3);
    return image;
  }

  Page transparency = make_page(width, height, Depth::Indexed8);
  bool any_opacity = false;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* from = file_row(y);
    uint8_t* to = image.colour.row(y);
    uint8_t* alpha = transparency.row(y);
    for (int32_t x = 0; x < width; ++x) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      any_opacity |= from[3] != 0;
      alpha[x] = uint8_t(255 - from[3]);
      to += 3;
      from += 4;
    }
  }
  // An all-zero fourth byte means the writer left it unused, not that the
  // picture is invisible.
  if (any_opacity) image.transparency = std::move(transparency);
  return image;
}

}  // namespace tavelo::graphics
