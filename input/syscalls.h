#pragma once
// The input subsystem's system calls: click suppression and dropped files.

#include <span>

#include "script/syscall.h"

namespace tavelo::input {

std::span<const script::SyscallEntry> syscalls();

}  // namespace tavelo::input
