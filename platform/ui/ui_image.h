#pragma once
// Pictures inside in-window dialogs. A dialog's draw() hands packed 24-bit
// pixels (blue, green, red; rows top-down, no padding) to draw_ui_image; the
// UI layer drawing the frame makes a texture of them for its renderer, keeps
// it while the same pixels are drawn in the following frames and frees it
// after a frame that did not draw them. Main thread, inside
// DialogContent::draw() only.

#include <cstdint>
#include <span>

namespace tavelo::platform {

// Draws the picture at the cursor at its own size (window pixels). Without a
// renderer, or when the pixels do not fill width × height, only its space is
// kept and the result is false.
bool draw_ui_image(std::span<const uint8_t> pixels, int32_t width, int32_t height);

}  // namespace tavelo::platform
