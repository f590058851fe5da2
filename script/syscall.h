#pragma once
// The system-call contract. Each subsystem keeps a syscalls.cpp with a table
// of SyscallEntry records; the host hands every table to script/dispatch.cpp,
// which merges them at start-up into one array sorted by key. Handlers read
// their arguments through CallArgs (argument 1 is the value on top of the
// stack) and give exactly one result; a handler that must wait returns Again
// without a result and runs again, with the same arguments, in its thread's
// next slice. Handlers receive the whole engine; only system-call files
// include host/engine.h to look inside it.

#include <cstdint>
#include <span>
#include <string_view>

#include "script/thread.h"
#include "script/value.h"

namespace tavelo::host {
struct Engine;
}

namespace tavelo::script {

struct Machine;

enum class CallStatus { Done, Again };

enum class SyscallFlags : uint8_t {
  None = 0,
  // Manages the stack itself (calls into scripts, thread creation, event
  // raising...): the dispatcher leaves arguments and result handling to it.
  Control = 1,
};

struct CallArgs;
using SyscallHandler = CallStatus (*)(host::Engine& engine, CallArgs& args);

struct SyscallEntry {
  uint32_t key;
  std::string_view name;  // lower_snake, unique across all tables
  SyscallHandler handler;
  SyscallFlags flags = SyscallFlags::None;
  // The arguments and the result, e.g. "str name [, int loop = 1] -> int 0":
  // what compilers check a call against and docs/syscalls.md lists. Parsed
  // only by tools (script/syscall_signature.h); the dispatcher never reads it.
  std::string_view signature = {};
};

// The arguments of one system call on the current thread's stack.
struct CallArgs {
  Machine& machine;
  Thread& thread;
  const SyscallEntry& entry;  // the handler's table entry: its name prefixes the call's reports
  int count;      // number of arguments the compiled code passed
  uint32_t key;   // the key that selected the handler
  bool keep_result;  // the keeping form of the call (0x834) as opposed to 0x835
  int first = 0;  // stack index of the deepest argument (the last one)
  bool has_result = false;

  bool has(int index) const { return index >= 1 && index <= count; }
  // Argument index (1 = top). Arguments beyond count read as int 0. The
  // int accessors and results are inline: most calls take and give ints.
  const Value& at(int index) const {
    static constexpr Value kMissingArgument = make_int(0);
    return has(index) ? thread.slot(first + count - index) : kMissingArgument;
  }
  // int: as is; float: truncated toward zero; anything else 0.
  int32_t int_at(int index) const {
    const Value& value = at(index);
    return value.type == ValueType::Int ? value.integer : int_of_other(value);
  }
  // float: as is; int: converted; anything else 0.0.
  float float_at(int index) const;
  // string: its text; anything else empty.
  std::string_view text_at(int index) const;
  // The array block when the argument is an array of that type, else null.
  const ArrayBlock* array_at(int index, ValueType array_type) const;

  void return_int(int32_t value) { return_value(make_int(value)); }
  void return_float(float value);
  void return_text(std::string_view text);
  // Takes over the reference held by value.
  void return_value(const Value& value) {
    push_value(thread, value);
    has_result = true;
  }

  // Gives the result and finishes the call: `return args.done(value);`.
  CallStatus done(int32_t value = 0) {
    return_int(value);
    return CallStatus::Done;
  }
  CallStatus done_float(float value) {
    return_float(value);
    return CallStatus::Done;
  }
  CallStatus done_text(std::string_view text) {
    return_text(text);
    return CallStatus::Done;
  }

 private:
  static int32_t int_of_other(const Value& value);  // a float or anything else
};

}  // namespace tavelo::script
