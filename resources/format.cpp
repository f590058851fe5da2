// Typed printf-style formatting.

#include "resources/format.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tavelo::resources {

std::string format_text(std::string_view format, std::initializer_list<FormatArgument> arguments) {
  std::string out;
  out.reserve(format.size() + 32);
  const FormatArgument* next = arguments.begin();
  const FormatArgument* end = arguments.end();
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    size_t start = i++;
    if (i < format.size() && format[i] == '%') {
      out.push_back('%');
      continue;
    }
    while (i < format.size() && std::string_view("-0+ #").find(format[i]) != std::string_view::npos) ++i;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
    if (i < format.size() && format[i] == '.') {
      ++i;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
    }
    while (i < format.size() && std::string_view("hlLqjzt").find(format[i]) != std::string_view::npos) ++i;
    if (i >= format.size()) {
      out.append(format.substr(start));
      break;
    }
    char conversion = format[i];
    // The conversion without its length modifiers, rebuilt for snprintf.
    std::string conversion_text;
    for (size_t k = start; k < i; ++k) {
      if (std::string_view("hlLqjzt").find(format[k]) == std::string_view::npos) conversion_text.push_back(format[k]);
    }
    FormatArgument missing(0);
    const FormatArgument& argument = next != end ? *next++ : missing;
    char buffer[512];
    int written = 0;
    switch (conversion) {
      case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'c': {
        long long value = argument.kind == FormatArgument::Kind::Real ? (long long)argument.real : argument.integer;
        if (argument.kind == FormatArgument::Kind::Text) {
          out.append(argument.text);
          continue;
        }
        if (conversion == 'u' || conversion == 'x' || conversion == 'X' || conversion == 'o') {
          // Engine values are 32-bit; print their unsigned 32-bit form.
          value = (long long)(uint32_t)value;
        }
        conversion_text += (conversion == 'c') ? "c" : std::string("ll") + conversion;
        written = conversion == 'c' ? std::snprintf(buffer, sizeof buffer, conversion_text.c_str(), int(value))
                                    : std::snprintf(buffer, sizeof buffer, conversion_text.c_str(), value);
        break;
      }
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': {
        double value = argument.kind == FormatArgument::Kind::Integer ? double(argument.integer) : argument.real;
        if (argument.kind == FormatArgument::Kind::Text) {
          out.append(argument.text);
          continue;
        }
        conversion_text.push_back(conversion);
        written = std::snprintf(buffer, sizeof buffer, conversion_text.c_str(), value);
        break;
      }
      case 's': {
        std::string text = argument.kind == FormatArgument::Kind::Text ? std::string(argument.text)
                           : argument.kind == FormatArgument::Kind::Integer ? std::to_string(argument.integer)
                                                                             : std::to_string(argument.real);
        conversion_text.push_back('s');
        int length = std::snprintf(nullptr, 0, conversion_text.c_str(), text.c_str());
        if (length > 0) {
          std::vector<char> wide(size_t(length) + 1);
          std::snprintf(wide.data(), wide.size(), conversion_text.c_str(), text.c_str());
          out.append(wide.data(), size_t(length));
        }
        continue;
      }
      case 'p': {
        written = std::snprintf(buffer, sizeof buffer, "%llx", (unsigned long long)argument.integer);
        break;
      }
      default:
        out.append(format.substr(start, i - start + 1));
        continue;
    }
    if (written > 0) out.append(buffer, std::min<size_t>(size_t(written), sizeof buffer - 1));
  }
  return out;
}

void truncate_utf8(std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return;
  size_t cut = max_bytes;
  while (cut > 0 && (uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
}

}  // namespace tavelo::resources
