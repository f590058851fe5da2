// The engine's system-call tables.

#include "host/syscall_tables.h"

#include "audio/syscalls.h"
#include "graphics/syscalls.h"
#include "host/save_syscalls.h"
#include "host/settings_syscalls.h"
#include "host/window_syscalls.h"
#include "input/syscalls.h"
#include "library/syscalls.h"
#include "host/movie_syscalls.h"
#include "persistence/syscalls.h"
#include "script/syscalls.h"
#include "text/syscalls.h"

namespace tavelo::host {

std::vector<script::SyscallTablePart> syscall_table_parts() {
  return {
      {"script: machine", script::machine_syscalls()},
      {"library: debug", library::debug_syscalls()},
      {"graphics: pages", graphics::page_syscalls()},
      {"graphics: sprites", graphics::sprite_syscalls()},
      {"graphics: screen", graphics::screen_syscalls()},
      {"library: standard", library::standard_syscalls()},
      {"library: strings", library::string_syscalls()},
      {"library: text files", library::file_syscalls()},
      {"library: search list", library::search_syscalls()},
      {"library: skip", library::skip_syscalls()},
      {"library: table game (not available)", library::table_game_syscalls()},
      {"input", input::syscalls()},
      {"text: fonts", text::font_syscalls()},
      {"text: message window", text::console_syscalls()},
      {"text: history", text::history_syscalls()},
      {"audio", audio::syscalls()},
      {"host: movies", movie_syscalls()},
      {"persistence", persistence::syscalls()},
      {"host: main window", window_syscalls()},
      {"host: settings dialogs", settings_syscalls()},
      {"host: saving and loading", save_syscalls()},
  };
}

bool build_engine_syscall_table(script::SyscallTable& table, uint32_t* duplicate_key) {
  std::vector<script::SyscallTablePart> parts = syscall_table_parts();
  return script::build_syscall_table(table, parts, duplicate_key);
}

}  // namespace tavelo::host
