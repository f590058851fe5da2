#pragma once
// The glyph renderer: measures and draws game text with FreeType. It owns the
// FreeType faces (system fonts found through platform::FontLookup and the
// private font files a game brings), the realised face and size, the line
// buffer, the per-call advance list and the open glyph cache. One Renderer per
// engine (text::State::renderer); the fontout calls, the message window and
// start-up (cache pre-build) use it. Main thread only.
//
// Glyphs are monochrome FreeType renderings. With anti-aliasing (scale 4) a
// character is rendered at four times the cell size and every 4 × 4 block is
// reduced to one coverage value (centre samples count twice: 20 weights), the
// way the games' text was designed to look; mincho faces get three extra
// one-sample offset passes so thin strokes survive the reduction.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/page.h"
#include "graphics/rect.h"
#include "text/font_record.h"
#include "text/glyph_cache.h"
#include "text/glyph_composite.h"
#include "text/text_codec.h"

namespace tavelo::text {

// What a draw depends on besides the record, read fresh for every call.
struct DrawSettings {
  bool skip_active = false;  // a skip mode is on: anti-alias mode 2 then draws at scale 1
  Decoration decoration;     // FontShadow, Fuchidori, FontBold
};

struct DrawResult {
  int32_t advance = 0;          // total advance in pixels
  graphics::Rect out_rect;      // reported to scripts
  graphics::Rect changed_rect;  // mark this rectangle of the page as changed
};

struct FontEngine;  // FreeType state, renderer.cpp
struct FontEngineDeleter {
  void operator()(FontEngine* engine) const;
};

struct Renderer {
  TextCodec codec;
  int32_t client_width = 640;  // CLIENT_WIDTH: the line buffer's width
  // FONTCACHESMART: "fca_" cache names, and no thickening for mincho faces.
  CacheFileNaming cache_naming = CacheFileNaming::Plain;
  int32_t antialias_mode = 1;   // 0 off, 2 off while skipping, else on
  GlyphCache cache;
  std::vector<int32_t> advances;  // per character of the text last drawn
  graphics::Page line_buffer;     // 8-bit coverage, client width × font height
  std::unique_ptr<FontEngine, FontEngineDeleter> fonts;  // created on first use
  // FreeType glyph loads and renderings so far; cached glyphs cost none
  // (tests and benchmarks read it).
  uint64_t freetype_glyph_calls = 0;
};

// 1 or 4: the supersampling factor of the current anti-alias mode.
int32_t scale_factor(const Renderer& renderer, const DrawSettings& settings);

// The fontout_font / console font choice; absent numbers take their defaults:
// height 20, width height / 2, pitch height × 5 / 4, extra 0. Sets the mincho
// flag and whether the open cache serves this face and size at the current scale.
struct FontChoice {
  std::string_view face;  // game code page; cut to kFaceNameLimit bytes
  std::optional<int32_t> height;
  std::optional<int32_t> width;
  std::optional<int32_t> pitch;
  std::optional<int32_t> extra;
};
void choose_font(Renderer& renderer, FontRecord& record, const FontChoice& choice, const DrawSettings& settings);

// Whether the open cache holds glyphs for this record's face and size at scale.
bool cache_serves(const GlyphCache& cache, const FontRecord& record, int32_t scale);

// Drawing takes a pixel off single-byte characters at scale 4; line breaking
// measures them at their full rounded-up extent, so a line never ends up
// wider than the space it was broken for.
enum class AdvanceRule { Drawing, LineBreaking };

// Total advance of the text in pixels; fills advances (one per character) when
// given. A cached glyph's advance is its cached width; otherwise the font's
// advance, at scale 4 rounded up to whole pixels and (when drawing) one less
// for single-byte characters.
int32_t measure_text(Renderer& renderer, const FontRecord& record, std::string_view text,
                     const DrawSettings& settings, std::vector<int32_t>* advances = nullptr,
                     AdvanceRule rule = AdvanceRule::Drawing);

// Draws the text at the record's pen (x, y) on page, whose alpha page (or
// nullptr) is given. Characters past the client width are cut. Stores newly
// rendered glyphs in the open cache when it serves the record. The caller
// marks changed_rect and advances the pen.
DrawResult draw_text(Renderer& renderer, const FontRecord& record, graphics::Page& page,
                     graphics::Page* alpha_page, std::string_view text, const DrawSettings& settings);

// A collection may name any number of faces; more than this are not opened.
inline constexpr long kMaxFacesPerFontFile = 64;

// Makes the faces of a font file (TrueType, OpenType or a collection) read
// through the engine's file layer selectable by their family names; of a
// collection, the first kMaxFacesPerFontFile faces. False when FreeType
// cannot read it.
bool add_private_font(Renderer& renderer, std::vector<uint8_t> file_bytes);
// Faces taken from private font files so far (for the debug log and tests).
size_t private_face_count(Renderer& renderer);

// Which font draws a face name (for the debug log and tests).
enum class FaceSource { None, Private, Installed };
FaceSource face_source(Renderer& renderer, std::string_view face);

// Opens the cache for face and cell size (fontcache_open), closing the open
// one first. host_path: where its file lives (see glyph_cache_file_name).
CacheLoad open_font_cache(Renderer& renderer, std::string_view face, int32_t height, int32_t width,
                          std::string host_path, CacheWrites writes);

// At shutdown: writes the open cache when dirty and forgets the private fonts.
void close_fonts(Renderer& renderer, CacheWrites writes);

enum class PrebuildResult { Skipped, Written, Failed };

// Renders the built-in character list (prebuild_characters, CP932) at scale 4
// into a fresh cache for (face, height, width) and writes it to host_path,
// unless that file exists or face, height or width is empty. Leaves the open
// cache alone. Only for games in CP932.
PrebuildResult prebuild_glyph_cache(Renderer& renderer, std::string_view face, int32_t height, int32_t width,
                                    const std::string& host_path);

}  // namespace tavelo::text
