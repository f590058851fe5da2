#pragma once
// The font record: how one script thread (or the message window) draws text
// (face, cell size, colours, effect, destination page and pen). New records
// are copies of a constant template; the fontout calls keep a stack of them
// per script thread, and the message window keeps one of its own.

#include <cstdint>
#include <string>
#include <string_view>

#include "graphics/rect.h"

namespace tavelo::text {

// "ＭＳ ゴシック" in CP932.
inline constexpr std::string_view kDefaultFace = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
// Face names are kept to 31 bytes (a 32-byte field with its NUL).
inline constexpr size_t kFaceNameLimit = 31;

struct FontRecord {
  std::string face = std::string(kDefaultFace);  // game code page
  int32_t extra = 0;        // fifth argument of the font choice; read by the message window
  bool mincho = false;      // the face name contains "明朝": glyphs are thickened
  int32_t height = 20;      // cell height in pixels (the font's em height)
  int32_t width = 10;       // cell width in pixels (half the em width)
  int32_t pitch = 25;       // line pitch in pixels
  uint32_t colour = 0x00FFFFFF;  // colour value: red bits 0-7, green 8-15, blue 16-23
  uint32_t effect = 0xFFFFFFFF;  // effect mode in bits 24-30, effect colour in bits 0-23
  bool no_wait = false;          // message window only
  int32_t character_delay = -1;  // message window only
  int32_t page = 0;              // destination page handle
  int32_t x = 0;                 // pen: top-left of the next cell
  int32_t y = 0;
  graphics::Rect frame{0, 0, 640, 480};  // message window only
  int32_t indent = 0;                    // message window only
  bool cache_usable = false;  // the open glyph cache holds this face at this size
};

// Pen arithmetic with script-given numbers wraps like the scripts' own
// 32-bit integers instead of overflowing.
inline int32_t wrapping_add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }

// A copy of the template drawing on the display page.
inline FontRecord make_font_record(int32_t display_page) {
  FontRecord record;
  record.page = display_page;
  return record;
}

}  // namespace tavelo::text
