#pragma once
// A small harness for scenario tests of the script machine: a start script
// whose main function is the test's body, run headless in debug mode, with
// the debug log's lines as the result. In bodies, PRINT n prints the top n
// values (argument 1 = top) and END ends the engine; {name} stands for the
// name hash of a function name, for system calls that take function keys.

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/game_builder.h"

namespace tavelo::testing {

// Expands PRINT, END and {name} in an assembler source.
std::string expand_script(std::string_view source);

// The start script: $init@GLOBAL does nothing, $main@GLOBAL runs body, then
// ends the engine. extra is appended (more functions).
std::string start_script(std::string_view body, std::string_view extra = "");

struct ScriptRun {
  GameRun game;
  std::vector<std::string> lines;  // debug log lines without date stamps
};

ScriptRun run_script(std::string_view body, std::string_view extra = "", platform::AnswerPolicy policy = {},
                     const RunHooks& hooks = {},
                     std::vector<std::pair<std::string, std::string>> more_scripts = {});

}  // namespace tavelo::testing
