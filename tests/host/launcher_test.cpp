// The launcher's list file and what it shows of a game folder.

#include <gtest/gtest.h>

#include "host/launcher.h"
#include "host/launcher_list.h"
#include "persistence/save_file.h"
#include "platform/file_system.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using host::KnownGame;

TEST(GameList, keeps_the_order_and_skips_what_is_damaged) {
  // Written here by hand: tab-separated, "-" for never played.
  const std::string text =
      "# comment\n"
      "2026-12-01 20:15\t/games/first\r\n"
      "-\t/games/second/\n"
      "no tab at all\n"
      "2026-13-01 20:15\t/games/bad-month\n"
      "2026-12-01 2015\t/games/bad-shape\n"
      "-\trelative/folder\n"
      "-\t/games/with\x01control\n"
      "\n"
      "2026-12-02 08:00\t/games/first\n"
      "-\t/games/third";
  std::vector<KnownGame> expected = {
      {"/games/first", "2026-12-01 20:15"}, {"/games/second", ""}, {"/games/third", ""}};
  EXPECT_EQ(host::parse_game_list(text), expected);
  EXPECT_TRUE(host::parse_game_list(std::string("\0\xFF\t\n\t\t\n", 7)).empty());
}

TEST(GameList, the_file_in_the_settings_directory) {
  TempDirectory settings;
  EXPECT_TRUE(host::read_game_list(settings.at("none")).empty()) << "a missing file is an empty list";

  std::vector<KnownGame> games;
  EXPECT_TRUE(host::add_known_game(games, "/games/a"));
  EXPECT_TRUE(host::add_known_game(games, "/games/b/"));
  EXPECT_TRUE(host::add_known_game(games, "/games/a"));
  EXPECT_FALSE(host::add_known_game(games, "/games/new\nline"));
  EXPECT_FALSE(host::add_known_game(games, "games/relative"));
  platform::LocalTime now{2026, 12, 9, 4, 5, 59};
  host::note_game_played(games, "/games/b", now);
  host::note_game_played(games, "/games/c", now);
  ASSERT_TRUE(host::write_game_list(settings.at("deeper/tavelo"), games));
  // The last played first; never played as "-".
  std::string written = run_command("grep -v '^#' '" + settings.at("deeper/tavelo/games.txt") + "'").output;
  EXPECT_EQ(written, "2026-12-09 04:05\t/games/c\n2026-12-09 04:05\t/games/b\n-\t/games/a\n");

  host::remove_known_game(games, "/games/b");
  host::note_game_played_in(settings.at("deeper/tavelo"), "/games/a", {2027, 1, 2, 3, 4, 5});
  std::vector<KnownGame> read = host::read_game_list(settings.at("deeper/tavelo"));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0], (KnownGame{"/games/a", "2027-01-02 03:04"}));
  EXPECT_EQ(read[1].folder, "/games/c");
}

// A save file with a thumbnail of one colour.
std::vector<uint8_t> save_with_thumbnail(int32_t width, int32_t height, uint8_t blue) {
  persistence::SaveImage image;
  image.thumbnail_width = width;
  image.thumbnail_height = height;
  image.thumbnail.assign(size_t(width) * size_t(height) * 3, blue);
  image.frames.emplace_back();
  return persistence::write_save_file(image);
}

TEST(LauncherRows, title_folder_and_the_newest_saves_thumbnail) {
  TempDirectory root;
  // No folder: shown as missing, named after its folder.
  dialogs::LauncherRow gone = host::describe_game(root.at("gone"), "2026-01-01 00:00");
  EXPECT_TRUE(gone.missing);
  EXPECT_EQ(gone.title, "gone");

  // The title in the game's code page, the bar a blank; the newest save's
  // thumbnail, reduced by a whole step to fit 160 × 120.
  root.write("sjis/tavelo.env", sjis("TITLEBAR 月の|物語\n"));
  root.write("sjis/savedata/tavelo_0001.sav", save_with_thumbnail(320, 240, 0x11));
  root.write("sjis/savedata/tavelo_0002.sav", save_with_thumbnail(400, 300, 0x22));
  root.write("sjis/savedata/notes.txt", "not a save");
  run_command("touch -d '2020-01-01' '" + root.at("sjis/savedata/tavelo_0002.sav") + "'");
  dialogs::LauncherRow sjis_row = host::describe_game(root.at("sjis"), "");
  EXPECT_FALSE(sjis_row.missing);
  EXPECT_EQ(sjis_row.title, "月の 物語");
  EXPECT_EQ(sjis_row.thumbnail_width, 160);
  EXPECT_EQ(sjis_row.thumbnail_height, 120);
  ASSERT_EQ(sjis_row.thumbnail.size(), 160u * 120u * 3u);
  EXPECT_EQ(sjis_row.thumbnail[0], 0x11) << "the newer save";

  // A byte-order mark means UTF-8; a damaged save leaves the placeholder.
  root.write("utf8/tavelo.env", "\xEF\xBB\xBFTITLEBAR 星の話\n");
  root.write("utf8/savedata/tavelo_0001.sav", "damaged");
  dialogs::LauncherRow utf8_row = host::describe_game(root.at("utf8"), "");
  EXPECT_EQ(utf8_row.title, "星の話");
  EXPECT_EQ(utf8_row.thumbnail_width, 0);
}

TEST(LauncherRows, a_chosen_file_stands_for_its_folder_when_that_holds_a_game) {
  TempDirectory root;
  root.write("loose/tavelo.env", "TITLEBAR x\n");
  root.write("packed/SCENARIO.ARC", "x");
  root.write("other/readme.txt", "x");
  EXPECT_EQ(host::game_folder_of(root.at("loose/tavelo.env")), root.at("loose"));
  EXPECT_EQ(host::game_folder_of(root.at("packed/SCENARIO.ARC")), root.at("packed"));
  EXPECT_EQ(host::game_folder_of(root.at("other/readme.txt")), "");
}

}  // namespace
}  // namespace tavelo::testing
