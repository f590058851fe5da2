// The table game's keys: the module is not part of the engine; a game that
// calls it is told once per key and goes on with 0.

#include <gtest/gtest.h>

#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

TEST(TableGame, each_key_is_reported_once_and_every_call_gives_0) {
  ScriptRun run = run_script(R"(
    push_int 11
    push_string "deal"
    syscall 0x0D36E2A7 2
    syscall 0x0D36E2A7 0
    push_int 5
    syscall 0xFB7FB744 1
    syscall 0x0D36E2A7 0
    PRINT 4
  )");
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_EQ(run.lines[0],
            "START.TVO(1) : table_game : [0D36E2A7] このゲームは卓上ゲームモジュールを必要としますが、"
            "このエンジンには含まれていません。呼び出しは 0 を返して続行します");
  EXPECT_NE(run.lines[1].find("[FB7FB744]"), std::string::npos);
  // The arguments went with the calls: only the four results are left.
  EXPECT_EQ(run.lines[2], "0 0 0 0 ");
  EXPECT_EQ(run.game.status, 0);
}

}  // namespace
}  // namespace tavelo::testing
