// A game directory runs through start-up, its initialisers and its start
// script to the end-the-engine call; the real program refuses a bad
// --quit-after, ends a script that never yields, says why it cannot take its
// instance lock, and never waits on a FIFO.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "tests/support/game_builder.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

constexpr const char* kHelloStart = R"(
.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main

init:
    line 1
    push_string "init ran"
    syscall_discard 0xF3679C34 1
    return

main:
    line 3
    push_string "hello"
    push_int 42
    syscall_discard 0xF3679C34 2
    syscall_discard 0x8D8FB32E 0
    return
)";

TEST(Startup, runs_initialisers_then_the_start_script_to_the_end_call) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  GameRun run = run_game(game);
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> lines = log_messages(run.log);
  ASSERT_EQ(lines.size(), 2u) << run.log;
  EXPECT_EQ(lines[0], "init ran ");
  EXPECT_EQ(lines[1], "42 hello ");
}

TEST(Startup, the_real_program_runs_a_game_headless) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  ProcessResult result = run_tavelo(game);
  EXPECT_EQ(result.exit_status, 0) << result.output;
  std::vector<uint8_t> log = read_bytes(game.at("debugout.log"));
  EXPECT_NE(std::string(log.begin(), log.end()).find("42 hello"), std::string::npos);
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// The real program with a settings directory of the test's choosing, ended
// by timeout after a minute should it hang (status 124).
ProcessResult run_tavelo_with(const TempDirectory& game, const std::string& settings, const std::string& options) {
  return run_command("TAVELO_CONFIG_HOME=" + quoted(settings) + " timeout 60 " + quoted(tool_path("tavelo")) +
                     " --headless " + options + " " + quoted(game.path()));
}

TEST(Startup, quit_after_takes_only_plain_milliseconds) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  for (const char* bad : {"''", "-1", "+5", "' 5'", "5ms", "abc", "4294967396", "2147483648", "99999999999999999999"}) {
    ProcessResult result = run_tavelo_with(game, game.at("settings"), std::string("--quit-after ") + bad);
    EXPECT_EQ(result.exit_status, 2) << bad << ": " << result.output;
    EXPECT_NE(result.output.find("--quit-after needs"), std::string::npos) << bad << ": " << result.output;
  }
  ProcessResult longest = run_tavelo_with(game, game.at("settings"), "--quit-after 2147483647");
  EXPECT_EQ(longest.exit_status, 0) << longest.output;
}

TEST(Startup, quit_after_ends_a_script_that_never_yields) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", R"(
.entry main
.function "$init@GLOBAL" init
init:
    return
main:
    jump main
)"}}});
  ProcessResult result = run_tavelo_with(game, game.at("settings"), "--quit-after 200");
  EXPECT_EQ(result.exit_status, 255) << result.output;
  EXPECT_NE(result.output.find("without giving control back (--quit-after)"), std::string::npos) << result.output;
}

TEST(Startup, an_instance_lock_that_cannot_be_taken_is_explained) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  std::string file = game.write("not_a_directory", "x");
  for (const std::string& settings : {file, file + "/below"}) {
    ProcessResult result = run_tavelo_with(game, settings, "");
    EXPECT_EQ(result.exit_status, 255) << settings << ": " << result.output;
    EXPECT_NE(result.output.find("多重起動防止用のファイルを作成できません。"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(file), std::string::npos) << result.output;
  }
}

TEST(Startup, captions_and_sections_too_long_for_file_names_still_run) {
  TempDirectory game;
  std::string long_name;
  for (int i = 0; i < 127; ++i) long_name += "ｱ";  // 381 bytes of UTF-8
  GameFiles files{{{"scenario/start.tvo", kHelloStart}}};
  files.environment = "TITLEBAR " + long_name + "\nREG_GLOBAL " + long_name + "\nREG_LOCAL " + long_name + "\n";
  write_game(game, files);
  ProcessResult result = run_tavelo_with(game, game.at("settings"), "");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  std::vector<uint8_t> log = read_bytes(game.at("debugout.log"));
  EXPECT_NE(std::string(log.begin(), log.end()).find("42 hello"), std::string::npos);

  std::vector<platform::DirectoryItem> items;
  ASSERT_TRUE(platform::list_directory(game.at("settings"), items));
  ASSERT_EQ(items.size(), 2u) << "the lock file and the section directory";
  for (const platform::DirectoryItem& item : items) {
    EXPECT_LE(item.name.size(), platform::kMaxFileNameBytes);
    EXPECT_EQ(item.name.substr(0, 30), long_name.substr(0, 30));
    if (!item.is_directory) continue;
    std::vector<platform::DirectoryItem> inside;
    ASSERT_TRUE(platform::list_directory(game.at("settings/" + item.name), inside));
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_LE(inside[0].name.size(), platform::kMaxFileNameBytes);
    EXPECT_TRUE(inside[0].name.ends_with(".reg")) << inside[0].name;
  }
}

TEST(Startup, a_fifo_as_the_environment_file_is_a_missing_file) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  ASSERT_TRUE(platform::remove_file(game.at("tavelo.env")));
  ASSERT_EQ(::mkfifo(game.at("tavelo.env").c_str(), 0600), 0);
  ProcessResult result = run_tavelo_with(game, game.at("settings"), "");
  EXPECT_EQ(result.exit_status, 255) << result.output;
  EXPECT_NE(result.output.find("起動に必要なファイルが不足しています。"), std::string::npos) << result.output;
}

TEST(Startup, start_up_errors_say_which_file_and_what_to_do_and_a_broken_game_ends_as_a_failure) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  ASSERT_TRUE(platform::remove_file(game.at("tavelo.env")));
  ProcessResult missing = run_tavelo_with(game, game.at("settings"), "");
  EXPECT_EQ(missing.exit_status, 255);
  EXPECT_NE(missing.output.find("見つからないファイル: tavelo.env"), std::string::npos) << missing.output;

  // A start script without its initialiser names the script's source.
  TempDirectory no_init;
  write_game(no_init, {{{"scenario/start.tvo", ".entry main\n.function \"$main@GLOBAL\" main\nmain:\n    return\n"}}});
  ProcessResult broken = run_tavelo_with(no_init, no_init.at("settings"), "");
  EXPECT_EQ(broken.exit_status, 255) << broken.output;
  EXPECT_NE(broken.output.find("[start.tvs]に $init@GLOBAL 関数がありません"), std::string::npos) << broken.output;
}

TEST(Startup, two_errors_that_take_turns_are_given_up_like_one_that_repeats) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", R"(
.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main
init:
    return
main:
    syscall_discard 0x11111111 0
    syscall_discard 0x22222222 0
    jump main
)"}}});
  ProcessResult run = run_tavelo_with(game, game.at("settings"), "--answer continue --quit-after 60000");
  EXPECT_EQ(run.exit_status, 255) << run.output.substr(0, 2000);
  size_t boxes = 0;
  for (size_t at = run.output.find("[message box]"); at != std::string::npos; at = run.output.find("[message box]", at + 1)) {
    ++boxes;
  }
  EXPECT_LE(boxes, 8u) << run.output.substr(0, 2000);
}

TEST(Startup, a_utf8_environment_file_is_read_with_its_mark_and_named_in_the_log_without_it) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", kHelloStart}}});
  game.write("tavelo.env", "\xEF\xBB\xBFTITLEBAR ゲームの題名\n");
  std::vector<std::string> captions;
  RunHooks hooks;
  hooks.after = [&](TestEngine& test) { captions = test.platform.captions(); };
  run_game(game, {}, {}, hooks);
  ASSERT_FALSE(captions.empty());
  EXPECT_EQ(captions.front(), "ゲームの題名");

  const std::string plain = "TITLEBAR ゲーム\n";
  ASSERT_FALSE(platform::TextEncoding::create("CP932")->to_utf8(plain)) << "the test needs text CP932 refuses";
  game.write("tavelo.env", plain);
  GameRun run = run_game(game);
  EXPECT_NE(run.log.find("tavelo.env は CP932 として正しくありませんが、UTF-8 としては正しい文字列です。"), std::string::npos)
      << run.log;
}

}  // namespace
}  // namespace tavelo::testing
