#pragma once
// State of the resources subsystem: where the game lives on the host and the
// search list of registered directories and archives.

#include <string>

#include "resources/multibyte.h"

namespace tavelo::resources {

struct State {
  // Host path (UTF-8) of the engine's current directory: every relative game
  // path is taken from here.
  std::string working_directory;
  // Lead bytes of the game code page, copied from the engine's encoding.
  LeadByteTable lead_bytes{};
};

}  // namespace tavelo::resources
