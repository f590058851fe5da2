// tvdbg against a real engine: attach, break at a line, step over a call,
// print a global, continue to the end, all scripted through standard input.

#include <gtest/gtest.h>

#include <string>

#include "platform/loopback_socket.h"
#include "tests/support/script_harness.h"
#include "tools/tvdbg/debugger_session.h"

namespace tavelo::testing {
namespace {

uint16_t free_port() {
  std::optional<platform::LoopbackSocket> probe = platform::LoopbackSocket::listen(0);
  return probe ? probe->local_port() : 0;
}

TEST(Tvdbg, breaks_steps_over_a_call_prints_a_global_and_continues) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    line 3
    push_int 5
    set_int_pop global int "@count@GLOBAL"
    line 4
    call_discard "$helper@GLOBAL" 0
    line 5
    push_int 7
    set_int_pop global int "@count@GLOBAL"
    line 6
  )",
                                                              R"(
.function "$helper@GLOBAL" helper
helper:
    line 20
    push_int 1
    set_int_pop global int "@inner@GLOBAL"
    line 21
    return
)")});
  write_game(game, files);
  std::string commands = game.write("commands.txt",
                                    "break scenario/start.tvs:4\n"
                                    "continue\n"
                                    "next\n"
                                    "where\n"
                                    "print @count\n"
                                    "print @inner\n"
                                    "print @missing\n"
                                    "continue\n");
  uint16_t port = free_port();
  ASSERT_NE(port, 0);
  std::string address = "127.0.0.1:" + std::to_string(port);
  // The engine waits at start-up for the debugger; tvdbg retries until the
  // engine listens.
  ProcessResult debugger = run_command(
      "TAVELO_CONFIG_HOME='" + game.at("settings") + "' '" + tool_path("tavelo") + "' --headless --quit-after 5000 " +
      "--debug " + std::to_string(port) + " '" + game.path() + "' > '" + game.at("engine.txt") + "' 2>&1 & " + "'" +
      tool_path("tvdbg") + "' --timeout 20000 " + address + " < '" + commands + "'; status=$?; wait; exit $status");
  EXPECT_EQ(debugger.output,
            "attached " + address +
                "\n"
                "break START.TVO:1\n"       // the first line that runs
                "breakpoint START.TVO:4\n"
                "break START.TVO:4\n"
                "break START.TVO:5\n"       // the helper's lines 20 and 21 ran without a stop
                "at START.TVO:5\n"
                "@count = 5\n"
                "@inner = 1\n"
                "@missing: no such variable\n"
                "ended (the engine ended)\n");
  // The missing variable is the one failed command.
  EXPECT_EQ(debugger.exit_status, 1);
}

TEST(Tvdbg, names_follow_the_engines_normal_forms) {
  struct Case {
    const char* given;
    const char* script;
  };
  for (const Case& c : {Case{"start", "START.TVO"}, Case{"scenario/sub/Intro.tvs", "INTRO.TVO"},
                        Case{"data\\lib.txt", "LIB.TVO"}}) {
    EXPECT_EQ(tools::normalized_script_name(c.given), c.script) << c.given;
  }
  EXPECT_EQ(tools::stored_variable_name("@score"), "@score@GLOBAL");
  EXPECT_EQ(tools::stored_variable_name("#seen"), "#seen@GLOBAL");
  EXPECT_EQ(tools::stored_variable_name("@x@LOCAL"), "@x@LOCAL");
  EXPECT_EQ(tools::stored_variable_name("plain"), "plain");
}

}  // namespace
}  // namespace tavelo::testing
