// The image cache's bookkeeping (costs, most-recently-used order, eviction,
// statistics) and the start-up budget taken from free memory.

#include <gtest/gtest.h>

#include "graphics/image_cache.h"
#include "graphics/picture.h"
#include "platform/system.h"

namespace tavelo {
namespace {

using graphics::Depth;
using graphics::ImageCache;
using graphics::ImageCacheEntry;

ImageCacheEntry entry(const std::string& key, int32_t width, int32_t height, Depth depth = Depth::Rgb24) {
  ImageCacheEntry e;
  e.key = key;
  e.base_name = key;
  e.extension = ".rct";
  e.page = std::make_shared<graphics::Page>(graphics::make_page(width, height, depth));
  return e;
}

TEST(ImageCache, CostsCountPixelsRecordAndPalette) {
  // 5 x 3 at 24 bits: stride 16 -> 48 + 628; at 8 bits: stride 8 -> 24 + 628 + 1024.
  EXPECT_EQ(graphics::picture_cost(graphics::make_page(5, 3, Depth::Rgb24)), 676u);
  EXPECT_EQ(graphics::picture_cost(graphics::make_page(5, 3, Depth::Indexed8)), 1676u);
}

TEST(ImageCache, EvictsLeastRecentlyUsedFirst) {
  ImageCache cache;
  const uint64_t one = graphics::picture_cost(graphics::make_page(10, 10, Depth::Rgb24));
  cache.set_budget(3 * one);
  cache.insert(entry("A", 10, 10));
  cache.insert(entry("B", 10, 10));
  cache.insert(entry("C", 10, 10));
  EXPECT_EQ(cache.keys_in_order(), (std::vector<std::string>{"C", "B", "A"}));
  ASSERT_TRUE(cache.lookup("A"));  // A becomes the most recent
  EXPECT_FALSE(cache.lookup("Z"));
  cache.insert(entry("D", 10, 10));  // over budget: B goes
  EXPECT_EQ(cache.keys_in_order(), (std::vector<std::string>{"D", "A", "C"}));
  EXPECT_EQ(cache.total_cost(), 3 * one);
  // Peeking changes neither order nor statistics.
  EXPECT_TRUE(cache.peek("C"));
  EXPECT_EQ(cache.keys_in_order().back(), "C");
  EXPECT_EQ(cache.lookups(), 2u);
  EXPECT_EQ(cache.hit_ratio_percent(), 50);

  // The same key again replaces the entry instead of counting it twice.
  cache.insert(entry("C", 10, 10));
  EXPECT_EQ(cache.entry_count(), 3u);
  EXPECT_EQ(cache.keys_in_order().front(), "C");

  // A bigger picture pushes out as many as it needs.
  cache.insert(entry("BIG", 10, 40));
  EXPECT_EQ(cache.keys_in_order(), (std::vector<std::string>{"BIG"}));
  // Shrinking the budget evicts at once; larger than the budget: dropped again.
  cache.set_budget(one);
  EXPECT_EQ(cache.entry_count(), 0u);
  cache.insert(entry("E", 10, 11));
  EXPECT_EQ(cache.entry_count(), 0u);
  EXPECT_EQ(cache.total_cost(), 0u);
}

TEST(ImageCache, OffWithoutBudget) {
  ImageCache cache;
  EXPECT_EQ(cache.hit_ratio_percent(), 0);
  cache.set_budget(0);
  cache.insert(entry("A", 1, 1));
  EXPECT_FALSE(cache.lookup("A"));
  EXPECT_EQ(cache.entry_count(), 0u);
  EXPECT_EQ(cache.hit_ratio_percent(), 0);
}

TEST(ImageBudget, HalfTheFreeMemoryWithinLimits) {
  struct Case {
    uint64_t free_bytes, budget;
  };
  const Case cases[] = {
      {0, 4194304},
      {8388607, 4194304},
      {8388608, 4194304},
      {100000000, 50000000},
      {536870912, 268435456},
      {536870914, 268435456},
      {uint64_t(64) << 30, 268435456},
  };
  for (const Case& c : cases) EXPECT_EQ(graphics::image_budget_for_free_memory(c.free_bytes), c.budget) << c.free_bytes;

  EXPECT_EQ(platform::free_memory_from_meminfo("MemTotal:  24683748 kB\nMemFree:   1000 kB\nMemAvailable:    2048 kB\n"),
            2048u * 1024);
  EXPECT_EQ(platform::free_memory_from_meminfo("MemTotal: 5 kB\nMemFree:   1000 kB\n"), 1000u * 1024);
  EXPECT_EQ(platform::free_memory_from_meminfo("MemAvailableX: 9 kB\nMemTotal: 5 kB\n"), std::nullopt);
  EXPECT_EQ(platform::free_memory_from_meminfo(""), std::nullopt);
  EXPECT_EQ(platform::free_memory_from_meminfo("MemFree: 99999999999999999999999 kB\n"), std::nullopt);
  EXPECT_GE(graphics::system_image_budget(), 4194304u);
  EXPECT_LE(graphics::system_image_budget(), 268435456u);
}

}  // namespace
}  // namespace tavelo
