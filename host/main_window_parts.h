#pragma once
// What the main window's files share. main_window.cpp keeps the handler
// table, the main and input handlers, the per-frame work and the window's
// opening and settings; window_commands.cpp the menu commands, the shortcuts,
// the close path and the menu requests; window_dialogs.cpp the window-level
// dialogs (about, screen options, settings, the save and load file dialogs'
// ends); window_capture.cpp the player's capture and the screenshots. Only
// these files include this header.

#include <cstdint>
#include <string>
#include <string_view>

#include "dialogs/settings_dialog.h"

namespace tavelo::host {

struct Engine;

// Game text as UTF-8, for the window's dialogs and the desktop.
std::string utf8_of(Engine& engine, std::string_view game_text);

// ---- window_commands.cpp

// A menu bar command, by item id.
void run_menu_command(Engine& engine, uint32_t id);
// A function key or shortcut (a key press that is not a repeat; Alt+key
// while Alt is held).
void run_shortcut(Engine& engine, int32_t key);
// The close button: the exit question, or the script's own exit screen.
void close_window(Engine& engine);
// Per frame: a pending request becomes current (raising its script event)
// while the script shows no screen.
void take_up_menu_request(Engine& engine);

// ---- window_dialogs.cpp

void open_about(Engine& engine);
void open_screen_options(Engine& engine);
void open_settings(Engine& engine, dialogs::SettingsDialogKind kind);
// Per frame: an open window dialog is followed, and its outcome applied once
// it ends.
void follow_window_dialog(Engine& engine);

// ---- window_capture.cpp

// Asks where to save a capture of the presented frame (CaptureDisable aside).
void start_capture(Engine& engine);
// Writes the capture as a 24-bit BMP to the chosen path.
void finish_capture(Engine& engine, const std::string& path);

}  // namespace tavelo::host
