#pragma once
// The message window's entry points from the interpreter: text instructions
// append to the pending text, control codes run console commands, and the
// message instruction lays the pending text out line by line. The host
// connects these to the machine's text hooks. The layout engine (fonts, line
// breaking, events per line) builds on this record.

#include <string>
#include <string_view>

namespace tavelo::text {

struct MessageState {
  std::string pending_text;  // game code page
};

void append_message_text(MessageState& message, std::string_view game_text);
// Runs an inline control code. Without a message window no console command
// exists, so the code is only recorded in the pending text's history.
void run_control_code(MessageState& message, std::string_view code);
// Lays out the pending text; false when the instruction must run again in the
// thread's next slice. Without a message window the text is dropped.
bool lay_out_message(MessageState& message);

}  // namespace tavelo::text
