// General-purpose system calls: numbers, time and random, arrays, variables
// by name, registry values, engine queries and the desktop calls.

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dialogs/dialog_seam.h"
#include "host/engine.h"
#include "host/settings.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/multibyte.h"
#include "resources/name_hash.h"
#include "resources/settings_store.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/syscalls.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

// Texts handled by the standard calls, in bytes.
constexpr size_t kTextLimit = 511;
// Dropped file names, in bytes.
constexpr size_t kDroppedNameLimit = 259;
// Degrees to radians as the engine has always converted them: slightly off
// pi / 180, and scripts' tables of angles were tuned against it.
constexpr double kDegreesToRadians = 0.017453292519444445;
constexpr int32_t kSuppressedPresses = 3;

std::string limited(host::Engine& engine, std::string_view text) {
  return resources::cut_game_text(engine.resources.lead_bytes, text, kTextLimit);
}

CallStatus done_int(CallArgs& args, int32_t value) {
  args.return_int(value);
  return CallStatus::Done;
}

// ---- numbers, time and random

CallStatus sys_absolute(host::Engine&, CallArgs& args) {
  int32_t n = args.int_at(1);
  // The most negative int has no positive counterpart; it stays as it is.
  return done_int(args, n == INT32_MIN ? n : std::abs(n));
}

CallStatus sys_max(host::Engine&, CallArgs& args) { return done_int(args, std::max(args.int_at(1), args.int_at(2))); }
CallStatus sys_min(host::Engine&, CallArgs& args) { return done_int(args, std::min(args.int_at(1), args.int_at(2))); }

CallStatus sys_random(host::Engine& engine, CallArgs& args) {
  int32_t range = args.int_at(1);
  if (range == 0) {
    report_script_error(engine, "乱数の種に０が指定されました。");
    return done_int(args, 0);
  }
  // The generator is never negative, so the remainder lies in 0..|range|-1.
  return done_int(args, next_random(engine.script.random) % range);
}

CallStatus sys_random_unit(host::Engine& engine, CallArgs& args) {
  // 0..32766 over 32767: below 1 always.
  int32_t r = next_random(engine.script.random) % 32767;
  args.return_float(float(r) / 32767.0f);
  return CallStatus::Done;
}

CallStatus sys_script_time(host::Engine& engine, CallArgs& args) {
  return done_int(args, int32_t(held_script_time(engine)));
}

// Linear progress: value * min(|now - start|, duration) / duration. The
// product is formed in 64 bits so large values do not overflow.
CallStatus sys_progress(host::Engine& engine, CallArgs& args) {
  int32_t start = args.int_at(1);
  int32_t duration = args.int_at(2);
  int32_t value = args.int_at(3);
  if (duration <= 0) return done_int(args, value);
  // The clock wraps at 2^32 ms; the distance is taken on the wrapped difference.
  int64_t elapsed = std::llabs(int64_t(int32_t(held_script_time(engine) - uint32_t(start))));
  int64_t clamped = std::min<int64_t>(elapsed, duration);
  return done_int(args, int32_t(int64_t(value) * clamped / duration));
}

template <double (*kFunction)(double)>
CallStatus sys_trigonometry(host::Engine&, CallArgs& args) {
  args.return_float(float(kFunction(double(args.float_at(1)) * kDegreesToRadians)));
  return CallStatus::Done;
}

double sine(double x) { return std::sin(x); }
double cosine(double x) { return std::cos(x); }
double tangent(double x) { return std::tan(x); }

CallStatus sys_int_to_text(host::Engine&, CallArgs& args) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", args.int_at(1));
  args.return_text(text);
  return CallStatus::Done;
}

CallStatus sys_text_to_int(host::Engine& engine, CallArgs& args) {
  return done_int(args, resources::parse_leading_int(limited(engine, args.text_at(1))));
}

CallStatus sys_text_hash(host::Engine& engine, CallArgs& args) {
  std::string lower = resources::to_lower(engine.resources.lead_bytes, limited(engine, args.text_at(1)));
  return done_int(args, int32_t(resources::name_hash(lower)));
}

CallStatus sys_today(host::Engine& engine, CallArgs& args) {
  platform::LocalTime now = engine.platform.local_time();
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d", now.year % 100, now.month, now.day);
  args.return_text(text);
  return CallStatus::Done;
}

CallStatus sys_time_of_day(host::Engine& engine, CallArgs& args) {
  platform::LocalTime now = engine.platform.local_time();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.hour, now.minute, now.second);
  args.return_text(text);
  return CallStatus::Done;
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

Value* lookup_any(host::Engine& engine, Thread& thread, uint32_t hash) {
  if (Value* value = engine.script.eternal.find(hash)) return value;
  if (Value* value = engine.script.global.find(hash)) return value;
  return thread.store.find(hash);
}

// A reference's payload is an address; scripts get 0 for it.
int32_t int_payload(const Value& value) {
  return (value.type == ValueType::Int || value.type == ValueType::Float) ? payload_bits(value) : 0;
}

CallStatus get_variable(host::Engine& engine, CallArgs& args, bool report_missing) {
  std::string_view text = args.text_at(1);
  const Value* value = lookup_any(engine, args.thread, variable_name(text).hash);
  if (!value) {
    if (report_missing) report_script_error(engine, "get_variable : 変数[ %s ]は存在しません", {text});
    return done_int(args, 0);
  }
  return done_int(args, int_payload(*value));
}

CallStatus sys_get_variable(host::Engine& engine, CallArgs& args) { return get_variable(engine, args, true); }
CallStatus sys_get_variable_silent(host::Engine& engine, CallArgs& args) { return get_variable(engine, args, false); }

CallStatus sys_set_variable(host::Engine& engine, CallArgs& args) {
  std::string_view text = args.text_at(1);
  char sigil = text.empty() ? '\0' : text[0];
  VariableStore* store = nullptr;
  Scope scope = Scope::Global;
  switch (sigil) {
    case '#': store = &engine.script.eternal; scope = Scope::Eternal; break;
    case '@': store = &engine.script.global; scope = Scope::Global; break;
    case '%': store = &args.thread.store; scope = Scope::Thread; break;
    case '_':
      report_script_error(engine, "set_variable : [ %s ]ローカル変数は設定できません", {text});
      return done_int(args, 0);
    default:
      report_script_error(engine, "set_variable : [ %s ]変数名が間違っています", {text});
      return done_int(args, 0);
  }
  int32_t bits = int_payload(args.at(2));
  uint32_t hash = variable_name(text).hash;
  Value* value = store->find(hash);
  if (!value) {
    Value created = make_int(bits);
    created.hash = hash;
    created.scope = scope;
    store->append(created);
    return done_int(args, 0);
  }
  // Writing 32 bits over a string or array would leave a dangling address in
  // the record: such a variable gives up its block and becomes an int.
  if (is_reference_type(value->type)) {
    release_value(*value);
    value->bits = 0;
    value->type = ValueType::Int;
  }
  value->integer = bits;
  return done_int(args, 0);
}

// ---- registry values

CallStatus sys_registry_write_int(host::Engine& engine, CallArgs& args) {
  host::reg_write_int(engine, limited(engine, args.text_at(1)), args.int_at(2));
  return done_int(args, 0);
}

CallStatus sys_registry_write_text(host::Engine& engine, CallArgs& args) {
  host::reg_write_text(engine, limited(engine, args.text_at(1)), limited(engine, args.text_at(2)));
  return done_int(args, 0);
}

CallStatus sys_registry_read_int(host::Engine& engine, CallArgs& args) {
  return done_int(args, host::reg_read_int(engine, limited(engine, args.text_at(1)), args.int_at(2)));
}

CallStatus sys_registry_read_text(host::Engine& engine, CallArgs& args) {
  resources::RegistryText text =
      host::reg_read_text(engine, limited(engine, args.text_at(1)), limited(engine, args.text_at(2)), kTextLimit + 1);
  args.return_text(text.text);
  return CallStatus::Done;
}

// ---- engine queries

CallStatus sys_is_debug_mode(host::Engine& engine, CallArgs& args) {
  return done_int(args, engine.host.debug_mode ? 1 : 0);
}

template <host::EnvInt kKey>
CallStatus sys_environment_int(host::Engine& engine, CallArgs& args) {
  return done_int(args, host::env_setting(engine, kKey));
}

// The developer's report and log filters mean nothing outside debug mode.
template <host::UserSetting kSetting>
CallStatus sys_debug_setting(host::Engine& engine, CallArgs& args) {
  return done_int(args, engine.host.debug_mode ? host::read_user_setting(engine, kSetting) : 0);
}

template <host::UserSetting kSetting>
CallStatus sys_user_setting(host::Engine& engine, CallArgs& args) {
  return done_int(args, host::read_user_setting(engine, kSetting));
}

// ---- input, desktop and dialogs

CallStatus sys_suppress_repeated_clicks(host::Engine& engine, CallArgs& args) {
  // Without arguments the left button; with arguments the mask is argument 2.
  int32_t mask = args.count == 0 ? 1 : args.int_at(2);
  engine.host.input.suppress_mask = uint8_t(mask & 7);
  engine.host.input.suppress_count = kSuppressedPresses;
  return done_int(args, 0);
}

CallStatus sys_accept_dropped_files(host::Engine& engine, CallArgs& args) {
  bool accept = args.int_at(1) != 0;
  engine.host.input.accept_dropped_files = accept;
  if (accept) engine.host.input.dropped_file.clear();
  return done_int(args, 0);
}

CallStatus sys_dropped_file(host::Engine& engine, CallArgs& args) {
  args.return_text(
      resources::cut_game_text(engine.resources.lead_bytes, engine.host.input.dropped_file, kDroppedNameLimit));
  return CallStatus::Done;
}

CallStatus sys_open_url(host::Engine& engine, CallArgs& args) {
  std::string address = "http://" + limited(engine, args.text_at(1));
  engine.platform.open_with_desktop(engine.encoding.to_utf8_lossy(address));
  return done_int(args, 0);
}

// The platform layer offers no wallpaper service, so the call always answers
// as a desktop whose settings key cannot be opened.
constexpr int32_t kWallpaperKeyUnavailable = 3;

CallStatus sys_set_wallpaper(host::Engine&, CallArgs& args) { return done_int(args, kWallpaperKeyUnavailable); }

CallStatus sys_input_string(host::Engine& engine, CallArgs& args) {
  std::string prompt = limited(engine, args.text_at(1));
  std::string default_text = limited(engine, args.text_at(2));
  dialogs::InputStringRequest request;
  request.title = host::env_setting_text(engine, host::EnvText::Titlebar);
  request.prompt = prompt;
  request.default_text = default_text;
  args.return_text(dialogs::ask_input_string(engine, request));
  return CallStatus::Done;
}

// ---- arrays

// One to three sizes: (size1), (size2, size1) or (size3, size2, size1), the
// first argument outermost.
template <ValueType kType>
CallStatus sys_array_create(host::Engine& engine, CallArgs& args) {
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
    report_script_error(engine, "配列数は1以上を指定してください。");
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

using host::EnvInt;
using host::UserSetting;

constexpr std::array kStandardSyscalls = {
    SyscallEntry{0x959B0A16, "", sys_absolute},
    SyscallEntry{0x6CFC884A, "", sys_max},
    SyscallEntry{0x3D053317, "", sys_min},
    SyscallEntry{0xC6282F19, "", sys_random},
    SyscallEntry{0x46B18379, "", sys_random_unit},
    SyscallEntry{0x6584F13E, "", sys_script_time},
    SyscallEntry{0xEE6B328D, "", sys_progress},
    SyscallEntry{0xEE2B6D92, "", sys_trigonometry<sine>},
    SyscallEntry{0x12877048, "", sys_trigonometry<cosine>},
    SyscallEntry{0xBDAA8E96, "", sys_trigonometry<tangent>},
    SyscallEntry{0x6F769889, "", sys_int_to_text},
    SyscallEntry{0x109CA5DB, "", sys_text_to_int},
    SyscallEntry{0x4694366A, "", sys_text_hash},
    SyscallEntry{0xFED7BFE9, "", sys_today},
    SyscallEntry{0x0D389C2F, "", sys_time_of_day},

    SyscallEntry{0x96B07AEE, "", sys_array_create<ValueType::IntArray>},
    SyscallEntry{0xA6AC6CCC, "", sys_array_create<ValueType::FloatArray>},
    SyscallEntry{0x1F57B724, "", sys_array_create<ValueType::StringArray>},
    SyscallEntry{0x3A49E325, "", sys_array_single<ValueType::IntArray>},
    SyscallEntry{0xAAB68E6D, "", sys_array_single<ValueType::FloatArray>},
    SyscallEntry{0x134D5585, "", sys_array_single<ValueType::StringArray>},
    SyscallEntry{0x7FCF3C82, "", sys_array_copy<ValueType::IntArray>},
    SyscallEntry{0xE2413EF9, "", sys_array_copy<ValueType::FloatArray>},
    SyscallEntry{0x5BBAE511, "", sys_array_copy<ValueType::StringArray>},

    SyscallEntry{0x6E83677A, "get_variable", sys_get_variable},
    SyscallEntry{0xF9A3B675, "", sys_get_variable_silent},
    SyscallEntry{0xCD290AEF, "set_variable", sys_set_variable},

    SyscallEntry{0x9A1ACECA, "", sys_registry_write_int},
    SyscallEntry{0xEDB64309, "", sys_registry_write_text},
    SyscallEntry{0x80177286, "", sys_registry_read_int},
    SyscallEntry{0xA2E45C9C, "", sys_registry_read_text},

    SyscallEntry{0x6E6C641A, "", sys_is_debug_mode},
    SyscallEntry{0xE06200C4, "", sys_environment_int<EnvInt::ClientWidth>},
    SyscallEntry{0x8C283F7F, "", sys_environment_int<EnvInt::ClientHeight>},
    SyscallEntry{0x067B44A4, "", sys_debug_setting<UserSetting::ReprotNoVoice>},
    SyscallEntry{0x619DE833, "", sys_debug_setting<UserSetting::ReprotNoPic>},
    SyscallEntry{0x3D4B9052, "", sys_debug_setting<UserSetting::LogNoVoice>},
    SyscallEntry{0x4B5AC64B, "", sys_debug_setting<UserSetting::LogNoPic>},
    SyscallEntry{0x0692314A, "", sys_user_setting<UserSetting::Nanido>},
    SyscallEntry{0x140C298E, "", sys_user_setting<UserSetting::GameSpeed>},

    SyscallEntry{0xB7E3E81C, "", sys_suppress_repeated_clicks},
    SyscallEntry{0x42D7C922, "", sys_accept_dropped_files},
    SyscallEntry{0xC32E286F, "", sys_dropped_file},
    SyscallEntry{0xDACA10AF, "", sys_open_url},
    SyscallEntry{0x4AFC6E20, "", sys_set_wallpaper},
    SyscallEntry{0x7F01F772, "", sys_input_string},
};

}  // namespace

std::span<const SyscallEntry> standard_syscalls() { return kStandardSyscalls; }

}  // namespace tavelo::script
