#pragma once
// The built-in list of characters whose glyphs the start-up pre-build renders
// into glyph caches (prebuild_glyph_cache): full-width punctuation and
// symbols, digits and letters, hiragana, katakana and common kanji. Generated
// by scripts/make_prebuild_characters.py.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavelo::text {

inline constexpr size_t kPrebuildCharacterCount = 2222;

// CP932 codes written lead byte first: 0x82A0 is the bytes 82 A0 ("あ").
std::span<const uint16_t> prebuild_characters();

}  // namespace tavelo::text
