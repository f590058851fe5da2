#pragma once
// Names shared by the assembler and the disassembler: the symbolic parts of
// variable flags and value types, number and float spelling, and the escapes
// of string literals. Keeping them in one place keeps the two tools in step.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::tools::text_form {

// Index = code. Codes without a name are written "scope:N", "type:N", "step:N".
inline constexpr std::array<std::string_view, 4> kScopeNames = {"eternal", "global", "thread", "local"};
inline constexpr std::array<std::string_view, 6> kTypeNames = {"int",       "float",       "string",
                                                               "int_array", "float_array", "string_array"};
inline constexpr std::array<std::string_view, 5> kStepNames = {"", "pre_inc", "pre_dec", "post_inc", "post_dec"};
inline constexpr std::array<std::string_view, 4> kUnaryNames = {"", "neg", "not", "bit_not"};

// Index of name in names, or -1.
template <size_t N>
int find_name(const std::array<std::string_view, N>& names, std::string_view name) {
  for (size_t i = 0; i < N; ++i) {
    if (!names[i].empty() && names[i] == name) return int(i);
  }
  return -1;
}

// Decimal or 0x hexadecimal with an optional sign.
std::optional<int64_t> parse_integer(std::string_view word);

// A float as the shortest decimal that reads back to the same bits; NaNs as
// "bits:0xXXXXXXXX".
std::string format_float(float value);
std::optional<float> parse_float(std::string_view word);

std::string hex32(uint32_t value);  // 0x0000ABCD
std::string hex8(uint8_t value);    // 0xAB

// The inside of a string literal for game bytes: printable ASCII as is,
// characters of the code page that convert both ways as UTF-8, everything else
// as \xHH.
std::string escape_game_bytes(std::span<const uint8_t> bytes, const platform::TextEncoding& encoding);

// The game bytes of a literal's inside (without the quotes). Runs of text are
// converted from UTF-8 to the code page; \xHH gives a raw byte. nullopt with
// error set on a bad escape or text the code page cannot hold.
std::optional<std::string> unescape_literal(std::string_view inside, const platform::TextEncoding& encoding,
                                            std::string& error);

}  // namespace tavelo::tools::text_form
