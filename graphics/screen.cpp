// The display page, display geometry, coordinate conversion and the window picture.

#include "graphics/screen.h"

#include <algorithm>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/pixel_ops.h"
#include "graphics/scaling.h"
#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

// Border colours as script colour values.
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kLightGrey = 0xC0C0C0;
constexpr uint32_t kWhite = 0xFFFFFF;

// Beyond this many rectangles a frame is shown as their bounding box.
constexpr size_t kMaxShownRects = 256;

int32_t clamp32(int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

int64_t scaled(int64_t value, int32_t scale) { return value * scale / kUnitScale; }

Rect intersect(Rect a, Rect b) {
  int64_t left = std::max<int64_t>(a.x, b.x), top = std::max<int64_t>(a.y, b.y);
  int64_t right = std::min<int64_t>(int64_t(a.x) + a.width, int64_t(b.x) + b.width);
  int64_t bottom = std::min<int64_t>(int64_t(a.y) + a.height, int64_t(b.y) + b.height);
  if (right <= left || bottom <= top) return {};
  return {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

Rect moved(Rect rect, int64_t dx, int64_t dy) {
  return {clamp32(rect.x + dx), clamp32(rect.y + dy), rect.width, rect.height};
}

// What a display scale would give, before anything changes.
struct Geometry {
  GeometryResult result = GeometryResult::Done;
  int32_t window_width = 0;
  int32_t window_height = 0;
  int32_t scaled_width = 0;  // the window-scale page; 0 when the scales are 1:1
  int32_t scaled_height = 0;
};

Geometry plan_display_scale(const Screen& screen, Rect view, int32_t width, int32_t height, int32_t scale_x,
                            int32_t scale_y) {
  Geometry plan;
  if (width < 1 || height < 1) {
    plan.result = GeometryResult::BadSize;
    return plan;
  }
  if (scale_x < 1 || scale_y < 1) {
    plan.result = GeometryResult::BadScale;
    return plan;
  }
  // A negative view origin shows the picture further right and down, so the
  // window area grows by it.
  int64_t origin_x = scaled(view.x, scale_x), origin_y = scaled(view.y, scale_y);
  int64_t window_width = scaled(width, scale_x) + (origin_x < 0 ? -origin_x : 0);
  int64_t window_height = scaled(height, scale_y) + (origin_y < 0 ? -origin_y : 0);
  bool unscaled = scale_x == kUnitScale && scale_y == scale_x;
  int64_t scaled_width = unscaled ? 0 : scaled(screen.width, scale_x);
  int64_t scaled_height = unscaled ? 0 : scaled(screen.height, scale_y);
  if (window_width < 1 || window_height < 1 || (!unscaled && (scaled_width < 1 || scaled_height < 1))) {
    plan.result = GeometryResult::BadScale;
  } else if (window_width > kMaxWindowSide || window_height > kMaxWindowSide || scaled_width > kMaxWindowSide ||
             scaled_height > kMaxWindowSide) {
    plan.result = GeometryResult::TooLarge;
  }
  plan.window_width = int32_t(std::min<int64_t>(window_width, INT32_MAX));
  plan.window_height = int32_t(std::min<int64_t>(window_height, INT32_MAX));
  plan.scaled_width = int32_t(std::min<int64_t>(scaled_width, INT32_MAX));
  plan.scaled_height = int32_t(std::min<int64_t>(scaled_height, INT32_MAX));
  return plan;
}

void apply_display_scale(State& state, const Geometry& plan, int32_t scale_x, int32_t scale_y) {
  Screen& screen = state.screen;
  screen.scale_x = scale_x;
  screen.scale_y = scale_y;
  screen.window_scale = plan.scaled_width > 0 ? make_page(plan.scaled_width, plan.scaled_height, Depth::Rgb24) : Page{};
  screen.window_width = plan.window_width;
  screen.window_height = plan.window_height;
  present_all(state);
  repaint_window(state);
}

// Joins rectangles that continue each other along a row (cells of one row
// of the screen arrive one by one), so the platform uploads fewer pieces.
void merge_rows(std::vector<Rect>& rects) {
  std::sort(rects.begin(), rects.end(), [](const Rect& a, const Rect& b) {
    return a.y != b.y ? a.y < b.y : a.height != b.height ? a.height < b.height : a.x < b.x;
  });
  std::vector<Rect> merged;
  for (const Rect& rect : rects) {
    if (!merged.empty()) {
      Rect& last = merged.back();
      if (last == rect) continue;
      if (last.y == rect.y && last.height == rect.height && int64_t(last.x) + last.width == rect.x) {
        last.width += rect.width;
        continue;
      }
    }
    merged.push_back(rect);
  }
  if (merged.size() > kMaxShownRects) {
    Rect box = merged.front();
    for (const Rect& rect : merged) {
      int64_t right = std::max<int64_t>(int64_t(box.x) + box.width, int64_t(rect.x) + rect.width);
      int64_t bottom = std::max<int64_t>(int64_t(box.y) + box.height, int64_t(rect.y) + rect.height);
      box.x = std::min(box.x, rect.x);
      box.y = std::min(box.y, rect.y);
      box.width = int32_t(right - box.x);
      box.height = int32_t(bottom - box.y);
    }
    merged.assign(1, box);
  }
  rects.swap(merged);
}

// Where the picture's top-left corner lies in the window: the view origin
// at the window's corner, moved up by the menu offset and by the display offset.
Point picture_origin(const Screen& screen) {
  Point offset = display_offset(screen);
  return {clamp32(-scaled(screen.view.x, screen.scale_x) - offset.x),
          clamp32(-scaled(screen.view.y, screen.scale_y) - int64_t(offset.y) - screen.menu_offset)};
}

void fill_span(Page& frame, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t colour) {
  if (right <= left || bottom <= top) return;
  fill_rect(frame, {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)}, colour);
}

// Paints one window rectangle: the picture where it lies, borders around it
// (black around a shifted picture, light grey below an unshifted one, white
// to the right and below when asked for), white without a picture at all.
void paint_rect(const Screen& screen, Page& frame, Rect rect, const Page* picture) {
  if (!picture) {
    fill_rect(frame, rect, kWhite);
    return;
  }
  Point origin = picture_origin(screen);
  bool shifted = display_offset(screen) != Point{};
  int64_t left = rect.x, top = rect.y, right = int64_t(rect.x) + rect.width, bottom = int64_t(rect.y) + rect.height;
  int64_t picture_left = origin.x, picture_top = origin.y;
  int64_t picture_right = picture_left + picture->width, picture_bottom = picture_top + picture->height;
  uint32_t below = screen.white_border ? kWhite : shifted ? kBlack : kLightGrey;
  uint32_t beside = screen.white_border ? kWhite : kBlack;

  fill_span(frame, left, top, right, std::min(bottom, picture_top), kBlack);
  fill_span(frame, left, std::max(top, picture_bottom), right, bottom, below);
  int64_t band_top = std::max(top, picture_top), band_bottom = std::min(bottom, picture_bottom);
  fill_span(frame, left, band_top, std::min(right, picture_left), band_bottom, kBlack);
  fill_span(frame, std::max(left, picture_right), band_top, right, band_bottom, beside);
  Rect inside = intersect(rect, {origin.x, origin.y, picture->width, picture->height});
  if (inside.empty()) return;
  Rect source{int32_t(inside.x - picture_left), int32_t(inside.y - picture_top), inside.width, inside.height};
  std::optional<CopyRegion> region = clip_copy(*picture, source, frame, inside.x, inside.y);
  if (region) copy_pixels(*picture, nullptr, frame, nullptr, *region);
}

}  // namespace

// ---- the display page

int32_t create_display_page(State& state, int32_t width, int32_t height) {
  int32_t handle = create_page(state, std::clamp(width, 1, kMaxWindowSide), std::clamp(height, 1, kMaxWindowSide),
                               Depth::Rgb24, Holding::Engine);
  set_display_page(state, handle);
  return handle;
}

void set_display_page(State& state, int32_t page_handle) {
  Screen& screen = state.screen;
  int32_t previous = screen.display_page;
  const Page* page = page_handle != 0 ? find_page(state, page_handle) : nullptr;
  if (page_handle != 0 && !page) return;
  if (previous != page_handle) {
    const Destination* record = previous != 0 ? find_destination(state, previous) : nullptr;
    if (record && !record->persistent) detach_destination(state, previous);
    if (page) attach_destination(state, page_handle);
  }
  screen.display_page = page_handle;
  if (!page) {
    screen.window_scale = {};
    repaint_window(state);
    return;
  }
  if (page->width == screen.width && page->height == screen.height) return;
  screen.width = page->width;
  screen.height = page->height;
  screen.view = {0, 0, page->width, page->height};
  screen.script_offset = {};
  screen.base_offset = {};
  // 1:1 needs no window-scale page, so any page size can be shown this way.
  Geometry plan;
  plan.window_width = page->width;
  plan.window_height = page->height;
  apply_display_scale(state, plan, kUnitScale, kUnitScale);
}

const Page* display_page(const State& state) { return find_page(state, state.screen.display_page); }

void clear_display_page(State& state) {
  Page* page = find_page(state, state.screen.display_page);
  if (!page) return;
  fill_rect(*page, {0, 0, page->width, page->height}, kBlack);
  mark_whole_page(state, state.screen.display_page);
}

// ---- geometry

GeometryResult set_display_scale(State& state, int32_t width, int32_t height, int32_t scale_x, int32_t scale_y) {
  Geometry plan = plan_display_scale(state.screen, state.screen.view, width, height, scale_x, scale_y);
  if (plan.result == GeometryResult::Done) apply_display_scale(state, plan, scale_x, scale_y);
  return plan.result;
}

GeometryResult set_view(State& state, Rect view, std::optional<Point> scales) {
  Screen& screen = state.screen;
  int32_t scale_x = scales ? scales->x : screen.scale_x, scale_y = scales ? scales->y : screen.scale_y;
  Geometry plan = plan_display_scale(screen, view, view.width, view.height, scale_x, scale_y);
  if (plan.result != GeometryResult::Done) return plan.result;
  screen.view = view;
  apply_display_scale(state, plan, scale_x, scale_y);
  return GeometryResult::Done;
}

GeometryResult set_window(State& state, int32_t width, int32_t height, int32_t scale_x, int32_t scale_y) {
  Screen& screen = state.screen;
  if (width < 1 || height < 1) return GeometryResult::BadSize;
  if (width > kMaxWindowSide || height > kMaxWindowSide) return GeometryResult::TooLarge;
  Geometry plan = plan_display_scale(screen, screen.view, screen.view.width, screen.view.height, scale_x, scale_y);
  if (plan.result != GeometryResult::Done) return plan.result;
  clear_display_page(state);
  plan.window_width = width;
  plan.window_height = height;
  apply_display_scale(state, plan, scale_x, scale_y);
  screen.window_set_centring = {clamp32((int64_t(width) - scaled(screen.view.width, scale_x)) / -2),
                                clamp32((int64_t(height) - scaled(screen.view.height, scale_y)) / -2)};
  set_base_offset(state, screen.window_set_centring);
  return GeometryResult::Done;
}

GeometryResult zoom_screen(State& state, int32_t per_mille) {
  Screen& screen = state.screen;
  if (per_mille < 1) return GeometryResult::BadScale;
  if (screen.width < 1 || screen.height < 1) return GeometryResult::BadSize;
  // The shown part is the screen divided by the zoom, centred; the window
  // keeps the screen's size.
  int32_t view_width = clamp32(std::max<int64_t>(1, int64_t(screen.width) * kUnitScale / per_mille));
  int32_t view_height = clamp32(std::max<int64_t>(1, int64_t(screen.height) * kUnitScale / per_mille));
  Rect view{(screen.width - view_width) / 2, (screen.height - view_height) / 2, view_width, view_height};
  Geometry plan = plan_display_scale(screen, view, view_width, view_height, per_mille, per_mille);
  if (plan.result != GeometryResult::Done) return plan.result;
  screen.view = view;
  plan.window_width = screen.width;
  plan.window_height = screen.height;
  apply_display_scale(state, plan, per_mille, per_mille);
  return GeometryResult::Done;
}

void set_script_offset(State& state, Point offset) {
  Screen& screen = state.screen;
  screen.script_offset = offset;
  // The base is the window centring when the game manages its own window,
  // else the display mode's.
  screen.base_offset = screen.ignore_screen_mode ? screen.window_set_centring : screen.host_offset;
  repaint_window(state);
}

void set_base_offset(State& state, Point offset) {
  state.screen.base_offset = offset;
  repaint_window(state);
}

void set_host_offset(State& state, Point offset) {
  Screen& screen = state.screen;
  screen.host_offset = offset;
  if (!screen.ignore_screen_mode) screen.base_offset = offset;
  repaint_window(state);
}

Point display_offset(const Screen& screen) {
  return {clamp32(int64_t(screen.script_offset.x) + screen.base_offset.x),
          clamp32(int64_t(screen.script_offset.y) + screen.base_offset.y)};
}

void set_menu_offset(State& state, int32_t height) {
  if (state.screen.menu_offset == height) return;
  state.screen.menu_offset = height;
  repaint_window(state);
}

void set_white_border(State& state, bool white) {
  if (state.screen.white_border == white) return;
  state.screen.white_border = white;
  repaint_window(state);
}

void set_paint_suspended(State& state, bool suspended) {
  state.screen.paint_suspended = suspended;
  if (!suspended) repaint_window(state);
}

// ---- coordinates

Point screen_to_window(const Screen& screen, Point point) {
  Point offset = display_offset(screen);
  return {clamp32(scaled(point.x, screen.scale_x) - scaled(screen.view.x, screen.scale_x) - offset.x),
          clamp32(scaled(point.y, screen.scale_y) - scaled(screen.view.y, screen.scale_y) - offset.y)};
}

Point window_to_screen(const Screen& screen, Point point) {
  Point offset = display_offset(screen);
  int32_t scale_x = std::max(screen.scale_x, 1), scale_y = std::max(screen.scale_y, 1);
  return {clamp32((int64_t(point.x) + offset.x + scaled(screen.view.x, scale_x)) * kUnitScale / scale_x),
          clamp32((int64_t(point.y) + offset.y + scaled(screen.view.y, scale_y)) * kUnitScale / scale_y)};
}

bool window_point_inside(const Screen& screen, Point point) {
  Point offset = display_offset(screen);
  int64_t x = int64_t(point.x) + offset.x, y = int64_t(point.y) + offset.y;
  return x >= 0 && y >= 0 && x < screen.window_width && y < screen.window_height;
}

// ---- presentation

void present_rect(State& state, Rect screen_rect) {
  Screen& screen = state.screen;
  if (screen.paint_suspended || screen_rect.empty()) return;
  const Page* display = find_page(state, screen.display_page);
  if (!display) return;
  Rect window;
  if (screen.window_scale.width > 0) {
    // The smoothing works within one depth; an 8-bit display page is scaled
    // as indices and shown through its palette.
    if (screen.window_scale.depth != display->depth) {
      screen.window_scale = make_page(screen.window_scale.width, screen.window_scale.height, display->depth);
      screen_rect = {0, 0, display->width, display->height};
    }
    screen.window_scale.palette = display->palette;
    // One pixel of margin each side: the smoothing of the rectangle's edge
    // pixels reads their neighbours.
    int64_t x = int64_t(screen_rect.x) - 1, y = int64_t(screen_rect.y) - 1;
    int64_t width = int64_t(screen_rect.width) + 2, height = int64_t(screen_rect.height) + 2;
    Rect source{clamp32(x), clamp32(y), clamp32(width), clamp32(height)};
    Rect target{clamp32(scaled(x, screen.scale_x) - 1), clamp32(scaled(y, screen.scale_y) - 1),
                clamp32(scaled(width, screen.scale_x) + 2), clamp32(scaled(height, screen.scale_y) + 2)};
    smooth_scaled_copy(*display, source, screen.window_scale, target, float(screen.scale_x) / kUnitScale,
                       float(screen.scale_y) / kUnitScale);
    window = intersect(target, {0, 0, screen.window_scale.width, screen.window_scale.height});
  } else {
    window = intersect(screen_rect, {0, 0, display->width, display->height});
  }
  Point origin = picture_origin(screen);
  window = intersect(moved(window, origin.x, origin.y), {0, 0, screen.window_width, screen.window_height});
  if (!window.empty()) screen.pending.push_back(window);
}

void present_all(State& state) {
  present_rect(state, {0, 0, state.screen.width, state.screen.height});
}

void repaint_window(State& state) { state.screen.whole_window = true; }

std::optional<Presentation> take_presentation(State& state) {
  Screen& screen = state.screen;
  if (screen.paint_suspended || screen.window_width < 1 || screen.window_height < 1) return std::nullopt;
  if (!screen.whole_window && screen.pending.empty()) return std::nullopt;
  const Page* display = find_page(state, screen.display_page);
  const Page* picture = !display ? nullptr : screen.window_scale.width > 0 ? &screen.window_scale : display;
  Point origin = picture_origin(screen);
  // The platform takes 24-bit pictures; an 8-bit one goes through the window picture.
  bool direct = picture && picture->depth == Depth::Rgb24 && !screen.white_border && origin == Point{} &&
                picture->width == screen.window_width && picture->height == screen.window_height;
  // Another kind or size of picture replaces the whole window.
  if (direct != screen.last_direct || screen.window_width != screen.last_width ||
      screen.window_height != screen.last_height) {
    screen.whole_window = true;
  }
  screen.shown.clear();
  if (screen.whole_window) {
    screen.shown.push_back({0, 0, screen.window_width, screen.window_height});
  } else {
    screen.shown.swap(screen.pending);
    merge_rows(screen.shown);
  }
  screen.pending.clear();
  screen.whole_window = false;
  screen.last_direct = direct;
  screen.last_width = screen.window_width;
  screen.last_height = screen.window_height;
  if (direct) return Presentation{picture, &screen.shown};

  Page& frame = screen.window_frame;
  if (frame.width != screen.window_width || frame.height != screen.window_height) {
    frame = make_page(screen.window_width, screen.window_height, Depth::Rgb24);
  }
  for (const Rect& rect : screen.shown) paint_rect(screen, frame, rect, picture);
  return Presentation{&frame, &screen.shown};
}

}  // namespace tavelo::graphics
