#include "text/glyph_cache.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/file_system.h"
#include "resources/byte_reader.h"

namespace tavelo::text {

namespace {

constexpr size_t kWidthTableOffset = 268;
constexpr size_t kDataOffset = kGlyphCacheHeaderSize;
static_assert(kWidthTableOffset + kGlyphCodeCount + 4 * kGlyphCodeCount + 12 == kGlyphCacheHeaderSize);

// Capacity for a glyph block of `needed` bytes: whole growth steps above the
// used size, as the cache grows while drawing.
size_t grown_capacity(size_t current, size_t needed) {
  while (current <= needed) current += kGlyphCacheGrowth;
  return current;
}

std::string parent_directory(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string glyph_cache_file_name(std::string_view face, int32_t cell_width4, int32_t cell_height4,
                                  CacheFileNaming naming) {
  char size[32];
  std::snprintf(size, sizeof size, "_%03dx%03d.fcd", cell_width4, cell_height4);
  std::string name = naming == CacheFileNaming::Smart ? "savedata\\fca_" : "savedata\\fc_";
  name += face;
  name += size;
  return name;
}

uint64_t glyph_data_ceiling(int32_t cell_height4) {
  const uint64_t rows = uint64_t(std::max(cell_height4 / 4, 0));
  return std::min<uint64_t>(kGlyphDataStart + kGlyphCodeCount * 255 * rows, kGlyphDataLimit);
}

std::span<const uint8_t> cached_glyph(const GlyphCache& cache, uint16_t code) {
  if (!glyph_cached(cache, code)) return {};
  const size_t size = size_t(cache.widths[code]) * size_t(std::max(glyph_rows(cache), 0));
  return std::span<const uint8_t>(cache.data).subspan(cache.offsets[code], size);
}

void reset_glyph_cache(GlyphCache& cache, std::string_view face, int32_t cell_width4, int32_t cell_height4) {
  cache.face = std::string(face);
  cache.cell_width4 = cell_width4;
  cache.cell_height4 = cell_height4;
  cache.widths.assign(kGlyphCodeCount, 0);
  cache.offsets.assign(kGlyphCodeCount, 0);
  cache.data.assign(kGlyphCacheGrowth, 0);
  cache.used = kGlyphDataStart;
  cache.dirty = false;
}

bool read_glyph_cache_file(GlyphCache& cache, std::span<const uint8_t> file) {
  resources::ByteReader reader(file);
  std::span<const uint8_t> face = reader.take(kGlyphCacheFaceField);
  const int32_t cell_width4 = reader.i32le();
  const int32_t cell_height4 = reader.i32le();
  std::span<const uint8_t> widths = reader.take(kGlyphCodeCount);
  std::span<const uint8_t> offsets = reader.take(4 * kGlyphCodeCount);
  reader.skip(4);  // capacity when written
  const uint32_t used = reader.u32le();
  reader.skip(4);
  if (!reader.ok || std::find(face.begin(), face.end(), 0) == face.end()) return false;
  // The file's name already says which face it holds; its cell size decides
  // the glyph layout, so it must be the one this cache was opened with.
  if (cell_width4 != cache.cell_width4 || cell_height4 != cache.cell_height4) return false;
  if (used < kGlyphDataStart || used > glyph_data_ceiling(cell_height4) || reader.remaining() != used) return false;

  const uint64_t rows = uint64_t(std::max(cell_height4 / 4, 0));
  std::vector<uint32_t> offset_table(kGlyphCodeCount);
  std::vector<uint8_t> width_table(widths.begin(), widths.end());
  for (size_t code = 0; code < kGlyphCodeCount; ++code) {
    const uint32_t offset = resources::load_u32le(offsets.data() + 4 * code);
    if (offset == 0 || width_table[code] == 0) {
      // Half an entry is "not cached" everywhere; clearing it keeps the
      // tables consistent for the next write.
      width_table[code] = 0;
      continue;
    }
    if (rows == 0 || offset < kGlyphDataStart || uint64_t(offset) + width_table[code] * rows > used) return false;
    offset_table[code] = offset;
  }

  cache.widths = std::move(width_table);
  cache.offsets = std::move(offset_table);
  std::span<const uint8_t> data = reader.take(used);
  cache.data.assign(grown_capacity(used, used), 0);
  std::copy(data.begin(), data.end(), cache.data.begin());
  cache.used = used;
  cache.dirty = false;
  return true;
}

std::vector<uint8_t> write_glyph_cache_file(const GlyphCache& cache) {
  std::vector<uint8_t> file(kGlyphCacheHeaderSize + cache.used, 0);
  std::copy_n(cache.face.begin(), std::min(cache.face.size(), kGlyphCacheFaceField - 1), file.begin());
  uint8_t* p = file.data() + kGlyphCacheFaceField;
  resources::store_u32le(p, uint32_t(cache.cell_width4));
  resources::store_u32le(p + 4, uint32_t(cache.cell_height4));
  p = file.data() + kWidthTableOffset;
  if (cache.widths.size() == kGlyphCodeCount && cache.offsets.size() == kGlyphCodeCount) {
    std::copy(cache.widths.begin(), cache.widths.end(), p);
    for (size_t code = 0; code < kGlyphCodeCount; ++code) {
      resources::store_u32le(p + kGlyphCodeCount + 4 * code, cache.offsets[code]);
    }
  }
  p = file.data() + kWidthTableOffset + 5 * kGlyphCodeCount;
  resources::store_u32le(p, uint32_t(cache.data.size()));
  resources::store_u32le(p + 4, cache.used);
  const size_t data_bytes = std::min<size_t>(cache.used, cache.data.size());
  std::copy_n(cache.data.begin(), data_bytes, file.begin() + kDataOffset);
  return file;
}

bool store_glyph(GlyphCache& cache, uint16_t code, int32_t width, std::span<const uint8_t> rows) {
  const int32_t row_count = glyph_rows(cache);
  if (cache.offsets.empty() || width < 1 || width > 255 || row_count < 1) return false;
  const size_t size = size_t(width) * size_t(row_count);
  if (rows.size() < size || uint64_t(cache.used) + size > kGlyphDataLimit) return false;
  // The growth test reserves width × (height × 4) bytes, four times the glyph,
  // as the file format's writers always have; a glyph larger than one step
  // grows by as many steps as it needs.
  const size_t reserve = size_t(cache.used) + size_t(width) * size_t(cache.cell_height4) + 16;
  if (reserve >= cache.data.size()) cache.data.resize(grown_capacity(cache.data.size(), reserve), 0);
  cache.widths[code] = uint8_t(width);
  cache.offsets[code] = cache.used;
  std::copy_n(rows.begin(), size, cache.data.begin() + cache.used);
  cache.used += uint32_t(size);
  cache.dirty = true;
  return true;
}

bool save_glyph_cache(const GlyphCache& cache, const std::string& host_path) {
  const std::string directory = parent_directory(host_path);
  if (!directory.empty() && !platform::is_directory(directory)) platform::make_directories(directory);
  return platform::write_file_atomically(host_path, write_glyph_cache_file(cache));
}

CacheLoad open_glyph_cache(GlyphCache& cache, std::string_view face, int32_t height, int32_t width,
                           std::string host_path, CacheWrites writes) {
  close_glyph_cache(cache, writes);
  if (face.empty()) return CacheLoad::Closed;
  reset_glyph_cache(cache, face, width * 4, height * 4);
  cache.host_path = std::move(host_path);
  if (cache.host_path.empty()) return CacheLoad::Missing;
  std::optional<platform::File> file = platform::File::open(cache.host_path, platform::OpenMode::Read);
  if (!file) return CacheLoad::Missing;
  // A damaged file is rebuilt from scratch and replaced at the next close.
  // The length decides first, so a huge file costs no memory and no reading.
  const uint64_t length = file->length();
  if (length < kGlyphCacheHeaderSize || length - kGlyphCacheHeaderSize > glyph_data_ceiling(cache.cell_height4)) {
    return CacheLoad::Damaged;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  if (file->read(bytes) != bytes.size()) return CacheLoad::Damaged;
  return read_glyph_cache_file(cache, bytes) ? CacheLoad::FromFile : CacheLoad::Damaged;
}

bool close_glyph_cache(GlyphCache& cache, CacheWrites writes) {
  if (cache.face.empty()) return false;
  bool written = false;
  if (writes == CacheWrites::Allowed && cache.dirty && !cache.host_path.empty()) {
    written = save_glyph_cache(cache, cache.host_path);
  }
  cache = GlyphCache{};
  return written;
}

}  // namespace tavelo::text
