// Line breaking on the built-in kinsoku tables: where lines end for each
// KINSOKU_TYPE, the indent an opening bracket sets, a window too narrow for
// one character, table membership on character boundaries, and the pending
// text's byte limit. Every character advances 10 pixels.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "tests/support/test_engine.h"
#include "text/line_breaking.h"
#include "text/message_window.h"

namespace tavelo::text {
namespace {

using testing::sjis;

class LineBreakingTest : public ::testing::Test {
 protected:
  LineBreakingTest() : encoding(platform::TextEncoding::create("CP932")) {
    tables = default_kinsoku_tables(*encoding);
    punctuation = make_punctuation(*encoding);
  }

  // The line (as UTF-8) that fits in available pixels.
  std::string line_of(std::string_view text_utf8, int32_t available, const LineRules& rules,
                      bool at_line_start = true, std::optional<int32_t>* indent = nullptr) {
    const std::string text = sjis(text_utf8);
    std::vector<int32_t> advances(text.size(), 10);  // more than enough: one per byte
    LineRequest request;
    request.text = text;
    request.advances = advances;
    request.available = available;
    request.font_width = 10;
    request.at_line_start = at_line_start;
    const LineBreak result = break_line(request, rules, tables, punctuation, encoding->lead_bytes());
    if (indent) *indent = result.indent;
    return encoding->to_utf8(text.substr(0, result.length)).value_or("?");
  }

  std::unique_ptr<platform::TextEncoding> encoding;
  KinsokuTables tables;
  Punctuation punctuation;
};

TEST_F(LineBreakingTest, lines_end_by_the_rules_of_each_kinsoku_type) {
  struct Case {
    int32_t kinsoku_type;
    const char* text;
    int32_t available;
    const char* line;
  };
  const Case cases[] = {
      {0, "あいうえおか", 50, "あいうえお"},
      // A character that may not end a line moves to the next one.
      {0, "あいうえ「か", 50, "あいうえ"},
      // A character that may not start a line pulls the previous one down.
      {0, "あいうえお。", 50, "あいうえ"},
      // Type 1 ends a line after a character that may not start one...
      {1, "あいうえ。か", 50, "あいうえ。"},
      // ...and otherwise carries the last character over.
      {1, "あいうえおか", 50, "あいうえ"},
      // Type 2 breaks within 2 × 2 cells of the edge at the first character
      // that may start a line.
      {2, "あいうえおかきくけこさ", 100, "あいうえおか"},
      {2, "あいうえおか。きくけこ", 100, "あいうえおか。"},
  };
  for (const Case& c : cases) {
    LineRules rules;
    rules.kinsoku_type = c.kinsoku_type;
    EXPECT_EQ(line_of(c.text, c.available, rules), c.line) << c.kinsoku_type << " " << c.text;
  }
}

TEST_F(LineBreakingTest, brackets_set_and_clear_the_continuation_indent) {
  struct Case {
    bool space_indent;
    int32_t offset;
    const char* text;
    std::optional<int32_t> indent;
  };
  const Case cases[] = {
      {true, 0, "「あいうえおか", 10},   // past the bracket
      {true, 3, "「あいうえおか", 13},   // plus INDENTOFFSET
      {false, 3, "「あいうえおか", 0},   // without SPACEINDENT lines start at the left
      {true, 0, "「あ」いうえお", 0},    // the closing bracket ends it
      {true, 0, "あいうえおかき", std::nullopt},
  };
  for (const Case& c : cases) {
    LineRules rules;
    rules.space_indent = c.space_indent;
    rules.indent_offset = c.offset;
    std::optional<int32_t> indent;
    line_of(c.text, 50, rules, true, &indent);
    EXPECT_EQ(indent, c.indent) << c.text;
  }
}

TEST_F(LineBreakingTest, a_window_narrower_than_a_character_still_takes_one_at_the_line_start) {
  EXPECT_EQ(line_of("あい", 5, {}, true), "あ");
  EXPECT_EQ(line_of("あい", 5, {}, false), "");
}

TEST_F(LineBreakingTest, tables_are_searched_character_by_character) {
  const resources::LeadByteTable& lead = encoding->lead_bytes();
  EXPECT_TRUE(in_kinsoku_table(lead, tables.not_at_start, sjis("ゃ")));
  EXPECT_TRUE(in_kinsoku_table(lead, tables.not_at_end, sjis("「")));
  EXPECT_FALSE(in_kinsoku_table(lead, tables.not_at_end, "a"));
  // "ゃゅ" is 82 E1 82 E3: the bytes E1 82 inside it are another character.
  EXPECT_FALSE(in_kinsoku_table(lead, sjis("ゃゅ"), "\xE1\x82"));
}

TEST_F(LineBreakingTest, pending_text_is_cut_on_a_character_boundary) {
  MessageState message;
  const resources::LeadByteTable& lead = encoding->lead_bytes();
  append_message_text(message, lead, std::string(kPendingTextLimit - 1, 'a'));
  append_message_text(message, lead, sjis("あ"));  // two bytes: no room for both
  EXPECT_EQ(message.pending.size(), kPendingTextLimit - 1);
  append_message_text(message, lead, "bc");
  EXPECT_EQ(message.pending.size(), kPendingTextLimit);
  EXPECT_EQ(message.pending.back(), 'b');
}

}  // namespace
}  // namespace tavelo::text
