#pragma once
// Screenshots: a page written as a PNG file (8-bit RGB; an 8-bit page through
// its palette). The --screenshot option and the replayed "screenshot" event
// write the display page with it.

#include <string>

#include "graphics/page.h"

namespace tavelo::graphics {

struct State;

// Writes the page to host_path (UTF-8) atomically; false when it cannot.
bool write_png(const Page& page, const std::string& host_path);
// The display page as it was last composed; false without one.
bool write_screenshot(const State& state, const std::string& host_path);

}  // namespace tavelo::graphics
