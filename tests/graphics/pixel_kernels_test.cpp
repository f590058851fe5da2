// The vector kernels behind the level and alpha copies, each one the
// processor has, against the blend formulas written out per byte: every
// level, lengths that end inside and between the vector steps, unaligned
// pointers, and output that is one of the inputs. Guard bytes around each
// output catch a kernel that writes past its end.

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <vector>

#include "graphics/pixel_ops.h"

namespace tavelo::graphics {
namespace {

constexpr MixKernel kKernels[] = {MixKernel::Portable, MixKernel::Sse2, MixKernel::Ssse3, MixKernel::Avx2};

const char* kernel_name(MixKernel kernel) {
  switch (kernel) {
    case MixKernel::Portable: return "portable";
    case MixKernel::Sse2: return "sse2";
    case MixKernel::Ssse3: return "ssse3";
    case MixKernel::Avx2: return "avx2";
  }
  return "?";
}

uint8_t level_mix(uint8_t keep, uint8_t take, uint32_t level) {
  return uint8_t((keep * (level + 1) + take * (256 - level)) >> 8);
}

uint8_t alpha_mix(uint8_t src, uint8_t dst, uint8_t t, int32_t level) {
  int32_t a = int32_t(t) + level + 1;
  if (a >= 255) return dst;
  if (a <= 2) return src;
  return uint8_t((src * (257 - a) + dst * a) >> 8);
}

// Mostly random bytes, with runs of the extremes where the sums peak.
std::vector<uint8_t> test_bytes(size_t count, std::mt19937& random) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) {
    uint32_t pick = random() % 8;
    byte = pick == 0 ? 0 : pick == 1 ? 255 : uint8_t(random());
  }
  return bytes;
}

enum class Alias { None, OutIsKeep, OutIsTake };

constexpr size_t kGuard = 40;

::testing::AssertionResult mix_matches(MixKernel kernel, uint32_t level, size_t length, Alias alias,
                                       std::mt19937& random) {
  // Odd offsets keep every pointer off vector alignment.
  const size_t offset = 1 + (length + level) % 7;
  std::vector<uint8_t> keep = test_bytes(length + 2 * kGuard, random);
  std::vector<uint8_t> take = test_bytes(length + 2 * kGuard, random);
  std::vector<uint8_t> out = test_bytes(length + 2 * kGuard, random);
  std::vector<uint8_t> want = alias == Alias::OutIsKeep ? keep : alias == Alias::OutIsTake ? take : out;
  for (size_t i = 0; i < length; ++i) want[offset + i] = level_mix(keep[offset + i], take[offset + i], level);
  uint8_t* target = alias == Alias::OutIsKeep ? keep.data() : alias == Alias::OutIsTake ? take.data() : out.data();
  mix_bytes_with(kernel, target + offset, keep.data() + offset, take.data() + offset, length, level);
  for (size_t i = 0; i < want.size(); ++i) {
    if (target[i] != want[i]) {
      return ::testing::AssertionFailure() << kernel_name(kernel) << " level " << level << " length " << length
                                           << " alias " << int(alias) << ": byte " << int(i) - int(offset)
                                           << " is " << int(target[i]) << ", want " << int(want[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(MixKernels, every_level_and_length_matches_the_byte_formula) {
  std::mt19937 random(5);
  for (MixKernel kernel : kKernels) {
    if (!mix_kernel_supported(kernel)) continue;
    for (uint32_t level = 0; level <= 255; ++level) {
      for (size_t length = 0; length <= 100; ++length) {
        Alias alias = Alias((length + level) % 3);
        ASSERT_TRUE(mix_matches(kernel, level, length, alias, random));
      }
    }
  }
}

TEST(MixKernels, long_runs_in_place_and_the_plain_entry_point_agree) {
  std::mt19937 random(9);
  const uint32_t levels[] = {1, 126, 127, 128, 129, 254};
  for (MixKernel kernel : kKernels) {
    if (!mix_kernel_supported(kernel)) continue;
    for (uint32_t level : levels) {
      for (Alias alias : {Alias::None, Alias::OutIsKeep, Alias::OutIsTake}) {
        ASSERT_TRUE(mix_matches(kernel, level, 1920 * 3 + 5, alias, random));
      }
    }
  }
  std::vector<uint8_t> keep = test_bytes(77, random), take = test_bytes(77, random);
  std::vector<uint8_t> plain(77), chosen(77);
  mix_bytes(plain.data(), keep.data(), take.data(), 77, 200);
  mix_bytes_with(best_mix_kernel(), chosen.data(), keep.data(), take.data(), 77, 200);
  EXPECT_EQ(plain, chosen);
  EXPECT_TRUE(mix_kernel_supported(MixKernel::Portable));
}

Page random_page(int32_t width, int32_t height, Depth depth, std::mt19937& random) {
  Page page = make_page(width, height, depth);
  std::vector<uint8_t> bytes = test_bytes(page.pixels.size(), random);
  page.pixels = bytes;
  return page;
}

TEST(AlphaKernels, every_kernel_matches_the_blend_rule_at_every_width) {
  std::mt19937 random(3);
  const int32_t levels[] = {-300, -1, 0, 1, 2, 100, 126, 127, 128, 129, 252, 253, 254};
  for (MixKernel kernel : kKernels) {
    if (!mix_kernel_supported(kernel)) continue;
    for (int32_t width = 1; width <= 100; ++width) {
      const int32_t level = levels[size_t(width) % std::size(levels)];
      const int32_t height = 3, page_width = width + 4;
      Page src = random_page(page_width, height, Depth::Rgb24, random);
      Page alpha = random_page(page_width, height, Depth::Indexed8, random);
      // Row 1 runs opaque, transparent and middle stretches past the vector
      // steps so the skip and copy shortcuts meet mixed neighbours.
      for (int32_t x = 0; x < page_width; ++x) alpha.row(1)[x] = x < 33 ? 255 : x < 66 ? 0 : x < 70 ? 128 : 1;
      Page dst = random_page(page_width + 2, height, Depth::Rgb24, random);
      Page before = clone_page(dst);
      CopyRegion region{1, 0, 3, 0, width, height};
      alpha_copy_with(kernel, src, alpha, dst, nullptr, region, level);
      for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < dst.width; ++x) {
          bool inside = x >= 3 && x < 3 + width;
          for (int32_t c = 0; c < 3; ++c) {
            size_t at = size_t(x) * 3 + size_t(c);
            uint8_t old = before.row(y)[at];
            uint8_t want = old;
            if (inside) want = alpha_mix(src.row(y)[size_t(x - 2) * 3 + size_t(c)], old, alpha.row(y)[x - 2], level);
            ASSERT_EQ(dst.row(y)[at], want)
                << kernel_name(kernel) << " width " << width << " level " << level << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

// Within one page the copies read the source as it was: the result must be
// what a separate copy of the page gives, whether the rectangles overlap or
// lie apart (then no snapshot is taken), touching edges included.
TEST(AlphaKernels, copies_within_a_page_match_copies_from_a_clone) {
  std::mt19937 random(13);
  struct Shift {
    int32_t dx, dy;
  } shifts[] = {{1, 0}, {-1, 0}, {5, 1}, {-7, -1}, {0, 2}, {33, 0}, {69, 3}, {70, 0}, {0, 4}, {-40, 6}, {80, -3}};
  for (MixKernel kernel : kKernels) {
    if (!mix_kernel_supported(kernel)) continue;
    for (const Shift& s : shifts) {
      CopyRegion region{40, 3, 40 + s.dx, 3 + s.dy, 70, 4};
      Page page = random_page(200, 14, Depth::Rgb24, random);
      Page alpha = random_page(200, 14, Depth::Indexed8, random);
      Page source = clone_page(page), source_alpha = clone_page(alpha);
      Page expected = clone_page(page), expected_alpha = clone_page(alpha);
      // The page's own alpha is both the transparency read and the alpha multiplied.
      alpha_copy_with(kernel, source, source_alpha, expected, &expected_alpha, region, 10);
      alpha_copy_with(kernel, page, alpha, page, &alpha, region, 10);
      ASSERT_EQ(page.pixels, expected.pixels) << kernel_name(kernel) << " shift " << s.dx << "," << s.dy;
      ASSERT_EQ(alpha.pixels, expected_alpha.pixels) << kernel_name(kernel) << " shift " << s.dx << "," << s.dy;
    }
  }
  for (const Shift& s : shifts) {
    for (int32_t level : {1, 127, 128, 200}) {
      CopyRegion region{40, 3, 40 + s.dx, 3 + s.dy, 70, 4};
      Page page = random_page(200, 14, Depth::Rgb24, random);
      Page source = clone_page(page);
      Page expected = clone_page(page);
      level_copy(source, expected, region, level);
      level_copy(page, page, region, level);
      ASSERT_EQ(page.pixels, expected.pixels) << "level " << level << " shift " << s.dx << "," << s.dy;
    }
  }
}

}  // namespace
}  // namespace tavelo::graphics
