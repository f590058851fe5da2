#pragma once
// The launcher's window contents: the games the player knows (title, folder,
// last play), the chosen game's last-save thumbnail (a placeholder without
// one), and the actions play, add a game folder, take off the list and quit.
// The keyboard and the pad work the list directly: Up and Down choose a
// game, Return, Space (a pad's first button) or a double click plays it,
// Delete takes it off the list, Insert adds a folder, Escape quits. The host
// (host/launcher.cpp) reads the action once draw() ended and opens a fresh
// panel when the launcher goes on. Texts are UTF-8.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tavelo::dialogs {

struct LauncherRow {
  std::string title;
  std::string folder;
  std::string last_played;  // empty: never played
  bool missing = false;     // the folder is not there (any more)
  bool bundled = false;     // the demo that comes with the engine: never taken off
  int32_t thumbnail_width = 0;
  int32_t thumbnail_height = 0;
  std::vector<uint8_t> thumbnail;  // blue, green, red; rows top-down
};

enum class LauncherAction { None, Play, Add, Remove, Quit };

// The largest thumbnail the panel shows (the host reduces larger ones).
inline constexpr int32_t kLauncherThumbnailWidth = 160;
inline constexpr int32_t kLauncherThumbnailHeight = 120;

class LauncherPanel final : public platform::DialogContent {
 public:
  // notice: one line shown over the buttons (why the last action failed).
  LauncherPanel(std::vector<LauncherRow> rows, int32_t selected, std::string notice);

  std::string title() const override { return "Tavelo ゲーム一覧"; }
  // Accepted once an action was chosen (Quit ends as Cancelled).
  platform::DialogStatus draw() override;

  LauncherAction action() const { return m_action; }
  int32_t selected() const { return m_selected; }

 private:
  bool draw_rows();
  void draw_details();
  bool can_play() const;
  bool can_remove() const;

  std::vector<LauncherRow> m_rows;
  int32_t m_selected = 0;
  std::string m_notice;
  LauncherAction m_action = LauncherAction::None;
};

}  // namespace tavelo::dialogs
