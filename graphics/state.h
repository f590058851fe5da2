#pragma once
// State of the graphics subsystem: pages and pictures, sprites, the change
// marks of their destination pages, the screen and the frame pacer. One per
// engine; everything in graphics/ takes it (or a part of it) by reference.

#include <cstdint>

#include "graphics/change_marks.h"
#include "graphics/frame_pacer.h"
#include "graphics/page_table.h"
#include "graphics/picture.h"
#include "graphics/screen.h"
#include "graphics/sprite_table.h"

namespace tavelo::graphics {

struct State {
  PageTable pages;
  SpriteTable sprites;
  ChangeMarks changes;  // destination records with their cell marks
  Screen screen;
  FramePacer pacer;
  PictureState pictures;  // picture cache, memos and image key
  // Seed of the mosaic's sample choice; per engine, so runs are repeatable.
  uint32_t mosaic_random = 0x9E3779B9u;
  // Pixel bytes all pages may hold together; create_page refuses a page that
  // would pass it. Games run without a limit; the fuzz targets set one so a
  // script that makes page after page fails its calls instead of the run.
  int64_t page_memory_limit = INT64_MAX;
};

}  // namespace tavelo::graphics
