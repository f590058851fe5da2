#pragma once
// The about dialog in its two forms. The product form names the game, its
// version and where to find support. The debug form adds the image cache's
// statistics line, the watched variables, and the developer options kept in
// the settings store (replay and backlog options, opening the editor at
// error lines, the watch list and the editor command); the main window
// writes those back when the player accepts. Texts are UTF-8.

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tavelo::dialogs {

struct AboutText {
  std::string app_name;      // APPNAME
  std::string version;       // VERSION
  std::string url;           // URL
  std::string support_url;   // SUPPORTURL
  std::string support_text;  // SUPPORTSTR
};

struct DebugOptions {
  bool replay_no_voice = false;    // ReprotNoVoice
  bool replay_no_picture = false;  // ReprotNoPic
  bool log_no_voice = true;        // LogNoVoice
  bool log_no_picture = true;      // LogNoPic
  bool auto_open_error_line = true;
  bool fast_voice_play = false;
  std::string watch_list;  // names separated by blanks or commas
  std::string editor;      // editor command line

  bool operator==(const DebugOptions&) const = default;
};

struct WatchedValue {
  std::string name;
  std::string value;  // "(なし)" when the variable does not exist
};

struct AboutDebugText {
  std::string statistics;  // image memory and cache hit ratio
  std::string position;    // the script and line shown in the caption
  std::vector<WatchedValue> watched;
  DebugOptions options;
};

class AboutDialog final : public platform::DialogContent {
 public:
  explicit AboutDialog(AboutText text);
  AboutDialog(AboutText text, AboutDebugText debug);

  std::string title() const override { return "バージョン情報"; }
  platform::DialogStatus draw() override;

  bool debug_form() const { return m_debug; }
  // The options as the player left them (debug form).
  const DebugOptions& options() const { return m_debug_text.options; }

 private:
  AboutText m_text;
  bool m_debug = false;
  AboutDebugText m_debug_text;
  // Buffers the text fields edit in place.
  std::vector<char> m_watch_buffer;
  std::vector<char> m_editor_buffer;
};

}  // namespace tavelo::dialogs
