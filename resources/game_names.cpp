// Lookup keys and directory-scan exclusions.

#include "resources/game_names.h"

#include <array>

#include "platform/text_encoding.h"
#include "resources/name_hash.h"

namespace tavelo::resources {
namespace {

constexpr std::array<std::string_view, 13> kSkippedExtensions = {
    ".lnk", ".exe", ".com", ".dll", ".log", ".sue", ".vix", ".mdb", ".tvs", ".tvh", ".db", ".txt", ".bat",
};

bool equal_ignoring_case(const LeadByteTable& lead, std::string_view a, std::string_view b) {
  return compare_text(lead, a, b, Case::Insensitive) == 0;
}

}  // namespace

uint32_t lookup_key(const LeadByteTable& lead, std::string_view name) {
  return name_hash(to_lower(lead, file_name_part(lead, name, Extension::Keep)));
}

std::string game_name_from_disk(const platform::TextEncoding& encoding, std::string_view disk_name) {
  std::optional<std::string> converted = encoding.from_utf8(disk_name);
  return converted ? std::move(*converted) : std::string(disk_name);
}

bool is_skipped_directory(const LeadByteTable& lead, std::string_view name) {
  if (!name.empty() && name.back() == '.') return true;
  if (equal_ignoring_case(lead, name, "debuginfo") || equal_ignoring_case(lead, name, "mdb")) return true;
  return find_text(lead, name, "backup", Case::Sensitive) >= 0;
}

bool is_skipped_file(const LeadByteTable& lead, std::string_view name) {
  std::string_view extension = extension_part(lead, name);
  if (extension.empty()) return false;
  for (std::string_view skipped : kSkippedExtensions) {
    if (equal_ignoring_case(lead, extension, skipped)) return true;
  }
  return false;
}

bool is_sound_file(const LeadByteTable& lead, std::string_view name) {
  std::string_view extension = extension_part(lead, name);
  return equal_ignoring_case(lead, extension, ".wav") || equal_ignoring_case(lead, extension, ".ogg");
}

bool has_directory_part(const LeadByteTable& lead, std::string_view name) {
  for (size_t i = 0; i < name.size(); i += character_length(lead, name, i)) {
    if (name[i] == '\\') return true;
  }
  return false;
}

}  // namespace tavelo::resources
