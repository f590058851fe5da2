// Arbitrary bytes as a bitmap: whatever decodes has consistent pages.

#include <cstddef>
#include <cstdint>
#include <span>

#include "graphics/picture_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::graphics;
  std::optional<DecodedImage> image = decode_bmp(std::span<const uint8_t>(data, size));
  if (!image) return 0;
  const Page& colour = image->colour;
  if (colour.pixels.size() != size_t(colour.stride) * size_t(colour.height)) __builtin_trap();
  if (image->transparency && (image->transparency->width != colour.width ||
                              image->transparency->height != colour.height ||
                              image->transparency->depth != Depth::Indexed8 || colour.depth != Depth::Rgb24)) {
    __builtin_trap();
  }
  return 0;
}
