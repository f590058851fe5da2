// Scaled, rotated and mosaic copies.

#include "graphics/scaling.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "graphics/pixel_ops.h"

namespace tavelo::graphics {
namespace {

// A source page as the kernels read it: the page itself, or a snapshot of the
// clipped source rectangle when the destination shares its storage. Page
// coordinates (x, y) are at (x - origin_x, y - origin_y) in `page`.
struct SourceView {
  const Page* page = nullptr;
  const Page* alpha = nullptr;
  int32_t origin_x = 0;
  int32_t origin_y = 0;
  Page page_copy;
  Page alpha_copy;

  SourceView(const Page& src, const Page* src_alpha, Rect clipped, const Page& dst, const Page* dst_alpha)
      : page(&src), alpha(src_alpha) {
    bool shared = same_storage(&src, &dst) || same_storage(&src, dst_alpha) || same_storage(src_alpha, &dst) ||
                  same_storage(src_alpha, dst_alpha);
    if (!shared) return;
    page_copy = snapshot_rect(src, clipped);
    page = &page_copy;
    if (src_alpha) {
      alpha_copy = snapshot_rect(*src_alpha, clipped);
      alpha = &alpha_copy;
    }
    origin_x = clipped.x;
    origin_y = clipped.y;
  }
  SourceView(const SourceView&) = delete;
  SourceView& operator=(const SourceView&) = delete;

  const uint8_t* row(int32_t y) const { return page->row(y - origin_y); }
  const uint8_t* alpha_row(int32_t y) const { return alpha->row(y - origin_y); }
};

int32_t clamp_to_int32(int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// ---- nearest neighbour

// Cuts one axis: the source span against its page first, moving and
// shrinking the destination span in proportion, then the destination span,
// moving the source in proportion.
bool clip_scaled_axis(int64_t& s, int64_t& s_len, int64_t& d, int64_t& d_len, int32_t src_size, int32_t dst_size) {
  if (s_len <= 0 || d_len <= 0) return false;
  if (s < 0) {
    int64_t cut = std::min(-s, s_len);
    int64_t moved = cut * d_len / s_len;
    d += moved;
    d_len -= moved;
    s_len -= cut;
    s = 0;
  }
  if (s_len > 0 && s + s_len > src_size) {
    int64_t cut = std::min(s + s_len - src_size, s_len);
    d_len -= cut * d_len / s_len;
    s_len -= cut;
  }
  if (s_len <= 0 || d_len <= 0) return false;
  if (d < 0) {
    int64_t cut = std::min(-d, d_len);
    int64_t moved = cut * s_len / d_len;
    s += moved;
    s_len -= moved;
    d_len -= cut;
    d = 0;
  }
  if (d_len > 0 && d + d_len > dst_size) {
    int64_t cut = std::min(d + d_len - dst_size, d_len);
    s_len -= cut * s_len / d_len;
    d_len -= cut;
  }
  return s_len > 0 && d_len > 0;
}

// Source index (0..s-1) of each of the d destination positions.
std::vector<int32_t> axis_map(int32_t s, int32_t d) {
  std::vector<int32_t> map(size_t(d), 0);
  if (s == d) {
    for (int32_t i = 0; i < d; ++i) map[size_t(i)] = i;
  } else if (s < d) {
    int64_t term = d - 1;
    int32_t source = 0;
    for (int32_t i = 1; i < d; ++i) {
      term -= s;
      if (term < 0) {
        ++source;
        term += d;
      }
      map[size_t(i)] = std::min(source, s - 1);
    }
  } else {
    int64_t term = s / 2;
    int32_t written = 0;
    for (int32_t j = 0; j < s && written < d; ++j) {
      term -= d;
      if (term < 0) {
        map[size_t(written++)] = j;
        term += s;
      }
    }
    // The terms always write exactly d pixels; fill defensively anyway.
    for (int32_t i = written; i < d; ++i) map[size_t(i)] = s - 1;
  }
  return map;
}

// Draws destination rows from source rows through the column map; a row
// whose source row repeats the previous one is copied from the row above.
void scale_rows(const uint8_t* (*source_row)(const SourceView&, int32_t), const SourceView& view, Depth src_depth,
                const PaletteBytes* palette, Page& dst, int32_t src_x, int32_t src_y, const std::vector<int32_t>& xs,
                const std::vector<int32_t>& ys, int32_t dst_x, int32_t dst_y) {
  size_t dst_bpp = size_t(dst.bytes_per_pixel());
  size_t src_bpp = src_depth == Depth::Rgb24 ? 3 : 1;
  size_t row_bytes = xs.size() * dst_bpp;
  for (size_t j = 0; j < ys.size(); ++j) {
    uint8_t* out = dst.row(dst_y + int32_t(j)) + size_t(dst_x) * dst_bpp;
    if (j > 0 && ys[j] == ys[j - 1]) {
      std::memcpy(out, out - size_t(dst.stride), row_bytes);
      continue;
    }
    const uint8_t* in = source_row(view, src_y + ys[j]) + size_t(src_x) * src_bpp;
    if (palette) {
      for (size_t i = 0; i < xs.size(); ++i) std::memcpy(out + i * 3, &(*palette)[size_t(in[xs[i]]) * 3], 3);
    } else if (dst_bpp == 3) {
      for (size_t i = 0; i < xs.size(); ++i) std::memcpy(out + i * 3, in + size_t(xs[i]) * 3, 3);
    } else {
      for (size_t i = 0; i < xs.size(); ++i) out[i] = in[xs[i]];
    }
  }
}

}  // namespace

Rect scaled_copy(const Page& src, const Page* src_alpha, Rect source, Page& dst, Page* dst_alpha, Rect destination) {
  if (src.depth == Depth::Rgb24 && dst.depth == Depth::Indexed8) return {};
  int64_t sx = source.x, sw = source.width, dx = destination.x, dw = destination.width;
  int64_t sy = source.y, sh = source.height, dy = destination.y, dh = destination.height;
  if (!clip_scaled_axis(sx, sw, dx, dw, src.width, dst.width)) return {};
  if (!clip_scaled_axis(sy, sh, dy, dh, src.height, dst.height)) return {};
  Rect src_rect{int32_t(sx), int32_t(sy), int32_t(sw), int32_t(sh)};
  Rect dst_rect{int32_t(dx), int32_t(dy), int32_t(dw), int32_t(dh)};
  bool with_alpha = src_alpha && dst_alpha;
  SourceView view(src, with_alpha ? src_alpha : nullptr, src_rect, dst, with_alpha ? dst_alpha : nullptr);
  std::vector<int32_t> xs = axis_map(src_rect.width, dst_rect.width);
  std::vector<int32_t> ys = axis_map(src_rect.height, dst_rect.height);
  PaletteBytes palette{};
  bool expand = src.depth != dst.depth;
  if (expand) palette = palette_bytes(src);
  int32_t view_x = src_rect.x - view.origin_x;
  scale_rows([](const SourceView& v, int32_t y) { return v.row(y); }, view, src.depth, expand ? &palette : nullptr,
             dst, view_x, src_rect.y, xs, ys, dst_rect.x, dst_rect.y);
  if (with_alpha) {
    scale_rows([](const SourceView& v, int32_t y) { return v.alpha_row(y); }, view, Depth::Indexed8, nullptr,
               *dst_alpha, view_x, src_rect.y, xs, ys, dst_rect.x, dst_rect.y);
  }
  return dst_rect;
}

// ---- rotation

Rect rotated_copy(const Page& src, const Page* src_alpha, Rect source, Page& dst, Page* dst_alpha, Rect destination,
                  float angle, float scale_x, float scale_y) {
  // Negated comparisons also refuse NaN scales.
  if (!(std::fabs(scale_x) > 0.002f) || !(std::fabs(scale_y) > 0.002f)) return {};
  // An angle or scale that is not a number (a script's float arithmetic can
  // make one) would turn into a meaningless fixed-point step: draw nothing.
  if (!std::isfinite(angle) || !std::isfinite(scale_x) || !std::isfinite(scale_y)) return {};
  if (src.depth == Depth::Rgb24 && dst.depth == Depth::Indexed8) return {};
  double thousandths = std::trunc(double(angle) * 1000.0);
  if (std::isfinite(thousandths) && std::fmod(thousandths, 360000.0) == 0.0) {
    if (scale_x == 1.0f && scale_y == 1.0f) {
      int64_t x = int64_t(destination.x) + (int64_t(destination.width) - source.width + 1) / 2;
      int64_t y = int64_t(destination.y) + (int64_t(destination.height) - source.height + 1) / 2;
      std::optional<CopyRegion> region = clip_copy(src, source, dst, clamp_to_int32(x), clamp_to_int32(y));
      if (!region) return {};
      Rect drawn = copy_pixels(src, src_alpha, dst, dst_alpha, *region);
      if (dst_alpha && !src_alpha) fill_rect(*dst_alpha, drawn, 0);
      return drawn;
    }
    SmoothCopyResult result = smooth_scaled_copy(src, source, dst, destination, scale_x, scale_y);
    if (dst_alpha && !result.drawn.empty()) {
      if (src_alpha) {
        smooth_scaled_copy(*src_alpha, source, *dst_alpha, destination, scale_x, scale_y);
      } else {
        fill_rect(*dst_alpha, result.drawn, 0);
      }
    }
    return result.drawn;
  }

  Rect src_clip = clip_to_page(source, src.width, src.height);
  Rect dst_clip = clip_to_page(destination, dst.width, dst.height);
  if (src_clip.empty() || dst_clip.empty()) return {};
  // The mapping uses the centres of the rectangles as given, so that clipping
  // at a page edge cuts the picture instead of shifting it.
  int64_t src_cx = int64_t(source.x) + source.width / 2;
  int64_t src_cy = int64_t(source.y) + source.height / 2;
  int64_t dst_cx = int64_t(destination.x) + destination.width / 2;
  int64_t dst_cy = int64_t(destination.y) + destination.height / 2;
  double theta = -double(angle) * 0.017453292519444445;
  double c = std::cos(theta), s = std::sin(theta);
  const int64_t k_ux = int64_t(c / scale_x * 65536.0);
  const int64_t k_vx = int64_t(-s / scale_x * 65536.0);
  const int64_t k_uy = int64_t(s / scale_y * 65536.0);
  const int64_t k_vy = int64_t(c / scale_y * 65536.0);

  SourceView view(src, dst_alpha ? src_alpha : nullptr, src_clip, dst, dst_alpha);
  PaletteBytes palette{};
  bool expand = src.depth != dst.depth;
  if (expand) palette = palette_bytes(src);
  size_t bpp = size_t(dst.bytes_per_pixel());
  int64_t left = src_clip.x, top = src_clip.y;
  int64_t right = left + src_clip.width, bottom = top + src_clip.height;
  Rect drawn;
  int32_t drawn_right = 0, drawn_bottom = 0;
  for (int32_t y = dst_clip.y; y < dst_clip.y + dst_clip.height; ++y) {
    int64_t v = y - dst_cy;
    int64_t u = dst_clip.x - dst_cx;
    int64_t fx = k_ux * u + k_vx * v;
    int64_t fy = k_uy * u + k_vy * v;
    uint8_t* out = dst.row(y);
    uint8_t* out_alpha = dst_alpha ? dst_alpha->row(y) : nullptr;
    bool in_run = false;
    int32_t run_start = 0, run_end = 0;
    for (int32_t x = dst_clip.x; x < dst_clip.x + dst_clip.width; ++x, fx += k_ux, fy += k_uy) {
      int64_t px = src_cx + (fx >> 16);
      int64_t py = src_cy + (fy >> 16);
      bool inside = px >= left && px < right && py >= top && py < bottom;
      if (!inside) {
        if (in_run) break;  // a row is one run: it ends at the first pixel outside
        continue;
      }
      if (!in_run) {
        in_run = true;
        run_start = x;
      }
      run_end = x + 1;
      int32_t vx = int32_t(px - view.origin_x);
      const uint8_t* in = view.row(int32_t(py));
      if (expand) {
        std::memcpy(out + size_t(x) * 3, &palette[size_t(in[vx]) * 3], 3);
      } else {
        std::memcpy(out + size_t(x) * bpp, in + size_t(vx) * bpp, bpp);
      }
      if (out_alpha) out_alpha[x] = view.alpha ? view.alpha_row(int32_t(py))[vx] : 0;
    }
    if (!in_run) continue;
    if (drawn.empty()) {
      drawn = {run_start, y, 0, 0};
      drawn_right = run_end;
    }
    drawn.x = std::min(drawn.x, run_start);
    drawn_right = std::max(drawn_right, run_end);
    drawn_bottom = y + 1;
    drawn.width = drawn_right - drawn.x;
    drawn.height = drawn_bottom - drawn.y;
  }
  return drawn;
}

// ---- smooth scaled copy

namespace {

// Positions are in 14-bit fixed point: 16384 is one source pixel.
constexpr int64_t kOne = 16384;

struct SmoothJob {
  const SourceView* view = nullptr;
  Page* dst = nullptr;
  size_t bpp = 3;
  int32_t dst_x = 0;                // first drawn destination column
  int32_t dst_y = 0;                // first drawn destination row
  std::vector<int32_t> column_offset;  // byte offset of the left source pixel in a view row
  std::vector<uint32_t> column_fraction;
  std::vector<int64_t> row_position;
};

// The span of destination positions first..first+count-1 whose source position
// p = base + step * i satisfies low <= p < high; positions are linear in i,
// so the span is contiguous.
struct Span {
  int32_t first = 0;
  int32_t count = 0;
};

Span valid_span(int32_t dst_start, int32_t dst_count, int64_t base, int64_t step, int64_t low, int64_t high) {
  Span span{0, 0};
  bool found = false;
  for (int32_t i = 0; i < dst_count; ++i) {
    int64_t p = base + step * (int64_t(dst_start) + i);
    if (p >= low && p < high) {
      if (!found) {
        span.first = dst_start + i;
        found = true;
      }
      span.count = dst_start + i - span.first + 1;
    } else if (found) {
      break;
    }
  }
  return span;
}

void resample_row(const SmoothJob& job, int32_t source_row, uint8_t* out) {
  const uint8_t* in = job.view->row(source_row);
  const size_t columns = job.column_offset.size();
  const int32_t* offsets = job.column_offset.data();
  const uint32_t* fractions = job.column_fraction.data();
  if (job.bpp == 3) {
    for (size_t i = 0; i < columns; ++i) {
      const uint8_t* p = in + offsets[i];
      uint32_t f = fractions[i], g = uint32_t(kOne) - f;
      out[0] = uint8_t((p[0] * g + p[3] * f) >> 14);
      out[1] = uint8_t((p[1] * g + p[4] * f) >> 14);
      out[2] = uint8_t((p[2] * g + p[5] * f) >> 14);
      out += 3;
    }
  } else {
    for (size_t i = 0; i < columns; ++i) {
      const uint8_t* p = in + offsets[i];
      uint32_t f = fractions[i];
      out[i] = uint8_t((p[0] * (uint32_t(kOne) - f) + p[1] * f) >> 14);
    }
  }
}

// Draws destination rows [begin, end) of the job. Two resampled source rows
// are kept; consecutive destination rows mostly need the same pair, or the
// lower row of the previous pair as their upper row.
void run_band(const SmoothJob& job, int32_t begin, int32_t end) {
  size_t bytes = job.column_offset.size() * job.bpp;
  std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(bytes), std::vector<uint8_t>(bytes)};
  int64_t tags[2] = {-1, -1};
  for (int32_t j = begin; j < end; ++j) {
    int64_t position = job.row_position[size_t(j)];
    int64_t upper = position >> 14;
    uint32_t level = uint32_t((position >> 6) & 255);
    int upper_slot = tags[0] == upper ? 0 : tags[1] == upper ? 1 : -1;
    int lower_slot = tags[0] == upper + 1 ? 0 : tags[1] == upper + 1 ? 1 : -1;
    if (upper_slot < 0) {
      upper_slot = lower_slot == 0 ? 1 : 0;
      resample_row(job, int32_t(upper), buffers[upper_slot].data());
      tags[upper_slot] = upper;
    }
    if (lower_slot < 0) {
      lower_slot = 1 - upper_slot;
      resample_row(job, int32_t(upper + 1), buffers[lower_slot].data());
      tags[lower_slot] = upper + 1;
    }
    uint8_t* out = job.dst->row(job.dst_y + j) + size_t(job.dst_x) * job.bpp;
    mix_bytes(out, buffers[lower_slot].data(), buffers[upper_slot].data(), bytes, level);
  }
}

// 16384 / scale, truncated; no step for scales that are zero, not finite, or
// so small that the positions would leave 64-bit arithmetic.
std::optional<int64_t> step_for(float scale) {
  double step = double(kOne) / double(scale);
  if (!std::isfinite(step) || std::fabs(step) > double(int64_t(1) << 30)) return std::nullopt;
  return int64_t(step);
}

}  // namespace

int32_t smooth_copy_bands(int32_t rows, unsigned processors) {
  if (rows < 100) return 1;
  if (processors > 3) return 4;
  if (processors >= 2) return 2;
  return 1;
}

SmoothCopyResult smooth_scaled_copy(const Page& src, Rect source, Page& dst, Rect destination, float scale_x,
                                    float scale_y, Threading threading) {
  SmoothCopyResult result;
  if (src.depth != dst.depth) {
    result.supported = false;
    return result;
  }
  std::optional<int64_t> step_x = step_for(scale_x), step_y = step_for(scale_y);
  if (!step_x || !step_y) return result;
  Rect src_clip = clip_to_page(source, src.width, src.height);
  Rect dst_clip = clip_to_page(destination, dst.width, dst.height);
  if (src_clip.empty() || dst_clip.empty()) return result;

  // Position of destination column x: centre * 16384 + E / 2 - E * (dcentre - x) - 8192,
  // i.e. base + E * x, which maps pixel centres onto pixel centres.
  int64_t src_cx = int64_t(source.x) + source.width / 2, src_cy = int64_t(source.y) + source.height / 2;
  int64_t dst_cx = int64_t(destination.x) + destination.width / 2;
  int64_t dst_cy = int64_t(destination.y) + destination.height / 2;
  int64_t base_x = src_cx * kOne + *step_x / 2 - *step_x * dst_cx - kOne / 2;
  int64_t base_y = src_cy * kOne + *step_y / 2 - *step_y * dst_cy - kOne / 2;
  // Both neighbours must lie inside the clipped source: positions from its
  // first pixel up to (not reaching) its last.
  Span columns = valid_span(dst_clip.x, dst_clip.width, base_x, *step_x, int64_t(src_clip.x) * kOne,
                            (int64_t(src_clip.x) + src_clip.width - 1) * kOne);
  Span rows = valid_span(dst_clip.y, dst_clip.height, base_y, *step_y, int64_t(src_clip.y) * kOne,
                         (int64_t(src_clip.y) + src_clip.height - 1) * kOne);
  if (columns.count == 0 || rows.count == 0) return result;

  SourceView view(src, nullptr, src_clip, dst, nullptr);
  SmoothJob job;
  job.view = &view;
  job.dst = &dst;
  job.bpp = size_t(dst.bytes_per_pixel());
  job.dst_x = columns.first;
  job.dst_y = rows.first;
  job.column_offset.resize(size_t(columns.count));
  job.column_fraction.resize(size_t(columns.count));
  for (int32_t i = 0; i < columns.count; ++i) {
    int64_t position = base_x + *step_x * (int64_t(columns.first) + i);
    job.column_offset[size_t(i)] = int32_t(((position >> 14) - view.origin_x) * int64_t(job.bpp));
    job.column_fraction[size_t(i)] = uint32_t(position & (kOne - 1));
  }
  job.row_position.resize(size_t(rows.count));
  for (int32_t j = 0; j < rows.count; ++j) {
    job.row_position[size_t(j)] = base_y + *step_y * (int64_t(rows.first) + j);
  }

  unsigned processors = threading == Threading::Auto ? std::thread::hardware_concurrency() : 1;
  int32_t bands = smooth_copy_bands(rows.count, processors);
  // Band b covers rows [count * b / bands, count * (b + 1) / bands); the
  // caller draws the first band itself while the workers draw the others.
  std::vector<std::thread> workers;
  for (int32_t b = 1; b < bands; ++b) {
    int32_t begin = int32_t(int64_t(rows.count) * b / bands);
    int32_t end = int32_t(int64_t(rows.count) * (b + 1) / bands);
    workers.emplace_back([&job, begin, end] { run_band(job, begin, end); });
  }
  run_band(job, 0, int32_t(int64_t(rows.count) / bands));
  for (std::thread& worker : workers) worker.join();

  result.drawn = {columns.first, rows.first, columns.count, rows.count};
  result.bands = bands;
  result.worker_threads = int32_t(workers.size());
  return result;
}

// ---- mosaic

namespace {

uint32_t next_random(uint32_t& state) {
  if (state == 0) state = 0x9E3779B9u;
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

}  // namespace

Rect mosaic(const Page& src, Rect source, Page& dst, int32_t dst_x, int32_t dst_y, int32_t size,
            uint32_t& random_state) {
  if (size < 1 || src.depth != Depth::Rgb24 || dst.depth != Depth::Rgb24) return {};
  source.width = std::max(source.width, 1);
  source.height = std::max(source.height, 1);
  std::optional<CopyRegion> clipped = clip_copy(src, source, dst, dst_x, dst_y);
  if (!clipped) return {};
  const CopyRegion& r = *clipped;
  SourceView view(src, nullptr, r.source(), dst, nullptr);
  int64_t right = int64_t(r.dst_x) + r.width, bottom = int64_t(r.dst_y) + r.height;
  // The grid is centred: the first tile starts before the rectangle by up to
  // a whole tile and is cut to it.
  int64_t first_x = int64_t(r.dst_x) + (r.width % size) / 2 - size;
  int64_t first_y = int64_t(r.dst_y) + (r.height % size) / 2 - size;
  for (int64_t ty = first_y; ty < bottom; ty += size) {
    int64_t top = std::max<int64_t>(ty, r.dst_y), tile_bottom = std::min<int64_t>(ty + size, bottom);
    if (tile_bottom <= top) continue;
    int32_t th = int32_t(tile_bottom - top);
    for (int64_t tx = first_x; tx < right; tx += size) {
      int64_t left = std::max<int64_t>(tx, r.dst_x), tile_right = std::min<int64_t>(tx + size, right);
      if (tile_right <= left) continue;
      int32_t tw = int32_t(tile_right - left);
      int32_t sx = int32_t(r.src_x + (left - r.dst_x)) - view.origin_x;
      int32_t sy = int32_t(r.src_y + (top - r.dst_y));
      uint32_t sum[3] = {0, 0, 0};
      for (int sample = 0; sample < 3; ++sample) {
        int32_t oy = int32_t(next_random(random_state) % uint32_t(th));
        int32_t ox = int32_t(next_random(random_state) % uint32_t(tw));
        const uint8_t* pixel = view.row(sy + oy) + size_t(sx + ox) * 3;
        for (int c = 0; c < 3; ++c) sum[c] += pixel[c];
      }
      uint8_t* first_row = dst.row(int32_t(top)) + size_t(left) * 3;
      for (int32_t i = 0; i < tw; ++i) {
        for (int c = 0; c < 3; ++c) first_row[size_t(i) * 3 + size_t(c)] = uint8_t(sum[c] / 3);
      }
      for (int32_t row = 1; row < th; ++row) {
        std::memcpy(dst.row(int32_t(top) + row) + size_t(left) * 3, first_row, size_t(tw) * 3);
      }
    }
  }
  return r.destination();
}

}  // namespace tavelo::graphics
