// Arbitrary bytes as a settings file, and as a value stored in one. A value
// must come back byte for byte; a file must parse the same after rewriting.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text_encoding.h"
#include "resources/settings_store.h"

namespace {

bool same_entries(const tavelo::resources::SettingsDocument& a, const tavelo::resources::SettingsDocument& b) {
  if (a.lines.size() != b.lines.size()) return false;
  for (size_t i = 0; i < a.lines.size(); ++i) {
    const tavelo::resources::SettingsLine& x = a.lines[i];
    const tavelo::resources::SettingsLine& y = b.lines[i];
    if (x.raw != y.raw || x.is_value != y.is_value || x.is_string != y.is_string || x.name != y.name ||
        x.value != y.value) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo;
  // Built once: opening the code-page converters per input would dominate.
  static const std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Any game text survives the trip through the file's quoted form.
  std::string encoded = resources::encode_settings_text(bytes, *encoding);
  if (encoded.find('\n') != std::string::npos || encoded.find('\r') != std::string::npos) std::abort();
  if (resources::decode_settings_text(encoded, *encoding) != bytes) std::abort();

  // Rewriting a file keeps every line's meaning.
  resources::SettingsDocument document = resources::parse_settings(bytes, *encoding);
  std::string rewritten = resources::serialize_settings(document);
  if (!same_entries(document, resources::parse_settings(rewritten, *encoding))) std::abort();

  // Setting a value replaces all lines of that name and reads back exactly.
  std::string name = "Name";
  for (const resources::SettingsLine& line : document.lines) {
    if (line.is_value) {
      name = line.name;
      break;
    }
  }
  resources::set_string_value(document, name, bytes.substr(0, 64), *encoding);
  resources::SettingsDocument reread = resources::parse_settings(resources::serialize_settings(document), *encoding);
  if (resources::find_string_value(reread, name, *encoding) != bytes.substr(0, 64)) std::abort();
  return 0;
}
