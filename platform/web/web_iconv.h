#pragma once
// iconv for the browser build: CP932 <-> UTF-8 by tables that match glibc's
// converter (platform/web/cp932_table.h), every other pair by the page's C
// library. platform/text_encoding.cpp includes this in the browser build, so
// its iconv calls come here.

#include <iconv.h>

#include <cstddef>

namespace tavelo::platform {

iconv_t web_iconv_open(const char* to_code, const char* from_code);
size_t web_iconv(iconv_t descriptor, char** in, size_t* in_left, char** out, size_t* out_left);
int web_iconv_close(iconv_t descriptor);

}  // namespace tavelo::platform

#define iconv_open ::tavelo::platform::web_iconv_open
#define iconv ::tavelo::platform::web_iconv
#define iconv_close ::tavelo::platform::web_iconv_close
