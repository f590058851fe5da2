// Arbitrary bytes as a PNG through libpng and our conversion: errors come back
// as result codes, and whatever decodes has consistent pages.

#include <cstddef>
#include <cstdint>
#include <span>

#include "graphics/picture_png.h"
#include "resources/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::graphics;
  // Huge announced pictures are legal but only slow the search down.
  if (size >= 24) {
    uint64_t width = __builtin_bswap32(tavelo::resources::load_u32le(data + 16));
    uint64_t height = __builtin_bswap32(tavelo::resources::load_u32le(data + 20));
    if (width * height > (uint64_t(1) << 20)) return 0;
  }
  PngDecoded decoded = decode_png(std::span<const uint8_t>(data, size));
  if ((decoded.result == PngResult::Success) != decoded.image.has_value()) __builtin_trap();
  if (!decoded.image) return 0;
  const Page& colour = decoded.image->colour;
  if (colour.depth != Depth::Rgb24 || colour.pixels.size() != size_t(colour.stride) * size_t(colour.height)) {
    __builtin_trap();
  }
  if (decoded.image->transparency && (decoded.image->transparency->width != colour.width ||
                                      decoded.image->transparency->height != colour.height)) {
    __builtin_trap();
  }
  return 0;
}
