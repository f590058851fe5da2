#pragma once
// The audio subsystem's system calls: music, the announced voice, the four
// sound groups, the numbered voice and sound channels, and the sound-file
// test. The host lists the table in host/syscall_tables.cpp.

#include <span>

#include "script/syscall.h"

namespace tavelo::audio {

std::span<const script::SyscallEntry> syscalls();

}  // namespace tavelo::audio
