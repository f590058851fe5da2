// The compiled-script loader, through real files built with the assembler.

#include "script/loader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "host/engine.h"
#include "resources/name_hash.h"
#include "script/state.h"
#include "tests/support/test_engine.h"
#include "tools/assembler/assembler.h"

namespace tavelo {
namespace {

using platform::AnswerPolicy;
using testing::sjis;

std::vector<uint8_t> assemble(std::string_view source) {
  tools::AssemblyResult result = tools::assemble(source);
  EXPECT_TRUE(result.ok()) << tools::format_errors(result, "source");
  return result.bytes;
}

AnswerPolicy cancel_policy() {
  AnswerPolicy policy;
  policy.fallback = AnswerPolicy::Fallback::Cancel;
  return policy;
}

// A game directory whose scripts live in scenario/, which the loader
// registers by itself when a script is not found.
struct Game {
  explicit Game(AnswerPolicy policy = {}) : test(directory.path(), std::move(policy)) {}

  std::string write(std::string_view file_name, std::string_view source) {
    return directory.write("scenario/" + std::string(file_name), assemble(source));
  }
  std::string write_bytes(std::string_view file_name, const std::vector<uint8_t>& bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // An empty vector has no data pointer; "" has one.
    return directory.write("scenario/" + std::string(file_name), bytes.empty() ? std::string_view("") : text);
  }
  // Moves the file's time forward so that the loader sees a changed file.
  void touch(const std::string& path, int seconds = 10) {
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(seconds));
  }
  std::vector<std::string> box_texts() const {
    std::vector<std::string> texts;
    for (const platform::RecordedBox& box : test.platform.boxes()) texts.push_back(box.text);
    return texts;
  }
  script::Scripts& scripts() { return test.engine.script.scripts; }

  testing::TempDirectory directory;
  testing::TestEngine test;
  host::Engine& engine = test.engine;
};

std::string failure_text(std::string_view name) {
  return "TaveloObj : ファイル [" + std::string(name) + "] の読み込みで失敗しました";
}

TEST(Loader, normalizes_names_to_the_upper_case_file_part_with_tvo) {
  Game game;
  struct Case {
    std::string given;
    std::string expected;
  };
  const Case cases[] = {
      {"start", "START.TVO"},
      {"Start.tvo", "START.TVO"},
      {"data\\start.txt", "START.TVO"},
      {"c:\\game\\scenario\\start", "START.TVO"},
      {"dir/sub/start.TVO", "START.TVO"},
      {"a.b.c", "A.B.TVO"},
      // 0x5C as the second byte of a double-byte character is no separator,
      // and trail bytes in the letter range keep their case.
      {sjis("ソ表") + "x", sjis("ソ表") + "X.TVO"},
      {sjis("ヂ") + "ab", sjis("ヂ") + "AB.TVO"},
  };
  for (const Case& c : cases) EXPECT_EQ(script::normalize_script_name(game.engine.script, c.given), c.expected) << c.given;
  EXPECT_TRUE(game.box_texts().empty());
}

TEST(Loader, reports_and_cuts_names_longer_than_127_bytes) {
  Game game;
  game.engine.script.debug_mode = true;
  std::string name = script::normalize_script_name(game.engine.script, std::string(200, 'a'));
  EXPECT_EQ(name, std::string(127, 'A'));
  ASSERT_EQ(game.box_texts().size(), 1u);
  EXPECT_NE(game.box_texts()[0].find(std::string(196, 'A') + ".TVO]が長すぎます127文字以内にしてください。"),
            std::string::npos)
      << game.box_texts()[0];
  EXPECT_EQ(script::normalize_script_name(game.engine.script, std::string(123, 'a')).size(), 127u);
  EXPECT_EQ(game.box_texts().size(), 1u);
}

TEST(Loader, loads_plain_and_scrambled_files_to_the_same_code) {
  Game game;
  std::vector<uint8_t> fixture =
      testing::read_bytes(std::string(TAVELO_SOURCE_DIR) + "/tests/tools/tvo_canonical.tvoasm");
  std::string source(fixture.begin(), fixture.end());
  ASSERT_FALSE(source.empty());
  game.write("plain.tvo", source);
  size_t variant = source.find(".variant plain");
  ASSERT_NE(variant, std::string::npos);
  game.write("mixed.tvo", source.replace(variant, 14, ".variant scrambled"));

  script::LoadedScript* plain = script::load_script(game.engine.script, "plain");
  script::LoadedScript* scrambled = script::load_script(game.engine.script, "mixed");
  ASSERT_TRUE(plain && scrambled);
  EXPECT_EQ(plain->name, "PLAIN.TVO");
  EXPECT_EQ(plain->name_hash, resources::name_hash("PLAIN.TVO"));
  EXPECT_NE(plain->file_time, 0u);
  ASSERT_EQ(plain->code->size, scrambled->code->size);
  EXPECT_TRUE(std::equal(plain->code->begin(), plain->code->end(), scrambled->code->begin()));
  EXPECT_EQ(plain->entry_offset, 0);
  EXPECT_EQ(plain->line_count, 40u);
  ASSERT_EQ(plain->functions.size(), 3u);
  EXPECT_EQ(plain->functions[0].hash, resources::name_hash("$start@GLOBAL"));
  EXPECT_EQ(plain->functions[2].offset, 3u);
  EXPECT_EQ(plain->code->script, plain);
  // The padding after the code reads as zeros.
  for (size_t i = 0; i < script::kCodePadding; ++i) EXPECT_EQ(plain->code->end()[i], 0);
  EXPECT_EQ(game.scripts().loaded.front().get(), scrambled);  // newest first
}

TEST(Loader, descrambles_in_1024_byte_blocks) {
  Game game;
  std::string source = ".variant scrambled\n.bytes";
  for (int i = 0; i < 1500; ++i) source += " 0";
  std::string path = game.write("zeros.tvo", source);
  // The stored code of all-zero code is the key stream itself: the name-hash
  // table image, restarting after 1024 bytes.
  std::vector<uint8_t> file = testing::read_bytes(path);
  ASSERT_EQ(file.size(), 32u + 1500u);
  const uint8_t* stored = file.data() + 32;
  const uint8_t entry_1[] = {0x96, 0x30, 0x07, 0x77};    // table entry 1: 0x77073096
  const uint8_t entry_255[] = {0x8D, 0xEF, 0x02, 0x2D};  // table entry 255: 0x2D02EF8D
  EXPECT_TRUE(std::equal(entry_1, entry_1 + 4, stored + 4));
  EXPECT_TRUE(std::equal(entry_255, entry_255 + 4, stored + 1020));
  EXPECT_TRUE(std::equal(entry_1, entry_1 + 4, stored + 1028));
  EXPECT_TRUE(std::equal(stored, stored + 476, stored + 1024));

  script::LoadedScript* script = script::load_script(game.engine.script, "zeros");
  ASSERT_TRUE(script);
  ASSERT_EQ(script->code->size, 1500u);
  EXPECT_TRUE(std::all_of(script->code->begin(), script->code->end(), [](uint8_t b) { return b == 0; }));

  // Below 1024 bytes only the first bytes of the image are used.
  std::vector<uint8_t> small(10, 0);
  script::scramble_code(small);
  EXPECT_TRUE(std::equal(stored, stored + 10, small.begin()));
}

TEST(Loader, second_load_of_an_unchanged_file_returns_the_same_record_without_reading) {
  Game game;
  std::string path = game.write("start.tvo", "push_int 1\nreturn");
  script::LoadedScript* first = script::load_script(game.engine.script, "start");
  ASSERT_TRUE(first);
  const uint8_t* code = first->code->begin();
  // New content with the old time: the loader must not look at it.
  auto time = std::filesystem::last_write_time(path);
  game.write("start.tvo", "push_int 2\nreturn");
  std::filesystem::last_write_time(path, time);

  for (std::string_view name : {"start", "START.TVO", "data\\Start.txt"}) {
    EXPECT_EQ(script::load_script(game.engine.script, name), first) << name;
  }
  EXPECT_EQ(first->code->begin(), code);
  EXPECT_EQ(first->code->begin()[2], 1);
  EXPECT_EQ(game.scripts().loaded.size(), 1u);
}

TEST(Loader, reload_after_touch_keeps_record_and_marks_and_old_code) {
  Game game;
  std::string path = game.write("story.tvo", ".function \"$f@GLOBAL\" f\nf: line 9\nreturn");
  script::LoadedScript* script = script::load_script(game.engine.script, "story");
  ASSERT_TRUE(script && script->read_marks);
  EXPECT_EQ(script->read_marks->line_count, 10u);
  EXPECT_EQ(script->read_marks->bits.size(), 18u);  // (10 + 7) / 8 + 16
  script->read_marks->bits[1] = 0x02;  // line 9 read
  script::ReadMarkSet* marks = script->read_marks;
  const uint8_t* old_position = script->code->begin();

  game.write("story.tvo", ".function \"$f@GLOBAL\" f\npush_int 5\nf: line 9\nreturn");
  game.touch(path);
  EXPECT_EQ(script::load_script(game.engine.script, "story"), script);
  EXPECT_EQ(game.scripts().loaded.size(), 1u);
  EXPECT_EQ(script->functions[0].offset, 6u);
  EXPECT_EQ(script->read_marks, marks);
  EXPECT_EQ(marks->bits[1], 0x02);
  // A thread still running in the old code keeps a valid position.
  EXPECT_EQ(script::script_at(game.engine.script, old_position), script);
  EXPECT_EQ(script::find_function(game.engine.script, resources::name_hash("$f@GLOBAL"), script::code_block_at(game.engine.script, old_position)),
            script->code->begin() + 6);

  // A changed line count starts a fresh, empty set.
  game.write("story.tvo", "line 30\nreturn");
  game.touch(path, 20);
  EXPECT_EQ(script::load_script(game.engine.script, "story"), script);
  ASSERT_TRUE(script->read_marks);
  EXPECT_EQ(script->read_marks->line_count, 31u);
  EXPECT_EQ(script->read_marks->bits, std::vector<uint8_t>(script::read_mark_bytes(31), 0));
  EXPECT_EQ(script::find_read_mark_set(game.engine.script, "STORY.TVO"), script->read_marks);
  EXPECT_EQ(game.scripts().read_marks.size(), 1u);

  // Line count 0: no set, and the old one is dropped.
  game.write("story.tvo", "return");
  game.touch(path, 30);
  EXPECT_EQ(script::load_script(game.engine.script, "story"), script);
  EXPECT_EQ(script->read_marks, nullptr);
  EXPECT_EQ(script::find_read_mark_set(game.engine.script, "STORY.TVO"), nullptr);
}

TEST(Loader, line_counts_beyond_16_bit_line_numbers_are_cut_before_allocating) {
  Game game;
  for (uint32_t claimed : {65537u, 0xFFFFFFFFu}) {
    std::string name = "lines" + std::to_string(claimed);
    game.write(name + ".tvo", ".line_count " + std::to_string(claimed) + "\nline 3\nreturn");
    script::LoadedScript* script = script::load_script(game.engine.script, name);
    ASSERT_TRUE(script && script->read_marks) << claimed;
    EXPECT_EQ(script->line_count, 65536u) << claimed;
    EXPECT_EQ(script->read_marks->bits.size(), script::read_mark_bytes(65536)) << claimed;
  }
}

TEST(Loader, finds_scripts_in_every_scenario_directory_it_registers) {
  for (std::string_view folder : {"scenario1", "scenario5", "scenario9", "Scenario"}) {
    Game game;
    game.directory.write(std::string(folder) + "/found.tvo", assemble("return"));
    EXPECT_NE(script::load_script(game.engine.script, "found"), nullptr) << folder;
    EXPECT_TRUE(game.box_texts().empty()) << folder;
  }
}

TEST(Loader, scripts_from_archives_have_time_zero_and_never_reload) {
  Game game;
  testing::TempDirectory packed;
  auto pack = [&](std::string_view source) {
    packed.write("packed.tvo", assemble(source));
    testing::ProcessResult result = testing::run_command(testing::tool_path("tvarc") + " create " + packed.path() +
                                                         " -o " + game.directory.at("scenario.arc"));
    ASSERT_EQ(result.exit_status, 0) << result.output;
  };
  pack("push_int 1\nreturn");
  script::LoadedScript* script = script::load_script(game.engine.script, "packed");
  ASSERT_TRUE(script);
  EXPECT_EQ(script->file_time, 0u);
  EXPECT_EQ(script->code->begin()[2], 1);
  pack("push_int 2\nreturn");
  game.touch(game.directory.at("scenario.arc"));
  EXPECT_EQ(script::load_script(game.engine.script, "packed"), script);
  EXPECT_EQ(script->code->begin()[2], 1);
  EXPECT_TRUE(script->retired_code.empty());
}

TEST(Loader, read_mark_sets_outlive_scripts_by_name) {
  Game game;
  game.write("marks.tvo", "line 3\nreturn");
  game.write("none.tvo", "return");
  script::LoadedScript* marked = script::load_script(game.engine.script, "marks");
  ASSERT_TRUE(marked && marked->read_marks);
  marked->read_marks->bits[0] = 0x08;
  script::free_all_scripts(game.engine.script);
  EXPECT_TRUE(game.scripts().loaded.empty());
  marked = script::load_script(game.engine.script, "Marks");
  ASSERT_TRUE(marked && marked->read_marks);
  EXPECT_EQ(marked->read_marks->bits[0], 0x08);

  script::LoadedScript* plain = script::load_script(game.engine.script, "none");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->read_marks, nullptr);
}

TEST(Loader, functions_resolve_to_the_callers_script_first) {
  Game game;
  game.write("one.tvo", ".function \"$f@GLOBAL\" f\n.function \"$only_one@GLOBAL\" f\nf: push_int 1\nreturn");
  game.write("two.tvo", ".function \"$f@GLOBAL\" f\nreturn\nf: push_int 2\nreturn");
  script::LoadedScript* one = script::load_script(game.engine.script, "one");
  script::LoadedScript* two = script::load_script(game.engine.script, "two");
  ASSERT_TRUE(one && two);
  uint32_t f = resources::name_hash("$f@GLOBAL");
  EXPECT_EQ(script::find_function(game.engine.script, f, one->code.get()), one->code->begin());
  EXPECT_EQ(script::find_function(game.engine.script, f, two->code.get()), two->code->begin() + 2);
  EXPECT_EQ(script::find_function(game.engine.script, f, nullptr), two->code->begin() + 2);  // newest
  EXPECT_EQ(script::find_function(game.engine.script, resources::name_hash("$only_one@GLOBAL"), two->code.get()),
            one->code->begin());
  EXPECT_EQ(script::find_function(game.engine.script, resources::name_hash("$missing@GLOBAL"), one->code.get()), nullptr);

  EXPECT_EQ(script::script_at(game.engine.script, one->code->begin() + 3), one);
  EXPECT_EQ(script::code_block_at(game.engine.script, two->code->end() - 1), two->code.get());
  EXPECT_EQ(script::script_at(game.engine.script, one->code->end()), nullptr);
  EXPECT_EQ(script::script_at(game.engine.script, nullptr), nullptr);
}

TEST(Loader, rejects_broken_files_with_the_failure_box) {
  struct Case {
    const char* what;
    std::string source;  // empty: the file is raw_bytes
    std::vector<uint8_t> raw_bytes = {};
  };
  const Case cases[] = {
      {"empty file", "", {}},
      {"short magic", "", {'T', 'a', 'v', 'e', 'l', 'o'}},
      {"non-NUL 16th magic byte", ".magic \"TaveloObjV1.000\\x01\"\nreturn"},
      {"other version", ".magic \"TaveloObjV1.001\"\nreturn"},
      {"header cut after the entry", ".raw_file\n.bytes \"TaveloObjV1.000\\0\" 0xFF 0xFF 0xFF 0xFF 0"},
      {"function count beyond the file", ".function_count 0x1FFFFFFF\nreturn"},
      {"function count one too many", ".function 1 f\n.function_count 2\nf: return"},
      {"code size beyond the file", ".code_size 0xFFFFFFFF\nreturn"},
      {"code size one too many", ".code_size 3\nreturn"},
      {"entry outside the code", ".entry 2\nreturn"},
      {"entry at the code end", ".entry end\nreturn\nend:"},
      {"function outside the code", ".function 7 0x7FFFFFFF\nreturn"},
      {"negative function offset", ".function 7 -2\nreturn"},
  };
  for (const Case& c : cases) {
    Game game(cancel_policy());
    if (c.source.empty()) {
      game.write_bytes("bad.tvo", c.raw_bytes);
    } else {
      game.write("bad.tvo", c.source);
    }
    EXPECT_EQ(script::load_script(game.engine.script, "scenario\\Bad.tvo"), nullptr) << c.what;
    EXPECT_TRUE(game.engine.stopping()) << c.what;
    ASSERT_EQ(game.box_texts().size(), 1u) << c.what;
    EXPECT_EQ(game.box_texts()[0], failure_text("scenario\\Bad.tvo")) << c.what;
    EXPECT_TRUE(game.scripts().loaded.empty()) << c.what;
  }
}

TEST(Loader, accepts_bytes_after_the_code) {
  Game game(cancel_policy());
  game.write("tail.tvo", ".entry m\nm: return\n.trailer 1 2 3");
  script::LoadedScript* script = script::load_script(game.engine.script, "tail");
  ASSERT_TRUE(script);
  EXPECT_EQ(script->code->size, 2u);
  EXPECT_EQ(script->entry_offset, 0);
}

TEST(Loader, missing_script_retries_until_cancel) {
  Game game;  // answers Retry until the same box has repeated, then Cancel
  EXPECT_EQ(script::load_script(game.engine.script, "nowhere"), nullptr);
  EXPECT_TRUE(game.engine.stopping());
  ASSERT_GE(game.box_texts().size(), 2u);
  for (const std::string& text : game.box_texts()) EXPECT_EQ(text, failure_text("nowhere"));
}

TEST(Loader, failed_reload_keeps_the_linked_record_and_its_code) {
  Game game(cancel_policy());
  std::string path = game.write("keep.tvo", ".function 5 f\nf: push_int 3\nreturn");
  script::LoadedScript* script = script::load_script(game.engine.script, "keep");
  ASSERT_TRUE(script);
  game.write_bytes("keep.tvo", {'n', 'o', 'p', 'e'});
  game.touch(path);
  EXPECT_EQ(script::load_script(game.engine.script, "keep"), nullptr);
  ASSERT_EQ(game.scripts().loaded.size(), 1u);
  EXPECT_EQ(game.scripts().loaded[0].get(), script);
  EXPECT_EQ(script::find_function(game.engine.script, 5, nullptr), script->code->begin());
  EXPECT_EQ(script->code->begin()[2], 3);
}

}  // namespace
}  // namespace tavelo
