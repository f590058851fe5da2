// The browser build's CP932 converter (platform/web/web_iconv.cpp) against
// glibc's, which the desktop build uses: every code both ways, malformed
// input, and output that does not fit. It needs no browser, so it runs here.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/web/web_iconv.h"

#undef iconv_open
#undef iconv
#undef iconv_close

namespace tavelo::testing {
namespace {

struct Outcome {
  std::optional<std::string> text;  // nullopt: refused
  bool operator==(const Outcome&) const = default;
};

template <typename Convert>
Outcome run(Convert convert, std::string input, size_t room = 64) {
  std::string out(room, '\0');
  char* in_at = input.data();
  size_t in_left = input.size();
  char* out_at = out.data();
  size_t out_left = out.size();
  if (convert(&in_at, &in_left, &out_at, &out_left) == size_t(-1) || in_left != 0) return {};
  out.resize(out.size() - out_left);
  return {out};
}

class Converters {
 public:
  Converters(const char* to, const char* from)
      : m_glibc(::iconv_open(to, from)), m_web(platform::web_iconv_open(to, from)) {}
  ~Converters() {
    ::iconv_close(m_glibc);
    platform::web_iconv_close(m_web);
  }
  Outcome glibc(const std::string& input) {
    ::iconv(m_glibc, nullptr, nullptr, nullptr, nullptr);
    return run([this](char** a, size_t* b, char** c, size_t* d) { return ::iconv(m_glibc, a, b, c, d); }, input);
  }
  Outcome web(const std::string& input, size_t room = 64) {
    return run([this](char** a, size_t* b, char** c, size_t* d) { return platform::web_iconv(m_web, a, b, c, d); },
               input, room);
  }

 private:
  iconv_t m_glibc;
  iconv_t m_web;
};

std::string utf8(uint32_t point) {
  std::string out;
  if (point < 0x80) {
    out += char(point);
  } else if (point < 0x800) {
    out += char(0xC0 | point >> 6);
    out += char(0x80 | (point & 0x3F));
  } else {
    out += char(0xE0 | point >> 12);
    out += char(0x80 | (point >> 6 & 0x3F));
    out += char(0x80 | (point & 0x3F));
  }
  return out;
}

TEST(WebIconv, cp932_reads_every_byte_and_pair_as_glibc_does) {
  Converters to_utf8("UTF-8", "CP932");
  int differences = 0;
  for (int lead = 0; lead < 256; ++lead) {
    std::string single(1, char(lead));
    if (to_utf8.web(single) != to_utf8.glibc(single) && ++differences < 5) ADD_FAILURE() << "byte " << lead;
    if (lead < 0x80) continue;
    for (int trail = 0; trail < 256; ++trail) {
      std::string pair{char(lead), char(trail)};
      if (to_utf8.web(pair) != to_utf8.glibc(pair) && ++differences < 5) {
        ADD_FAILURE() << "pair " << std::hex << lead << " " << trail;
      }
    }
  }
  EXPECT_EQ(differences, 0);
}

TEST(WebIconv, cp932_writes_every_code_point_as_glibc_does) {
  Converters from_utf8("CP932", "UTF-8");
  int differences = 0;
  for (uint32_t point = 1; point < 0x10000; ++point) {
    if (point >= 0xD800 && point < 0xE000) continue;
    std::string text = utf8(point);
    if (from_utf8.web(text) != from_utf8.glibc(text) && ++differences < 5) ADD_FAILURE() << "U+" << std::hex << point;
  }
  EXPECT_EQ(differences, 0);
  // Malformed UTF-8: a lone continuation byte, a cut sequence, an overlong
  // form, an encoded surrogate.
  for (std::string bad : {"\x80", "a\xE3\x81", "\xC0\xAF", "\xED\xA0\x80"}) {
    EXPECT_FALSE(from_utf8.web(bad).text) << bad;
    EXPECT_FALSE(from_utf8.glibc(bad).text) << bad;
  }
}

TEST(WebIconv, output_that_does_not_fit_stops_before_the_character) {
  iconv_t converter = platform::web_iconv_open("UTF-8", "CP932");
  std::string input = "\x82\xA0\x82\xA2";  // あい: three UTF-8 bytes each
  char* in_at = input.data();
  size_t in_left = input.size();
  char out[4];
  char* out_at = out;
  size_t out_left = sizeof out;
  EXPECT_EQ(platform::web_iconv(converter, &in_at, &in_left, &out_at, &out_left), size_t(-1));
  EXPECT_EQ(errno, E2BIG);
  EXPECT_EQ(in_left, 2u);
  EXPECT_EQ(std::string(out, size_t(out_at - out)), "\xE3\x81\x82");
  platform::web_iconv_close(converter);
  // Other code pages go to the C library.
  Converters gbk("UTF-8", "GBK");
  EXPECT_EQ(gbk.web("\xC4\xE3").text, std::optional<std::string>("\xE4\xBD\xA0"));
}

}  // namespace
}  // namespace tavelo::testing
