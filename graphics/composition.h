#pragma once
// Screen composition: the sprite draw (which kernel a sprite picture goes
// through), sprite_paste, the recomposition of marked cells and the frame
// cycle that the host's frame loop runs when a frame is due. Cells that no
// sprite covers keep their pixels; a full-screen background sprite is what
// normally repaints them.

#include <cstdint>
#include <optional>

#include "graphics/change_marks.h"
#include "graphics/page.h"
#include "graphics/pixel_ops.h"
#include "graphics/rect.h"
#include "graphics/sprite_table.h"

namespace tavelo::graphics {

struct State;

// Draws a clipped region of a sprite picture with level L: the additive copy
// for a source in additive mode, the alpha copy through the source's alpha
// page, else the level copy (L > 0) or the plain copy, after which a
// destination alpha page turns more opaque (alpha * L >> 8, 0 for L = 0).
// Returns the rectangle drawn.
Rect draw_sprite_region(const Page& src, const Page* src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region,
                        int32_t level);

// sprite_paste: brings the sprite up to now and draws it once onto the
// target page at its own position or at `at` (the centre, for a transformed
// sprite); the drawn rectangle is marked. Nothing while it is hidden or
// invisible.
void paste_sprite(State& state, Sprite& sprite, int32_t target_page, std::optional<Point> at, uint32_t now);

// Redraws the marked cells of one record from its shown sprites, bottom to
// top, and shows the cells of the display page.
void recompose(State& state, Destination& record);

// Only brings every sprite up to now, for a due frame that is not shown
// (fast-forward, frame skipping): moves and animations still end on time,
// so waits for them end too, and the marks wait for the next shown frame.
void update_sprites(State& state, uint32_t now);

// The frame: sprites on other pages are updated and those pages recomposed
// first (their changes have already travelled to the screen's cells), then
// the display page's sprites and the display page; unused records go.
void run_frame_cycle(State& state, uint32_t now);

// Whether a frame may change the picture: some cell is marked, or a sprite
// has an effect running (a move, a frame list, a level or scale list, a
// turn). A still picture needs no frames until something marks it.
bool frame_has_work(const State& state);

}  // namespace tavelo::graphics
