// The main window's commands: the menu bar's items, the function keys and
// shortcuts, the close button's exit question, and the menu requests they
// post for the script.

#include "host/debug_tooling.h"
#include "host/display_modes.h"
#include "host/engine.h"
#include "host/main_window.h"
#include "host/main_window_parts.h"
#include "host/save_dialogs.h"
#include "host/save_game.h"
#include "host/state.h"
#include "input/input.h"
#include "input/state.h"
#include "persistence/state.h"
#include "platform/key_map.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/settings.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/value.h"
#include "text/reading.h"
#include "text/state.h"

namespace tavelo::host {
namespace {

using namespace platform::keys;

using resources::EnvInt;
using resources::UserSetting;

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

}  // namespace

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

void take_up_menu_request(Engine& engine) {
  MenuRequest& request = engine.host.window.menu_request;
  if (request.open != 0 || request.pending == 0) return;
  int32_t code = request.pending;
  raise_request_event(engine, code);
  set_current_menu_request(engine, code);
  request.pending = 0;
}

}  // namespace tavelo::host
