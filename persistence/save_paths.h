#pragma once
// Where saves live: engine-form names ("savedata\\tavelo_0001.sav") under the
// game's save root, as host paths. A name that already exists in any case
// keeps its spelling on disk.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavelo::resources {
struct State;
}

namespace tavelo::persistence {

// The host path of an engine-form name under the save root, making
// "savedata" first when asked; nullopt never comes back for a name under it.
std::optional<std::string> save_path(resources::State& resources, std::string_view name, bool make_directory);
// A slot's file (slot_file_name with the user setting's quick number).
std::string slot_path(resources::State& resources, int32_t slot, bool make_directory);

}  // namespace tavelo::persistence
