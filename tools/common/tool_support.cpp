// Shared helpers of the command-line tools.

#include "tools/common/tool_support.h"

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

}  // namespace tavelo::tools
