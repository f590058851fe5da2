// Arbitrary bytes as a fast-read file: the directory and the editor command
// it gives are trimmed, within their limits and free of line ends and of
// the comment marks that cut them.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/fast_read.h"

namespace {

void check(std::string_view value, size_t limit) {
  if (value.size() > limit) std::abort();
  if (!value.empty() && (uint8_t(value.front()) <= 0x20 || uint8_t(value.back()) <= 0x20)) std::abort();
  if (value.find('\n') != std::string_view::npos || value.find(';') != std::string_view::npos ||
      value.find("//") != std::string_view::npos) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tavelo::host::FastReadFile file =
      tavelo::host::parse_fast_read_file(std::string_view(reinterpret_cast<const char*>(data), size));
  check(file.directory, 511);
  check(file.editor, 259);
  return 0;
}
