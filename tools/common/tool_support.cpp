// Shared helpers of the command-line tools.

#include "tools/common/tool_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tavelo::tools {

std::optional<std::string> Arguments::take_option(std::string_view long_name, std::string_view short_name) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == long_name || (!short_name.empty() && words[i] == short_name)) {
      if (i + 1 >= words.size()) return std::nullopt;
      std::string value = words[i + 1];
      words.erase(words.begin() + long(i), words.begin() + long(i) + 2);
      return value;
    }
  }
  return std::nullopt;
}

bool Arguments::take_flag(std::string_view name) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == name) {
      words.erase(words.begin() + long(i));
      return true;
    }
  }
  return false;
}

Arguments collect_arguments(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) arguments.words.emplace_back(argv[i]);
  return arguments;
}

int finish_output(std::string_view tool, int status) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int flush_error = errno;
  // A large write bypasses the buffer and fails on its own; its error stays
  // in the stream's flag even when the final flush has nothing left to do.
  if (flushed && !std::ferror(stdout)) return status;
  if (!flushed && flush_error != 0) {
    std::fprintf(stderr, "%.*s: cannot write standard output: %s\n", int(tool.size()), tool.data(),
                 std::strerror(flush_error));
  } else {
    std::fprintf(stderr, "%.*s: cannot write standard output\n", int(tool.size()), tool.data());
  }
  return status == 0 ? 1 : status;
}

}  // namespace tavelo::tools
