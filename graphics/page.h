#pragma once
// The page: the engine's off-screen picture. 24-bit pages store blue, green,
// red per pixel; 8-bit pages store palette indices. Rows run top-down and are
// padded to a multiple of 4 bytes. A page may name an 8-bit alpha page of the
// same size whose bytes are transparencies (0 opaque, 255 invisible).

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tavelo::graphics {

enum class Depth : uint8_t { Indexed8, Rgb24 };

struct PaletteEntry {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
};

enum class DrawMode : int32_t { Normal = 0, Additive = 1 };

struct Page {
  Page() = default;
  Page(Page&&) = default;
  Page& operator=(Page&&) = default;
  // Pages are large; copies are explicit (clone_page).
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // bytes per row
  Depth depth = Depth::Rgb24;
  bool engine_held = false;  // scripts cannot release it
  bool owns_alpha = false;   // the alpha page goes with this page
  DrawMode draw_mode = DrawMode::Normal;
  int32_t alpha_page = 0;  // handle of the alpha page, 0 for none
  std::array<PaletteEntry, 256> palette{};
  std::vector<uint8_t> pixels;

  uint8_t* row(int32_t y) { return pixels.data() + size_t(y) * size_t(stride); }
  const uint8_t* row(int32_t y) const { return pixels.data() + size_t(y) * size_t(stride); }
  int bytes_per_pixel() const { return depth == Depth::Rgb24 ? 3 : 1; }
};

inline int32_t page_stride(int32_t width, Depth depth) {
  int64_t bytes = depth == Depth::Rgb24 ? int64_t(width) * 3 : int64_t(width);
  return int32_t((bytes + 3) & ~int64_t(3));
}

// A zeroed page (black, or index 0); 8-bit pages get the grey palette.
// Sizes below 1 are raised to 1.
Page make_page(int32_t width, int32_t height, Depth depth);
Page clone_page(const Page& page);
void set_grey_palette(Page& page);

}  // namespace tavelo::graphics
