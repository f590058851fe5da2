#pragma once
// The graphics system calls for pages: creation and release, queries, fills,
// colour effects, the two-page copies, scaling, rotation and mosaic. Every
// call that changes pixels ends with the change marks of what it changed.

#include <span>

#include "script/syscall.h"

namespace tavelo::graphics {

std::span<const script::SyscallEntry> page_syscalls();

}  // namespace tavelo::graphics
