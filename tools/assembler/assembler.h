#pragma once
// The compiled-script assembler and disassembler behind tvoasm and tvodis,
// usable in-process by tests. The text form is documented in docs/tvoasm.md;
// tvodis output reassembles to the same bytes for any input file.

#include <cstdint>
#include <optional>
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

// The parts of a compiled script file. write_compiled_script lays them out
// (header, function table, code size, code, trailer); the assembler and the
// tvc compiler both write their files through it. The overrides exist for
// broken files made on purpose.
struct CompiledScript {
  std::vector<uint8_t> code;  // plain code; scrambled on writing when asked
  bool scrambled = false;
  uint32_t entry = 0xFFFFFFFFu;  // 0xFFFFFFFF: no entry function
  uint32_t line_count = 0;
  struct Function {
    uint32_t hash = 0;
    uint32_t offset = 0;
  };
  std::vector<Function> functions;
  std::optional<std::string> magic;  // 16 bytes; default: the variant's own
  std::optional<uint32_t> function_count;
  std::optional<uint32_t> code_size;
  std::vector<uint8_t> trailer;
};

std::vector<uint8_t> write_compiled_script(const CompiledScript& script);

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
