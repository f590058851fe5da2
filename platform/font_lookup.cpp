#include "platform/font_lookup.h"

#include <fontconfig/fontconfig.h>

#include <array>

namespace tavelo::platform {

namespace {

struct Substitute {
  std::string_view windows_name;
  std::string_view family;
};

// fontconfig does not know the Windows Japanese faces and would answer with a
// Latin font; the IPA fonts have the same metrics design (monospaced and
// proportional Gothic and Mincho).
constexpr std::array<Substitute, 8> kSubstitutes{{
    {"ＭＳ ゴシック", "IPAGothic"},
    {"MS Gothic", "IPAGothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"MS PGothic", "IPAPGothic"},
    {"ＭＳ 明朝", "IPAMincho"},
    {"MS Mincho", "IPAMincho"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
    {"MS PMincho", "IPAPMincho"},
}};

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

FcConfig* loaded_config(FontLookup& lookup) {
  if (!lookup.config && !lookup.load_failed) {
    lookup.config = FcInitLoadConfigAndFonts();
    lookup.load_failed = lookup.config == nullptr;
  }
  return lookup.config;
}

// Hiragana, katakana and a common kanji: a font with all three draws game text.
bool covers_japanese(FcPattern* font) {
  FcCharSet* characters = nullptr;
  if (FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) != FcResultMatch) return false;
  return FcCharSetHasChar(characters, 0x3042) && FcCharSetHasChar(characters, 0x30A2) &&
         FcCharSetHasChar(characters, 0x65E5);
}

// fontconfig's best match for the family (any family when empty) among fonts
// for Japanese; nullopt when that match cannot draw Japanese.
std::optional<FontFile> match_japanese(FcConfig* config, std::string_view family) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return std::nullopt;
  if (!family.empty()) {
    std::string name(family);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  }
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* font = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!font) return std::nullopt;

  std::optional<FontFile> found;
  FcChar8* file = nullptr;
  if (covers_japanese(font) && FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch && file) {
    FontFile location;
    location.path = reinterpret_cast<const char*>(file);
    int index = 0;
    // The high bits of the index name a variable-font instance.
    if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch) location.face_index = index & 0xFFFF;
    FcChar8* found_family = nullptr;
    if (FcPatternGetString(font, FC_FAMILY, 0, &found_family) == FcResultMatch && found_family) {
      location.family = reinterpret_cast<const char*>(found_family);
    }
    found = std::move(location);
  }
  FcPatternDestroy(font);
  return found;
}

}  // namespace

FontLookup::~FontLookup() {
  if (config) FcConfigDestroy(config);
}

std::string_view substitute_family(std::string_view face_name) {
  for (const Substitute& substitute : kSubstitutes) {
    if (equal_ignoring_ascii_case(face_name, substitute.windows_name)) return substitute.family;
  }
  return {};
}

std::optional<FontFile> find_font_file(FontLookup& lookup, std::string_view face_name) {
  FcConfig* config = loaded_config(lookup);
  if (!config) return std::nullopt;
  std::string_view family = substitute_family(face_name);
  if (family.empty()) family = face_name;
  // A named family that cannot draw Japanese (a Latin font) would show game
  // text as empty boxes; the best Japanese font serves instead.
  if (std::optional<FontFile> found = match_japanese(config, family)) return found;
  if (std::optional<FontFile> found = match_japanese(config, {})) return found;
  return match_japanese(config, "IPAGothic");
}

}  // namespace tavelo::platform
