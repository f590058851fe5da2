// The per-user settings store: a registry-export text file per section pair.

#include "resources/settings_store.h"

#include <cstdlib>
#include <limits>

#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/system.h"
#include "platform/text_encoding.h"

namespace tavelo::resources {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
// Integers are read from at most this many bytes of a value.
constexpr size_t kIntegerReadLimit = 511;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_escaped_byte(std::string& out, uint8_t byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 15];
}

// Escapes the ASCII bytes of UTF-8 text that cannot stand between quotes on
// one line. Bytes of multibyte UTF-8 sequences are all >= 0x80 and pass.
void append_escaped_utf8(std::string& out, std::string_view utf8) {
  for (char c : utf8) {
    uint8_t byte = uint8_t(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      append_escaped_byte(out, byte);
    } else {
      out += c;
    }
  }
}

// Reads a quoted text starting at text[position] == '"'. On success returns
// the body between the quotes (escapes untouched) and moves position past the
// closing quote.
std::optional<std::string_view> take_quoted(std::string_view text, size_t& position) {
  if (position >= text.size() || text[position] != '"') return std::nullopt;
  size_t start = position + 1;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;  // the escaped byte, whatever it is
      continue;
    }
    if (text[i] == '"') {
      position = i + 1;
      return text.substr(start, i - start);
    }
  }
  return std::nullopt;
}

// Fills the value fields of line from text (its raw text without a final
// "\r"); leaves an opaque line when the text is not a "Name"=... line.
void classify_line(SettingsLine& line, std::string_view text, const platform::TextEncoding& encoding) {
  size_t position = 0;
  std::optional<std::string_view> name = take_quoted(text, position);
  if (!name || position >= text.size() || text[position] != '=') return;
  ++position;
  line.is_value = true;
  line.name = decode_settings_text(*name, encoding);
  if (position < text.size() && text[position] == '"') {
    std::optional<std::string_view> value = take_quoted(text, position);
    bool only_blanks_after = true;
    for (size_t i = position; value && i < text.size(); ++i) only_blanks_after = only_blanks_after && is_blank(text[i]);
    if (value && only_blanks_after) {
      line.is_string = true;
      line.value = decode_settings_text(*value, encoding);
    }
  }
}

bool continues_past_end(const SettingsLine& line) {
  std::string_view raw = line.raw;
  if (raw.ends_with('\r')) raw.remove_suffix(1);
  return line.is_value && !line.is_string && raw.ends_with('\\');
}

bool names_match(std::string_view a, std::string_view b, const platform::TextEncoding& encoding) {
  return a.size() == b.size() && compare_text(encoding.lead_bytes(), a, b, Case::Insensitive) == 0;
}

std::string format_value_line(std::string_view name, std::string_view value, const platform::TextEncoding& encoding) {
  return "\"" + encode_settings_text(name, encoding) + "\"=\"" + encode_settings_text(value, encoding) + "\"";
}

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

int32_t parse_leading_int(std::string_view text) {
  size_t position = 0;
  while (position < text.size() && is_blank(text[position])) ++position;
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  int64_t magnitude = 0;
  constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
    magnitude = magnitude * 10 + (text[position] - '0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  if (negative) return int32_t(-magnitude);
  return int32_t(magnitude >= kLimit ? kLimit - 1 : magnitude);
}

std::string encode_settings_text(std::string_view game_text, const platform::TextEncoding& encoding) {
  std::string out;
  out.reserve(game_text.size() + game_text.size() / 2);
  // Most text converts as a whole and comes back unchanged.
  if (std::optional<std::string> utf8 = encoding.to_utf8(game_text)) {
    std::optional<std::string> back = encoding.from_utf8(*utf8);
    if (back && *back == game_text) {
      append_escaped_utf8(out, *utf8);
      return out;
    }
  }
  // Otherwise character by character: a character that has no UTF-8 form, or
  // whose UTF-8 form maps back to other bytes (code pages with duplicate
  // codes), is kept as escaped bytes so reading it back gives the same bytes.
  const LeadByteTable& lead = encoding.lead_bytes();
  for (size_t position = 0; position < game_text.size();) {
    size_t length = character_length(lead, game_text, position);
    std::string_view character = game_text.substr(position, length);
    position += length;
    if (length == 1 && uint8_t(character[0]) < 0x80) {
      append_escaped_utf8(out, character);
      continue;
    }
    std::optional<std::string> utf8 = encoding.to_utf8(character);
    std::optional<std::string> back = utf8 ? encoding.from_utf8(*utf8) : std::nullopt;
    if (back && *back == character) {
      append_escaped_utf8(out, *utf8);
    } else {
      for (char c : character) append_escaped_byte(out, uint8_t(c));
    }
  }
  return out;
}

std::string decode_settings_text(std::string_view quoted_body, const platform::TextEncoding& encoding) {
  std::string out;
  std::string pending;  // UTF-8 awaiting conversion
  auto flush = [&] {
    if (pending.empty()) return;
    std::optional<std::string> converted = encoding.from_utf8(pending);
    // Text typed into the file by hand may hold characters the code page
    // lacks; they become '?' rather than losing the whole value.
    out += converted ? *converted : encoding.from_utf8_lossy(pending);
    pending.clear();
  };
  for (size_t i = 0; i < quoted_body.size(); ++i) {
    char c = quoted_body[i];
    if (c == '\\' && i + 1 < quoted_body.size()) {
      char next = quoted_body[i + 1];
      // ASCII is the same in UTF-8 and the game code page, so escaped quotes
      // and backslashes join the text being converted.
      if (next == '\\' || next == '"') {
        pending += next;
        ++i;
        continue;
      }
      if (next == 'x' && i + 3 < quoted_body.size() && hex_value(quoted_body[i + 2]) >= 0 &&
          hex_value(quoted_body[i + 3]) >= 0) {
        flush();
        out += char(hex_value(quoted_body[i + 2]) << 4 | hex_value(quoted_body[i + 3]));
        i += 3;
        continue;
      }
    }
    // A backslash that starts no escape is an ordinary character.
    pending += c;
  }
  flush();
  return out;
}

std::string section_path_component(std::string_view section, const platform::TextEncoding& encoding) {
  std::string utf8 = encoding.to_utf8_lossy(section);
  for (char& c : utf8) {
    uint8_t byte = uint8_t(c);
    if (c == '/' || byte < 0x20 || byte == 0x7F) c = '_';
  }
  if (utf8.empty() || utf8 == ".") return "_";
  if (utf8 == "..") return "__";
  return utf8;
}

SettingsDocument parse_settings(std::string_view file_bytes, const platform::TextEncoding& encoding) {
  SettingsDocument document;
  bool continues = false;  // the previous value line ended with a continuation `\`
  while (!file_bytes.empty()) {
    size_t end = file_bytes.find('\n');
    std::string_view line = file_bytes.substr(0, end);
    file_bytes.remove_prefix(end == std::string_view::npos ? file_bytes.size() : end + 1);
    // The raw text keeps a "\r" so that rewriting the file reproduces the
    // lines it does not change byte for byte.
    std::string_view content = line;
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    // Editors may start the file with a byte order mark; it stays in the
    // raw text but is no part of the first line's meaning.
    if (document.lines.empty() && content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);

    if (continues) {
      // Binary and multi-string values span lines; they stay one entry so
      // replacing the value removes all of them.
      SettingsLine& previous = document.lines.back();
      previous.raw += '\n';
      previous.raw += line;
      continues = content.ends_with('\\');
      continue;
    }
    SettingsLine entry;
    entry.raw = std::string(line);
    classify_line(entry, content, encoding);
    continues = entry.is_value && !entry.is_string && content.ends_with('\\');
    document.lines.push_back(std::move(entry));
  }
  return document;
}

SettingsDocument new_settings_document(std::string_view global_section, std::string_view local_section,
                                       const platform::TextEncoding& encoding) {
  SettingsDocument document;
  document.lines.resize(3);
  document.lines[0].raw = std::string(kHeader);
  document.lines[2].raw = "[HKEY_CURRENT_USER\\Software\\" + section_path_component(global_section, encoding) + "\\" +
                          section_path_component(local_section, encoding) + "]";
  return document;
}

std::string serialize_settings(const SettingsDocument& document) {
  std::string out;
  for (const SettingsLine& line : document.lines) {
    out += line.raw;
    out += '\n';
  }
  return out;
}

std::optional<std::string> find_string_value(const SettingsDocument& document, std::string_view name,
                                             const platform::TextEncoding& encoding) {
  // Like an imported export, a later line of the same name overrides an
  // earlier one, whatever its kind.
  for (size_t i = document.lines.size(); i-- > 0;) {
    const SettingsLine& line = document.lines[i];
    if (!line.is_value || !names_match(line.name, name, encoding)) continue;
    if (!line.is_string) return std::nullopt;
    return line.value;
  }
  return std::nullopt;
}

void set_string_value(SettingsDocument& document, std::string_view name, std::string_view value,
                      const platform::TextEncoding& encoding) {
  SettingsLine replacement;
  replacement.raw = format_value_line(name, value, encoding);
  replacement.is_value = true;
  replacement.is_string = true;
  replacement.name = std::string(name);
  replacement.value = std::string(value);

  bool placed = false;
  std::vector<SettingsLine> kept;
  kept.reserve(document.lines.size() + 1);
  for (SettingsLine& line : document.lines) {
    if (line.is_value && names_match(line.name, name, encoding)) {
      if (!placed) kept.push_back(std::move(replacement));
      placed = true;
      continue;
    }
    kept.push_back(std::move(line));
  }
  if (!placed) {
    // New values go after the last value, before any trailing blank lines.
    size_t insert_at = kept.size();
    while (insert_at > 0 && (kept[insert_at - 1].raw.empty() || kept[insert_at - 1].raw == "\r")) --insert_at;
    // A file cut short after a continued line would swallow the new line;
    // an empty line ends the continuation first.
    if (insert_at > 0 && continues_past_end(kept[insert_at - 1])) kept.insert(kept.begin() + ptrdiff_t(insert_at++), SettingsLine());
    kept.insert(kept.begin() + ptrdiff_t(insert_at), std::move(replacement));
  }
  document.lines = std::move(kept);
}

std::optional<std::string> settings_directory_from_environment() {
  if (std::optional<std::string> home = platform::environment_variable("TAVELO_CONFIG_HOME")) return home;
  // Relative XDG paths are meaningless (they would follow the working directory).
  std::optional<std::string> xdg = platform::environment_variable("XDG_CONFIG_HOME");
  if (xdg && xdg->front() == '/') return *xdg + "/tavelo";
  if (std::optional<std::string> home = platform::environment_variable("HOME")) return *home + "/.config/tavelo";
  return std::nullopt;
}

std::string settings_file_path(const SettingsLocation& location) {
  std::string directory(location.directory);
  if (!directory.empty() && directory.back() != '/') directory += '/';
  // Section names too long for a file name are shortened with a hash of
  // the whole name, so long names still get a file of their own.
  constexpr std::string_view kExtension = ".reg";
  return directory +
         platform::shortened_file_name(section_path_component(location.global_section, location.encoding),
                                       platform::kMaxFileNameBytes) +
         "/" +
         platform::shortened_file_name(section_path_component(location.local_section, location.encoding),
                                       platform::kMaxFileNameBytes - kExtension.size()) +
         std::string(kExtension);
}

std::optional<std::string> read_string_value(const SettingsLocation& location, std::string_view name) {
  if (location.directory.empty()) return std::nullopt;
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(settings_file_path(location));
  if (!bytes) return std::nullopt;
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  return find_string_value(parse_settings(text, location.encoding), name, location.encoding);
}

SettingsWrite write_string_values(const SettingsLocation& location, std::span<const SettingsAssignment> assignments) {
  if (location.directory.empty()) return SettingsWrite::NoLocation;
  std::string path = settings_file_path(location);
  if (!platform::make_directories(directory_of(path))) return SettingsWrite::Failed;
  // Games with the same section pair share the file, and each write rewrites
  // it whole: the file is read again under the lock, so that no engine
  // writes back a copy from before another engine's write and loses it.
  std::optional<platform::DirectoryLock> lock = platform::DirectoryLock::acquire(directory_of(path));
  if (!lock) return SettingsWrite::Failed;

  SettingsDocument document;
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(path);
  if (bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    document = parse_settings(text, location.encoding);
  } else if (platform::file_length(path)) {
    // The file exists but cannot be read: writing now would lose every other
    // value in it.
    return SettingsWrite::Unreadable;
  }
  if (document.lines.empty()) {
    document = new_settings_document(location.global_section, location.local_section, location.encoding);
  }
  for (const SettingsAssignment& assignment : assignments) {
    set_string_value(document, assignment.name, assignment.value, location.encoding);
  }
  std::string text = serialize_settings(document);
  // Rewriting an unchanged file would only cost a synced write (the engine
  // writes the same values at every exit).
  if (bytes && std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) == text) {
    return SettingsWrite::Written;
  }
  std::span<const uint8_t> file(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return platform::write_file_atomically(path, file) ? SettingsWrite::Written : SettingsWrite::Failed;
}

int32_t reg_read_int(const SettingsLocation& location, std::string_view name, int32_t default_value) {
  std::optional<std::string> value = read_string_value(location, name);
  if (!value) return default_value;
  return parse_leading_int(std::string_view(*value).substr(0, kIntegerReadLimit));
}

RegistryText reg_read_text(const SettingsLocation& location, std::string_view name, std::string_view default_text,
                           size_t size) {
  RegistryText result;
  std::optional<std::string> value = read_string_value(location, name);
  result.status = value ? 0 : -1;
  size_t limit = size > 0 ? size - 1 : 0;
  result.text = cut_game_text(location.encoding.lead_bytes(), value ? *value : default_text, limit);
  return result;
}

SettingsWrite reg_write_int(const SettingsLocation& location, std::string_view name, int32_t value) {
  std::string text = std::to_string(value);
  return reg_write_text(location, name, text);
}

SettingsWrite reg_write_text(const SettingsLocation& location, std::string_view name, std::string_view text) {
  SettingsAssignment assignment{name, text};
  return write_string_values(location, std::span(&assignment, 1));
}

SettingsWrite reg_write_text_flushed(const SettingsLocation& location, std::string_view name, std::string_view text) {
  // Every replacement is synced before it is renamed into place, so the
  // flushed form needs nothing more.
  return reg_write_text(location, name, text);
}

}  // namespace tavelo::resources
