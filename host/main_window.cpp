// The main window.

#include "host/main_window.h"

#include <algorithm>

#include "dialogs/about_dialog.h"
#include "dialogs/screen_options_dialog.h"
#include "graphics/bmp_writer.h"
#include "graphics/picture_png.h"
#include "graphics/screen.h"
#include "host/debug_tooling.h"
#include "host/display_modes.h"
#include "host/engine.h"
#include "host/input_replay.h"
#include "host/save_dialogs.h"
#include "host/save_game.h"
#include "host/settings_dialogs.h"
#include "input/input.h"
#include "platform/file_system.h"
#include "platform/key_map.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/name_hash.h"
#include "resources/settings.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/value.h"
#include "text/reading.h"
#include "text/state.h"

namespace tavelo::host {
namespace {

using namespace platform::keys;

using resources::EnvInt;
using resources::UserSetting;

constexpr uint32_t kHousekeepingMs = 100;

// Virtual keys.
constexpr int32_t kKeyC = 'C';
constexpr int32_t kKeyR = 'R';

// Menu requests and the script events they raise.
enum MenuRequestCode : int32_t {
  kRequestLoadMenu = 1,
  kRequestLoadFile = 2,
  kRequestSaveMenu = 3,
  kRequestSaveAs = 4,
  kRequestQuickLoad = 5,
  kRequestQuickSave = 6,
  kRequestScript92 = 92,
  kRequestScript93 = 93,
  kRequestWideMode = 94,
  kRequestExit = 95,
  kRequestNextChoice = 96,
  kRequestPreviousChoice = 97,
  kRequestKeyHelp = 98,
  kRequestConfiguration = 99,
};

struct RequestEvent {
  int32_t code;
  uint32_t event;
};

constexpr RequestEvent kRequestEvents[] = {
    {kRequestLoadMenu, 0xAAF02220},   {kRequestSaveMenu, 0x7CE76169},       {kRequestScript92, 0x57B19BF8},
    {kRequestScript93, 0xAD050BFF},   {kRequestWideMode, 0xEDF9F4F1},       {kRequestExit, 0x4A6BF175},
    {kRequestNextChoice, 0x5CF65741}, {kRequestPreviousChoice, 0x2BF167D7}, {kRequestKeyHelp, 0xCA908215},
    {kRequestConfiguration, 0x24B05F59},
};

// Raised while the script shows a screen and the player asks for another.
constexpr uint32_t kCloseScreenEvent = 0x42629F01;

std::string utf8_of(Engine& engine, std::string_view game_text) { return engine.encoding.to_utf8_lossy(game_text); }

// Events are raised from the main thread's stack between slices.
bool make_main_thread_current(Engine& engine) {
  script::Thread* main = script::find_thread(engine.script, 0);
  if (!main && engine.script.threads.empty()) return false;
  script::make_current(engine.script, main ? main : engine.script.threads.front().get());
  return true;
}

void raise_request_event(Engine& engine, int32_t code) {
  for (const RequestEvent& entry : kRequestEvents) {
    if (entry.code != code) continue;
    if (!make_main_thread_current(engine)) return;
    int count = 0;
    if (code == kRequestWideMode) {
      script::push_value(*engine.script.current,
                         script::make_int(resources::read_user_setting(engine.resources, UserSetting::WideMode)));
      count = 1;
    }
    script::raise_event(engine.script, entry.event, count, false);
    return;
  }
  // The requests the engine answers itself.
  if (code == kRequestQuickSave) quick_save(engine);
  if (code == kRequestQuickLoad) quick_load(engine);
  MainWindow& window = engine.host.window;
  if ((code == kRequestSaveAs || code == kRequestLoadFile) && window.dialog.kind == WindowDialogKind::None) {
    bool save = code == kRequestSaveAs;
    platform::DialogRequest request = save ? save_as_request(engine) : load_file_request(engine);
    window.dialog = {save ? WindowDialogKind::SaveAs : WindowDialogKind::LoadFile, engine.platform.open_dialog(request),
                     nullptr, {}};
  }
}

// ---- commands

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

void open_screen_options(Engine& engine) {
  open_window_dialog(engine, WindowDialogKind::ScreenOptions,
                     std::make_shared<dialogs::ScreenOptionsDialog>(read_screen_options(engine)));
}

void finish_screen_options(Engine& engine, const dialogs::ScreenOptionsDialog& dialog, bool accepted) {
  if (accepted) apply_screen_options(engine, dialog.options());
  engine.platform.set_topmost(engine.host.window.topmost || engine.host.display.full_screen);
}

void open_settings(Engine& engine, dialogs::SettingsDialogKind kind) {
  open_window_dialog(engine, WindowDialogKind::Settings, make_settings_dialog(engine, kind));
}

// The capture of the display page into a BMP file the player names.
void start_capture(Engine& engine) {
  if (resources::env_setting(engine.resources, EnvInt::CaptureDisable) == 1) return;
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!engine.platform.read_presented_frame(pixels, width, height)) return;
  platform::LocalTime now = engine.platform.local_time();
  auto two = [](int value) {
    std::string text = std::to_string(value % 100);
    return text.size() < 2 ? "0" + text : text;
  };
  std::string name = engine.script.debug_mode
                         ? utf8_of(engine, engine.script.caption)
                         : utf8_of(engine, resources::env_setting_text(engine.resources, resources::EnvText::CaptureName));
  std::string folder = utf8_of(engine, resources::reg_read_text(engine.resources, "CapFolder", "", 260).text);
  if (folder.empty()) folder = platform::current_directory() + "/savedata";
  std::string file = name + "(" + two(now.year) + "年" + two(now.month) + "月" + two(now.day) + "日 " + two(now.hour) +
                     "時" + two(now.minute) + "分" + two(now.second) + "秒).bmp";
  platform::DialogRequest request;
  request.kind = platform::DialogKind::SaveFile;
  request.title = "画面の保存(キャプチャ)";
  request.text = folder + "/" + file;
  request.filter = "BMP Files (*.BMP)";
  request.default_extension = "bmp";
  MainWindow& window = engine.host.window;
  if (window.dialog.kind != WindowDialogKind::None) return;
  window.dialog = {WindowDialogKind::Capture, engine.platform.open_dialog(request), nullptr, request.text};
}

void finish_capture(Engine& engine, const std::string& path) {
  if (path.size() >= 192) {
    script::show_box(engine.script, script::BoxKind::Error, "ファイル名が長すぎます", {});
    return;
  }
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!engine.platform.read_presented_frame(pixels, width, height)) return;
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < height; ++y) {
    std::copy_n(pixels.data() + size_t(y) * size_t(width) * 3, size_t(width) * 3, page.row(y));
  }
  std::vector<uint8_t> bytes = graphics::encode_bmp24(page);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos) platform::make_directories(path.substr(0, slash));
  if (!platform::write_file_atomically(path, bytes)) return;
  if (slash != std::string::npos) {
    (void)resources::reg_write_text(engine.resources, "CapFolder", engine.encoding.from_utf8_lossy(path.substr(0, slash)));
  }
}

void open_help(Engine& engine) {
  const std::string& help = resources::env_setting_text(engine.resources, resources::EnvText::HelpFile);
  if (help == "none") return;
  std::optional<std::string> path = resources::to_host_path(engine.resources, help);
  engine.platform.open_with_desktop(path ? *path : utf8_of(engine, help));
}

void open_error_log(Engine& engine) {
  std::optional<std::string> path = resources::to_host_path(engine.resources, "debugout.log");
  if (path) engine.platform.open_with_desktop(*path);
}

// The skip input: slot 136 pressed and released, as a middle click would.
void pulse_skip(Engine& engine, int32_t mode) {
  input::pulse_skip_input(engine.input, engine.script);
  script::set_skip_mode(engine.script, mode);
}

// A press and release of a key, as the input handler would see it from the
// desktop.
void synthesise_key(Engine& engine, int32_t key) {
  platform::Event event;
  event.type = platform::EventType::KeyDown;
  event.key = key;
  event.time = engine.platform.ticks_ms();
  input::handle_event(engine.input, engine.script, event);
  event.type = platform::EventType::KeyUp;
  input::handle_event(engine.input, engine.script, event);
}

void confirm_return_to_title(Engine& engine) {
  if (script::show_box(engine.script, script::BoxKind::Question, "タイトルに戻ります。よろしいですか？", {})) {
    engine.host.return_to_title = true;
  }
}

void toggle_setting(Engine& engine, UserSetting setting, bool& value) {
  value = !value;
  (void)resources::write_user_setting(engine.resources, setting, value ? 1 : 0);
  refresh_menu(engine);
}

void run_menu_command(Engine& engine, uint32_t id) {
  MainWindow& window = engine.host.window;
  // Items the game deleted do nothing even if a stale menu still shows them.
  if (!menu_item_present(window.menu, id) && id != kMenuTopmost) return;
  switch (id) {
    case kMenuExit: {
      platform::Event close;
      close.type = platform::EventType::CloseRequested;
      dispatch_window_event(engine, close);
      break;
    }
    case kMenuFullScreen: set_full_screen(engine, true); break;
    case kMenuWindowed: set_full_screen(engine, false); break;
    case kMenuAbout: open_about(engine); break;
    case kMenuScreenCapture: start_capture(engine); break;
    case kMenuForceSkip: pulse_skip(engine, 4); break;
    case kMenuReadSkip: pulse_skip(engine, 2); break;
    case kMenuAutoPlay: pulse_skip(engine, 3); break;
    case kMenuSave: post_menu_request(engine, kRequestSaveMenu); break;
    case kMenuLoad:
      if (engine.host.window.menu_request.current != kRequestLoadMenu) post_menu_request(engine, kRequestLoadMenu);
      break;
    case kMenuSaveAs: post_menu_request(engine, kRequestSaveAs); break;
    case kMenuLoadFromFile: post_menu_request(engine, kRequestLoadFile); break;
    case kMenuBacklog: synthesise_key(engine, kKeyPageUp); break;
    case kMenuReturnToTitle: confirm_return_to_title(engine); break;
    case kMenuHelp: open_help(engine); break;
    case kMenuTopmost:
      toggle_setting(engine, UserSetting::Topmost, window.topmost);
      engine.platform.set_topmost(window.topmost || engine.host.display.full_screen);
      break;
    case kMenuConfiguration:
      if (resources::env_setting(engine.resources, EnvInt::NoConfig) != 0) {
        post_menu_request(engine, kRequestConfiguration);
      }
      break;
    case kMenuScreenOptions: open_screen_options(engine); break;
    case kMenuSpeedSettings: open_settings(engine, dialogs::SettingsDialogKind::Speed); break;
    case kMenuSoundSettings: open_settings(engine, dialogs::SettingsDialogKind::Sound); break;
    case kMenuFontSettings: open_settings(engine, dialogs::SettingsDialogKind::Font); break;
    case kMenuVoiceSettings: open_settings(engine, dialogs::SettingsDialogKind::Voice); break;
    case kMenuExtraSettings: open_settings(engine, dialogs::SettingsDialogKind::Extra); break;
    case kMenuErrorLog: open_error_log(engine); break;
    case kMenuJoystick:
      engine.input.pad.use = engine.input.pad.use != 0 ? 0 : resources::env_setting(engine.resources, EnvInt::JoyUse);
      (void)resources::write_user_setting(engine.resources, UserSetting::JoyUse, engine.input.pad.use);
      refresh_menu(engine);
      break;
    case kMenuNoMovies: {
      toggle_setting(engine, UserSetting::AbnormalMovieTerminateFlg, window.movies_disabled);
      break;
    }
    case kMenuKeyHelp: post_menu_request(engine, kRequestKeyHelp); break;
    case kMenuQuickSave: post_menu_request(engine, kRequestQuickSave); break;
    case kMenuQuickLoad: post_menu_request(engine, kRequestQuickLoad); break;
    case kMenuPreviousChoice: post_menu_request(engine, kRequestPreviousChoice); break;
    case kMenuNextChoice: post_menu_request(engine, kRequestNextChoice); break;
    case kMenuWideMode:
      toggle_setting(engine, UserSetting::WideMode, window.wide_mode);
      post_menu_request(engine, kRequestWideMode);
      break;
    default:
      if (id >= kMenuDifficulty0 && id < kMenuDifficulty0 + 5) {
        window.difficulty = int32_t(id - kMenuDifficulty0);
        refresh_menu(engine);
      } else if (id >= kMenuGameSpeed0 && id < kMenuGameSpeed0 + 4) {
        window.game_speed = int32_t(id - kMenuGameSpeed0);
        refresh_menu(engine);
      }
      // FIXME: the user-support dialog is not built yet.
      break;
  }
}

// ---- keys

// AKAMENU moves the function keys; F9 there asks for the previous choice.
int32_t remap_akamenu_key(Engine& engine, int32_t key) {
  switch (key) {
    case kKeyF1: return kKeyF12;
    case kKeyF2: return kKeyF4;
    case kKeyF3: return kKeyF9;
    case kKeyF4: return kKeyF2;
    case kKeyF5: return kKeyF3;
    case kKeyF9: post_menu_request(engine, kRequestPreviousChoice); return 0;
    case kKeyF10:
    case kKeyF12: return kKeyF10;
    default: return key;
  }
}

void run_shortcut(Engine& engine, int32_t key) {
  MainWindow& window = engine.host.window;
  resources::State& resources = engine.resources;
  auto env = [&](EnvInt setting) { return resources::env_setting(resources, setting); };
  if (env(EnvInt::AkaMenu) != 0) key = remap_akamenu_key(engine, key);
  bool function_keys = env(EnvInt::FnDisable) == 0;
  bool alt_requests = env(EnvInt::NekoMenu) == 0 && env(EnvInt::AkaMenu) == 0 && env(EnvInt::NoSaveAs) == 0 &&
                      env(EnvInt::StlMenu) == 0;
  if (window.alt_held) {
    if (alt_requests && key == kKeyF2) post_menu_request(engine, kRequestSaveAs);
    if (alt_requests && key == kKeyF3) post_menu_request(engine, kRequestLoadFile);
    // Alt+R: no menu variant uses it.
    if (key == kKeyR) text::toggle_read_aloud(engine.text, engine.script);
    return;
  }
  switch (key) {
    case kKeyC:
      if (engine.script.debug_mode) {
        engine.platform.set_clipboard_text(engine.encoding.to_utf8_lossy(window.position_text) + "\r\n\r\n");
      }
      break;
    case kKeyF1: open_help(engine); break;
    case kKeyF2:
      if (engine.persistence.saving_enabled) post_menu_request(engine, kRequestSaveMenu);
      break;
    case kKeyF3: post_menu_request(engine, kRequestLoadMenu); break;
    case kKeyF5:
      if (env(EnvInt::CaptureDisable) == 0) start_capture(engine);
      break;
    case kKeyF6:
      if (function_keys) pulse_skip(engine, 3);
      break;
    case kKeyF7:
      if (function_keys) pulse_skip(engine, 2);
      break;
    case kKeyF8:
      if (!function_keys) break;
      if (env(EnvInt::NekoMenu) != 0) {
        synthesise_key(engine, kKeyPageUp);
      } else {
        pulse_skip(engine, 4);
      }
      break;
    case kKeyF9:
      if (function_keys && env(EnvInt::NoConfig) != 0) post_menu_request(engine, kRequestConfiguration);
      break;
    case kKeyF11: open_current_in_editor(engine); break;
    case kKeyF12: post_menu_request(engine, kRequestKeyHelp); break;
    default: break;
  }
}

// ---- closing

void close_window(Engine& engine) {
  MainWindow& window = engine.host.window;
  if (resources::env_setting(engine.resources, EnvInt::GuiExitDialog) != 0) {
    // The script shows its own exit screen.
    post_menu_request(engine, kRequestExit);
    return;
  }
  if (window.close_guard) return;
  window.close_guard = true;
  save_exit_settings(engine);
  if (script::show_box(engine.script, script::BoxKind::Question, "終了してよろしいですか？", {})) {
    script::request_exit(engine.script, 0);
  } else {
    // Still running: a crash from here on must be detected at the next start.
    resources::reg_write_text_flushed(engine.resources, resources::registry_value_name(UserSetting::AbnormalTerminateFlg), "1");
    resources::reg_write_text_flushed(engine.resources, resources::registry_value_name(UserSetting::WinStat), "0");
  }
  window.close_guard = false;
}

void default_processing(Engine& engine, const platform::Event& event) {
  if (event.type == platform::EventType::CloseRequested) script::request_exit(engine.script, 0);
}

void write_screenshot(Engine& engine, const std::string& path) {
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!engine.platform.read_presented_frame(pixels, width, height)) {
    // Nothing shown yet: a black picture of the window's size.
    width = resources::env_setting(engine.resources, EnvInt::ClientWidth);
    height = resources::env_setting(engine.resources, EnvInt::ClientHeight);
    pixels.assign(size_t(std::max(width, 1)) * size_t(std::max(height, 1)) * 3, 0);
  }
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < page.height; ++y) {
    std::copy_n(pixels.data() + size_t(y) * size_t(width) * 3, size_t(page.width) * 3, page.row(y));
  }
  std::vector<uint8_t> png = graphics::encode_png(page);
  if (png.empty() || !platform::write_file_atomically(path, png)) {
    std::string message = "[input] screenshot " + path + " could not be written\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
  }
}

void follow_dialog(Engine& engine) {
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

}  // namespace

// ---- the handler table

bool register_window_handler(HandlerTable& table, WindowHandler handler) {
  auto end = table.slots.begin() + long(table.count);
  if (std::find(table.slots.begin(), end, handler) != end) return true;
  if (table.count == table.slots.size()) return false;
  table.slots[table.count++] = handler;
  return true;
}

void remove_window_handler(HandlerTable& table, WindowHandler handler) {
  auto end = table.slots.begin() + long(table.count);
  auto found = std::find(table.slots.begin(), end, handler);
  if (found == end) return;
  std::move(found + 1, end, found);
  table.slots[--table.count] = nullptr;
}

int32_t dispatch_window_event(Engine& engine, const platform::Event& event) {
  // Handlers may add or remove handlers while they run: walk a copy.
  HandlerTable handlers = engine.host.window.handlers;
  int32_t result = 0;
  for (size_t i = 0; i < handlers.count; ++i) result |= handlers.slots[i](engine, event);
  if (result == 0) default_processing(engine, event);
  return result;
}

void pump_window_events(Engine& engine) {
  // SIGINT, SIGTERM or SIGHUP: the same orderly end as the exit question's
  // Yes (settings, read marks and the system save written).
  if (platform::stop_signal_received() && !engine.stopping()) script::request_exit(engine.script, 0);
  deliver_replayed_input(engine);
  platform::Event event;
  while (engine.platform.poll_event(event)) {
    if (event.type == platform::EventType::Screenshot) {
      write_screenshot(engine, event.text);
      continue;
    }
    if (event.type == platform::EventType::UiFocus) {
      text::speak_focus(engine.text, engine.script, event.text);
      continue;
    }
    // The window lost its picture or regained the focus: show it whole again.
    if (event.type == platform::EventType::Exposed || event.type == platform::EventType::FocusGained) {
      graphics::repaint_window(engine.graphics);
    }
    dispatch_window_event(engine, event);
  }
  run_debug_tooling(engine);
}

int32_t main_window_handler(Engine& engine, const platform::Event& event) {
  MainWindow& window = engine.host.window;
  switch (event.type) {
    case platform::EventType::MenuCommand: run_menu_command(engine, uint32_t(event.key)); return 1;
    case platform::EventType::MenuOpening: refresh_menu(engine); return 1;
    case platform::EventType::KeyDown:
      if (event.key == kKeyAlt) {
        window.alt_held = true;
      } else if (!event.repeat) {
        run_shortcut(engine, event.key);
      }
      return 0;
    case platform::EventType::KeyUp:
      if (event.key == kKeyAlt) window.alt_held = false;
      return 0;
    case platform::EventType::FocusLost: window.alt_held = false; return 0;
    case platform::EventType::FileDropped: handle_dropped_file(engine, event.text); return 0;
    case platform::EventType::CloseRequested: close_window(engine); return 1;
    default: return 0;
  }
}

int32_t input_window_handler(Engine& engine, const platform::Event& event) {
  input::PointerPlace place;
  if (event.type == platform::EventType::MouseMove || event.type == platform::EventType::MouseDown ||
      event.type == platform::EventType::MouseUp) {
    const graphics::Screen& screen = engine.graphics.screen;
    graphics::Point point = graphics::window_to_screen(screen, {event.x, event.y});
    place = {point.x, point.y, graphics::window_point_inside(screen, {event.x, event.y})};
  }
  input::handle_event(engine.input, engine.script, event, place);
  return 0;
}

// ---- requests

void post_menu_request(Engine& engine, int32_t code) {
  MenuRequest& request = engine.host.window.menu_request;
  if (code == request.open) return;
  request.pending = code;
  request.new_request = true;
}

void set_current_menu_request(Engine& engine, int32_t code) {
  engine.host.window.menu_request.current = code;
  engine.input.menu_request_current = code != 0;
}

void check_new_menu_request(Engine& engine) {
  MenuRequest& request = engine.host.window.menu_request;
  if (!request.new_request) return;
  request.new_request = false;
  if (request.open != 0 && make_main_thread_current(engine)) {
    script::raise_event(engine.script, kCloseScreenEvent, 0, false);
  }
}

void run_main_window_frame(Engine& engine) {
  MenuRequest& request = engine.host.window.menu_request;
  if (request.open == 0 && request.pending != 0) {
    int32_t code = request.pending;
    raise_request_event(engine, code);
    set_current_menu_request(engine, code);
    request.pending = 0;
  }
  follow_dialog(engine);
  MainWindow& window = engine.host.window;
  uint32_t now = engine.platform.ticks_ms();
  if (!window.housekeeping_started || int32_t(now - window.next_housekeeping_ms) >= 0) {
    window.housekeeping_started = true;
    window.next_housekeeping_ms = now + kHousekeepingMs;
    // Greying follows the engine's state while the player can see the menus.
    if (engine.platform.menu_bar_height() > 0) refresh_menu(engine);
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

void save_exit_settings(Engine& engine) {
  MainWindow& window = engine.host.window;
  resources::ExitSettings settings;
  settings.window_state = engine.host.display.full_screen ? 1 : 0;
  settings.difficulty = window.difficulty;
  settings.game_speed = window.game_speed;
  settings.topmost = window.topmost ? 1 : 0;
  settings.full_screen_frequency = engine.host.display.requested_frequency;
  settings.full_screen_bits = engine.host.display.requested_bits;
  std::optional<platform::DesktopArea> area = engine.platform.window_area();
  if (area && !engine.host.display.full_screen) {
    window.saved_x = area->x;
    window.saved_y = area->y;
  }
  settings.window_x = window.saved_x;
  settings.window_y = window.saved_y;
  (void)resources::write_exit_settings(engine.resources, settings);
}

WindowPlacement place_window(const platform::DesktopArea& desktop, int32_t saved_x, int32_t saved_y,
                             int32_t client_width, int32_t client_height) {
  int64_t left = desktop.x;
  int64_t right = int64_t(desktop.x) + desktop.width;
  int64_t top = desktop.y;
  int64_t bottom = int64_t(desktop.y) + desktop.height;
  WindowPlacement placement;
  if (saved_x < left - 4 * int64_t(client_width) / 5 || saved_x > right - int64_t(client_width) / 5) {
    placement.forget_saved_state = true;
    return placement;
  }
  int64_t y = std::max<int64_t>(saved_y, top);
  if (y >= bottom - client_height / 3) y = bottom - client_height / 3;
  placement.x = saved_x;
  placement.y = int32_t(y);
  return placement;
}

void open_main_window(Engine& engine) {
  resources::State& resources = engine.resources;
  MainWindow& window = engine.host.window;
  DisplayModeState& display = engine.host.display;
  int32_t client_width = resources::env_setting(resources, EnvInt::ClientWidth);
  int32_t client_height = resources::env_setting(resources, EnvInt::ClientHeight);
  register_window_handler(window.handlers, main_window_handler);
  register_window_handler(window.handlers, input_window_handler);
  // A box in the window runs its own loop: replayed input still arrives and
  // its screenshots are still taken.
  engine.platform.set_modal_watch([&engine](const platform::Event* event) {
    if (event) {
      if (event->type == platform::EventType::Screenshot) write_screenshot(engine, event->text);
      return true;
    }
    deliver_replayed_input(engine);
    // --quit-after ends an unattended run even while a box waits.
    const std::optional<uint32_t>& quit_at = engine.host.quit_at;
    return !quit_at || int32_t(script::script_time(engine.script) - *quit_at) < 0;
  });

  // The values read at start-up; WinStat goes back to "0" at once, so a
  // crash never comes back in full screen.
  window.difficulty = resources::read_user_setting(resources, UserSetting::Nanido);
  window.game_speed = resources::read_user_setting(resources, UserSetting::GameSpeed);
  window.topmost = resources::read_user_setting(resources, UserSetting::Topmost) != 0;
  window.movies_disabled = resources::read_user_setting(resources, UserSetting::AbnormalMovieTerminateFlg) != 0;
  window.wide_mode = resources::read_user_setting(resources, UserSetting::WideMode) != 0;
  display.requested_frequency = resources::read_user_setting(resources, UserSetting::FullScFreq);
  display.requested_bits = resources::read_user_setting(resources, UserSetting::FullScBits);
  display.restore_full_screen = resources::read_user_setting(resources, UserSetting::WinStat) != 0;
  resources::reg_write_text_flushed(resources, resources::registry_value_name(UserSetting::WinStat), "0");
  window.saved_x = resources::read_user_setting(resources, UserSetting::WinPosX);
  window.saved_y = resources::read_user_setting(resources, UserSetting::WinPosY);

  platform::WindowRequest request;
  request.width = client_width;
  request.height = client_height;
  if (resources::read_user_setting(resources, UserSetting::SaveScreenpos) != 0) {
    WindowPlacement placement =
        place_window(engine.platform.desktop_area(), window.saved_x, window.saved_y, client_width, client_height);
    request.x = placement.x;
    request.y = placement.y;
    if (placement.forget_saved_state) display.restore_full_screen = false;
  }
  engine.platform.open_window(request);

  set_up_menu(engine);
  // FullScreenFit is read and written back, so the store always lists it.
  (void)resources::write_user_setting(resources, UserSetting::FullScreenFit,
                                      resources::read_user_setting(resources, UserSetting::FullScreenFit));
  refresh_menu(engine);

  set_up_display_modes(engine);
  register_window_handler(window.handlers, display_mode_handler);
  engine.platform.set_topmost(window.topmost);
}

void write_window_screenshot(Engine& engine, const std::string& path) { write_screenshot(engine, path); }

}  // namespace tavelo::host
