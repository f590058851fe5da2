// The page table: handle validation, release rules, engine-held pages, owned
// alpha pages, and change-mark recording.

#include "graphics/page_table.h"

#include <gtest/gtest.h>

#include "graphics/change_marks.h"
#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

TEST(PageTable, handles_are_nonzero_distinct_and_dead_after_release) {
  State state;
  int32_t a = create_page(state, 4, 4, Depth::Rgb24, Holding::Script);
  int32_t b = create_page(state, 0, -3, Depth::Indexed8, Holding::Script);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_NE(a, b);
  const Page* small = find_page(state, b);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->width, 1);
  EXPECT_EQ(small->height, 1);
  EXPECT_EQ(small->palette[200].green, 200);  // grey palette
  EXPECT_EQ(state.pages.handles(), (std::vector<int32_t>{b, a}));  // newest first

  EXPECT_EQ(release_page(state, a, ReleaseMode::Ordinary), ReleaseResult::Released);
  EXPECT_EQ(find_page(state, a), nullptr);
  EXPECT_EQ(release_page(state, a, ReleaseMode::Ordinary), ReleaseResult::NotFound);
  // A handle is not reissued, so the stale one keeps finding nothing.
  int32_t c = create_page(state, 1, 1, Depth::Rgb24, Holding::Script);
  EXPECT_NE(c, a);
  EXPECT_EQ(find_page(state, 0), nullptr);
  EXPECT_EQ(page_count(state), 2u);
}

TEST(PageTable, pages_whose_pixel_block_cannot_be_addressed_are_refused) {
  State state;
  EXPECT_EQ(create_page(state, INT32_MAX, INT32_MAX, Depth::Rgb24, Holding::Script), 0);
  EXPECT_EQ(create_page(state, 800000000, 1, Depth::Rgb24, Holding::Script), 0);
  EXPECT_EQ(page_count(state), 0u);
}

TEST(PageTable, release_rules_for_held_pages_sprites_and_owned_alpha) {
  State state;
  int32_t held = create_page(state, 2, 2, Depth::Rgb24, Holding::Engine);
  int32_t shown = create_page(state, 2, 2, Depth::Rgb24, Holding::Script);
  int32_t owner = create_page(state, 2, 2, Depth::Rgb24, Holding::Script);
  int32_t owned = create_owned_alpha(state, owner);
  int32_t borrower = create_page(state, 2, 2, Depth::Rgb24, Holding::Script);
  int32_t lent = create_page(state, 2, 2, Depth::Indexed8, Holding::Script);
  find_page(state, borrower)->alpha_page = lent;

  EXPECT_EQ(release_page(state, held, ReleaseMode::Ordinary), ReleaseResult::EngineHeld);
  count_sprite_user(state, shown, +1);
  EXPECT_EQ(release_page(state, shown, ReleaseMode::Ordinary), ReleaseResult::UsedBySprite);
  count_sprite_user(state, shown, -1);
  EXPECT_EQ(release_page(state, shown, ReleaseMode::Ordinary), ReleaseResult::Released);

  EXPECT_EQ(find_page(state, owned)->depth, Depth::Indexed8);
  EXPECT_EQ(release_page(state, owner, ReleaseMode::Ordinary), ReleaseResult::Released);
  EXPECT_EQ(find_page(state, owned), nullptr);
  EXPECT_EQ(release_page(state, borrower, ReleaseMode::Ordinary), ReleaseResult::Released);
  EXPECT_NE(find_page(state, lent), nullptr);

  EXPECT_EQ(release_page(state, held, ReleaseMode::Force), ReleaseResult::Released);
}

TEST(PageTable, reset_releases_pages_made_after_start_up) {
  State state;
  int32_t start_up = create_page(state, 2, 2, Depth::Rgb24, Holding::Script);
  int32_t start_up_alpha = create_owned_alpha(state, start_up);
  hold_all_pages(state);
  int32_t later = create_page(state, 2, 2, Depth::Rgb24, Holding::Script);
  int32_t later_alpha = create_owned_alpha(state, later);
  int32_t cached = create_page(state, 2, 2, Depth::Rgb24, Holding::Engine);
  release_unheld_pages(state);
  EXPECT_NE(find_page(state, start_up), nullptr);
  EXPECT_NE(find_page(state, start_up_alpha), nullptr);
  EXPECT_NE(find_page(state, cached), nullptr);
  EXPECT_EQ(find_page(state, later), nullptr);
  EXPECT_EQ(find_page(state, later_alpha), nullptr);
  EXPECT_EQ(page_count(state), 3u);
}

TEST(PageTable, alpha_pages_of_the_wrong_shape_count_as_none) {
  State state;
  int32_t page = create_page(state, 4, 4, Depth::Rgb24, Holding::Script);
  int32_t right = create_page(state, 4, 4, Depth::Indexed8, Holding::Script);
  int32_t too_small = create_page(state, 3, 4, Depth::Indexed8, Holding::Script);
  int32_t deep = create_page(state, 4, 4, Depth::Rgb24, Holding::Script);
  Page& p = *find_page(state, page);
  for (int32_t alpha : {too_small, deep, page, 12345}) {
    p.alpha_page = alpha;
    EXPECT_EQ(find_alpha(state, p), nullptr) << alpha;
  }
  p.alpha_page = right;
  EXPECT_EQ(find_alpha(state, p), find_page(state, right));
  release_page(state, right, ReleaseMode::Force);
  EXPECT_EQ(find_alpha(state, p), nullptr);
}

}  // namespace
}  // namespace tavelo::graphics
