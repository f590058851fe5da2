#pragma once
// The main window's system calls: the menu-request protocol (the script says
// which screen it shows and when it closed it) and the full-screen mode
// search.

#include <span>

#include "script/syscall.h"

namespace tavelo::host {

std::span<const script::SyscallEntry> window_syscalls();

}  // namespace tavelo::host
