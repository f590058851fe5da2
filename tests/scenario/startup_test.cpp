// A game directory runs through start-up, its initialisers and its start
// script to the end-the-engine call.

#include <gtest/gtest.h>

#include "tests/support/game_builder.h"

namespace tavelo::testing {
namespace {

constexpr const char* kHelloStart = R"(
.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main

init:
    line 1
    push_string "init ran"
    syscall_discard 0xF3679C34 1
    return

main:
    line 3
    push_string "hello"
    push_int 42
    syscall_discard 0xF3679C34 2
    syscall_discard 0x8D8FB32E 0
    return
)";

TEST(Startup, runs_initialisers_then_the_start_script_to_the_end_call) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  GameRun run = run_game(game);
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> lines = log_messages(run.log);
  ASSERT_EQ(lines.size(), 2u) << run.log;
  EXPECT_EQ(lines[0], "init ran ");
  EXPECT_EQ(lines[1], "42 hello ");
}

TEST(Startup, the_real_program_runs_a_game_headless) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  ProcessResult result = run_tavelo(game);
  EXPECT_EQ(result.exit_status, 0) << result.output;
  std::vector<uint8_t> log = read_bytes(game.at("debugout.log"));
  EXPECT_NE(std::string(log.begin(), log.end()).find("42 hello"), std::string::npos);
}

}  // namespace
}  // namespace tavelo::testing
