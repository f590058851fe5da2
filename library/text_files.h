#pragma once
// Text files opened by scripts: the handle table kept in script::State and the
// readers behind the text-file calls (comma-separated fields and lines, with
// ";" and "//" comments). Handles are plain ints chosen by the engine; a handle
// that was never issued or has been closed is recognised and refused, so a
// script's wrong integer can never reach a file record.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "resources/multibyte.h"

namespace tavelo::library {

// Longest line and field the readers keep, in bytes.
inline constexpr size_t kTextFileLineBytes = 511;

enum class TextFileMode { Read, Write };

struct TextFile {
  int32_t handle = 0;
  TextFileMode mode = TextFileMode::Read;
  // Absent when the file could not be opened: reads then see the end of the
  // file at once and writes do nothing.
  std::optional<platform::File> file;
  // The rest of the current line not yet taken by the field reader.
  std::string pending;
};

struct TextFileTable {
  std::vector<TextFile> files;
  // Handles count up and are never reused within a run, so a closed handle
  // stays invalid even after later opens.
  int32_t last_handle = 0;
};

// Adds a record and returns its handle (always above 0).
int32_t add_text_file(TextFileTable& table, TextFileMode mode, std::optional<platform::File> file);
// The record of an open handle, or null for a handle never issued or closed.
TextFile* find_text_file(TextFileTable& table, int32_t handle);
// Closes the file and forgets the handle; false when the handle is not open.
bool close_text_file(TextFileTable& table, int32_t handle);
void close_all_text_files(TextFileTable& table);

// Everything from ";" or "//" to the end is a comment.
std::string_view cut_comment(std::string_view text);
// Without leading and trailing bytes <= 0x20.
std::string_view trim_blanks(std::string_view text);
// Without one pair of enclosing double quotes.
std::string_view strip_quotes(std::string_view text);

// The next non-empty field of a read handle (trimmed, not yet unquoted);
// nullopt at the end of the file.
std::optional<std::string> read_field(const resources::LeadByteTable& lead, TextFile& file);
// The next non-empty line without its comment, trimmed; nullopt at the end.
std::optional<std::string> read_text_line(TextFile& file);
// Writes text and a line end; false when the handle cannot be written.
bool write_text_line(TextFile& file, std::string_view text);

}  // namespace tavelo::library
