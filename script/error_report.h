#pragma once
// Script error reports: every script-visible error goes through here. In debug
// mode the report names the chain of scripts and lines that led to it, is
// appended to the debug log and shown in a Retry/Cancel box (Cancel ends the
// engine abnormally); with debug mode off nothing happens and the caller goes
// on with its documented fallback. Formats are UTF-8 literals; arguments that
// are game text are in the game code page.

#include <initializer_list>
#include <string>
#include <string_view>

#include "resources/format.h"

namespace tavelo::script {

struct Machine;

void report_script_error(Machine& machine, std::string_view utf8_format,
                         std::initializer_list<resources::FormatArgument> arguments = {});

struct CallArgs;

// A system call's report, "<call> : <problem>", with the call's name from its
// table entry.
void report_call_error(const CallArgs& args, std::string_view utf8_problem,
                       std::initializer_list<resources::FormatArgument> arguments = {});
// The same under another name, where the engine's own message names the call
// differently from its table entry.
void report_call_error_as(const CallArgs& args, std::string_view call_name, std::string_view utf8_problem,
                          std::initializer_list<resources::FormatArgument> arguments = {});

// Appends one dated line of game text to the debug log (debug mode only).
void debug_log(Machine& machine, std::string_view game_text);

// The print and box calls' formatter: arguments 1..count as "%d ", "%f ",
// "%s " or an array marker, at most 511 bytes.
std::string format_arguments(const CallArgs& args, int count);

}  // namespace tavelo::script
