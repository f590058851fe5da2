#pragma once
// Translation of SDL events into the engine's platform events.

#include <SDL.h>

#include "platform/platform.h"

namespace tavelo::platform {

// Fills event from raw; false for events the engine does not take.
bool translate_event(const SDL_Event& raw, Event& event);

}  // namespace tavelo::platform
