#pragma once
// The script machine's system-call tables: waits, threads, events and script
// control; message boxes and debug output; the standard calls (numbers,
// strings, variables by name, text files, settings and desktop queries).

#include <span>

#include "script/syscall.h"

namespace tavelo::script {

std::span<const SyscallEntry> machine_syscalls();
std::span<const SyscallEntry> debug_syscalls();
std::span<const SyscallEntry> standard_syscalls();
std::span<const SyscallEntry> string_syscalls();
std::span<const SyscallEntry> file_syscalls();
// Skip modes, read marks and the menu permission flags.
std::span<const SyscallEntry> skip_syscalls();
// Registering and unloading search entries.
std::span<const SyscallEntry> search_syscalls();
// The table game's keys: the module is not part of this engine; each key
// reports that once and gives 0.
std::span<const SyscallEntry> table_game_syscalls();

}  // namespace tavelo::script
