// Face lookup in the browser, where there is no fontconfig: the page ships
// the IPA fonts in /fonts (web/fonts.txt lists them) and this table names
// their families, in Latin and in Japanese as the fonts themselves do. A
// family whose file the page did not load falls back to IPAGothic, the face
// fontconfig picks for Japanese text on the desktop.

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/file_system.h"
#include "platform/font_lookup.h"

namespace tavelo::platform {
namespace {

struct ShippedFace {
  std::string_view family;           // the Latin family name
  std::string_view japanese_family;  // the family's name for "ja"
  std::string_view path;
  bool fixed_pitch = false;
};

constexpr std::array<ShippedFace, 4> kShippedFaces{{
    {"IPAGothic", "IPAゴシック", "/fonts/ipag.ttf", true},
    {"IPAPGothic", "IPA Pゴシック", "/fonts/ipagp.ttf", false},
    {"IPAMincho", "IPA明朝", "/fonts/ipam.ttf", true},
    {"IPAPMincho", "IPA P明朝", "/fonts/ipamp.ttf", false},
}};

std::optional<FontFile> shipped(const ShippedFace& face) {
  std::string path(face.path);
  if (!is_file(path)) return std::nullopt;
  return FontFile{std::move(path), 0, std::string(face.family)};
}

}  // namespace

FontLookup::~FontLookup() = default;

// Every face the page ships draws Japanese, so both coverages get the same
// answer: the named face when it is shipped, else the first.
std::optional<FontFile> find_font_file(FontLookup&, std::string_view face_name, FontCoverage) {
  std::string_view family = substitute_family(face_name);
  if (family.empty()) family = face_name;
  for (const ShippedFace& face : kShippedFaces) {
    if (!same_face_name(family, face.family) && family != face.japanese_family) continue;
    if (std::optional<FontFile> found = shipped(face)) return found;
  }
  return shipped(kShippedFaces[0]);
}

std::vector<FontFace> list_font_faces(FontLookup&, std::string_view language) {
  std::vector<FontFace> faces;
  bool japanese = language.substr(0, language.find('-')) == "ja";
  for (const ShippedFace& face : kShippedFaces) {
    if (!is_file(std::string(face.path))) continue;
    faces.push_back({std::string(japanese ? face.japanese_family : face.family), face.fixed_pitch});
  }
  std::sort(faces.begin(), faces.end(), [](const FontFace& a, const FontFace& b) { return a.family < b.family; });
  return faces;
}

}  // namespace tavelo::platform
