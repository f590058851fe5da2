// A real window under Xvfb, a bare X server without a window manager or a
// program for desktop message boxes: the exit question is drawn in the
// window and answered there (keys, replayed); SIGTERM, SIGINT and SIGHUP
// end the run the orderly way, and every end leaves AbnormalTerminateFlg
// "0" behind; F4 covers the whole screen.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/file_system.h"
#include "tests/support/game_builder.h"
#include "tests/support/script_calls.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

bool xvfb_present() { return run_command("command -v xvfb-run && command -v compare").exit_status == 0; }

// A game that waits for a minute; its settings live in game/settings. The
// runs use SDL's dummy sound output: without a device the engine would
// (rightly) open with a box saying so.
void write_waiting_game(const TempDirectory& game) {
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo",
                           start_script(filled("bg", 640, 480, 0x336699) + keep("b", "sprite_create", {"@bg"}) +
                                        call("sprite_move", {"@b", "0", "0"}) +
                                        "    push_int 60000\n    syscall_discard 0xCF35F0E3 1\n")});
  files.environment = "TITLEBAR QuitTest\n";
  files.debug_mode = false;
  write_game(game, files);
}

// The text of every settings file the run wrote.
std::string settings_text(const TempDirectory& game) {
  return run_command("cat '" + game.at("settings") + "'/*/*.reg").output;
}

// Runs tavelo in a window under Xvfb; after_start is a shell script run
// while it plays (the engine's process id in $p).
ProcessResult run_in_window(const TempDirectory& game, const std::string& options, const std::string& after_start) {
  std::string script = "TAVELO_CONFIG_HOME='" + game.at("settings") + "' SDL_RENDER_DRIVER=software '" +
                       tool_path("tavelo") + "' " + options + " '" + game.path() + "' & p=$!\n" + after_start +
                       "\nwait $p\necho status=$?\n";
  std::string path = game.write("run.sh", script);
  return run_command("ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy xvfb-run -a -s '-screen 0 1024x768x24' sh '" +
                     path + "'");
}

TEST(XvfbQuit, the_close_button_asks_in_the_window_and_yes_ends_cleanly) {
  if (!xvfb_present()) GTEST_SKIP() << "xvfb-run or ImageMagick is missing";
  ASSERT_NE(run_command("command -v zenity || command -v kdialog").exit_status, 0)
      << "the test is about desktops without a box helper";
  TempDirectory game;
  write_waiting_game(game);
  // Close, look, refuse with Escape, look again; close once more and say
  // yes with the key Y.
  // Wide gaps: a loaded machine draws the software-rendered window slowly.
  game.write("input.txt", "400 close\n1200 screenshot " + game.at("asked.png") + "\n1500 key Escape\n3000 screenshot " +
                              game.at("refused.png") + "\n3500 screenshot " + game.at("later.png") +
                              "\n4000 close\n4800 key Y\n");
  auto started = std::chrono::steady_clock::now();
  ProcessResult run = run_in_window(game, "--quit-after 20000 --input '" + game.at("input.txt") + "'", "true");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_NE(run.output.find("status=0"), std::string::npos) << run.output;
  EXPECT_LT(seconds, 15.0) << "Yes must end the run long before --quit-after";
  EXPECT_NE(settings_text(game).find("\"AbnormalTerminateFlg\"=\"0\""), std::string::npos) << settings_text(game);
  auto differing = [&](const char* a, const char* b) {
    return run_command("compare -metric AE '" + game.at(a) + "' '" + game.at(b) + "' null: 2>&1").output;
  };
  EXPECT_NE(differing("asked.png", "refused.png"), "0") << "the question shows in the window";
  EXPECT_EQ(differing("refused.png", "later.png"), "0") << "Escape answers no and the box goes";
}

TEST(XvfbQuit, stop_signals_end_the_run_in_order_even_while_the_question_is_open) {
  if (!xvfb_present()) GTEST_SKIP() << "xvfb-run or ImageMagick is missing";
  for (const char* signal_name : {"TERM", "INT", "HUP"}) {
    SCOPED_TRACE(signal_name);
    TempDirectory game;
    write_waiting_game(game);
    // The question is open when the signal comes.
    game.write("input.txt", "300 close\n");
    auto started = std::chrono::steady_clock::now();
    ProcessResult run = run_in_window(game, "--quit-after 20000 --input '" + game.at("input.txt") + "'",
                                      std::string("sleep 1.5; kill -") + signal_name + " $p");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 15.0) << "the signal, not --quit-after, ends the run";
    EXPECT_NE(run.output.find("status=0"), std::string::npos) << run.output;
    EXPECT_NE(settings_text(game).find("\"AbnormalTerminateFlg\"=\"0\""), std::string::npos);
    EXPECT_TRUE(platform::is_directory(game.at("savedata"))) << "the system save and read marks are written";
  }
}

TEST(XvfbFullScreen, f4_covers_the_screen_without_a_window_manager) {
  if (!xvfb_present()) GTEST_SKIP() << "xvfb-run or ImageMagick is missing";
  TempDirectory game;
  write_waiting_game(game);
  game.write("input.txt", "300 key F4\n");
  // The screen's far corner after the switch: the game's colour (0x336699
  // is red 0x99, green 0x66, blue 0x33), not the
  // bare server's black.
  // Looked at once a second (a loaded machine may take its time).
  ProcessResult run = run_in_window(game, "--quit-after 20000 --input '" + game.at("input.txt") + "'",
                                    "for i in 1 2 3 4 5 6 7 8 9 10; do sleep 1\n"
                                    "  c=$(timeout -k 1 10 import -window root -crop 1x1+1000+740 txt:- | tail -1)\n"
                                    "  case \"$c\" in *'srgb(153,102,51)'*) break;; esac\n"
                                    "done\necho \"$c\"\nkill $p");
  EXPECT_NE(run.output.find("srgb(153,102,51)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("status=0"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace tavelo::testing
