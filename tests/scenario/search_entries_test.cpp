// Scripts register and unload places of game data by name.

#include <gtest/gtest.h>

#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kExtraLibrary = R"(
.entry entry
entry:
    params int
    load local int slot:-2
    push_int 100
    add_int
    return
)";

TEST(SearchEntries, a_script_registers_a_place_and_unloads_it_again) {
  ScriptRun run = run_script(R"(
    push_string "extras\\extra.arc"     ; only the name part counts
    syscall_discard 0x4FAC462C 1
    push_int 1
    push_string "extralib"
    syscall 0xCD00D280 2
    PRINT
    push_string "extra"
    syscall_discard 0xF4BB403D 1
    push_int 1
    push_string "otherlib"
    syscall 0xCD00D280 2               ; the unloaded place finds nothing any more
    PRINT
  )",
                             "", {}, {},
                             {{"extra/extralib.tvo", kExtraLibrary}, {"extra/otherlib.tvo", kExtraLibrary}});
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines[0], "101 ");
  EXPECT_EQ(run.game.status, 255);
  ASSERT_FALSE(run.game.boxes.empty());
  EXPECT_NE(run.game.boxes.back().text.find("otherlib"), std::string::npos) << run.game.boxes.back().text;
}

}  // namespace
}  // namespace tavelo::testing
