// Test fixtures.

#include "tests/support/test_engine.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/file_system.h"

namespace tavelo::testing {
namespace {

std::unique_ptr<platform::TextEncoding> cp932() {
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  if (!encoding) std::abort();
  return encoding;
}

}  // namespace

TempDirectory::TempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tavelo-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) std::abort();
  m_path = buffer.data();
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string TempDirectory::at(std::string_view relative) const { return m_path + "/" + std::string(relative); }

std::string TempDirectory::write(std::string_view relative, std::string_view bytes) const {
  std::string path = at(relative);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

std::string TempDirectory::write(std::string_view relative, const std::vector<uint8_t>& bytes) const {
  if (bytes.empty()) return write(relative, std::string_view{});
  return write(relative, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string TempDirectory::make_directory(std::string_view relative) const {
  std::string path = at(relative);
  std::filesystem::create_directories(path);
  return path;
}

TestEngine::TestEngine(std::string working_directory, platform::AnswerPolicy policy, std::string_view code_page)
    : platform(std::move(policy)),
      encoding(code_page == "CP932" ? cp932() : platform::TextEncoding::create(code_page)),
      engine(platform, *encoding, std::move(working_directory)) {
  platform.set_echo_to_stderr(false);
}

std::string sjis(std::string_view utf8) {
  static const std::unique_ptr<platform::TextEncoding> encoding = cp932();
  return encoding->from_utf8_lossy(utf8);
}

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(path);
  return bytes ? *bytes : std::vector<uint8_t>{};
}

std::string tool_path(std::string_view tool) {
  if (tool == "tavelo") return std::string(TAVELO_BIN_DIR) + "/../tavelo";
  return std::string(TAVELO_BIN_DIR) + "/" + std::string(tool);
}

ProcessResult run_command(const std::string& command_line) {
  ProcessResult result;
  std::string full = command_line + " 2>&1";
  std::FILE* pipe = ::popen(full.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  int status = ::pclose(pipe);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace tavelo::testing
