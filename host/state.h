#pragma once
// State of the host shell: the engine mode, the environment table, the window
// caption and the hooks around message boxes.

#include <string>
#include <utility>
#include <vector>

namespace tavelo::host {

struct State {
  // Debug mode enables the developer aids: error reports, the debug log, the
  // status bar, the fast-read file.
  bool debug_mode = false;
  // The window caption in the game code page (also the message-box title).
  std::string caption;
};

}  // namespace tavelo::host
