#pragma once
// Compositing a rendered line onto a page. The line buffer holds coverage
// (255 no ink, 0 full ink); it is blended in the effect colour once per copy
// that makes the record's effect (drop shadow, outlines, the player's chosen
// decoration), then once in the text colour. draw_text calls it; it is a pure
// kernel over its arguments, so tests drive it with hand-made line buffers.

#include <cstdint>

#include "graphics/page.h"
#include "graphics/rect.h"

namespace tavelo::text {

// The player's text decoration (settings FontShadow, Fuchidori, FontBold),
// used by effect mode 0x04000000.
struct Decoration {
  bool shadow = true;
  bool outline = true;
  bool bold = false;
};

struct LineInk {
  const graphics::Page* line_buffer = nullptr;  // 8-bit coverage
  int32_t columns = 0;                          // leftmost columns of it that hold the line
  int32_t advance = 0;                          // the line's total advance in pixels
  int32_t font_height = 0;                      // the record's cell height
};

struct InkStyle {
  uint32_t colour = 0x00FFFFFF;  // colour value: red bits 0-7, green 8-15, blue 16-23
  uint32_t effect = 0xFFFFFFFF;  // mode in bits 24-30, effect colour in bits 0-23
  Decoration decoration;
};

struct CompositeResult {
  // The rectangle reported to scripts: (x, y, advance, font height), widened
  // to the right and down by the effect. Copies at negative offsets reach
  // outside it.
  graphics::Rect out_rect;
  // Every pixel the copies may have changed, clipped to the page; this is the
  // rectangle to mark as changed.
  graphics::Rect changed_rect;
};

// Blends the line at (x, y) of the page. Coverage m >= 254 leaves a pixel,
// m <= 1 sets it to the colour, otherwise each channel becomes
// ((256 - m) * colour + (m + 1) * old) / 256; 8-bit pages blend the index with
// the colour's low byte. The alpha page (8-bit, transparency) under changed
// pixels is multiplied by (m + 1) / 256, so ink makes the page opaque.
CompositeResult composite_line(const LineInk& ink, const InkStyle& style, graphics::Page& page,
                               graphics::Page* alpha_page, int32_t x, int32_t y);

}  // namespace tavelo::text
