#pragma once
// State of the graphics subsystem.

#include <cstdint>

#include "graphics/change_marks.h"
#include "graphics/frame_pacer.h"
#include "graphics/page_table.h"
#include "graphics/picture.h"

namespace tavelo::graphics {

struct State {
  PageTable pages;
  ChangeMarks changes;
  FramePacer pacer;
  PictureState pictures;  // picture cache, memos and image key
  // Seed of the mosaic's sample choice; per engine, so runs are repeatable.
  uint32_t mosaic_random = 0x9E3779B9u;
};

}  // namespace tavelo::graphics
