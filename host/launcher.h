#pragma once
// The launcher: what `tavelo` shows in a window when no game directory was
// given. It lists the bundled demo first, then the games of the list in the
// settings directory (host/launcher_list.h), each with the title from its
// environment file, its folder, its last play and its newest save's
// thumbnail, and lets the player play one, add a game folder through the
// in-window file chooser (the player opens the folder and picks its
// environment file or one of its archives) or take one off the list (no
// file is deleted). Replayed input drives it like a player: the events of
// the --input file reach the launcher by their time since start-up, and
// those still to come when a game starts go on to the game, their times
// counted from the game's start. Every listing is written to standard error
// ("[launcher] ..."), so scripts and tests can follow it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/launcher_panel.h"
#include "platform/platform.h"

namespace tavelo::host {

struct LauncherSetup {
  std::optional<std::string> settings_directory;
  std::string bundled_demo;  // the demo's folder (may be missing)
  std::vector<platform::Event> replay;  // times in ms since start-up
};

struct LauncherEnd {
  std::optional<std::string> folder;  // the game to play; nullopt: the player quit
  std::vector<platform::Event> replay;  // the rest, times from the game's start
};

LauncherEnd run_launcher(platform::Platform& platform, LauncherSetup setup);

// One row of the list as the launcher shows it: the title from the folder's
// environment file (TITLEBAR, in the file's code page; the folder's name
// when there is none), whether the folder is there, and the thumbnail of
// the newest save under the game's save root, reduced to fit the panel.
dialogs::LauncherRow describe_game(const std::string& folder, std::string_view last_played);

// The folder a chooser's pick stands for: the folder holding the chosen
// file. Empty when it does not look like a game (no environment file and no
// archive in it).
std::string game_folder_of(const std::string& chosen_path);

}  // namespace tavelo::host
