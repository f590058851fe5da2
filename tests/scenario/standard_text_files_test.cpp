// Text files opened by scripts: data files read field by field and line by
// line (in a registered directory and inside an archive), files
// written through the text-save dialog (never outside the game, nothing on
// Cancel), and handles that were never issued or are closed.

#include <gtest/gtest.h>

#include <functional>

#include "platform/file_system.h"
#include "resources/state.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

// Fields with comments, an empty line, a comment line, quotes, double-byte
// text and a trailing comma, then a plain line.
constexpr const char* kTable =
    "10, 20 ; the first pair\r\n"
    "\r\n"
    "// a whole comment line\n"
    "  \"quoted\" , あい ,\n"
    "30\n"
    "  last line // with a comment  \n";

constexpr const char* kReadTable = R"(
    push_string "%s"
    syscall 0xE4E3B40D 1
    set_int_pop global int "@h@GLOBAL"
    push_string "ignored"
    load global int "@h@GLOBAL"
    syscall_discard 0x63B8CB23 2  ; a read handle is not written
    load global int "@h@GLOBAL"
    syscall 0x2539D212 1
    load global int "@h@GLOBAL"
    syscall 0x2539D212 1
    load global int "@h@GLOBAL"
    syscall 0x55232561 1
    load global int "@h@GLOBAL"
    syscall 0x55232561 1
    load global int "@h@GLOBAL"
    syscall 0x2539D212 1
    load global int "@h@GLOBAL"
    syscall 0x6008BEBB 1
    PRINT 6
    load global int "@h@GLOBAL"
    syscall 0x6008BEBB 1
    load global int "@h@GLOBAL"
    syscall 0x2539D212 1
    load global int "@h@GLOBAL"
    syscall 0x55232561 1
    push_string "<"
    PRINT 4
    load global int "@h@GLOBAL"
    syscall 0xD6333B3C 1
    load global int "@h@GLOBAL"
    syscall 0x6008BEBB 1        ; closed
    push_string "<"
    PRINT 3
)";

std::string read_table_body(const std::string& name) {
  std::string body = kReadTable;
  body.replace(body.find("%s"), 2, name);
  return body;
}

void put_file(const std::string& directory, const std::string& name, const std::string& bytes) {
  ASSERT_TRUE(platform::make_directories(directory));
  ASSERT_TRUE(platform::write_file_atomically(
      directory + "/" + name, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
}

const Lines kTableLines = {"last line 30 あい quoted 20 10 ", "<  0  ", "<  0 "};

TEST(StandardTextFiles, data_files_read_by_field_and_line_from_every_place) {
  struct Case {
    const char* label;
    const char* name;
    std::function<void(const std::string& game)> place;
  };
  const std::vector<Case> cases = {
      {"in the registered data directory", "Table.DAT",
       [](const std::string& game) { put_file(game + "/data", "table.dat", sjis(kTable)); }},
      {"inside an archive", "table.dat",
       [](const std::string& game) {
         TempDirectory source;
         source.write("table.dat", sjis(kTable));
         ProcessResult made =
             run_command(tool_path("tvarc") + " create '" + source.path() + "' -o '" + game + "/data.arc'");
         ASSERT_EQ(made.exit_status, 0) << made.output;
       }},
  };
  for (const Case& test_case : cases) {
    RunHooks hooks;
    hooks.before = [&](TestEngine& test) { test_case.place(test.engine.resources.working_directory); };
    ScriptRun run = run_script(read_table_body(test_case.name), "", {}, hooks);
    EXPECT_EQ(run.lines, kTableLines) << test_case.label;
  }
}

TEST(StandardTextFiles, missing_files_and_foreign_handles_read_as_the_end) {
  ScriptRun run = run_script(R"(
    push_string "nothing_here.txt"
    syscall 0xE4E3B40D 1        ; a handle all the same
    set_int_pop global int "@h@GLOBAL"
    load global int "@h@GLOBAL"
    push_int 0
    gt_int
    load global int "@h@GLOBAL"
    syscall 0x2539D212 1
    load global int "@h@GLOBAL"
    syscall 0x6008BEBB 1
    push_string "<"
    PRINT 4
    push_int 12345
    syscall 0x6008BEBB 1        ; never issued
    push_int -1
    syscall 0x2539D212 1
    push_string "text"
    push_int 777
    syscall 0x63B8CB23 2        ; writing gives the handle back, nothing else
    push_int 777
    syscall 0xD6333B3C 1
    push_string "<"
    PRINT 5
  )");
  EXPECT_EQ(run.lines, (Lines{"<  0 1 ", "< 0 777 0  "}));
}

TEST(StandardTextFiles, written_files_get_the_proposed_name_and_line_ends) {
  std::optional<std::vector<uint8_t>> written;
  RunHooks hooks;
  hooks.after = [&](TestEngine& test) {
    written = platform::read_file(test.engine.resources.working_directory + "/save_out.txt");
  };
  ScriptRun run = run_script(R"(
    push_string "save_out.txt"
    syscall 0xD1921ED9 1
    set_int_pop global int "@w@GLOBAL"
    push_string "一行目"
    load global int "@w@GLOBAL"
    syscall_discard 0x63B8CB23 2
    push_string "second, line"
    load global int "@w@GLOBAL"
    syscall_discard 0x63B8CB23 2
    load global int "@w@GLOBAL"
    syscall 0x6008BEBB 1        ; a write handle reads as the end
    push_string "<"
    PRINT 2
    load global int "@w@GLOBAL"
    syscall 0xD6333B3C 1
    PRINT 1
  )",
                             "", {}, hooks);
  EXPECT_EQ(run.lines, (Lines{"<  ", "0 "}));
  ASSERT_TRUE(written.has_value());
  std::string expected = sjis("一行目\r\nsecond, line\r\n");
  EXPECT_EQ(std::string(written->begin(), written->end()), expected);
}

TEST(StandardTextFiles, cancelled_or_escaping_names_write_nothing) {
  TempDirectory outside;
  struct Case {
    std::string name;
    platform::AnswerPolicy policy;
    std::string escaped_to;  // where an unconfined write would land
  };
  platform::AnswerPolicy cancel;
  cancel.queued = {platform::Answer::Cancel};
  const Case cases[] = {
      {"cancelled.txt", cancel, ""},
      {"..\\" + outside.path().substr(outside.path().rfind('/') + 1) + "\\up.txt", {}, outside.at("up.txt")},
      {outside.at("absolute.txt"), {}, outside.at("absolute.txt")},
      {"C:\\drive.txt", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> files;
    size_t boxes = 0;
    RunHooks hooks;
    hooks.after = [&](TestEngine& test) {
      std::vector<platform::DirectoryItem> items;
      ASSERT_TRUE(platform::list_directory(test.engine.resources.working_directory, items));
      for (const platform::DirectoryItem& item : items) files.push_back(item.name);
      boxes = test.platform.boxes().size();
    };
    std::string literal;  // the name as an assembler string
    for (char ch : c.name) literal += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    ScriptRun run = run_script(R"(
      push_string ")" + literal + R"("
      syscall 0xD1921ED9 1
      set_int_pop global int "@w@GLOBAL"
      push_string "text"
      load global int "@w@GLOBAL"
      syscall 0x63B8CB23 2
      load global int "@w@GLOBAL"
      syscall 0xD6333B3C 1
      PRINT 2
    )",
                               "", c.policy, hooks);
    EXPECT_EQ(run.lines, (Lines{"0 1 "})) << "a handle that writes nothing comes back";
    EXPECT_EQ(files, (std::vector<std::string>{"debugout.log", "savedata", "scenario", "settings", "tavelo.env", "update"}));
    EXPECT_EQ(boxes, 0u);
    if (!c.escaped_to.empty()) {
      EXPECT_FALSE(platform::is_file(c.escaped_to));
    }
  }
}

}  // namespace
}  // namespace tavelo::testing
