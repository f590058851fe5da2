// Process-level stop.

#include "platform/fatal.h"

#include <SDL.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tavelo::platform {

void stop_for_lack_of_memory(const char* caption, const char* utf8_text) {
  // write(2) needs no allocation.
  ssize_t ignored = ::write(2, caption, std::strlen(caption));
  ignored = ::write(2, ": ", 2);
  ignored = ::write(2, utf8_text, std::strlen(utf8_text));
  ignored = ::write(2, "\n", 1);
  (void)ignored;
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, utf8_text, nullptr);
  std::_Exit(255);
}

}  // namespace tavelo::platform
