// General-purpose system calls: numbers, time and random, arrays, variables
// by name, registry values, engine queries and the desktop calls.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "resources/settings.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/multibyte.h"
#include "resources/name_hash.h"
#include "resources/settings_store.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/message_box.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "script/waits.h"
#include "library/syscalls.h"
#include "script/thread.h"

namespace tavelo::library {
namespace {

using script::ArrayBlock;
using script::CallArgs;
using script::CallStatus;
using script::Machine;
using script::Scope;
using script::SyscallEntry;
using script::SyscallFlags;
using script::array_element_count;
using script::copy_array_block;
using script::Thread;
using script::Value;
using script::ValueType;
using script::VariableStore;
using script::held_script_time;
using script::is_reference_type;
using script::make_int;
using script::next_random;
using script::payload_bits;
using script::release_value;
using script::script_time;

// Texts handled by the standard calls, in bytes.
constexpr size_t kTextLimit = 511;
// Degrees to radians as the engine has always converted them: slightly off
// pi / 180, and scripts' tables of angles were tuned against it.
constexpr double kDegreesToRadians = 0.017453292519444445;

std::string limited(Machine& machine, std::string_view text) {
  return resources::cut_game_text(machine.resources.lead_bytes, text, kTextLimit);
}

// ---- numbers, time and random

CallStatus sys_absolute(host::Engine&, CallArgs& args) {
  int32_t n = args.int_at(1);
  // The most negative int has no positive counterpart; it stays as it is.
  return args.done(n == INT32_MIN ? n : std::abs(n));
}

CallStatus sys_max(host::Engine&, CallArgs& args) { return args.done(std::max(args.int_at(1), args.int_at(2))); }
CallStatus sys_min(host::Engine&, CallArgs& args) { return args.done(std::min(args.int_at(1), args.int_at(2))); }

CallStatus sys_random(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  int32_t range = args.int_at(1);
  if (range == 0) {
    report_script_error(machine, "乱数の種に０が指定されました。");
    return args.done(0);
  }
  // The generator is never negative, so the remainder lies in 0..|range|-1.
  return args.done(next_random(machine.random) % range);
}

CallStatus sys_random_unit(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  // 0..32766 over 32767: below 1 always.
  int32_t r = next_random(machine.random) % 32767;
  return args.done_float(float(r) / 32767.0f);
}

CallStatus sys_script_time(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(int32_t(held_script_time(machine)));
}

// Linear progress: value * min(|now - start|, duration) / duration. The
// product is formed in 64 bits so large values do not overflow.
CallStatus sys_progress(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  int32_t start = args.int_at(1);
  int32_t duration = args.int_at(2);
  int32_t value = args.int_at(3);
  if (duration <= 0) return args.done(value);
  // The clock wraps at 2^32 ms; the distance is taken on the wrapped difference.
  int64_t elapsed = std::llabs(int64_t(int32_t(held_script_time(machine) - uint32_t(start))));
  int64_t clamped = std::min<int64_t>(elapsed, duration);
  return args.done(int32_t(int64_t(value) * clamped / duration));
}

template <double (*kFunction)(double)>
CallStatus sys_trigonometry(host::Engine&, CallArgs& args) {
  return args.done_float(float(kFunction(double(args.float_at(1)) * kDegreesToRadians)));
}

double sine(double x) { return std::sin(x); }
double cosine(double x) { return std::cos(x); }
double tangent(double x) { return std::tan(x); }

CallStatus sys_int_to_text(host::Engine&, CallArgs& args) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", args.int_at(1));
  return args.done_text(text);
}

CallStatus sys_text_to_int(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(resources::parse_leading_int(limited(machine, args.text_at(1))));
}

CallStatus sys_text_hash(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string lower = resources::to_lower(machine.resources.lead_bytes, limited(machine, args.text_at(1)));
  return args.done(int32_t(resources::name_hash(lower)));
}

CallStatus sys_today(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  platform::LocalTime now = machine.platform.local_time();
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d", now.year % 100, now.month, now.day);
  return args.done_text(text);
}

CallStatus sys_time_of_day(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  platform::LocalTime now = machine.platform.local_time();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.hour, now.minute, now.second);
  return args.done_text(text);
}

// ---- variables by name

struct VariableName {
  std::string full;  // with "@GLOBAL" added when the name has no group
  uint32_t hash = 0;
};

VariableName variable_name(std::string_view text) {
  VariableName name;
  name.full = std::string(text);
  if (text.size() < 2 || text.find('@', 1) == std::string_view::npos) name.full += "@GLOBAL";
  name.hash = resources::name_hash(name.full);
  return name;
}

Value* lookup_any(Machine& machine, Thread& thread, uint32_t hash) {
  if (Value* value = machine.eternal.find(hash)) return value;
  if (Value* value = machine.global.find(hash)) return value;
  return thread.store.find(hash);
}

// A reference's payload is an address; scripts get 0 for it.
int32_t int_payload(const Value& value) {
  return (value.type == ValueType::Int || value.type == ValueType::Float) ? payload_bits(value) : 0;
}

CallStatus get_variable(Machine& machine, CallArgs& args, bool report_missing) {
  std::string_view text = args.text_at(1);
  const Value* value = lookup_any(machine, args.thread, variable_name(text).hash);
  if (!value) {
    if (report_missing) report_script_error(machine, "get_variable : 変数[ %s ]は存在しません", {text});
    return args.done(0);
  }
  return args.done(int_payload(*value));
}

CallStatus sys_get_variable(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine; return get_variable(machine, args, true); }
CallStatus sys_get_variable_silent(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine; return get_variable(machine, args, false); }

CallStatus sys_set_variable(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string_view text = args.text_at(1);
  char sigil = text.empty() ? '\0' : text[0];
  VariableStore* store = nullptr;
  Scope scope = Scope::Global;
  switch (sigil) {
    case '#': store = &machine.eternal; scope = Scope::Eternal; break;
    case '@': store = &machine.global; scope = Scope::Global; break;
    case '%': store = &args.thread.store; scope = Scope::Thread; break;
    case '_':
      report_script_error(machine, "set_variable : [ %s ]ローカル変数は設定できません", {text});
      return args.done(0);
    default:
      report_script_error(machine, "set_variable : [ %s ]変数名が間違っています", {text});
      return args.done(0);
  }
  int32_t bits = int_payload(args.at(2));
  uint32_t hash = variable_name(text).hash;
  Value* value = store->find(hash);
  if (!value) {
    Value created = make_int(bits);
    created.hash = hash;
    created.scope = scope;
    store->append(created);
    return args.done(0);
  }
  // Writing 32 bits over a string or array would leave a dangling address in
  // the record: such a variable gives up its block and becomes an int.
  if (is_reference_type(value->type)) {
    release_value(*value);
    value->bits = 0;
    value->type = ValueType::Int;
  }
  value->integer = bits;
  return args.done(0);
}

// ---- registry values

CallStatus sys_registry_write_int(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  resources::reg_write_int(machine.resources, limited(machine, args.text_at(1)), args.int_at(2));
  return args.done(0);
}

CallStatus sys_registry_write_text(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  resources::reg_write_text(machine.resources, limited(machine, args.text_at(1)), limited(machine, args.text_at(2)));
  return args.done(0);
}

CallStatus sys_registry_read_int(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(resources::reg_read_int(machine.resources, limited(machine, args.text_at(1)), args.int_at(2)));
}

CallStatus sys_registry_read_text(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  resources::RegistryText text =
      resources::reg_read_text(machine.resources, limited(machine, args.text_at(1)), limited(machine, args.text_at(2)), kTextLimit + 1);
  return args.done_text(text.text);
}

// ---- engine queries

CallStatus sys_is_debug_mode(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(machine.debug_mode ? 1 : 0);
}

template <resources::EnvInt kKey>
CallStatus sys_environment_int(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(resources::env_setting(machine.resources, kKey));
}

// The developer's report and log filters mean nothing outside debug mode.
template <resources::UserSetting kSetting>
CallStatus sys_debug_setting(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(machine.debug_mode ? resources::read_user_setting(machine.resources, kSetting) : 0);
}

template <resources::UserSetting kSetting>
CallStatus sys_user_setting(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(resources::read_user_setting(machine.resources, kSetting));
}

// ---- input, desktop and dialogs

CallStatus sys_open_url(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string address = "http://" + limited(machine, args.text_at(1));
  machine.platform.open_with_desktop(machine.encoding.to_utf8_lossy(address));
  return args.done(0);
}

// The platform layer offers no wallpaper service, so the call always answers
// as a desktop whose settings key cannot be opened.
constexpr int32_t kWallpaperKeyUnavailable = 3;

CallStatus sys_set_wallpaper(host::Engine&, CallArgs& args) { return args.done(kWallpaperKeyUnavailable); }

// The input-string dialog closes only through OK; the entered text, at most
// 511 bytes, is the result (the default when the dialog could not be shown).
CallStatus sys_input_string(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string default_text = limited(machine, args.text_at(2));
  platform::DialogRequest request;
  request.kind = platform::DialogKind::InputString;
  request.title =
      machine.encoding.to_utf8_lossy(resources::env_setting_text(machine.resources, resources::EnvText::Titlebar));
  request.prompt = machine.encoding.to_utf8_lossy(limited(machine, args.text_at(1)));
  request.text = machine.encoding.to_utf8_lossy(default_text);
  std::optional<platform::DialogOutcome> outcome = run_dialog(args, request);
  if (!outcome) return poll_again(args);
  if (outcome->status != platform::DialogStatus::Accepted) return args.done_text(default_text);
  return args.done_text(limited(machine, machine.encoding.from_utf8_lossy(outcome->text)));
}

// ---- arrays

// One to three sizes: (size1), (size2, size1) or (size3, size2, size1), the
// first argument outermost.
template <ValueType kType>
CallStatus sys_array_create(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  int32_t size3 = 1, size2 = 1, size1 = 1;
  if (args.count >= 3) {
    size3 = args.int_at(1);
    size2 = args.int_at(2);
    size1 = args.int_at(3);
  } else if (args.count == 2) {
    size2 = args.int_at(1);
    size1 = args.int_at(2);
  } else {
    size1 = args.int_at(1);
  }
  if (kType == ValueType::IntArray && (size1 < 1 || size2 < 1 || size3 < 1)) {
    report_script_error(machine, "配列数は1以上を指定してください。");
  } else if (array_element_count(std::max(size3, 1), std::max(size2, 1), std::max(size1, 1)) < 0) {
    // More elements than the engine holds: reported, and the array made is
    // cut down (subscripts wrap, so every element access still lands).
    report_script_error(machine, "配列の要素数が多すぎます。");
  }
  Value value = make_int(0);
  value.type = kType;
  value.array = new_array_block(kType, size3, size2, size1);
  args.return_value(value);
  return CallStatus::Done;
}

template <ValueType kType>
CallStatus sys_array_single(host::Engine&, CallArgs& args) {
  args.return_value(make_default(kType));
  return CallStatus::Done;
}

// A copy with the same dimensions; string elements get blocks of their own.
template <ValueType kType>
CallStatus sys_array_copy(host::Engine&, CallArgs& args) {
  const ArrayBlock* source = args.array_at(1, kType);
  if (!source) {
    args.return_value(make_default(kType));
    return CallStatus::Done;
  }
  Value value = make_int(0);
  value.type = kType;
  value.array = copy_array_block(*source);
  args.return_value(value);
  return CallStatus::Done;
}

using resources::EnvInt;
using resources::UserSetting;

constexpr SyscallFlags kNone = SyscallFlags::None;

constexpr std::array kStandardSyscalls = {
    SyscallEntry{0x959B0A16, "abs", sys_absolute, kNone, "int n -> int the absolute value"},
    SyscallEntry{0x6CFC884A, "max", sys_max, kNone, "int a, int b -> int the larger"},
    SyscallEntry{0x3D053317, "min", sys_min, kNone, "int a, int b -> int the smaller"},
    SyscallEntry{0xC6282F19, "random", sys_random, kNone,
                 "int range -> int 0 to range - 1; a range of 0 is reported and gives 0"},
    SyscallEntry{0x46B18379, "random_unit", sys_random_unit, kNone, "-> float at least 0, below 1"},
    SyscallEntry{0x6584F13E, "script_time", sys_script_time, kNone, "-> int the script time in ms"},
    SyscallEntry{0xEE6B328D, "progress", sys_progress, kNone,
                 "int start, int duration, int value -> int value * min(|now - start|, duration) / duration"},
    SyscallEntry{0xEE2B6D92, "sin", sys_trigonometry<sine>, kNone, "float degrees -> float the sine"},
    SyscallEntry{0x12877048, "cos", sys_trigonometry<cosine>, kNone, "float degrees -> float the cosine"},
    SyscallEntry{0xBDAA8E96, "tan", sys_trigonometry<tangent>, kNone, "float degrees -> float the tangent"},
    SyscallEntry{0x6F769889, "int_to_str", sys_int_to_text, kNone, "int n -> str n in decimal"},
    SyscallEntry{0x109CA5DB, "str_to_int", sys_text_to_int, kNone, "str text -> int the leading decimal number"},
    SyscallEntry{0x4694366A, "str_hash", sys_text_hash, kNone,
                 "str text -> int the name hash of the text in lower case"},
    SyscallEntry{0xFED7BFE9, "date_text", sys_today, kNone, "-> str today as \"yy/mm/dd\""},
    SyscallEntry{0x0D389C2F, "time_text", sys_time_of_day, kNone, "-> str the time of day as \"hh:mm:ss\""},

    SyscallEntry{0x96B07AEE, "int_array_create", sys_array_create<ValueType::IntArray>, kNone,
                 "int size [, int size2 [, int size3]] -> int[] a new array; the first size is the outermost"},
    SyscallEntry{0xA6AC6CCC, "float_array_create", sys_array_create<ValueType::FloatArray>, kNone,
                 "int size [, int size2 [, int size3]] -> float[] a new array; the first size is the outermost"},
    SyscallEntry{0x1F57B724, "str_array_create", sys_array_create<ValueType::StringArray>, kNone,
                 "int size [, int size2 [, int size3]] -> str[] a new array; the first size is the outermost"},
    SyscallEntry{0x3A49E325, "int_array_single", sys_array_single<ValueType::IntArray>, kNone,
                 "-> int[] a new array of one element"},
    SyscallEntry{0xAAB68E6D, "float_array_single", sys_array_single<ValueType::FloatArray>, kNone,
                 "-> float[] a new array of one element"},
    SyscallEntry{0x134D5585, "str_array_single", sys_array_single<ValueType::StringArray>, kNone,
                 "-> str[] a new array of one element"},
    SyscallEntry{0x7FCF3C82, "int_array_copy", sys_array_copy<ValueType::IntArray>, kNone,
                 "int[] array -> int[] a copy of the same dimensions"},
    SyscallEntry{0xE2413EF9, "float_array_copy", sys_array_copy<ValueType::FloatArray>, kNone,
                 "float[] array -> float[] a copy of the same dimensions"},
    SyscallEntry{0x5BBAE511, "str_array_copy", sys_array_copy<ValueType::StringArray>, kNone,
                 "str[] array -> str[] a copy of the same dimensions, with copied strings"},

    SyscallEntry{0x6E83677A, "get_variable", sys_get_variable, kNone,
                 "str variable -> int its 32 bits; a missing variable is reported and gives 0"},
    SyscallEntry{0xF9A3B675, "get_variable_silent", sys_get_variable_silent, kNone,
                 "str variable -> int its 32 bits, 0 when it is missing"},
    SyscallEntry{0xCD290AEF, "set_variable", sys_set_variable, kNone,
                 "str variable, int|float value -> int 0; \"#\", \"@\" or "
                 "\"%\" name the store; a missing variable is made an int"},

    SyscallEntry{0x9A1ACECA, "registry_write_int", sys_registry_write_int, kNone,
                 "str name, int value -> int 0; a value of the game's settings key"},
    SyscallEntry{0xEDB64309, "registry_write_str", sys_registry_write_text, kNone, "str name, str text -> int 0"},
    SyscallEntry{0x80177286, "registry_read_int", sys_registry_read_int, kNone,
                 "str name [, int default = 0] -> int the value, or the default"},
    SyscallEntry{0xA2E45C9C, "registry_read_str", sys_registry_read_text, kNone,
                 "str name [, str default = \"\"] -> str the text, or the default"},

    SyscallEntry{0x6E6C641A, "is_debug_mode", sys_is_debug_mode, kNone, "-> int 1 in debug mode"},
    SyscallEntry{0xE06200C4, "client_width", sys_environment_int<EnvInt::ClientWidth>, kNone, "-> int CLIENT_WIDTH"},
    SyscallEntry{0x8C283F7F, "client_height", sys_environment_int<EnvInt::ClientHeight>, kNone, "-> int CLIENT_HEIGHT"},
    SyscallEntry{0x067B44A4, "debug_report_no_voice", sys_debug_setting<UserSetting::ReprotNoVoice>, kNone,
                 "-> int ReprotNoVoice in debug mode, else 0"},
    SyscallEntry{0x619DE833, "debug_report_no_pic", sys_debug_setting<UserSetting::ReprotNoPic>, kNone,
                 "-> int ReprotNoPic in debug mode, else 0"},
    SyscallEntry{0x3D4B9052, "debug_log_no_voice", sys_debug_setting<UserSetting::LogNoVoice>, kNone,
                 "-> int LogNoVoice in debug mode, else 0"},
    SyscallEntry{0x4B5AC64B, "debug_log_no_pic", sys_debug_setting<UserSetting::LogNoPic>, kNone,
                 "-> int LogNoPic in debug mode, else 0"},
    SyscallEntry{0x0692314A, "config_difficulty", sys_user_setting<UserSetting::Nanido>, kNone, "-> int NANIDO"},
    SyscallEntry{0x140C298E, "config_game_speed", sys_user_setting<UserSetting::GameSpeed>, kNone, "-> int GameSpeed"},

    SyscallEntry{0xDACA10AF, "url_open", sys_open_url, kNone, "str address -> int 0; opens \"http://\" + address"},
    SyscallEntry{0x4AFC6E20, "wallpaper_set", sys_set_wallpaper, kNone,
                 "str file, int style -> int 0 when set; always 3 here, where no desktop wallpaper can be set"},
    SyscallEntry{0x7F01F772, "input_string", sys_input_string, kNone,
                 "str prompt [, str text = \"\"] -> str what the player typed; waits for the dialog"},
};

}  // namespace

std::span<const SyscallEntry> standard_syscalls() { return kStandardSyscalls; }

}  // namespace tavelo::library
