#pragma once
// Turning a bare game file name ("title.png") into a file: the base directory,
// then the search list (resources/search_list.h), in the engine's fixed order.
// Ordinary files come from the base directory first; sound files (.wav, .ogg)
// from the registered places first and the base directory last; a name with a
// directory part is never searched in the list (file_size excepted). Safe to
// call from the sound streaming thread: every lookup holds the search lock.
//
// Also the one way to reach loose files: to_host_path maps engine paths (game
// code page, `\` or `/`, letter case ignored) onto the host file system.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace tavelo::resources {

struct State;

// The raw lookup. An archive entry comes back restricted to the entry's bytes
// and positioned at its start; archives only ever open for reading, so a
// writing mode skips them. nullopt when nothing matches.
std::optional<platform::File> find_game_file(State& state, std::string_view name,
                                             platform::OpenMode mode = platform::OpenMode::Read);

// Data size in bytes (the entry size for archive entries), 0 when not found.
uint64_t file_size(State& state, std::string_view name);

// Where the name would be read from, in the engine's form (game code page, `\`
// separators): the file's path, or for an archive entry the archive's path.
std::optional<std::string> file_resolve(State& state, std::string_view name);
bool file_exists(State& state, std::string_view name);

// Last-write time in 100 ns units since 1601 of a loose or directory file; 0
// when not found. Archive entries have no time of their own and are passed over.
uint64_t file_time(State& state, std::string_view name);

// An engine path (game code page; relative to the working directory or
// absolute) as an existing host path (UTF-8), each component matched without
// regard to ASCII case. Names that cannot be converted from the code page are
// tried byte for byte. nullopt when it does not exist.
std::optional<std::string> to_host_path(const State& state, std::string_view game_path);
// The same for a file about to be created: only its directories must exist.
std::optional<std::string> to_host_path_for_create(const State& state, std::string_view game_path);

// Whether a name a script gives for writing stays inside the game: a relative
// name whose `..` components never climb above the working directory, or an
// absolute name inside the working directory or the save root. Drive-letter
// names and names that climb out do not. Decided from the name alone.
bool is_confined_game_path(const State& state, std::string_view game_path);
// to_host_path_for_create for a confined name; nullopt for any other.
std::optional<std::string> to_confined_host_path_for_create(const State& state, std::string_view game_path);

}  // namespace tavelo::resources
