// PNG reading and writing through libpng 1.6.
//
// libpng reports errors by long-jumping back to a setjmp point. Each setjmp
// here sits in a small function that owns no object with a destructor, and
// the only frames a jump can cross are libpng's own and the plain callbacks
// below, so no C++ cleanup is ever skipped. Buffers are allocated by the
// callers of those functions and handed in as raw pointers.

#include "graphics/picture_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "graphics/picture_rct.h"

namespace tavelo::graphics {
namespace {

// libpng reads side chunks (text, profiles) whole, allocating and clearing
// what the chunk's length field announces before it finds the file too short:
// a few bytes could cost gigabytes. Every chunk must therefore lie inside the
// file, up to the end chunk.
bool chunks_fit(std::span<const uint8_t> file) {
  size_t position = 8;  // after the signature, which libpng checks
  while (position < file.size()) {
    if (file.size() - position < 12) return false;
    const uint8_t* chunk = file.data() + position;
    const uint32_t length = uint32_t(chunk[0]) << 24 | uint32_t(chunk[1]) << 16 | uint32_t(chunk[2]) << 8 | chunk[3];
    if (length > file.size() - position - 12) return false;
    if (std::memcmp(chunk + 4, "IEND", 4) == 0) return true;
    position += 12 + size_t(length);
  }
  return false;
}

struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t position;
};

void read_from_memory(png_structp png, png_bytep out, size_t length) {
  MemorySource* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (length > source->size - source->position) png_error(png, "truncated");
  std::memcpy(out, source->data + source->position, length);
  source->position += length;
}

[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

struct PngHeader {
  png_uint_32 width;
  png_uint_32 height;
  int bit_depth;
  int colour_type;
  int interlace;
  png_colorp palette;
  int palette_count;
  png_bytep trns_alpha;
  int trns_count;
  png_color_16p trns_colour;
  bool has_trns;
};

bool read_header(png_structp png, png_infop info, PngHeader* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_get_IHDR(png, info, &header->width, &header->height, &header->bit_depth, &header->colour_type,
               &header->interlace, nullptr, nullptr);
  header->palette = nullptr;
  header->palette_count = 0;
  png_get_PLTE(png, info, &header->palette, &header->palette_count);
  header->trns_alpha = nullptr;
  header->trns_count = 0;
  header->trns_colour = nullptr;
  header->has_trns =
      png_get_tRNS(png, info, &header->trns_alpha, &header->trns_count, &header->trns_colour) & PNG_INFO_tRNS;
  return true;
}

// Reads every pass into rows; libpng places interlaced pixels itself.
bool read_rows(png_structp png, png_infop info, png_bytepp rows, png_uint_32 height, int passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_update_info(png, info);
  for (int pass = 0; pass < passes; ++pass) png_read_rows(png, rows, nullptr, height);
  return true;
}

int channels_of(int colour_type) {
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 0;
  }
}

// One raw row (colour in blue-green-red order after png_set_bgr) to the
// colour page and, when there is one, the transparency page.
void convert_row(const PngHeader& header, const PaletteEntry* palette, const uint8_t* raw, uint8_t* colour,
                 uint8_t* alpha, int32_t width) {
  switch (header.colour_type) {
    case PNG_COLOR_TYPE_GRAY: {
      const int key = header.has_trns && header.trns_colour ? header.trns_colour->gray : -1;
      for (int32_t x = 0; x < width; ++x) {
        uint8_t g = raw[x];
        colour[0] = colour[1] = colour[2] = g;
        colour += 3;
        if (alpha) alpha[x] = g == key ? 255 : 0;
      }
      break;
    }
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      for (int32_t x = 0; x < width; ++x) {
        colour[0] = colour[1] = colour[2] = raw[0];
        alpha[x] = uint8_t(255 - raw[1]);
        colour += 3;
        raw += 2;
      }
      break;
    case PNG_COLOR_TYPE_PALETTE:
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t index = raw[x];
        const PaletteEntry& entry = palette[index];
        colour[0] = entry.blue;
        colour[1] = entry.green;
        colour[2] = entry.red;
        colour += 3;
        if (alpha) alpha[x] = index < header.trns_count ? uint8_t(255 - header.trns_alpha[index]) : 0;
      }
      break;
    case PNG_COLOR_TYPE_RGB: {
      std::memcpy(colour, raw, size_t(width) * 3);
      if (!alpha) break;
      const png_color_16& key = *header.trns_colour;
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t* p = raw + 3 * size_t(x);
        alpha[x] = (p[2] == key.red && p[1] == key.green && p[0] == key.blue) ? 255 : 0;
      }
      break;
    }
    case PNG_COLOR_TYPE_RGB_ALPHA:
      for (int32_t x = 0; x < width; ++x) {
        colour[0] = raw[0];
        colour[1] = raw[1];
        colour[2] = raw[2];
        alpha[x] = uint8_t(255 - raw[3]);
        colour += 3;
        raw += 4;
      }
      break;
  }
}

PngResult decode_with(png_structp png, png_infop info, PngDecoded& result) {
  PngHeader header{};
  if (!read_header(png, info, &header)) return PngResult::LibraryError;
  const int channels = channels_of(header.colour_type);
  if (channels == 0) return PngResult::UnsupportedColourType;
  if (header.bit_depth != 8) return PngResult::UnsupportedBitDepth;
  if (header.interlace != PNG_INTERLACE_NONE && header.interlace != PNG_INTERLACE_ADAM7) {
    return PngResult::UnsupportedInterlace;
  }
  const int32_t width = int32_t(header.width);
  const int32_t height = int32_t(header.height);
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
    return PngResult::LibraryError;
  }
  // A key colour only means something for grey and RGB pictures.
  const bool key_colour = header.has_trns && header.trns_colour &&
                          (header.colour_type == PNG_COLOR_TYPE_GRAY || header.colour_type == PNG_COLOR_TYPE_RGB);
  const bool palette_alpha = header.has_trns && header.colour_type == PNG_COLOR_TYPE_PALETTE && header.trns_alpha;
  if (!palette_alpha) header.trns_count = 0;
  const bool has_alpha = key_colour || palette_alpha || header.colour_type == PNG_COLOR_TYPE_GRAY_ALPHA ||
                         header.colour_type == PNG_COLOR_TYPE_RGB_ALPHA;

  PaletteEntry palette[256] = {};
  for (int i = 0; i < header.palette_count && i < 256; ++i) {
    palette[i] = {header.palette[i].blue, header.palette[i].green, header.palette[i].red, 0};
  }

  png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  const size_t raw_stride = size_t(width) * size_t(channels);
  std::vector<uint8_t> raw(raw_stride * size_t(height));
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) rows[size_t(y)] = raw.data() + size_t(y) * raw_stride;
  if (!read_rows(png, info, rows.data(), header.height, passes)) return PngResult::LibraryError;

  DecodedImage image;
  image.colour = make_page(width, height, Depth::Rgb24);
  if (has_alpha) image.transparency = make_page(width, height, Depth::Indexed8);
  for (int32_t y = 0; y < height; ++y) {
    convert_row(header, palette, rows[size_t(y)], image.colour.row(y),
                has_alpha ? image.transparency->row(y) : nullptr, width);
  }
  result.image = std::move(image);
  return PngResult::Success;
}

struct MemorySink {
  std::vector<uint8_t>* bytes;
};

void write_to_memory(png_structp png, png_bytep data, size_t length) {
  MemorySink* sink = static_cast<MemorySink*>(png_get_io_ptr(png));
  sink->bytes->insert(sink->bytes->end(), data, data + length);
}

void flush_nothing(png_structp) {}

bool write_image(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height, int colour_type,
                 png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, width, height, 8, colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

PngDecoded decode_png(std::span<const uint8_t> file) {
  PngDecoded result;
  if (!chunks_fit(file)) return result;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) {
    result.result = PngResult::NoReadStruct;
    return result;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    result.result = PngResult::NoInfoStruct;
    return result;
  }
  png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
  MemorySource source{file.data(), file.size(), 0};
  png_set_read_fn(png, &source, read_from_memory);
  result.result = decode_with(png, info, result);
  png_destroy_read_struct(&png, &info, nullptr);
  if (result.result != PngResult::Success) result.image.reset();
  return result;
}

std::vector<uint8_t> encode_png(const Page& colour, const Page* transparency) {
  if (transparency &&
      (transparency->width != colour.width || transparency->height != colour.height ||
       transparency->depth != Depth::Indexed8)) {
    return {};
  }
  const size_t channels = transparency ? 4 : 3;
  const size_t stride = size_t(colour.width) * channels;
  std::vector<uint8_t> pixels(stride * size_t(colour.height));
  std::vector<png_bytep> rows(size_t(colour.height));
  for (int32_t y = 0; y < colour.height; ++y) {
    uint8_t* to = pixels.data() + size_t(y) * stride;
    rows[size_t(y)] = to;
    const uint8_t* from = colour.row(y);
    for (int32_t x = 0; x < colour.width; ++x) {
      if (colour.depth == Depth::Rgb24) {
        std::memcpy(to, from + 3 * size_t(x), 3);
      } else {
        const PaletteEntry& entry = colour.palette[from[x]];
        to[0] = entry.blue;
        to[1] = entry.green;
        to[2] = entry.red;
      }
      if (transparency) to[3] = uint8_t(255 - transparency->row(y)[x]);
      to += channels;
    }
  }

  std::vector<uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) return {};
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return {};
  }
  MemorySink sink{&bytes};
  png_set_write_fn(png, &sink, write_to_memory, flush_nothing);
  bool written = write_image(png, info, png_uint_32(colour.width), png_uint_32(colour.height),
                             transparency ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, rows.data());
  png_destroy_write_struct(&png, &info);
  if (!written) return {};
  return bytes;
}

}  // namespace tavelo::graphics
