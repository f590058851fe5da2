#pragma once
// The persistence subsystem's system calls: slot queries, thumbnails, the
// save switches and the persistent name set (saving and loading a game are
// host/save_syscalls.h's). The host lists the table in host/syscall_tables.cpp.

#include <span>

#include "script/syscall.h"

namespace tavelo::persistence {

std::span<const script::SyscallEntry> syscalls();

}  // namespace tavelo::persistence
