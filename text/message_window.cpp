// The message window's entry points.

#include "text/message_window.h"

namespace tavelo::text {

void append_message_text(MessageState& message, std::string_view game_text) { message.pending_text.append(game_text); }

void run_control_code(MessageState&, std::string_view) {}

bool lay_out_message(MessageState& message) {
  message.pending_text.clear();
  return true;
}

}  // namespace tavelo::text
