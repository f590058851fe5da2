// The settings store: value encodings, rewriting files it did not write,
// section names as paths, and crash safety of the atomic replacement, whose
// leftovers a later start removes.

#include "resources/settings_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "tests/support/test_engine.h"

namespace tavelo::resources {
namespace {

using testing::sjis;
using testing::TempDirectory;

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsLocation location(std::string_view global = "GAME", std::string_view local = "RUN") {
    return {*encoding, directory.path(), global, local};
  }
  std::string file_text() {
    std::vector<uint8_t> bytes = testing::read_bytes(settings_file_path(location()));
    return std::string(bytes.begin(), bytes.end());
  }
  void write_file(std::string_view text) { directory.write("GAME/RUN.reg", text); }

  TempDirectory directory;
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
};

TEST(ParseLeadingInt, follows_atoi_and_saturates) {
  const struct {
    std::string_view text;
    int32_t expected;
  } cases[] = {
      {"12abc", 12},         {"abc", 0},           {"", 0},
      {"  \t-7", -7},        {"+42", 42},          {"- 5", 0},
      {"0x10", 0},           {"2147483647", 2147483647},
      {"2147483648", 2147483647},                  {"-2147483648", INT32_MIN},
      {"99999999999999999999", 2147483647},        {"-99999999999999999999", INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_leading_int(c.text), c.expected) << c.text;
}

TEST_F(SettingsStoreTest, integer_reads_follow_atoi_and_ignore_other_kinds) {
  write_file(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\Software\\GAME\\RUN]\n"
      "\"Mixed\"=\"12abc\"\r\n"
      "\"Letters\"=\"abc\"\n"
      "\"Number\"=dword:0000000c\n"
      "\"Binary\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"Broken\"=\"no closing quote\n"
      "\"Negative\"=\" -40\"\n");
  const struct {
    std::string_view name;
    int32_t expected;
  } cases[] = {
      {"Mixed", 12}, {"mixed", 12}, {"Letters", 0}, {"Number", 77}, {"Binary", 77},
      {"Broken", 77}, {"Negative", -40}, {"Absent", 77},
  };
  for (const auto& c : cases) EXPECT_EQ(reg_read_int(location(), c.name, 77), c.expected) << c.name;

  RegistryText number = reg_read_text(location(), "Number", "fallback", 100);
  EXPECT_EQ(number.status, -1);
  EXPECT_EQ(number.text, "fallback");
}

TEST_F(SettingsStoreTest, missing_file_or_directory_gives_defaults_and_failed_writes) {
  EXPECT_EQ(reg_read_int(location(), "Any", -9999), -9999);
  RegistryText text = reg_read_text(location(), "Any", "none", 260);
  EXPECT_EQ(text.status, -1);
  EXPECT_EQ(text.text, "none");

  SettingsLocation nowhere{*encoding, "", "GAME", "RUN"};
  EXPECT_EQ(reg_write_int(nowhere, "Any", 1), SettingsWrite::NoLocation);
  EXPECT_EQ(reg_read_int(nowhere, "Any", 5), 5);

  // A directory standing where the file should be cannot be replaced.
  directory.make_directory("GAME/RUN.reg");
  EXPECT_EQ(reg_write_int(location(), "Any", 1), SettingsWrite::Failed);
}

TEST_F(SettingsStoreTest, text_values_round_trip_byte_for_byte) {
  const std::string values[] = {
      "plain",
      "",
      "C:\\Program Files\\\"quoted\"\\",
      sjis("ソ表示ポ｜ｱｲｳ"),          // 0x5C and 0x7C as second bytes
      sjis("設定") + "\n\t\r" + std::string(1, '\0') + "\x7f",
      std::string("\x80\xa0\xfd\xfe\xff"),  // single bytes with no character
      std::string("\x87\x90\xed\x40\xfa\x5c"),  // codes that have twins elsewhere in the code page
      std::string("trailing lead \x81"),
      "\\x41 is not an escape here",
  };
  int index = 0;
  for (const std::string& value : values) {
    std::string name = "Value" + std::to_string(index++);
    ASSERT_EQ(reg_write_text(location(), name, value), SettingsWrite::Written) << name;
  }
  index = 0;
  for (const std::string& value : values) {
    std::string name = "Value" + std::to_string(index++);
    RegistryText read = reg_read_text(location(), name, "default", 4096);
    EXPECT_EQ(read.status, 0) << name;
    EXPECT_EQ(read.text, value) << name;
  }
  // The file itself is readable UTF-8 text, one value per line.
  std::string text = file_text();
  std::unique_ptr<platform::TextEncoding> utf8 = platform::TextEncoding::create("UTF-8");
  EXPECT_TRUE(utf8->to_utf8(text).has_value());
  EXPECT_NE(text.find("\"Value2\"=\"C:\\\\Program Files\\\\\\\"quoted\\\"\\\\\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Value3\"=\"ソ表示ポ｜ｱｲｳ\"\n"), std::string::npos) << text;
}

TEST_F(SettingsStoreTest, shift_jis_names_are_case_insensitive_only_for_ascii) {
  ASSERT_EQ(reg_write_text(location(), sjis("音量A"), "1"), SettingsWrite::Written);
  EXPECT_EQ(reg_read_int(location(), sjis("音量a"), 0), 1);
  // "ア" (83 41) and "ヂ" (83 61) differ only in a second byte that looks
  // like a letter.
  ASSERT_EQ(reg_write_text(location(), sjis("ア"), "2"), SettingsWrite::Written);
  EXPECT_EQ(reg_read_int(location(), sjis("ヂ"), 0), 0);
}

TEST_F(SettingsStoreTest, writes_keep_foreign_lines_and_replace_every_kind) {
  write_file(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\GAME\\RUN]\r\n"
      "; a comment somebody wrote\r\n"
      "\"Speed\"=dword:00000003\r\n"
      "\"Blob\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "\"Twice\"=\"first\"\r\n"
      "\"Other\"=\"kept\"\r\n"
      "\"TWICE\"=\"second\"\r\n"
      "\r\n");
  EXPECT_EQ(reg_read_text(location(), "Twice", "", 100).text, "second");

  ASSERT_EQ(reg_write_int(location(), "Speed", 2), SettingsWrite::Written);
  ASSERT_EQ(reg_write_text(location(), "Blob", "text now"), SettingsWrite::Written);
  ASSERT_EQ(reg_write_text(location(), "Twice", "third"), SettingsWrite::Written);
  ASSERT_EQ(reg_write_text(location(), "New", "appended"), SettingsWrite::Written);

  // Lines that did not change keep their bytes, CR included.
  EXPECT_EQ(file_text(),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\GAME\\RUN]\r\n"
            "; a comment somebody wrote\r\n"
            "\"Speed\"=\"2\"\n"
            "\"Blob\"=\"text now\"\n"
            "\"Twice\"=\"third\"\n"
            "\"Other\"=\"kept\"\r\n"
            "\"New\"=\"appended\"\n"
            "\r\n");
  EXPECT_EQ(reg_read_int(location(), "Speed", 0), 2);
}

TEST_F(SettingsStoreTest, hand_edited_oddities_survive_writes) {
  // A byte order mark before the first line, and a file cut short after a
  // line that announces a continuation.
  write_file("\xEF\xBB\xBF\"First\"=\"1\"\n\"Blob\"=hex:01,02,\\\n");
  EXPECT_EQ(reg_read_int(location(), "First", 0), 1);
  ASSERT_EQ(reg_write_int(location(), "Added", 2), SettingsWrite::Written);
  EXPECT_EQ(reg_read_int(location(), "Added", 0), 2);
  EXPECT_EQ(reg_read_int(location(), "First", 0), 1);
  EXPECT_EQ(file_text().rfind("\xEF\xBB\xBF", 0), 0u);
}

TEST_F(SettingsStoreTest, new_file_has_header_and_key_line) {
  ASSERT_EQ(reg_write_int(location(), "NANIDO", 3), SettingsWrite::Written);
  EXPECT_EQ(file_text(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\GAME\\RUN]\n"
            "\"NANIDO\"=\"3\"\n");
}

TEST_F(SettingsStoreTest, text_reads_are_cut_without_splitting_characters) {
  ASSERT_EQ(reg_write_text(location(), "Name", sjis("アイウ")), SettingsWrite::Written);
  const struct {
    size_t size;
    std::string expected;
  } cases[] = {
      {0, ""}, {1, ""}, {3, sjis("ア")}, {4, sjis("ア")}, {6, sjis("アイ")}, {7, sjis("アイウ")}, {100, sjis("アイウ")},
  };
  for (const auto& c : cases) {
    RegistryText read = reg_read_text(location(), "Name", "", c.size);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.text, c.expected) << c.size;
  }
  EXPECT_EQ(reg_read_text(location(), "Absent", "abcdef", 4).text, "abc");
}

TEST_F(SettingsStoreTest, section_pairs_are_separate_files_inside_the_directory) {
  ASSERT_EQ(reg_write_int(location("GAME", "ONE"), "Volume", 100), SettingsWrite::Written);
  EXPECT_EQ(reg_read_int(location("GAME", "TWO"), "Volume", 650), 650);
  EXPECT_EQ(reg_read_int(location("OTHER", "ONE"), "Volume", 650), 650);
  EXPECT_EQ(reg_read_int(location("GAME", "ONE"), "Volume", 650), 100);

  const std::string hostile[] = {"..", ".", "", "../../escape", "a/b", "x\ny", "/abs"};
  for (const std::string& name : hostile) {
    SettingsLocation place = location(name, name);
    std::string path = settings_file_path(place);
    ASSERT_EQ(path.rfind(directory.path() + "/", 0), 0u) << path;
    EXPECT_EQ(path.find("/../"), std::string::npos) << path;
    EXPECT_EQ(std::count(path.begin() + ptrdiff_t(directory.path().size()), path.end(), '/'), 2) << path;
    ASSERT_EQ(reg_write_int(place, "Value", 1), SettingsWrite::Written) << path;
    EXPECT_TRUE(platform::is_file(path)) << path;
  }
  // Shift-JIS section names become UTF-8 names on disk.
  ASSERT_EQ(reg_write_int(location(sjis("ゲーム"), sjis("設定")), "Value", 1), SettingsWrite::Written);
  EXPECT_TRUE(platform::is_file(directory.at("ゲーム/設定.reg")));
}

// Value n: its number, then a long body that depends on n and holds the
// characters that need care in the file.
std::string crash_test_value(int n) {
  std::string value = std::to_string(n) + ":";
  std::string unit = sjis("ア\"\\ソ") + std::to_string(n % 7);
  while (value.size() < 64 * 1024) value += unit;
  return value;
}

TEST_F(SettingsStoreTest, killed_writer_leaves_the_old_or_the_new_file) {
  ASSERT_EQ(reg_write_text(location(), "Keep", "kept"), SettingsWrite::Written);
  ASSERT_EQ(reg_write_text(location(), "Big", crash_test_value(0)), SettingsWrite::Written);
  std::mt19937 random(20240601);
  int seen_new = 0;
  for (int round = 1; round <= 30; ++round) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 1;; ++i) (void)reg_write_text(location(), "Big", crash_test_value(round * 100000 + i));
    }
    if (round % 2 == 0) {
      // Let the child finish one write first, so later kills land in the
      // middle of replacing a file that already holds this round's value.
      for (int poll = 0; poll < 3000; ++poll) {
        std::string head = reg_read_text(location(), "Big", "", 16).text;
        if (parse_leading_int(head) / 100000 == round) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    // Each write syncs twice, which takes milliseconds on a real disk.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 60000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    SettingsDocument document = parse_settings(file_text(), *encoding);
    ASSERT_GE(document.lines.size(), 3u);
    EXPECT_EQ(document.lines[0].raw, "Windows Registry Editor Version 5.00");
    EXPECT_EQ(find_string_value(document, "Keep", *encoding), "kept") << "round " << round;
    std::optional<std::string> big = find_string_value(document, "Big", *encoding);
    ASSERT_TRUE(big.has_value()) << "round " << round;
    int n = parse_leading_int(*big);
    ASSERT_TRUE(*big == crash_test_value(n)) << "round " << round << ": torn value " << n;
    if (n / 100000 == round) ++seen_new;
  }
  // The test proves nothing unless the children got writes done.
  EXPECT_GE(seen_new, 15);
  // What the killed writers left beside the file goes at the next start.
  platform::remove_stale_temporary_files(directory.at("GAME"));
  std::vector<platform::DirectoryItem> items;
  ASSERT_TRUE(platform::list_directory(directory.at("GAME"), items));
  ASSERT_EQ(items.size(), 1u) << items[1].name;
  EXPECT_EQ(items[0].name, "RUN.reg");
}

}  // namespace
}  // namespace tavelo::resources
