#pragma once
// Multibyte-aware text helpers for game text in the game's code page. A
// double-byte character is one character; only ASCII letters have case. The
// lead-byte table comes from platform::TextEncoding for the active code page.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavelo::resources {

// Per byte: how many bytes follow it in its character (0 for a character of
// one byte, 1 for the lead byte of a double-byte character, up to 3 in UTF-8).
using LeadByteTable = std::array<uint8_t, 256>;

// Length in bytes of the character starting at text[position] (1 to 4; a
// character cut short by the end of the text keeps the bytes that are left).
inline size_t character_length(const LeadByteTable& lead, std::string_view text, size_t position) {
  const size_t length = size_t(1) + lead[uint8_t(text[position])];
  const size_t left = text.size() - position;
  return length < left ? length : left;
}

inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string to_upper(const LeadByteTable& lead, std::string_view text);
std::string to_lower(const LeadByteTable& lead, std::string_view text);
size_t character_count(const LeadByteTable& lead, std::string_view text);
// Byte offset of character index (clamped to text.size()).
size_t byte_offset_of_character(const LeadByteTable& lead, std::string_view text, size_t character);

// Cuts game text to at most max_bytes without leaving half of a double-byte
// character at the end.
std::string cut_game_text(const LeadByteTable& lead, std::string_view text, size_t max_bytes);

// Compares character by character; double-byte characters compare as units
// (first byte | second byte << 8), single bytes as unsigned values, ASCII
// letters without case when ignore_case. Returns <0, 0 or >0.
enum class Case { Sensitive, Insensitive };
int compare_text(const LeadByteTable& lead, std::string_view a, std::string_view b, Case letter_case);

// Character index of the first occurrence of pattern in text, or -1.
int find_text(const LeadByteTable& lead, std::string_view text, std::string_view pattern, Case letter_case);

// The file-name part of a path: no drive, no directory (after the last `\` or
// `/` that is not a trail byte) and, when strip_extension, no extension.
enum class Extension { Keep, Strip };
std::string_view file_name_part(const LeadByteTable& lead, std::string_view path, Extension extension);
// The extension including its dot (after the last `.` of the last component), or empty.
std::string_view extension_part(const LeadByteTable& lead, std::string_view path);

}  // namespace tavelo::resources
