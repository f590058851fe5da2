#pragma once
// The process-level stop for conditions the engine cannot continue from
// (running out of memory). It writes the message to standard error, shows it
// in a desktop message box when a display is in use, and ends the process
// with status 255 without running destructors that may need memory.

namespace tavelo::platform {

[[noreturn]] void stop_for_lack_of_memory(const char* caption, const char* utf8_text);

}  // namespace tavelo::platform
