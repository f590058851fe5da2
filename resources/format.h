#pragma once
// printf-style formatting with typed arguments, for engine messages. The
// format is trusted (it comes from the engine's source); arguments are checked
// against their conversions, so a mismatch prints the argument as it is
// instead of reading garbage. Supports flags "-0+ #", width, precision and the
// conversions d i u x X o c s f F e E g G p %.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tavelo::resources {

struct FormatArgument {
  enum class Kind { Integer, Real, Text };
  Kind kind = Kind::Integer;
  int64_t integer = 0;
  double real = 0;
  std::string_view text;

  FormatArgument(int value) : kind(Kind::Integer), integer(value) {}
  FormatArgument(unsigned value) : kind(Kind::Integer), integer(value) {}
  FormatArgument(long value) : kind(Kind::Integer), integer(value) {}
  FormatArgument(unsigned long value) : kind(Kind::Integer), integer(int64_t(value)) {}
  FormatArgument(long long value) : kind(Kind::Integer), integer(value) {}
  FormatArgument(unsigned long long value) : kind(Kind::Integer), integer(int64_t(value)) {}
  FormatArgument(double value) : kind(Kind::Real), real(value) {}
  FormatArgument(float value) : kind(Kind::Real), real(value) {}
  FormatArgument(std::string_view value) : kind(Kind::Text), text(value) {}
  FormatArgument(const char* value) : kind(Kind::Text), text(value ? value : "(null)") {}
  FormatArgument(const std::string& value) : kind(Kind::Text), text(value) {}
};

std::string format_text(std::string_view format, std::initializer_list<FormatArgument> arguments);

// Cuts text to at most max_bytes without splitting a UTF-8 sequence.
void truncate_utf8(std::string& text, size_t max_bytes);

}  // namespace tavelo::resources
