#pragma once
// Builds game directories from assembler sources and runs the engine on
// them, in-process on the headless platform or as the real tavelo program.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/startup.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/test_files.h"

namespace tavelo::testing {

struct TestEngine;

struct GameFiles {
  // Compiled scripts: path inside the game directory (e.g. "scenario/start.tvo")
  // and the assembler source.
  std::vector<std::pair<std::string, std::string>> scripts;
  // The environment file, written loose as tavelo.env (UTF-8 here, converted
  // to the game code page).
  std::string environment = "TITLEBAR TaveloTest\n";
  // Debug mode comes from an update directory with a file in it.
  bool debug_mode = true;
  // The game text's code page: scripts and the environment file are written in it.
  std::string code_page = "CP932";
};

// Assembles the scripts (failing the current test on errors) and writes the files.
void write_game(const TempDirectory& directory, const GameFiles& files);

// The assembled bytes of a source; fails the current test on errors.
std::vector<uint8_t> assemble_source(const std::string& source, std::string_view code_page = "CP932");

struct GameRun {
  int status = -1;
  std::string log;  // debugout.log, UTF-8
  std::vector<platform::RecordedBox> boxes;
};

struct RunHooks {
  // Called before the engine starts (schedule input, preset state).
  std::function<void(TestEngine&)> before;
  // Called after the run, before the engine is destroyed.
  std::function<void(TestEngine&)> after;
  // The engine's code page.
  std::string code_page = "CP932";
};

// Runs the engine in-process on a headless platform.
GameRun run_game(const TempDirectory& directory, host::StartupOptions options = {},
                 platform::AnswerPolicy policy = {}, const RunHooks& hooks = {});

// Runs the tavelo program (headless) with extra options.
ProcessResult run_tavelo(const TempDirectory& directory, const std::string& extra_options = "");

// The lines of the debug log without their date stamps.
std::vector<std::string> log_messages(const std::string& log);

}  // namespace tavelo::testing
