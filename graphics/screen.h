#pragma once
// The screen: which page is the display page, how it is shown in the window
// (view, display scale with its window-scale page, offsets, menu offset,
// borders) and which window rectangles wait to be shown. The frame cycle
// presents changed cells here; the host takes the finished window picture
// with take_presentation once per frame and hands it to the platform, so
// nothing reaches the platform while nothing changed. The window code calls
// the coordinate conversions, repaint_window (exposure, activation) and the
// offset and scale setters.
//
// Coordinates: "screen" pixels are display-page pixels; "window" pixels are
// the window area's (the client area the picture is shown in).

#include <cstdint>
#include <optional>
#include <vector>

#include "graphics/page.h"
#include "graphics/rect.h"

namespace tavelo::graphics {

struct State;

// No side of the window area or the window-scale page may exceed this.
inline constexpr int32_t kMaxWindowSide = 16384;
inline constexpr int32_t kUnitScale = 1000;  // display scales are in thousandths

struct Screen {
  int32_t display_page = 0;  // 0: none
  int32_t width = 0;         // the logical screen size: the display page's
  int32_t height = 0;
  int32_t scale_x = kUnitScale;
  int32_t scale_y = kUnitScale;
  Page window_scale;  // the display page scaled; width 0 while the scales are 1:1
  Rect view;          // the shown part of the display page
  int32_t window_width = 0;  // the window area
  int32_t window_height = 0;
  Point script_offset;        // set by screen_offset
  Point base_offset;          // added to it: centring of the window or the display mode
  Point window_set_centring;  // the centring screen_window_set computed last
  Point host_offset;          // the display mode's centring (full screen)
  bool ignore_screen_mode = false;  // IGNORESCREENMODE: screen_offset keeps screen_window_set's centring
  int32_t menu_offset = 0;          // the picture moves up by this while the menu bar is shown
  bool paint_suspended = false;     // a movie owns the window
  bool white_border = false;        // white instead of grey and black borders

  std::vector<Rect> pending;  // window rectangles to show with the next frame
  bool whole_window = false;  // everything is to be shown again
  Page window_frame;          // the window picture when it is not simply the (scaled) display page
  std::vector<Rect> shown;    // the rectangles handed out by the last take_presentation
  bool last_direct = false;   // the last frame was the picture itself, not window_frame
  int32_t last_width = 0;     // and its size
  int32_t last_height = 0;
};

// ---- the display page

// Start-up: an engine-held 24-bit page of the client size (each side kept
// within 1..kMaxWindowSide) becomes the display page. Returns its handle.
int32_t create_display_page(State& state, int32_t width, int32_t height);
// Makes the page the display page (0: none). The display page always has a
// destination record. A page of another size resets view, offsets and scale.
void set_display_page(State& state, int32_t page_handle);
const Page* display_page(const State& state);
// Fills the display page black and marks it.
void clear_display_page(State& state);

// ---- geometry

enum class GeometryResult {
  Done,
  BadSize,   // a width or height below 1
  BadScale,  // a scale below 1 thousandth
  TooLarge,  // the window area or window-scale page would exceed kMaxWindowSide
};

// Display scale for a shown area of width x height screen pixels: the window
// area becomes that size scaled (larger by a negative scaled view origin),
// and a window-scale page holds the scaled display page unless the scales are
// 1:1. Everything is shown again. A refused geometry changes nothing.
GeometryResult set_display_scale(State& state, int32_t width, int32_t height, int32_t scale_x, int32_t scale_y);
// The shown part of the display page, then the display scale for it
// (nullopt keeps the scales).
GeometryResult set_view(State& state, Rect view, std::optional<Point> scales);
// screen_window_set: the display scales for the stored view, the scaled
// view centred in a window area of width x height (the base offset), the
// display page cleared.
GeometryResult set_window(State& state, int32_t width, int32_t height, int32_t scale_x, int32_t scale_y);
// screen_zoom: the centre of the screen enlarged by per_mille / 1000 in a
// window area of the screen's size.
GeometryResult zoom_screen(State& state, int32_t per_mille);

// The display offset: the script's part plus the base (a window centring or
// the display mode's). Changing it shows the whole window again.
void set_script_offset(State& state, Point offset);
void set_base_offset(State& state, Point offset);
// The display mode's centring (full screen); it becomes the base unless
// IGNORESCREENMODE keeps screen_window_set's.
void set_host_offset(State& state, Point offset);
Point display_offset(const Screen& screen);
void set_menu_offset(State& state, int32_t height);
void set_white_border(State& state, bool white);
void set_paint_suspended(State& state, bool suspended);

// ---- window and screen coordinates (integer arithmetic, in this order)

// window = screen * scale / 1000 - view origin * scale / 1000 - offset
Point screen_to_window(const Screen& screen, Point point);
// screen = (window + offset + view origin * scale / 1000) * 1000 / scale
Point window_to_screen(const Screen& screen, Point point);
// Whether a window point lies on the picture's area.
bool window_point_inside(const Screen& screen, Point point);

// ---- presentation

// Shows a rectangle of the display page: scales it into the window-scale
// page (with one pixel of margin, so the smoothing sees its neighbours) and
// queues the window rectangle it covers.
void present_rect(State& state, Rect screen_rect);
void present_all(State& state);
// The window must be shown whole again (exposure, activation, offsets).
void repaint_window(State& state);

// A window picture to hand to the platform: 24-bit, the window area's size,
// and the rectangles that changed since the last one.
struct Presentation {
  const Page* image = nullptr;
  const std::vector<Rect>* changed = nullptr;
};
// The picture for the queued rectangles, built by the paint rules (borders,
// offsets, the menu offset) when it is not simply the display page; nullopt
// when nothing is queued or painting is suspended.
std::optional<Presentation> take_presentation(State& state);

}  // namespace tavelo::graphics
