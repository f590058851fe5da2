#include "text/renderer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/file_system.h"
#include "platform/font_lookup.h"
#include "resources/multibyte.h"
#include "text/prebuild_characters.h"

namespace tavelo::text {

// FreeType state. Faces are opened once and kept: switching between a few
// faces (a name in one font, the line in another) only sets a size.
struct FontEngine {
  FontEngine() = default;
  ~FontEngine();
  FontEngine(const FontEngine&) = delete;
  FontEngine& operator=(const FontEngine&) = delete;

  struct LoadedFace {
    FT_Face face = nullptr;
    std::string path;  // system font file; empty for a private font
    const std::vector<uint8_t>* memory = nullptr;  // private font file
    int32_t index = 0;
  };
  struct PrivateFace {
    std::vector<std::string> names;  // UTF-8 family and full names
    size_t loaded = 0;               // index in faces
  };

  FT_Library library = nullptr;
  platform::FontLookup lookup;
  // Declared before faces: memory faces read these bytes until they are closed.
  std::vector<std::unique_ptr<std::vector<uint8_t>>> private_files;
  std::vector<PrivateFace> private_faces;
  std::vector<LoadedFace> faces;
  // Face names already resolved (game code page) and their face, -1 for none.
  std::vector<std::pair<std::string, int32_t>> resolved;

  // The realised font: face name and size in supersampled pixels.
  bool realised = false;
  std::string realised_face;
  int32_t lf_height = 0;
  int32_t lf_width = 0;
  FT_Face face = nullptr;  // nullptr when no font draws the face
  int32_t ascent = 0;      // baseline below the cell top, realised pixels
  std::vector<int32_t> extents;       // per character code: the font's advance, -1 unknown
  std::vector<char32_t> code_points;  // per character code, kUnknownCodePoint until asked
  std::vector<uint8_t> ink;           // supersampled ink of one glyph (1 = ink)
  std::vector<uint8_t> glyph;         // one reduced glyph, width × rows coverage
};

FontEngine::~FontEngine() {
  for (LoadedFace& loaded : faces) FT_Done_Face(loaded.face);
  faces.clear();
  if (library) FT_Done_FreeType(library);
}

void FontEngineDeleter::operator()(FontEngine* engine) const { delete engine; }

namespace {

constexpr char32_t kUnknownCodePoint = 0xFFFFFFFF;
// Cells beyond this are not drawn: a script's height of a million would ask
// for gigabytes of line buffer and glyph bitmaps.
constexpr int32_t kMaxCellSize = 1024;
// "明朝" in CP932.
constexpr std::string_view kMincho = "\x96\xBE\x92\xA9";

// Weights of the 4 × 4 reduction: the centre samples count twice, the twelve
// around them once, 20 in all.
constexpr std::array<uint8_t, 16> kWeights{1, 1, 1, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 1};

enum class Thickening { None, Mincho };

FontEngine& font_engine(Renderer& renderer) {
  if (!renderer.fonts) {
    renderer.fonts.reset(new FontEngine);
    FontEngine& engine = *renderer.fonts;
    if (FT_Init_FreeType(&engine.library) != 0) engine.library = nullptr;
    engine.extents.assign(kGlyphCodeCount, -1);
    engine.code_points.assign(kGlyphCodeCount, kUnknownCodePoint);
  }
  return *renderer.fonts;
}

bool renderable(const FontRecord& record) {
  return record.height >= 1 && record.height <= kMaxCellSize && record.width <= kMaxCellSize;
}

// The text up to its first NUL: game strings end there.
std::string_view until_nul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (resources::ascii_lower(a[i]) != resources::ascii_lower(b[i])) return false;
  }
  return true;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | c >> 6);
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | c >> 12);
    out += char(0x80 | (c >> 6 & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | c >> 18);
    out += char(0x80 | (c >> 12 & 0x3F));
    out += char(0x80 | (c >> 6 & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

std::string utf16be_to_utf8(const uint8_t* bytes, size_t size) {
  std::string out;
  for (size_t i = 0; i + 1 < size; i += 2) {
    char32_t unit = char32_t(bytes[i] << 8 | bytes[i + 1]);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
      const char32_t low = char32_t(bytes[i + 2] << 8 | bytes[i + 3]);
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    append_utf8(out, unit);
  }
  return out;
}

// The names a face answers to: FreeType's family name and the family, full
// and typographic family names of the name table in every language, so a
// Japanese game can ask for a private font by its Japanese name.
std::vector<std::string> face_names(FT_Face face) {
  std::vector<std::string> names;
  if (face->family_name) names.emplace_back(face->family_name);
  const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
  for (FT_UInt i = 0; i < count; ++i) {
    FT_SfntName name;
    if (FT_Get_Sfnt_Name(face, i, &name) != 0) continue;
    if (name.name_id != TT_NAME_ID_FONT_FAMILY && name.name_id != TT_NAME_ID_FULL_NAME &&
        name.name_id != TT_NAME_ID_TYPOGRAPHIC_FAMILY) {
      continue;
    }
    std::string text;
    if (name.platform_id == TT_PLATFORM_MICROSOFT || name.platform_id == TT_PLATFORM_APPLE_UNICODE) {
      text = utf16be_to_utf8(name.string, name.string_len);
    } else if (name.platform_id == TT_PLATFORM_MACINTOSH && name.encoding_id == TT_MAC_ID_ROMAN &&
               std::all_of(name.string, name.string + name.string_len, [](uint8_t b) { return b < 0x80; })) {
      text.assign(reinterpret_cast<const char*>(name.string), name.string_len);
    }
    if (!text.empty() && std::find(names.begin(), names.end(), text) == names.end()) names.push_back(text);
  }
  return names;
}

int32_t open_system_face(FontEngine& engine, const platform::FontFile& file) {
  for (size_t i = 0; i < engine.faces.size(); ++i) {
    if (engine.faces[i].path == file.path && engine.faces[i].index == file.face_index) return int32_t(i);
  }
  FT_Face face = nullptr;
  if (FT_New_Face(engine.library, file.path.c_str(), file.face_index, &face) != 0) return -1;
  engine.faces.push_back({face, file.path, nullptr, file.face_index});
  return int32_t(engine.faces.size() - 1);
}

// The face for a face name: a private font of that name first (a game's own
// font wins over an installed one), else the installed font fontconfig names.
int32_t resolve_face(Renderer& renderer, FontEngine& engine, const std::string& face_name) {
  for (const auto& [name, index] : engine.resolved) {
    if (name == face_name) return index;
  }
  int32_t index = -1;
  if (engine.library) {
    std::string utf8 = face_name;
    if (renderer.codec.to_utf8) utf8 = renderer.codec.to_utf8(face_name).value_or(face_name);
    for (const FontEngine::PrivateFace& candidate : engine.private_faces) {
      for (const std::string& name : candidate.names) {
        if (index < 0 && equal_ignoring_ascii_case(name, utf8)) index = int32_t(candidate.loaded);
      }
    }
    if (index < 0) {
      if (std::optional<platform::FontFile> file = platform::find_font_file(engine.lookup, utf8)) {
        index = open_system_face(engine, *file);
      }
    }
  }
  engine.resolved.emplace_back(face_name, index);
  return index;
}

int32_t realised_width(const FontRecord& record, int32_t scale) {
  // Odd heights have a rounded-down default width; the half pixel keeps the
  // glyphs' proportions.
  return record.width > 0 ? scale * record.width + (record.height % 2 != 0 ? scale / 2 : 0) : 0;
}

// Realises the record's face at scale (only when face or size changed);
// nullptr when no installed or private font draws it.
FT_Face realise(Renderer& renderer, const FontRecord& record, int32_t scale) {
  FontEngine& engine = font_engine(renderer);
  const int32_t lf_height = scale * record.height;
  const int32_t lf_width = realised_width(record, scale);
  if (engine.realised && engine.realised_face == record.face && engine.lf_height == lf_height &&
      engine.lf_width == lf_width) {
    return engine.face;
  }
  engine.realised = true;
  engine.realised_face = record.face;
  engine.lf_height = lf_height;
  engine.lf_width = lf_width;
  engine.face = nullptr;
  std::fill(engine.extents.begin(), engine.extents.end(), -1);
  const int32_t index = resolve_face(renderer, engine, record.face);
  if (index < 0) return nullptr;
  FT_Face face = engine.faces[size_t(index)].face;
  // The cell width is the average width of a character, which for Japanese
  // faces is half the em: the em is twice as wide. Width 0 keeps the face's
  // own proportions.
  const FT_UInt x_ppem = lf_width > 0 ? FT_UInt(2 * lf_width) : FT_UInt(lf_height);
  if (FT_Set_Pixel_Sizes(face, x_ppem, FT_UInt(lf_height)) != 0) return nullptr;
  // The cell is the em; ascent and descent split it in the face's proportion.
  const int64_t ascender = face->ascender, descender = face->descender;
  if (ascender - descender > 0) {
    engine.ascent = int32_t((int64_t(lf_height) * ascender * 2 + (ascender - descender)) / (2 * (ascender - descender)));
  } else {
    engine.ascent = int32_t(face->size->metrics.ascender >> 6);
  }
  engine.face = face;
  return face;
}

char32_t code_point(Renderer& renderer, FontEngine& engine, std::string_view character, uint16_t code) {
  char32_t& memo = engine.code_points[code];
  if (memo == kUnknownCodePoint) memo = code_point_of(renderer.codec, character);
  return memo;
}

bool load_glyph(Renderer& renderer, FontEngine& engine, std::string_view character, uint16_t code) {
  const char32_t c = code_point(renderer, engine, character, code);
  const FT_UInt glyph = c == 0 ? 0 : FT_Get_Char_Index(engine.face, FT_ULong(c));
  ++renderer.freetype_glyph_calls;
  return FT_Load_Glyph(engine.face, glyph, FT_LOAD_TARGET_MONO) == 0;
}

// The realised font's advance of one character in realised pixels (the text
// extent of that character alone).
int32_t character_extent(Renderer& renderer, FontEngine& engine, std::string_view character, uint16_t code) {
  int32_t& memo = engine.extents[code];
  if (memo >= 0) return memo;
  memo = 0;
  if (engine.face && load_glyph(renderer, engine, character, code)) {
    memo = int32_t(std::max<FT_Pos>((engine.face->glyph->advance.x + 32) >> 6, 0));
  }
  return memo;
}

int32_t advance_from_extent(int32_t extent, int32_t scale, uint16_t code, AdvanceRule rule = AdvanceRule::Drawing) {
  if (scale == 1) return extent;
  // Single-byte characters lose a pixel so that half-width text keeps the
  // spacing games were laid out with. Never negative: the width table and
  // the pen only move forward.
  const int32_t narrowed = rule == AdvanceRule::Drawing && code <= 0x100 ? 1 : 0;
  return std::max((extent + 3) / 4 - narrowed, 0);
}

bool bitmap_ink(const FT_Bitmap& bitmap, const uint8_t* row, unsigned x) {
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) return row[x] >= 128;
  return false;
}

// Renders one character into engine.glyph: rows × width coverage bytes (255 no
// ink, 0 full ink). The glyph is drawn centred on a reference point in a
// bitmap of (4 × realised width) × realised height, as many times as the
// thickening asks, and the window of width advances around the reference is
// reduced to coverage: at scale 4 each 4 × 4 block with the 20-weight kernel,
// at scale 1 sample by sample.
void rasterise(Renderer& renderer, FontEngine& engine, std::string_view character, uint16_t code, int32_t width,
               int32_t rows, int32_t scale, Thickening thickening) {
  engine.glyph.assign(size_t(width) * size_t(rows), 255);
  if (!engine.face || width <= 0 || rows <= 0) return;
  const int32_t extent = character_extent(renderer, engine, character, code);
  if (!load_glyph(renderer, engine, character, code)) return;
  FT_GlyphSlot slot = engine.face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP) {
    ++renderer.freetype_glyph_calls;
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return;
  }
  const FT_Bitmap& bitmap = slot->bitmap;

  const int32_t window_left = scale == 4 ? 2 * width : width / 2;
  const int32_t window_width = scale * width;
  const int32_t window_height = scale * rows;
  const int32_t bitmap_width = 4 * (engine.lf_width > 0 ? engine.lf_width : engine.lf_height / 2);
  const int32_t bitmap_height = engine.lf_height;
  engine.ink.assign(size_t(window_width) * size_t(window_height), 0);

  struct Reference {
    int32_t x, y;
  };
  std::array<Reference, 4> references{};
  size_t passes = 0;
  if (scale == 4) {
    references[passes++] = {4 * width + 1, 1};
    if (thickening == Thickening::Mincho) {
      references[passes++] = {4 * width - 1, 1};
      references[passes++] = {4 * width + 1, -1};
      references[passes++] = {4 * width - 1, -1};
    }
  } else {
    references[passes++] = {width, 0};
    if (thickening == Thickening::Mincho) references[passes++] = {width + 1, 0};
  }

  for (size_t pass = 0; pass < passes; ++pass) {
    const int32_t left = references[pass].x - extent / 2 + slot->bitmap_left;
    const int32_t top = references[pass].y + engine.ascent - slot->bitmap_top;
    for (unsigned by = 0; by < bitmap.rows; ++by) {
      const int32_t y = top + int32_t(by);
      if (y < 0 || y >= bitmap_height || y >= window_height) continue;
      const uint8_t* row = bitmap.pitch >= 0 ? bitmap.buffer + size_t(by) * size_t(bitmap.pitch)
                                             : bitmap.buffer + size_t(bitmap.rows - 1 - by) * size_t(-bitmap.pitch);
      uint8_t* ink_row = engine.ink.data() + size_t(y) * size_t(window_width);
      for (unsigned bx = 0; bx < bitmap.width; ++bx) {
        const int32_t x = left + int32_t(bx);
        if (x < 0 || x >= bitmap_width || x < window_left || x >= window_left + window_width) continue;
        if (bitmap_ink(bitmap, row, bx)) ink_row[x - window_left] = 1;
      }
    }
  }

  if (scale == 1) {
    for (size_t i = 0; i < engine.glyph.size(); ++i) engine.glyph[i] = engine.ink[i] ? 0 : 255;
    return;
  }
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      uint32_t weight = 0;
      for (int32_t sy = 0; sy < 4; ++sy) {
        const uint8_t* ink_row = engine.ink.data() + size_t(4 * r + sy) * size_t(window_width) + size_t(4 * c);
        for (int32_t sx = 0; sx < 4; ++sx) weight += ink_row[sx] * kWeights[size_t(sy * 4 + sx)];
      }
      engine.glyph[size_t(r) * size_t(width) + size_t(c)] = uint8_t(255 * (20 - weight) / 20);
    }
  }
}

Thickening thickening_for(const Renderer& renderer, const FontRecord& record) {
  // Cache files named "fca_" hold glyphs drawn without thickening.
  return record.mincho && renderer.cache_naming == CacheFileNaming::Plain ? Thickening::Mincho : Thickening::None;
}

std::string cut_face_name(const resources::LeadByteTable& lead, std::string_view face) {
  face = until_nul(face);
  size_t end = 0;
  while (end < face.size()) {
    const size_t next = end + resources::character_length(lead, face, end);
    if (next > kFaceNameLimit) break;
    end = next;
  }
  return std::string(face.substr(0, end));
}

void prepare_line_buffer(Renderer& renderer, int32_t height) {
  graphics::Page& buffer = renderer.line_buffer;
  const int32_t width = std::max(renderer.client_width, 1);
  if (buffer.width != width || buffer.height != height || buffer.depth != graphics::Depth::Indexed8) {
    buffer = graphics::make_page(width, height, graphics::Depth::Indexed8);
  }
  std::fill(buffer.pixels.begin(), buffer.pixels.end(), uint8_t(255));
}

void copy_into_line(graphics::Page& line, int32_t column, std::span<const uint8_t> glyph, int32_t width,
                    int32_t rows) {
  const int32_t columns = std::min(width, line.width - column);
  if (columns <= 0) return;
  const int32_t row_count = std::min(rows, line.height);
  for (int32_t r = 0; r < row_count; ++r) {
    std::memcpy(line.row(r) + column, glyph.data() + size_t(r) * size_t(width), size_t(columns));
  }
}

}  // namespace

int32_t scale_factor(const Renderer& renderer, const DrawSettings& settings) {
  if (renderer.antialias_mode == 0) return 1;
  if (renderer.antialias_mode == 2 && settings.skip_active) return 1;
  return 4;
}

bool cache_serves(const GlyphCache& cache, const FontRecord& record, int32_t scale) {
  return !cache.face.empty() && int64_t(cache.cell_width4) == int64_t(scale) * record.width &&
         int64_t(cache.cell_height4) == int64_t(scale) * record.height && cache.face == record.face;
}

void choose_font(Renderer& renderer, FontRecord& record, const FontChoice& choice, const DrawSettings& settings) {
  record.face = cut_face_name(renderer.codec.lead_bytes, choice.face);
  record.height = choice.height.value_or(20);
  record.width = choice.width.value_or(record.height / 2);
  record.pitch = choice.pitch.value_or(int32_t(std::clamp<int64_t>(int64_t(record.height) * 5 / 4, INT32_MIN, INT32_MAX)));
  record.extra = choice.extra.value_or(0);
  record.mincho = resources::find_text(renderer.codec.lead_bytes, record.face, kMincho, resources::Case::Sensitive) >= 0;
  record.cache_usable = cache_serves(renderer.cache, record, scale_factor(renderer, settings));
}

int32_t measure_text(Renderer& renderer, const FontRecord& record, std::string_view text,
                     const DrawSettings& settings, std::vector<int32_t>* advances, AdvanceRule rule) {
  text = until_nul(text);
  if (advances) advances->clear();
  const int32_t scale = scale_factor(renderer, settings);
  // A stale flag (the cache was reopened since the font was chosen) must not
  // hand out another face's widths.
  const bool cached = record.cache_usable && cache_serves(renderer.cache, record, 4);
  const bool drawable = renderable(record);
  FontEngine* engine = nullptr;
  int64_t total = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t length = resources::character_length(renderer.codec.lead_bytes, text, i);
    const std::string_view character = text.substr(i, length);
    const uint16_t code = character_code(character);
    i += length;
    int32_t advance = 0;
    if (cached && glyph_cached(renderer.cache, code)) {
      advance = renderer.cache.widths[code];
    } else if (drawable) {
      if (!engine) {
        realise(renderer, record, scale);
        engine = renderer.fonts.get();
      }
      advance = advance_from_extent(character_extent(renderer, *engine, character, code), scale, code, rule);
    }
    total += advance;
    if (advances) advances->push_back(advance);
  }
  return int32_t(std::min<int64_t>(total, INT32_MAX));
}

DrawResult draw_text(Renderer& renderer, const FontRecord& record, graphics::Page& page,
                     graphics::Page* alpha_page, std::string_view text, const DrawSettings& settings) {
  DrawResult result;
  text = until_nul(text);
  renderer.advances.clear();
  if (text.empty() || !renderable(record)) return result;
  const int32_t scale = scale_factor(renderer, settings);
  prepare_line_buffer(renderer, record.height);
  const int32_t total = measure_text(renderer, record, text, settings, &renderer.advances);

  graphics::Page& line = renderer.line_buffer;
  const bool read_cache = record.cache_usable && cache_serves(renderer.cache, record, 4);
  // Only glyphs drawn at the cache's own scale may join it.
  const bool write_cache = read_cache && scale == 4;
  const Thickening thickening = thickening_for(renderer, record);
  int64_t pen = 0;
  size_t index = 0;
  for (size_t i = 0; i < text.size(); ++index) {
    const size_t length = resources::character_length(renderer.codec.lead_bytes, text, i);
    const std::string_view character = text.substr(i, length);
    const uint16_t code = character_code(character);
    i += length;
    const int32_t width = renderer.advances[index];
    const bool fits = pen + width <= line.width && line.height >= record.height;
    if (read_cache && fits && glyph_cached(renderer.cache, code)) {
      copy_into_line(line, int32_t(pen), cached_glyph(renderer.cache, code), width, glyph_rows(renderer.cache));
    } else if (pen < line.width && width > 0) {
      realise(renderer, record, scale);
      FontEngine& engine = *renderer.fonts;
      rasterise(renderer, engine, character, code, width, record.height, scale, thickening);
      copy_into_line(line, int32_t(pen), engine.glyph, width, record.height);
      if (write_cache && fits && !glyph_cached(renderer.cache, code)) {
        store_glyph(renderer.cache, code, width, engine.glyph);
      }
    }
    pen += width;
  }

  const LineInk ink{&line, int32_t(std::min<int64_t>(total, line.width)), total, record.height};
  const InkStyle style{record.colour, record.effect, settings.decoration};
  const CompositeResult composite = composite_line(ink, style, page, alpha_page, record.x, record.y);
  result.advance = total;
  result.out_rect = composite.out_rect;
  result.changed_rect = composite.changed_rect;
  return result;
}

bool add_private_font(Renderer& renderer, std::vector<uint8_t> file_bytes) {
  FontEngine& engine = font_engine(renderer);
  if (!engine.library || file_bytes.empty()) return false;
  auto file = std::make_unique<std::vector<uint8_t>>(std::move(file_bytes));
  const FT_Byte* data = file->data();
  const FT_Long size = FT_Long(file->size());
  FT_Face probe = nullptr;
  if (FT_New_Memory_Face(engine.library, data, size, -1, &probe) != 0) return false;
  // A collection names its faces in a table of offsets, which costs four
  // bytes a face; opening each costs a parse of the font. Games bring a
  // handful, so only the first kMaxFacesPerFontFile are taken.
  const FT_Long count = std::min<FT_Long>(probe->num_faces, kMaxFacesPerFontFile);
  FT_Done_Face(probe);
  bool any = false;
  for (FT_Long index = 0; index < count; ++index) {
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(engine.library, data, size, index, &face) != 0) continue;
    engine.faces.push_back({face, std::string(), file.get(), int32_t(index)});
    engine.private_faces.push_back({face_names(face), engine.faces.size() - 1});
    any = true;
  }
  if (!any) return false;
  engine.private_files.push_back(std::move(file));
  // Names resolved before may now mean the new font.
  engine.resolved.clear();
  engine.realised = false;
  return true;
}

size_t private_face_count(Renderer& renderer) { return font_engine(renderer).private_faces.size(); }

FaceSource face_source(Renderer& renderer, std::string_view face) {
  FontEngine& engine = font_engine(renderer);
  const int32_t index = resolve_face(renderer, engine, cut_face_name(renderer.codec.lead_bytes, face));
  if (index < 0) return FaceSource::None;
  return engine.faces[size_t(index)].memory ? FaceSource::Private : FaceSource::Installed;
}

CacheLoad open_font_cache(Renderer& renderer, std::string_view face, int32_t height, int32_t width,
                          std::string host_path, CacheWrites writes) {
  return open_glyph_cache(renderer.cache, until_nul(face), height, width, std::move(host_path), writes);
}

void close_fonts(Renderer& renderer, CacheWrites writes) {
  close_glyph_cache(renderer.cache, writes);
  // Faces reopen on the next draw; private fonts are gone.
  renderer.fonts.reset();
}

PrebuildResult prebuild_glyph_cache(Renderer& renderer, std::string_view face, int32_t height, int32_t width,
                                    const std::string& host_path) {
  FontRecord record;
  record.face = cut_face_name(renderer.codec.lead_bytes, face);
  record.height = height;
  record.width = width;
  record.mincho = resources::find_text(renderer.codec.lead_bytes, record.face, kMincho, resources::Case::Sensitive) >= 0;
  if (record.face.empty() || height == 0 || width == 0 || !renderable(record)) return PrebuildResult::Skipped;
  if (host_path.empty() || platform::is_file(host_path)) return PrebuildResult::Skipped;

  GlyphCache cache;
  reset_glyph_cache(cache, record.face, width * 4, height * 4);
  if (!realise(renderer, record, 4)) return PrebuildResult::Failed;
  FontEngine& engine = *renderer.fonts;
  const Thickening thickening = thickening_for(renderer, record);
  for (uint16_t listed : prebuild_characters()) {
    const char bytes[2] = {char(listed >> 8), char(listed & 0xFF)};
    const std::string_view character(bytes, 2);
    const uint16_t code = character_code(character);
    // Every listed character is double-byte: no single-byte pixel is taken off.
    const int32_t advance = (character_extent(renderer, engine, character, code) + 3) / 4;
    if (advance < 1 || advance > 255) continue;
    rasterise(renderer, engine, character, code, advance, height, 4, thickening);
    store_glyph(cache, code, advance, engine.glyph);
  }
  return save_glyph_cache(cache, host_path) ? PrebuildResult::Written : PrebuildResult::Failed;
}

}  // namespace tavelo::text
