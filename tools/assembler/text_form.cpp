// Spelling of numbers, floats and string literals in assembler sources.

#include "tools/assembler/text_form.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/text_encoding.h"

namespace tavelo::tools::text_form {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t float_bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

}  // namespace

std::optional<int64_t> parse_integer(std::string_view word) {
  bool negative = false;
  if (!word.empty() && (word[0] == '-' || word[0] == '+')) {
    negative = word[0] == '-';
    word.remove_prefix(1);
  }
  if (word.empty()) return std::nullopt;
  uint64_t value = 0;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    if (word.size() > 15) return std::nullopt;
    for (char c : word) {
      int digit = hex_digit(c);
      if (digit < 0) return std::nullopt;
      value = value * 16 + uint64_t(digit);
    }
  } else {
    if (word.size() > 18) return std::nullopt;
    for (char c : word) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + uint64_t(c - '0');
    }
  }
  return negative ? -int64_t(value) : int64_t(value);
}

std::string format_float(float value) {
  if (std::isnan(value)) return "bits:" + hex32(float_bits(value));
  char buffer[64];
  std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<float> parse_float(std::string_view word) {
  if (word.starts_with("bits:")) {
    std::optional<int64_t> bits = parse_integer(word.substr(5));
    if (!bits || *bits < 0 || *bits > 0xFFFFFFFFll) return std::nullopt;
    uint32_t raw = uint32_t(*bits);
    float value;
    std::memcpy(&value, &raw, 4);
    return value;
  }
  if (!word.empty() && word[0] == '+') word.remove_prefix(1);
  float value = 0;
  std::from_chars_result result = std::from_chars(word.data(), word.data() + word.size(), value);
  if (result.ec != std::errc{} || result.ptr != word.data() + word.size()) return std::nullopt;
  return value;
}

std::string hex32(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", value);
  return buffer;
}

std::string hex8(uint8_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", value);
  return buffer;
}

std::string escape_game_bytes(std::span<const uint8_t> bytes, const platform::TextEncoding& encoding) {
  std::string out;
  auto raw = [&out](uint8_t byte) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
    out += buffer;
  };
  // A character is written as text only when it converts to UTF-8 and back to
  // the very same bytes; everything else stays a raw byte.
  auto round_trips = [&encoding](std::string_view game, std::string& utf8) {
    std::optional<std::string> text = encoding.to_utf8(game);
    if (!text || text->empty()) return false;
    std::optional<std::string> back = encoding.from_utf8(*text);
    if (!back || *back != game) return false;
    utf8 = std::move(*text);
    return true;
  };
  for (size_t i = 0; i < bytes.size();) {
    uint8_t byte = bytes[i];
    switch (byte) {
      case '\\': out += "\\\\"; ++i; continue;
      case '"': out += "\\\""; ++i; continue;
      case '\n': out += "\\n"; ++i; continue;
      case '\r': out += "\\r"; ++i; continue;
      case '\t': out += "\\t"; ++i; continue;
      default: break;
    }
    size_t length = std::min<size_t>(size_t(1) + encoding.lead_bytes()[byte], bytes.size() - i);
    if (byte < 0x20 || byte == 0x7F) {
      raw(byte);
      ++i;
      continue;
    }
    std::string_view game(reinterpret_cast<const char*>(bytes.data() + i), length);
    std::string utf8;
    if (round_trips(game, utf8) && utf8.find_first_of("\\\"") == std::string::npos &&
        (utf8.size() > 1 || (utf8[0] >= 0x20 && utf8[0] < 0x7F))) {
      out += utf8;
      i += length;
    } else {
      raw(byte);
      ++i;
    }
  }
  return out;
}

std::optional<std::string> unescape_literal(std::string_view inside, const platform::TextEncoding& encoding,
                                            std::string& error) {
  std::string out;
  std::string run;  // UTF-8 text waiting for conversion
  auto flush = [&]() {
    if (run.empty()) return true;
    std::optional<std::string> game = encoding.from_utf8(run);
    if (!game) {
      error = "text \"" + run + "\" has no form in code page " + encoding.code_page();
      return false;
    }
    out += *game;
    run.clear();
    return true;
  };
  for (size_t i = 0; i < inside.size(); ++i) {
    char c = inside[i];
    if (c != '\\') {
      run += c;
      continue;
    }
    if (i + 1 >= inside.size()) {
      error = "string ends with a lone backslash";
      return std::nullopt;
    }
    char escape = inside[++i];
    char plain = 0;
    switch (escape) {
      case '\\': plain = '\\'; break;
      case '"': plain = '"'; break;
      case 'n': plain = '\n'; break;
      case 'r': plain = '\r'; break;
      case 't': plain = '\t'; break;
      case '0': plain = '\0'; break;
      case 'x': {
        int high = i + 1 < inside.size() ? hex_digit(inside[i + 1]) : -1;
        int low = i + 2 < inside.size() ? hex_digit(inside[i + 2]) : -1;
        if (high < 0 || low < 0) {
          error = "\\x needs two hexadecimal digits";
          return std::nullopt;
        }
        if (!flush()) return std::nullopt;
        out += char(high * 16 + low);
        i += 2;
        continue;
      }
      default:
        error = std::string("unknown escape \\") + escape;
        return std::nullopt;
    }
    // Plain escapes are ASCII and keep their byte in every code page we use,
    // but they still go through the raw path so that no conversion touches them.
    if (!flush()) return std::nullopt;
    out += plain;
  }
  if (!flush()) return std::nullopt;
  return out;
}

}  // namespace tavelo::tools::text_form
