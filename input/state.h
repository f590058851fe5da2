#pragma once
// State of the input subsystem: what input keeps for itself beyond the click
// latches it feeds into the script machine (script::Clicks): files dropped on
// the window.

#include <cstdint>
#include <string>

namespace tavelo::input {

struct State {
  // Files dropped on the main window: accepted only while scripts allow it;
  // the last name is game text of at most 259 bytes.
  bool accept_dropped_files = false;
  std::string dropped_file;
};

}  // namespace tavelo::input
