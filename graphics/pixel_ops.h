#pragma once
// Pixel kernels over pages: clipping for one and two pages, fills, colour
// effects, and the copies every other drawing path builds on (plain, level,
// alpha, additive, multiply, table-mapped). Kernels take pages that are already
// looked up and a clipped region; they return the destination rectangle they
// changed (empty when the depth pair is refused) and leave change marks to the
// caller, which knows the page handle.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "graphics/page.h"
#include "graphics/rect.h"

namespace tavelo::graphics {

// A two-page operation after clipping: both rectangles have this size.
struct CopyRegion {
  int32_t src_x = 0;
  int32_t src_y = 0;
  int32_t dst_x = 0;
  int32_t dst_y = 0;
  int32_t width = 0;
  int32_t height = 0;

  Rect source() const { return {src_x, src_y, width, height}; }
  Rect destination() const { return {dst_x, dst_y, width, height}; }
};

// 256-entry byte table made from a script array (entries clamped to 0..255).
using LookupTable = std::array<uint8_t, 256>;

// Script colour values keep red in bits 0-7, green in 8-15, blue in 16-23.
inline uint8_t colour_red(uint32_t colour) { return uint8_t(colour); }
inline uint8_t colour_green(uint32_t colour) { return uint8_t(colour >> 8); }
inline uint8_t colour_blue(uint32_t colour) { return uint8_t(colour >> 16); }
inline uint32_t make_colour(uint32_t red, uint32_t green, uint32_t blue) {
  return (red & 255) | (green & 255) << 8 | (blue & 255) << 16;
}

// Levels are transparencies 0 (opaque) .. 255 (invisible); out-of-range levels
// from scripts are clamped, since the blend arithmetic overflows a byte outside it.
inline uint32_t clamp_level(int32_t level) { return level < 0 ? 0u : level > 255 ? 255u : uint32_t(level); }

// ---- clipping

// Cuts the rectangle to the page: negative x or y move the edge to 0 and
// shorten it. Empty when nothing is left.
Rect clip_to_page(Rect rect, int32_t page_width, int32_t page_height);
// Source rectangle against the source page (a negative source x or y also
// moves the destination), then the destination position against the
// destination page (moving the source), then the size cut to fit both.
std::optional<CopyRegion> clip_copy(Rect source, int32_t src_width, int32_t src_height, int32_t dst_x, int32_t dst_y,
                                    int32_t dst_width, int32_t dst_height);
std::optional<CopyRegion> clip_copy(const Page& src, Rect source, const Page& dst, int32_t dst_x, int32_t dst_y);

// ---- byte mixing, shared by every blend

// The instruction sets the blends run on, each one implying those before it.
// The plain entry points take the widest one the processor has; the `_with`
// forms exist so that tests can hold every kernel against the others. A kernel
// the processor lacks is lowered to the widest one it has.
enum class MixKernel : uint8_t { Portable, Sse2, Ssse3, Avx2 };
MixKernel best_mix_kernel();
bool mix_kernel_supported(MixKernel kernel);

// out[i] = ((level + 1) * keep[i] + (256 - level) * take[i]) >> 8, level 0..255.
// out may equal keep or take.
void mix_bytes(uint8_t* out, const uint8_t* keep, const uint8_t* take, size_t count, uint32_t level);
void mix_bytes_with(MixKernel kernel, uint8_t* out, const uint8_t* keep, const uint8_t* take, size_t count,
                    uint32_t level);
// The same with one level per byte.
void mix_bytes_levels(uint8_t* out, const uint8_t* keep, const uint8_t* take, const uint8_t* levels, size_t count);

// ---- helpers shared with the scaling kernels

// The palette as blue, green, red triples, for 8->24 expansion.
using PaletteBytes = std::array<uint8_t, 768>;
PaletteBytes palette_bytes(const Page& page);
// True when both pages exist and are the same pixel storage.
inline bool same_storage(const Page* a, const Page* b) {
  return a && b && a->pixels.data() == b->pixels.data();
}
// A new page of the rectangle's size holding a copy of it (palette included).
// The rectangle must lie inside the page.
Page snapshot_rect(const Page& page, Rect rect);

// ---- one page

// The colour at (x, y) (an 8-bit page gives its palette colour), -1 outside.
int32_t point_colour(const Page& page, int32_t x, int32_t y);
Rect set_point(Page& page, int32_t x, int32_t y, uint32_t colour);
// 24-bit pages take blue, green, red of the colour; 8-bit pages its low byte.
Rect fill_rect(Page& page, Rect rect, uint32_t colour);
// Blends the colour in: the old value keeps weight level + 1.
Rect fill_rect_level(Page& page, Rect rect, uint32_t colour, int32_t level);
// channel = ((colour channel + 1) * channel) >> 8; 24-bit pages only.
Rect multiply_fill(Page& page, Rect rect, uint32_t colour);
// channel = 255 - channel; 24-bit pages only.
Rect invert_rect(Page& page, Rect rect);
// Maps brightness onto the ramp from dark to light; with a level the result
// is mixed back over the old pixels. An 8-bit page changes its whole palette
// instead (the rectangle is ignored) and the whole page is returned.
Rect sepia_rect(Page& page, Rect rect, uint32_t dark, uint32_t light, std::optional<int32_t> level);

// ---- two pages
//
// Every kernel reads a snapshot of its source when source and destination
// share storage, so results are as if the source were read first.

// 8->8 and 24->24 copy rows; 8->24 goes through the source palette; 24->8 is
// refused. Within one page rows are moved in the order that never reads a
// row already written. The alpha rectangle follows when both alpha pages are given.
Rect copy_pixels(const Page& src, const Page* src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region);
// dst = ((L + 1) * dst + (256 - L) * src) >> 8 per byte; 24->8 refused.
Rect level_copy(const Page& src, Page& dst, const CopyRegion& region, int32_t level);
// Blends through the source's alpha bytes t with a = t + level + 1: a >= 255
// keeps the destination, a <= 2 takes the source, otherwise
// (src * (257 - a) + dst * a) >> 8. Nothing at level 255 or more. A given
// destination alpha page is then multiplied: d = (d * (t + 1)) >> 8.
// An 8-bit destination (only from an 8-bit source) blends index bytes.
Rect alpha_copy(const Page& src, const Page& src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region,
                int32_t level);
Rect alpha_copy_with(MixKernel kernel, const Page& src, const Page& src_alpha, Page& dst, Page* dst_alpha,
                     const CopyRegion& region, int32_t level);
// dst = min(255, dst + ((255 - L) * src >> 8)); 24->8 refused.
Rect additive_copy(const Page& src, Page& dst, const CopyRegion& region, int32_t level);
// 8-bit pages only: dst = (dst * (src + 1)) >> 8.
Rect multiply_copy(const Page& src, Page& dst, const CopyRegion& region);
// 8-bit pages only: dst = 255 - (((255 - dst) * (256 - src)) >> 8).
Rect reverse_multiply_copy(const Page& src, Page& dst, const CopyRegion& region);
// Exchanges the two rectangles (and the alpha rectangles when both alpha
// pages are given). Depths must match; overlapping rectangles within one page
// end as if the source rectangle had been saved first.
Rect swap_pixels(Page& src, Page* src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region);

// ---- lookup tables

LookupTable make_lookup_table(std::span<const int32_t> elements);
// An 8-bit page of the base's size whose bytes are table[base byte].
Page make_table_alpha(const Page& base, const LookupTable& table);
// Writes table[src byte] into dst over the size common to both 8-bit pages.
// Returns the whole destination page (it all counts as changed).
Rect map_through_table(const Page& src, Page& dst, const LookupTable& table);

}  // namespace tavelo::graphics
