#pragma once
// The persistence subsystem's system calls: save points, saves and loads by
// slot, slot queries, thumbnails, the save switches and the persistent name
// set. The host lists the table in host/syscall_tables.cpp.

#include <span>

#include "script/syscall.h"

namespace tavelo::persistence {

std::span<const script::SyscallEntry> syscalls();

}  // namespace tavelo::persistence
