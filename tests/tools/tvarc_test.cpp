// tvarc, run as a program: archives it writes are read back by the engine's
// search list, and damaged or ambiguous input is refused with a message.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "resources/archive.h"
#include "resources/byte_reader.h"
#include "resources/file_lookup.h"
#include "resources/format.h"
#include "resources/game_names.h"
#include "resources/search_list.h"
#include "resources/state.h"
#include "script/game_files.h"
#include "tests/support/test_engine.h"

namespace tavelo {
namespace {

using testing::sjis;

std::string shell_quoted(const std::string& path) { return "'" + path + "'"; }

testing::ProcessResult tvarc(const std::string& arguments) {
  return testing::run_command(shell_quoted(testing::tool_path("tvarc")) + " " + arguments);
}

std::string read_text(const std::string& path) {
  std::vector<uint8_t> bytes = testing::read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// A small game data tree: nested folders, a UTF-8 Japanese name, and files the
// engine's scanner would skip.
void write_sources(const testing::TempDirectory& directory) {
  directory.write("src/title.png", "title picture");
  directory.write("src/bg/タイトル.png", "japanese name");
  directory.write("src/sound/bgm.ogg", "music");
  directory.write("src/empty.dat", "");
  directory.write("src/readme.txt", "skipped");
  directory.write("src/old_backup/title2.png", "skipped");
}

TEST(Tvarc, help_and_usage_errors) {
  testing::ProcessResult help = tvarc("--help");
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.output.find("tvarc create"), std::string::npos);
  EXPECT_EQ(tvarc("").exit_status, 2);
  EXPECT_EQ(tvarc("frobnicate x").exit_status, 2);
  EXPECT_EQ(tvarc("create dir").exit_status, 2) << "no -o";
}

TEST(Tvarc, archives_round_trip_into_the_engine) {
  for (const char* version : {"--v1", "--v2"}) {
    SCOPED_TRACE(version);
    testing::TempDirectory directory;
    write_sources(directory);
    std::string archive = directory.at("game/data.arc");
    platform::make_directories(directory.at("game"));

    testing::ProcessResult created =
        tvarc("create " + std::string(version) + " " + shell_quoted(directory.at("src")) + " -o " + shell_quoted(archive));
    ASSERT_EQ(created.exit_status, 0) << created.output;
    EXPECT_NE(created.output.find("4 entries"), std::string::npos) << created.output;

    testing::ProcessResult verified = tvarc("verify " + shell_quoted(archive));
    EXPECT_EQ(verified.exit_status, 0) << verified.output;

    testing::ProcessResult listed = tvarc("list " + shell_quoted(archive) + " --names " + shell_quoted(directory.at("src")));
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_NE(listed.output.find("bg/タイトル.png"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find(std::string(version) == "--v1" ? "# v1" : "# v2"), std::string::npos);

    // The engine finds every packed file by its code-page name, in any case.
    testing::TestEngine test(directory.at("game"));
    ASSERT_EQ(script::register_search_entry(test.engine.script, "data", resources::SoundOnly::No),
              resources::Registration::Archive);
    for (auto [name, content] : {std::pair{"TITLE.PNG", "title picture"}, std::pair{"タイトル.png", "japanese name"},
                                 std::pair{"bgm.ogg", "music"}, std::pair{"empty.dat", ""}}) {
      std::optional<platform::File> file = resources::find_game_file(test.engine.resources, sjis(name));
      ASSERT_TRUE(file) << name;
      std::string data(size_t(file->length()), '\0');
      file->read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(data.data()), data.size()));
      EXPECT_EQ(data, content) << name;
    }
    EXPECT_FALSE(resources::file_exists(test.engine.resources, "readme.txt"));
    EXPECT_FALSE(resources::file_exists(test.engine.resources, "title2.png"));
    EXPECT_TRUE(test.platform.boxes().empty());

    // Extracting with names rebuilds the tree; without, entries get their hash.
    ASSERT_EQ(tvarc("extract " + shell_quoted(archive) + " -C " + shell_quoted(directory.at("named")) + " --names " +
                    shell_quoted(directory.at("src")))
                  .exit_status,
              0);
    EXPECT_EQ(read_text(directory.at("named/bg/タイトル.png")), "japanese name");
    EXPECT_EQ(read_text(directory.at("named/sound/bgm.ogg")), "music");
    ASSERT_EQ(tvarc("extract " + shell_quoted(archive) + " -C " + shell_quoted(directory.at("raw"))).exit_status, 0);
    uint32_t key = resources::lookup_key(test.engine.resources.lead_bytes, "title.png");
    EXPECT_EQ(read_text(directory.at("raw/" + resources::format_text("%08X", {key}) + ".bin")), "title picture");
  }
}

TEST(Tvarc, names_that_share_a_key_are_refused) {
  testing::TempDirectory directory;
  directory.write("src/a/x.png", "first");
  directory.write("src/b/X.PNG", "second");
  testing::ProcessResult result = tvarc("create " + shell_quoted(directory.at("src")) + " -o " + shell_quoted(directory.at("x.arc")));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.output.find("a/x.png"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("b/X.PNG"), std::string::npos) << result.output;
  EXPECT_FALSE(std::filesystem::exists(directory.at("x.arc")));
  EXPECT_FALSE(std::filesystem::exists(directory.at("x.arc.partial")));

  directory.make_directory("empty");
  EXPECT_EQ(tvarc("create " + shell_quoted(directory.at("empty")) + " -o " + shell_quoted(directory.at("e.arc"))).exit_status, 1)
      << "an archive without entries would be rejected by the engine";
}

TEST(Tvarc, directories_reached_again_through_links_are_packed_once) {
  testing::TempDirectory directory;
  directory.write("src/title.png", "title");
  directory.write("src/sub/deep.png", "deep");
  for (const char* link : {"src/a", "src/b", "src/sub/up"}) {
    ASSERT_EQ(std::filesystem::exists(directory.at(link)), false);
    std::filesystem::create_directory_symlink(std::string(link) == "src/sub/up" ? ".." : ".", directory.at(link));
  }
  testing::ProcessResult result =
      tvarc("create " + shell_quoted(directory.at("src")) + " -o " + shell_quoted(directory.at("x.arc")));
  ASSERT_EQ(result.exit_status, 0) << result.output;
  EXPECT_NE(result.output.find("2 entries"), std::string::npos) << result.output;
  for (const char* skipped : {"skipped a:", "skipped b:", "skipped sub/up:"}) {
    EXPECT_NE(result.output.find(skipped), std::string::npos) << result.output;
  }
}

TEST(Tvarc, verify_reports_what_the_engine_would_reject_or_miss) {
  testing::TempDirectory directory;
  directory.write("src/a.png", "aaaa");
  directory.write("src/b.png", "bb");
  std::string good = directory.at("good.arc");
  ASSERT_EQ(tvarc("create --v1 " + shell_quoted(directory.at("src")) + " -o " + shell_quoted(good)).exit_status, 0);
  std::vector<uint8_t> bytes = testing::read_bytes(good);

  std::vector<uint8_t> truncated(bytes.begin(), bytes.end() - 1);
  // v1 records are {hash, offset}, 8 bytes each after the 28-byte header.
  std::vector<uint8_t> swapped_hashes = bytes;
  std::swap_ranges(swapped_hashes.begin() + 28, swapped_hashes.begin() + 32, swapped_hashes.begin() + 36);
  std::vector<uint8_t> swapped_offsets = bytes;
  std::swap_ranges(swapped_offsets.begin() + 32, swapped_offsets.begin() + 36, swapped_offsets.begin() + 40);

  // A v2 archive with two entries in descending hash order.
  resources::ByteWriter writer;
  writer.append(resources::kArchiveMagicV2);
  writer.i32le(2);
  writer.u32le(0);
  writer.u32le(0);
  for (auto [hash, offset] : {std::pair{0x90000000u, 52u}, std::pair{0x10000000u, 53u}}) {
    writer.u32le(hash);
    writer.u32le(offset);
    writer.u32le(1);
  }
  writer.append("xy");

  struct Case {
    const char* file;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  for (const Case& c : {Case{"truncated.arc", truncated, "does not end"},
                        Case{"hashes.arc", swapped_hashes, "not sorted"},
                        Case{"offsets.arc", swapped_offsets, "before the previous"},
                        Case{"descending.arc", writer.bytes, "not sorted"},
                        Case{"text.arc", {'h', 'i'}, "shorter than 28"}}) {
    std::string path = directory.write(c.file, c.bytes);
    testing::ProcessResult result = tvarc("verify " + shell_quoted(path));
    EXPECT_EQ(result.exit_status, 1) << c.file;
    EXPECT_NE(result.output.find(c.message), std::string::npos) << c.file << ": " << result.output;
  }
}

}  // namespace
}  // namespace tavelo
