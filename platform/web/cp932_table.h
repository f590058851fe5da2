#pragma once
// CP932 as glibc's iconv converts it, for the browser build (whose C library
// knows only plain Shift-JIS). The tables are generated at build time by
// web/make_cp932_table.py; platform/web/web_iconv.cpp uses them.

#include <cstddef>
#include <cstdint>

namespace tavelo::platform::cp932 {

struct CodePair {
  uint16_t code;   // CP932 bytes, lead byte high
  uint16_t point;  // Unicode code point
};

// The code point of each byte alone; 0xFFFF where a byte is no character by
// itself (lead bytes and unused bytes).
extern const uint16_t kSingleBytes[256];
// Every double-byte character, sorted by code.
extern const CodePair kPairs[];
extern const size_t kPairCount;
// What a code point is written as, sorted by point (several codes read as
// one point; this is the one written).
extern const CodePair kEncodings[];
extern const size_t kEncodingCount;

}  // namespace tavelo::platform::cp932
