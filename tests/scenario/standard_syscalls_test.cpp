// The standard system calls driven by real scripts: numbers, random ranges,
// the progress call, strings with double-byte characters, comma fields,
// variables by name and the small engine and desktop calls.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "input/state.h"
#include "resources/name_hash.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

bool contains(const std::string& line, std::string_view part) { return line.find(part) != std::string::npos; }

TEST(StandardCalls, numbers_text_conversions_and_progress) {
  ScriptRun run = run_script(R"(
    push_int -5
    syscall 0x959B0A16 1        ; absolute value
    push_int 3
    push_int 9
    syscall 0x6CFC884A 2        ; larger
    push_int 3
    push_int 9
    syscall 0x3D053317 2        ; smaller
    PRINT 3
    push_int -42
    syscall 0x6F769889 1        ; "%d"
    push_string "  -17abc"
    syscall 0x109CA5DB 1        ; leading number
    push_string "ABC.Txt"
    syscall 0x4694366A 1        ; hash of the lower-case text
    PRINT 3
    ; progress: value 100 over 500 ms from start
    push_int 100
    push_int 500
    syscall 0x6584F13E 0
    push_int 250
    sub_int
    syscall 0xEE6B328D 3        ; half way
    push_int 100
    push_int 500
    syscall 0x6584F13E 0
    push_int 500
    sub_int
    syscall 0xEE6B328D 3        ; at the end
    push_int 100
    push_int 500
    syscall 0x6584F13E 0
    push_int 900
    sub_int
    syscall 0xEE6B328D 3        ; past the end: stays at value
    push_int 100
    push_int 500
    syscall 0x6584F13E 0
    push_int 250
    add_int
    syscall 0xEE6B328D 3        ; a start ahead counts its distance too
    push_int 100
    push_int 0
    push_int 0
    syscall 0xEE6B328D 3        ; no duration: value itself
    push_int 2000000000
    push_int 1000
    syscall 0x6584F13E 0
    push_int 500
    sub_int
    syscall 0xEE6B328D 3        ; large values do not overflow
    PRINT 6
    push_float 90
    syscall 0xEE2B6D92 1
    push_float 60
    syscall 0x12877048 1
    push_float 45
    syscall 0xBDAA8E96 1
    PRINT 3
  )");
  ASSERT_EQ(run.lines.size(), 4u) << ::testing::PrintToString(run.lines);
  EXPECT_EQ(run.lines[0], "3 9 5 ");
  int32_t hash = int32_t(resources::name_hash("abc.txt"));
  EXPECT_EQ(run.lines[1], std::to_string(hash) + " -17 -42 ");
  EXPECT_EQ(run.lines[2], "1000000000 100 50 100 100 50 ");
  EXPECT_EQ(run.lines[3], "1.000000 0.500000 1.000000 ");
}

TEST(StandardCalls, random_numbers_stay_in_range) {
  // 3000 draws: the int range 0..6 is covered exactly, the float stays in
  // [0, 1); a zero range is reported and gives 0.
  ScriptRun run = run_script(R"(
    push_int 100
    set_int_pop global int "@low@GLOBAL"
    push_int -100
    set_int_pop global int "@high@GLOBAL"
    push_int 0
    set_int_pop global int "@bad@GLOBAL"
    push_int 0
    set_int_pop global int "@i@GLOBAL"
loop:
    load global int "@low@GLOBAL"
    push_int 7
    syscall 0xC6282F19 1
    syscall 0x3D053317 2
    set_int_pop global int "@low@GLOBAL"
    load global int "@high@GLOBAL"
    push_int 7
    syscall 0xC6282F19 1
    syscall 0x6CFC884A 2
    set_int_pop global int "@high@GLOBAL"
    syscall 0x46B18379 0
    set_float_pop global float "@r@GLOBAL"
    load global float "@r@GLOBAL"
    push_float 1
    ge_float
    load global float "@r@GLOBAL"
    push_float 0
    lt_float
    or
    add_set_int_pop global int "@bad@GLOBAL"
    load global int pre_inc "@i@GLOBAL"
    push_int 3000
    lt_int
    jump_if_true loop
    load global int "@bad@GLOBAL"
    load global int "@high@GLOBAL"
    load global int "@low@GLOBAL"
    PRINT 3
    push_int 0
    syscall 0xC6282F19 1
    PRINT 1
  )");
  ASSERT_EQ(run.lines.size(), 3u) << ::testing::PrintToString(run.lines);
  EXPECT_EQ(run.lines[0], "0 6 0 ");
  EXPECT_TRUE(contains(run.lines[1], "乱数の種に０が指定されました。")) << run.lines[1];
  EXPECT_EQ(run.lines[2], "0 ");
}

TEST(StandardCalls, strings_count_double_byte_characters_as_one) {
  ScriptRun run = run_script(R"(
    push_string "aあ"
    syscall 0xB0C8F550 1        ; length
    push_int 2
    push_string "あいう"
    syscall 0x06906970 2        ; left
    push_int 2
    push_string "あいう"
    syscall 0x25401A1F 2        ; right
    push_int 10
    push_string "あいう"
    syscall 0x25401A1F 2        ; right, more than there is
    PRINT 4
    push_int 2
    push_int 1
    push_string "xあいうy"
    syscall 0x8AEF9167 3        ; middle
    push_int 10
    push_int 1
    push_string "あいう"
    syscall 0x8AEF9167 3        ; middle, fewer remain
    push_int 1
    push_int 5
    push_string "あい"
    syscall 0x8AEF9167 3        ; middle, beyond the end
    push_string "<"
    PRINT 4
    push_string "ヂaアB"
    syscall 0xAD74D9AC 1        ; lower: trail bytes that look like letters stay
    push_string "ヂaアB"
    syscall 0x266A3C79 1        ; upper
    PRINT 2
    push_string "abc"
    push_string "xxあいABC"
    syscall 0x69DB4512 2        ; find without case
    push_string "A"
    push_string "ア"
    syscall 0x69DB4512 2        ; a trail byte is no match
    push_string "え"
    push_string "あいう"
    syscall 0x69DB4512 2
    PRINT 3
  )");
  ASSERT_EQ(run.lines.size(), 4u) << ::testing::PrintToString(run.lines);
  EXPECT_EQ(run.lines[0], "あいう いう あい 2 ");
  EXPECT_EQ(run.lines[1], "<  いう あい ");
  EXPECT_EQ(run.lines[2], "ヂAアB ヂaアb ");
  EXPECT_EQ(run.lines[3], "-1 -1 4 ");
}

TEST(StandardCalls, comparisons_give_the_sign_of_second_against_first) {
  ScriptRun run = run_script(R"(
    push_string "い"
    push_string "あ"
    syscall 0x5C823701 2        ; "い" against "あ"
    push_string "abc"
    push_string "ABC"
    syscall 0x5C823701 2
    push_string "abc"
    push_string "ABC"
    syscall 0x45815F6D 2
    push_string "あB"
    push_string "あa"
    syscall 0x45815F6D 2
    PRINT 4
  )");
  ASSERT_EQ(run.lines.size(), 1u) << ::testing::PrintToString(run.lines);
  std::vector<int> results;
  for (size_t start = 0; start < run.lines[0].size();) {
    size_t end = run.lines[0].find(' ', start);
    results.push_back(std::atoi(run.lines[0].substr(start, end - start).c_str()));
    start = end + 1;
  }
  ASSERT_EQ(results.size(), 4u);
  EXPECT_GT(results[0], 0) << "あB against あa without case: B after a";
  EXPECT_EQ(results[1], 0) << "case ignored";
  EXPECT_GT(results[2], 0) << "lower case after upper case";
  EXPECT_GT(results[3], 0) << "い after あ";
}

TEST(StandardCalls, comma_fields_are_trimmed_and_unquoted) {
  ScriptRun run = run_script(R"(
    push_string ""
    syscall 0x00D696CC 1        ; field count of empty text
    push_string "あ,い,\"う\""
    syscall 0x00D696CC 1
    PRINT 2
    push_int 1
    push_string "a, \"b c\" ,d"
    syscall 0x3FE05B39 2
    push_int 5
    push_string "a,b"
    syscall 0x3FE05B39 2        ; beyond the last field
    push_int 2
    push_string "あ,い,  う  "
    syscall 0x3FE05B39 2
    push_int -1
    push_string "a,b"
    syscall 0x3FE05B39 2
    push_string "<"
    PRINT 5
  )");
  ASSERT_EQ(run.lines.size(), 2u) << ::testing::PrintToString(run.lines);
  EXPECT_EQ(run.lines[0], "3 1 ");
  EXPECT_EQ(run.lines[1], "<  う  b c ");
}

TEST(StandardCalls, texts_are_cut_to_511_bytes_without_splitting_a_character) {
  std::string a_then_kana = "a";
  for (int i = 0; i < 300; ++i) a_then_kana += "あ";  // 1 + 600 bytes
  ScriptRun run = run_script("    push_string \"" + a_then_kana +
                             "\"\n"
                             "    syscall 0xB0C8F550 1\n"
                             "    PRINT 1\n");
  // 511 bytes hold the letter and 255 whole characters.
  EXPECT_EQ(run.lines, (Lines{"256 "}));
}

TEST(StandardCalls, variables_by_name) {
  ScriptRun run = run_script(R"(
    push_float 1.5
    set_float_pop global float "@f@GLOBAL"
    push_string "@f"
    syscall get_variable 1      ; a float's bits
    push_int 7
    push_string "#e"
    syscall set_variable 2      ; creates an eternal int
    pop
    load eternal int "#e@GLOBAL"
    push_int 9
    push_string "%t@SCENE"
    syscall set_variable 2      ; the thread store, with its own group
    pop
    load thread int "%t@SCENE"
    push_string "%t@SCENE"
    syscall 0xF9A3B675 1        ; silent form finds it too
    PRINT 4
    push_string "hello"
    set_string_pop global string "@s@GLOBAL"
    push_int 5
    push_string "@s"
    syscall set_variable 2      ; a string variable becomes an int
    pop
    push_string "@s"
    syscall get_variable 1
    push_string "@missing"
    syscall 0xF9A3B675 1
    PRINT 2
    push_string "@missing"
    syscall get_variable 1
    PRINT 1
    push_int 1
    push_string "_local"
    syscall set_variable 2
    push_int 1
    push_string "name"
    syscall set_variable 2
    push_string "name"
    syscall 0xF9A3B675 1        ; nothing was set
    PRINT 3
  )");
  ASSERT_EQ(run.lines.size(), 7u) << ::testing::PrintToString(run.lines);
  EXPECT_EQ(run.lines[0], "9 9 7 1069547520 ");
  EXPECT_EQ(run.lines[1], "0 5 ");
  EXPECT_TRUE(contains(run.lines[2], "get_variable : 変数[ @missing ]は存在しません")) << run.lines[2];
  EXPECT_EQ(run.lines[3], "0 ");
  EXPECT_TRUE(contains(run.lines[4], "set_variable : [ _local ]ローカル変数は設定できません")) << run.lines[4];
  EXPECT_TRUE(contains(run.lines[5], "set_variable : [ name ]変数名が間違っています")) << run.lines[5];
  EXPECT_EQ(run.lines[6], "0 0 0 ");
}

TEST(StandardCalls, registry_values_round_trip_with_defaults) {
  ScriptRun run = run_script(R"(
    push_int 42
    push_string "Score"
    syscall 0x9A1ACECA 2
    push_string "名前"
    push_string "Player"
    syscall 0xEDB64309 2
    pop
    pop
    push_string "Score"
    syscall 0x80177286 1
    push_int -3
    push_string "Absent"
    syscall 0x80177286 2
    push_string "Absent"
    syscall 0x80177286 1
    push_string "Player"
    syscall 0xA2E45C9C 1
    push_string "なし"
    push_string "Absent"
    syscall 0xA2E45C9C 2
    push_string "<"
    push_string "Absent"
    syscall 0xA2E45C9C 1
    PRINT 7
  )");
  EXPECT_EQ(run.lines, (Lines{" < なし 名前 0 -3 42 "}));
}

TEST(StandardCalls, date_time_queries_and_desktop_calls) {
  std::vector<std::string> opened;
  int32_t suppress_count = -1;
  int suppress_mask = -1;
  bool accept_drops = false;
  RunHooks hooks;
  hooks.before = [](TestEngine& test) { test.engine.input.dropped_file = "old.txt"; };
  hooks.after = [&](TestEngine& test) {
    opened = test.platform.opened_targets();
    suppress_count = test.engine.input.clicks.suppress_count;
    suppress_mask = test.engine.input.clicks.suppress_mask;
    accept_drops = test.engine.input.accept_dropped_files;
  };
  ScriptRun run = run_script(R"(
    syscall 0xFED7BFE9 0
    syscall 0x0D389C2F 0
    PRINT 2
    syscall 0xE06200C4 0
    syscall 0x8C283F7F 0
    syscall 0x6E6C641A 0
    PRINT 3
    push_string "example.com/a"
    syscall 0xDACA10AF 1
    push_int 2
    push_string "wall.bmp"
    syscall 0x4AFC6E20 2        ; no wallpaper service: the key cannot be opened
    push_string "既定"
    push_string "名前は？"
    syscall 0x7F01F772 2        ; the dialog answers with the default
    PRINT 3
    push_int 4
    push_int 0
    syscall 0xB7E3E81C 2        ; the mask is argument 2
    pop
    syscall 0xC32E286F 0        ; the last dropped name
    push_int 1
    syscall 0x42D7C922 1        ; accepting drops forgets it
    pop
    syscall 0xC32E286F 0
    push_string "<"
    PRINT 3
  )",
                             "", {}, hooks);
  ASSERT_EQ(run.lines.size(), 4u) << ::testing::PrintToString(run.lines);
  EXPECT_TRUE(std::regex_match(run.lines[0], std::regex(R"(\d\d:\d\d:\d\d \d\d/\d\d/\d\d )"))) << run.lines[0];
  EXPECT_EQ(run.lines[1], "1 480 640 ");
  EXPECT_EQ(run.lines[2], "既定 3 0 ");
  EXPECT_EQ(run.lines[3], "<  old.txt ");
  EXPECT_EQ(opened, (Lines{"http://example.com/a"}));
  EXPECT_EQ(suppress_count, 3);
  EXPECT_EQ(suppress_mask, 4);
  EXPECT_TRUE(accept_drops);
}

}  // namespace
}  // namespace tavelo::testing
