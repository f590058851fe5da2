// Page construction.

#include "graphics/page.h"

namespace tavelo::graphics {

void set_grey_palette(Page& page) {
  for (int i = 0; i < 256; ++i) page.palette[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
}

Page make_page(int32_t width, int32_t height, Depth depth) {
  Page page;
  page.width = width < 1 ? 1 : width;
  page.height = height < 1 ? 1 : height;
  page.depth = depth;
  page.stride = page_stride(page.width, depth);
  page.pixels.assign(size_t(page.stride) * size_t(page.height), 0);
  if (depth == Depth::Indexed8) set_grey_palette(page);
  return page;
}

Page clone_page(const Page& page) {
  Page copy;
  copy.width = page.width;
  copy.height = page.height;
  copy.stride = page.stride;
  copy.depth = page.depth;
  copy.draw_mode = page.draw_mode;
  copy.palette = page.palette;
  copy.pixels = page.pixels;
  return copy;
}

}  // namespace tavelo::graphics
