// Arbitrary bytes as an .rct file, plain or scrambled with the key the seeds
// use, then merged over a small base. Decoding must stay inside the input and
// the page, and give a page of exactly the announced size; a size query from
// the header fails exactly where decoding fails.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "graphics/picture_rct.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::graphics;
  std::span<const uint8_t> file(data, size);
  std::optional<RctHeader> header = parse_rct_header(file);
  // Huge pictures are legal but only slow the search down.
  if (!header || int64_t(header->width) * header->height > (int64_t(1) << 20)) return 0;
  const ImageKey key = make_image_key("fuzz");
  std::optional<RctPicture> picture = decode_rct(file, key);
  // Size queries read only the start of the file; they must fail exactly
  // where decoding fails.
  std::optional<PictureSize> queried = decodable_rct_size(file.first(std::min(size, kRc8HeaderSize)), size);
  if (queried.has_value() != picture.has_value()) __builtin_trap();
  if (!picture) return 0;
  if (queried->width != header->width || queried->height != header->height) __builtin_trap();
  if (picture->page.width != header->width || picture->page.height != header->height) __builtin_trap();
  if (picture->page.pixels.size() != size_t(picture->page.stride) * size_t(picture->page.height)) __builtin_trap();
  Page base = make_page(7, 5, Depth::Rgb24);
  merge_difference(picture->page, base);
  return 0;
}
