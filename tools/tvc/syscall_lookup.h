#pragma once
// How tvc finds system calls by name: the one seam between the compiler and
// the engine's system-call table. The engine's table gives the names it
// knows; where it has no arguments and result for a name, the compiler takes
// the call as it is written (any arguments, an int result). Calls the engine
// has no name for yet are declared in the compiler's built-in declarations
// (system_declarations(), in the language itself), which scripts can extend
// with `native` declarations of their own.

#include <cstdint>
#include <memory>
#include <string_view>

namespace tavelo::tools::tvc {

struct SyscallName {
  uint32_t key = 0;
};

class SyscallLookup {
 public:
  virtual ~SyscallLookup() = default;
  // The key of the system call the engine names so, if any.
  virtual const SyscallName* find(std::string_view name) const = 0;
};

// The engine's merged system-call table.
std::unique_ptr<SyscallLookup> engine_syscall_lookup();

// Declarations every compilation starts with: `native` declarations of the
// calls the language and the prelude use, and `event` declarations of the
// events the engine raises, in the language's own syntax.
std::string_view system_declarations();

}  // namespace tavelo::tools::tvc
