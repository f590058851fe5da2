// The real SDL window under Xvfb shows the same pixels as a headless run of
// the same game and input: the window is grabbed with ImageMagick's import
// while the menu bar is open over a still screen of sprites (one opaque, one
// half transparent), and compared with the headless screenshot of that
// moment.

#include <gtest/gtest.h>

#include "tests/support/game_builder.h"
#include "tests/support/script_calls.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

constexpr const char* kCaption = "XvfbWindowTest";

bool desktop_tools_present() {
  return run_command("command -v xvfb-run && command -v import && command -v compare").exit_status == 0;
}

// Runs the real program in a window under Xvfb playing `name`.txt, and grabs
// the window (by its caption) into `name`-window.png until the grab equals
// `name`-headless.png or the attempts run out: a loaded machine may take
// seconds to open the window. The caller compares the last grab.
ProcessResult grab_real_window(TempDirectory& game, const std::string& name, const std::string& renderer) {
  const std::string grab = game.at(name + "-window.png");
  const std::string expected = game.at(name + "-headless.png");
  const std::string script = "TAVELO_CONFIG_HOME='" + game.at("settings-real") + "' SDL_RENDER_DRIVER='" + renderer +
                             "' '" + tool_path("tavelo") + "' --quit-after 10000 --input '" +
                             game.at(name + ".txt") + "' '" + game.path() + "' &\n" +
                             "engine=$!\n"
                             "sleep 1.5\n"
                             "for attempt in $(seq 24); do\n"
                             "  if timeout -k 1 10 import -window " + kCaption + " '" + grab + "' 2>/dev/null &&\n"
                             "     [ \"$(compare -metric AE '" + grab + "' '" + expected + "' null: 2>&1)\" = 0 ]; then break; fi\n"
                             "  sleep 0.3\n"
                             "done\n"
                             "wait $engine\n";
  game.write(name + "-grab.sh", script);
  // The desktop's libraries (D-Bus, X11) keep allocations past exit; leaks
  // are checked in the headless runs, not in the real window's.
  return run_command("ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy xvfb-run -a -s '-screen 0 1280x1024x24' sh '" + game.at(name + "-grab.sh") + "'");
}

std::string pixels_differing(const std::string& a, const std::string& b) {
  return run_command("compare -metric AE '" + a + "' '" + b + "' null: 2>&1").output;
}

TEST(XvfbWindow, the_real_window_shows_what_a_headless_run_shows) {
  if (!desktop_tools_present()) GTEST_SKIP() << "xvfb-run or ImageMagick is missing";
  TempDirectory game;
  GameFiles files;
  const std::string screen =
      filled("bg", 640, 480, 0x1D3557) + keep("b", "sprite_create", {"@bg"}) + call("sprite_move", {"@b", "0", "0"}) +
      keep("a", "page_create_withalfa", {"160", "120"}) + call("grp_boxfill", {"@a", "0", "0", "160", "120", "15123273"}) +
      keep("alpha", "get_alfapage", {"@a"}) + call("grp_boxfill", {"@alpha", "0", "0", "160", "120", "128"}) +
      keep("s", "sprite_create", {"@a"}) + call("sprite_move", {"@s", "240", "180"});
  files.scripts.push_back({"scenario/start.tvo", start_script(screen + "    push_int 10000\n    syscall_discard 0xCF35F0E3 1\n")});
  files.environment = std::string("TITLEBAR ") + kCaption + "\n";
  write_game(game, files);
  // Still screens 1.5 s in: the game's picture alone, and with the first
  // menu open.
  const std::string menu = "400 mouse move 20 0\n500 click left 30 8\n";
  game.write("still.txt", "");
  game.write("menu.txt", menu);
  game.write("still-headless.txt", "1500 screenshot " + game.at("still-headless.png") + "\n");
  game.write("menu-headless.txt", menu + "1500 screenshot " + game.at("menu-headless.png") + "\n");
  for (const char* input : {"still-headless.txt", "menu-headless.txt"}) {
    ProcessResult headless = run_tavelo(game, "--quit-after 2000 --input '" + game.at(input) + "'");
    ASSERT_EQ(headless.exit_status, 0) << headless.output;
  }

  // The picture through the desktop's own renderer (OpenGL where there is
  // one); the menus through the software renderer, because renderers
  // rasterise the edges of the UI's shapes each their own way.
  ProcessResult real = grab_real_window(game, "still", "");
  ASSERT_EQ(real.exit_status, 0) << real.output;
  EXPECT_EQ(pixels_differing(game.at("still-window.png"), game.at("still-headless.png")), "0");
  real = grab_real_window(game, "menu", "software");
  ASSERT_EQ(real.exit_status, 0) << real.output;
  EXPECT_EQ(pixels_differing(game.at("menu-window.png"), game.at("menu-headless.png")), "0");
}

}  // namespace
}  // namespace tavelo::testing
