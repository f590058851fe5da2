// Face names to installed font files: the Windows Japanese faces find their
// IPA stand-ins, and no name ends on a font without Japanese glyphs.

#include <gtest/gtest.h>

#include <optional>

#include "platform/font_lookup.h"

namespace {

using tavelo::platform::find_font_file;
using tavelo::platform::FontFile;
using tavelo::platform::FontLookup;

TEST(FontLookup, windows_faces_map_to_ipa_fonts) {
  struct Case {
    const char* face;
    const char* family;
  };
  const Case cases[] = {
      {"ＭＳ ゴシック", "IPAGothic"}, {"ms gothic", "IPAGothic"},   {"ＭＳ Ｐゴシック", "IPAPGothic"},
      {"MS PGothic", "IPAPGothic"},   {"ＭＳ 明朝", "IPAMincho"},   {"MS Mincho", "IPAMincho"},
      {"ＭＳ Ｐ明朝", "IPAPMincho"},  {"MS PMincho", "IPAPMincho"}, {"IPA明朝", "IPAMincho"},
  };
  FontLookup lookup;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.face);
    std::optional<FontFile> file = find_font_file(lookup, c.face);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->family, c.family);
    EXPECT_FALSE(file->path.empty());
  }
}

TEST(FontLookup, other_faces_fall_back_to_a_japanese_font) {
  FontLookup lookup;
  // An unknown name, and an installed font that has no kana.
  for (const char* face : {"No Such Face", "DejaVu Sans", ""}) {
    SCOPED_TRACE(face);
    std::optional<FontFile> file = find_font_file(lookup, face);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->family.rfind("IPA", 0), 0u) << file->family;
  }
}

}  // namespace
