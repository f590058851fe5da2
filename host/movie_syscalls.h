#pragma once
// The movie system calls: playing a file once, looping or between two
// times, stopping, the playing query, the volume for the next start and the
// wait for the end. A start may stop every sound and the wait takes the key
// or click that ends it, so they join movie, audio and input and live here.

#include <span>

#include "script/syscall.h"

namespace tavelo::host {

std::span<const script::SyscallEntry> movie_syscalls();

}  // namespace tavelo::host
