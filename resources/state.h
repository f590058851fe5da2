#pragma once
// State of the resources subsystem: where the game lives on the host, the base
// directory and the search list of registered directories and archives.
//
// Lock: search_lock guards base_directory and search_list. The main thread
// registers and looks up; the sound streaming thread only looks up. Nothing
// else is taken while it is held, except the code-page converter's own lock.

#include <mutex>
#include <string>
#include <vector>

#include "resources/multibyte.h"
#include "resources/search_list.h"

namespace tavelo::resources {

struct State {
  // Host path (UTF-8) of the engine's current directory: every relative game
  // path is taken from here.
  std::string working_directory;
  // Lead bytes of the game code page, copied from the engine's encoding.
  LeadByteTable lead_bytes{};

  // Engine form (game code page), empty or ending in `\`.
  std::string base_directory;
  // Registration order; entries are never removed.
  std::vector<SearchEntry> search_list;
  // Recursive so that a lookup made while registering (from a message box
  // hook, say) cannot deadlock its own thread.
  std::recursive_mutex search_lock;
};

}  // namespace tavelo::resources
