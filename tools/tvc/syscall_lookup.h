#pragma once
// How tvc finds system calls by name: the one seam between the compiler and
// the engine's system-call table. Every call there has a name and a
// signature (its arguments' kinds, optional and repeating ones, and its
// result), which the compiler checks calls against. Scripts can declare
// further keys with `native`; the events the engine raises are declared in
// the compiler's built-in declarations (system_declarations(), in the
// language itself).

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "script/syscall_signature.h"

namespace tavelo::tools::tvc {

struct SyscallName {
  uint32_t key = 0;
  // nullopt when the table's signature does not parse: the call is then
  // taken as written (any arguments, an int result).
  std::optional<script::SyscallSignature> signature;
};

class SyscallLookup {
 public:
  virtual ~SyscallLookup() = default;
  // The key of the system call the engine names so, if any.
  virtual const SyscallName* find(std::string_view name) const = 0;
};

// The engine's merged system-call table.
std::unique_ptr<SyscallLookup> engine_syscall_lookup();

// Declarations every compilation starts with: the events the engine raises,
// in the language's own syntax.
std::string_view system_declarations();

}  // namespace tavelo::tools::tvc
