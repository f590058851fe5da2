// System calls of the skip modes, read marks and the menu permission flags.

#include <array>

#include "host/engine.h"
#include "host/settings.h"
#include "resources/multibyte.h"
#include "script/loader.h"
#include "script/read_marks.h"
#include "script/syscall.h"
#include "script/syscalls.h"

namespace tavelo::script {
namespace {

// The always-read list holds at most this many bytes.
constexpr size_t kAlwaysReadCapacity = 511;

template <int32_t Mode>
CallStatus sys_skip_mode(host::Engine& engine, CallArgs& args) {
  set_skip_mode(engine, Mode);
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_skip_fast_forward(host::Engine& engine, CallArgs& args) {
  if (engine.script.skip.fast_forward_permitted) {
    // Middle presses while fast-forward starts must not stop it again at once.
    engine.host.input.suppress_mask = 4;
    engine.host.input.suppress_count = 3;
    set_skip_mode(engine, 6);
  }
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_skip_fast_forward_end(host::Engine& engine, CallArgs& args) {
  bool was_on = engine.script.skip.fast_forward;
  if (was_on) set_skip_mode(engine, 7);
  args.return_int(was_on ? 1 : 0);
  return CallStatus::Done;
}

CallStatus sys_skip_set_flags(host::Engine& engine, CallArgs& args) {
  int32_t bits = args.int_at(1);
  SkipState& skip = engine.script.skip;
  skip.skip_all = (bits & 1) != 0;
  skip.read_skip = (bits & 2) != 0;
  skip.automatic = (bits & 4) != 0;
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_skip_get_flags(host::Engine& engine, CallArgs& args) {
  const SkipState& skip = engine.script.skip;
  int32_t bits = (skip.automatic ? 4 : 0) | (skip.read_skip ? 2 : 0) | (skip.skip_all ? 1 : 0);
  // While Ctrl is held the skip comes from the key, not from a mode to keep.
  args.return_int(engine.host.input.ctrl_held ? 0 : bits);
  return CallStatus::Done;
}

CallStatus sys_skip_line_read(host::Engine& engine, CallArgs& args) {
  args.return_int(engine.script.skip.current_line_read ? 1 : 0);
  return CallStatus::Done;
}

CallStatus sys_skip_auto(host::Engine& engine, CallArgs& args) {
  args.return_int(engine.script.skip.automatic ? 1 : 0);
  return CallStatus::Done;
}

CallStatus sys_skip_is_fast_forward(host::Engine& engine, CallArgs& args) {
  args.return_int(engine.script.skip.fast_forward ? 1 : 0);
  return CallStatus::Done;
}

CallStatus sys_skip_test(host::Engine& engine, CallArgs& args) {
  args.return_int(is_skipping(engine) ? 1 : 0);
  return CallStatus::Done;
}

CallStatus sys_skip_suspend(host::Engine& engine, CallArgs& args) {
  SkipState& skip = engine.script.skip;
  bool first = skip.suspension <= 0;
  ++skip.suspension;
  cancel_keyboard_skip(engine);
  args.return_int(first ? 1 : 0);
  return CallStatus::Done;
}

CallStatus sys_skip_resume(host::Engine& engine, CallArgs& args) {
  engine.script.skip.suspension = 0;
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_skip_auto_permit(host::Engine& engine, CallArgs& args) {
  engine.script.skip.auto_permitted = args.int_at(1) != 0;
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_skip_set_read_only_mode(host::Engine& engine, CallArgs& args) {
  int32_t flag = args.int_at(1);
  engine.script.skip.fast_mode_read_only = flag;
  (void)host::reg_write_int(engine, "FastModeFlg_AR", flag);
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_skip_always_read(host::Engine& engine, CallArgs& args) {
  const resources::LeadByteTable& lead = engine.resources.lead_bytes;
  std::string_view text = args.text_at(1);
  // Cut at a character boundary so the list never ends in half a character.
  size_t end = 0;
  while (end < text.size()) {
    size_t next = end + resources::character_length(lead, text, end);
    if (next > kAlwaysReadCapacity) break;
    end = next;
  }
  engine.script.skip.always_read = resources::to_upper(lead, text.substr(0, end));
  args.return_int(0);
  return CallStatus::Done;
}

CallStatus sys_skip_has_read_marks(host::Engine& engine, CallArgs& args) {
  std::string name = normalize_script_name(engine, args.text_at(1));
  args.return_int(find_read_mark_set(engine, name) ? 1 : 0);
  return CallStatus::Done;
}

// FIXME: refresh the window menu when the permission flags change, once the
// menu exists.
template <bool SkipState::*Flag>
CallStatus sys_menu_permit(host::Engine& engine, CallArgs& args) {
  engine.script.skip.*Flag = true;
  args.return_int(0);
  return CallStatus::Done;
}

template <bool SkipState::*Flag>
CallStatus sys_menu_take_permission(host::Engine& engine, CallArgs& args) {
  bool was_set = engine.script.skip.*Flag;
  engine.script.skip.*Flag = false;
  args.return_int(was_set ? 1 : 0);
  return CallStatus::Done;
}

constexpr SyscallFlags kNone = SyscallFlags::None;

constexpr std::array kSkipSyscalls = {
    SyscallEntry{0x818A4B92, "", sys_skip_mode<0>, kNone, "— → 0; skipping off (mode 0)"},
    SyscallEntry{0x9EF1DDC3, "", sys_skip_mode<1>, kNone, "— → 0; skip all, or read-skip when FastModeFlg_AR (mode 1)"},
    SyscallEntry{0x86F0F608, "", sys_skip_mode<2>, kNone, "— → 0; read-skip (mode 2)"},
    SyscallEntry{0xFAC4F361, "", sys_skip_mode<3>, kNone, "— → 0; automatic advance (mode 3)"},
    SyscallEntry{0x4B306C5C, "", sys_skip_mode<4>, kNone, "— → 0; skip all (mode 4)"},
    SyscallEntry{0xC102BCC3, "", sys_skip_fast_forward, kNone, "— → 0; fast-forward when the menu permits it"},
    SyscallEntry{0xF3D276F1, "", sys_skip_fast_forward_end, kNone, "— → fast-forward flag; ends fast-forward"},
    SyscallEntry{0xBC42CA9A, "", sys_skip_set_flags, kNone, "bits → 0; 1 skip all, 2 read-skip, 4 auto"},
    SyscallEntry{0x3C84073C, "", sys_skip_get_flags, kNone, "— → auto·4 + read-skip·2 + skip-all; 0 while Ctrl is held"},
    SyscallEntry{0xF6416E87, "", sys_skip_line_read, kNone, "— → 1 when the current line was read before"},
    SyscallEntry{0xC21F8B49, "", sys_skip_auto, kNone, "— → auto flag"},
    SyscallEntry{0x38721A26, "", sys_skip_is_fast_forward, kNone, "— → fast-forward flag"},
    SyscallEntry{0xA62AA5EB, "", sys_skip_test, kNone, "— → 1 while skipping (the skip test)"},
    SyscallEntry{0x81CE0485, "", sys_skip_suspend, kNone, "— → 1 when not suspended before; suspends skipping"},
    SyscallEntry{0x8C7F4C1E, "", sys_skip_resume, kNone, "— → 0; ends every suspension"},
    SyscallEntry{0x0EBC053B, "", sys_skip_auto_permit, kNone, "flag → 0; permits automatic advance"},
    SyscallEntry{0x3EABF498, "", sys_skip_set_read_only_mode, kNone, "flag → 0; sets and stores FastModeFlg_AR"},
    SyscallEntry{0x7547C477, "", sys_skip_always_read, kNone, "text → 0; scripts named in text count as read"},
    SyscallEntry{0xDD2056F6, "", sys_skip_has_read_marks, kNone, "script name → 1 when it has read marks"},
    SyscallEntry{0x8FE5D6E7, "", sys_menu_permit<&SkipState::fast_forward_permitted>, kNone,
                 "— → 0; permits fast-forward (menu)"},
    SyscallEntry{0x45ACD4A7, "", sys_menu_take_permission<&SkipState::fast_forward_permitted>, kNone,
                 "— → fast-forward permission; clears it"},
    SyscallEntry{0xC68C011A, "", sys_menu_permit<&SkipState::second_menu_permitted>, kNone,
                 "— → 0; sets the second menu permission"},
    SyscallEntry{0x86E933D1, "", sys_menu_take_permission<&SkipState::second_menu_permitted>, kNone,
                 "— → second menu permission; clears it"},
};

}  // namespace

std::span<const SyscallEntry> skip_syscalls() { return kSkipSyscalls; }

}  // namespace tavelo::script
