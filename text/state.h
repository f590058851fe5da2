#pragma once
// State of the text subsystem.

#include "text/message_window.h"
#include "text/renderer.h"

namespace tavelo::text {

struct State {
  MessageState message;
  Renderer renderer;  // fonts, line buffer and the open glyph cache
};

}  // namespace tavelo::text
