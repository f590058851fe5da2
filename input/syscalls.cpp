// Input system calls.

#include "input/syscalls.h"

#include <array>

#include "host/engine_parts.h"
#include "input/state.h"
#include "resources/state.h"
#include "script/state.h"
#include "resources/multibyte.h"

namespace tavelo::input {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

// Presses swallowed after a suppression call.
constexpr int32_t kSuppressedPresses = 3;
// Dropped file names, in bytes.
constexpr size_t kDroppedNameLimit = 259;

CallStatus sys_suppress_repeated_clicks(host::Engine&, CallArgs& args) {
  // Without arguments the left button; with arguments the mask is argument 2.
  int32_t mask = args.count == 0 ? 1 : args.int_at(2);
  args.machine.clicks.suppress_mask = uint8_t(mask & 7);
  args.machine.clicks.suppress_count = kSuppressedPresses;
  return args.done(0);
}

CallStatus sys_accept_dropped_files(host::Engine& engine, CallArgs& args) {
  bool accept = args.int_at(1) != 0;
  host::input_of(engine).accept_dropped_files = accept;
  if (accept) host::input_of(engine).dropped_file.clear();
  return args.done(0);
}

CallStatus sys_dropped_file(host::Engine& engine, CallArgs& args) {
  return args.done_text(
      resources::cut_game_text(args.machine.resources.lead_bytes, host::input_of(engine).dropped_file, kDroppedNameLimit));
}

// Scripts know these calls by key only.
constexpr std::array kInputSyscalls = {
    SyscallEntry{0xB7E3E81C, "", sys_suppress_repeated_clicks},
    SyscallEntry{0x42D7C922, "", sys_accept_dropped_files},
    SyscallEntry{0xC32E286F, "", sys_dropped_file},
};

}  // namespace

std::span<const SyscallEntry> syscalls() { return kInputSyscalls; }

}  // namespace tavelo::input
