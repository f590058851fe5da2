// The environment file parser and its lookups.

#include "resources/environment.h"

#include <gtest/gtest.h>

#include "platform/text_encoding.h"
#include "tests/support/test_engine.h"

namespace tavelo::resources {
namespace {

using testing::sjis;

const resources::LeadByteTable& cp932_lead() {
  static const std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  return encoding->lead_bytes();
}

Environment parse(std::string_view text) { return parse_environment(text, cp932_lead()); }

std::string value_of(const Environment& environment, std::string_view key) {
  const std::string* value = find_environment_value(environment, key);
  return value ? *value : "<absent>";
}

TEST(Environment, line_rules) {
  const struct {
    std::string_view note;
    std::string file;
    std::string key;
    std::string expected;
  } cases[] = {
      {"bar becomes blank", "TITLEBAR My|Game\n", "TITLEBAR", "My Game"},
      {"key alone is ignored", "TITLEBAR\n", "TITLEBAR", "<absent>"},
      {"key and blanks only", "TITLEBAR   \t \n", "TITLEBAR", "<absent>"},
      {"slash comment", "/TITLEBAR My|Game\n", "TITLEBAR", "<absent>"},
      {"double slash comment", "// TITLEBAR x\n", "TITLEBAR", "<absent>"},
      {"leading blank is a comment", " TITLEBAR x\n", "TITLEBAR", "<absent>"},
      {"leading tab is a comment", "\tTITLEBAR x\n", "TITLEBAR", "<absent>"},
      {"control byte starts a comment", "\x01TITLEBAR x\n", "\x01TITLEBAR", "<absent>"},
      {"tab separates", "KEY\tvalue\n", "KEY", "value"},
      {"control bytes separate", "KEY\x01\x02value\x1fmore\n", "KEY", "value"},
      {"rest of line ignored", "KEY first second\n", "KEY", "first"},
      {"CRLF line ends", "KEY value\r\nNEXT 2\r\n", "NEXT", "2"},
      {"no final line end", "KEY value", "KEY", "value"},
      {"first occurrence wins", "KEY one\nKEY two\n", "KEY", "one"},
      {"keys keep their case", "key lower\nKEY upper\n", "KEY", "upper"},
      {"ignored line does not shadow", "KEY\nKEY later\n", "KEY", "later"},
      {"EOF ends the file", "A 1\n[EOF]\nKEY after\n", "KEY", "<absent>"},
      {"EOF with more on the line", "[EOF] trailing\nKEY after\n", "KEY", "<absent>"},
      {"lines before EOF stay", "KEY before\n[EOF]\n", "KEY", "before"},
      {"value 99 bytes after the key", "KEY" + std::string(99, ' ') + "near\n", "KEY", "near"},
      {"value 100 bytes after the key", "KEY" + std::string(100, ' ') + "far\n", "KEY", "<absent>"},
      {"bar as a trail byte stays", "TITLEBAR " + sjis("ポ|ポ") + "\n", "TITLEBAR", sjis("ポ ポ")},
      {"Shift-JIS key", sjis("キー") + " " + sjis("値") + "\n", sjis("キー"), sjis("値")},
  };
  for (const auto& c : cases) EXPECT_EQ(value_of(parse(c.file), c.key), c.expected) << c.note;
}

TEST(Environment, long_lines_split_after_511_bytes) {
  // A line of exactly 511 bytes: its line end comes back as an empty line.
  std::string file = "LONG " + std::string(506, 'y') + "\n";
  // 511 bytes, then the rest of the same line is read as a line of its own.
  file += "K " + std::string(509, 'x') + "SPLIT tail\n";
  Environment environment = parse(file);
  EXPECT_EQ(value_of(environment, "LONG"), std::string(506, 'y'));
  EXPECT_EQ(value_of(environment, "K"), std::string(509, 'x'));
  EXPECT_EQ(value_of(environment, "SPLIT"), "tail");
}

TEST(Environment, only_the_first_400_lines_are_read) {
  const struct {
    size_t comment_lines;
    std::string expected;
  } cases[] = {{398, "yes"}, {399, "yes"}, {400, "<absent>"}};
  for (const auto& c : cases) {
    std::string file;
    for (size_t i = 0; i < c.comment_lines; ++i) file += "// comment\n";
    file += "KEY yes\n";
    EXPECT_EQ(value_of(parse(file), "KEY"), c.expected) << c.comment_lines;
  }
  // Pieces of split long lines count as lines too.
  std::string file;
  for (size_t i = 0; i < 200; ++i) file += "/" + std::string(600, 'c') + "\n";
  file += "KEY yes\n";
  EXPECT_EQ(value_of(parse(file), "KEY"), "<absent>");
}

TEST(Environment, typed_lookups) {
  Environment environment = parse(
      "MIXED 12abc\nLETTERS abc\nNEGATIVE -40\nHUGE 99999999999\n"
      "TITLE " + sjis("アイウ") + "\n");
  EXPECT_EQ(env_int(environment, "MIXED", 5), 12);
  EXPECT_EQ(env_int(environment, "LETTERS", 5), 0);
  EXPECT_EQ(env_int(environment, "NEGATIVE", 5), -40);
  EXPECT_EQ(env_int(environment, "HUGE", 5), INT32_MAX);
  EXPECT_EQ(env_int(environment, "ABSENT", 5), 5);

  const resources::LeadByteTable& lead = cp932_lead();
  EXPECT_EQ(env_text(environment, lead, "TITLE", 128, "d"), sjis("アイウ"));
  EXPECT_EQ(env_text(environment, lead, "TITLE", 6, "d"), sjis("アイ"));
  EXPECT_EQ(env_text(environment, lead, "TITLE", 4, "d"), sjis("ア"));
  EXPECT_EQ(env_text(environment, lead, "TITLE", 0, "d"), "");
  EXPECT_EQ(env_text(environment, lead, "ABSENT", 4, "default"), "def");
}

}  // namespace
}  // namespace tavelo::resources
