#include "text/text_codec.h"

#include "platform/text_encoding.h"

namespace tavelo::text {

namespace {

// The first code point of UTF-8 text; 0 when it is malformed.
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

}  // namespace

TextCodec make_text_codec(const platform::TextEncoding& encoding) {
  TextCodec codec;
  codec.lead_bytes = encoding.lead_bytes();
  codec.to_utf8 = [&encoding](std::string_view game_text) { return encoding.to_utf8(game_text); };
  return codec;
}

char32_t code_point_of(const TextCodec& codec, std::string_view character) {
  if (!codec.to_utf8) return character.size() == 1 && uint8_t(character[0]) < 0x80 ? char32_t(character[0]) : 0;
  std::optional<std::string> utf8 = codec.to_utf8(character);
  return utf8 ? first_code_point(*utf8) : 0;
}

}  // namespace tavelo::text
