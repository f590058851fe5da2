// Live reload: the real engine in debug mode with --watch (SDL's dummy video
// and audio drivers, a real clock and real processes) sees a source edited
// while it runs, compiles it with the tvc beside it, and starts the game
// again with the new script.

#include <gtest/gtest.h>

#include "tests/tools/tvc_harness.h"

namespace tavelo::testing {
namespace {

TEST(TvcLiveReload, an_edited_source_runs_after_the_restart) {
  TempDirectory game;
  game.write("tavelo.env", "TITLEBAR TvcReloadTest\n");
  game.write("update/debug.dat", std::string("debug"));
  // Sources in scenario/, compiled scripts one directory below: where the
  // engine (and F11) look for a compiled script's source.
  std::string first = "function init() {}\nfunction main() {\n    debug_print(\"version\", 1);\n    while (true) wait(50);\n}\n";
  game.write("scenario/start.tvs", first);
  Compiled compiled = compile_sources({{"start.tvs", first}});
  ASSERT_TRUE(compiled.ok) << compiled.report;
  game.write("scenario/obj/start.tvo", compiled.scripts["start"]);
  game.write("second.tvs", "function init() {}\nfunction main() {\n    debug_print(\"version\", 2);\n    system_end();\n}\n");

  std::string script =
      "cd '" + game.path() + "' || exit 9\n"
      "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy TAVELO_CONFIG_HOME='" + game.at("settings") + "' '" +
      tool_path("tavelo") + "' --watch --quit-after 30000 . &\n"
      "engine=$!\n"
      "for i in $(seq 200); do grep -q 'version 1' debugout.log 2>/dev/null && break; sleep 0.05; done\n"
      // A later second, so the new source's time differs whatever the file
      // system's resolution.
      "sleep 1.1\n"
      "cp second.tvs scenario/start.tvs\n"
      "wait $engine\n";
  game.write("reload.sh", script);
  ProcessResult run = run_command("sh '" + game.at("reload.sh") + "'");
  EXPECT_EQ(run.exit_status, 0) << run.output;
  std::vector<uint8_t> log = read_bytes(game.at("debugout.log"));
  EXPECT_EQ(log_messages(std::string(log.begin(), log.end())),
            (std::vector<std::string>{"version 1 ", "version 2 "}))
      << run.output;
}

}  // namespace
}  // namespace tavelo::testing
