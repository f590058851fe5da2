#pragma once
// The script machine's system-call tables: waits, threads, events and script
// control; message boxes and debug output.

#include <span>

#include "script/syscall.h"

namespace tavelo::script {

std::span<const SyscallEntry> machine_syscalls();
std::span<const SyscallEntry> debug_syscalls();
std::span<const SyscallEntry> standard_syscalls();

}  // namespace tavelo::script
