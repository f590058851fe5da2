#pragma once
// State of the host shell: the engine mode, the environment table, the window
// caption and the hooks around message boxes.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/environment.h"
#include "host/input.h"
#include "host/settings.h"

namespace tavelo::host {

struct State {
  // Debug mode enables the developer aids: error reports, the debug log, the
  // status bar, the fast-read file.
  bool debug_mode = false;
  // The window caption in the game code page (also the message-box title).
  std::string caption;
  // The fast-read directory (host path, UTF-8) when one is kept, else empty.
  std::string fast_read_directory;
  InputState input;
  // Ends the run once script time reaches this value (--quit-after).
  std::optional<uint32_t> quit_at;
  Environment environment;
  SettingsCache settings;
};

}  // namespace tavelo::host
