#pragma once
// The main window: its handler table (every platform event is offered to each
// registered handler in slot order; if none answers non-zero the default
// processing runs), the main handler with the menu commands, the function
// keys and the close path with its exit question, the menu requests that
// menu commands post for the script machine, the per-frame work (requests
// taken up, window dialogs followed, housekeeping every 100 ms), and the
// settings the window keeps until the engine ends. Start-up opens the window;
// the frame loop pumps its events and runs its per-frame work.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dialogs/screen_options_dialog.h"
#include "host/menus.h"
#include "platform/platform.h"

namespace tavelo::host {

struct Engine;

// Handlers answer non-zero when they dealt with an event.
using WindowHandler = int32_t (*)(Engine& engine, const platform::Event& event);

struct HandlerTable {
  std::array<WindowHandler, 256> slots{};
  size_t count = 0;
};

// A window-level dialog the main window follows until it ends.
enum class WindowDialogKind : uint8_t { None, About, ScreenOptions, Capture, Settings, SaveAs, LoadFile };

struct WindowDialog {
  WindowDialogKind kind = WindowDialogKind::None;
  platform::DialogId id = 0;
  std::shared_ptr<platform::DialogContent> content;
  std::string capture_path;  // Capture: the proposed file
};

// Menu requests: the main window's menu commands post a request; the window
// takes it up at its per-frame step (raising the script event that opens the
// screen) and the script declares which screen it shows (system calls); the
// input gate lets input through while a request is current.
struct MenuRequest {
  int32_t pending = 0;  // 0 none
  int32_t current = 0;  // the request last taken up
  int32_t open = 0;     // the request whose screen the script shows; 0 none
  bool new_request = false;  // set by every post, cleared once a cycle
};

struct MainWindow {
  HandlerTable handlers;
  MenuState menu;
  // Set while the exit question is open, so a second close waits.
  bool close_guard = false;
  bool alt_held = false;
  bool housekeeping_started = false;
  uint32_t next_housekeeping_ms = 0;
  // Values read at start-up and written back when the engine ends.
  int32_t difficulty = 0;  // NANIDO 0..4
  int32_t game_speed = 1;  // GameSpeed 0..3
  bool topmost = false;    // TOPMOST
  bool movies_disabled = false;
  bool wide_mode = false;
  // The window's last place while windowed (WinPosX, WinPosY).
  int32_t saved_x = -9999;
  int32_t saved_y = -9999;
  // The debug position text the C key copies (the debug tooling fills it).
  std::string position_text;
  WindowDialog dialog;
  MenuRequest menu_request;
};

// ---- the handler table

// Puts a handler into the first free slot; registering it twice does nothing.
// False when all 256 slots are taken.
bool register_window_handler(HandlerTable& table, WindowHandler handler);
// Removes it and closes the gap.
void remove_window_handler(HandlerTable& table, WindowHandler handler);
// Offers the event to every handler; returns their results OR-ed.
int32_t dispatch_window_event(Engine& engine, const platform::Event& event);

// Hands every pending event to the handlers, after the replayed input whose
// time has come has joined the platform's queue.
void pump_window_events(Engine& engine);

// ---- start-up and per-frame work

// Start-up: reads the window's settings, chooses and edits the menu, places
// and opens the window, registers the handlers (main, input, display mode),
// sets the display modes up and applies the topmost setting.
void open_main_window(Engine& engine);

// The per-frame update (skipped while the display is locked): takes up a
// pending menu request, follows an open window dialog, and every 100 ms
// refreshes the menu while it shows.
void run_main_window_frame(Engine& engine);

// Once a cycle, before the slices: a new request while the script shows a
// screen for another raises the event that asks it to close that screen.
void check_new_menu_request(Engine& engine);

// Posts a menu request unless the script already shows that one.
void post_menu_request(Engine& engine, int32_t code);

// Makes code (0 none) the request last taken up; the input gate lets input
// through while one is current.
void set_current_menu_request(Engine& engine, int32_t code);

// The screen options as stored, and storing and applying them (a full
// screen in force switches again); the screen-option dialog and the
// combined settings dialog's screen page use both.
dialogs::ScreenOptions read_screen_options(Engine& engine);
void apply_screen_options(Engine& engine, const dialogs::ScreenOptions& options);

// Writes the window's settings as the engine ends or before the exit
// question (this clears AbnormalTerminateFlg).
void save_exit_settings(Engine& engine);

// The handlers this module registers.
// The window's picture as last presented, as PNG (a movie over the screen
// included); a failure is reported on standard error.
void write_window_screenshot(Engine& engine, const std::string& path);

int32_t main_window_handler(Engine& engine, const platform::Event& event);
int32_t input_window_handler(Engine& engine, const platform::Event& event);

// Where the window goes: the saved position when it is on the desktop (x
// within 4/5 of the client width off the left, 1/5 of it off the right; y
// below the top and no lower than a third of the client height above the
// bottom), else wherever the desktop puts it (nullopt).
struct WindowPlacement {
  std::optional<int32_t> x;
  std::optional<int32_t> y;
  bool forget_saved_state = false;  // the saved full-screen state is dropped too
};
WindowPlacement place_window(const platform::DesktopArea& desktop, int32_t saved_x, int32_t saved_y,
                             int32_t client_width, int32_t client_height);

}  // namespace tavelo::host
