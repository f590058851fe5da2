#pragma once
// The text system calls: the fontout family (fonts of script threads and the
// glyph cache), the message window's console calls and the text history's
// navigation and replay. Also the machine's message hooks, which need the
// window's page: the host installs message_instruction and
// control_instruction as script::HostHooks.

#include <span>
#include <string_view>

#include "script/syscall.h"

namespace tavelo::host {
struct Engine;
}

namespace tavelo::text {

std::span<const script::SyscallEntry> font_syscalls();
std::span<const script::SyscallEntry> console_syscalls();
std::span<const script::SyscallEntry> history_syscalls();

// Text instruction: appends to the pending text.
void text_instruction(host::Engine& engine, std::string_view game_text);
// Control-code instruction; false while a `t` sleep lasts.
bool control_instruction(host::Engine& engine, std::string_view code);
// Message instruction: one layout step on the window's page, with the change
// marks of what it drew and its events raised; false when the instruction
// must run again.
bool message_instruction(host::Engine& engine);

}  // namespace tavelo::text
