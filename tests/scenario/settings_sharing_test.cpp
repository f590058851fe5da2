// Two games with the default section pair share one settings file. Run at
// the same time as two real processes, each writing values of its own, neither
// may lose the other's.

#include <gtest/gtest.h>

#include <string>

#include "platform/text_encoding.h"
#include "resources/settings_store.h"
#include "tests/support/game_builder.h"

namespace tavelo::testing {
namespace {

constexpr int kValuesPerGame = 40;

// Writes "<prefix>0" = 0 ... "<prefix>39" = 39, one settings write each.
std::string writer_script(const std::string& prefix) {
  std::string source = ".entry main\n.function \"$init@GLOBAL\" init\ninit:\n    return\nmain:\n";
  for (int i = 0; i < kValuesPerGame; ++i) {
    source += "    push_int " + std::to_string(i) + "\n    push_string \"" + prefix + std::to_string(i) +
              "\"\n    syscall_discard 0x9A1ACECA 2\n";
  }
  return source + "    syscall_discard 0x8D8FB32E 0\n    return\n";
}

TEST(SettingsSharing, two_engines_writing_one_settings_file_lose_nothing) {
  TempDirectory shared;
  TempDirectory first;
  TempDirectory second;
  write_game(first, {{{"scenario/start.tvo", writer_script("First")}}, "TITLEBAR first game\n", false});
  write_game(second, {{{"scenario/start.tvo", writer_script("Second")}}, "TITLEBAR second game\n", false});
  auto command = [&](const TempDirectory& game) {
    return "TAVELO_CONFIG_HOME='" + shared.path() + "' timeout 60 '" + tool_path("tavelo") + "' --headless '" +
           game.path() + "'";
  };
  ProcessResult both = run_command("(" + command(first) + " & " + command(second) + " & wait)");
  ASSERT_EQ(both.exit_status, 0) << both.output;

  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  resources::SettingsLocation location{*encoding, shared.path(), "TAVELO_SYSTEM", "TAVELO_RUNTIME"};
  int lost = 0;
  for (const char* prefix : {"First", "Second"}) {
    for (int i = 0; i < kValuesPerGame; ++i) {
      std::string name = prefix + std::to_string(i);
      if (resources::reg_read_int(location, name, -1) != i) ++lost;
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(resources::reg_read_int(location, "AbnormalTerminateFlg", -1), 0) << "both ended normally";
}

}  // namespace
}  // namespace tavelo::testing
