#pragma once
// Sources and diagnostics of the tvc compiler: the files a compilation reads
// (kept whole, so a message can quote its line), positions in them, and the
// errors and warnings collected on the way. Messages are formatted as
// "file:line:col: error: message", the source line and a caret under the
// column; columns count characters, not bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::tools::tvc {

struct Position {
  uint32_t file = 0;    // index into Sources::files
  uint32_t line = 0;    // 1-based; 0: no position
  uint32_t column = 0;  // 1-based, in characters
};

struct SourceFile {
  std::string path;  // as given or found (for messages)
  std::string name;  // the script's base name: "prelude" for dir/prelude.tvs
  std::string text;  // UTF-8
};

struct Sources {
  std::vector<SourceFile> files;
};

enum class Severity : uint8_t { Error, Warning };

struct Diagnostic {
  Severity severity = Severity::Error;
  Position at;
  std::string message;
};

// Errors past this many end the compilation: the rest would mostly follow
// from the first ones.
inline constexpr size_t kMaxErrors = 50;

struct Diagnostics {
  std::vector<Diagnostic> list;
  size_t errors = 0;

  void error(const Position& at, std::string message);
  void warning(const Position& at, std::string message);
  bool too_many() const { return errors >= kMaxErrors; }
};

// Every diagnostic in order of file and position, each with its source line
// and a caret.
std::string format_diagnostics(const Diagnostics& diagnostics, const Sources& sources);

}  // namespace tavelo::tools::tvc
