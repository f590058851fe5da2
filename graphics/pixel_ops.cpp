// Pixel kernels. The blends all reduce to one byte-mixing routine written with
// vector extensions, so it is vectorised at every optimisation level; the other
// kernels are plain row loops.

#include "graphics/pixel_ops.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tavelo::graphics {
namespace {

using U8x16 = uint8_t __attribute__((vector_size(16)));
using U16x16 = uint16_t __attribute__((vector_size(32)));

// Loads and stores go through memcpy (no alignment assumed); the widening
// stays inside the loops, where the 32-byte vectors never cross a call.
#define TAVELO_LOAD_WIDE(bytes) __builtin_convertvector(load16(bytes), U16x16)

U8x16 load16(const uint8_t* bytes) {
  U8x16 v;
  std::memcpy(&v, bytes, 16);
  return v;
}

void store16(uint8_t* bytes, U8x16 v) { std::memcpy(bytes, &v, 16); }

// Source rows in the destination's depth: a pointer into the source page when
// the depths match, else the row expanded through the palette into a buffer.
class SourceRows {
 public:
  SourceRows(const Page& src, Depth target, int32_t width) : m_src(src), m_expand(src.depth != target) {
    if (m_expand) {
      m_palette = palette_bytes(src);
      m_buffer.resize(size_t(width) * 3);
    }
  }

  const uint8_t* row(int32_t x, int32_t y, int32_t width) {
    if (!m_expand) return m_src.row(y) + size_t(x) * size_t(m_src.bytes_per_pixel());
    const uint8_t* indices = m_src.row(y) + x;
    uint8_t* out = m_buffer.data();
    for (int32_t i = 0; i < width; ++i) std::memcpy(out + size_t(i) * 3, &m_palette[size_t(indices[i]) * 3], 3);
    return out;
  }

 private:
  const Page& m_src;
  bool m_expand;
  PaletteBytes m_palette{};
  std::vector<uint8_t> m_buffer;
};

bool rects_meet(Rect a, Rect b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// A source that may be the destination itself: when the pages (or their alpha
// pages) share storage and the two rectangles overlap, the source rectangle is
// read from a snapshot taken before anything is written. Storage is shared
// only within one page, so both rectangles are in the same pixel grid; when
// they are apart, nothing the copy reads is ever written and no snapshot is needed.
struct StableSource {
  const Page* pixels;
  const Page* alpha;
  CopyRegion region;
  Page pixels_copy;
  Page alpha_copy;

  StableSource(const Page& src, const Page* src_alpha, const Page& dst, const Page* dst_alpha,
               const CopyRegion& clipped)
      : pixels(&src), alpha(src_alpha), region(clipped) {
    bool shared = same_storage(&src, &dst) || same_storage(&src, dst_alpha) || same_storage(src_alpha, &dst) ||
                  same_storage(src_alpha, dst_alpha);
    if (!shared || !rects_meet(region.source(), region.destination())) return;
    pixels_copy = snapshot_rect(src, region.source());
    pixels = &pixels_copy;
    if (src_alpha) {
      alpha_copy = snapshot_rect(*src_alpha, region.source());
      alpha = &alpha_copy;
    }
    region.src_x = 0;
    region.src_y = 0;
  }
};

bool refused_pair(const Page& src, const Page& dst) {
  return src.depth == Depth::Rgb24 && dst.depth == Depth::Indexed8;
}

// Moves rows of equal depth; within one buffer the row order never reads a
// row already overwritten, and memmove handles overlap inside a row.
void move_rows(const Page& src, Page& dst, const CopyRegion& r) {
  size_t bpp = size_t(dst.bytes_per_pixel());
  size_t bytes = size_t(r.width) * bpp;
  bool bottom_up = same_storage(&src, &dst) && r.dst_y > r.src_y;
  for (int32_t i = 0; i < r.height; ++i) {
    int32_t y = bottom_up ? r.height - 1 - i : i;
    std::memmove(dst.row(r.dst_y + y) + size_t(r.dst_x) * bpp, src.row(r.src_y + y) + size_t(r.src_x) * bpp, bytes);
  }
}

// Fills one destination row pattern: 3 bytes of colour for 24-bit pages, the
// low byte for 8-bit pages.
void fill_pattern(std::vector<uint8_t>& row, const Page& page, int32_t width, uint32_t colour) {
  if (page.depth == Depth::Indexed8) {
    row.assign(size_t(width), uint8_t(colour));
    return;
  }
  row.resize(size_t(width) * 3);
  for (int32_t i = 0; i < width; ++i) {
    row[size_t(i) * 3] = colour_blue(colour);
    row[size_t(i) * 3 + 1] = colour_green(colour);
    row[size_t(i) * 3 + 2] = colour_red(colour);
  }
}

}  // namespace

// ---- clipping

Rect clip_to_page(Rect rect, int32_t page_width, int32_t page_height) {
  int64_t x = rect.x, y = rect.y, w = rect.width, h = rect.height;
  if (x < 0) {
    w += x;
    x = 0;
  }
  if (y < 0) {
    h += y;
    y = 0;
  }
  w = std::min(w, int64_t(page_width) - x);
  h = std::min(h, int64_t(page_height) - y);
  if (w <= 0 || h <= 0) return {};
  return {int32_t(x), int32_t(y), int32_t(w), int32_t(h)};
}

std::optional<CopyRegion> clip_copy(Rect source, int32_t src_width, int32_t src_height, int32_t dst_x, int32_t dst_y,
                                    int32_t dst_width, int32_t dst_height) {
  int64_t sx = source.x, sy = source.y, w = source.width, h = source.height, dx = dst_x, dy = dst_y;
  if (sx < 0) {
    w += sx;
    dx -= sx;
    sx = 0;
  }
  if (sy < 0) {
    h += sy;
    dy -= sy;
    sy = 0;
  }
  w = std::min(w, int64_t(src_width) - sx);
  h = std::min(h, int64_t(src_height) - sy);
  if (dx < 0) {
    w += dx;
    sx -= dx;
    dx = 0;
  }
  if (dy < 0) {
    h += dy;
    sy -= dy;
    dy = 0;
  }
  w = std::min(w, int64_t(dst_width) - dx);
  h = std::min(h, int64_t(dst_height) - dy);
  if (w <= 0 || h <= 0) return std::nullopt;
  return CopyRegion{int32_t(sx), int32_t(sy), int32_t(dx), int32_t(dy), int32_t(w), int32_t(h)};
}

std::optional<CopyRegion> clip_copy(const Page& src, Rect source, const Page& dst, int32_t dst_x, int32_t dst_y) {
  return clip_copy(source, src.width, src.height, dst_x, dst_y, dst.width, dst.height);
}

// ---- byte mixing

namespace {

uint8_t mix_byte(uint32_t keep, uint32_t take, uint32_t level) {
  return uint8_t(uint16_t(keep * (level + 1) + take * (256 - level)) >> 8);
}

// The weights sum to 257, so 255 * 257 = 65535 fits the 16-bit lanes exactly.
void mix_bytes_portable(uint8_t* out, const uint8_t* keep, const uint8_t* take, size_t count, uint32_t level) {
  const uint16_t keep_weight = uint16_t(level + 1);
  const uint16_t take_weight = uint16_t(256 - level);
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    U16x16 mixed = (TAVELO_LOAD_WIDE(keep + i) * keep_weight + TAVELO_LOAD_WIDE(take + i) * take_weight) >> 8;
    store16(out + i, __builtin_convertvector(mixed, U8x16));
  }
  for (; i < count; ++i) out[i] = mix_byte(keep[i], take[i], level);
}

#if defined(__x86_64__) || defined(__i386__)

// Every x86 mix below rests on one identity. With keep byte k, take byte t
// and level l, the sum (l + 1) * k + (256 - l) * t lies in 0..65535 and equals
// 256 * base + m for base = t or k and a small m; the result, sum >> 8, is then
// base plus the high byte of m, added in wrapping byte arithmetic (the true
// result is a byte, and the high byte of m is exact in wrapping 16-bit lanes).

// SSE2 has no byte multiply-add: even and odd bytes go to separate 16-bit
// lanes, where m = k + l * (k - t) over base t. Levels come per lane, zero-extended.
__attribute__((target("sse2"), always_inline)) inline __m128i mix_split_sse2(__m128i keep, __m128i take,
                                                                             __m128i level_even,
                                                                             __m128i level_odd) {
  const __m128i low = _mm_set1_epi16(0x00FF);
  __m128i keep_even = _mm_and_si128(keep, low), take_even = _mm_and_si128(take, low);
  __m128i keep_odd = _mm_srli_epi16(keep, 8), take_odd = _mm_srli_epi16(take, 8);
  __m128i even = _mm_add_epi16(keep_even, _mm_mullo_epi16(level_even, _mm_sub_epi16(keep_even, take_even)));
  __m128i odd = _mm_add_epi16(keep_odd, _mm_mullo_epi16(level_odd, _mm_sub_epi16(keep_odd, take_odd)));
  return _mm_add_epi8(take, _mm_or_si128(_mm_srli_epi16(even, 8), _mm_andnot_si128(low, odd)));
}

__attribute__((target("sse2"))) void mix_bytes_sse2(uint8_t* out, const uint8_t* keep, const uint8_t* take,
                                                    size_t count, uint32_t level) {
  const __m128i lanes = _mm_set1_epi16(int16_t(level));
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep + i));
    __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(take + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), mix_split_sse2(k, t, lanes, lanes));
  }
  for (; i < count; ++i) out[i] = mix_byte(keep[i], take[i], level);
}

// With SSSE3 one signed multiply-add per interleaved (k, t) byte pair gives
// m = a * k + b * t. The signed weights a and b must fit a byte and have
// opposite signs (so the multiply-add never saturates): up to level 126
// base t with (l + 1, -l), from level 129 base k with (l - 255, 256 - l).
// Levels 127 and 128 would need a weight of +128, so they negate the
// weights and the product instead.
struct MixPlan {
  int8_t keep_weight = 0;
  int8_t take_weight = 0;
  bool base_is_keep = false;
  bool negate = false;
};

constexpr MixPlan plan_mix(uint32_t level) {
  if (level <= 126) return {int8_t(level + 1), int8_t(-int32_t(level)), false, false};
  if (level == 127) return {-128, 127, false, true};
  if (level == 128) return {127, -128, true, true};
  return {int8_t(int32_t(level) - 255), int8_t(256 - int32_t(level)), true, false};
}

// The weight pair as one 16-bit lane: keep's weight in the low byte, matching
// the (k, t) order of the interleaved bytes.
constexpr int16_t plan_weights(const MixPlan& plan) {
  return int16_t(uint16_t(uint8_t(plan.keep_weight)) | uint16_t(uint8_t(plan.take_weight)) << 8);
}

template <bool kBaseIsKeep, bool kNegate>
__attribute__((target("ssse3"), always_inline)) inline __m128i mix_planned_ssse3(__m128i keep, __m128i take,
                                                                                 __m128i weights) {
  __m128i lo = _mm_maddubs_epi16(_mm_unpacklo_epi8(keep, take), weights);
  __m128i hi = _mm_maddubs_epi16(_mm_unpackhi_epi8(keep, take), weights);
  if constexpr (kNegate) {
    lo = _mm_sub_epi16(_mm_setzero_si128(), lo);
    hi = _mm_sub_epi16(_mm_setzero_si128(), hi);
  }
  __m128i high = _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
  return _mm_add_epi8(kBaseIsKeep ? keep : take, high);
}

template <bool kBaseIsKeep, bool kNegate>
__attribute__((target("ssse3"))) void mix_run_ssse3(uint8_t* out, const uint8_t* keep, const uint8_t* take,
                                                    size_t count, uint32_t level, int16_t weight_pair) {
  const __m128i weights = _mm_set1_epi16(weight_pair);
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep + i));
    __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(take + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), mix_planned_ssse3<kBaseIsKeep, kNegate>(k, t, weights));
  }
  for (; i < count; ++i) out[i] = mix_byte(keep[i], take[i], level);
}

// Unpacking and packing both stay inside 128-bit lanes, so the bytes come
// back in order.
template <bool kBaseIsKeep, bool kNegate>
__attribute__((target("avx2"))) void mix_run_avx2(uint8_t* out, const uint8_t* keep, const uint8_t* take,
                                                  size_t count, uint32_t level, int16_t weight_pair) {
  const __m256i weights = _mm256_set1_epi16(weight_pair);
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep + i));
    __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(take + i));
    __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(k, t), weights);
    __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(k, t), weights);
    if constexpr (kNegate) {
      lo = _mm256_sub_epi16(_mm256_setzero_si256(), lo);
      hi = _mm256_sub_epi16(_mm256_setzero_si256(), hi);
    }
    __m256i high = _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_add_epi8(kBaseIsKeep ? k : t, high));
  }
  if (i + 16 <= count) {
    __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep + i));
    __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(take + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     mix_planned_ssse3<kBaseIsKeep, kNegate>(k, t, _mm256_castsi256_si128(weights)));
    i += 16;
  }
  for (; i < count; ++i) out[i] = mix_byte(keep[i], take[i], level);
}

template <bool kBaseIsKeep, bool kNegate>
void mix_run(MixKernel kernel, uint8_t* out, const uint8_t* keep, const uint8_t* take, size_t count,
             uint32_t level, int16_t weight_pair) {
  if (kernel == MixKernel::Avx2) {
    mix_run_avx2<kBaseIsKeep, kNegate>(out, keep, take, count, level, weight_pair);
  } else {
    mix_run_ssse3<kBaseIsKeep, kNegate>(out, keep, take, count, level, weight_pair);
  }
}

#endif

// The mix on a kernel the processor is known to have.
void mix_bytes_on(MixKernel kernel, uint8_t* out, const uint8_t* keep, const uint8_t* take, size_t count,
                  uint32_t level) {
  if (level > 255) {
    mix_bytes_portable(out, keep, take, count, level);
    return;
  }
  // The ends of the range are exact copies: (k + 256 * t) >> 8 is t, and
  // (256 * k + t) >> 8 is k.
  if (level == 0 || level == 255) {
    const uint8_t* from = level == 0 ? take : keep;
    if (out != from && count != 0) std::memmove(out, from, count);
    return;
  }
#if defined(__x86_64__) || defined(__i386__)
  if (kernel >= MixKernel::Ssse3) {
    MixPlan plan = plan_mix(level);
    int16_t weights = plan_weights(plan);
    if (plan.base_is_keep) {
      if (plan.negate) {
        mix_run<true, true>(kernel, out, keep, take, count, level, weights);
      } else {
        mix_run<true, false>(kernel, out, keep, take, count, level, weights);
      }
    } else if (plan.negate) {
      mix_run<false, true>(kernel, out, keep, take, count, level, weights);
    } else {
      mix_run<false, false>(kernel, out, keep, take, count, level, weights);
    }
    return;
  }
  if (kernel == MixKernel::Sse2) {
    mix_bytes_sse2(out, keep, take, count, level);
    return;
  }
#else
  (void)kernel;
#endif
  mix_bytes_portable(out, keep, take, count, level);
}

}  // namespace

MixKernel best_mix_kernel() {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2")) return MixKernel::Avx2;
  if (__builtin_cpu_supports("ssse3")) return MixKernel::Ssse3;
  if (__builtin_cpu_supports("sse2")) return MixKernel::Sse2;
#endif
  return MixKernel::Portable;
}

bool mix_kernel_supported(MixKernel kernel) { return kernel <= best_mix_kernel(); }

void mix_bytes(uint8_t* out, const uint8_t* keep, const uint8_t* take, size_t count, uint32_t level) {
  mix_bytes_on(best_mix_kernel(), out, keep, take, count, level);
}

void mix_bytes_with(MixKernel kernel, uint8_t* out, const uint8_t* keep, const uint8_t* take, size_t count,
                    uint32_t level) {
  mix_bytes_on(std::min(kernel, best_mix_kernel()), out, keep, take, count, level);
}

void mix_bytes_levels(uint8_t* out, const uint8_t* keep, const uint8_t* take, const uint8_t* levels, size_t count) {
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    U16x16 level = TAVELO_LOAD_WIDE(levels + i);
    U16x16 mixed = (TAVELO_LOAD_WIDE(keep + i) * (level + 1) + TAVELO_LOAD_WIDE(take + i) * (256 - level)) >> 8;
    store16(out + i, __builtin_convertvector(mixed, U8x16));
  }
  for (; i < count; ++i) out[i] = mix_byte(keep[i], take[i], levels[i]);
}

#undef TAVELO_LOAD_WIDE

// ---- helpers

PaletteBytes palette_bytes(const Page& page) {
  PaletteBytes bytes{};
  for (size_t i = 0; i < 256; ++i) {
    bytes[i * 3] = page.palette[i].blue;
    bytes[i * 3 + 1] = page.palette[i].green;
    bytes[i * 3 + 2] = page.palette[i].red;
  }
  return bytes;
}

Page snapshot_rect(const Page& page, Rect rect) {
  Page copy = make_page(rect.width, rect.height, page.depth);
  copy.palette = page.palette;
  size_t bpp = size_t(page.bytes_per_pixel());
  for (int32_t y = 0; y < rect.height; ++y) {
    std::memcpy(copy.row(y), page.row(rect.y + y) + size_t(rect.x) * bpp, size_t(rect.width) * bpp);
  }
  return copy;
}

// ---- one page

int32_t point_colour(const Page& page, int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= page.width || y >= page.height) return -1;
  if (page.depth == Depth::Indexed8) {
    const PaletteEntry& entry = page.palette[page.row(y)[x]];
    return int32_t(make_colour(entry.red, entry.green, entry.blue));
  }
  const uint8_t* pixel = page.row(y) + size_t(x) * 3;
  return int32_t(make_colour(pixel[2], pixel[1], pixel[0]));
}

Rect set_point(Page& page, int32_t x, int32_t y, uint32_t colour) {
  return fill_rect(page, {x, y, 1, 1}, colour);
}

Rect fill_rect(Page& page, Rect rect, uint32_t colour) {
  Rect r = clip_to_page(rect, page.width, page.height);
  if (r.empty()) return {};
  std::vector<uint8_t> pattern;
  fill_pattern(pattern, page, r.width, colour);
  size_t offset = size_t(r.x) * size_t(page.bytes_per_pixel());
  for (int32_t y = r.y; y < r.y + r.height; ++y) std::memcpy(page.row(y) + offset, pattern.data(), pattern.size());
  return r;
}

Rect fill_rect_level(Page& page, Rect rect, uint32_t colour, int32_t level) {
  Rect r = clip_to_page(rect, page.width, page.height);
  if (r.empty()) return {};
  std::vector<uint8_t> pattern;
  fill_pattern(pattern, page, r.width, colour);
  uint32_t weight = clamp_level(level);
  size_t offset = size_t(r.x) * size_t(page.bytes_per_pixel());
  for (int32_t y = r.y; y < r.y + r.height; ++y) {
    uint8_t* row = page.row(y) + offset;
    mix_bytes(row, row, pattern.data(), pattern.size(), weight);
  }
  return r;
}

Rect multiply_fill(Page& page, Rect rect, uint32_t colour) {
  if (page.depth != Depth::Rgb24) return {};
  Rect r = clip_to_page(rect, page.width, page.height);
  if (r.empty()) return {};
  const uint32_t factor[3] = {colour_blue(colour) + 1u, colour_green(colour) + 1u, colour_red(colour) + 1u};
  for (int32_t y = r.y; y < r.y + r.height; ++y) {
    uint8_t* pixel = page.row(y) + size_t(r.x) * 3;
    for (int32_t i = 0; i < r.width; ++i, pixel += 3) {
      for (int c = 0; c < 3; ++c) pixel[c] = uint8_t((factor[c] * pixel[c]) >> 8);
    }
  }
  return r;
}

Rect invert_rect(Page& page, Rect rect) {
  if (page.depth != Depth::Rgb24) return {};
  Rect r = clip_to_page(rect, page.width, page.height);
  if (r.empty()) return {};
  for (int32_t y = r.y; y < r.y + r.height; ++y) {
    uint8_t* bytes = page.row(y) + size_t(r.x) * 3;
    for (size_t i = 0; i < size_t(r.width) * 3; ++i) bytes[i] = uint8_t(255 - bytes[i]);
  }
  return r;
}

namespace {

// Brightness weight 1..1786 of blue, green, red; the ramp runs over 2048 steps.
void sepia_pixel(uint8_t* bgr, const uint32_t dark[3], const uint32_t light[3]) {
  uint32_t w = bgr[0] + 4u * bgr[1] + 2u * bgr[2] + 1u;
  for (int c = 0; c < 3; ++c) bgr[c] = uint8_t(((2049u - w) * dark[c] + w * light[c]) >> 11);
}

}  // namespace

Rect sepia_rect(Page& page, Rect rect, uint32_t dark, uint32_t light, std::optional<int32_t> level) {
  const uint32_t dark_bgr[3] = {colour_blue(dark), colour_green(dark), colour_red(dark)};
  const uint32_t light_bgr[3] = {colour_blue(light), colour_green(light), colour_red(light)};
  if (page.depth == Depth::Indexed8) {
    // Indices cannot hold a colour ramp; the palette takes the effect.
    for (PaletteEntry& entry : page.palette) {
      uint8_t old[3] = {entry.blue, entry.green, entry.red};
      uint8_t toned[3] = {old[0], old[1], old[2]};
      sepia_pixel(toned, dark_bgr, light_bgr);
      if (level) mix_bytes(toned, old, toned, 3, clamp_level(*level));
      entry.blue = toned[0];
      entry.green = toned[1];
      entry.red = toned[2];
    }
    return {0, 0, page.width, page.height};
  }
  Rect r = clip_to_page(rect, page.width, page.height);
  if (r.empty()) return {};
  std::vector<uint8_t> toned(size_t(r.width) * 3);
  for (int32_t y = r.y; y < r.y + r.height; ++y) {
    uint8_t* row = page.row(y) + size_t(r.x) * 3;
    std::memcpy(toned.data(), row, toned.size());
    for (size_t i = 0; i < toned.size(); i += 3) sepia_pixel(&toned[i], dark_bgr, light_bgr);
    if (level) {
      mix_bytes(row, row, toned.data(), toned.size(), clamp_level(*level));
    } else {
      std::memcpy(row, toned.data(), toned.size());
    }
  }
  return r;
}

// ---- two pages

Rect copy_pixels(const Page& src, const Page* src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region) {
  if (refused_pair(src, dst)) return {};
  if (src.depth == dst.depth) {
    move_rows(src, dst, region);
  } else {
    SourceRows rows(src, dst.depth, region.width);
    for (int32_t y = 0; y < region.height; ++y) {
      std::memcpy(dst.row(region.dst_y + y) + size_t(region.dst_x) * 3,
                  rows.row(region.src_x, region.src_y + y, region.width), size_t(region.width) * 3);
    }
  }
  if (src_alpha && dst_alpha) move_rows(*src_alpha, *dst_alpha, region);
  return region.destination();
}

Rect level_copy(const Page& src, Page& dst, const CopyRegion& region, int32_t level) {
  if (refused_pair(src, dst)) return {};
  StableSource source(src, nullptr, dst, nullptr, region);
  const CopyRegion& r = source.region;
  uint32_t weight = clamp_level(level);
  size_t bpp = size_t(dst.bytes_per_pixel());
  const MixKernel kernel = best_mix_kernel();
  SourceRows rows(*source.pixels, dst.depth, r.width);
  for (int32_t y = 0; y < r.height; ++y) {
    uint8_t* out = dst.row(region.dst_y + y) + size_t(region.dst_x) * bpp;
    mix_bytes_on(kernel, out, out, rows.row(r.src_x, r.src_y + y, r.width), size_t(r.width) * bpp, weight);
  }
  return region.destination();
}

namespace {

// Pixels per chunk of the alpha copy. A chunk whose alpha bytes are all equal
// (most of a typical picture: wholly opaque or wholly transparent) is copied,
// skipped or mixed at one level without per-pixel work.
constexpr int32_t kAlphaChunk = 32;

bool uniform_chunk(const uint8_t* bytes, int32_t count) {
  if (count != kAlphaChunk) return false;
  uint64_t first = bytes[0] * 0x0101010101010101ull;
  for (int32_t i = 0; i < kAlphaChunk; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    if (word != first) return false;
  }
  return true;
}

// One row of the alpha copy, any depth: `to_level` maps an alpha byte to its
// mix level, repeated in three bytes.
void alpha_row_portable(uint8_t* out, const uint8_t* in, const uint8_t* t, int32_t width, size_t bpp,
                        const std::array<uint32_t, 256>& to_level) {
  // One level per byte of a chunk, plus a spare byte for the 4-byte stores.
  uint8_t chunk_levels[kAlphaChunk * 3 + 1];
  for (int32_t i = 0; i < width; i += kAlphaChunk) {
    int32_t count = std::min(kAlphaChunk, width - i);
    size_t offset = size_t(i) * bpp, bytes = size_t(count) * bpp;
    if (uniform_chunk(t + i, count)) {
      uint8_t chunk_level = uint8_t(to_level[t[i]]);
      if (chunk_level == 0) {
        std::memcpy(out + offset, in + offset, bytes);
      } else if (chunk_level != 255) {
        mix_bytes(out + offset, out + offset, in + offset, bytes, chunk_level);
      }
      continue;
    }
    for (int32_t k = 0; k < count; ++k) std::memcpy(chunk_levels + size_t(k) * bpp, &to_level[t[i + k]], 4);
    mix_bytes_levels(out + offset, out + offset, in + offset, chunk_levels, bytes);
  }
}

#if defined(__x86_64__) || defined(__i386__)

// The 24-bit alpha row with SSSE3, 16 pixels (48 bytes) a step; returns the
// number of pixels done, the caller finishes the rest. Per pixel the level is
// l = t + L clamped the way the table does it (>= 254 keeps, <= 1 copies),
// spread to the three channel bytes with byte shuffles, then mixed in even
// and odd 16-bit lanes.
__attribute__((target("ssse3"))) int32_t alpha_row_rgb_ssse3(uint8_t* out, const uint8_t* in, const uint8_t* t,
                                                             int32_t width, uint8_t level) {
  const __m128i add = _mm_set1_epi8(char(level));
  const __m128i k254 = _mm_set1_epi8(char(254));
  const __m128i k1 = _mm_set1_epi8(1);
  const __m128i low = _mm_set1_epi16(0x00FF);
  const __m128i spread[3] = {_mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5),
                             _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10),
                             _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15)};
  int32_t i = 0;
  for (; i + 16 <= width; i += 16) {
    __m128i l = _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i)), add);
    __m128i keep = _mm_cmpeq_epi8(_mm_max_epu8(l, k254), l);
    __m128i take = _mm_cmpeq_epi8(_mm_min_epu8(l, k1), l);
    if (_mm_movemask_epi8(keep) == 0xFFFF) continue;
    uint8_t* o = out + size_t(i) * 3;
    const uint8_t* s = in + size_t(i) * 3;
    if (_mm_movemask_epi8(take) == 0xFFFF) {
      std::memcpy(o, s, 48);
      continue;
    }
    l = _mm_andnot_si128(take, _mm_or_si128(l, keep));
    for (int part = 0; part < 3; ++part) {
      __m128i levels = _mm_shuffle_epi8(l, spread[part]);
      __m128i* at = reinterpret_cast<__m128i*>(o + part * 16);
      __m128i mixed = mix_split_sse2(_mm_loadu_si128(at),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + part * 16)),
                                     _mm_and_si128(levels, low), _mm_srli_epi16(levels, 8));
      _mm_storeu_si128(at, mixed);
    }
  }
  return i;
}

// The AVX2 row takes 32 pixels (96 bytes, three 32-byte parts) a step. Byte
// shuffles stay inside 128-bit lanes, so each part shuffles a source whose
// lanes hold the 16 pixel levels its two halves need: the first 32 bytes take
// pixels 0-15 in both lanes, the middle ones 0-15 then 16-31, the last 16-31
// in both. The shuffles put each level straight into a zero-extended 16-bit
// lane, one shuffle for the even bytes of a part and one for the odd.
struct LaneSpread {
  int8_t bytes[32];
};

constexpr LaneSpread lane_spread(int part, int odd) {
  LaneSpread spread{};
  for (int b = 0; b < 32; b += 2) {
    int pixel = (part * 32 + b + odd) / 3;
    int first_pixel = part == 0 ? 0 : part == 2 ? 16 : b < 16 ? 0 : 16;
    spread.bytes[b] = int8_t(pixel - first_pixel);
    spread.bytes[b + 1] = int8_t(-128);  // a set top bit shuffles in zero
  }
  return spread;
}

constexpr LaneSpread kLaneSpreads[3][2] = {{lane_spread(0, 0), lane_spread(0, 1)},
                                           {lane_spread(1, 0), lane_spread(1, 1)},
                                           {lane_spread(2, 0), lane_spread(2, 1)}};

__attribute__((target("avx2"), always_inline)) inline void alpha_part_avx2(uint8_t* out, const uint8_t* in,
                                                                           __m256i levels, int part) {
  const __m256i low = _mm256_set1_epi16(0x00FF);
  __m256i level_even = _mm256_shuffle_epi8(
      levels, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLaneSpreads[part][0].bytes)));
  __m256i level_odd = _mm256_shuffle_epi8(
      levels, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLaneSpreads[part][1].bytes)));
  __m256i* at = reinterpret_cast<__m256i*>(out + part * 32);
  __m256i keep = _mm256_loadu_si256(at);
  __m256i take = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + part * 32));
  __m256i keep_even = _mm256_and_si256(keep, low), take_even = _mm256_and_si256(take, low);
  __m256i keep_odd = _mm256_srli_epi16(keep, 8), take_odd = _mm256_srli_epi16(take, 8);
  __m256i even =
      _mm256_add_epi16(keep_even, _mm256_mullo_epi16(level_even, _mm256_sub_epi16(keep_even, take_even)));
  __m256i odd = _mm256_add_epi16(keep_odd, _mm256_mullo_epi16(level_odd, _mm256_sub_epi16(keep_odd, take_odd)));
  __m256i high = _mm256_blendv_epi8(_mm256_srli_epi16(even, 8), odd, _mm256_set1_epi16(int16_t(0xFF00)));
  _mm256_storeu_si256(at, _mm256_add_epi8(take, high));
}

__attribute__((target("avx2"))) int32_t alpha_row_rgb_avx2(uint8_t* out, const uint8_t* in, const uint8_t* t,
                                                           int32_t width, uint8_t level) {
  const __m256i add = _mm256_set1_epi8(char(level));
  const __m256i k254 = _mm256_set1_epi8(char(254));
  const __m256i k1 = _mm256_set1_epi8(1);
  int32_t i = 0;
  for (; i + 32 <= width; i += 32) {
    __m256i l = _mm256_adds_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + i)), add);
    __m256i keep = _mm256_cmpeq_epi8(_mm256_max_epu8(l, k254), l);
    __m256i take = _mm256_cmpeq_epi8(_mm256_min_epu8(l, k1), l);
    if (_mm256_movemask_epi8(keep) == -1) continue;
    uint8_t* o = out + size_t(i) * 3;
    const uint8_t* s = in + size_t(i) * 3;
    if (_mm256_movemask_epi8(take) == -1) {
      std::memcpy(o, s, 96);
      continue;
    }
    l = _mm256_andnot_si256(take, _mm256_or_si256(l, keep));
    alpha_part_avx2(o, s, _mm256_permute2x128_si256(l, l, 0x00), 0);
    alpha_part_avx2(o, s, l, 1);
    alpha_part_avx2(o, s, _mm256_permute2x128_si256(l, l, 0x11), 2);
  }
  return i;
}

#endif

}  // namespace

Rect alpha_copy(const Page& src, const Page& src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region,
                int32_t level) {
  return alpha_copy_with(best_mix_kernel(), src, src_alpha, dst, dst_alpha, region, level);
}

Rect alpha_copy_with(MixKernel kernel, const Page& src, const Page& src_alpha, Page& dst, Page* dst_alpha,
                     const CopyRegion& region, int32_t level) {
  if (level >= 255 || refused_pair(src, dst)) return {};
  StableSource source(src, &src_alpha, dst, dst_alpha, region);
  const CopyRegion& r = source.region;
  // The blend is the level mix with a per-pixel level taken from this table:
  // a >= 255 maps to level 255 (keeps the destination exactly), a <= 2 to
  // level 0 (takes the source exactly), anything between to a - 1. Entries
  // are repeated in three bytes for the 24-bit expansion.
  std::array<uint32_t, 256> to_level{};
  for (int t = 0; t < 256; ++t) {
    int64_t a = int64_t(t) + level + 1;
    uint32_t l = a >= 255 ? 255 : a <= 2 ? 0 : uint32_t(a - 1);
    to_level[size_t(t)] = l * 0x010101u;
  }
  const size_t bpp = size_t(dst.bytes_per_pixel());
  // The vector rows take 24-bit rows at levels 0..254; negative levels (the
  // table then copies more pixels exactly) stay on the portable rows.
  [[maybe_unused]] const uint8_t vector_level = uint8_t(std::max(level, 0));
  kernel = std::min(kernel, best_mix_kernel());
  if (bpp != 3 || level < 0) kernel = MixKernel::Portable;
  SourceRows rows(*source.pixels, dst.depth, r.width);
  for (int32_t y = 0; y < r.height; ++y) {
    const uint8_t* t = source.alpha->row(r.src_y + y) + r.src_x;
    const uint8_t* in = rows.row(r.src_x, r.src_y + y, r.width);
    uint8_t* out = dst.row(region.dst_y + y) + size_t(region.dst_x) * bpp;
    int32_t done = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (kernel == MixKernel::Avx2) done = alpha_row_rgb_avx2(out, in, t, r.width, vector_level);
    if (kernel >= MixKernel::Ssse3) {
      done += alpha_row_rgb_ssse3(out + size_t(done) * 3, in + size_t(done) * 3, t + done, r.width - done,
                                  vector_level);
    }
#endif
    alpha_row_portable(out + size_t(done) * bpp, in + size_t(done) * bpp, t + done, r.width - done, bpp, to_level);
  }
  if (dst_alpha) {
    for (int32_t y = 0; y < r.height; ++y) {
      const uint8_t* t = source.alpha->row(r.src_y + y) + r.src_x;
      uint8_t* d = dst_alpha->row(region.dst_y + y) + region.dst_x;
      for (int32_t i = 0; i < r.width; ++i) d[i] = uint8_t((uint32_t(d[i]) * (uint32_t(t[i]) + 1)) >> 8);
    }
  }
  return region.destination();
}

Rect additive_copy(const Page& src, Page& dst, const CopyRegion& region, int32_t level) {
  if (refused_pair(src, dst)) return {};
  StableSource source(src, nullptr, dst, nullptr, region);
  const CopyRegion& r = source.region;
  uint32_t weight = 255 - clamp_level(level);
  size_t bpp = size_t(dst.bytes_per_pixel());
  SourceRows rows(*source.pixels, dst.depth, r.width);
  for (int32_t y = 0; y < r.height; ++y) {
    const uint8_t* s = rows.row(r.src_x, r.src_y + y, r.width);
    uint8_t* d = dst.row(region.dst_y + y) + size_t(region.dst_x) * bpp;
    for (size_t i = 0; i < size_t(r.width) * bpp; ++i) {
      uint32_t sum = d[i] + ((weight * s[i]) >> 8);
      d[i] = uint8_t(sum > 255 ? 255 : sum);
    }
  }
  return region.destination();
}

namespace {

template <typename Combine>
Rect combine_masks(const Page& src, Page& dst, const CopyRegion& region, Combine combine) {
  if (src.depth != Depth::Indexed8 || dst.depth != Depth::Indexed8) return {};
  StableSource source(src, nullptr, dst, nullptr, region);
  const CopyRegion& r = source.region;
  for (int32_t y = 0; y < r.height; ++y) {
    const uint8_t* s = source.pixels->row(r.src_y + y) + r.src_x;
    uint8_t* d = dst.row(region.dst_y + y) + region.dst_x;
    for (int32_t i = 0; i < r.width; ++i) d[i] = combine(d[i], s[i]);
  }
  return region.destination();
}

}  // namespace

Rect multiply_copy(const Page& src, Page& dst, const CopyRegion& region) {
  return combine_masks(src, dst, region, [](uint32_t d, uint32_t s) { return uint8_t((d * (s + 1)) >> 8); });
}

Rect reverse_multiply_copy(const Page& src, Page& dst, const CopyRegion& region) {
  return combine_masks(src, dst, region,
                       [](uint32_t d, uint32_t s) { return uint8_t(255 - (((255 - d) * (256 - s)) >> 8)); });
}

Rect swap_pixels(Page& src, Page* src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region) {
  if (src.depth != dst.depth) return {};
  bool with_alpha = src_alpha && dst_alpha;
  Page saved = snapshot_rect(src, region.source());
  Page saved_alpha = with_alpha ? snapshot_rect(*src_alpha, region.source()) : Page{};
  CopyRegion back{region.dst_x, region.dst_y, region.src_x, region.src_y, region.width, region.height};
  CopyRegion from_saved{0, 0, region.dst_x, region.dst_y, region.width, region.height};
  move_rows(dst, src, back);
  move_rows(saved, dst, from_saved);
  if (with_alpha) {
    move_rows(*dst_alpha, *src_alpha, back);
    move_rows(saved_alpha, *dst_alpha, from_saved);
  }
  return region.destination();
}

// ---- lookup tables

LookupTable make_lookup_table(std::span<const int32_t> elements) {
  LookupTable table{};
  size_t count = std::min<size_t>(elements.size(), 256);
  for (size_t i = 0; i < count; ++i) table[i] = uint8_t(std::clamp<int32_t>(elements[i], 0, 255));
  return table;
}

Page make_table_alpha(const Page& base, const LookupTable& table) {
  Page alpha = make_page(base.width, base.height, Depth::Indexed8);
  for (int32_t y = 0; y < base.height; ++y) {
    const uint8_t* in = base.row(y);
    uint8_t* out = alpha.row(y);
    for (int32_t x = 0; x < base.width; ++x) out[x] = table[in[x]];
  }
  return alpha;
}

Rect map_through_table(const Page& src, Page& dst, const LookupTable& table) {
  if (src.depth != Depth::Indexed8 || dst.depth != Depth::Indexed8) return {};
  int32_t width = std::min(src.width, dst.width);
  int32_t height = std::min(src.height, dst.height);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = src.row(y);
    uint8_t* out = dst.row(y);
    for (int32_t x = 0; x < width; ++x) out[x] = table[in[x]];
  }
  return {0, 0, dst.width, dst.height};
}

}  // namespace tavelo::graphics
