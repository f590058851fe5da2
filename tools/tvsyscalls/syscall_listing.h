#pragma once
// The generated list of system calls (docs/syscalls.md): every entry of the
// engine's merged table with its key, name, owning table and signature. The
// tvsyscalls program prints it; a test compares it with the committed file.

#include <cstddef>
#include <string>

namespace tavelo::tools {

// The number of system-call keys the engine knows, implemented or not.
inline constexpr size_t kKnownSyscallKeys = 458;

// The Markdown document.
std::string syscall_listing();

// The same calls as a JSON array, one object per key: key, name, owner,
// control, signature as written and taken apart (arguments with kind,
// optional, default and repeats; counts, min, max, result, note).
std::string syscall_listing_json();

// How many keys the merged table implements.
size_t implemented_syscall_count();

}  // namespace tavelo::tools
