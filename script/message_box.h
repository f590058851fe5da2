#pragma once
// The engine's family of message boxes. Every box uses the window caption as
// title and (for errors) copies its text to the clipboard; a fatal box
// answered with Cancel asks the engine to end. Formats are UTF-8 literals from
// the engine's source; arguments that are game text are in the game code page.
// The platform leaves full screen before it shows a box.

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "resources/format.h"

namespace tavelo::script {

struct Machine;

enum class BoxKind {
  FatalRetry,   // Retry / Cancel, error icon; Cancel ends the engine abnormally
  Error,        // OK, error icon
  Warning,      // OK, warning icon
  Information,  // OK, no icon
  Question,     // Yes / No, question icon
};

// Formats a message: the UTF-8 format is converted to the game code page and
// filled with the arguments, giving game text.
std::string game_message(const Machine& machine, std::string_view utf8_format,
                         std::initializer_list<resources::FormatArgument> arguments = {});

// Shows a box with game text. Returns true for Retry, Yes or OK. A FatalRetry
// box answered with Cancel requests the abnormal exit (status 255) and returns
// false; callers then unwind.
bool show_box(Machine& machine, BoxKind kind, std::string_view game_text);

// A box with any buttons and icon (the scripts' message-box calls); no
// clipboard copy, no exit on Cancel.
platform::Answer show_script_box(Machine& machine, std::string_view game_text, platform::Buttons buttons,
                                 platform::Icon icon);

// show_box(game_message(...)).
bool show_box(Machine& machine, BoxKind kind, std::string_view utf8_format,
              std::initializer_list<resources::FormatArgument> arguments);

}  // namespace tavelo::script
