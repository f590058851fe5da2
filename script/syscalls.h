#pragma once
// The script machine's own system calls: waits, threads, events, the script
// clock and script control.

#include <span>

#include "script/syscall.h"

namespace tavelo::script {

std::span<const SyscallEntry> machine_syscalls();

}  // namespace tavelo::script
