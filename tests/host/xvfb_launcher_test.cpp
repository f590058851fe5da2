// The launcher in a real window under Xvfb: `tavelo` without a game lists
// the bundled demo, takes a game folder through the in-window file chooser
// (replayed keys and a typed path), lists it, and plays it; the list file in
// the settings directory keeps it with its last play.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/game_builder.h"
#include "tests/support/script_calls.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

bool xvfb_present() { return run_command("command -v xvfb-run").exit_status == 0; }

TEST(XvfbLauncher, adds_a_game_through_the_chooser_lists_it_and_plays_it) {
  if (!xvfb_present()) GTEST_SKIP() << "xvfb-run is missing";
  TempDirectory home;
  TempDirectory game;
  GameFiles files;
  files.environment = "TITLEBAR Chosen|Game\n";
  files.scripts.push_back({"scenario/start.tvo", start_script(push("'started from the launcher'") + "    PRINT 1\n")});
  write_game(game, files);
  // Insert opens the chooser, whose name field takes the typed path; Return
  // takes it, and Return again plays the game the list now has chosen. Wide
  // gaps: a loaded machine draws the software-rendered window slowly.
  std::string input = home.write("input.txt", "1500 key Insert\n3000 text " + game.at("tavelo.env") +
                                                  "\n4000 key Return\n5500 screenshot " + home.at("listed.png") +
                                                  "\n6000 key Return\n");
  std::string script = "cd '" + home.path() + "' && HOME='" + home.path() + "' TAVELO_CONFIG_HOME='" +
                       home.at("settings") + "' SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy timeout 60 '" +
                       tool_path("tavelo") + "' --input '" + input + "'; echo status=$?";
  ProcessResult run = run_command("ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s '-screen 0 1024x768x24' sh -c \"" +
                                  script + "\" 2>&1");
  EXPECT_NE(run.output.find("status=0"), std::string::npos) << run.output;
  // First the demo alone, then the demo and the new game.
  size_t first = run.output.find("[launcher] games: ");
  ASSERT_NE(first, std::string::npos) << run.output;
  std::string first_listing = run.output.substr(first, run.output.find('\n', first) - first);
  EXPECT_EQ(first_listing.find(" | "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(") | Chosen Game (" + game.path() + ")\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("[launcher] play " + game.path()), std::string::npos) << run.output;
  EXPECT_NE(run_command("cat '" + game.at("debugout.log") + "'").output.find("started from the launcher"),
            std::string::npos);
  std::string list = run_command("cat '" + home.at("settings/games.txt") + "'").output;
  EXPECT_NE(list.find("\t" + game.path() + "\n"), std::string::npos) << list;
  EXPECT_EQ(list.find("-\t" + game.path()), std::string::npos) << "the play is noted: " << list;
  EXPECT_EQ(run_command("test -s '" + home.at("listed.png") + "'").exit_status, 0);
}

}  // namespace
}  // namespace tavelo::testing
