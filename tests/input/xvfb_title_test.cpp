// The demo's title menu in a real window under Xvfb, clicked by xdotool as a
// player would, and the same click replayed from a file headless: both
// start the game by the click, not by the menu's time-out.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/game_builder.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

// The log line the title writes when its button was chosen.
constexpr const char* kChosen = "タイトル: 選ばれました";

std::string demo_copy(const TempDirectory& directory) {
  std::string demo = std::string(TAVELO_BIN_DIR) + "/../games/demo";
  std::string copy = directory.at("demo");
  EXPECT_EQ(run_command("cp -r '" + demo + "' '" + copy + "'").exit_status, 0);
  return copy;
}

std::string log_of(const std::string& game) {
  std::vector<uint8_t> bytes = read_bytes(game + "/debugout.log");
  return std::string(bytes.begin(), bytes.end());
}

TEST(XvfbTitle, a_click_on_the_title_button_starts_the_demo_in_a_real_window_and_replayed) {
  if (run_command("command -v xvfb-run && command -v xdotool").exit_status != 0) {
    GTEST_SKIP() << "xvfb-run or xdotool is missing";
  }
  TempDirectory directory;
  std::string game = demo_copy(directory);
  // The start button's centre in the 640 x 480 window: (320, 358).
  std::string script = "TAVELO_CONFIG_HOME='" + directory.at("settings-real") + "' '" + tool_path("tavelo") +
                       "' --quit-after 2500 '" + game +
                       "' & w=$(xdotool search --sync --name Tavelo | head -n 1); sleep 0.5; "
                       "xdotool mousemove --window $w 320 358; sleep 0.2; xdotool click 1; wait $!";
  std::string script_file = directory.write("click.sh", script + "\n");
  // The desktop's libraries (D-Bus, X11) keep allocations past exit; leaks
  // are checked in the headless runs, not in the real window's.
  ProcessResult real =
      run_command("ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy xvfb-run -a -s '-screen 0 1024x768x24' sh '" + script_file + "'");
  ASSERT_EQ(real.exit_status, 0) << real.output;
  EXPECT_NE(log_of(game).find(kChosen), std::string::npos) << log_of(game);

  std::string headless = directory.at("headless");
  ASSERT_EQ(run_command("cp -r '" + game + "' '" + headless + "' && rm -f '" + headless + "/debugout.log'").exit_status,
            0);
  directory.write("click.txt", "300 mouse move 320 358\n500 click left 320 358\n");
  ProcessResult replayed = run_command("TAVELO_CONFIG_HOME='" + directory.at("settings-headless") + "' '" +
                                       tool_path("tavelo") + "' --headless --quit-after 1500 --input '" +
                                       directory.at("click.txt") + "' '" + headless + "'");
  ASSERT_EQ(replayed.exit_status, 0) << replayed.output;
  EXPECT_NE(log_of(headless).find(kChosen), std::string::npos) << log_of(headless);
}

}  // namespace
}  // namespace tavelo::testing
