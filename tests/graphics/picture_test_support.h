#pragma once
// Helpers for the picture tests: pictures made and read back by ImageMagick
// (a decoder nobody here wrote), and pages with known content.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/page.h"
#include "graphics/picture_image.h"
#include "tests/support/test_files.h"

namespace tavelo::testing {

// Runs "convert ARGUMENTS"; true when it succeeded.
inline bool magick(const std::string& arguments) {
  ProcessResult result = run_command("convert " + arguments);
  return result.exit_status == 0;
}

// ImageMagick's own reading of a picture as 8-bit RGBA, row by row.
inline std::vector<uint8_t> magick_rgba(const TempDirectory& directory, const std::string& path) {
  std::string raw = directory.at("magick-dump.rgba");
  if (!magick("'" + path + "' -depth 8 rgba:'" + raw + "'")) return {};
  return read_bytes(raw);
}

// A decoded picture in the same RGBA layout (alpha 255 where it has no
// transparency page).
inline std::vector<uint8_t> rgba_of(const graphics::Page& colour, const graphics::Page* transparency) {
  std::vector<uint8_t> out;
  out.reserve(size_t(colour.width) * size_t(colour.height) * 4);
  for (int32_t y = 0; y < colour.height; ++y) {
    for (int32_t x = 0; x < colour.width; ++x) {
      uint8_t blue, green, red;
      if (colour.depth == graphics::Depth::Rgb24) {
        const uint8_t* p = colour.row(y) + 3 * size_t(x);
        blue = p[0], green = p[1], red = p[2];
      } else {
        const graphics::PaletteEntry& entry = colour.palette[colour.row(y)[x]];
        blue = entry.blue, green = entry.green, red = entry.red;
      }
      out.insert(out.end(), {red, green, blue, uint8_t(transparency ? 255 - transparency->row(y)[x] : 255)});
    }
  }
  return out;
}

inline std::vector<uint8_t> rgba_of(const graphics::DecodedImage& image) {
  return rgba_of(image.colour, image.transparency ? &*image.transparency : nullptr);
}

// Deterministic pseudo-random bytes.
struct Scramble {
  uint32_t state;
  uint8_t next() {
    state = state * 1664525u + 1013904223u;
    return uint8_t(state >> 24);
  }
};

// A 24-bit picture with repeats at many distances (so back-references of
// every kind occur) and some noise (so literal runs do too).
inline graphics::Page busy_page(int32_t width, int32_t height, uint32_t seed) {
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  Scramble random{seed};
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = page.row(y) + 3 * size_t(x);
      uint8_t choice = random.next() % 8;
      int32_t back = 1 + choice % 2;  // pixels
      if (choice < 3 && x >= back) {
        std::copy(p - 3 * back, p - 3 * back + 3, p);
      } else if (choice < 5 && y > 0) {
        std::copy(page.row(y - 1) + 3 * size_t(x), page.row(y - 1) + 3 * size_t(x) + 3, p);
      } else {
        p[0] = random.next(), p[1] = random.next() % 4, p[2] = random.next();
      }
    }
  }
  return page;
}

inline graphics::Page busy_indexed_page(int32_t width, int32_t height, uint32_t seed) {
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Indexed8);
  Scramble random{seed};
  for (auto& entry : page.palette) entry = {random.next(), random.next(), random.next(), 0};
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t choice = random.next() % 8;
      uint8_t value = random.next();
      if (choice < 3 && x > 0) value = page.row(y)[x - 1];
      if (choice >= 3 && choice < 5 && y > 0) value = page.row(y - 1)[x];
      page.row(y)[x] = value;
    }
  }
  return page;
}

// Same size, depth and pixels (padding excluded), and for 8-bit pages the palette.
inline bool same_picture(const graphics::Page& a, const graphics::Page& b) {
  if (a.width != b.width || a.height != b.height || a.depth != b.depth) return false;
  const size_t row = size_t(a.width) * size_t(a.bytes_per_pixel());
  for (int32_t y = 0; y < a.height; ++y) {
    if (!std::equal(a.row(y), a.row(y) + row, b.row(y))) return false;
  }
  if (a.depth == graphics::Depth::Indexed8) {
    for (size_t i = 0; i < 256; ++i) {
      const auto& p = a.palette[i];
      const auto& q = b.palette[i];
      if (p.blue != q.blue || p.green != q.green || p.red != q.red) return false;
    }
  }
  return true;
}

}  // namespace tavelo::testing
