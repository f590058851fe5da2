// The slot dialog and the file dialogs of saving and loading.

#include "host/save_dialogs.h"

#include "dialogs/file_dialog.h"
#include "dialogs/slot_dialog.h"
#include "host/engine.h"
#include "host/save_game.h"
#include "persistence/save_file.h"
#include "persistence/save_paths.h"
#include "persistence/state.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/message_box.h"

namespace tavelo::host {
namespace {

// Chosen paths this long or longer are refused, in bytes of game text.
constexpr size_t kMaxChosenPathBytes = 192;

std::optional<dialogs::SlotFile> read_slot_file(Engine& engine, int32_t slot, dialogs::ThumbnailRead thumbnail) {
  std::string path = persistence::slot_path(engine.resources, slot, false);
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(path);
  persistence::SaveSummary summary;
  dialogs::SlotFile file;
  if (!bytes || !persistence::read_save_summary(*bytes, summary, thumbnail == dialogs::ThumbnailRead::Read) ||
      !platform::file_local_time(path, file.time)) {
    return std::nullopt;
  }
  file.comment = engine.encoding.to_utf8_lossy(summary.comment);
  file.thumbnail_width = summary.thumbnail_width;
  file.thumbnail_height = summary.thumbnail_height;
  file.thumbnail = std::move(summary.thumbnail);
  return file;
}

std::string dialog_directory(Engine& engine) {
  const std::string& remembered = engine.persistence.file_dialog_directory;
  // The engine's current directory is the game's (main() changes to it).
  return remembered.empty() ? engine.resources.working_directory + "/savedata" : remembered;
}

// The path the player chose, when it may be used; its directory is where the
// next file dialog opens.
std::optional<std::string> chosen_path(Engine& engine, const platform::DialogOutcome& outcome) {
  if (outcome.status == platform::DialogStatus::Failed) {
    script::show_box(engine.script, script::BoxKind::Error, "エラーです", {});
    return std::nullopt;
  }
  if (outcome.status != platform::DialogStatus::Accepted || outcome.text.empty()) return std::nullopt;
  if (engine.encoding.from_utf8_lossy(outcome.text).size() >= kMaxChosenPathBytes) {
    script::show_box(engine.script, script::BoxKind::Error, "ファイル名が長すぎます", {});
    return std::nullopt;
  }
  size_t slash = outcome.text.find_last_of('/');
  if (slash != std::string::npos && slash > 0) engine.persistence.file_dialog_directory = outcome.text.substr(0, slash);
  return outcome.text;
}

}  // namespace

std::shared_ptr<platform::DialogContent> make_slot_dialog(Engine& engine, SlotDialogPurpose purpose,
                                                          int32_t newest_slot) {
  int32_t stored = resources::read_user_setting(engine.resources, resources::UserSetting::LoadSaveDlgNumBase);
  dialogs::SlotDialogMode mode =
      purpose == SlotDialogPurpose::Load ? dialogs::SlotDialogMode::Load : dialogs::SlotDialogMode::Save;
  // The dialog reads slot files while it is open, between slices on the main
  // thread; it ends before the engine does.
  return std::make_shared<dialogs::SlotDialog>(
      mode, newest_slot, stored,
      [&engine](int32_t slot, dialogs::ThumbnailRead thumbnail) { return read_slot_file(engine, slot, thumbnail); });
}

int32_t finish_slot_dialog(Engine& engine, const platform::DialogContent& content, platform::DialogStatus status) {
  const auto& dialog = static_cast<const dialogs::SlotDialog&>(content);
  // A failed write keeps the page stored before; nothing else depends on it.
  (void)resources::write_user_setting(engine.resources, resources::UserSetting::LoadSaveDlgNumBase,
                                      dialog.page_base());
  return status == platform::DialogStatus::Accepted ? dialog.result() : -1;
}

platform::DialogRequest save_as_request(Engine& engine) {
  std::string comment = engine.encoding.to_utf8_lossy(engine.persistence.snapshot.comment);
  return dialogs::file_dialog_request(dialogs::FileDialogPurpose::SaveAs, dialog_directory(engine),
                                      dialogs::proposed_save_name(comment, engine.platform.local_time()));
}

platform::DialogRequest load_file_request(Engine& engine) {
  return dialogs::file_dialog_request(dialogs::FileDialogPurpose::LoadFrom, dialog_directory(engine), {});
}

int32_t finish_save_as(Engine& engine, const platform::DialogOutcome& outcome) {
  std::optional<std::string> path = chosen_path(engine, outcome);
  if (!path) return -1;
  return save_to_path(engine, *path) == SaveResult::Failed ? -1 : 0;
}

int32_t finish_load_file(Engine& engine, const platform::DialogOutcome& outcome) {
  std::optional<std::string> path = chosen_path(engine, outcome);
  if (!path) return -1;
  return request_load_path(engine, *path) == LoadRequest::Started ? 0 : -1;
}

}  // namespace tavelo::host
