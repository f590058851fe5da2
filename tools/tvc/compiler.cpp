// The compiler's entry points.

#include "tools/tvc/compiler.h"

#include "tools/tvc/codegen.h"
#include "tools/tvc/program.h"

namespace tavelo::tools::tvc {

Compilation::Compilation(CompileOptions options) : m_program(std::make_unique<Program>(std::move(options))) {}

Compilation::~Compilation() = default;

std::optional<std::vector<uint8_t>> Compilation::compile_file(const std::string& path) {
  return compile(path, std::nullopt);
}

std::optional<std::vector<uint8_t>> Compilation::compile_text(const std::string& path, std::string text) {
  return compile(path, std::move(text));
}

std::optional<std::vector<uint8_t>> Compilation::compile(const std::string& path, std::optional<std::string> text) {
  Program& program = *m_program;
  size_t errors_before = program.diagnostics.errors;
  std::optional<uint32_t> module = program.load(path, std::move(text), nullptr);
  if (!module) return std::nullopt;
  program.collect_symbols(*module);
  // A file that did not parse (or whose imports failed) is not generated:
  // its tree may be incomplete, and the rest would mostly repeat the errors.
  if (program.diagnostics.errors > errors_before) return std::nullopt;
  std::optional<std::vector<uint8_t>> bytes = generate(program, *module);
  if (program.diagnostics.errors > errors_before) return std::nullopt;
  return bytes;
}

const Diagnostics& Compilation::diagnostics() const { return m_program->diagnostics; }
const Sources& Compilation::sources() const { return m_program->sources; }
std::string Compilation::report() const { return format_diagnostics(m_program->diagnostics, m_program->sources); }

}  // namespace tavelo::tools::tvc
