#pragma once
// The dialogs through which the engine asks the player for text or a file
// name: the input-string dialog and the save-file dialog (text save, screen
// capture), plus the text-save choice with its checks. Until the in-window
// dialogs exist every dialog answers as a headless run does: with the default
// text or the proposed file name. Called by the standard system calls and the
// main window's capture command. All texts are game text.

#include <string>
#include <string_view>

namespace tavelo::host {
struct Engine;
}

namespace tavelo::dialogs {

// Longest text the input-string dialog takes and gives, in bytes.
inline constexpr size_t kInputStringBytes = 511;
// Chosen paths this long or longer are refused, in bytes of game text.
inline constexpr size_t kMaxChosenPathBytes = 192;

struct InputStringRequest {
  std::string_view title;
  std::string_view prompt;
  std::string_view default_text;
};

// Modal; closes only through OK. The edit text, at most 511 bytes.
std::string ask_input_string(host::Engine& engine, const InputStringRequest& request);

enum class DialogResult { Chosen, Cancelled, Failed };

struct SaveFileRequest {
  std::string_view title;
  std::string_view filter;             // e.g. "TXT Files (*.TXT)"
  std::string_view default_extension;  // without the dot
  std::string directory;               // empty: the current directory
  std::string proposed_name;
};

struct SaveFileAnswer {
  DialogResult result = DialogResult::Cancelled;
  std::string path;  // game path, meaningful when Chosen
};

// Asks with an overwrite prompt.
SaveFileAnswer ask_save_file(host::Engine& engine, const SaveFileRequest& request);

// The text-save dialog of the text-file write call: proposes name and gives
// the path to create. Over-long choices and dialog failures are shown in a
// box; then, as after cancelling, the proposed path is used.
std::string choose_text_save_path(host::Engine& engine, std::string_view proposed_name);

}  // namespace tavelo::dialogs
