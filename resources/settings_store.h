#pragma once
// The per-user settings store ("registry"): one text file per section pair,
// <settings directory>/<global section>/<local section>.reg, in the text form
// of a registry export. Owns the file format (parse, edit, write back) and the
// five registry operations; resources/settings.h supplies the game's section pair
// and every value's default. Stateless: each operation reads the file itself;
// a write holds an advisory lock on the file's directory from its read to its
// replacement, so engines sharing a file never lose each other's values.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "resources/multibyte.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::resources {

// ---- text helpers shared with the environment file

// The C atoi rules: leading white space, an optional sign, then decimal digits
// up to the first other byte ("12abc" is 12, "abc" is 0). Values beyond the
// 32-bit range saturate instead of wrapping.
int32_t parse_leading_int(std::string_view text);

// ---- the file format

// One line of a settings file, or a value line with its continuation lines.
// Lines the engine does not understand are kept verbatim so a rewrite never
// loses them.
struct SettingsLine {
  std::string raw;            // as in the file, without the final "\n"
  bool is_value = false;      // a "Name"=... line
  bool is_string = false;     // "Name"="text"; every other kind reads as absent
  std::string name;           // game text
  std::string value;          // game text, when is_string
};

struct SettingsDocument {
  std::vector<SettingsLine> lines;
};

// Parses a settings file. Never fails: malformed lines become opaque lines.
SettingsDocument parse_settings(std::string_view file_bytes, const platform::TextEncoding& encoding);

// The header, a blank line and the key line of a new file.
SettingsDocument new_settings_document(std::string_view global_section, std::string_view local_section,
                                       const platform::TextEncoding& encoding);

std::string serialize_settings(const SettingsDocument& document);

// The string value called name (ASCII letters without case), the last
// occurrence deciding. nullopt when absent or not a string.
std::optional<std::string> find_string_value(const SettingsDocument& document, std::string_view name,
                                             const platform::TextEncoding& encoding);

// Sets name to a string value: the first line of that name is replaced, later
// ones are dropped, and a new name is appended.
void set_string_value(SettingsDocument& document, std::string_view name, std::string_view value,
                      const platform::TextEncoding& encoding);

// Game text as it appears between the quotes of the file: UTF-8, with `\` and
// `"` escaped and every byte that does not survive the round trip through
// UTF-8 (undecodable bytes, control bytes) written as \xNN.
std::string encode_settings_text(std::string_view game_text, const platform::TextEncoding& encoding);
std::string decode_settings_text(std::string_view quoted_body, const platform::TextEncoding& encoding);

// A section name as a file or directory name (UTF-8): `/` and control
// characters become `_`, and "", "." and ".." are replaced, so a game cannot
// name a path outside the settings directory.
std::string section_path_component(std::string_view section, const platform::TextEncoding& encoding);

// ---- the store

// The settings directory: TAVELO_CONFIG_HOME, else $XDG_CONFIG_HOME/tavelo
// (when absolute), else $HOME/.config/tavelo; nullopt when none is set.
std::optional<std::string> settings_directory_from_environment();

// Where one game's values live.
struct SettingsLocation {
  const platform::TextEncoding& encoding;
  std::string_view directory;       // the settings directory (host path)
  std::string_view global_section;  // game text
  std::string_view local_section;   // game text
};

// <directory>/<global>/<local>.reg, each section name shortened (with a hash
// of the whole name) when it would not fit one file name.
std::string settings_file_path(const SettingsLocation& location);

std::optional<std::string> read_string_value(const SettingsLocation& location, std::string_view name);

struct SettingsAssignment {
  std::string_view name;   // game text
  std::string_view value;  // game text
};

// What a write did. Anything but Written leaves the file as it was.
enum class SettingsWrite {
  Written,     // stored (an unchanged file is not rewritten)
  NoLocation,  // no settings directory is known
  Unreadable,  // the file exists but cannot be read: writing would lose its other values
  Failed,      // the directory or the replacement could not be written
};

// Sets the values in order with one atomic replacement of the file (so a
// crash leaves all of them or none), creating directory and file as needed.
// The replacement is always synced to disk.
[[nodiscard]] SettingsWrite write_string_values(const SettingsLocation& location,
                                                std::span<const SettingsAssignment> assignments);

// ---- the registry operations as scripts and dialogs see them

// The value through parse_leading_int (from at most 511 bytes), or
// default_value when absent or unreadable.
int32_t reg_read_int(const SettingsLocation& location, std::string_view name, int32_t default_value);

struct RegistryText {
  int32_t status = -1;  // 0 when the value was found, -1 when the default was used
  std::string text;     // at most size - 1 bytes
};
RegistryText reg_read_text(const SettingsLocation& location, std::string_view name, std::string_view default_text,
                           size_t size);

// Integers are stored in decimal. Every write is synced; the flushed form
// exists for the callers that depend on it.
SettingsWrite reg_write_int(const SettingsLocation& location, std::string_view name, int32_t value);
SettingsWrite reg_write_text(const SettingsLocation& location, std::string_view name, std::string_view text);
SettingsWrite reg_write_text_flushed(const SettingsLocation& location, std::string_view name,
                                     std::string_view text);

}  // namespace tavelo::resources
