// CP932 conversion by table in the browser build; other code pages by the
// page's C library.

#include "platform/web/web_iconv.h"

#undef iconv_open
#undef iconv
#undef iconv_close

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include "platform/web/cp932_table.h"

namespace tavelo::platform {
namespace {

enum class Direction { FromCp932, ToCp932, Library };

struct Converter {
  Direction direction = Direction::Library;
  iconv_t library = iconv_t(-1);
};

bool names_cp932(std::string_view name) {
  auto same = [](std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return (x >= 'a' && x <= 'z' ? char(x - 32) : x) == y; });
  };
  return same(name, "CP932") || same(name, "WINDOWS-31J") || same(name, "MS932");
}

bool names_utf8(std::string_view name) { return name == "UTF-8" || name == "utf-8" || name == "UTF8"; }

size_t fail(int error) {
  errno = error;
  return size_t(-1);
}

// Reads one UTF-8 sequence: its code point and length in taken; taken 0 when
// the input ends inside it, and -1 when it is malformed (overlong forms and
// surrogates included).
int32_t read_utf8(const unsigned char* in, size_t left, size_t& taken) {
  unsigned char first = in[0];
  size_t length = first < 0x80 ? 1 : (first >> 5) == 6 ? 2 : (first >> 4) == 14 ? 3 : (first >> 3) == 30 ? 4 : 0;
  if (length == 0) return -1;
  if (left < length) {
    taken = 0;
    return 0;
  }
  int32_t point = length == 1 ? first : first & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((in[i] & 0xC0) != 0x80) return -1;
    point = point << 6 | (in[i] & 0x3F);
  }
  static constexpr int32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)) return -1;
  taken = length;
  return point;
}

size_t write_utf8(uint32_t point, char* out) {
  if (point < 0x80) {
    out[0] = char(point);
    return 1;
  }
  if (point < 0x800) {
    out[0] = char(0xC0 | point >> 6);
    out[1] = char(0x80 | (point & 0x3F));
    return 2;
  }
  out[0] = char(0xE0 | point >> 12);
  out[1] = char(0x80 | (point >> 6 & 0x3F));
  out[2] = char(0x80 | (point & 0x3F));
  return 3;
}

size_t from_cp932(char** in, size_t* in_left, char** out, size_t* out_left) {
  while (*in_left > 0) {
    auto* bytes = reinterpret_cast<const unsigned char*>(*in);
    uint32_t point = cp932::kSingleBytes[bytes[0]];
    size_t taken = 1;
    if (point == 0xFFFF) {
      if (*in_left < 2) return fail(EINVAL);
      uint16_t code = uint16_t(bytes[0] << 8 | bytes[1]);
      const cp932::CodePair* end = cp932::kPairs + cp932::kPairCount;
      const cp932::CodePair* found =
          std::lower_bound(cp932::kPairs, end, code, [](const cp932::CodePair& pair, uint16_t c) { return pair.code < c; });
      if (found == end || found->code != code) return fail(EILSEQ);
      point = found->point;
      taken = 2;
    }
    char encoded[4];
    size_t length = write_utf8(point, encoded);
    if (*out_left < length) return fail(E2BIG);
    std::copy(encoded, encoded + length, *out);
    *out += length;
    *out_left -= length;
    *in += taken;
    *in_left -= taken;
  }
  return 0;
}

// The CP932 code of a code point: one byte (high byte 0) or two; -1 when none.
int32_t cp932_code(int32_t point) {
  if (point == 0xFFFF) return -1;  // the tables' mark for "no character"
  for (int byte = 0; byte < 256; ++byte) {
    if (cp932::kSingleBytes[byte] == point) return byte;
  }
  const cp932::CodePair* end = cp932::kEncodings + cp932::kEncodingCount;
  const cp932::CodePair* found = std::lower_bound(cp932::kEncodings, end, point,
                                                  [](const cp932::CodePair& pair, int32_t p) { return pair.point < p; });
  if (found == end || found->point != point) return -1;
  return found->code;
}

size_t to_cp932(char** in, size_t* in_left, char** out, size_t* out_left) {
  while (*in_left > 0) {
    size_t taken = 0;
    int32_t point = read_utf8(reinterpret_cast<const unsigned char*>(*in), *in_left, taken);
    if (point < 0) return fail(EILSEQ);
    if (taken == 0) return fail(EINVAL);
    // Language tags (U+E0000..U+E007F) are dropped, as the desktop's
    // converter does, so a name with one is the same file on both.
    if (point >= 0xE0000 && point <= 0xE007F) {
      *in += taken;
      *in_left -= taken;
      continue;
    }
    int32_t code = cp932_code(point);
    if (code < 0) return fail(EILSEQ);
    size_t length = code > 0xFF ? 2 : 1;
    if (*out_left < length) return fail(E2BIG);
    if (length == 2) *(*out)++ = char(code >> 8);
    *(*out)++ = char(code & 0xFF);
    *out_left -= length;
    *in += taken;
    *in_left -= taken;
  }
  return 0;
}

}  // namespace

iconv_t web_iconv_open(const char* to_code, const char* from_code) {
  auto* converter = new Converter();
  if (names_cp932(from_code) && names_utf8(to_code)) {
    converter->direction = Direction::FromCp932;
  } else if (names_utf8(from_code) && names_cp932(to_code)) {
    converter->direction = Direction::ToCp932;
  } else {
    converter->library = ::iconv_open(to_code, from_code);
    if (converter->library == iconv_t(-1)) {
      delete converter;
      return iconv_t(-1);
    }
  }
  return reinterpret_cast<iconv_t>(converter);
}

size_t web_iconv(iconv_t descriptor, char** in, size_t* in_left, char** out, size_t* out_left) {
  auto* converter = reinterpret_cast<Converter*>(descriptor);
  switch (converter->direction) {
    case Direction::Library: return ::iconv(converter->library, in, in_left, out, out_left);
    case Direction::FromCp932: return in && *in ? from_cp932(in, in_left, out, out_left) : 0;
    case Direction::ToCp932: return in && *in ? to_cp932(in, in_left, out, out_left) : 0;
  }
  return 0;
}

int web_iconv_close(iconv_t descriptor) {
  auto* converter = reinterpret_cast<Converter*>(descriptor);
  int result = converter->library == iconv_t(-1) ? 0 : ::iconv_close(converter->library);
  delete converter;
  return result;
}

}  // namespace tavelo::platform
