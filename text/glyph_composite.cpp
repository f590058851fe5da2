#include "text/glyph_composite.h"

#include <algorithm>
#include <array>

namespace tavelo::text {

namespace {

struct Copy {
  int32_t dx = 0;
  int32_t dy = 0;
  uint32_t colour = 0;
};

struct EffectPlan {
  std::array<Copy, 12> copies{};
  size_t count = 0;
  int32_t grow_width = 0;
  int32_t grow_height = 0;

  void add(int32_t dx, int32_t dy, uint32_t colour) { copies[count++] = Copy{dx, dy, colour}; }
};

constexpr uint32_t kModeShadow = 0x00000000;
constexpr uint32_t kModeOutline = 0x01000000;
constexpr uint32_t kModeOutlineShadow = 0x02000000;
constexpr uint32_t kModeOutlineLightShadow = 0x03000000;
constexpr uint32_t kModeDecoration = 0x04000000;

void add_outline(EffectPlan& plan, int32_t right, int32_t down, int32_t a, uint32_t colour) {
  plan.add(right, a, colour);
  plan.add(-a, a, colour);
  plan.add(right, -a, colour);
  plan.add(-a, -a, colour);
  plan.add(right, 0, colour);
  plan.add(-a, 0, colour);
  plan.add(0, -a, colour);
  plan.add(0, down, colour);
}

// The copies in drawing order; the text colour's own copy comes last.
EffectPlan plan_effect(const InkStyle& style, int32_t font_height) {
  const int32_t k = std::max(1, font_height / 9);
  const int32_t a = std::max(1, font_height / 18);
  const uint32_t effect_colour = style.effect & 0x00FFFFFF;
  EffectPlan plan;
  switch (style.effect & 0x7F000000) {
    case kModeShadow:
      plan.add(k, a, effect_colour);
      plan.grow_width = k + 1;
      plan.grow_height = a;
      break;
    case kModeOutline:
      add_outline(plan, a, a, a, effect_colour);
      plan.grow_width = k + 1;
      plan.grow_height = a;
      break;
    case kModeOutlineShadow:
      add_outline(plan, a, a, a, effect_colour);
      plan.add(2 * a, 2 * a, effect_colour);
      plan.add(2 * a, a, effect_colour);
      plan.grow_width = 2 * k + 1;
      plan.grow_height = 2 * a;
      break;
    case kModeOutlineLightShadow:
      plan.add(2 * a, 2 * a, effect_colour | 0x808080);
      plan.add(2 * a, a, effect_colour | 0x808080);
      add_outline(plan, a, a, a, effect_colour);
      plan.grow_width = 2 * k + 1;
      plan.grow_height = 2 * a;
      break;
    case kModeDecoration: {
      // Bold text is one pixel wider, so the right and lower outline moves too.
      const int32_t d = style.decoration.bold ? a + 1 : a;
      if (style.decoration.shadow) {
        // Two copies at one place: the doubled blend gives a denser shadow.
        plan.add(d + a, 2 * a, effect_colour | 0x505050);
        plan.add(d + a, 2 * a, effect_colour | 0x505050);
      }
      if (style.decoration.outline) add_outline(plan, d, d, a, effect_colour);
      if (style.decoration.bold) plan.add(1, 0, style.colour);
      plan.grow_width = 2 * k + 1;
      plan.grow_height = 2 * a;
      break;
    }
    default:
      break;
  }
  plan.add(0, 0, style.colour);
  return plan;
}

// The part of a rectangle inside a page; 64-bit so that script positions near
// the int32 limits plus an effect offset cannot overflow.
graphics::Rect clip_to(int64_t x, int64_t y, int64_t width, int64_t height, const graphics::Page& page) {
  const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(x + width, page.width);
  const int64_t bottom = std::min<int64_t>(y + height, page.height);
  if (right <= left || bottom <= top) return {};
  return {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

graphics::Rect unite(graphics::Rect a, graphics::Rect b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  const int32_t left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const int32_t right = std::max(a.x + a.width, b.x + b.width);
  const int32_t bottom = std::max(a.y + a.height, b.y + b.height);
  return {left, top, right - left, bottom - top};
}

inline uint8_t blend(uint8_t old, uint32_t colour, uint32_t m) {
  return uint8_t(((256 - m) * colour + (m + 1) * old) / 256);
}

// One blending copy of the line's [0, columns) × [0, rows) at (x, y); returns
// the page rectangle it covered.
graphics::Rect blend_copy(const graphics::Page& line, int32_t columns, int32_t rows, graphics::Page& page,
                          graphics::Page* alpha_page, int64_t x, int64_t y, uint32_t colour) {
  const graphics::Rect area = clip_to(x, y, columns, rows, page);
  if (area.empty()) return {};
  const uint8_t red = uint8_t(colour), green = uint8_t(colour >> 8), blue = uint8_t(colour >> 16);
  const bool rgb = page.depth == graphics::Depth::Rgb24;
  for (int32_t py = area.y; py < area.y + area.height; ++py) {
    const uint8_t* coverage = line.row(int32_t(py - y)) + (area.x - x);
    uint8_t* pixel = page.row(py) + size_t(area.x) * size_t(page.bytes_per_pixel());
    uint8_t* alpha = alpha_page && py < alpha_page->height ? alpha_page->row(py) : nullptr;
    for (int32_t px = area.x; px < area.x + area.width; ++px, ++coverage) {
      const uint32_t m = *coverage;
      uint8_t* target = rgb ? pixel + 3 * size_t(px - area.x) : pixel + (px - area.x);
      if (m >= 254) continue;
      if (m <= 1) {
        if (rgb) {
          target[0] = blue;
          target[1] = green;
          target[2] = red;
        } else {
          target[0] = red;
        }
      } else if (rgb) {
        target[0] = blend(target[0], blue, m);
        target[1] = blend(target[1], green, m);
        target[2] = blend(target[2], red, m);
      } else {
        target[0] = blend(target[0], red, m);
      }
      if (alpha && px < alpha_page->width) alpha[px] = uint8_t((alpha[px] * (m + 1)) >> 8);
    }
  }
  return area;
}

}  // namespace

CompositeResult composite_line(const LineInk& ink, const InkStyle& style, graphics::Page& page,
                               graphics::Page* alpha_page, int32_t x, int32_t y) {
  CompositeResult result;
  const EffectPlan plan = plan_effect(style, ink.font_height);
  result.out_rect = {x, y, ink.advance + plan.grow_width, ink.font_height + plan.grow_height};
  if (!ink.line_buffer || ink.line_buffer->depth != graphics::Depth::Indexed8) return result;
  if (alpha_page && alpha_page->depth != graphics::Depth::Indexed8) alpha_page = nullptr;
  const int32_t columns = std::clamp(ink.columns, 0, ink.line_buffer->width);
  const int32_t rows = ink.line_buffer->height;
  for (size_t i = 0; i < plan.count; ++i) {
    const Copy& copy = plan.copies[i];
    const graphics::Rect covered =
        blend_copy(*ink.line_buffer, columns, rows, page, alpha_page, int64_t(x) + copy.dx, int64_t(y) + copy.dy, copy.colour);
    result.changed_rect = unite(result.changed_rect, covered);
  }
  return result;
}

}  // namespace tavelo::text
