// Message boxes and debug output for scripts.

#include <array>

#include "script/state.h"
#include "script/message_box.h"
#include "script/error_report.h"
#include "library/syscalls.h"

namespace tavelo::library {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::Machine;
using script::SyscallEntry;
using script::SyscallFlags;
using script::debug_log;
using script::format_arguments;
using script::show_script_box;

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

constexpr SyscallFlags kNone = SyscallFlags::None;

constexpr std::array kDebugSyscalls = {
    SyscallEntry{0x4D2D4277, "message_box", sys_box<Buttons::Ok, Icon::None>, kNone,
                 "any values... -> int 0; shows the values in a box with OK"},
    SyscallEntry{0x0D141855, "message_box_ok_cancel", sys_box<Buttons::OkCancel, Icon::None>, kNone,
                 "any values... -> int 1 for OK, else 0"},
    SyscallEntry{0x693D9729, "message_box_yes_no", sys_box<Buttons::YesNo, Icon::None>, kNone,
                 "any values... -> int 1 for Yes, else 0"},
    SyscallEntry{0xE218BA5F, "message_box_retry_cancel", sys_box<Buttons::RetryCancel, Icon::None>, kNone,
                 "any values... -> int 1 for Retry, else 0"},
    SyscallEntry{0xD0F4B51A, "warning_box", sys_box<Buttons::Ok, Icon::Warning>, kNone,
                 "any values... -> int 0; OK, with the warning icon"},
    SyscallEntry{0xEDFD552C, "warning_box_ok_cancel", sys_box<Buttons::OkCancel, Icon::Warning>, kNone,
                 "any values... -> int 1 for OK, else 0"},
    SyscallEntry{0x8DC0D2CD, "warning_box_yes_no", sys_box<Buttons::YesNo, Icon::Warning>, kNone,
                 "any values... -> int 1 for Yes, else 0"},
    SyscallEntry{0x253982F4, "question_box_retry_cancel", sys_box<Buttons::RetryCancel, Icon::Question>, kNone,
                 "any values... -> int 1 for Retry, else 0"},
    SyscallEntry{0x6E7F7FB7, "question_box_retry_cancel2", sys_box<Buttons::RetryCancel, Icon::Question>, kNone,
                 "any values... -> int the same as question_box_retry_cancel"},
    SyscallEntry{0x67444F84, "question_box", sys_box<Buttons::Ok, Icon::Question>, kNone,
                 "any values... -> int 0; OK, with the question icon"},
    SyscallEntry{0x1576CCEC, "question_box_ok_cancel", sys_box<Buttons::OkCancel, Icon::Question>, kNone,
                 "any values... -> int 1 for OK, else 0"},
    SyscallEntry{0x5F7FFD3B, "question_box_yes_no", sys_box<Buttons::YesNo, Icon::Question>, kNone,
                 "any values... -> int 1 for Yes, else 0"},
    SyscallEntry{0xDF644F85, "debug_box", sys_debug_box<Buttons::Ok>, kNone,
                 "any values... -> int 0; debug mode only, logged too"},
    SyscallEntry{0xB5551FDF, "debug_box_ok_cancel", sys_debug_box<Buttons::OkCancel>, kNone,
                 "any values... -> int 1 for OK, else 0; 1 outside debug mode"},
    SyscallEntry{0x65D3B77C, "debug_box_yes_no", sys_debug_box<Buttons::YesNo>, kNone,
                 "any values... -> int 1 for Yes, else 0; 1 outside debug mode"},
    SyscallEntry{0x4020C370, "debug_box_retry_cancel", sys_debug_box<Buttons::RetryCancel>, kNone,
                 "any values... -> int 1 for Retry, else 0; 1 outside debug mode"},
    SyscallEntry{0xF3679C34, "debug_print", sys_debug_print, kNone,
                 "any values... -> int 0; writes the values to the debug log in debug mode"},
};

}  // namespace

std::span<const SyscallEntry> debug_syscalls() { return kDebugSyscalls; }

}  // namespace tavelo::library
