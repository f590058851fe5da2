#pragma once
// PNG pictures through libpng: reading the accepted subset (8 bits per
// channel; grey, grey with alpha, palette, RGB, RGBA; plain or Adam7) into a
// 24-bit colour page plus a transparency page, and writing pages as PNG (for
// screenshots and the picture tool). Everything that touches libpng's
// long-jump error handling stays inside the implementation file.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "graphics/picture_image.h"

namespace tavelo::graphics {

// The reader's result codes; every code but Success means no image.
enum class PngResult : int {
  Success = 0,
  CannotOpen = 1,
  NoReadStruct = 2,
  NoInfoStruct = 3,
  UnsupportedColourType = 4,
  UnsupportedBitDepth = 5,
  UnsupportedInterlace = 6,
  LibraryError = 7,  // damaged or truncated data, or not a PNG at all
};

struct PngDecoded {
  PngResult result = PngResult::LibraryError;
  std::optional<DecodedImage> image;
};

// Reads a PNG held in memory. The colour page is always 24-bit; grey is spread
// to all three channels and palettes are expanded. The transparency page
// exists when the file has an alpha channel or a transparency chunk.
PngDecoded decode_png(std::span<const uint8_t> file);

// Writes a 24-bit or 8-bit page (8-bit through its palette) as an 8-bit RGB
// PNG, or RGBA when a transparency page of the same size is given. Empty on
// failure.
std::vector<uint8_t> encode_png(const Page& colour, const Page* transparency = nullptr);

}  // namespace tavelo::graphics
