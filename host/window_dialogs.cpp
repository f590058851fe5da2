// The main window's own dialogs: about (with the debug form in debug mode),
// screen options and the settings dialogs, opened one at a time and followed
// once a frame until they end; the save and load file dialogs' ends.

#include "dialogs/about_dialog.h"
#include "dialogs/screen_options_dialog.h"
#include "graphics/state.h"
#include "host/display_modes.h"
#include "host/engine.h"
#include "host/main_window.h"
#include "host/main_window_parts.h"
#include "host/save_dialogs.h"
#include "host/settings_dialogs.h"
#include "host/state.h"
#include "platform/text_encoding.h"
#include "resources/name_hash.h"
#include "resources/settings.h"
#include "script/machine.h"
#include "script/state.h"
#include "script/value.h"

namespace tavelo::host {
namespace {

using resources::UserSetting;

void open_window_dialog(Engine& engine, WindowDialogKind kind, std::shared_ptr<platform::DialogContent> content) {
  MainWindow& window = engine.host.window;
  if (window.dialog.kind != WindowDialogKind::None) return;  // one at a time, as modal windows are
  platform::DialogRequest request;
  request.kind = platform::DialogKind::Panel;
  request.content = content;
  window.dialog = {kind, engine.platform.open_dialog(request), std::move(content), {}};
}

std::string current_position(Engine& engine) {
  script::Thread* main = script::find_thread(engine.script, 0);
  if (!main) main = engine.script.current;
  if (!main) return {};
  const script::Frame& frame = main->frame();
  std::string name = frame.code && frame.code->script ? frame.code->script->name : std::string();
  return utf8_of(engine, name) + "(" + std::to_string(frame.line) + ")";
}

std::string describe_value(Engine& engine, const script::Value* value) {
  if (!value) return "(なし)";
  switch (value->type) {
    case script::ValueType::Int: return std::to_string(value->integer);
    case script::ValueType::Float: return std::to_string(value->real);
    case script::ValueType::String: return value->string ? utf8_of(engine, value->string->text()) : std::string();
    default: return "(配列)";
  }
}

// Watched names are separated by blanks or commas; each is looked up in the
// global and then the eternal store.
std::vector<dialogs::WatchedValue> watched_values(Engine& engine, std::string_view list) {
  std::vector<dialogs::WatchedValue> watched;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find_first_of(" ,\t", start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view name = list.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    uint32_t hash = resources::name_hash(name);
    const script::Value* value = engine.script.global.find(hash);
    if (!value) value = engine.script.eternal.find(hash);
    watched.push_back({utf8_of(engine, name), describe_value(engine, value)});
  }
  return watched;
}

#ifndef TAVELO_VERSION
#define TAVELO_VERSION "0"
#endif
constexpr std::string_view kDefaultVersionText = "Build Thu Nov 20 23:36:52 2008";

void finish_about(Engine& engine, const dialogs::AboutDialog& about) {
  engine.platform.set_caption(utf8_of(engine, engine.script.caption));
  if (!about.debug_form()) return;
  const dialogs::DebugOptions& options = about.options();
  resources::State& resources = engine.resources;
  const resources::UserSettingValue values[] = {
      {UserSetting::ReprotNoVoice, options.replay_no_voice},
      {UserSetting::ReprotNoPic, options.replay_no_picture},
      {UserSetting::LogNoVoice, options.log_no_voice},
      {UserSetting::LogNoPic, options.log_no_picture},
      {UserSetting::AutoOpenErrorLine, options.auto_open_error_line},
      {UserSetting::FastVoicePlay, options.fast_voice_play},
  };
  (void)resources::write_user_settings(resources, values);
  (void)resources::write_user_text(resources, resources::UserText::WatchList,
                                   engine.encoding.from_utf8_lossy(options.watch_list));
  (void)resources::write_user_text(resources, resources::UserText::Editor,
                                   engine.encoding.from_utf8_lossy(options.editor));
}

void finish_screen_options(Engine& engine, const dialogs::ScreenOptionsDialog& dialog, bool accepted) {
  if (accepted) apply_screen_options(engine, dialog.options());
  engine.platform.set_topmost(engine.host.window.topmost || engine.host.display.full_screen);
}

}  // namespace

void open_about(Engine& engine) {
  resources::State& resources = engine.resources;
  using resources::EnvText;
  // A game that names no version of its own shows the engine's, not the
  // build date the key has always defaulted to.
  std::string version = utf8_of(engine, resources::env_setting_text(resources, EnvText::Version));
  if (version == kDefaultVersionText) version = std::string("Tavelo ") + TAVELO_VERSION;
  dialogs::AboutText text{
      utf8_of(engine, resources::env_setting_text(resources, EnvText::AppName)),
      version,
      utf8_of(engine, resources::env_setting_text(resources, EnvText::Url)),
      utf8_of(engine, resources::env_setting_text(resources, EnvText::SupportUrl)),
      utf8_of(engine, resources::env_setting_text(resources, EnvText::SupportString)),
  };
  if (!engine.script.debug_mode) {
    open_window_dialog(engine, WindowDialogKind::About, std::make_shared<dialogs::AboutDialog>(std::move(text)));
    return;
  }
  std::string position = current_position(engine);
  engine.platform.set_caption(position);
  const graphics::ImageCache& cache = engine.graphics.pictures.cache;
  dialogs::AboutDebugText debug;
  debug.position = position;
  debug.statistics = "画像メモリ " + std::to_string(cache.budget() / (1024 * 1024)) + "MB  ヒット率 " +
                     std::to_string(cache.hit_ratio_percent()) + "%";
  dialogs::DebugOptions& options = debug.options;
  options.replay_no_voice = resources::read_user_setting(resources, UserSetting::ReprotNoVoice) != 0;
  options.replay_no_picture = resources::read_user_setting(resources, UserSetting::ReprotNoPic) != 0;
  options.log_no_voice = resources::read_user_setting(resources, UserSetting::LogNoVoice) != 0;
  options.log_no_picture = resources::read_user_setting(resources, UserSetting::LogNoPic) != 0;
  options.auto_open_error_line = resources::read_user_setting(resources, UserSetting::AutoOpenErrorLine) != 0;
  options.fast_voice_play = resources::read_user_setting(resources, UserSetting::FastVoicePlay) != 0;
  std::string watch_list = resources::read_user_text(resources, resources::UserText::WatchList);
  options.watch_list = utf8_of(engine, watch_list);
  options.editor = utf8_of(engine, resources::read_user_text(resources, resources::UserText::Editor));
  debug.watched = watched_values(engine, watch_list);
  open_window_dialog(engine, WindowDialogKind::About,
                     std::make_shared<dialogs::AboutDialog>(std::move(text), std::move(debug)));
}

void open_screen_options(Engine& engine) {
  open_window_dialog(engine, WindowDialogKind::ScreenOptions,
                     std::make_shared<dialogs::ScreenOptionsDialog>(read_screen_options(engine)));
}

void open_settings(Engine& engine, dialogs::SettingsDialogKind kind) {
  open_window_dialog(engine, WindowDialogKind::Settings, make_settings_dialog(engine, kind));
}

void follow_window_dialog(Engine& engine) {
  MainWindow& window = engine.host.window;
  if (window.dialog.kind == WindowDialogKind::None) return;
  platform::DialogOutcome outcome = engine.platform.poll_dialog(window.dialog.id);
  if (outcome.status == platform::DialogStatus::Pending) {
    if (window.dialog.kind == WindowDialogKind::Settings) {
      follow_settings_dialog(engine, static_cast<const dialogs::SettingsDialog&>(*window.dialog.content));
    }
    return;
  }
  WindowDialog dialog = std::move(window.dialog);
  window.dialog = {};
  bool accepted = outcome.status == platform::DialogStatus::Accepted;
  switch (dialog.kind) {
    case WindowDialogKind::About:
      if (accepted) {
        finish_about(engine, static_cast<const dialogs::AboutDialog&>(*dialog.content));
      } else {
        engine.platform.set_caption(utf8_of(engine, engine.script.caption));
      }
      break;
    case WindowDialogKind::ScreenOptions:
      finish_screen_options(engine, static_cast<const dialogs::ScreenOptionsDialog&>(*dialog.content), accepted);
      break;
    case WindowDialogKind::Capture:
      if (accepted) finish_capture(engine, outcome.text);
      break;
    case WindowDialogKind::SaveAs: finish_save_as(engine, outcome); break;
    case WindowDialogKind::LoadFile: finish_load_file(engine, outcome); break;
    case WindowDialogKind::Settings:
      finish_settings_dialog(engine, static_cast<const dialogs::SettingsDialog&>(*dialog.content), accepted);
      break;
    case WindowDialogKind::None: break;
  }
}

dialogs::ScreenOptions read_screen_options(Engine& engine) {
  resources::State& resources = engine.resources;
  dialogs::ScreenOptions options;
  options.wide_choice = std::max(resources::read_user_setting(resources, UserSetting::FullScWide5),
                                 engine.host.display.wide_choice);
  options.fit = resources::read_user_setting(resources, UserSetting::FullScreenFit) != 0;
  options.save_position = resources::read_user_setting(resources, UserSetting::SaveScreenpos) != 0;
  options.wide_width = resources::read_user_setting(resources, UserSetting::RegWidth3);
  options.wide_height = resources::read_user_setting(resources, UserSetting::RegHeight3);
  options.scaling = resources::read_user_setting(resources, UserSetting::FullScreenScaling);
  options.exclusive = resources::read_user_setting(resources, UserSetting::FullScreenExclusive) != 0;
  return options;
}

void apply_screen_options(Engine& engine, const dialogs::ScreenOptions& options) {
  const resources::UserSettingValue values[] = {
      {UserSetting::FullScWide5, options.wide_choice},
      {UserSetting::FullScreenFit, options.fit},
      {UserSetting::SaveScreenpos, options.save_position},
      {UserSetting::RegWidth3, options.wide_width},
      {UserSetting::RegHeight3, options.wide_height},
      {UserSetting::FullScreenScaling, options.scaling},
      {UserSetting::FullScreenExclusive, options.exclusive},
  };
  (void)resources::write_user_settings(engine.resources, values);
  engine.host.display.wide_choice = options.wide_choice;
  // A full screen in force takes the new settings at once.
  if (engine.host.display.full_screen) {
    set_full_screen(engine, false);
    engine.host.display.switched = false;
    set_full_screen(engine, true);
  }
}

}  // namespace tavelo::host
