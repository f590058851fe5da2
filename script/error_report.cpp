// The script error reporter, the debug log and the argument formatter.

#include "script/error_report.h"

#include <cstdio>

#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/loader.h"
#include "script/message_box.h"
#include "script/state.h"
#include "script/syscall.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

constexpr size_t kTextLimit = 2047;
constexpr size_t kBoxLimit = 1023;

std::string script_name_at(const Machine& machine, const Frame& frame) {
  const LoadedScript* script = frame.position ? script_at(machine, frame.position) : nullptr;
  if (!script && frame.code) script = frame.code->script;
  return script ? script->name : std::string("?");
}

// "START.TVO(10).LIB.TVO(5) : " for the last four levels of the call chain.
std::string location_prefix(const Machine& machine, const Thread& thread) {
  int depth = thread.depth;
  int first = depth >= 3 ? depth - 3 : 0;
  std::string prefix;
  for (int level = first; level <= depth; ++level) {
    const Frame& frame = thread.frames[size_t(level)];
    if (!prefix.empty()) prefix += '.';
    prefix += script_name_at(machine, frame);
    prefix += '(' + std::to_string(frame.line) + ')';
  }
  prefix += depth >= 3 ? " : \n" : " : ";
  return prefix;
}

// The editor shows the failing line, and for a script without read marks
// (a library) also the innermost caller that has them: the story line that
// led there.
void open_error_lines(Machine& machine, const Thread& thread) {
  if (!machine.hooks.open_in_editor ||
      resources::read_user_setting(machine.resources, resources::UserSetting::AutoOpenErrorLine) == 0) {
    return;
  }
  const Frame& current = thread.frame();
  machine.hooks.open_in_editor(machine.engine, script_name_at(machine, current), current.line);
  const LoadedScript* script = script_at(machine, current.position);
  if (script && script->read_marks) return;
  for (int level = thread.depth - 1; level >= 0; --level) {
    const Frame& frame = thread.frames[size_t(level)];
    if (frame.read_mark_cache == ReadMarkCache::Set && frame.read_marks) {
      machine.hooks.open_in_editor(machine.engine, script_name_at(machine, frame), frame.line);
      return;
    }
  }
}

}  // namespace

void report_script_error(Machine& machine, std::string_view utf8_format,
                         std::initializer_list<resources::FormatArgument> arguments) {
  if (!machine.debug_mode || machine.stopping()) return;
  // A report raised while a report is open would stack boxes for ever.
  if (machine.reporting_error) return;
  machine.reporting_error = true;

  std::string message = game_message(machine, utf8_format, arguments);
  // The location is prepended after formatting, so script names containing
  // "%" cannot act as conversions.
  Thread* thread = machine.current;
  std::string text;
  if (thread && thread->frame().position && script_at(machine, thread->frame().position)) {
    open_error_lines(machine, *thread);
    text = location_prefix(machine, *thread) + message;
  } else {
    text = message;
  }
  text = resources::cut_game_text(machine.resources.lead_bytes, text, kTextLimit);
  debug_log(machine, text);
  text = resources::cut_game_text(machine.resources.lead_bytes, text, kBoxLimit);
  show_box(machine, BoxKind::FatalRetry, text);
  machine.reporting_error = false;
}

void report_call_error(const CallArgs& args, std::string_view utf8_problem,
                       std::initializer_list<resources::FormatArgument> arguments) {
  report_call_error_as(args, args.entry.name, utf8_problem, arguments);
}

void report_call_error_as(const CallArgs& args, std::string_view call_name, std::string_view utf8_problem,
                          std::initializer_list<resources::FormatArgument> arguments) {
  // Call names are plain lower_snake ASCII, so they cannot act as conversions.
  std::string format;
  format.reserve(call_name.size() + 3 + utf8_problem.size());
  format.append(call_name).append(" : ").append(utf8_problem);
  report_script_error(args.machine, format, arguments);
}

void debug_log(Machine& machine, std::string_view game_text) {
  if (!machine.debug_mode) return;
  std::string path = resources::save_root(machine.resources) + "/debugout.log";
  std::optional<platform::File> file = platform::File::open(path, platform::OpenMode::Append);
  if (!file) return;  // an entry that cannot be written is dropped
  platform::LocalTime time = machine.platform.local_time();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d_%02d%02d ", time.year % 100, time.month, time.day, time.hour,
                time.minute);
  file->write(std::string_view(stamp));
  file->write(machine.encoding.to_utf8_lossy(game_text));
  file->write(std::string_view("\n"));
}

std::string format_arguments(const CallArgs& args, int count) {
  std::string text;
  char number[64];
  for (int i = 1; i <= count && i <= args.count; ++i) {
    const Value& value = args.at(i);
    switch (value.type) {
      case ValueType::Int: std::snprintf(number, sizeof number, "%d ", value.integer); text += number; break;
      case ValueType::Float: std::snprintf(number, sizeof number, "%f ", double(value.real)); text += number; break;
      case ValueType::String: text.append(value.string->text()).append(" "); break;
      case ValueType::IntArray: text += "[INT_ARRAY] "; break;
      case ValueType::FloatArray: text += "[FIXED_ARRAY] "; break;
      case ValueType::StringArray: text += "[STRING_ARRAY] "; break;
    }
    if (text.size() >= 511) break;
  }
  if (text.size() > 511) text.resize(511);
  return text;
}

}  // namespace tavelo::script
