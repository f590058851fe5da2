// Screen composition against frames composed by hand: stacking, levels,
// alpha pages (and a change to one alone), hiding and clipping; only marked
// cells redrawn; changes travelling through chains of sprites; a rotated
// sprite's source change
// redrawing its whole destination; the update lock losing marks; the
// display scale with its window-scale page and one pixel of margin; the
// window picture's borders and the coordinate conversions.

#include <gtest/gtest.h>

#include <random>

#include "graphics/change_marks.h"
#include "graphics/composition.h"
#include "graphics/page_table.h"
#include "graphics/pixel_ops.h"
#include "graphics/scaling.h"
#include "graphics/screen.h"
#include "graphics/sprite_motion.h"
#include "graphics/state.h"
#include "tests/graphics/page_test_support.h"

namespace tavelo::graphics {
namespace {

using testing::numbered_page;

// A display page and helpers to put pages and sprites on it.
struct Scene {
  State state;
  int32_t display = 0;
  uint32_t now = 1000;

  Scene(int32_t width, int32_t height) { display = create_display_page(state, width, height); }

  Page& at(int32_t handle) { return *find_page(state, handle); }
  int32_t page(int32_t width, int32_t height, uint32_t colour) {
    int32_t handle = create_page(state, width, height, Depth::Rgb24, Holding::Script);
    fill_rect(at(handle), {0, 0, width, height}, colour);
    return handle;
  }
  int32_t numbered(int32_t width, int32_t height) { return add_page(state, numbered_page(width, height), Holding::Script); }
  // A page whose alpha bytes run through every value.
  int32_t with_alpha(int32_t width, int32_t height) {
    int32_t handle = numbered(width, height);
    int32_t alpha = create_owned_alpha(state, handle);
    std::mt19937 random(7);
    for (uint8_t& byte : at(alpha).pixels) byte = uint8_t(random());
    return handle;
  }
  Sprite& sprite(int32_t source, Rect rect, int32_t x, int32_t y, int32_t destination = 0) {
    Sprite& made = *find_sprite(state, create_sprite(state, source, rect, destination ? destination : display));
    start_move(state, made, x, y, 0, now);
    return made;
  }
  void frame(uint32_t step = 20) {
    now += step;
    run_frame_cycle(state, now);
  }
  const Page& shown() {
    std::optional<Presentation> presented = take_presentation(state);
    if (presented) last_shown = presented->image;
    return *last_shown;
  }
  const Page* last_shown = nullptr;
};

// The region a sprite of this rectangle at (x, y) covers on the page.
CopyRegion region_of(const Page& src, Rect rect, const Page& dst, int32_t x, int32_t y) {
  return clip_copy(src, rect, dst, x, y).value_or(CopyRegion{});
}

void expect_same(const Page& actual, const Page& expected) {
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  for (int32_t y = 0; y < expected.height; ++y) {
    for (int32_t x = 0; x < expected.width; ++x) {
      ASSERT_EQ(testing::pixel_at(actual, x, y), testing::pixel_at(expected, x, y)) << "at " << x << ", " << y;
    }
  }
}

TEST(Composition, sprites_draw_bottom_to_top_with_levels_alpha_and_clipping) {
  Scene scene(250, 150);  // cells of 100 x 100 with a partial last row and column
  int32_t background = scene.page(250, 150, 0x203040);
  int32_t tinted = scene.numbered(60, 50);
  int32_t masked = scene.with_alpha(80, 90);
  scene.sprite(background, {0, 0, 250, 150}, 0, 0);
  Sprite& faded = scene.sprite(tinted, {0, 0, 60, 50}, 80, 30);
  Sprite& clipped = scene.sprite(masked, {5, 5, 75, 85}, 200, 90);
  Sprite& hidden = scene.sprite(tinted, {0, 0, 60, 50}, 10, 10);
  Sprite& invisible = scene.sprite(tinted, {0, 0, 60, 50}, 120, 10);
  set_level(scene.state, faded, 100);
  set_level(scene.state, invisible, 255);
  push_sprite(scene.state, hidden);
  restack(scene.state, clipped, Stacking::Below, &faded);
  scene.frame();

  Page expected = make_page(250, 150, Depth::Rgb24);
  fill_rect(expected, {0, 0, 250, 150}, 0x203040);
  const Page& masked_page = scene.at(masked);
  alpha_copy(masked_page, *find_alpha(scene.state, masked_page), expected, nullptr,
             region_of(masked_page, {5, 5, 75, 85}, expected, 200, 90), 0);
  level_copy(scene.at(tinted), expected, region_of(scene.at(tinted), {0, 0, 60, 50}, expected, 80, 30), 100);
  expect_same(scene.at(scene.display), expected);
  expect_same(scene.shown(), expected);

  // Showing the hidden sprite again redraws only its cell.
  pop_sprite(scene.state, hidden);
  scene.frame();
  copy_pixels(scene.at(tinted), nullptr, expected, nullptr, region_of(scene.at(tinted), {0, 0, 60, 50}, expected, 10, 10));
  expect_same(scene.shown(), expected);
  EXPECT_FALSE(take_presentation(scene.state).has_value());  // nothing more to show

  // A change of the masked picture's alpha page alone reaches the screen
  // through the sprite that shows the picture: made opaque, it is copied.
  fill_rect(*find_alpha(scene.state, masked_page), {5, 5, 75, 85}, 0);
  mark_changed(scene.state, masked_page.alpha_page, {5, 5, 75, 85});
  scene.frame();
  copy_pixels(masked_page, nullptr, expected, nullptr, region_of(masked_page, {5, 5, 75, 85}, expected, 200, 90));
  expect_same(scene.shown(), expected);
}

TEST(Composition, only_marked_cells_are_redrawn_and_locked_marks_are_lost) {
  Scene scene(300, 100);
  int32_t background = scene.page(300, 100, 0x000080);
  int32_t block = scene.page(20, 20, 0x00FF00);
  scene.sprite(background, {0, 0, 300, 100}, 0, 0);
  Sprite& mover = scene.sprite(block, {0, 0, 20, 20}, 10, 10);
  scene.frame();
  scene.shown();

  // A source change that nobody reports stays off the screen...
  fill_rect(scene.at(background), {0, 0, 300, 100}, 0x800000);
  // ...and a move made under the update lock is not marked either.
  ++scene.state.pacer.display_lock;
  start_move(scene.state, mover, 250, 50, 0, scene.now);
  scene.frame();  // locked: sprites update, nothing is composed
  --scene.state.pacer.display_lock;
  scene.frame();
  Page expected = make_page(300, 100, Depth::Rgb24);
  fill_rect(expected, {0, 0, 300, 100}, 0x000080);
  fill_rect(expected, {10, 10, 20, 20}, 0x00FF00);
  expect_same(scene.at(scene.display), expected);

  // A later change of the middle cell shows that cell as it is now.
  mark_changed(scene.state, background, {150, 50, 1, 1});
  scene.frame();
  fill_rect(expected, {100, 0, 100, 100}, 0x800000);
  expect_same(scene.at(scene.display), expected);
}

TEST(Composition, a_change_travels_through_a_chain_of_sprites) {
  Scene scene(200, 200);
  int32_t background = scene.page(200, 200, 0x101010);
  int32_t first = scene.numbered(30, 30);
  int32_t second = scene.page(100, 100, 0x404040);
  scene.sprite(background, {0, 0, 200, 200}, 0, 0);
  scene.sprite(first, {0, 0, 30, 30}, 10, 10, second);
  scene.sprite(second, {0, 0, 100, 100}, 50, 60);
  scene.frame();
  fill_rect(scene.at(first), {5, 5, 10, 10}, 0xFFFFFF);
  mark_changed(scene.state, first, {5, 5, 10, 10});
  scene.frame();

  Page layer = make_page(100, 100, Depth::Rgb24);
  fill_rect(layer, {0, 0, 100, 100}, 0x404040);
  copy_pixels(scene.at(first), nullptr, layer, nullptr, region_of(scene.at(first), {0, 0, 30, 30}, layer, 10, 10));
  Page expected = make_page(200, 200, Depth::Rgb24);
  fill_rect(expected, {0, 0, 200, 200}, 0x101010);
  copy_pixels(layer, nullptr, expected, nullptr, region_of(layer, {0, 0, 100, 100}, expected, 50, 60));
  expect_same(scene.at(second), layer);
  expect_same(scene.shown(), expected);

  // Sprites showing each other's pages form a cycle; marking still ends.
  scene.sprite(second, {0, 0, 10, 10}, 0, 0, first);
  scene.frame();
  mark_changed(scene.state, first, {0, 0, 5, 5});
  scene.frame();
}

TEST(Composition, a_rotated_sprite_is_drawn_from_its_transformed_page) {
  Scene scene(400, 300);
  int32_t background = scene.page(400, 300, 0x336699);
  int32_t picture = scene.with_alpha(100, 60);
  scene.sprite(background, {0, 0, 400, 300}, 0, 0);
  Sprite& turned = scene.sprite(picture, {0, 0, 100, 60}, 200, 150);
  rotate_sprite(turned, 30.0f, 0, Turning::None, scene.now);
  set_level(scene.state, turned, 40);
  scene.frame();
  // The page is whole hundreds square: r = sqrt(50^2 + 30^2) = 58.3, so
  // (58 + 1 + 50) / 50 = 2 hundreds, centred on the sprite.
  EXPECT_EQ(turned.transform.rect, (Rect{100, 50, 200, 200}));

  // A change of its source cannot be patched into the rotated picture: the
  // whole destination is marked and the picture rebuilt.
  fill_rect(scene.at(picture), {0, 0, 10, 10}, 0xFFFFFF);
  mark_changed(scene.state, picture, {0, 0, 1, 1});
  const Destination* record = find_destination(scene.state, scene.display);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::count(record->cells.begin(), record->cells.end(), 1), 12);
  scene.frame();

  Page turned_page = make_page(200, 200, Depth::Rgb24);
  Page turned_alpha = make_page(200, 200, Depth::Indexed8);
  fill_rect(turned_alpha, {0, 0, 200, 200}, 255);
  const Page& source = scene.at(picture);
  rotated_copy(source, find_alpha(scene.state, source), {0, 0, 100, 60}, turned_page, &turned_alpha,
               {0, 0, 200, 200}, 30.0f, 1.0f, 1.0f);
  Page expected = make_page(400, 300, Depth::Rgb24);
  fill_rect(expected, {0, 0, 400, 300}, 0x336699);
  alpha_copy(turned_page, turned_alpha, expected, nullptr, region_of(turned_page, {0, 0, 200, 200}, expected, 100, 50),
             40);
  expect_same(scene.shown(), expected);
}

TEST(Composition, display_scale_smooths_changed_cells_with_a_margin) {
  Scene scene(200, 100);
  int32_t background = scene.numbered(200, 100);
  scene.sprite(background, {0, 0, 200, 100}, 0, 0);
  scene.frame();
  ASSERT_EQ(set_display_scale(scene.state, 200, 100, 1500, 1500), GeometryResult::Done);
  EXPECT_EQ(scene.state.screen.window_width, 300);
  EXPECT_EQ(scene.state.screen.window_height, 150);
  scene.shown();
  fill_rect(scene.at(background), {120, 20, 30, 30}, 0xFFFFFF);
  mark_changed(scene.state, background, {120, 20, 30, 30});
  scene.frame();
  const Page& shown = scene.shown();

  // By hand: the whole screen scaled when the scale was set, then the
  // changed cell (100, 0, 100, 100) enlarged by one pixel each side, scaled
  // to (99 * 1.5 - 1, -1 * 1.5 - 1, 102 * 1.5 + 2, 102 * 1.5 + 2).
  Page before = numbered_page(200, 100);
  Page expected = make_page(300, 150, Depth::Rgb24);
  smooth_scaled_copy(before, {-1, -1, 202, 102}, expected, {-2, -2, 305, 155}, 1.5f, 1.5f);
  smooth_scaled_copy(scene.at(scene.display), {99, -1, 102, 102}, expected, {147, -2, 155, 155}, 1.5f, 1.5f);
  expect_same(shown, expected);
  ASSERT_EQ(scene.state.screen.shown.size(), 1u);
  EXPECT_EQ(scene.state.screen.shown[0], (Rect{147, 0, 153, 150}));
}

TEST(Screen, window_picture_borders_and_coordinates) {
  Scene scene(100, 50);
  int32_t background = scene.page(100, 50, 0x0000FF);
  scene.sprite(background, {0, 0, 100, 50}, 0, 0);
  scene.frame();
  EXPECT_EQ(&scene.shown(), &scene.at(scene.display));  // 1:1 shows the page itself

  // A window of 140 x 80 centres the picture: offset (-20, -15).
  ASSERT_EQ(set_window(scene.state, 140, 80, 1000, 1000), GeometryResult::Done);
  scene.frame();  // the window set clears the page; the sprite repaints it
  const Screen& screen = scene.state.screen;
  EXPECT_EQ(display_offset(screen), (Point{-20, -15}));
  const Page& framed = scene.shown();
  EXPECT_EQ(testing::pixel_at(framed, 20, 15), (testing::Bgr{0, 0, 255}));
  EXPECT_EQ(testing::pixel_at(framed, 19, 15), testing::Bgr{});  // black around a shifted picture
  EXPECT_EQ(testing::pixel_at(framed, 50, 70), testing::Bgr{});

  struct Conversion {
    Point screen;
    Point window;
    bool inside;
  } conversions[] = {
      {{0, 0}, {20, 15}, true},
      {{99, 49}, {119, 64}, true},
      {{-20, -15}, {0, 0}, false},
      {{150, 70}, {170, 85}, false},
  };
  for (const Conversion& c : conversions) {
    EXPECT_EQ(screen_to_window(screen, c.screen), c.window);
    EXPECT_EQ(window_to_screen(screen, c.window), c.screen);
    EXPECT_EQ(window_point_inside(screen, c.window), c.inside) << c.window.x;
  }

  // Unshifted, the area below the picture is light grey, less the menu offset.
  set_base_offset(scene.state, {});
  set_menu_offset(scene.state, 10);
  const Page& grey = scene.shown();
  EXPECT_EQ(testing::pixel_at(grey, 10, 39), (testing::Bgr{0, 0, 255}));
  EXPECT_EQ(testing::pixel_at(grey, 10, 40), (testing::Bgr{192, 192, 192}));
  EXPECT_EQ(testing::pixel_at(grey, 120, 10), testing::Bgr{});
  set_white_border(scene.state, true);
  EXPECT_EQ(testing::pixel_at(scene.shown(), 120, 10), (testing::Bgr{255, 255, 255}));

  // A smaller display page resets view, offsets and scale; an 8-bit one is
  // shown through its palette.
  int32_t indexed = create_page(scene.state, 40, 30, Depth::Indexed8, Holding::Script);
  scene.at(indexed).pixels[0] = 200;
  set_menu_offset(scene.state, 0);
  set_display_page(scene.state, indexed);
  EXPECT_EQ(display_offset(screen), Point{});
  EXPECT_EQ(screen.window_width, 40);
  EXPECT_EQ(screen.scale_x, 1000);
  const Page& palette_shown = scene.shown();
  EXPECT_EQ(palette_shown.depth, Depth::Rgb24);
  EXPECT_EQ(testing::pixel_at(palette_shown, 0, 0), (testing::Bgr{200, 200, 200}));
}

TEST(Screen, geometry_the_window_cannot_take_is_refused_without_change) {
  Scene scene(640, 480);
  struct Case {
    GeometryResult (*apply)(State&);
    GeometryResult expected;
  } cases[] = {
      {[](State& s) { return set_display_scale(s, 640, 480, 0, 1000); }, GeometryResult::BadScale},
      {[](State& s) { return set_display_scale(s, 640, 480, 26000, 1000); }, GeometryResult::TooLarge},
      {[](State& s) { return set_view(s, {0, 0, 0, 480}, std::nullopt); }, GeometryResult::BadSize},
      {[](State& s) { return set_view(s, {-20000, 0, 640, 480}, std::nullopt); }, GeometryResult::TooLarge},
      {[](State& s) { return set_window(s, 16385, 480, 1000, 1000); }, GeometryResult::TooLarge},
      {[](State& s) { return set_window(s, -5, 480, 1000, 1000); }, GeometryResult::BadSize},
      {[](State& s) { return zoom_screen(s, 0); }, GeometryResult::BadScale},
      {[](State& s) { return zoom_screen(s, 30000); }, GeometryResult::TooLarge},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.apply(scene.state), c.expected);
    EXPECT_EQ(scene.state.screen.window_width, 640);
    EXPECT_EQ(scene.state.screen.window_scale.width, 0);
    EXPECT_EQ(scene.state.screen.view, (Rect{0, 0, 640, 480}));
  }
  // A zoom of 2 shows the middle quarter in a window of the screen's size.
  ASSERT_EQ(zoom_screen(scene.state, 2000), GeometryResult::Done);
  EXPECT_EQ(scene.state.screen.view, (Rect{160, 120, 320, 240}));
  EXPECT_EQ(window_to_screen(scene.state.screen, {320, 240}), (Point{320, 240}));
  EXPECT_EQ(scene.state.screen.window_width, 640);
}

}  // namespace
}  // namespace tavelo::graphics
