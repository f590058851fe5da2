#pragma once
// The engine's command line, shared by the desktop executable (host/main.cpp)
// and the page (web/web_main.cpp, where the page passes the same words):
// the options, the replayed-input file they name, and the screenshot taken
// when the run ends.

#include <optional>
#include <string>
#include <vector>

#include "host/startup.h"
#include "platform/platform.h"

namespace tavelo::host {

struct Engine;

struct CommandLine {
  bool headless = false;
  std::string game_directory;
  std::string answer = "continue";
  std::string code_page = "CP932";
  std::string screenshot;  // absolute: the engine runs in the game directory
  std::string audio_out;
  std::string speech_out;
  StartupOptions startup;
  std::string input_file;
  bool watch = false;  // --watch: recompile changed sources in debug mode
};

// The words after the program name. nullopt when the process is to end at
// once with exit_status: after --help (0), or a bad command line (2; the
// message and the usage are on standard error).
struct CommandLineParse {
  std::optional<CommandLine> command;
  int exit_status = 0;
};
CommandLineParse parse_command_line(int argc, char** argv);

// Writes "tavelo: message" and the usage to standard error; returns 2, the
// exit status of a bad command line.
int command_line_error(const std::string& message);

// Reads the --input file whole before anything runs (paths in it are taken
// from the current directory); false, with a message naming the file and
// line on standard error, when it cannot be read or is ill-formed.
bool read_replay_file(const CommandLine& command, std::vector<platform::Event>& events);

// The --screenshot file when the run ends: the display page, or the window's
// picture while a movie owns the window.
void write_final_screenshot(Engine& engine, const std::string& path);

}  // namespace tavelo::host
