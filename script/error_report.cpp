// The script error reporter and the debug log.

#include "script/error_report.h"

#include "host/engine.h"
#include "host/message_box.h"

namespace tavelo::script {

void report_script_error(host::Engine& engine, std::string_view utf8_format,
                         std::initializer_list<resources::FormatArgument> arguments) {
  if (!engine.host.debug_mode) return;
  std::string text = host::game_message(engine, utf8_format, arguments);
  debug_log(engine, text);
  host::show_box(engine, host::BoxKind::FatalRetry, text);
}

void debug_log(host::Engine&, std::string_view) {}

}  // namespace tavelo::script
