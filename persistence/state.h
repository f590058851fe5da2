#pragma once
// State of the persistence subsystem: the snapshot the next save writes, the
// switches that allow snapshots and saves, the persistent name set read from
// the system save, the load a script or menu has asked for, and the file
// dialogs' directory. Owned by the engine; the host's save and load
// operations (host/save_game.h) and persistence/syscalls.cpp work on it.

#include <cstdint>
#include <memory>
#include <string>

#include "persistence/save_file.h"
#include "persistence/system_save.h"

namespace tavelo::persistence {

struct State {
  // Taken at the script's save points; what every save writes.
  SaveImage snapshot;
  bool has_snapshot = false;
  bool save_points_enabled = false;
  bool saving_enabled = false;
  // Set by a load: the next save to the "last" slot is skipped.
  bool last_written = false;

  NameSet names{};
  bool system_save_loaded = false;

  // A save file read and checked completely, which the outer loop loads once
  // the machine has stopped for it.
  std::unique_ptr<SaveImage> pending_load;
  // Where the save-as and load-from-file dialogs open: "savedata" under the
  // current directory until a file was chosen, then that file's directory.
  std::string file_dialog_directory;
};

}  // namespace tavelo::persistence
