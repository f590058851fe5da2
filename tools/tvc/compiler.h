#pragma once
// tvc, the compiler of the engine's script language (docs/language.md): a
// source file (.tvs, UTF-8) and the files it imports to a compiled script
// (.tvo) in the game's code page. One Compilation compiles any number of
// files and parses each imported file once. Used by the tvc program, the
// tests and the fuzz target.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tvc/diagnostics.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::tools::tvc {

class SyscallLookup;
struct Program;

// Where line-number instructions go. All: before every statement, so error
// reports and the debugger name any line. Text: only before story text, what
// read marks need; the code of loops then runs without them.
enum class LineMode : uint8_t { All, Text };

struct CompileOptions {
  const platform::TextEncoding* encoding = nullptr;  // the game's code page (required)
  const SyscallLookup* syscalls = nullptr;           // the engine's names; null: none
  LineMode lines = LineMode::All;
  // Where `import "name"` looks after the importing file's own directory.
  std::vector<std::string> import_directories;
  // Reads a file for an import; null reads from the disk. Returning nullopt
  // means the file does not exist.
  std::function<std::optional<std::string>(const std::string& path)> read_file;
};

class Compilation {
 public:
  explicit Compilation(CompileOptions options);
  ~Compilation();
  Compilation(const Compilation&) = delete;
  Compilation& operator=(const Compilation&) = delete;

  // Compiles a source file read through the options' reader (or its given
  // text); the compiled script's bytes, or nullopt when there were errors.
  // Warnings and errors go to diagnostics() either way.
  std::optional<std::vector<uint8_t>> compile_file(const std::string& path);
  std::optional<std::vector<uint8_t>> compile_text(const std::string& path, std::string text);

  const Diagnostics& diagnostics() const;
  const Sources& sources() const;
  // The diagnostics as text (file:line:col: error: message, line, caret).
  std::string report() const;

 private:
  std::optional<std::vector<uint8_t>> compile(const std::string& path, std::optional<std::string> text);
  std::unique_ptr<Program> m_program;
};

}  // namespace tavelo::tools::tvc
