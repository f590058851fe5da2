#pragma once
// The screen capture's file format: a 24-bit page as an uncompressed BMP file
// (14-byte file header, 40-byte information header with a positive height,
// rows bottom-up padded to 4 bytes, two zero bytes at the end). The main
// window's capture command writes the bytes to the chosen file.

#include <cstdint>
#include <vector>

#include "graphics/page.h"

namespace tavelo::graphics {

// The file's bytes; empty for pages that are not 24-bit.
std::vector<uint8_t> encode_bmp24(const Page& page);

}  // namespace tavelo::graphics
