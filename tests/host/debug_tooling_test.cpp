// The author's aids: editor commands with their placeholders, where the
// source of a compiled script is looked for, dropped sources handed to the
// compiler, the watch display and the position text.

#include "host/debug_tooling.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "host/engine.h"
#include "host/state.h"
#include "platform/file_system.h"
#include "resources/settings.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using Words = std::vector<std::string>;

TEST(EditorCommand, placeholders_are_replaced_inside_each_word) {
  struct Case {
    const char* command;
    Words expected;
  };
  const std::string path = "/games/my game/scenario/start.txt";
  const Case cases[] = {
      {"vim +%line% %fn%", {"vim", "+12", path}},
      {"code -g %fn%:%line%", {"code", "-g", path + ":12"}},
      // A quoted program path with blanks, a Windows-style switch, a quoted placeholder.
      {"\"/opt/My Editor/ed\" /J%line% \"%fn%\"", {"/opt/My Editor/ed", "/J12", path}},
      // Without %fn% only the line is given.
      {"ed --line=%line%", {"ed", "--line=12"}},
      {"ed \\\"%fn%\\\"", {"ed", "\"" + path + "\""}},
  };
  for (const Case& c : cases) EXPECT_EQ(host::editor_arguments(c.command, path, 12), c.expected) << c.command;
}

TEST(EditorCommand, known_editors_get_their_line_switch) {
  struct Case {
    const char* editor;
    const char* command;
  };
  for (const Case& c : {Case{"vim", "vim +%line% %fn%"}, Case{"/usr/bin/nano", "/usr/bin/nano +%line% %fn%"},
                        Case{"emacs -nw", "emacs -nw +%line% %fn%"}, Case{"code --wait", "code --wait -g %fn%:%line%"},
                        Case{"gedit", "gedit %fn%"}}) {
    EXPECT_EQ(host::editor_template_for(c.editor), c.command) << c.editor;
  }
}

// A game whose compiled start script lies in scenario/sub; the editor is
// asked for after the run (the search list stays registered until the
// engine goes).
struct EditorRun {
  std::vector<platform::ProcessLaunch> launches;
  std::vector<std::string> opened;
};

EditorRun open_editor(const TempDirectory& game, std::string_view editor_setting, bool debug_mode = true) {
  GameFiles files;
  files.debug_mode = debug_mode;
  files.scripts.push_back({"scenario/sub/start.tvo", start_script("")});
  write_game(game, files);
  EditorRun result;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) {
    (void)resources::write_user_text(test.engine.resources, resources::UserText::Editor, editor_setting);
  };
  hooks.after = [&](TestEngine& test) {
    host::open_in_editor(test.engine, "START.TVO", 12);
    result.launches = test.platform.launches();
    result.opened = test.platform.opened_targets();
  };
  run_game(game, {}, {}, hooks);
  return result;
}

TEST(EditorCommand, the_source_is_looked_for_one_directory_above_the_compiled_script) {
  struct Case {
    std::vector<const char*> sources;
    const char* expected;
  };
  const Case cases[] = {
      {{"scenario/start.txt", "scenario/start.tvs"}, "scenario/start.txt"},
      {{"scenario/start.tvs"}, "scenario/start.tvs"},
      {{}, "scenario/start.tvs"},  // neither exists: the name the editor may create
  };
  for (const Case& c : cases) {
    TempDirectory game;
    for (const char* source : c.sources) game.write(source, "text");
    EditorRun run = open_editor(game, "myedit -l %line% %fn%");
    ASSERT_EQ(run.launches.size(), 1u) << c.expected;
    EXPECT_EQ(run.launches[0].arguments, (Words{"myedit", "-l", "12", game.at(c.expected)}));
  }
}

TEST(EditorCommand, falls_back_to_the_environment_then_to_the_desktop) {
  const char* visual = std::getenv("VISUAL");
  const char* editor = std::getenv("EDITOR");
  std::string saved_visual = visual ? visual : "", saved_editor = editor ? editor : "";
  unsetenv("VISUAL");
  setenv("EDITOR", "vi", 1);
  {
    TempDirectory game;
    game.write("scenario/start.tvs", "text");
    EditorRun run = open_editor(game, "none");
    ASSERT_EQ(run.launches.size(), 1u);
    EXPECT_EQ(run.launches[0].arguments, (Words{"vi", "+12", game.at("scenario/start.tvs")}));
  }
  unsetenv("EDITOR");
  {
    // The fast-read file, fastread.inf before fastread.txt: comments and
    // blank lines are no lines; line 0's directory gets its savedata, line 2
    // is the editor.
    TempDirectory game, fast, other;
    game.write("scenario/start.tvs", "text");
    game.write("fastread.inf", "; the author's set-up\r\n\r\n  " + fast.path() +
                                   "  // a fast disk\r\nunused\r\n\tmyedit -n%line% %fn% ; mine\r\n");
    game.write("fastread.txt", other.path() + "\n\nunused\nother %fn%\n");
    EditorRun run = open_editor(game, "none");
    ASSERT_EQ(run.launches.size(), 1u);
    EXPECT_EQ(run.launches[0].arguments, (Words{"myedit", "-n12", game.at("scenario/start.tvs")}));
    EXPECT_TRUE(platform::is_directory(fast.at("savedata")));
    EXPECT_FALSE(platform::is_directory(other.at("savedata")));
  }
  {
    TempDirectory game;
    game.write("scenario/start.tvs", "text");
    EditorRun run = open_editor(game, "none");
    EXPECT_TRUE(run.launches.empty());
    EXPECT_EQ(run.opened, (Words{game.at("scenario/start.tvs")}));
  }
  {
    TempDirectory game, fast;
    game.write("fastread.txt", fast.path() + "\n\nmyedit %fn%\n");
    EditorRun run = open_editor(game, "none", false);  // product mode: nothing, and no fast-read file
    EXPECT_TRUE(run.launches.empty());
    EXPECT_TRUE(run.opened.empty());
    EXPECT_FALSE(platform::is_directory(fast.at("savedata")));
  }
  if (visual) setenv("VISUAL", saved_visual.c_str(), 1);
  if (editor) setenv("EDITOR", saved_editor.c_str(), 1);
}

TEST(EditorCommand, an_error_report_opens_the_failing_line_when_asked_to) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    line 4
    syscall_discard 0x12345678 0
  )")});
  write_game(game, files);
  std::vector<platform::ProcessLaunch> launches;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) {
    (void)resources::write_user_text(test.engine.resources, resources::UserText::Editor, "myedit %fn%:%line%");
    (void)resources::write_user_setting(test.engine.resources, resources::UserSetting::AutoOpenErrorLine, 1);
  };
  hooks.after = [&](TestEngine& test) { launches = test.platform.launches(); };
  run_game(game, {}, {}, hooks);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].arguments, (Words{"myedit", game.at("start.tvs") + ":4"}));  // one level above scenario/
}

TEST(DroppedSource, goes_to_the_configured_compiler_and_a_finished_compile_restarts_the_game) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script("")});
  write_game(game, files);
  std::string source = game.write("src/new scene.tvs", "text");
  RunHooks hooks;
  hooks.after = [&](TestEngine& test) {
    host::Engine& engine = test.engine;
    // Nothing configured: a box says so and nothing starts.
    host::handle_dropped_file(engine, source);
    ASSERT_EQ(test.platform.boxes().size(), 1u);
    EXPECT_NE(test.platform.boxes()[0].text.find("Compiler"), std::string::npos);
    EXPECT_TRUE(test.platform.launches().empty());

    (void)resources::reg_write_text(engine.resources, "Compiler", "tvc --out %fn%.tvo");
    host::handle_dropped_file(engine, game.at("data/picture.png"));  // not a source: ignored
    EXPECT_TRUE(test.platform.launches().empty());
    host::handle_dropped_file(engine, source);
    ASSERT_EQ(test.platform.launches().size(), 1u);
    EXPECT_EQ(test.platform.launches()[0].arguments, (Words{"tvc", "--out", source + ".tvo"}));
    EXPECT_EQ(test.platform.launches()[0].working_directory, game.at("src"));
    EXPECT_TRUE(engine.host.debug.compile_pending);

    // The headless compiler "ends" at once with status 0: the scripts reload.
    test.platform.advance_clock(200);
    host::run_debug_tooling(engine);
    EXPECT_FALSE(engine.host.debug.compile_pending);
    EXPECT_TRUE(engine.host.return_to_title);
  };
  run_game(game, {}, {}, hooks);
}

TEST(WatchDisplay, shows_global_and_eternal_values_and_skips_other_names) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    push_int 3
    set_int_pop global int "@a@GLOBAL"
    push_float 1.5
    set_float_pop eternal float "#b@GLOBAL"
    push_int 100
    syscall_discard 0xCF35F0E3 1
  )")});
  write_game(game, files);
  std::string status;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) {
    (void)resources::write_user_text(test.engine.resources, resources::UserText::WatchList, "@a #b x @missing");
  };
  hooks.after = [&](TestEngine& test) { status = test.platform.status_text(); };
  run_game(game, {}, {}, hooks);
  EXPECT_EQ(status, "3 1.500000e+00 ??? ");
}

TEST(PositionText, names_the_script_and_line_of_the_text_shown) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    line 7
    text "first"
    text " page"
    message
    line 9
    text "second"
  )")});
  write_game(game, files);
  std::string position;
  RunHooks hooks;
  hooks.after = [&](TestEngine& test) { position = test.engine.host.window.position_text; };
  run_game(game, {}, {}, hooks);
  EXPECT_EQ(position, "START.tvs(9)\nsecond");
}

}  // namespace
}  // namespace tavelo::testing
