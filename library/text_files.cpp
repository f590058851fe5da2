// Text files opened by scripts: handles, field and line readers.

#include "library/text_files.h"

#include <algorithm>

namespace tavelo::library {

int32_t add_text_file(TextFileTable& table, TextFileMode mode, std::optional<platform::File> file) {
  // Wrapping after two billion opens restarts at 1, skipping handles still open.
  do {
    table.last_handle = table.last_handle == INT32_MAX ? 1 : table.last_handle + 1;
  } while (find_text_file(table, table.last_handle));
  TextFile record;
  record.handle = table.last_handle;
  record.mode = mode;
  record.file = std::move(file);
  table.files.push_back(std::move(record));
  return table.last_handle;
}

TextFile* find_text_file(TextFileTable& table, int32_t handle) {
  if (handle <= 0) return nullptr;
  for (TextFile& file : table.files) {
    if (file.handle == handle) return &file;
  }
  return nullptr;
}

bool close_text_file(TextFileTable& table, int32_t handle) {
  auto it = std::find_if(table.files.begin(), table.files.end(),
                         [handle](const TextFile& file) { return file.handle == handle; });
  if (it == table.files.end() || handle <= 0) return false;
  if (it->file) it->file->close();
  table.files.erase(it);
  return true;
}

void close_all_text_files(TextFileTable& table) {
  for (TextFile& file : table.files) {
    if (file.file) file.file->close();
  }
  table.files.clear();
}

std::string_view cut_comment(std::string_view text) {
  // ';' and '/' are below every trail byte of the game code page, so a byte
  // search never cuts a double-byte character.
  size_t end = text.find(';');
  size_t slashes = text.find("//");
  if (slashes < end) end = slashes;
  return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string_view trim_blanks(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && uint8_t(text[start]) <= 0x20) ++start;
  size_t end = text.size();
  while (end > start && uint8_t(text[end - 1]) <= 0x20) --end;
  return text.substr(start, end - start);
}

std::string_view strip_quotes(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

namespace {

// Byte offset of the first comma that starts a character, or npos.
size_t find_comma(const resources::LeadByteTable& lead, std::string_view text) {
  for (size_t i = 0; i < text.size(); i += resources::character_length(lead, text, i)) {
    if (text[i] == ',') return i;
  }
  return std::string_view::npos;
}

std::optional<std::string> next_line(TextFile& file) {
  if (file.mode != TextFileMode::Read || !file.file) return std::nullopt;
  return file.file->read_line(kTextFileLineBytes);
}

}  // namespace

std::optional<std::string> read_field(const resources::LeadByteTable& lead, TextFile& file) {
  for (;;) {
    if (!file.pending.empty()) {
      std::string_view pending = file.pending;
      size_t comma = find_comma(lead, pending);
      std::string field;
      if (comma == std::string_view::npos) {
        field = trim_blanks(cut_comment(pending));
        file.pending.clear();
      } else {
        field = trim_blanks(cut_comment(pending.substr(0, comma)));
        // A comma at the very end leaves one blank pending: the empty field
        // after it is skipped like any other.
        std::string rest(pending.substr(comma + 1));
        file.pending = rest.empty() ? std::string(" ") : std::move(rest);
      }
      if (!field.empty()) return field;
      continue;
    }
    std::optional<std::string> line = next_line(file);
    if (!line) return std::nullopt;
    file.pending = trim_blanks(cut_comment(*line));
  }
}

std::optional<std::string> read_text_line(TextFile& file) {
  // What the field reader left of a line comes first, so mixing the two
  // readers loses nothing.
  std::string pending = std::move(file.pending);
  file.pending.clear();
  std::string_view rest = trim_blanks(cut_comment(pending));
  if (!rest.empty()) return std::string(rest);
  for (;;) {
    std::optional<std::string> line = next_line(file);
    if (!line) return std::nullopt;
    std::string_view text = trim_blanks(cut_comment(*line));
    if (!text.empty()) return std::string(text);
  }
}

bool write_text_line(TextFile& file, std::string_view text) {
  if (file.mode != TextFileMode::Write || !file.file) return false;
  // Text mode on the games' home platform ends lines with CR LF; the files
  // stay byte-identical to what the games expect to read back.
  return file.file->write(text) && file.file->write(std::string_view("\r\n"));
}

}  // namespace tavelo::library
