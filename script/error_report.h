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

namespace tavelo::host {
struct Engine;
}

namespace tavelo::script {

void report_script_error(host::Engine& engine, std::string_view utf8_format,
                         std::initializer_list<resources::FormatArgument> arguments = {});

// Appends one dated line of game text to the debug log (debug mode only).
void debug_log(host::Engine& engine, std::string_view game_text);

struct CallArgs;
// The print and box calls' formatter: arguments 1..count as "%d ", "%f ",
// "%s " or an array marker, at most 511 bytes.
std::string format_arguments(const CallArgs& args, int count);

}  // namespace tavelo::script
