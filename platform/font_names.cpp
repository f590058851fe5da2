// The Windows face names games use, and the IPA families standing in for them.
// Shared by the fontconfig lookup and the browser's table.

#include <array>

#include "platform/font_lookup.h"

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

}  // namespace

bool same_face_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view substitute_family(std::string_view face_name) {
  for (const Substitute& substitute : kSubstitutes) {
    if (same_face_name(face_name, substitute.windows_name)) return substitute.family;
  }
  return {};
}

}  // namespace tavelo::platform
