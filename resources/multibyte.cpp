// Multibyte text helpers.

#include "resources/multibyte.h"

namespace tavelo::resources {
namespace {

template <typename Transform>
std::string map_single_bytes(const LeadByteTable& lead, std::string_view text, Transform transform) {
  std::string result(text);
  for (size_t i = 0; i < result.size();) {
    size_t length = character_length(lead, result, i);
    if (length == 1) result[i] = transform(result[i]);
    i += length;
  }
  return result;
}

// Positions of the last separator and of the last dot after it, multibyte-aware.
struct PathMarks {
  size_t name_start = 0;
  size_t last_dot = std::string_view::npos;
};

PathMarks scan_path(const LeadByteTable& lead, std::string_view path) {
  PathMarks marks;
  for (size_t i = 0; i < path.size();) {
    size_t length = character_length(lead, path, i);
    if (length == 1) {
      char c = path[i];
      if (c == '\\' || c == '/' || c == ':') {
        marks.name_start = i + 1;
        marks.last_dot = std::string_view::npos;
      } else if (c == '.') {
        marks.last_dot = i;
      }
    }
    i += length;
  }
  return marks;
}

}  // namespace

std::string to_upper(const LeadByteTable& lead, std::string_view text) {
  return map_single_bytes(lead, text, ascii_upper);
}

std::string to_lower(const LeadByteTable& lead, std::string_view text) {
  return map_single_bytes(lead, text, ascii_lower);
}

size_t character_count(const LeadByteTable& lead, std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i += character_length(lead, text, i)) ++count;
  return count;
}

size_t byte_offset_of_character(const LeadByteTable& lead, std::string_view text, size_t character) {
  size_t i = 0;
  for (size_t n = 0; n < character && i < text.size(); ++n) i += character_length(lead, text, i);
  return i < text.size() ? i : text.size();
}

int compare_text(const LeadByteTable& lead, std::string_view a, std::string_view b, Case letter_case) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    size_t length_a = character_length(lead, a, i);
    size_t length_b = character_length(lead, b, j);
    // A multibyte character's bytes in order make its code (big-endian).
    uint32_t code_a = uint8_t(a[i]);
    uint32_t code_b = uint8_t(b[j]);
    for (size_t k = 1; k < length_a; ++k) code_a = code_a << 8 | uint8_t(a[i + k]);
    for (size_t k = 1; k < length_b; ++k) code_b = code_b << 8 | uint8_t(b[j + k]);
    if (length_a == 1 && letter_case == Case::Insensitive) code_a = uint8_t(ascii_lower(a[i]));
    if (length_b == 1 && letter_case == Case::Insensitive) code_b = uint8_t(ascii_lower(b[j]));
    if (code_a != code_b) return code_a < code_b ? -1 : 1;
    i += length_a;
    j += length_b;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

int find_text(const LeadByteTable& lead, std::string_view text, std::string_view pattern, Case letter_case) {
  int index = 0;
  for (size_t i = 0; i <= text.size(); ++index) {
    if (text.size() - i >= pattern.size() &&
        compare_text(lead, text.substr(i, pattern.size()), pattern, letter_case) == 0) {
      return index;
    }
    if (i == text.size()) break;
    i += character_length(lead, text, i);
  }
  return -1;
}

std::string_view file_name_part(const LeadByteTable& lead, std::string_view path, Extension extension) {
  PathMarks marks = scan_path(lead, path);
  std::string_view name = path.substr(marks.name_start);
  if (extension == Extension::Strip && marks.last_dot != std::string_view::npos) {
    name = path.substr(marks.name_start, marks.last_dot - marks.name_start);
  }
  return name;
}

std::string_view extension_part(const LeadByteTable& lead, std::string_view path) {
  PathMarks marks = scan_path(lead, path);
  if (marks.last_dot == std::string_view::npos) return {};
  return path.substr(marks.last_dot);
}

std::string cut_game_text(const LeadByteTable& lead, std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  size_t end = 0;
  while (end < text.size()) {
    size_t length = character_length(lead, text, end);
    if (end + length > max_bytes) break;
    end += length;
  }
  return std::string(text.substr(0, end));
}

}  // namespace tavelo::resources
