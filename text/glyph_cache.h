#pragma once
// The glyph cache: anti-aliased glyphs of one face and cell size, kept in
// memory while open and in "savedata\fc_<face>_<width×4>x<height×4>.fcd"
// between runs, so each character is rasterised once per size across runs.
// One cache is open at a time (Renderer::cache); fontcache_open, the renderer's
// draw and the start-up pre-build use these functions.
//
// File layout, little-endian: face name (260 bytes, NUL-terminated), cell
// width × 4 (i32), cell height × 4 (i32), width table (65 536 u8), offset
// table (65 536 u32), capacity (u32, ignored when read), used size U (u32),
// 4 unused bytes, then U bytes of glyph data. A glyph is cell-height rows of
// width coverage bytes (255 no ink, 0 full ink) at its offset in the data;
// offset 0 never names a glyph, so the data starts with 4 unused bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::text {

inline constexpr size_t kGlyphCacheFaceField = 260;
inline constexpr size_t kGlyphCodeCount = 65536;
inline constexpr size_t kGlyphCacheHeaderSize = 327960;
inline constexpr uint32_t kGlyphCacheGrowth = 0x80000;
inline constexpr uint32_t kGlyphDataStart = 4;
// Glyph data beyond this is not grown into: the cache stops taking glyphs
// (they are still drawn) instead of letting a u32 offset wrap.
inline constexpr uint32_t kGlyphDataLimit = 0x40000000;

struct GlyphCache {
  std::string face;  // game code page; empty while no cache is open
  int32_t cell_width4 = 0;
  int32_t cell_height4 = 0;
  std::vector<uint8_t> widths;    // per character code; 0 = no glyph
  std::vector<uint32_t> offsets;  // per character code; 0 = no glyph
  std::vector<uint8_t> data;      // glyph data; size() is the capacity
  uint32_t used = kGlyphDataStart;
  bool dirty = false;
  std::string host_path;  // where close writes the cache; empty: never written
};

enum class CacheFileNaming { Plain, Smart };   // "fc_" or "fca_" (FONTCACHESMART)
enum class CacheWrites { Allowed, Disabled };  // Disabled under LOADSAVEDISABLE
enum class CacheLoad { Closed, FromFile, Missing, Damaged };

// The engine file name of a cache, in the game code page:
// "savedata\fc_<face>_%03dx%03d.fcd" with cell width × 4 and height × 4.
std::string glyph_cache_file_name(std::string_view face, int32_t cell_width4, int32_t cell_height4,
                                  CacheFileNaming naming);

// Rows of every glyph in the cache (the cell height).
inline int32_t glyph_rows(const GlyphCache& cache) { return cache.cell_height4 / 4; }

inline bool glyph_cached(const GlyphCache& cache, uint16_t code) {
  return !cache.offsets.empty() && cache.offsets[code] != 0 && cache.widths[code] != 0;
}

// A cached glyph's rows, glyph_rows × widths[code] bytes; empty when not cached.
std::span<const uint8_t> cached_glyph(const GlyphCache& cache, uint16_t code);

// Makes the cache an empty one for the face and cell size: zeroed tables and
// one growth step of data. Keeps host_path.
void reset_glyph_cache(GlyphCache& cache, std::string_view face, int32_t cell_width4, int32_t cell_height4);

// The most glyph data a cache of this cell size can hold: every character
// code with a glyph of the widest width, within kGlyphDataLimit. A file
// holding more is damaged, whatever its tables say.
uint64_t glyph_data_ceiling(int32_t cell_height4);

// Loads a cache file over a cache already reset for its face and size. Every
// size and offset is checked against the file: the cell size must be the
// cache's, the file exactly the header plus U bytes, U within
// glyph_data_ceiling, every glyph inside the data. False (and the cache
// untouched) for any damage.
[[nodiscard]] bool read_glyph_cache_file(GlyphCache& cache, std::span<const uint8_t> file);

// The file image: header, then the used part of the data.
std::vector<uint8_t> write_glyph_cache_file(const GlyphCache& cache);

// Writes the file image to host_path atomically, creating its directory.
bool save_glyph_cache(const GlyphCache& cache, const std::string& host_path);

// Appends a glyph of rows × width bytes (rows = glyph_rows). False, storing
// nothing, when the width does not fit the width table's byte (1..255), the
// rows are short or the data would pass kGlyphDataLimit. Grows the data in
// kGlyphCacheGrowth steps and sets the dirty flag.
bool store_glyph(GlyphCache& cache, uint16_t code, int32_t width, std::span<const uint8_t> rows);

// fontcache_open: closes the open cache, then opens the one for face and cell
// size (height × 4, width × 4), loading host_path when it holds an intact file.
// An empty face only closes. A missing or damaged file gives an empty cache;
// a file longer than any cache of that size is refused by its length alone,
// before anything of it is read.
CacheLoad open_glyph_cache(GlyphCache& cache, std::string_view face, int32_t height, int32_t width,
                           std::string host_path, CacheWrites writes);

// Writes the open cache when it is dirty and writes are allowed (atomically,
// creating its directory; a failed write loses the cache silently), then
// frees it. True when a file was written.
bool close_glyph_cache(GlyphCache& cache, CacheWrites writes);

}  // namespace tavelo::text
