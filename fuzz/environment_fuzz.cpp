// Arbitrary bytes as an environment file: the parser and both lookups. Every
// entry must obey the line rules whatever the input.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "resources/environment.h"
#include "platform/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo;
  // Built once: opening the code-page converters per input would dominate.
  static const std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  const resources::LeadByteTable& lead = encoding->lead_bytes();

  std::string_view file(reinterpret_cast<const char*>(data), size);
  resources::Environment environment = resources::parse_environment(file, lead);
  if (environment.entries.size() > resources::kEnvironmentMaxLines) std::abort();
  for (const resources::EnvironmentEntry& entry : environment.entries) {
    if (entry.key.empty() || entry.value.empty()) std::abort();
    if (entry.key[0] == '/' || entry.key.size() > resources::kEnvironmentMaxLineBytes) std::abort();
    if (entry.key.size() + entry.value.size() >= resources::kEnvironmentMaxLineBytes) std::abort();
    for (char c : entry.key) {
      if (uint8_t(c) <= 0x20) std::abort();
    }
    for (char c : entry.value) {
      if (uint8_t(c) < 0x20) std::abort();
    }
    // The first entry of a key is the one found.
    const std::string* found = resources::find_environment_value(environment, entry.key);
    if (!found) std::abort();
    (void)resources::env_int(environment, entry.key, -1);
    std::string cut = resources::env_text(environment, lead, entry.key, 8, "");
    if (cut.size() > 7 || std::string_view(*found).substr(0, cut.size()) != cut) std::abort();
  }
  return 0;
}
