#pragma once
// The system calls that save and load a whole game: the save point, saving
// and loading by slot, and the slot, save-as and load-from-file dialogs.
// They reach every subsystem (host/save_game.h), so they live here; the rest
// of the persistence calls are persistence/syscalls.cpp's.

#include <span>

#include "script/syscall.h"

namespace tavelo::host {

std::span<const script::SyscallEntry> save_syscalls();

}  // namespace tavelo::host
