#pragma once
// The call libraries' system-call tables: message boxes and debug output; the
// standard calls (numbers, variables by name, settings and desktop queries);
// strings; text files; the search list; skip modes and read marks; the table
// game's keys.

#include <span>

#include "script/syscall.h"

namespace tavelo::library {

std::span<const script::SyscallEntry> debug_syscalls();
std::span<const script::SyscallEntry> standard_syscalls();
std::span<const script::SyscallEntry> string_syscalls();
std::span<const script::SyscallEntry> file_syscalls();
// Skip modes, read marks and the menu permission flags.
std::span<const script::SyscallEntry> skip_syscalls();
// Registering and unloading search entries.
std::span<const script::SyscallEntry> search_syscalls();
// The table game's keys: the module is not part of this engine; each key
// reports that once and gives 0.
std::span<const script::SyscallEntry> table_game_syscalls();

}  // namespace tavelo::library
