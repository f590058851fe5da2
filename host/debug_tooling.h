#pragma once
// The script author's aids in debug mode: opening a script's source in the
// author's editor (F11, the error reporter), compiling a source dropped onto
// the window with the configured script compiler and reloading once it
// finished, the position text the C key copies, the watch display in the
// status bar, and the debugger link's place in the engine (started by
// --debug PORT). State: host::State::debug. The main window and start-up
// call these; docs/debugging.md describes the settings and the link.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/debugger.h"

namespace tavelo::host {

struct Engine;

struct DebugTooling {
  // Open while a debugger link listens (--debug PORT).
  std::unique_ptr<library::Debugger> debugger;
  // Live reload (--watch, or any Compiler setting): the sources of the loaded
  // scripts and the last-write times seen, looked at every 500 ms.
  bool watch = false;
  std::vector<std::pair<std::string, uint64_t>> source_times;
  uint32_t next_source_check_ms = 0;
  // The dropped or changed source being compiled; the compiler's process
  // while it runs.
  bool compile_pending = false;
  std::optional<int32_t> compiler;
  // Editors started, asked about until they end so none is left a zombie.
  std::vector<int32_t> editors;
  uint32_t next_check_ms = 0;
  uint32_t next_watch_ms = 0;
  bool watch_started = false;
  std::string status_text;  // last set, UTF-8
  // The next text shown starts a new position text.
  bool position_restarts = true;
  // Line 2 of the fast-read file (game text): the editor command when no
  // other names one.
  std::string fast_read_editor;
};

// The editor command as the author configured it, in the game code page with
// "%fn%" and "%line%" placeholders: the Editor setting unless it is "none" or
// empty; else $VISUAL or $EDITOR with its line switch; else the fast-read
// file's editor line; else empty (the desktop opener is used).
std::string editor_command(Engine& engine);

// The line switch a known editor takes, from the command's program name:
// "+%line% %fn%" for vi, vim, nvim, nano, emacs and the like, "-g %fn%:%line%"
// for code and codium, "%fn%" for anything else.
std::string editor_template_for(std::string_view editor);

// The program's arguments: the command split into words (quotes group blanks),
// then "%fn%" and "%line%" replaced inside each word, so a path with blanks
// stays one argument.
std::vector<std::string> editor_arguments(std::string_view command, std::string_view source_path, int32_t line);

// Opens the source of a script (any form of its name) at a line; debug mode
// only. The source lies one directory above the compiled script: NAME.txt
// when it exists, else NAME.tvs.
void open_in_editor(Engine& engine, std::string_view script_name, int32_t line);
// F11: the main thread's current script and line.
void open_current_in_editor(Engine& engine);

// A ".tvs" or ".txt" file dropped onto the window (UTF-8 path): started with
// the Compiler setting in the file's directory (debug mode only); any other
// file forgets a pending compile.
void handle_dropped_file(Engine& engine, std::string_view path);

// The position text: "NAME.tvs(LINE)\n" for the current script, then the
// texts shown since (at most 8192 bytes). Text instructions feed it.
void note_shown_text(Engine& engine, std::string_view game_text);
void note_message_laid_out(Engine& engine);

// Between slices: serves the debugger link, follows launched programs (a
// finished compile reloads the scripts when the machine waits), compiles
// changed sources when live reload is on, and updates the watch display (at
// most every 10 ms).
void run_debug_tooling(Engine& engine);

// The watch list's values as the status bar shows them, in the game code
// page: "@name" and "#name" variables (with "@GLOBAL" added when the name has
// no scope part), others skipped.
std::string watch_text(Engine& engine);

// Start-up: opens the link on 127.0.0.1:port and waits for the debugger;
// false when the port cannot be opened (reported on standard error).
bool start_debugger_link(Engine& engine, uint16_t port);
// Shutdown: tells the debugger and closes the link.
void stop_debugger_link(Engine& engine);

}  // namespace tavelo::host
