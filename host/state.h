#pragma once
// State of the host shell: the end of the run the command line asked for,
// the requests that the outer loop and the frame loop act on, the main
// window with its menus, the display modes, the input replay, what the
// settings dialogs keep between openings and the debug tooling.

#include <cstdint>
#include <memory>
#include <optional>

#include "host/debug_tooling.h"
#include "host/display_modes.h"
#include "host/input_replay.h"
#include "host/main_window.h"
#include "host/settings_dialogs.h"

namespace tavelo::platform {
class SliceWatch;
}

namespace tavelo::host {

struct State {
  // Ends the run once script time reaches this value (--quit-after).
  std::optional<uint32_t> quit_at;
  // With --quit-after, also ends a run whose scripts keep one round of
  // slices going longer than that in wall time (a loop that never yields,
  // where script time stands still).
  std::unique_ptr<platform::SliceWatch> slice_watch;
  // A return to the title was confirmed; the frame loop ends the run of the
  // start script once the display is unlocked.
  bool return_to_title = false;
  MainWindow window;
  DisplayModeState display;
  InputReplay replay;
  SettingsDialogState settings_dialogs;
  DebugTooling debug;
};

}  // namespace tavelo::host
