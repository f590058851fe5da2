// Saving and loading games across the subsystems.

#include "host/save_game.h"

#include <cstring>

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
#include "resources/settings.h"
#include "script/error_report.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "text/message_window.h"
#include "text/state.h"

namespace tavelo::host {

namespace {

constexpr std::string_view kWriteError = "ファイルの書き込みでエラーが発生しました";

bool saves_disabled(Engine& engine) {
  return resources::env_setting(engine.resources, resources::EnvInt::LoadSaveDisable) == 1;
}

persistence::SavedAudio saved_audio(Engine& engine) {
  audio::SavedChannels channels = audio::save_channels(engine.audio);
  persistence::SavedAudio saved;
  saved.music_name = channels.music_name;
  saved.music_loop_part = channels.music_loop_part_name;
  saved.music_loop = channels.music_looping == audio::Looping::Loop ? 1 : 0;
  saved.music_scale = channels.music_scale;
  saved.voice_scale = channels.voice_scale;
  for (size_t i = 0; i < channels.sounds.size(); ++i) {
    saved.sound_names[i] = channels.sounds[i].name;
    saved.sound_loop_parts[i] = channels.sounds[i].loop_part_name;
    saved.sound_scales[i] = channels.sounds[i].scale;
  }
  return saved;
}

audio::SavedChannels channels_of(const persistence::SavedAudio& saved) {
  audio::SavedChannels channels;
  channels.music_name = saved.music_name;
  channels.music_loop_part_name = saved.music_loop_part;
  channels.music_looping = saved.music_loop != 0 ? audio::Looping::Loop : audio::Looping::Once;
  channels.music_scale = saved.music_scale;
  channels.voice_scale = saved.voice_scale;
  for (size_t i = 0; i < channels.sounds.size(); ++i) {
    channels.sounds[i].name = saved.sound_names[i];
    channels.sounds[i].loop_part_name = saved.sound_loop_parts[i];
    channels.sounds[i].scale = saved.sound_scales[i];
  }
  return channels;
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
  persistence::SaveImage& snapshot = state.snapshot;
  persistence::capture_machine(snapshot, engine.script, call);
  snapshot.audio = saved_audio(engine);
  snapshot.history.assign(engine.text.history.bytes.begin(), engine.text.history.bytes.end());
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
  persistence::restore_machine(engine.script, *image);
  std::memcpy(engine.text.history.bytes.data(), image->history.data(),
              std::min(image->history.size(), engine.text.history.bytes.size()));
  audio::load_channels(engine.audio, engine.script, channels_of(image->audio));
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
