// Arbitrary bytes as a glyph cache file, read by a cache opened at the cell
// size the file claims (so the fuzzer reaches the glyph checks). Every glyph
// the reader accepts must lie inside the used data, storing one more glyph
// must stay in bounds, and writing the cache and reading it back must give the
// same tables and data.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "resources/byte_reader.h"
#include "text/glyph_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::text;
  int32_t cell_width4 = 40, cell_height4 = 80;
  if (size >= 268) {
    cell_width4 = int32_t(tavelo::resources::load_u32le(data + 260));
    cell_height4 = int32_t(tavelo::resources::load_u32le(data + 264));
  }
  GlyphCache cache;
  reset_glyph_cache(cache, "face", cell_width4, cell_height4);
  if (!read_glyph_cache_file(cache, std::span<const uint8_t>(data, size))) {
    // A refused file leaves the fresh cache as it was.
    if (cache.used != kGlyphDataStart || cache.dirty) __builtin_trap();
    return 0;
  }
  if (cache.used > cache.data.size()) __builtin_trap();
  for (size_t code = 0; code < kGlyphCodeCount; ++code) {
    if (!glyph_cached(cache, uint16_t(code))) continue;
    const uint64_t end = uint64_t(cache.offsets[code]) + uint64_t(cache.widths[code]) * uint64_t(glyph_rows(cache));
    if (cache.offsets[code] < kGlyphDataStart || end > cache.used) __builtin_trap();
  }
  const int32_t rows = std::max(glyph_rows(cache), 0);
  if (rows <= 64) {
    std::vector<uint8_t> glyph(size_t(rows) * 12, 0x55);
    if (store_glyph(cache, 0x8E9A, 12, glyph) && cached_glyph(cache, 0x8E9A).size() != glyph.size()) __builtin_trap();
  }

  GlyphCache again;
  reset_glyph_cache(again, "face", cell_width4, cell_height4);
  if (!read_glyph_cache_file(again, write_glyph_cache_file(cache))) __builtin_trap();
  if (again.used != cache.used || again.widths != cache.widths || again.offsets != cache.offsets) __builtin_trap();
  if (!std::equal(again.data.begin(), again.data.begin() + again.used, cache.data.begin())) __builtin_trap();
  return 0;
}
