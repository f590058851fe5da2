// Message window entry points.

#include "text/message_window.h"

#include "host/engine.h"

namespace tavelo::text {

void append_message_text(host::Engine& engine, std::string_view game_text) {
  engine.text.message.pending_text.append(game_text);
}

void run_control_code(host::Engine&, std::string_view) {}

bool lay_out_message(host::Engine& engine) {
  engine.text.message.pending_text.clear();
  return true;
}

}  // namespace tavelo::text
