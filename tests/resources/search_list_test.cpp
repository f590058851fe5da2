// The search list and file lookup on real temporary game directories: lookup
// order, directory-scan exclusions, rescans, damaged archives, code-page
// file names, the duplicate-name warning, symbolic-link loops, and names
// scripts give for writing, kept inside the game.

#include "resources/search_list.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "resources/file_lookup.h"
#include "resources/game_names.h"
#include "resources/state.h"
#include "script/game_files.h"
#include "script/state.h"
#include "tests/support/game_builder.h"
#include "tests/support/test_engine.h"
#include "tools/archive/archive_tool.h"

namespace tavelo::resources {
namespace {

using testing::sjis;

struct Game {
  explicit Game(platform::AnswerPolicy policy = {}) : test(directory.path(), std::move(policy)) {}

  testing::TempDirectory directory;
  testing::TestEngine test;
  host::Engine& engine = test.engine;
  State& state = test.engine.resources;

  // Registers through the engine, so its boxes answer the scan's questions.
  Registration add(std::string_view name, SoundOnly sound_only = SoundOnly::No) {
    return script::register_search_entry(engine.script, name, sound_only);
  }

  // Writes an archive of {UTF-8 name, content} pairs, keyed as the engine keys
  // the names in the game code page.
  void write_archive(std::string_view path, std::vector<std::pair<std::string, std::string>> files,
                     ArchiveVersion version = ArchiveVersion::V2) const {
    std::vector<tools::ArchiveInput> inputs;
    for (const auto& [name, content] : files) {
      inputs.push_back({lookup_key(engine.resources.lead_bytes, sjis(name)),
                        std::vector<uint8_t>(content.begin(), content.end())});
    }
    directory.write(path, tools::build_archive(version, std::move(inputs)));
  }

  // Content of the file found for a UTF-8 name, or "-" when none is.
  std::string read(std::string_view name) {
    std::optional<platform::File> file = find_game_file(state, sjis(name));
    if (!file) return "-";
    std::string content(size_t(file->length()), '\0');
    file->read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(content.data()), content.size()));
    return content;
  }

  const std::vector<platform::RecordedBox>& boxes() const { return test.platform.boxes(); }
};

TEST(SearchList, first_registered_place_wins_and_case_does_not_matter) {
  Game game;
  game.write_archive("update.arc", {{"title.png", "update"}}, ArchiveVersion::V1);
  game.write_archive("data.arc", {{"title.png", "data"}, {"only.png", "only in data"}});
  game.directory.write("scenario/title.png", "scenario");
  game.directory.write("scenario/start.tvo", "script");

  EXPECT_EQ(game.add("update", SoundOnly::No), Registration::Archive);
  EXPECT_EQ(game.add("DATA", SoundOnly::No), Registration::Archive);
  EXPECT_EQ(game.add("scenario", SoundOnly::No), Registration::Directory);
  EXPECT_EQ(game.add("missing", SoundOnly::No), Registration::Nothing);
  EXPECT_EQ(game.engine.resources.search_list.size(), 3u);

  EXPECT_EQ(game.read("title.png"), "update");
  EXPECT_EQ(game.read("TITLE.PNG"), "update");
  EXPECT_EQ(game.read("Only.Png"), "only in data");
  EXPECT_EQ(game.read("START.TVO"), "script");
  EXPECT_EQ(game.read("nothing.png"), "-");
  EXPECT_EQ(file_size(game.state, "only.png"), 12u);
  EXPECT_EQ(file_resolve(game.state, "title.png"), "update.arc");
  EXPECT_EQ(file_resolve(game.state, "START.TVO"), "scenario\\START.TVO");
  EXPECT_TRUE(game.boxes().empty());
}

TEST(SearchList, base_directory_comes_first_for_data_and_last_for_sounds) {
  Game game;
  game.write_archive("data.arc", {{"title.png", "archive"}, {"bgm.ogg", "archive sound"}});
  game.directory.write("cache/title.png", "base");
  game.directory.write("cache/bgm.ogg", "base sound");
  game.directory.write("cache/se.WAV", "base-only sound");
  game.directory.write("cache/notes.txt", "text");
  game.directory.write("title.png", "current directory");  // never a loose-file source
  set_base_directory(game.state, "cache");
  EXPECT_EQ(game.engine.resources.base_directory, "cache\\");
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Archive);

  EXPECT_EQ(game.read("title.png"), "base");
  EXPECT_EQ(game.read("bgm.ogg"), "archive sound");
  EXPECT_EQ(game.read("se.wav"), "base-only sound");
  EXPECT_EQ(game.read("notes.txt"), "text");
  EXPECT_EQ(file_resolve(game.state, "title.png"), "cache\\title.png");
  EXPECT_EQ(file_resolve(game.state, "bgm.ogg"), "data.arc");
  EXPECT_NE(file_time(game.state, "title.png"), 0u);
  EXPECT_EQ(file_time(game.state, "bgm.ogg"), platform::file_time(game.directory.at("cache/bgm.ogg")))
      << "archive entries have no time, so the base directory's copy answers";
}

TEST(SearchList, archives_are_looked_up_from_the_base_directory_first) {
  Game game;
  game.write_archive("data.arc", {{"a.png", "original"}});
  game.write_archive("cache/data.arc", {{"a.png", "cached"}});
  set_base_directory(game.state, "cache\\");
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Archive);
  EXPECT_EQ(game.read("a.png"), "cached");
  EXPECT_EQ(file_resolve(game.state, "a.png"), "cache\\data.arc");
}

TEST(SearchList, names_with_a_directory_part_skip_the_list_except_for_file_size) {
  Game game;
  game.write_archive("data.arc", {{"x.png", "xx"}, {"表.png", "table"}});
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Archive);
  EXPECT_EQ(game.read("sub\\x.png"), "-");
  EXPECT_FALSE(file_exists(game.state, "sub\\x.png"));
  EXPECT_EQ(file_size(game.state, "sub\\x.png"), 2u);
  // 表 is 0x95 0x5C in Shift-JIS: its second byte is not a separator.
  EXPECT_EQ(game.read("表.png"), "table");
}

TEST(SearchList, archive_entries_open_as_windows_of_the_archive) {
  Game game;
  game.write_archive("data.arc", {{"a.bin", "first"}, {"b.bin", "second entry"}}, ArchiveVersion::V1);
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Archive);
  std::optional<platform::File> file = find_game_file(game.state, "b.bin");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->length(), 12u);
  EXPECT_EQ(file->position(), 0u);
  std::vector<uint8_t> buffer(64);
  EXPECT_EQ(file->read(buffer), 12u) << "reads stop at the end of the entry";
  EXPECT_FALSE(file->seek(13));
}

TEST(SearchList, writing_never_opens_an_archive) {
  Game game;
  game.write_archive("data.arc", {{"save.dat", "keep me"}});
  std::vector<uint8_t> before = testing::read_bytes(game.directory.at("data.arc"));
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Archive);
  EXPECT_FALSE(find_game_file(game.state, "save.dat", platform::OpenMode::Write));
  EXPECT_FALSE(find_game_file(game.state, "save.dat", platform::OpenMode::Append));
  EXPECT_EQ(testing::read_bytes(game.directory.at("data.arc")), before);
  EXPECT_EQ(game.read("save.dat"), "keep me");
}

TEST(SearchList, directory_scan_skips_tool_output) {
  Game game;
  struct File {
    const char* path;  // under data/
    const char* lookup;
    bool found;
  };
  const File files[] = {
      {"a.png", "a.png", true},
      {"Backup/b.png", "b.png", true},  // "backup" is matched with its case
      {"old_backup/c.png", "c.png", false},
      {"debuginfo/d.png", "d.png", false},
      {"MDB/e.png", "e.png", false},
      {"trailing./f.png", "f.png", false},
      {".hidden/g.png", "g.png", false},
      {".h.png", ".h.png", false},
      {"deep/er/i.png", "i.png", true},
      {"notes.txt", "notes.txt", false},
      {"SETUP.EXE", "setup.exe", false},
      {"link.lnk", "link.lnk", false},
      {"x.tvs", "x.tvs", false},
      {"x.tvo", "x.tvo", true},
      {"x.db", "x.db", false},
      {"x.dbx", "x.dbx", true},
      {"noext", "noext", true},
  };
  for (const File& file : files) game.directory.write(std::string("data/") + file.path, file.path);
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Directory);
  for (const File& file : files) {
    EXPECT_EQ(game.read(file.lookup) != "-", file.found) << file.path;
  }
  // Excluded from the scan, still a loose file in the base directory.
  set_base_directory(game.state, "data");
  EXPECT_EQ(game.read("notes.txt"), "notes.txt");
}

TEST(SearchList, rescanning_a_directory_keeps_its_place_and_sound_flag) {
  Game game;
  game.directory.write("voice/v1.ogg", "voice");
  game.directory.write("voice/readme.png", "voice picture");
  game.directory.write("data/readme.png", "data picture");
  ASSERT_EQ(game.add("voice", SoundOnly::Yes), Registration::Directory);
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Directory);
  EXPECT_EQ(file_size(game.state, "readme.png"), 12u) << "sound-only places are skipped for sizes of other files";

  game.directory.write("voice/v2.ogg", "new voice");
  EXPECT_EQ(game.read("v2.ogg"), "-");
  EXPECT_EQ(game.add("VOICE", SoundOnly::No), Registration::Directory);
  EXPECT_EQ(game.read("v2.ogg"), "new voice");
  ASSERT_EQ(game.engine.resources.search_list.size(), 2u);
  EXPECT_EQ(game.engine.resources.search_list[0].name, "voice");
  EXPECT_EQ(game.read("readme.png"), "voice picture");
  EXPECT_EQ(file_size(game.state, "readme.png"), 12u);

  search_entry_unload(game.state, "voice");
  EXPECT_EQ(game.read("v1.ogg"), "-");
  EXPECT_EQ(game.read("readme.png"), "data picture");
  EXPECT_EQ(game.add("voice", SoundOnly::No), Registration::Directory);
  EXPECT_EQ(game.read("v1.ogg"), "voice");
  EXPECT_EQ(game.engine.resources.search_list.size(), 2u);
}

TEST(SearchList, a_loaded_archive_is_not_read_again) {
  Game game;
  game.write_archive("data.arc", {{"a.png", "a"}});
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Archive);
  game.directory.write("data.arc", "now damaged");
  EXPECT_EQ(game.add("data", SoundOnly::No), Registration::Archive);
  EXPECT_TRUE(game.boxes().empty());
  // After an unload the archive is opened again, and found damaged.
  search_entry_unload(game.state, "data");
  EXPECT_EQ(game.add("data", SoundOnly::No), Registration::Damaged);
  EXPECT_EQ(game.boxes().size(), 1u);
  EXPECT_EQ(game.engine.resources.search_list.size(), 1u);
}

TEST(SearchList, damaged_archives_stop_the_engine_with_its_message) {
  std::vector<uint8_t> sound = tools::build_archive(ArchiveVersion::V1, {{1, {'a', 'b'}}, {2, {'c'}}});
  std::vector<uint8_t> short_one(sound.begin(), sound.end() - 1);
  std::vector<uint8_t> long_one = sound;
  long_one.push_back('!');
  std::vector<uint8_t> bad_magic = sound;
  bad_magic[0] = 't';
  std::vector<uint8_t> short_index(sound.begin(), sound.begin() + 40);
  std::vector<uint8_t> count_zero(sound.begin(), sound.begin() + 28);
  count_zero[16] = 0;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  for (const Case& c : {Case{"one byte short", short_one}, Case{"one byte long", long_one},
                        Case{"bad magic", bad_magic}, Case{"short index", short_index},
                        Case{"count 0", count_zero}, Case{"empty file", {}}}) {
    SCOPED_TRACE(c.what);
    Game game;
    if (c.bytes.empty()) {
      game.directory.write("Data.arc", "");
    } else {
      game.directory.write("Data.arc", c.bytes);
    }
    EXPECT_EQ(game.add("data", SoundOnly::No), Registration::Damaged);
    ASSERT_EQ(game.boxes().size(), 1u);
    EXPECT_EQ(game.boxes()[0].text, "ファイル[data]が破損しています。再インストールしてください");
    EXPECT_EQ(game.boxes()[0].buttons, platform::Buttons::Ok);
    EXPECT_EQ(game.engine.script.exit_status, 255);
    EXPECT_TRUE(game.engine.resources.search_list.empty());
  }
}

TEST(SearchList, code_page_names_find_utf8_and_raw_names_on_disk) {
  Game game;
  game.directory.write("data/タイトル.png", "utf-8 name");
  // A name written by a tool that kept the Shift-JIS bytes.
  game.directory.write("data/" + sjis("背景.png"), "raw name");
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Directory);
  EXPECT_EQ(game.read("タイトル.png"), "utf-8 name");
  EXPECT_EQ(game.read("背景.PNG"), "raw name");
  // ソ is 0x83 0x5C: the second byte must not split the name.
  game.directory.write("data/ソ.png", "trail 5C");
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Directory);
  EXPECT_EQ(game.read("ソ.PNG"), "trail 5C");
  EXPECT_EQ(file_resolve(game.state, sjis("タイトル.png")), sjis("data\\タイトル.png"));
  EXPECT_EQ(to_host_path(game.state, sjis("DATA\\タイトル.PNG")), game.directory.at("data/タイトル.png"));
  EXPECT_EQ(to_host_path_for_create(game.state, sjis("data\\新規.sav")), game.directory.at("data/新規.sav"));
  EXPECT_FALSE(to_host_path(game.state, sjis("data\\新規.sav")));
}

TEST(SearchList, duplicate_names_warn_and_the_first_copy_wins) {
  Game game;
  game.directory.write("data/a/x.png", "first");
  game.directory.write("data/b/X.PNG", "second");
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Directory);
  ASSERT_EQ(game.boxes().size(), 1u);
  EXPECT_EQ(game.boxes()[0].text, "ファイル[ X.PNG ]が[ data\\a ]と[ data\\b ]に存在します");
  EXPECT_EQ(game.boxes()[0].buttons, platform::Buttons::RetryCancel);
  EXPECT_EQ(game.engine.resources.search_list[0].files.size(), 2u);
  EXPECT_EQ(game.read("x.png"), "first");
  EXPECT_FALSE(game.engine.stopping());
}

TEST(SearchList, directories_reached_again_through_links_are_skipped_once_each) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link -> target
    std::vector<std::string> skipped;                        // debug-log lines
    size_t files;
  };
  const Case cases[] = {
      {"self link", {{"data/a", "."}}, {"data\\a"}, 2},
      {"two self links", {{"data/a", "."}, {"data/b", "."}}, {"data\\a", "data\\b"}, 2},
      {"link to the parent", {{"data/sub/up", ".."}}, {"data\\sub\\up"}, 2},
      {"two links to one tree", {{"data/x", "../shared"}, {"data/y", "../shared"}}, {"data\\y"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Game game;
    game.engine.script.debug_mode = true;
    game.directory.write("data/title.png", "title");
    game.directory.write("data/sub/deep.png", "deep");
    game.directory.write("shared/s.png", "shared");
    for (const auto& [link, target] : c.links) {
      ASSERT_EQ(::symlink(target.c_str(), game.directory.at(link).c_str()), 0) << link;
    }
    ASSERT_EQ(game.add("data"), Registration::Directory);
    EXPECT_TRUE(game.boxes().empty()) << game.boxes()[0].text;
    const SearchEntry& entry = game.engine.resources.search_list[0];
    EXPECT_EQ(entry.files.size(), c.files);
    EXPECT_EQ(game.read("deep.png"), "deep");

    std::vector<uint8_t> log = testing::read_bytes(game.directory.at("debugout.log"));
    std::vector<std::string> lines = testing::log_messages(std::string(log.begin(), log.end()));
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    ASSERT_EQ(lines.size(), c.skipped.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_NE(lines[i].find("[ " + c.skipped[i] + " ]"), std::string::npos) << lines[i];
    }
  }
}

TEST(SearchList, names_for_writing_stay_inside_the_game) {
  Game game;
  game.directory.make_directory("sub");
  const std::string& root = game.state.working_directory;
  struct Case {
    std::string name;
    std::optional<std::string> host_path;
  };
  const Case cases[] = {
      {"out.txt", game.directory.at("out.txt")},
      {"sub\\..\\out.txt", game.directory.at("sub/../out.txt")},
      {"./sub/out.txt", game.directory.at("sub/out.txt")},
      {root + "/sub/out.txt", root + "/sub/out.txt"},
      {"..\\out.txt", std::nullopt},
      {"sub\\..\\..\\out.txt", std::nullopt},
      {"C:\\out.txt", std::nullopt},
      {"/tmp/out.txt", std::nullopt},
      {root + "/../out.txt", std::nullopt},
      {root + "-other/out.txt", std::nullopt},
      {"sub\\..", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_confined_game_path(game.state, c.name), c.host_path.has_value());
    EXPECT_EQ(to_confined_host_path_for_create(game.state, c.name), c.host_path);
  }
}

TEST(SearchList, cancelling_the_duplicate_warning_stops_the_scan) {
  platform::AnswerPolicy policy;
  policy.queued = {platform::Answer::Cancel};
  Game game(policy);
  game.directory.write("data/a/x.png", "first");
  game.directory.write("data/b/x.png", "second");
  game.directory.write("data/c/y.png", "after");
  game.add("data", SoundOnly::No);
  EXPECT_EQ(game.engine.script.exit_status, 255);
  EXPECT_EQ(game.read("y.png"), "-");
}

TEST(SearchList, ffopen_asks_again_then_gives_up_when_cancelled) {
  Game game;
  std::optional<platform::File> file = script::open_game_file(game.engine.script, "missing.png");
  EXPECT_FALSE(file);
  ASSERT_GE(game.boxes().size(), 2u) << "the headless policy retries before it cancels";
  EXPECT_EQ(game.boxes()[0].text, "Ffopen : ファイル[missing.png]の読み込みで失敗しました");
  EXPECT_EQ(game.boxes().back().answer, platform::Answer::Cancel);
  EXPECT_EQ(game.engine.script.exit_status, 255);
  size_t shown = game.boxes().size();
  EXPECT_FALSE(script::open_game_file(game.engine.script, "missing.png")) << "no boxes once the engine is stopping";
  EXPECT_EQ(game.boxes().size(), shown);
}

TEST(SearchList, lookups_run_while_another_thread_rescans) {
  Game game;
  for (int i = 0; i < 50; ++i) game.directory.write("data/f" + std::to_string(i) + ".png", "x");
  game.directory.write("stream/bgm.ogg", "music");
  ASSERT_EQ(game.add("stream", SoundOnly::Yes), Registration::Directory);
  ASSERT_EQ(game.add("data", SoundOnly::No), Registration::Directory);
  std::atomic<bool> done{false};
  std::atomic<int> misses{0};
  std::thread sound_thread([&] {
    while (!done) {
      if (!find_game_file(game.state, "bgm.ogg")) ++misses;
    }
  });
  for (int i = 0; i < 20; ++i) game.add("data", SoundOnly::No);
  done = true;
  sound_thread.join();
  EXPECT_EQ(misses, 0);
}

}  // namespace
}  // namespace tavelo::resources
