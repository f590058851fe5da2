#include "text/text_codec.h"

#include "platform/text_encoding.h"

namespace tavelo::text {

char32_t first_code_point(std::string_view utf8) {
  if (utf8.empty()) return 0;
  const uint8_t lead = uint8_t(utf8[0]);
  if (lead < 0x80) return lead;
  const size_t length = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || utf8.size() < length) return 0;
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const uint8_t byte = uint8_t(utf8[i]);
    if ((byte & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte & 0x3F);
  }
  return value;
}

TextCodec make_text_codec(const platform::TextEncoding& encoding) {
  TextCodec codec;
  codec.lead_bytes = encoding.lead_bytes();
  codec.to_utf8 = [&encoding](std::string_view game_text) { return encoding.to_utf8(game_text); };
  codec.unicode = encoding.is_utf8();
  return codec;
}

std::optional<uint16_t> glyph_code(const TextCodec& codec, std::string_view character) {
  if (!codec.unicode) return character_code(character);
  const char32_t c = first_code_point(character);
  if (c == 0 || c > 0xFFFF) return std::nullopt;
  return uint16_t(c);
}

char32_t code_point_of(const TextCodec& codec, std::string_view character) {
  if (codec.unicode) return first_code_point(character);
  if (!codec.to_utf8) return character.size() == 1 && uint8_t(character[0]) < 0x80 ? char32_t(character[0]) : 0;
  std::optional<std::string> utf8 = codec.to_utf8(character);
  return utf8 ? first_code_point(*utf8) : 0;
}

}  // namespace tavelo::text

namespace tavelo::text {

bool in_japanese_run(const TextCodec& codec, std::string_view character) {
  if (character.empty()) return false;
  if (!codec.unicode && character.size() >= 2) return true;
  if (uint8_t(character[0]) < 0x80) return false;
  const char32_t c = code_point_of(codec, character);
  return (c >= 0x2E80 && c <= 0x9FFF) ||    // radicals, CJK punctuation, kana, kanji
         (c >= 0xF900 && c <= 0xFAFF) ||    // compatibility ideographs
         (c >= 0xFE30 && c <= 0xFE4F) ||    // compatibility forms
         (c >= 0xFF00 && c <= 0xFFEF) ||    // full- and half-width forms
         (c >= 0x20000 && c <= 0x3FFFF);    // kanji beyond the basic plane
}

}  // namespace tavelo::text
