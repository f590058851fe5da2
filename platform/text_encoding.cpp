// iconv-backed code page conversion.

#include "platform/text_encoding.h"

#include <iconv.h>
#if defined(__EMSCRIPTEN__)
#include "platform/web/web_iconv.h"
#endif

#include <cerrno>
#include <string>

namespace tavelo::platform {
namespace {

enum class ConversionEnd { Complete, Invalid };

// Converts input with the descriptor; on an invalid or incomplete sequence
// either stops (strict) or writes '?' for one byte and goes on.
std::optional<std::string> convert(void* descriptor, std::string_view input, bool lossy) {
  iconv_t cd = static_cast<iconv_t>(descriptor);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string output;
  output.resize(input.size() * 4 + 16);
  char* in = const_cast<char*>(input.data());
  size_t in_left = input.size();
  char* out = output.data();
  size_t out_left = output.size();
  while (in_left > 0) {
    size_t result = iconv(cd, &in, &in_left, &out, &out_left);
    if (result != size_t(-1)) break;
    if (errno == E2BIG) {
      size_t used = size_t(out - output.data());
      output.resize(output.size() * 2);
      out = output.data() + used;
      out_left = output.size() - used;
      continue;
    }
    if (!lossy) return std::nullopt;
    if (out_left == 0) continue;
    *out++ = '?';
    --out_left;
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  output.resize(size_t(out - output.data()));
  return output;
}

}  // namespace

std::unique_ptr<TextEncoding> TextEncoding::create(std::string_view code_page) {
  std::string name(code_page);
  iconv_t to_utf8 = iconv_open("UTF-8", name.c_str());
  if (to_utf8 == iconv_t(-1)) return nullptr;
  iconv_t from_utf8 = iconv_open(name.c_str(), "UTF-8");
  if (from_utf8 == iconv_t(-1)) {
    iconv_close(to_utf8);
    return nullptr;
  }
  std::unique_ptr<TextEncoding> encoding(new TextEncoding());
  encoding->m_code_page = name;
  encoding->m_to_utf8 = to_utf8;
  encoding->m_from_utf8 = from_utf8;
  // A byte leads a double-byte character when it cannot stand alone but some
  // trail byte completes it; failing that, a longer character when two or
  // three continuation bytes complete it (UTF-8).
  for (int byte = 0x80; byte < 0x100; ++byte) {
    char single[1] = {char(byte)};
    if (convert(to_utf8, std::string_view(single, 1), false)) continue;
    for (int trail : {0x40, 0x80, 0xA1}) {
      char pair[2] = {char(byte), char(trail)};
      if (convert(to_utf8, std::string_view(pair, 2), false)) {
        encoding->m_lead_bytes[size_t(byte)] = 1;
        break;
      }
    }
    for (size_t length = 3; length <= 4 && encoding->m_lead_bytes[size_t(byte)] == 0; ++length) {
      for (int second : {0x80, 0x90, 0xA0}) {
        char sequence[4] = {char(byte), char(second), char(0x80), char(0x80)};
        if (convert(to_utf8, std::string_view(sequence, length), false)) {
          encoding->m_lead_bytes[size_t(byte)] = uint8_t(length - 1);
          break;
        }
      }
    }
  }
  std::string upper;
  for (char c : name) {
    if (c != '-' && c != '_') upper += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
  }
  encoding->m_utf8 = upper == "UTF8";
  return encoding;
}

TextEncoding::~TextEncoding() {
  if (m_to_utf8) iconv_close(static_cast<iconv_t>(m_to_utf8));
  if (m_from_utf8) iconv_close(static_cast<iconv_t>(m_from_utf8));
}

std::optional<std::string> TextEncoding::to_utf8(std::string_view game_text) const {
  std::lock_guard lock(m_mutex);
  return convert(m_to_utf8, game_text, false);
}

std::optional<std::string> TextEncoding::from_utf8(std::string_view utf8_text) const {
  std::lock_guard lock(m_mutex);
  return convert(m_from_utf8, utf8_text, false);
}

std::string TextEncoding::to_utf8_lossy(std::string_view game_text) const {
  std::lock_guard lock(m_mutex);
  return *convert(m_to_utf8, game_text, true);
}

std::string TextEncoding::from_utf8_lossy(std::string_view utf8_text) const {
  std::lock_guard lock(m_mutex);
  return *convert(m_from_utf8, utf8_text, true);
}

}  // namespace tavelo::platform
