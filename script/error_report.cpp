// The script error reporter, the debug log and the argument formatter.

#include "script/error_report.h"

#include <cstdio>

#include "host/engine.h"
#include "host/message_box.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "script/loader.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

constexpr size_t kTextLimit = 2047;
constexpr size_t kBoxLimit = 1023;

// Cuts game text to at most max_bytes without splitting a double-byte character.
void truncate_game_text(const host::Engine& engine, std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return;
  size_t cut = 0;
  for (size_t i = 0; i < max_bytes;) {
    size_t length = resources::character_length(engine.resources.lead_bytes, text, i);
    if (i + length > max_bytes) break;
    i += length;
    cut = i;
  }
  text.resize(cut);
}

std::string script_name_at(const host::Engine& engine, const Frame& frame) {
  const LoadedScript* script = frame.position ? script_at(engine, frame.position) : nullptr;
  if (!script && frame.code) script = frame.code->script;
  return script ? script->name : std::string("?");
}

// "START.TVO(10).LIB.TVO(5) : " for the last four levels of the call chain.
std::string location_prefix(const host::Engine& engine, const Thread& thread) {
  int depth = thread.depth;
  int first = depth >= 3 ? depth - 3 : 0;
  std::string prefix;
  for (int level = first; level <= depth; ++level) {
    const Frame& frame = thread.frames[size_t(level)];
    if (!prefix.empty()) prefix += '.';
    prefix += script_name_at(engine, frame);
    prefix += '(' + std::to_string(frame.line) + ')';
  }
  prefix += depth >= 3 ? " : \n" : " : ";
  return prefix;
}

}  // namespace

void report_script_error(host::Engine& engine, std::string_view utf8_format,
                         std::initializer_list<resources::FormatArgument> arguments) {
  if (!engine.host.debug_mode || engine.stopping()) return;
  // A report raised while a report is open would stack boxes for ever.
  if (engine.script.reporting_error) return;
  engine.script.reporting_error = true;

  std::string message = host::game_message(engine, utf8_format, arguments);
  // The location is prepended after formatting, so script names containing
  // "%" cannot act as conversions.
  Thread* thread = engine.script.current;
  std::string text;
  if (thread && thread->frame().position && script_at(engine, thread->frame().position)) {
    text = location_prefix(engine, *thread) + message;
  } else {
    text = message;
  }
  truncate_game_text(engine, text, kTextLimit);
  debug_log(engine, text);
  truncate_game_text(engine, text, kBoxLimit);
  host::show_box(engine, host::BoxKind::FatalRetry, text);
  engine.script.reporting_error = false;
}

void debug_log(host::Engine& engine, std::string_view game_text) {
  if (!engine.host.debug_mode) return;
  std::string directory = engine.host.fast_read_directory.empty() ? engine.resources.working_directory
                                                                  : engine.host.fast_read_directory;
  std::string path = directory + "/debugout.log";
  std::optional<platform::File> file = platform::File::open(path, platform::OpenMode::Append);
  if (!file) return;  // an entry that cannot be written is dropped
  platform::LocalTime time = engine.platform.local_time();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d_%02d%02d ", time.year % 100, time.month, time.day, time.hour,
                time.minute);
  file->write(std::string_view(stamp));
  file->write(engine.encoding.to_utf8_lossy(game_text));
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
