#pragma once
// Game files as the running engine reaches them: registering search entries
// with the engine's answers to a scan's questions (the duplicate-file box, a
// window kept responsive, a debug-log line for a skipped link loop, the
// damaged-archive box that ends the engine) and
// opening files with the fatal retry box. The loader, start-up and the system
// calls use these; resources/ itself only returns typed results.

#include <optional>
#include <string_view>

#include "platform/file_system.h"
#include "resources/search_list.h"

namespace tavelo::script {

struct Machine;

// Registers a search entry. A damaged archive shows the engine's box and asks
// the engine to end (status 255); a duplicate file name shows the fatal retry
// box, whose Cancel ends the engine and stops the scan.
resources::Registration register_search_entry(Machine& machine, std::string_view name,
                                              resources::SoundOnly sound_only);

// Opens a game file through the search list; on failure shows the fatal
// retry box and tries again on Retry. nullopt only when the engine is
// stopping (Cancel, or an earlier exit request).
std::optional<platform::File> open_game_file(Machine& machine, std::string_view name,
                                             platform::OpenMode mode = platform::OpenMode::Read);

}  // namespace tavelo::script
