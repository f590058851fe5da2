// System calls of the skip modes, read marks and the menu permission flags.

#include <array>

#include "resources/settings.h"
#include "resources/multibyte.h"
#include "resources/state.h"
#include "script/loader.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/syscall.h"
#include "host/engine_parts.h"
#include "input/input.h"
#include "input/state.h"
#include "library/syscalls.h"

namespace tavelo::library {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::Machine;
using script::SkipState;
using script::SyscallEntry;
using script::SyscallFlags;
using script::find_read_mark_set;
using script::is_skipping;
using script::normalize_script_name;
using script::set_skip_mode;

// The always-read list holds at most this many bytes.
constexpr size_t kAlwaysReadCapacity = 511;

template <int32_t Mode>
CallStatus sys_skip_mode(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  set_skip_mode(machine, Mode);
  return args.done(0);
}

CallStatus sys_skip_fast_forward(host::Engine& engine, CallArgs& args) {
  Machine& machine = args.machine;
  if (machine.skip.fast_forward_permitted) {
    // Middle presses while fast-forward starts must not stop it again at once.
    input::suppress_clicks(host::input_of(engine), 4);
    set_skip_mode(machine, 6);
  }
  return args.done(0);
}

CallStatus sys_skip_fast_forward_end(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  bool was_on = machine.skip.fast_forward;
  if (was_on) set_skip_mode(machine, 7);
  return args.done(was_on ? 1 : 0);
}

CallStatus sys_skip_set_flags(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  int32_t bits = args.int_at(1);
  SkipState& skip = machine.skip;
  skip.skip_all = (bits & 1) != 0;
  skip.read_skip = (bits & 2) != 0;
  skip.automatic = (bits & 4) != 0;
  return args.done(0);
}

CallStatus sys_skip_get_flags(host::Engine& engine, CallArgs& args) {
  const SkipState& skip = args.machine.skip;
  int32_t bits = (skip.automatic ? 4 : 0) | (skip.read_skip ? 2 : 0) | (skip.skip_all ? 1 : 0);
  // While Ctrl is held the skip comes from the key, not from a mode to keep.
  return args.done(host::input_of(engine).clicks.ctrl_held ? 0 : bits);
}

CallStatus sys_skip_line_read(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(machine.skip.current_line_read ? 1 : 0);
}

CallStatus sys_skip_auto(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(machine.skip.automatic ? 1 : 0);
}

CallStatus sys_skip_is_fast_forward(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(machine.skip.fast_forward ? 1 : 0);
}

CallStatus sys_skip_test(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done(is_skipping(machine) ? 1 : 0);
}

CallStatus sys_skip_suspend(host::Engine& engine, CallArgs& args) {
  Machine& machine = args.machine;
  SkipState& skip = machine.skip;
  bool first = skip.suspension <= 0;
  ++skip.suspension;
  // As a Caps Lock press and release would.
  host::input_of(engine).keyboard_skip = false;
  return args.done(first ? 1 : 0);
}

CallStatus sys_skip_resume(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  machine.skip.suspension = 0;
  return args.done(0);
}

CallStatus sys_skip_auto_permit(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  machine.skip.auto_permitted = args.int_at(1) != 0;
  return args.done(0);
}

CallStatus sys_skip_set_read_only_mode(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  int32_t flag = args.int_at(1);
  machine.skip.fast_mode_read_only = flag;
  (void)resources::reg_write_int(machine.resources, "FastModeFlg_AR", flag);
  return args.done(0);
}

CallStatus sys_skip_always_read(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  const resources::LeadByteTable& lead = machine.resources.lead_bytes;
  std::string_view text = args.text_at(1);
  // Cut at a character boundary so the list never ends in half a character.
  size_t end = 0;
  while (end < text.size()) {
    size_t next = end + resources::character_length(lead, text, end);
    if (next > kAlwaysReadCapacity) break;
    end = next;
  }
  machine.skip.always_read = resources::to_upper(lead, text.substr(0, end));
  return args.done(0);
}

CallStatus sys_skip_has_read_marks(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string name = normalize_script_name(machine, args.text_at(1));
  return args.done(find_read_mark_set(machine, name) ? 1 : 0);
}

// FIXME: refresh the window menu when the permission flags change, once the
// menu exists.
template <bool SkipState::*Flag>
CallStatus sys_menu_permit(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  machine.skip.*Flag = true;
  return args.done(0);
}

template <bool SkipState::*Flag>
CallStatus sys_menu_take_permission(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  bool was_set = machine.skip.*Flag;
  machine.skip.*Flag = false;
  return args.done(was_set ? 1 : 0);
}

constexpr SyscallFlags kNone = SyscallFlags::None;

constexpr std::array kSkipSyscalls = {
    SyscallEntry{0x818A4B92, "skip_stop", sys_skip_mode<0>, kNone,
                 "-> int 0; skip mode 0: skipping and automatic advance off"},
    SyscallEntry{0x9EF1DDC3, "skip_start", sys_skip_mode<1>, kNone,
                 "-> int 0; skip mode 1: skips all text, or only text read before when FastModeFlg_AR is set"},
    SyscallEntry{0x86F0F608, "skip_read_start", sys_skip_mode<2>, kNone,
                 "-> int 0; skip mode 2: skips text read before"},
    SyscallEntry{0xFAC4F361, "auto_start", sys_skip_mode<3>, kNone, "-> int 0; skip mode 3: automatic advance"},
    SyscallEntry{0x4B306C5C, "skip_all_start", sys_skip_mode<4>, kNone, "-> int 0; skip mode 4: skips all text"},
    SyscallEntry{0xC102BCC3, "fast_forward_start", sys_skip_fast_forward, kNone,
                 "-> int 0; skip mode 6 when the menu permits fast-forward"},
    SyscallEntry{0xF3D276F1, "fast_forward_end", sys_skip_fast_forward_end, kNone,
                 "-> int the fast-forward flag; ends fast-forward"},
    SyscallEntry{0xBC42CA9A, "skip_flags_set", sys_skip_set_flags, kNone,
                 "int bits -> int 0; 1 skip all, 2 skip read text, 4 automatic advance"},
    SyscallEntry{0x3C84073C, "skip_flags", sys_skip_get_flags, kNone,
                 "-> int bits: 1 skip all, 2 skip read text, 4 automatic advance; 0 while Ctrl is held"},
    SyscallEntry{0xF6416E87, "is_line_read", sys_skip_line_read, kNone,
                 "-> int 1 when the current line was shown before"},
    SyscallEntry{0xC21F8B49, "is_auto", sys_skip_auto, kNone, "-> int the automatic-advance flag"},
    SyscallEntry{0x38721A26, "is_fast_forward", sys_skip_is_fast_forward, kNone, "-> int the fast-forward flag"},
    SyscallEntry{0xA62AA5EB, "is_skipping", sys_skip_test, kNone, "-> int 1 while text is being skipped"},
    SyscallEntry{0x81CE0485, "skip_suspend", sys_skip_suspend, kNone,
                 "-> int 1 when skipping was not suspended before; suspends it"},
    SyscallEntry{0x8C7F4C1E, "skip_resume", sys_skip_resume, kNone, "-> int 0; ends every suspension"},
    SyscallEntry{0x0EBC053B, "auto_permit", sys_skip_auto_permit, kNone,
                 "int flag -> int 0; permits automatic advance"},
    SyscallEntry{0x3EABF498, "skip_read_only_set", sys_skip_set_read_only_mode, kNone,
                 "int flag -> int 0; sets and stores FastModeFlg_AR"},
    SyscallEntry{0x7547C477, "always_read_set", sys_skip_always_read, kNone,
                 "str scripts -> int 0; the scripts named in the text count as read"},
    SyscallEntry{0xDD2056F6, "has_read_marks", sys_skip_has_read_marks, kNone,
                 "str script -> int 1 when the script has read marks"},
    SyscallEntry{0x8FE5D6E7, "fast_forward_permit", sys_menu_permit<&SkipState::fast_forward_permitted>, kNone,
                 "-> int 0; the menu permits fast-forward"},
    SyscallEntry{0x45ACD4A7, "fast_forward_permission_take",
                 sys_menu_take_permission<&SkipState::fast_forward_permitted>, kNone,
                 "-> int the fast-forward permission; clears it"},
    SyscallEntry{0xC68C011A, "second_menu_permit", sys_menu_permit<&SkipState::second_menu_permitted>, kNone,
                 "-> int 0; sets the second menu permission"},
    SyscallEntry{0x86E933D1, "second_menu_permission_take",
                 sys_menu_take_permission<&SkipState::second_menu_permitted>, kNone,
                 "-> int the second menu permission; clears it"},
};

}  // namespace

std::span<const SyscallEntry> skip_syscalls() { return kSkipSyscalls; }

}  // namespace tavelo::library
