// .rct and .rc8 decoding, the image key and the difference merge.
//
// Both formats are a byte-oriented LZ scheme over the packed picture (rows of
// width pixels without padding): a control byte either announces a literal run
// of pixels that follow in the stream or copies a run from one of a fixed set
// of nearby earlier positions (left on this row, or around the same column a
// few rows up). Runs may overlap their own output, which repeats a short
// pattern. Decoding writes straight into the page and spreads the rows to the
// padded stride afterwards.

#include "graphics/picture_rct.h"

#include <algorithm>
#include <cstring>

#include "resources/byte_reader.h"
#include "resources/name_hash.h"

namespace tavelo::graphics {
namespace {

// The two formats differ only in pixel size, count encoding and offset table.
struct StreamScheme {
  size_t pixel_bytes;
  uint8_t count_mask;       // count field of a back-reference
  uint8_t offset_shift;     // where the offset index starts
  uint8_t offset_mask;
  size_t short_count_base;  // run = field + base for the short form
  size_t long_count_base;   // run = n + base when the field is all ones
  const BackOffset* offsets;
  size_t offset_count;
};

constexpr StreamScheme kRctScheme = {3, 3, 2, 0x1F, 1, 4, kRctBackOffsets, 32};
constexpr StreamScheme kRc8Scheme = {1, 7, 3, 0x0F, 3, 10, kRc8BackOffsets, 16};

// Copies count bytes from distance bytes back, with the result of a forward
// byte-by-byte copy (so a short distance repeats its pattern). Overlapping
// runs are done in growing non-overlapping pieces: after each piece the
// pattern is twice as long as before.
inline void copy_back(uint8_t* to, size_t distance, size_t count) {
  const uint8_t* from = to - distance;
  if (distance >= count) {
    std::memcpy(to, from, count);
    return;
  }
  if (distance == 1) {
    std::memset(to, from[0], count);
    return;
  }
  size_t done = 0;
  while (done < count) {
    size_t piece = std::min(distance + done, count - done);
    std::memcpy(to + done, from, piece);
    done += piece;
  }
}

size_t unpack_stream(const StreamScheme& scheme, std::span<const uint8_t> data, std::span<uint8_t> out,
                     int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const size_t pixel = scheme.pixel_bytes;
  const size_t total = size_t(width) * size_t(height) * pixel;
  if (out.size() < total || data.size() < pixel) return 0;

  // Byte distance back from the current position for each offset index;
  // zero or negative means a position not yet written.
  int64_t distances[32];
  const int64_t row_bytes = int64_t(width) * int64_t(pixel);
  for (size_t i = 0; i < scheme.offset_count; ++i) {
    distances[i] = -(int64_t(scheme.offsets[i].dx) * int64_t(pixel) + int64_t(scheme.offsets[i].dy) * row_bytes);
  }

  const uint8_t* in = data.data();
  const size_t in_size = data.size();
  uint8_t* base = out.data();
  std::memcpy(base, in, pixel);
  size_t ip = pixel;
  size_t op = pixel;

  while (op < total) {
    if (ip >= in_size) break;
    const uint8_t control = in[ip++];
    size_t run;
    if (control & 0x80) {
      size_t field = control & scheme.count_mask;
      if (field == scheme.count_mask) {
        if (in_size - ip < 2) break;
        run = size_t(resources::load_u16le(in + ip)) + scheme.long_count_base;
        ip += 2;
      } else {
        run = field + scheme.short_count_base;
      }
      size_t bytes = std::min(run * pixel, total - op);
      int64_t distance = distances[(control >> scheme.offset_shift) & scheme.offset_mask];
      if (distance > int64_t(op)) break;  // before the start of the picture
      if (distance <= 0) {
        // Refers to pixels not decoded yet, which are still black.
        std::memset(base + op, 0, bytes);
      } else {
        copy_back(base + op, size_t(distance), bytes);
      }
      op += bytes;
    } else {
      if (control == 0x7F) {
        if (in_size - ip < 2) break;
        run = size_t(resources::load_u16le(in + ip)) + 128;
        ip += 2;
      } else {
        run = size_t(control) + 1;
      }
      size_t bytes = std::min(run * pixel, total - op);
      size_t available = in_size - ip;
      if (bytes > available) {
        std::memcpy(base + op, in + ip, available);
        op += available;
        break;
      }
      std::memcpy(base + op, in + ip, bytes);
      ip += bytes;
      op += bytes;
    }
  }
  return op;
}

// Moves packed rows to their padded places, last row first so that no row is
// overwritten before it has moved, and clears the padding.
void spread_rows(Page& page, size_t packed_row) {
  const size_t stride = size_t(page.stride);
  if (stride == packed_row) return;
  for (int32_t y = page.height - 1; y >= 1; --y) {
    std::memmove(page.row(y), page.pixels.data() + size_t(y) * packed_row, packed_row);
  }
  for (int32_t y = 0; y < page.height; ++y) std::memset(page.row(y) + packed_row, 0, stride - packed_row);
}

bool sane_size(int32_t width, int32_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide;
}

bool has_magic_lead(std::span<const uint8_t> file) {
  return file.size() >= 8 && std::equal(kPictureMagicLead.begin(), kPictureMagicLead.end(), file.begin());
}

bool magic_is(std::span<const uint8_t> file, std::string_view kind) {
  return has_magic_lead(file) && std::memcmp(file.data() + 4, kind.data(), 4) == 0;
}

}  // namespace

ImageKey make_image_key(std::string_view key_string) {
  const uint32_t hash = resources::name_hash(key_string);
  ImageKey key;
  for (uint32_t k = 0; k < 256; ++k) key.words[k] = resources::kCrcTable[((hash & 0xFF) + k) & 0xFF] ^ hash;
  return key;
}

void apply_image_key(const ImageKey& key, std::span<uint8_t> data) {
  uint8_t* p = data.data();
  size_t left = data.size();
  while (left >= 1024) {
    for (size_t i = 0; i < 256; ++i) {
      resources::store_u32le(p + 4 * i, resources::load_u32le(p + 4 * i) ^ key.words[i]);
    }
    p += 1024;
    left -= 1024;
  }
  for (size_t i = 0; i < left; ++i) p[i] ^= uint8_t(key.words[i / 4] >> (8 * (i % 4)));
}

std::optional<RctHeader> parse_rct_header(std::span<const uint8_t> file) {
  RctHeader header;
  if (magic_is(file, "TC00")) {
    header.variant = RctVariant::Plain;
  } else if (magic_is(file, "TC01")) {
    header.variant = RctVariant::PlainDifference;
  } else if (magic_is(file, "TS00")) {
    header.variant = RctVariant::Scrambled;
  } else if (magic_is(file, "TS01")) {
    header.variant = RctVariant::ScrambledDifference;
  } else {
    return std::nullopt;
  }
  resources::ByteReader reader(file);
  reader.skip(8);
  header.width = reader.i32le();
  header.height = reader.i32le();
  header.data_length = reader.u32le();
  if (header.difference()) {
    uint16_t name_length = reader.u16le();
    std::span<const uint8_t> name = reader.take(name_length);
    header.base_name.assign(name.begin(), name.end());
    // The name need not end in a zero, but may; the picture name stops there.
    size_t zero = header.base_name.find('\0');
    if (zero != std::string::npos) header.base_name.resize(zero);
  }
  if (!reader.ok) return std::nullopt;
  header.data_offset = reader.position;
  return header;
}

std::optional<RctPicture> decode_rct(std::span<const uint8_t> file, const ImageKey& key) {
  std::optional<RctHeader> header = parse_rct_header(file);
  if (!header || !decodable_rct_size(file, file.size())) return std::nullopt;
  std::span<const uint8_t> data = file.subspan(header->data_offset, header->data_length);

  RctPicture picture;
  picture.base_name = header->base_name;
  picture.page = make_page(header->width, header->height, Depth::Rgb24);
  std::vector<uint8_t> unscrambled;
  if (header->scrambled()) {
    unscrambled.assign(data.begin(), data.end());
    apply_image_key(key, unscrambled);
    size_t n = unscrambled.size();
    // A wrong key: the picture stays black.
    if (n < 2 || unscrambled[n - 2] != 'T' || unscrambled[n - 1] != 'S') return picture;
    data = unscrambled;
  }
  unpack_rct_stream(data, picture.page.pixels, header->width, header->height);
  spread_rows(picture.page, size_t(header->width) * 3);
  return picture;
}

std::optional<Page> decode_rc8(std::span<const uint8_t> file) {
  if (!magic_is(file, "8_00") || file.size() < kRc8HeaderSize) return std::nullopt;
  resources::ByteReader reader(file);
  reader.skip(8);
  int32_t width = reader.i32le();
  int32_t height = reader.i32le();
  uint32_t data_length = reader.u32le();
  std::span<const uint8_t> palette = reader.take(768);
  if (!reader.ok || !decodable_rct_size(file, file.size())) return std::nullopt;

  Page page = make_page(width, height, Depth::Indexed8);
  for (size_t i = 0; i < 256; ++i) page.palette[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2], 0};
  unpack_rc8_stream(file.subspan(kRc8HeaderSize, data_length), page.pixels, width, height);
  spread_rows(page, size_t(width));
  return page;
}

size_t unpack_rct_stream(std::span<const uint8_t> data, std::span<uint8_t> out, int32_t width, int32_t height) {
  return unpack_stream(kRctScheme, data, out, width, height);
}

size_t unpack_rc8_stream(std::span<const uint8_t> data, std::span<uint8_t> out, int32_t width, int32_t height) {
  return unpack_stream(kRc8Scheme, data, out, width, height);
}

std::optional<PictureSize> peek_rct_size(std::span<const uint8_t> file_start) {
  static constexpr std::string_view kKinds[] = {"TC00", "TC01", "TS00", "TS01", "8_00"};
  if (file_start.size() < 16) return std::nullopt;
  for (std::string_view kind : kKinds) {
    if (magic_is(file_start, kind)) {
      resources::ByteReader reader(file_start.subspan(8, 8));
      PictureSize size;
      size.width = reader.i32le();
      size.height = reader.i32le();
      return size;
    }
  }
  return std::nullopt;
}

std::optional<PictureSize> decodable_rct_size(std::span<const uint8_t> file_start, uint64_t file_length) {
  const bool rc8 = magic_is(file_start, "8_00");
  const bool difference = magic_is(file_start, "TC01") || magic_is(file_start, "TS01");
  if (!rc8 && !difference && !magic_is(file_start, "TC00") && !magic_is(file_start, "TS00")) return std::nullopt;
  resources::ByteReader reader(file_start);
  reader.skip(8);
  PictureSize size;
  size.width = reader.i32le();
  size.height = reader.i32le();
  uint64_t data_length = reader.u32le();
  uint64_t data_offset = rc8 ? kRc8HeaderSize : kRctHeaderSize;
  // A difference image's base name sits between the header and the data.
  if (difference) data_offset += 2 + uint64_t(reader.u16le());
  if (!reader.ok || !sane_size(size.width, size.height)) return std::nullopt;
  // A file shorter than its header announces is refused, not half decoded.
  if (file_length < data_offset || file_length - data_offset < data_length) return std::nullopt;
  return size;
}

void merge_difference(Page& picture, const Page& base) {
  if (picture.depth != Depth::Rgb24 || base.depth != Depth::Rgb24) return;
  const int32_t width = std::min(picture.width, base.width);
  const int32_t height = std::min(picture.height, base.height);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* to = picture.row(y);
    const uint8_t* from = base.row(y);
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = to + 3 * size_t(x);
      if (p[0] == 0 && p[1] == 0 && p[2] == 255) std::memcpy(p, from + 3 * size_t(x), 3);
    }
  }
}

}  // namespace tavelo::graphics
