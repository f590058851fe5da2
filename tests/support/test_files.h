#pragma once
// Test files and processes without an engine: temporary directories, game
// text in CP932, the built tools and engine binary, and shell commands.
// Tests that only run scripts or programs include this (through
// game_builder.h) and none of the engine's state headers.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::testing {

// A directory under the system's temporary directory, removed with its
// contents when the object goes.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + relative, with `/` separators.
  std::string at(std::string_view relative) const;
  // Writes a file (creating parent directories) and returns its path.
  std::string write(std::string_view relative, std::string_view bytes) const;
  std::string write(std::string_view relative, const std::vector<uint8_t>& bytes) const;
  std::string make_directory(std::string_view relative) const;

 private:
  std::string m_path;
};

// UTF-8 literal to game text (CP932).
std::string sjis(std::string_view utf8);

std::vector<uint8_t> read_bytes(const std::string& path);

// Paths of the built programs (tools and the engine), from the build tree.
std::string tool_path(std::string_view tool);

struct ProcessResult {
  int exit_status = -1;
  std::string output;  // standard output and standard error, interleaved
};
// Runs a shell command line and collects its output.
ProcessResult run_command(const std::string& command_line);

}  // namespace tavelo::testing
