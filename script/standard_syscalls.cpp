// General-purpose system calls: arrays and the script clock.

#include <array>

#include "host/engine.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/syscalls.h"

namespace tavelo::script {
namespace {

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

CallStatus sys_script_time(host::Engine& engine, CallArgs& args) {
  args.return_int(int32_t(held_script_time(engine)));
  return CallStatus::Done;
}

constexpr std::array kStandardSyscalls = {
    SyscallEntry{0x96B07AEE, "", sys_array_create<ValueType::IntArray>},
    SyscallEntry{0xA6AC6CCC, "", sys_array_create<ValueType::FloatArray>},
    SyscallEntry{0x1F57B724, "", sys_array_create<ValueType::StringArray>},
    SyscallEntry{0x3A49E325, "", sys_array_single<ValueType::IntArray>},
    SyscallEntry{0xAAB68E6D, "", sys_array_single<ValueType::FloatArray>},
    SyscallEntry{0x134D5585, "", sys_array_single<ValueType::StringArray>},
    SyscallEntry{0x7FCF3C82, "", sys_array_copy<ValueType::IntArray>},
    SyscallEntry{0xE2413EF9, "", sys_array_copy<ValueType::FloatArray>},
    SyscallEntry{0x5BBAE511, "", sys_array_copy<ValueType::StringArray>},
    SyscallEntry{0x6584F13E, "", sys_script_time},
};

}  // namespace

std::span<const SyscallEntry> standard_syscalls() { return kStandardSyscalls; }

}  // namespace tavelo::script
