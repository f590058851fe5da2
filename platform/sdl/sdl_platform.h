#pragma once
// The real backend on SDL2: timer, message boxes, clipboard and the desktop
// opener. The window, input and sound device join it as the engine grows.

#include <memory>

#include "platform/platform.h"

namespace tavelo::platform {

// Returns null when SDL cannot be initialised (no display, for instance), so
// the caller can fall back to the headless backend.
std::unique_ptr<Platform> create_sdl_platform();

}  // namespace tavelo::platform
