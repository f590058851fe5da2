// Sprite motion on the clock: eased moves, jumps, frame lists with wrapping,
// catching up and stopping, level and scale keyframes, synchronised starts,
// endless turns, list limits, and the stacking list with groups.

#include <gtest/gtest.h>

#include <vector>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/screen.h"
#include "graphics/sprite_motion.h"
#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

struct Stage {
  State state;
  int32_t sheet = 0;
  Stage() {
    create_display_page(state, 640, 480);
    sheet = create_page(state, 40, 20, Depth::Rgb24, Holding::Script);  // 4 x 2 cells of 10 x 10
  }
  Sprite& sprite() {
    return *find_sprite(state, create_sprite(state, sheet, {0, 0, 10, 10}, state.screen.display_page));
  }
  void at(Sprite& sprite, uint32_t now) { update_sprite(state, sprite, now); }
};

TEST(SpriteMotion, moves_ease_in_out_or_run_straight) {
  struct Case {
    uint32_t easing;
    int32_t x_at_half;
    int32_t y_at_half;
  } cases[] = {
      {0, 150, 250},
      {kEaseInX, 125, 250},
      {kEaseOutX | kEaseInY, 175, 225},
      {kEaseOutY, 150, 275},
  };
  for (const Case& c : cases) {
    Stage stage;
    Sprite& sprite = stage.sprite();
    start_move(stage.state, sprite, 100, 200, 0, 0);
    stage.at(sprite, 0);
    start_move(stage.state, sprite, 200, 300, 1000 | c.easing, 1000);
    stage.at(sprite, 1500);
    EXPECT_EQ(sprite.x, c.x_at_half) << c.easing;
    EXPECT_EQ(sprite.y, c.y_at_half) << c.easing;
    EXPECT_EQ(sprite.move.phase, Phase::Running);
    EXPECT_EQ(reported_position(sprite, Axis::X), c.x_at_half);
    stage.at(sprite, 2000);
    EXPECT_EQ(sprite.x, 200);
    EXPECT_EQ(sprite.move.phase, Phase::Passed);
  }
}

TEST(SpriteMotion, a_jump_lands_at_the_next_update) {
  Stage stage;
  Sprite& sprite = stage.sprite();
  EXPECT_EQ(reported_position(sprite, Axis::X), 0);  // never moved
  EXPECT_EQ(sprite.x, kOffPage);
  start_move(stage.state, sprite, 30, 40, 0, 100);
  EXPECT_EQ(sprite.move.phase, Phase::Running);
  EXPECT_EQ(reported_position(sprite, Axis::Y), 40);
  // A second move before the update starts from the pending target.
  start_move(stage.state, sprite, 50, 40, 100, 100);
  EXPECT_EQ(sprite.move.start_x, 30);
  stage.at(sprite, 150);
  EXPECT_EQ(sprite.x, 40);
}

TEST(SpriteMotion, frame_lists_wrap_catch_up_and_stop_on_a_final_pattern) {
  Stage stage;
  Sprite& sprite = stage.sprite();
  std::vector<AnimationFrame> two = {{0, 100}, {5, 100}};
  ASSERT_TRUE(define_frames(sprite, two, Start::Now, 1000));
  struct Step {
    uint32_t now;
    Rect source;
    Phase phase;
  } steps[] = {
      {1000, {0, 0, 10, 10}, Phase::Running},
      {1099, {0, 0, 10, 10}, Phase::Running},
      {1100, {10, 10, 10, 10}, Phase::Running},  // pattern 5: row 1, column 1
      {1200, {0, 0, 10, 10}, Phase::Passed},     // wrapped: still running, the wait is over
      {1750, {10, 10, 10, 10}, Phase::Passed},   // caught up over five frames
  };
  for (const Step& step : steps) {
    stage.at(sprite, step.now);
    EXPECT_EQ(sprite.source, step.source) << step.now;
    EXPECT_EQ(sprite.frames.phase, step.phase) << step.now;
  }
  // A final single pattern is shown and ends the list; -2 is the home place.
  std::vector<AnimationFrame> ending = {{3, 50}, {kHomePattern, -1}};
  define_frames(sprite, ending, Start::Now, 2000);
  stage.at(sprite, 2000);
  EXPECT_EQ(sprite.source, (Rect{30, 0, 10, 10}));
  stage.at(sprite, 2050);
  EXPECT_EQ(sprite.source, (Rect{0, 0, 10, 10}));
  EXPECT_EQ(sprite.frames.phase, Phase::Off);

  // Added frames step once per update; a list of 64 keeps 63.
  Sprite& added = stage.sprite();
  add_frames(added, two, 0);
  stage.at(added, 1000);
  EXPECT_EQ(added.frames.index, 1);
  std::vector<AnimationFrame> many(64, {1, 10});
  EXPECT_FALSE(define_frames(added, many, Start::Now, 0));
  EXPECT_EQ(added.frames.count, kMaxFrames);
}

TEST(SpriteMotion, keyframes_interpolate_take_short_ones_at_once_and_hold_the_last) {
  Stage stage;
  Sprite& sprite = stage.sprite();
  std::vector<Keyframe<int32_t>> keys = {{200, 100}, {50, 0}, {300, 200}};
  ASSERT_TRUE(define_levels(sprite, keys, Start::Now, 1000));
  struct Step {
    uint32_t now;
    int32_t level;
    Phase phase;
  } steps[] = {
      {1050, 100, Phase::Running},
      {1100, 50, Phase::Running},  // the zero-length keyframe is taken at once
      {1200, 175, Phase::Running},
      {1300, 255, Phase::Off},  // above 254 is not drawn at all; the list holds and ends
  };
  for (const Step& step : steps) {
    stage.at(sprite, step.now);
    EXPECT_EQ(sprite.level, step.level) << step.now;
    EXPECT_EQ(sprite.levels.phase, step.phase) << step.now;
  }
  // A synchronised list starts at a multiple of its length.
  define_levels(sprite, keys, Start::Synchronised, 1234);
  EXPECT_EQ(sprite.levels.start, 1200u);
  std::vector<Keyframe<int32_t>> many(32, {0, 10});
  EXPECT_FALSE(define_levels(sprite, many, Start::Now, 0));
  EXPECT_EQ(sprite.levels.count, kMaxKeyframes);

  // Scales over time, with their own keyframes.
  set_scale(sprite, Axis::X, 3.0f, 200, 0);
  stage.at(sprite, 100);
  EXPECT_FLOAT_EQ(sprite.transform.scale_x, 2.0f);
  EXPECT_TRUE(sprite.transform.on);
}

TEST(SpriteMotion, turns_reach_their_angle_or_keep_turning) {
  Stage stage;
  Sprite& timed = stage.sprite();
  rotate_sprite(timed, 90.0f, 1000, Turning::Timed, 0);
  stage.at(timed, 500);
  EXPECT_FLOAT_EQ(timed.transform.angle, 45.0f);
  stage.at(timed, 2500);
  EXPECT_FLOAT_EQ(timed.transform.angle, 90.0f);
  EXPECT_EQ(timed.transform.turning, Turning::None);
  Sprite& endless = stage.sprite();
  rotate_sprite(endless, 90.0f, 1000, Turning::Endless, 0);
  stage.at(endless, 2500);
  EXPECT_FLOAT_EQ(endless.transform.angle, 225.0f);
}

TEST(SpriteStacking, groups_keep_together_and_hiding_counts) {
  Stage stage;
  Sprite* s[5];
  for (Sprite*& sprite : s) sprite = &stage.sprite();  // s[4] on top
  restack(stage.state, *s[0], Stacking::Above, s[2]);  // joins s[2]'s group
  restack(stage.state, *s[1], Stacking::AboveGroup, s[2]);
  restack(stage.state, *s[3], Stacking::BelowGroup, s[2]);
  restack(stage.state, *s[4], Stacking::Bottom);
  std::vector<Sprite*> expected = {s[4], s[3], s[2], s[0], s[1]};
  EXPECT_EQ(stage.state.sprites.stacking, expected);
  EXPECT_EQ(s[3]->group, s[2]->handle);

  push_sprite(stage.state, *s[0]);
  push_sprite(stage.state, *s[0]);
  pop_sprite(stage.state, *s[0]);
  EXPECT_EQ(s[0]->hide, -1);
  pop_sprite(stage.state, *s[0]);
  pop_sprite(stage.state, *s[0]);  // never above 0
  EXPECT_EQ(s[0]->hide, 0);
}

TEST(SpriteStacking, the_game_reset_keeps_start_up_sprites_and_frees_the_rest) {
  Stage stage;
  Sprite& kept = stage.sprite();
  start_move(stage.state, kept, 5, 5, 0, 0);
  rotate_sprite(kept, 10.0f, 100, Turning::Endless, 0);
  hold_all_pages(stage.state);
  hold_all_sprites(stage.state);
  int32_t later_page = create_page(stage.state, 4, 4, Depth::Rgb24, Holding::Script);
  int32_t later = create_sprite(stage.state, later_page, {0, 0, 4, 4}, later_page);
  ++stage.state.pacer.display_lock;

  reset_all_sprites(stage.state);
  EXPECT_EQ(find_sprite(stage.state, later), nullptr);
  EXPECT_EQ(find_page(stage.state, later_page), nullptr);
  EXPECT_EQ(sprite_count(stage.state), 1u);
  EXPECT_EQ(destination_count(stage.state), 1u);  // the display page's
  EXPECT_EQ(kept.x, kOffPage);
  EXPECT_EQ(kept.move.phase, Phase::Off);
  EXPECT_EQ(kept.transform.turning, Turning::None);
  EXPECT_EQ(stage.state.pacer.display_lock, 0);
  // A persistent sprite outlives its release.
  release_sprite(stage.state, kept.handle);
  EXPECT_EQ(sprite_count(stage.state), 1u);
}

}  // namespace
}  // namespace tavelo::graphics
