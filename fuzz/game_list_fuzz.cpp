// Arbitrary bytes as the launcher's list file: every game kept has an
// absolute folder free of control bytes and a last play of the fixed shape,
// no folder twice, and writing the list and reading it again gives it back.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "host/launcher_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::host;
  std::vector<KnownGame> games = parse_game_list(std::string_view(reinterpret_cast<const char*>(data), size));
  std::set<std::string> folders;
  for (const KnownGame& game : games) {
    if (!listable_folder(game.folder) || !folders.insert(game.folder).second) std::abort();
    if (!game.last_played.empty() && game.last_played.size() != 16) std::abort();
  }
  if (parse_game_list(format_game_list(games)) != games) std::abort();
  return 0;
}
