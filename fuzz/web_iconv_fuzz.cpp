// Arbitrary bytes through the browser build's CP932 converter, both ways,
// against glibc's: the same text out, or both refuse.

#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/web/web_iconv.h"

#undef iconv_open
#undef iconv
#undef iconv_close

namespace {

template <typename Convert>
bool convert(Convert call, std::string input, std::string& output) {
  output.assign(input.size() * 4 + 8, '\0');
  char* in = input.data();
  size_t in_left = input.size();
  char* out = output.data();
  size_t out_left = output.size();
  if (call(&in, &in_left, &out, &out_left) == size_t(-1) || in_left != 0) return false;
  output.resize(output.size() - out_left);
  return true;
}

// to_utf8: CP932 to UTF-8, else UTF-8 to CP932.
void compare(bool to_utf8, const std::string& input) {
  // Opened once: opening per input would dominate.
  static iconv_t glibc_pair[2] = {::iconv_open("UTF-8", "CP932"), ::iconv_open("CP932", "UTF-8")};
  static iconv_t web_pair[2] = {tavelo::platform::web_iconv_open("UTF-8", "CP932"),
                                tavelo::platform::web_iconv_open("CP932", "UTF-8")};
  iconv_t glibc = glibc_pair[to_utf8 ? 0 : 1];
  iconv_t web = web_pair[to_utf8 ? 0 : 1];
  ::iconv(glibc, nullptr, nullptr, nullptr, nullptr);
  std::string expected, got;
  bool glibc_ok = convert([&](char** a, size_t* b, char** c, size_t* d) { return ::iconv(glibc, a, b, c, d); }, input,
                          expected);
  bool web_ok = convert([&](char** a, size_t* b, char** c, size_t* d) { return tavelo::platform::web_iconv(web, a, b, c, d); },
                        input, got);
  if (glibc_ok != web_ok || (glibc_ok && expected != got)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  compare(true, input);
  compare(false, input);
  return 0;
}
