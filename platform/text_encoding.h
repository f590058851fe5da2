#pragma once
// Conversion between the game's code page (Shift-JIS by default) and UTF-8,
// used wherever game text meets the host: file names on disk, window captions,
// message boxes, the debug log, standard error. Backed by iconv.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tavelo::platform {

class TextEncoding {
 public:
  // code_page is an iconv name such as "CP932" or "GBK"; nullptr when iconv
  // does not know it.
  static std::unique_ptr<TextEncoding> create(std::string_view code_page);
  ~TextEncoding();
  TextEncoding(const TextEncoding&) = delete;
  TextEncoding& operator=(const TextEncoding&) = delete;

  const std::string& code_page() const { return m_code_page; }
  // Whether the code page is UTF-8: characters of one to four bytes whose
  // Unicode values the text renderer uses as glyph codes.
  bool is_utf8() const { return m_utf8; }

  // nullopt when the input is not valid in its encoding or has no counterpart.
  std::optional<std::string> to_utf8(std::string_view game_text) const;
  std::optional<std::string> from_utf8(std::string_view utf8_text) const;

  // Lossy forms for display: undecodable bytes become '?'.
  std::string to_utf8_lossy(std::string_view game_text) const;
  std::string from_utf8_lossy(std::string_view utf8_text) const;

  // Whether byte starts a multibyte character in the game code page.
  bool is_lead_byte(unsigned char byte) const { return m_lead_bytes[byte] != 0; }
  // Per byte: how many bytes follow it in its character (0 when it stands
  // alone, 1 for the lead byte of a double-byte character, up to 3 in UTF-8).
  const std::array<uint8_t, 256>& lead_bytes() const { return m_lead_bytes; }

 private:
  TextEncoding() = default;
  std::string m_code_page;
  void* m_to_utf8 = nullptr;    // iconv_t
  void* m_from_utf8 = nullptr;  // iconv_t
  std::array<uint8_t, 256> m_lead_bytes{};
  bool m_utf8 = false;
  // iconv descriptors keep shift state; the sound thread converts names too.
  mutable std::mutex m_mutex;
};

}  // namespace tavelo::platform
