#pragma once
// Encoders for the engine's picture formats, used by tvimg, the tests, the
// fuzz seeds and the benchmarks. The compressor tries every back-reference
// offset the format allows at each position, takes the longest run, and
// gathers pixels that match nowhere into literal runs.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "graphics/page.h"
#include "graphics/picture_rct.h"

namespace tavelo::tools {

// Compressed streams of packed pixels (width * 3 or width bytes per row).
std::vector<uint8_t> pack_rct_stream(std::span<const uint8_t> packed, int32_t width, int32_t height);
std::vector<uint8_t> pack_rc8_stream(std::span<const uint8_t> packed, int32_t width, int32_t height);

struct RctOptions {
  // Scramble with the key made from this string (game code page).
  std::optional<std::string> key;
  // A difference image: base_name (game code page) is written into the file,
  // and pixels equal to the base's become pure red.
  std::string base_name;
  const graphics::Page* base = nullptr;
};

struct RctEncoded {
  std::vector<uint8_t> bytes;
  // Pure-red pixels over the base that had to become red 254 (a pure-red
  // pixel there would show the base instead).
  size_t nudged_pixels = 0;
};

// picture must be 24-bit.
RctEncoded encode_rct(const graphics::Page& picture, const RctOptions& options = {});
// picture must be 8-bit; its palette is written as it is.
std::vector<uint8_t> encode_rc8(const graphics::Page& picture);

// An 8-bit page with an exact palette (colours in order of first use), or
// nullopt when the picture has more than 256 colours. 8-bit pages come back
// unchanged.
std::optional<graphics::Page> to_indexed(const graphics::Page& picture);

// The pixels of a page without row padding.
std::vector<uint8_t> packed_pixels(const graphics::Page& page);

}  // namespace tavelo::tools
