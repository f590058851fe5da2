#pragma once
// The environment file: the game's fixed configuration, shipped with the game
// and read once at start-up into an ordered table of {key, value} (the
// Environment record, kept in resources::State). Owns the line parser, which works
// on the file's bytes so it can be fuzzed, and the lookups env_int and
// env_text that the cached accessors of resources/settings.h are built on. Start-up
// finds the file and hands its bytes to parse_environment.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "resources/multibyte.h"

namespace tavelo::resources {

struct EnvironmentEntry {
  std::string key;    // game text, compared with case
  std::string value;  // game text; "|" already turned into blanks
};

struct Environment {
  // In file order. A repeated key is stored again but never found: the first
  // entry of a key wins.
  std::vector<EnvironmentEntry> entries;
};

// At most this many lines are read, comment lines included.
inline constexpr size_t kEnvironmentMaxLines = 400;
// Longer lines are split: the rest counts as the next line.
inline constexpr size_t kEnvironmentMaxLineBytes = 511;
// The value must start within this many bytes after the end of the key.
inline constexpr size_t kEnvironmentValueReach = 100;

enum class LineOutcome { Continue, EndOfFile };

// Takes one line (without its line end) into the table. A line starting with
// "[EOF]" ends the file; one starting with a byte <= 0x20 or "/" is a comment.
LineOutcome add_environment_line(Environment& environment, const LeadByteTable& lead,
                                 std::string_view line);

// Parses a whole file: lines end at "\n" (a "\r" before it is dropped) or
// after 511 bytes, and at most 400 are read.
Environment parse_environment(std::string_view file_bytes, const LeadByteTable& lead);

// The value of the first entry whose key matches exactly, or nullptr.
const std::string* find_environment_value(const Environment& environment, std::string_view key);

// The value through the C atoi rules, or default_value when the key is absent.
int32_t env_int(const Environment& environment, std::string_view key, int32_t default_value);

// The value (or default_text) cut to at most size - 1 bytes, never in the
// middle of a double-byte character.
std::string env_text(const Environment& environment, const LeadByteTable& lead, std::string_view key,
                     size_t size, std::string_view default_text);

}  // namespace tavelo::resources
