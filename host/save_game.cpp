// Saving and loading games across the subsystems.

#include "host/save_game.h"

#include "audio/channels.h"
#include "graphics/page_table.h"
#include "graphics/sprite_table.h"
#include "host/engine.h"
#include "host/menus.h"
#include "host/state.h"
#include "input/input.h"
#include "persistence/save_paths.h"
#include "persistence/state.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/save_fields.h"
#include "resources/settings.h"
#include "script/error_report.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "text/history.h"
#include "text/message_window.h"
#include "text/state.h"

namespace tavelo::host {

namespace {

constexpr std::string_view kWriteError = "ファイルの書き込みでエラーが発生しました";

bool saves_disabled(Engine& engine) {
  return resources::env_setting(engine.resources, resources::EnvInt::LoadSaveDisable) == 1;
}

static_assert(audio::kSavedChannelsSize == persistence::kAudioFieldsSize);

// Every part of the engine a save keeps, listed once for both directions:
// saving fills the image at a save point (call: the save point's own
// arguments, when it runs on the main thread); loading, after the image
// passed its checks and the engine was reset, puts it all back. Each part
// keeps its own fields.
void keep_game(resources::SaveDirection direction, Engine& engine, persistence::SaveImage& image,
               std::optional<persistence::SavePointCall> call) {
  persistence::keep_machine(resources::SaveFields(direction, {}), image, engine.script, call);
  image.history.resize(persistence::kHistoryBytes);
  resources::SaveFields history(direction, image.history);
  text::keep_history(history, engine.text.history);
  resources::SaveFields channels(direction, image.audio);
  audio::keep_channels(channels, engine.audio, engine.script);
}

void load_system_save(Engine& engine) {
  persistence::State& state = engine.persistence;
  state.system_save_loaded = true;
  std::optional<std::string> path = persistence::save_path(engine.resources, persistence::kSystemSaveName, false);
  std::optional<std::vector<uint8_t>> bytes = path ? platform::read_file(*path) : std::nullopt;
  if (!bytes) return;  // no system save yet: nothing is eternal so far
  persistence::ValueList eternal;
  persistence::SystemSaveStatus status = persistence::parse_system_save(*bytes, state.names, eternal);
  if (status != persistence::SystemSaveStatus::Ok) {
    script::debug_log(engine.script, script::game_message(engine.script, "エターナルフラグの読み込みに失敗しました"));
    return;
  }
  script::VariableStore& store = engine.script.eternal;
  store.release_all();
  store.records.reserve(eternal.values.size() + 256);
  // The list's references move into the store.
  for (const script::Value& value : eternal.values) store.records.push_back(value);
  eternal.values.clear();
}

void clear_snapshot(persistence::State& state) {
  persistence::SaveImage& snapshot = state.snapshot;
  snapshot = persistence::SaveImage{};
  snapshot.history.assign(persistence::kHistoryBytes, 0);
  resources::SaveFields channels(resources::SaveDirection::Saving, snapshot.audio);
  audio::save_no_channels(channels);
  state.has_snapshot = false;
}

void set_saving(Engine& engine, bool enabled) {
  engine.persistence.saving_enabled = enabled;
  engine.persistence.save_points_enabled = enabled;
  refresh_menu(engine);
}

}  // namespace

void reset_engine(Engine& engine, bool first) {
  MenuRequest& request = engine.host.window.menu_request;
  request.pending = request.current = request.open = 0;
  request.new_request = false;
  engine.persistence.saving_enabled = false;
  engine.persistence.save_points_enabled = false;
  engine.persistence.last_written = false;
  input::reset_input(engine.input, engine.script);
  if (!first) graphics::reset_all_sprites(engine.graphics);
  text::reset_message_window(engine.text);
  audio::reset_channels(engine.audio, engine.script);
  if (!engine.persistence.system_save_loaded) load_system_save(engine);
  engine.script.global.release_all();
  clear_snapshot(engine.persistence);
  engine.text.history = text::History{};
  script::reset_machine(engine.script);
  refresh_menu(engine);
}

void take_save_point(Engine& engine, std::optional<persistence::SavePointCall> call) {
  persistence::State& state = engine.persistence;
  if (!state.save_points_enabled || !state.saving_enabled) return;
  keep_game(resources::SaveDirection::Saving, engine, state.snapshot, call);
  state.has_snapshot = true;
}

SaveResult save_to_path(Engine& engine, const std::string& host_path) {
  if (saves_disabled(engine)) return SaveResult::Skipped;
  std::vector<uint8_t> bytes = persistence::write_save_file(engine.persistence.snapshot);
  size_t slash = host_path.rfind('/');
  if (slash != std::string::npos && !platform::is_directory(host_path.substr(0, slash))) {
    platform::make_directories(host_path.substr(0, slash));
  }
  if (!platform::write_file_atomically(host_path, bytes)) {
    script::show_box(engine.script, script::BoxKind::Error, kWriteError, {});
    return SaveResult::Failed;
  }
  write_system_save(engine);
  return SaveResult::Written;
}

SaveResult save_to_slot(Engine& engine, int32_t slot) {
  persistence::State& state = engine.persistence;
  if (!state.saving_enabled) return SaveResult::Skipped;
  const bool last_slot = slot < 0 || slot == 10001;
  const bool skip = last_slot && state.last_written;
  state.last_written = false;
  if (skip || saves_disabled(engine)) return SaveResult::Skipped;
  return save_to_path(engine, persistence::slot_path(engine.resources, slot, true));
}

LoadRequest request_load_path(Engine& engine, const std::string& host_path) {
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(host_path);
  if (!bytes) return LoadRequest::Missing;
  auto image = std::make_unique<persistence::SaveImage>();
  persistence::SaveFileStatus status = persistence::parse_save_file(*bytes, *image);
  persistence::MachineCheck check = status == persistence::SaveFileStatus::Ok
                                        ? persistence::check_machine_image(engine.script, *image)
                                        : persistence::MachineCheck::Ok;
  if (status != persistence::SaveFileStatus::Ok || check != persistence::MachineCheck::Ok) {
    char detail[64];
    std::snprintf(detail, sizeof detail, " (%d/%d)", int(status), int(check));
    script::debug_log(engine.script, script::game_message(engine.script, "ロードに失敗しました") +
                                         engine.encoding.from_utf8_lossy(" " + host_path + detail));
    return LoadRequest::Refused;
  }
  engine.persistence.pending_load = std::move(image);
  engine.persistence.last_written = true;
  engine.script.slice_state = script::kSliceGameLoaded;
  return LoadRequest::Started;
}

LoadRequest request_load_slot(Engine& engine, int32_t slot) {
  return request_load_path(engine, persistence::slot_path(engine.resources, slot, false));
}

bool apply_requested_load(Engine& engine, int32_t& load_value) {
  std::unique_ptr<persistence::SaveImage> image = std::move(engine.persistence.pending_load);
  if (!image) return false;
  reset_engine(engine, false);
  keep_game(resources::SaveDirection::Loading, engine, *image, {});
  load_value = image->load_value;
  persistence::State& state = engine.persistence;
  state.snapshot = std::move(*image);
  state.has_snapshot = true;
  state.last_written = true;
  script::mark_current_line_read(engine.script);
  set_saving(engine, true);
  return true;
}

void quick_save(Engine& engine) {
  using resources::UserSetting;
  if (!engine.persistence.saving_enabled || saves_disabled(engine)) return;
  if (resources::read_user_setting(engine.resources, UserSetting::QuicksaveFailsafe) != 0 &&
      !script::show_box(engine.script, script::BoxKind::Question, "クイックセーブします。よろしいですか？", {})) {
    return;
  }
  int32_t index = (resources::read_user_setting(engine.resources, UserSetting::QuickNum) + 1) & 7;
  std::optional<std::string> path = persistence::save_path(engine.resources, persistence::quick_file_name(index), true);
  if (save_to_path(engine, *path) != SaveResult::Written) return;
  resources::write_user_setting(engine.resources, UserSetting::QuickNum, index);
  script::show_box(engine.script, script::BoxKind::Information, "クイックセーブしました", {});
}

void quick_load(Engine& engine) {
  using resources::UserSetting;
  if (resources::read_user_setting(engine.resources, UserSetting::QuickloadFailsafe) != 0 &&
      !script::show_box(engine.script, script::BoxKind::Question, "クイックロードします。よろしいですか？", {})) {
    return;
  }
  int32_t index = resources::read_user_setting(engine.resources, UserSetting::QuickNum) & 7;
  std::optional<std::string> path = persistence::save_path(engine.resources, persistence::quick_file_name(index), false);
  switch (request_load_path(engine, *path)) {
    case LoadRequest::Started: break;
    case LoadRequest::Missing:
      script::show_box(engine.script, script::BoxKind::Information, "クイックセーブされていません", {});
      break;
    case LoadRequest::Refused:
      script::show_box(engine.script, script::BoxKind::Error, "ロードに失敗しました", {});
      break;
  }
}

void write_system_save(Engine& engine) {
  if (saves_disabled(engine)) return;
  const script::VariableStore& eternal = engine.script.eternal;
  // With nothing eternal the file on disk keeps what it has. Marked names
  // alone are written too: a game may mark names without eternal values.
  if (eternal.records.empty() && engine.persistence.names[0] == 0) return;
  std::vector<uint8_t> bytes = persistence::write_system_save(engine.persistence.names, eternal.records);
  std::optional<std::string> path = persistence::save_path(engine.resources, persistence::kSystemSaveName, true);
  // A failed write keeps the previous file; nothing is shown.
  (void)platform::write_file_atomically(*path, bytes);
}

}  // namespace tavelo::host
