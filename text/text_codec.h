#pragma once
// How the renderer reads game text: where characters start (the lead bytes of
// the game code page) and which Unicode character each one is, for FreeType.
// The engine builds one from its platform::TextEncoding (make_text_codec); the
// renderer keeps it in Renderer::codec.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "resources/multibyte.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::text {

struct TextCodec {
  resources::LeadByteTable lead_bytes{};
  // Game text to UTF-8; nullopt when the bytes are not text of the code page.
  // Without a converter only ASCII characters have glyphs.
  std::function<std::optional<std::string>(std::string_view game_text)> to_utf8;
};

// A codec over the engine's encoding, which must outlive it.
TextCodec make_text_codec(const platform::TextEncoding& encoding);

// The 16-bit code that indexes the glyph cache: a single byte is its value, a
// double-byte character is first byte | second byte << 8.
inline uint16_t character_code(std::string_view character) {
  if (character.size() >= 2) return uint16_t(uint8_t(character[0]) | uint8_t(character[1]) << 8);
  return character.empty() ? 0 : uint8_t(character[0]);
}

// The Unicode character of one game character; 0 when it has none.
char32_t code_point_of(const TextCodec& codec, std::string_view character);

}  // namespace tavelo::text
