#pragma once
// The input subsystem's system calls: the input slots, the pointer, the
// gate and lock, the game controller, mouse areas, the drag tracker, click
// suppression and dropped files. host/syscall_tables.cpp lists the table.

#include <span>

#include "script/syscall.h"

namespace tavelo::input {

std::span<const script::SyscallEntry> syscalls();

}  // namespace tavelo::input
