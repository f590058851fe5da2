// The main window: its handler table, the main and input handlers, the
// per-frame work, and opening the window with the settings it keeps.

#include "host/main_window.h"

#include <algorithm>

#include "graphics/screen.h"
#include "graphics/state.h"
#include "host/debug_tooling.h"
#include "host/display_modes.h"
#include "host/engine.h"
#include "host/input_replay.h"
#include "host/main_window_parts.h"
#include "host/state.h"
#include "input/input.h"
#include "platform/key_map.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "resources/settings.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "text/reading.h"

namespace tavelo::host {
namespace {

using namespace platform::keys;

using resources::EnvInt;
using resources::UserSetting;

constexpr uint32_t kHousekeepingMs = 100;

void default_processing(Engine& engine, const platform::Event& event) {
  if (event.type == platform::EventType::CloseRequested) script::request_exit(engine.script, 0);
}

}  // namespace

std::string utf8_of(Engine& engine, std::string_view game_text) { return engine.encoding.to_utf8_lossy(game_text); }

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
      write_window_screenshot(engine, event.text);
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

void run_main_window_frame(Engine& engine) {
  take_up_menu_request(engine);
  follow_window_dialog(engine);
  MainWindow& window = engine.host.window;
  uint32_t now = engine.platform.ticks_ms();
  if (!window.housekeeping_started || int32_t(now - window.next_housekeeping_ms) >= 0) {
    window.housekeeping_started = true;
    window.next_housekeeping_ms = now + kHousekeepingMs;
    // Greying follows the engine's state while the player can see the menus.
    if (engine.platform.menu_bar_height() > 0) refresh_menu(engine);
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
      if (event->type == platform::EventType::Screenshot) write_window_screenshot(engine, event->text);
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

}  // namespace tavelo::host
