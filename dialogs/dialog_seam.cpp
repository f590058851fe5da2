// Dialogs answered as a headless run answers them.

#include "dialogs/dialog_seam.h"

#include "host/engine.h"
#include "host/message_box.h"
#include "resources/settings_store.h"

namespace tavelo::dialogs {
namespace {

std::string join_path(std::string_view directory, std::string_view name) {
  if (directory.empty()) return std::string(name);
  std::string path(directory);
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  path += name;
  return path;
}

}  // namespace

std::string ask_input_string(host::Engine& engine, const InputStringRequest& request) {
  return resources::cut_game_text(engine.resources.lead_bytes, request.default_text, kInputStringBytes);
}

SaveFileAnswer ask_save_file(host::Engine&, const SaveFileRequest& request) {
  return {DialogResult::Chosen, join_path(request.directory, request.proposed_name)};
}

std::string choose_text_save_path(host::Engine& engine, std::string_view proposed_name) {
  // There is no desktop folder to propose from here, so the name is proposed
  // in the current directory.
  SaveFileRequest request;
  std::string title = host::game_message(engine, "テキストの保存");
  request.title = title;
  request.filter = "TXT Files (*.TXT)";
  request.default_extension = "txt";
  request.proposed_name = std::string(proposed_name);
  std::string proposed = join_path(request.directory, request.proposed_name);
  SaveFileAnswer answer = ask_save_file(engine, request);
  switch (answer.result) {
    case DialogResult::Chosen:
      if (answer.path.size() < kMaxChosenPathBytes) return answer.path;
      host::show_box(engine, host::BoxKind::Error, "ファイル名が長すぎます", {});
      return proposed;
    case DialogResult::Failed:
      host::show_box(engine, host::BoxKind::Error, "エラーです", {});
      return proposed;
    case DialogResult::Cancelled:
      break;
  }
  return proposed;
}

}  // namespace tavelo::dialogs
