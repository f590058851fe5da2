// Message boxes shared by the whole engine.

#include "script/message_box.h"

#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "script/state.h"

namespace tavelo::script {

std::string game_message(const Machine& machine, std::string_view utf8_format,
                         std::initializer_list<resources::FormatArgument> arguments) {
  std::string format = machine.encoding.from_utf8_lossy(utf8_format);
  return resources::format_text(format, arguments);
}

bool show_box(Machine& machine, BoxKind kind, std::string_view game_text) {
  if (machine.hooks.before_message_box) machine.hooks.before_message_box(machine.engine);
  platform::MessageBoxRequest request;
  std::string text = machine.encoding.to_utf8_lossy(game_text);
  std::string caption = machine.encoding.to_utf8_lossy(machine.caption);
  request.caption = caption;
  request.text = text;
  bool copy_to_clipboard = false;
  switch (kind) {
    case BoxKind::FatalRetry:
      request.buttons = platform::Buttons::RetryCancel;
      request.icon = platform::Icon::Error;
      copy_to_clipboard = true;
      break;
    case BoxKind::Error:
      request.icon = platform::Icon::Error;
      copy_to_clipboard = true;
      break;
    case BoxKind::Warning:
      request.icon = platform::Icon::Warning;
      copy_to_clipboard = true;
      break;
    case BoxKind::Information:
      break;
    case BoxKind::Question:
      request.buttons = platform::Buttons::YesNo;
      request.icon = platform::Icon::Question;
      break;
  }
  if (copy_to_clipboard) machine.platform.set_clipboard_text(text);
  platform::Answer answer = machine.platform.show_message_box(request);
  if (kind == BoxKind::FatalRetry && answer != platform::Answer::Retry) {
    request_exit(machine, 255);
    return false;
  }
  return answer == platform::Answer::Retry || answer == platform::Answer::Yes || answer == platform::Answer::Ok;
}

platform::Answer show_script_box(Machine& machine, std::string_view game_text, platform::Buttons buttons,
                                 platform::Icon icon) {
  if (machine.hooks.before_message_box) machine.hooks.before_message_box(machine.engine);
  std::string text = machine.encoding.to_utf8_lossy(game_text);
  std::string caption = machine.encoding.to_utf8_lossy(machine.caption);
  return machine.platform.show_message_box({caption, text, buttons, icon});
}

bool show_box(Machine& machine, BoxKind kind, std::string_view utf8_format,
              std::initializer_list<resources::FormatArgument> arguments) {
  return show_box(machine, kind, game_message(machine, utf8_format, arguments));
}

}  // namespace tavelo::script
