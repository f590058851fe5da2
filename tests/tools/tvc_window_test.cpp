// The games written in the language in a real window under Xvfb, clicked by
// xdotool as a player would: a new project from `tvc new` plays from its title
// through its scene and choice to an ending, and its title and ending show
// the pixels of a headless run; the demo plays from its title to an ending.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/game_builder.h"

namespace tavelo::testing {
namespace {

bool desktop_tools_present() {
  return run_command("command -v xvfb-run && command -v xdotool && command -v import && command -v compare")
             .exit_status == 0;
}

std::string text_of(const std::string& path) {
  std::vector<uint8_t> bytes = read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Shell steps run against the game's window ($w) while it plays.
std::string click(int x, int y, double then_seconds) {
  return "xdotool mousemove --window $w " + std::to_string(x) + " " + std::to_string(y) +
         "; sleep 0.3; xdotool click 1; sleep " + std::to_string(then_seconds) + "; ";
}
std::string grab(const std::string& png) { return "timeout 10 import -window $w '" + png + "'; "; }
// Repeats `step` (twenty times at most) until the game's log holds `text`:
// a loaded machine slows the game, not the steps.
std::string until_logged(const std::string& game, const std::string& text, const std::string& step) {
  return "for i in $(seq 20); do grep -q '" + text + "' '" + game + "/debugout.log' && break; " + step + "done; ";
}

// Plays `game` in a window under Xvfb (software renderer, so the message
// window's shapes are drawn as headless draws them) for `seconds`, running
// `steps` once the window named `caption` is up; the steps must end before
// the game does.
ProcessResult play_in_window(const TempDirectory& work, const std::string& game, const std::string& caption,
                             int seconds, const std::string& steps) {
  std::string script = "TAVELO_CONFIG_HOME='" + work.at("settings-window") +
                       "' SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy '" + tool_path("tavelo") +
                       "' --quit-after " + std::to_string(seconds * 1000) + " '" + game +
                       "' & w=$(timeout 20 xdotool search --sync --name '" + caption + "' | head -n 1); " + steps +
                       "wait $!\n";
  std::string file = work.write("window.sh", script);
  // The desktop's libraries (D-Bus, X11) keep allocations past exit; leaks
  // are checked in the headless runs, not in the real window's.
  return run_command("ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s '-screen 0 1024x768x24' sh '" + file + "' 2>&1");
}

std::string pixels_differing(const std::string& a, const std::string& b) {
  return run_command("compare -metric AE '" + a + "' '" + b + "' null: 2>&1").output;
}

TEST(TvcWindow, the_template_and_the_demo_play_in_a_real_window) {
  if (!desktop_tools_present()) GTEST_SKIP() << "xvfb-run, xdotool or ImageMagick is missing";
  TempDirectory work;
  std::string project = work.at("game");
  ASSERT_EQ(run_command("'" + tool_path("tvc") + "' new '" + project + "' && '" + project + "/build.sh'").exit_status,
            0);

  // The title (the pointer on the hill, where no button lights up), its
  // first button, the page (clicked until it is turned and the choice is
  // up), the choice's first button and its ending.
  ProcessResult played = play_in_window(
      work, project, "My First Game", 25,
      until_logged(project, "title: ", "sleep 0.2; ") + "sleep 1.5; xdotool mousemove --window $w 600 470; sleep 0.5; " +
          grab(work.at("title-window.png")) + click(320, 244, 4.5) +
          until_logged(project, "choice: ", click(320, 400, 2.0)) + "sleep 0.5; " + click(320, 104, 4.0) +
          grab(work.at("ending-window.png")));
  ASSERT_EQ(played.exit_status, 0) << played.output;
  std::string log = text_of(project + "/debugout.log");
  EXPECT_NE(log.find("title chosen: 1"), std::string::npos) << log;
  EXPECT_NE(log.find("chosen: 1", log.find("choice: ")), std::string::npos) << log;

  // The same moments headless.
  work.write("headless.txt", "1000 mouse move 600 470\n1500 screenshot " + work.at("title.png") +
                                 "\n1800 mouse move 320 244\n2000 click left 320 244\n"
                                 "6500 click left 320 400\n"
                                 "7800 mouse move 320 104\n8100 click left 320 104\n"
                                 "12100 screenshot " + work.at("ending.png") + "\n");
  ProcessResult headless = run_command("TAVELO_CONFIG_HOME='" + work.at("settings-headless") + "' '" +
                                       tool_path("tavelo") + "' --headless --quit-after 13000 --input '" +
                                       work.at("headless.txt") + "' '" + project + "' 2>&1");
  ASSERT_EQ(headless.exit_status, 0) << headless.output;
  EXPECT_EQ(pixels_differing(work.at("title-window.png"), work.at("title.png")), "0");
  EXPECT_EQ(pixels_differing(work.at("ending-window.png"), work.at("ending.png")), "0");

  // The demo: its title's button, then clicks on the place of the choice's
  // first button (turning pages, then taking it) until the story ends.
  std::string demo = work.at("demo");
  ASSERT_EQ(run_command("cp -r '" + std::string(TAVELO_BIN_DIR) + "/../games/demo' '" + demo + "' && rm -f '" + demo +
                        "/debugout.log'")
                .exit_status,
            0);
  std::string clicks = until_logged(demo, "クリックで始まります", "sleep 0.2; ") + "sleep 0.5; " + click(320, 358, 2.5) +
                       until_logged(demo, "おしまい", click(320, 104, 2.2));
  played = play_in_window(work, demo, "Tavelo", 40, clicks);
  ASSERT_EQ(played.exit_status, 0) << played.output;
  log = text_of(demo + "/debugout.log");
  EXPECT_NE(log.find("タイトル: 選ばれました 1"), std::string::npos) << log;
  EXPECT_NE(log.find("chosen: 1", log.find("choice: ")), std::string::npos) << log;
  EXPECT_NE(log.find("おしまい"), std::string::npos) << log;
}

}  // namespace
}  // namespace tavelo::testing
