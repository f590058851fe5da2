#include "platform/font_lookup.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>

namespace tavelo::platform {

namespace {

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

// fontconfig's best font for a family (empty: any) and a language (null: any).
FcPattern* best_match(FcConfig* config, std::string_view family, const char* language) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  if (!family.empty()) {
    std::string name(family);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  }
  if (language) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* font = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  return font;
}

// The file of a matched font, under the family name given.
std::optional<FontFile> file_of(FcPattern* font, const FcChar8* family) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return std::nullopt;
  FontFile location;
  location.path = reinterpret_cast<const char*>(file);
  int index = 0;
  // The high bits of the index name a variable-font instance.
  if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch) location.face_index = index & 0xFFFF;
  if (family) location.family = reinterpret_cast<const char*>(family);
  return location;
}

std::optional<FontFile> match_japanese(FcConfig* config, std::string_view family) {
  FcPattern* font = best_match(config, family, "ja");
  if (!font) return std::nullopt;
  std::optional<FontFile> found;
  if (covers_japanese(font)) {
    FcChar8* found_family = nullptr;
    if (FcPatternGetString(font, FC_FAMILY, 0, &found_family) != FcResultMatch) found_family = nullptr;
    found = file_of(font, found_family);
  }
  FcPatternDestroy(font);
  return found;
}

// The installed font of exactly this family (fontconfig answers every name
// with something; only an answer under the asked name counts), whatever it covers.
std::optional<FontFile> match_family(FcConfig* config, std::string_view family) {
  FcPattern* font = best_match(config, family, nullptr);
  if (!font) return std::nullopt;
  std::optional<FontFile> found;
  FcChar8* found_family = nullptr;
  for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &found_family) == FcResultMatch; ++n) {
    if (found_family && same_face_name(reinterpret_cast<const char*>(found_family), family)) {
      found = file_of(font, found_family);
      break;
    }
  }
  FcPatternDestroy(font);
  return found;
}

}  // namespace

FontLookup::~FontLookup() {
  if (config) FcConfigDestroy(config);
}

std::optional<FontFile> find_font_file(FontLookup& lookup, std::string_view face_name, FontCoverage coverage) {
  FcConfig* config = loaded_config(lookup);
  if (!config) return std::nullopt;
  std::string_view family = substitute_family(face_name);
  if (family.empty()) family = face_name;
  if (coverage == FontCoverage::NamedOrJapanese && !family.empty()) {
    if (std::optional<FontFile> found = match_family(config, family)) return found;
  }
  // A named family that cannot draw Japanese (a Latin font) would show game
  // text as empty boxes; the best Japanese font serves instead.
  if (std::optional<FontFile> found = match_japanese(config, family)) return found;
  if (std::optional<FontFile> found = match_japanese(config, {})) return found;
  return match_japanese(config, "IPAGothic");
}

std::vector<FontFace> list_font_faces(FontLookup& lookup, std::string_view language) {
  std::vector<FontFace> faces;
  FcConfig* config = loaded_config(lookup);
  if (!config) return faces;
  std::string tag(language);
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_SPACING, FC_OUTLINE, nullptr);
  if (!pattern || !objects) {
    if (pattern) FcPatternDestroy(pattern);
    if (objects) FcObjectSetDestroy(objects);
    return faces;
  }
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(tag.c_str()));
  FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  FcFontSet* set = FcFontList(config, pattern, objects);
  FcPatternDestroy(pattern);
  FcObjectSetDestroy(objects);
  if (!set) return faces;
  std::string_view primary = std::string_view(tag).substr(0, tag.find('-'));
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* font = set->fonts[i];
    // A family has a name per language; take the listed language's, else the first.
    std::string family;
    FcChar8* name = nullptr;
    for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
      FcChar8* name_language = nullptr;
      bool localised = FcPatternGetString(font, FC_FAMILYLANG, n, &name_language) == FcResultMatch &&
                       std::string_view(reinterpret_cast<const char*>(name_language)) == primary;
      if (n == 0 || localised) family = reinterpret_cast<const char*>(name);
      if (localised) break;
    }
    if (family.empty()) continue;
    int spacing = FC_PROPORTIONAL;
    FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
    bool fixed = spacing == FC_MONO || spacing == FC_DUAL || spacing == FC_CHARCELL;
    auto same = [&](const FontFace& face) { return face.family == family; };
    auto found = std::find_if(faces.begin(), faces.end(), same);
    if (found == faces.end()) {
      faces.push_back({family, fixed});
    } else {
      found->fixed_pitch = found->fixed_pitch && fixed;
    }
  }
  FcFontSetDestroy(set);
  std::sort(faces.begin(), faces.end(), [](const FontFace& a, const FontFace& b) { return a.family < b.family; });
  return faces;
}

}  // namespace tavelo::platform
