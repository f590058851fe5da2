#pragma once
// tvdbg's session: a small command-line debugger for the engine's debugger
// link. It reads one command a line (attach, break, delete, step, next,
// stepin, continue, print, where, quit), talks to a running engine over the
// loopback link (library/debug_link.h) and writes one line per event to its
// output, so a test can script it through standard input.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tavelo::tools {

struct DebuggerOptions {
  std::string code_page = "CP932";   // the game's code page, for names and strings
  uint32_t timeout_ms = 30000;       // the longest wait for the engine
};

// Runs commands from input until its end or "quit"; 0 when every command
// worked, 1 otherwise (a refused connection, a timeout, an unknown command).
// first_command, when given, runs before the first line of input.
int run_debugger_session(std::FILE* input, std::FILE* output, const DebuggerOptions& options,
                         std::string_view first_command = {});

// The name hash a breakpoint names: the script's file name without directory
// or extension, upper case, with ".TVO" ("scenario/start.tvs" -> START.TVO).
std::string normalized_script_name(std::string_view file);
// A variable name as the engine stores it: "@x" and "#x" get "@GLOBAL" when
// they have no scope part of their own.
std::string stored_variable_name(std::string_view name);

}  // namespace tavelo::tools
