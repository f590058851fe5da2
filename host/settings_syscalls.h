#pragma once
// The settings dialogs' system calls: opening the combined, sound, speed and
// font dialogs (each a wait until the player closes it), the font choice,
// the voice dialog's labels and levels, and reading and setting the user
// settings the dialogs edit.

#include <span>

#include "script/syscall.h"

namespace tavelo::host {

std::span<const script::SyscallEntry> settings_syscalls();

}  // namespace tavelo::host
