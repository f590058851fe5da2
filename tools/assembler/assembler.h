#pragma once
// The compiled-script assembler and disassembler behind tvoasm and tvodis,
// usable in-process by tests. The text form is documented in docs/tvoasm.md;
// tvodis output reassembles to the same bytes for any input file.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::platform {
class TextEncoding;
}
namespace tavelo::script {
struct SyscallTable;
}

namespace tavelo::tools {

// What the assembler needs from outside. Null members are filled in: the
// CP932 code page and the engine's system-call table.
struct AssemblerContext {
  const platform::TextEncoding* encoding = nullptr;
  const script::SyscallTable* syscalls = nullptr;
};

struct AssemblyError {
  int line = 0;  // 1-based source line
  std::string message;
};

struct AssemblyResult {
  std::vector<uint8_t> bytes;  // the .tvo file; empty when errors is not empty
  std::vector<AssemblyError> errors;
  bool ok() const { return errors.empty(); }
};

AssemblyResult assemble(std::string_view source, const AssemblerContext& context = {});

// "LINE: message" lines, one per error.
std::string format_errors(const AssemblyResult& result, std::string_view source_name);

// Canonical source text for any bytes (files that are not complete compiled
// scripts come out as a raw image).
std::string disassemble(std::span<const uint8_t> file, const AssemblerContext& context = {});

}  // namespace tavelo::tools
