#pragma once
// The Windows bitmaps the engine accepts: uncompressed 8-bit (palette),
// 24-bit and 32-bit pictures with either the 12-byte core header or a header
// of 40 bytes or more, rows bottom-up or (negative height) top-down. A 32-bit
// picture's fourth byte is its opacity; it becomes a transparency page unless
// it is zero everywhere. Anything else gives no image.

#include <cstdint>
#include <optional>
#include <span>

#include "graphics/picture_image.h"

namespace tavelo::graphics {

std::optional<DecodedImage> decode_bmp(std::span<const uint8_t> file);

}  // namespace tavelo::graphics
