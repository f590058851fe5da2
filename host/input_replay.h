#pragma once
// Replayed input (--input FILE): the text format that tests, bug reports and
// demos drive the engine with, parsed whole before the engine starts, and the
// delivery of its events once their script time has come. Events go into
// the platform's own event queue (Platform::inject_event), so they take the
// same way as the desktop's: the menu bar and dialogs first, then the main
// window's handlers. Works with and without a real window.
//
// One event a line, fields separated by blanks; blank lines and lines
// starting with "#" are ignored. TIME is script milliseconds since start-up
// and never decreases:
//   TIME key NAME | key down NAME | key up NAME     (SDL key names)
//   TIME click BUTTON X Y | mouse down BUTTON X Y | mouse up BUTTON X Y
//   TIME mouse move X Y | wheel N | text STRING | pad BUTTON
//   TIME pad axis AXIS VALUE | close | screenshot FILE

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tavelo::host {

struct Engine;

// Presses made by "key", "click" and "pad" are released this much later.
inline constexpr uint32_t kReplayHoldMs = 50;
// The largest TIME; script time wraps far beyond it.
inline constexpr uint32_t kReplayLastTime = 0x7FFFFFFF;

struct ReplayError {
  size_t line = 0;  // 1-based
  std::string reason;
};

// Events ordered by time (lines at equal times keep their order), with time
// in ms since start-up and pointer positions in game-screen pixels.
struct ReplayParse {
  std::vector<platform::Event> events;
  std::optional<ReplayError> error;
};

// Parses a whole file; the first bad line stops it. Screenshot paths that
// are not absolute are taken relative to base_directory.
ReplayParse parse_input_replay(std::string_view text, std::string_view base_directory);

struct InputReplay {
  std::vector<platform::Event> events;
  size_t next = 0;
  bool started = false;
  uint32_t start_time = 0;  // script time of the first delivery
};

// Hands the parsed events to the engine (before run_engine).
void load_input_replay(Engine& engine, std::vector<platform::Event> events);

// Queues every event whose time has come with the platform.
void deliver_replayed_input(Engine& engine);

}  // namespace tavelo::host
