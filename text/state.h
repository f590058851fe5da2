#pragma once
// State of the text subsystem.

#include "text/message_window.h"

namespace tavelo::text {

struct State {
  MessageState message;
};

}  // namespace tavelo::text
