// `tvc new`: the project it makes builds with its build.sh and plays, headless
// with replayed input (the title, a page of text, each choice leading to its
// own ending), and packed into archives by `build.sh pack` (tvc_window_test
// plays it in a real window).

#include <gtest/gtest.h>

#include "tests/support/game_builder.h"

namespace tavelo::testing {
namespace {

std::string text_of(const std::string& path) {
  std::vector<uint8_t> bytes = read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Replayed input for one play: the title's first button, a page, then the
// choice's button `route` (1 or 2) and the ending's page; screenshots of the
// title, the first page and the ending.
std::string play_input(const TempDirectory& work, int route) {
  std::string prefix = work.at("route" + std::to_string(route) + "_");
  int y = route == 1 ? 104 : 168;
  return "1500 screenshot " + prefix + "title.png\n"
         "1800 mouse move 320 244\n"
         "2000 click left 320 244\n"
         "5000 screenshot " + prefix + "page.png\n"
         "5200 click left 320 400\n"
         "6800 mouse move 320 " + std::to_string(y) + "\n"
         "7000 click left 320 " + std::to_string(y) + "\n"
         "10000 screenshot " + prefix + "ending.png\n";
}

TEST(TvcTemplate, a_new_project_builds_plays_both_endings_and_packs) {
  TempDirectory work;
  std::string project = work.at("game");
  std::string tvc = "'" + tool_path("tvc") + "'";
  ProcessResult made = run_command(tvc + " new '" + project + "'");
  ASSERT_EQ(made.exit_status, 0) << made.output;
  ProcessResult again = run_command(tvc + " new '" + project + "'");
  EXPECT_EQ(again.exit_status, 1) << "a project is never made over another one";

  ProcessResult built = run_command("'" + project + "/build.sh' 2>&1");
  ASSERT_EQ(built.exit_status, 0) << built.output;
  EXPECT_FALSE(read_bytes(project + "/scenario/obj/start.tvo").empty());
  EXPECT_FALSE(read_bytes(project + "/scenario/obj/prelude.tvo").empty());

  std::string settings = "TAVELO_CONFIG_HOME='" + work.at("settings") + "' ";
  std::string tavelo = "'" + tool_path("tavelo") + "'";
  std::vector<std::string> logs;
  for (int route : {1, 2}) {
    work.write("route" + std::to_string(route) + ".txt", play_input(work, route));
    run_command("rm -f '" + project + "/debugout.log'");
    ProcessResult run = run_command(settings + tavelo + " --headless --quit-after 11000 --input '" +
                                    work.at("route" + std::to_string(route) + ".txt") + "' '" + project + "' 2>&1");
    ASSERT_EQ(run.exit_status, 0) << run.output;
    logs.push_back(text_of(project + "/debugout.log"));
    EXPECT_NE(logs.back().find("title chosen: 1"), std::string::npos) << logs.back();
    EXPECT_NE(logs.back().find("chosen: " + std::to_string(route), logs.back().find("choice: ")), std::string::npos)
        << logs.back();
  }
  // The same title and page both times; the endings differ from each other
  // and from the page before them.
  EXPECT_EQ(read_bytes(work.at("route1_title.png")), read_bytes(work.at("route2_title.png")));
  EXPECT_EQ(read_bytes(work.at("route1_page.png")), read_bytes(work.at("route2_page.png")));
  EXPECT_NE(read_bytes(work.at("route1_title.png")), read_bytes(work.at("route1_page.png")));
  EXPECT_NE(read_bytes(work.at("route1_ending.png")), read_bytes(work.at("route2_ending.png")));
  EXPECT_NE(read_bytes(work.at("route1_ending.png")), read_bytes(work.at("route1_page.png")));
  EXPECT_FALSE(read_bytes(work.at("route2_ending.png")).empty());

  // Packed: archives and the environment, no debug folder; it shows the
  // same title.
  ProcessResult packed = run_command("'" + project + "/build.sh' pack 2>&1");
  ASSERT_EQ(packed.exit_status, 0) << packed.output;
  for (const char* file : {"scenario.arc", "data.arc", "stream.arc", "tavelo.env"}) {
    EXPECT_FALSE(read_bytes(project + "/dist/" + file).empty()) << file;
  }
  ProcessResult title = run_command(settings + tavelo + " --headless --quit-after 1500 --screenshot '" +
                                    work.at("packed_title.png") + "' '" + project + "/dist' 2>&1");
  EXPECT_EQ(title.exit_status, 0) << title.output;
  EXPECT_EQ(read_bytes(work.at("packed_title.png")), read_bytes(work.at("route1_title.png")));
}

}  // namespace
}  // namespace tavelo::testing
