// The environment file parser and its lookups.

#include "resources/environment.h"

#include <algorithm>

#include "resources/settings_store.h"

namespace tavelo::resources {
namespace {

bool is_separator(char c) { return uint8_t(c) <= 0x20; }

// The next line as the file reader sees it: up to "\n" (consumed) or 511
// bytes, whichever comes first, without a final "\r".
std::string_view take_line(std::string_view& rest) {
  size_t reach = std::min(rest.size(), kEnvironmentMaxLineBytes);
  size_t newline = rest.substr(0, reach).find('\n');
  std::string_view line;
  if (newline != std::string_view::npos) {
    line = rest.substr(0, newline);
    rest.remove_prefix(newline + 1);
  } else {
    line = rest.substr(0, reach);
    rest.remove_prefix(reach);
  }
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

LineOutcome add_environment_line(Environment& environment, const LeadByteTable& lead,
                                 std::string_view line) {
  if (line.starts_with("[EOF]")) return LineOutcome::EndOfFile;
  if (line.empty() || is_separator(line[0]) || line[0] == '/') return LineOutcome::Continue;

  size_t key_end = 0;
  while (key_end < line.size() && !is_separator(line[key_end])) ++key_end;
  size_t value_start = key_end;
  while (value_start < line.size() && is_separator(line[value_start])) ++value_start;
  if (value_start >= line.size() || value_start - key_end >= kEnvironmentValueReach) return LineOutcome::Continue;
  size_t value_end = value_start;
  while (value_end < line.size() && !is_separator(line[value_end])) ++value_end;

  EnvironmentEntry entry;
  entry.key = std::string(line.substr(0, key_end));
  entry.value = std::string(line.substr(value_start, value_end - value_start));
  // "|" stands for a blank, so values can hold blanks. Only a single-byte
  // "|" counts: 0x7C is also the second byte of double-byte characters such
  // as "ポ", which must stay intact.
  for (size_t position = 0; position < entry.value.size();) {
    size_t length = resources::character_length(lead, entry.value, position);
    if (length == 1 && entry.value[position] == '|') entry.value[position] = ' ';
    position += length;
  }
  environment.entries.push_back(std::move(entry));
  return LineOutcome::Continue;
}

Environment parse_environment(std::string_view file_bytes, const LeadByteTable& lead) {
  Environment environment;
  for (size_t count = 0; count < kEnvironmentMaxLines && !file_bytes.empty(); ++count) {
    if (add_environment_line(environment, lead, take_line(file_bytes)) == LineOutcome::EndOfFile) break;
  }
  return environment;
}

const std::string* find_environment_value(const Environment& environment, std::string_view key) {
  for (const EnvironmentEntry& entry : environment.entries) {
    if (entry.key == key) return &entry.value;
  }
  return nullptr;
}

int32_t env_int(const Environment& environment, std::string_view key, int32_t default_value) {
  const std::string* value = find_environment_value(environment, key);
  return value ? resources::parse_leading_int(*value) : default_value;
}

std::string env_text(const Environment& environment, const LeadByteTable& lead, std::string_view key,
                     size_t size, std::string_view default_text) {
  const std::string* value = find_environment_value(environment, key);
  return resources::cut_game_text(lead, value ? std::string_view(*value) : default_text, size > 0 ? size - 1 : 0);
}

}  // namespace tavelo::resources
