#pragma once
// The file chooser of a real window: the desktop offers none through SDL, so
// save and open dialogs (DialogKind::SaveFile, OpenFile) are drawn as an
// in-window dialog. It lists one directory (folders, then the files the
// request's filter lets through), takes a name, adds the default extension,
// asks before overwriting (save) and insists on an existing file (open). The
// SDL backend opens it as a panel and reads chosen_path() once it is
// accepted. Paths are UTF-8 host paths.

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace tavelo::platform {

class FileChooser final : public DialogContent {
 public:
  explicit FileChooser(const DialogRequest& request);

  std::string title() const override { return m_title; }
  DialogStatus draw() override;

  // The file chosen, once draw() returned Accepted.
  const std::string& chosen_path() const { return m_chosen; }

 private:
  void enter_directory(std::string directory);
  // Whether the name is taken, or why not (m_notice).
  bool accept_name();

  DialogKind m_kind;
  std::string m_title;
  std::string m_default_extension;  // without the dot
  std::vector<std::string> m_patterns;  // "*.sav", lower-case
  std::string m_directory;
  std::vector<DirectoryItem> m_items;
  char m_name[512] = {};
  std::string m_notice;        // why the last OK was not taken
  bool m_asking_overwrite = false;
  bool m_focus_name = true;  // until the first frame gave the name field the keyboard
  std::string m_chosen;
};

// The patterns of a filter such as "ゲームデータ (*.sav)" or "Pictures
// (*.png;*.bmp)": the part in the last parentheses, split at ';', lower-case.
// Empty (everything passes) when there are none.
std::vector<std::string> filter_patterns(std::string_view filter);
bool matches_patterns(const std::vector<std::string>& patterns, std::string_view name);

}  // namespace tavelo::platform
