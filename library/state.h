#pragma once
// State of the call libraries: the text files scripts opened and the
// table-game keys already reported. One record per engine, in host::Engine;
// the library's system calls reach it through host::library_of.

#include <cstdint>

#include "library/text_files.h"

namespace tavelo::library {

struct State {
  TextFileTable text_files;  // text files opened by scripts
  // One bit per table-game key whose missing module has been reported.
  uint32_t table_game_reported = 0;
};

}  // namespace tavelo::library
