// Message boxes and debug output for scripts.

#include <array>

#include "script/state.h"
#include "script/message_box.h"
#include "script/error_report.h"
#include "script/syscalls.h"

namespace tavelo::script {
namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

// Each box call formats all of its arguments and answers 1 for its first
// button (OK, Yes, Retry) on boxes with two buttons, 0 otherwise.
template <Buttons kButtons, Icon kIcon>
CallStatus sys_box(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = format_arguments(args, args.count);
  Answer answer = show_script_box(machine, text, kButtons, kIcon);
  bool first = answer == Answer::Ok || answer == Answer::Yes || answer == Answer::Retry;
  return args.done(kButtons != Buttons::Ok && first ? 1 : 0);
}

// Debug-only boxes: logged and shown in debug mode; otherwise nothing is shown
// and the first button's result is given.
template <Buttons kButtons>
CallStatus sys_debug_box(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  if (!machine.debug_mode) {
    return args.done(kButtons == Buttons::Ok ? 0 : 1);
  }
  std::string text = format_arguments(args, args.count);
  debug_log(machine, text);
  Answer answer = show_script_box(machine, text, kButtons, Icon::Error);
  bool first = answer == Answer::Ok || answer == Answer::Yes || answer == Answer::Retry;
  return args.done(kButtons != Buttons::Ok && first ? 1 : 0);
}

CallStatus sys_debug_print(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  if (machine.debug_mode) debug_log(machine, format_arguments(args, args.count));
  return args.done(0);
}

constexpr std::array kDebugSyscalls = {
    SyscallEntry{0x4D2D4277, "", sys_box<Buttons::Ok, Icon::None>},
    SyscallEntry{0x0D141855, "", sys_box<Buttons::OkCancel, Icon::None>},
    SyscallEntry{0x693D9729, "", sys_box<Buttons::YesNo, Icon::None>},
    SyscallEntry{0xE218BA5F, "", sys_box<Buttons::RetryCancel, Icon::None>},
    SyscallEntry{0xD0F4B51A, "", sys_box<Buttons::Ok, Icon::Warning>},
    SyscallEntry{0xEDFD552C, "", sys_box<Buttons::OkCancel, Icon::Warning>},
    SyscallEntry{0x8DC0D2CD, "", sys_box<Buttons::YesNo, Icon::Warning>},
    SyscallEntry{0x253982F4, "", sys_box<Buttons::RetryCancel, Icon::Question>},
    SyscallEntry{0x6E7F7FB7, "", sys_box<Buttons::RetryCancel, Icon::Question>},
    SyscallEntry{0x67444F84, "", sys_box<Buttons::Ok, Icon::Question>},
    SyscallEntry{0x1576CCEC, "", sys_box<Buttons::OkCancel, Icon::Question>},
    SyscallEntry{0x5F7FFD3B, "", sys_box<Buttons::YesNo, Icon::Question>},
    SyscallEntry{0xDF644F85, "", sys_debug_box<Buttons::Ok>},
    SyscallEntry{0xB5551FDF, "", sys_debug_box<Buttons::OkCancel>},
    SyscallEntry{0x65D3B77C, "", sys_debug_box<Buttons::YesNo>},
    SyscallEntry{0x4020C370, "", sys_debug_box<Buttons::RetryCancel>},
    SyscallEntry{0xF3679C34, "", sys_debug_print},
};

}  // namespace

std::span<const SyscallEntry> debug_syscalls() { return kDebugSyscalls; }

}  // namespace tavelo::script
