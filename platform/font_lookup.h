#pragma once
// Resolves a font face name (UTF-8) to an installed font file and face index.
// The only place that talks to fontconfig. The text renderer owns one
// FontLookup and asks it when a script selects a face it has not seen yet; the
// Windows face names that games use are mapped to the IPA fonts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _FcConfig;

namespace tavelo::platform {

struct FontFile {
  std::string path;        // host path of the font file
  int32_t face_index = 0;  // face within a collection file
  std::string family;      // the family fontconfig reports, for logs and tests
};

// The font configuration, loaded on the first lookup and kept until the lookup
// is destroyed (loading reads fontconfig's caches: tens of milliseconds).
struct FontLookup {
  FontLookup() = default;
  ~FontLookup();
  FontLookup(const FontLookup&) = delete;
  FontLookup& operator=(const FontLookup&) = delete;

  _FcConfig* config = nullptr;
  bool load_failed = false;
};

// The IPA family that stands in for a Windows Japanese face name ("ＭＳ ゴシック",
// "MS PGothic", ...), or empty for any other name. Latin spellings compare
// without regard to ASCII case.
std::string_view substitute_family(std::string_view face_name);

// Whether two face names are the same, ASCII letters compared without case.
bool same_face_name(std::string_view a, std::string_view b);

// Which fonts may answer a face name.
enum class FontCoverage {
  Japanese,         // only fonts that draw Japanese
  NamedOrJapanese,  // also an installed family of exactly that name (a Latin font)
};

// The font file for a face name: the named family when it is installed, else
// the best font that covers Japanese. With FontCoverage::Japanese never a font
// without Japanese glyphs; nullopt when none is installed.
std::optional<FontFile> find_font_file(FontLookup& lookup, std::string_view face_name,
                                       FontCoverage coverage = FontCoverage::Japanese);

// An installed face as the font dialog lists it.
struct FontFace {
  std::string family;  // UTF-8; the name in the listed language when the font has one
  bool fixed_pitch = false;  // monospaced, or dual-width (half- and full-width cells)
};

// The outline (TrueType or OpenType) faces that support language (an RFC 3066
// tag such as "ja"), each family once, sorted by name.
std::vector<FontFace> list_font_faces(FontLookup& lookup, std::string_view language);

}  // namespace tavelo::platform
