// Arbitrary bytes as an .rc8 file: decoding must stay inside the input and the
// page, and give a page of exactly the announced size; a size query from the
// header fails exactly where decoding fails.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "graphics/picture_rct.h"
#include "resources/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::graphics;
  std::span<const uint8_t> file(data, size);
  std::optional<PictureSize> announced = peek_rct_size(file);
  if (!announced || int64_t(announced->width) * announced->height > (int64_t(1) << 22)) return 0;
  std::optional<Page> page = decode_rc8(file);
  // Size queries read only the header; for an .rc8 file (not one of the .rct
  // magics, which this decoder refuses) they must fail exactly where decoding fails.
  std::optional<PictureSize> queried = decodable_rct_size(file.first(std::min(size, kRc8HeaderSize)), size);
  if (!parse_rct_header(file) && queried.has_value() != page.has_value()) __builtin_trap();
  if (!page) return 0;
  if (page->width != announced->width || page->height != announced->height || page->depth != Depth::Indexed8) {
    __builtin_trap();
  }
  if (page->pixels.size() != size_t(page->stride) * size_t(page->height)) __builtin_trap();
  return 0;
}
