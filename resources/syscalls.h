#pragma once
// System calls of the resources subsystem: registering and unloading search
// entries from scripts. script/dispatch.cpp merges this table with the others.

#include <span>

#include "script/syscall.h"

namespace tavelo::resources {

std::span<const script::SyscallEntry> syscalls();

}  // namespace tavelo::resources
