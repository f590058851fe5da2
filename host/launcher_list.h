#pragma once
// The launcher's list of known games: one small text file of our own in the
// settings directory ("games.txt"), written atomically like the settings
// files. Each line is a game, in the order the launcher shows them after the
// bundled demo:
//
//   <last played>\t<folder>
//
// where <last played> is "YYYY-MM-DD hh:mm" (local time) or "-" for a game
// not played yet, and <folder> an absolute host path (UTF-8). Lines starting
// with "#" and blank lines are ignored; a line that does not fit the format
// (a damaged file) is skipped, so a damaged or missing file gives a shorter
// or empty list, never an error. A folder listed twice keeps its first line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tavelo::host {

inline constexpr std::string_view kGameListFileName = "games.txt";

struct KnownGame {
  std::string folder;       // absolute, without a trailing "/"
  std::string last_played;  // "YYYY-MM-DD hh:mm", empty when never played

  bool operator==(const KnownGame&) const = default;
};

std::vector<KnownGame> parse_game_list(std::string_view text);
std::string format_game_list(const std::vector<KnownGame>& games);

// Whether a folder can be kept in the list: absolute, without line ends,
// tabs or other control bytes.
bool listable_folder(std::string_view folder);

// "YYYY-MM-DD hh:mm".
std::string play_time_text(const platform::LocalTime& time);

// The list in the settings directory; empty when the file is missing or
// unreadable.
std::vector<KnownGame> read_game_list(const std::string& settings_directory);
bool write_game_list(const std::string& settings_directory, const std::vector<KnownGame>& games);

// Adds the folder at the end unless it is listed already; false when it
// cannot be listed.
bool add_known_game(std::vector<KnownGame>& games, const std::string& folder);
// Takes the folder off the list (its files stay where they are).
void remove_known_game(std::vector<KnownGame>& games, const std::string& folder);
// Sets the folder's last play, adding it when it is new. Recently played
// games come first: the game moves to the top.
void note_game_played(std::vector<KnownGame>& games, const std::string& folder, const platform::LocalTime& now);

// The same on the file in the settings directory (nothing without one).
void note_game_played_in(const std::optional<std::string>& settings_directory, const std::string& folder,
                         const platform::LocalTime& now);

}  // namespace tavelo::host
