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
  // UTF-8 game text: glyph codes are Unicode values (see glyph_code).
  bool unicode = false;
};

// A codec over the engine's encoding, which must outlive it.
TextCodec make_text_codec(const platform::TextEncoding& encoding);

// The 16-bit code that indexes the glyph cache: a single byte is its value, a
// double-byte character is first byte | second byte << 8.
inline uint16_t character_code(std::string_view character) {
  if (character.size() >= 2) return uint16_t(uint8_t(character[0]) | uint8_t(character[1]) << 8);
  return character.empty() ? 0 : uint8_t(character[0]);
}

// The glyph code of a character under the codec: character_code in a
// double-byte code page; in UTF-8 the character's Unicode value. nullopt for
// a character that has no 16-bit code (UTF-8 beyond U+FFFF, or malformed):
// such characters are measured and drawn every time, never cached.
std::optional<uint16_t> glyph_code(const TextCodec& codec, std::string_view character);

// The Unicode character of one game character; 0 when it has none.
char32_t code_point_of(const TextCodec& codec, std::string_view character);

// Whether a character belongs to a Japanese run: kana, kanji, CJK punctuation
// and full- or half-width forms (in a double-byte code page also every
// double-byte character). The alphabetic layout sets these in cells and
// breaks lines around them by the kinsoku tables.
bool in_japanese_run(const TextCodec& codec, std::string_view character);

// The first code point of UTF-8 text; 0 when it is empty or malformed.
char32_t first_code_point(std::string_view utf8);

}  // namespace tavelo::text
