// Host files: only regular files open (a FIFO never blocks), atomic writes
// with short temporary names, the removal of a dead writer's leftovers, and
// file names shortened to what the file system takes.

#include "platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/test_engine.h"

namespace tavelo::platform {
namespace {

using testing::TempDirectory;

std::vector<std::string> names_in(const std::string& directory) {
  std::vector<DirectoryItem> items;
  EXPECT_TRUE(list_directory(directory, items));
  std::vector<std::string> names;
  for (const DirectoryItem& item : items) names.push_back(item.name);
  return names;
}

std::span<const uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(FileSystem, only_regular_files_open) {
  TempDirectory directory;
  std::string fifo = directory.at("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Both ends held open here, so that an engine that did open the FIFO would
  // get it (and fail the test) instead of waiting for ever.
  int both_ends = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(both_ends, 0);
  directory.make_directory("folder");
  for (OpenMode mode : {OpenMode::Read, OpenMode::Write, OpenMode::Append}) {
    EXPECT_FALSE(File::open(fifo, mode)) << int(mode);
    EXPECT_FALSE(File::open(directory.at("folder"), mode)) << int(mode);
  }
  EXPECT_FALSE(read_file(fifo));
  ::close(both_ends);

  std::string file = directory.write("plain.txt", "old content");
  std::optional<File> appended = File::open(file, OpenMode::Append);
  ASSERT_TRUE(appended);
  EXPECT_TRUE(appended->write(std::string_view("+")));
  appended->close();
  EXPECT_EQ(testing::read_bytes(file), (std::vector<uint8_t>{'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', '+'}));
  std::optional<File> rewritten = File::open(file, OpenMode::Write);
  ASSERT_TRUE(rewritten);
  EXPECT_TRUE(rewritten->write(std::string_view("new")));
  rewritten->close();
  EXPECT_EQ(testing::read_bytes(file), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST(FileSystem, atomic_writes_take_names_up_to_the_limit_and_leave_nothing_behind) {
  TempDirectory directory;
  std::string longest(kMaxFileNameBytes, 'n');
  ASSERT_TRUE(write_file_atomically(directory.at(longest), bytes_of("first")));
  ASSERT_TRUE(write_file_atomically(directory.at(longest), bytes_of("second")));
  EXPECT_EQ(names_in(directory.path()), std::vector<std::string>{longest});
  EXPECT_EQ(testing::read_bytes(directory.at(longest)), (std::vector<uint8_t>{'s', 'e', 'c', 'o', 'n', 'd'}));
  EXPECT_FALSE(write_file_atomically(directory.at("missing/file"), bytes_of("x")));
}

TEST(FileSystem, stale_temporary_files_of_dead_writers_are_removed) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  const std::string alive = "1";  // init never ends
  const std::string self = std::to_string(::getpid());

  TempDirectory directory;
  const std::vector<std::string> stale = {".tvtmp-" + dead + "-0", ".tvtmp-" + dead + "-17", "RUN.reg.tmp" + dead};
  const std::vector<std::string> kept = {".tvtmp-" + alive + "-0", ".tvtmp-" + self + "-0", "RUN.reg.tmp" + alive,
                                         "RUN.reg", "notes.tmp", ".tvtmp-" + dead, "x.tmp" + dead + "a"};
  for (const std::string& name : stale) directory.write(name, "x");
  for (const std::string& name : kept) directory.write(name, "x");
  directory.make_directory("folder.tmp" + dead);

  EXPECT_EQ(remove_stale_temporary_files(directory.path()), stale.size());
  std::vector<std::string> expected = kept;
  expected.push_back("folder.tmp" + dead);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names_in(directory.path()), expected);
}

TEST(FileSystem, long_names_are_shortened_with_a_hash_of_the_whole_name) {
  EXPECT_EQ(shortened_file_name("caption", 250), "caption");
  // 127 half-width katakana in UTF-8: 381 bytes.
  std::string katakana;
  for (int i = 0; i < 127; ++i) katakana += "\xEF\xBD\xB1";
  std::string other = katakana.substr(0, katakana.size() - 3) + "\xEF\xBD\xB2";
  std::string shortened = shortened_file_name(katakana, 250);
  EXPECT_LE(shortened.size(), 250u);
  EXPECT_EQ(shortened.substr(0, shortened.find('~')).size() % 3, 0u) << "cut between characters";
  EXPECT_EQ(katakana.rfind(shortened.substr(0, shortened.find('~')), 0), 0u);
  EXPECT_NE(shortened, shortened_file_name(other, 250));
  EXPECT_EQ(shortened, shortened_file_name(katakana, 250));
}

}  // namespace
}  // namespace tavelo::platform
