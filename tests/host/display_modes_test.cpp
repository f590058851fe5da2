// The arithmetic of full-screen modes and of the window's saved place.

#include "host/display_modes.h"

#include <gtest/gtest.h>

#include "host/main_window.h"

namespace tavelo::host {
namespace {

using platform::DisplayMode;

TEST(DisplayModes, aspect_classes_split_at_135_and_175) {
  struct Case {
    int32_t width, height, expected;
  };
  for (Case c : {Case{640, 480, 0}, {1280, 1024, 0}, {1359, 1000, 0}, {1360, 1000, 1}, {1680, 1050, 1},
                 {1920, 1080, 2}, {1749, 1000, 1}, {1750, 1000, 2}, {2560, 1080, 2}}) {
    EXPECT_EQ(aspect_class(c.width, c.height), c.expected) << c.width << "x" << c.height;
  }
}

TEST(DisplayModes, the_search_takes_the_smallest_fitting_mode_of_the_first_class_that_has_one) {
  const std::vector<DisplayMode> modes = {
      {1920, 1080, 32, 60}, {1680, 1050, 32, 60}, {1280, 720, 32, 60}, {1280, 800, 32, 60},
      {1024, 768, 32, 60},  {854, 480, 16, 60},   {800, 600, 32, 60},  {640, 480, 32, 60},  {720, 480, 8, 60},
  };
  struct Case {
    int32_t width, height, choice;
    int32_t expected_width, expected_height;
  };
  const Case cases[] = {
      {640, 480, 1, 1280, 800},   // 16:10 first
      {640, 480, 2, 854, 480},    // 16:9 first
      {640, 480, 0, 640, 480},    // no list: the game size
      {640, 480, 4, 1280, 800},   // 3..5 search as 0..2
      {1600, 1000, 2, 1920, 1080},
      {2000, 1200, 1, 2000, 1200},  // nothing holds it
  };
  for (const Case& c : cases) {
    DisplayMode chosen = choose_full_screen_size(modes, c.width, c.height, c.choice);
    EXPECT_EQ(chosen.width, c.expected_width) << c.width << "x" << c.height << " choice " << c.choice;
    EXPECT_EQ(chosen.height, c.expected_height) << c.width << "x" << c.height << " choice " << c.choice;
  }
  EXPECT_EQ(fit_scale({800, 600}, 640, 480), 62);
  EXPECT_EQ(fit_scale({1920, 1080}, 640, 480), 112);
}

TEST(DisplayModes, candidates_try_rate_then_depth_then_the_desktop_depth) {
  const std::vector<DisplayMode> modes = {
      {800, 600, 32, 75}, {800, 600, 32, 60}, {800, 600, 16, 60}, {1024, 768, 32, 60},
  };
  std::vector<DisplayMode> candidates = mode_candidates(modes, {800, 600}, 16, 75, 32);
  // No 16-bit 75 Hz mode: the 16-bit one, then the desktop's depth.
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_EQ(candidates[0].bits_per_pixel, 16);
  EXPECT_EQ(candidates[1].bits_per_pixel, 32);
  candidates = mode_candidates(modes, {800, 600}, 0, 75, 32);
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_EQ(candidates[0].refresh_rate, 75);
  EXPECT_TRUE(mode_candidates(modes, {1280, 1024}, 0, 0, 32).empty());
}

TEST(MainWindowPlacement, a_saved_place_off_the_desktop_is_left_to_the_desktop) {
  const platform::DesktopArea desktop{0, 0, 1920, 1080};
  struct Case {
    int32_t x, y;
    bool placed;
    int32_t expected_y;
  };
  const Case cases[] = {
      {100, 100, true, 100},   {-9999, -9999, false, 0}, {-512, 10, true, 10},  {-513, 10, false, 0},
      {1792, 10, true, 10},    {1793, 10, false, 0},     {10, -50, true, 0},    {10, 1000, true, 920},
  };
  for (const Case& c : cases) {
    WindowPlacement placement = place_window(desktop, c.x, c.y, 640, 480);
    EXPECT_EQ(placement.x.has_value(), c.placed) << c.x << "," << c.y;
    EXPECT_EQ(placement.forget_saved_state, !c.placed);
    if (c.placed) {
      EXPECT_EQ(*placement.y, c.expected_y) << c.x << "," << c.y;
    }
  }
}

TEST(MainWindowHandlers, registration_fills_the_first_free_slot_once_and_removal_closes_the_gap) {
  HandlerTable table;
  auto a = [](Engine&, const platform::Event&) { return int32_t(1); };
  auto b = [](Engine&, const platform::Event&) { return int32_t(2); };
  auto c = [](Engine&, const platform::Event&) { return int32_t(4); };
  EXPECT_TRUE(register_window_handler(table, a));
  EXPECT_TRUE(register_window_handler(table, b));
  EXPECT_TRUE(register_window_handler(table, a));
  EXPECT_TRUE(register_window_handler(table, c));
  ASSERT_EQ(table.count, 3u);
  remove_window_handler(table, b);
  ASSERT_EQ(table.count, 2u);
  EXPECT_EQ(table.slots[0], WindowHandler(a));
  EXPECT_EQ(table.slots[1], WindowHandler(c));
  EXPECT_EQ(table.slots[2], nullptr);
}

}  // namespace
}  // namespace tavelo::host
