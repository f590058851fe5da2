// The demo game, written in the language: played headless from replayed
// input down both ways of its choice (the title waits for the player; each
// answer leads to its own scene and ending; a second run gives the same
// log, pictures and saves); and the prelude's save point,
// which rebuilds the scene a load comes back to.

#include <gtest/gtest.h>

#include "tests/support/host_input.h"
#include "tests/tools/tvc_harness.h"

namespace tavelo::testing {
namespace {

std::string text_of(const std::string& path) {
  std::vector<uint8_t> bytes = read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(TvcDemo, the_title_waits_and_each_answer_leads_to_its_own_ending) {
  TempDirectory work;
  std::string demo = std::string(TAVELO_BIN_DIR) + "/../games/demo";
  std::string settings = "TAVELO_CONFIG_HOME='" + work.at("settings") + "' ";
  std::string tavelo = "'" + tool_path("tavelo") + "'";

  // Nobody clicks: after ten seconds the title still waits.
  ASSERT_EQ(run_command("cp -r '" + demo + "' '" + work.at("idle") + "' && rm -f '" + work.at("idle") + "/debugout.log'")
                .exit_status,
            0);
  ProcessResult idle = run_command(settings + tavelo + " --headless --quit-after 10000 '" + work.at("idle") + "'");
  ASSERT_EQ(idle.exit_status, 0) << idle.output;
  std::string idle_log = text_of(work.at("idle/debugout.log"));
  EXPECT_NE(idle_log.find("タイトル: クリックで始まります"), std::string::npos) << idle_log;
  EXPECT_EQ(idle_log.find("タイトル: 選ばれました"), std::string::npos) << idle_log;

  // The autoplay input (the first answer), the same with the pointer on the
  // second button, and the first again on a fresh copy of the game.
  std::string autoplay = text_of(demo + "/autoplay.txt");
  std::string second = autoplay;
  for (size_t at = second.find("320 104"); at != std::string::npos; at = second.find("320 104", at)) {
    second.replace(at, 7, "320 168");
  }
  std::string logs[3];
  for (int pass : {0, 1, 2}) {
    int route = pass % 2;
    std::string game = work.at("route" + std::to_string(pass));
    ASSERT_EQ(run_command("cp -r '" + demo + "' '" + game + "' && rm -rf '" + game + "/debugout.log' '" + game +
                          "/savedata'")
                  .exit_status,
              0);
    // Screenshots of the title, the first page and the ending go in among
    // the timed lines.
    std::string input_text = route == 0 ? autoplay : second;
    struct Shot {
      const char* before;  // the input line it goes before
      int at;
      std::string name;
    };
    for (const Shot& shot : {Shot{"\n1200 ", 1000, "title"}, Shot{"\n6500 ", 6400, "page"},
                             Shot{"\n16500 ", 15000, "ending"}}) {
      size_t place = input_text.find(shot.before);
      ASSERT_NE(place, std::string::npos) << shot.before;
      input_text.insert(place + 1, std::to_string(shot.at) + " screenshot " +
                                       work.at(shot.name + std::to_string(pass) + ".png") + "\n");
    }
    std::string input = work.write("input" + std::to_string(pass) + ".txt", input_text);
    ProcessResult run = run_command(settings + tavelo + " --headless --quit-after 30000 --input '" + input + "' '" +
                                    game + "' 2>&1");
    ASSERT_EQ(run.exit_status, 0) << run.output;
    logs[pass] = text_of(game + "/debugout.log");
    EXPECT_NE(logs[pass].find("タイトル: 選ばれました 1"), std::string::npos) << logs[pass];
    EXPECT_NE(logs[pass].find("the ticker heard ding"), std::string::npos) << logs[pass];
    EXPECT_NE(logs[pass].find("chosen: " + std::to_string(route + 1)), std::string::npos) << logs[pass];
    // The ending shown, the music faded, and the title back, waiting again.
    size_t end = logs[pass].find("おしまい");
    ASSERT_NE(end, std::string::npos) << logs[pass];
    EXPECT_NE(logs[pass].find("タイトル: クリックで始まります", end), std::string::npos) << logs[pass];
    EXPECT_EQ(logs[pass].find("ページからはみ出しました"), std::string::npos) << logs[pass];
  }
  // The same input on a fresh copy gives the same bytes: the log (its stamps
  // taken from the run's own calendar), the pictures and the saves.
  EXPECT_EQ(logs[0].substr(0, 12), "000101_0000 ");
  EXPECT_EQ(logs[2], logs[0]);
  for (const char* shot : {"title", "page", "ending"}) {
    EXPECT_EQ(read_bytes(work.at(std::string(shot) + "2.png")), read_bytes(work.at(std::string(shot) + "0.png"))) << shot;
  }
  for (const char* save : {"tavelo_system.tss", "tavelo_readmark.tss"}) {
    std::vector<uint8_t> first = read_bytes(work.at("route0/savedata/") + save);
    EXPECT_FALSE(first.empty()) << save;
    EXPECT_EQ(read_bytes(work.at("route2/savedata/") + save), first) << save;
  }
  // The same title and page both ways, the endings each their own.
  EXPECT_EQ(read_bytes(work.at("title0.png")), read_bytes(work.at("title1.png")));
  EXPECT_EQ(read_bytes(work.at("page0.png")), read_bytes(work.at("page1.png")));
  EXPECT_NE(read_bytes(work.at("title0.png")), read_bytes(work.at("page0.png")));
  EXPECT_NE(read_bytes(work.at("ending0.png")), read_bytes(work.at("ending1.png")));
  EXPECT_NE(read_bytes(work.at("ending0.png")), read_bytes(work.at("page0.png")));
}

TEST(TvcDemo, a_load_comes_back_to_the_save_point_and_the_scene_is_built_again) {
  TvsRun run = run_sources({
      {"start.tvs", R"(
import "prelude";
global loads: int;
function init() {}
function main() {
    message_window();
    debug_print("window", is_sprite(window_sprite));
    if (save_here("第一章", "テスト")) {
        debug_print("rebuilt", is_sprite(window_sprite), current_comment());
        system_end();
    }
    save(1);
    load(1);
    wait(1000);
    debug_print("not reached");
}
)"},
      {"prelude.tvs", text_of(std::string(TAVELO_SOURCE_DIR) + "/games/template/scenario/prelude.tvs")},
  });
  EXPECT_EQ(run.lines, (std::vector<std::string>{"window 1 ", "rebuilt 1 第一章∵テスト "})) << run.game.log;
}

TEST(TvcDemo, the_prelude_choice_takes_a_number_key) {
  RunHooks hooks;
  hooks.before = [](TestEngine& test) { press_key(test, '3', test.platform.ticks_ms() + 500); };
  TvsRun run = run_sources({
      {"start.tvs", R"(
import "prelude";
function init() {}
function main() {
    debug_print("picked", choose(["one", "two", "three"]));
    system_end();
}
)"},
      {"prelude.tvs", text_of(std::string(TAVELO_SOURCE_DIR) + "/games/template/scenario/prelude.tvs")},
  },
                           hooks);
  EXPECT_EQ(run.lines, (std::vector<std::string>{"choice: one / two ", "chosen: 3 ", "picked 2 "})) << run.game.log;
}

}  // namespace
}  // namespace tavelo::testing
