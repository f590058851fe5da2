#pragma once
// The movie system calls: playing a file once, looping or between two
// times, stopping, the playing query, the volume for the next start and the
// wait for the end. The host lists the table in host/syscall_tables.cpp.

#include <span>

#include "script/syscall.h"

namespace tavelo::movie {

std::span<const script::SyscallEntry> syscalls();

}  // namespace tavelo::movie
