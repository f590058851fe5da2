#pragma once
// State of the resources subsystem: where the game lives on the host, the
// search list of registered directories and archives, the environment table
// and the settings cache. Created by the engine with the game's text encoding,
// which every name conversion here uses.
//
// Lock: search_lock guards base_directory and search_list. The main thread
// registers and looks up; the sound streaming thread only looks up. Nothing
// else is taken while it is held, except the code-page converter's own lock.

#include <mutex>
#include <string>
#include <vector>

#include "resources/environment.h"
#include "resources/multibyte.h"
#include "resources/search_list.h"
#include "resources/settings.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::resources {

struct State {
  State(const platform::TextEncoding& encoding, std::string working_directory);
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  const platform::TextEncoding& encoding;
  // Lead bytes of the game code page, copied from the encoding.
  LeadByteTable lead_bytes{};

  // Host path (UTF-8) of the engine's current directory: every relative game
  // path is taken from here.
  std::string working_directory;
  // The fast-read directory (host path, UTF-8) when the fast-read file names
  // one, else empty. Saves, read marks and the debug log go under the save
  // root (save_root()).
  std::string fast_read_directory;

  // Engine form (game code page), empty or ending in `\`.
  std::string base_directory;
  // Registration order; entries are never removed.
  std::vector<SearchEntry> search_list;
  // Recursive so that a lookup made while registering (from a scan observer,
  // say) cannot deadlock its own thread.
  std::recursive_mutex search_lock;

  Environment environment;
  SettingsCache settings;
};

// The directory under which "savedata" and the debug log live: the fast-read
// directory when there is one, else the working directory.
const std::string& save_root(const State& state);

}  // namespace tavelo::resources
