#pragma once
// The graphics system calls. Pages: creation and release, queries, fills,
// colour effects, the two-page copies, scaling, rotation and mosaic (every
// call that changes pixels ends with the change marks of what it changed).
// Sprites: creation, motion, animations, stacking, hiding and their waits.
// Screen: the display page, the update lock, view, offsets and display scale.

#include <span>

#include "script/syscall.h"

namespace tavelo::graphics {

std::span<const script::SyscallEntry> page_syscalls();
std::span<const script::SyscallEntry> sprite_syscalls();
std::span<const script::SyscallEntry> screen_syscalls();

}  // namespace tavelo::graphics
