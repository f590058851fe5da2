// The remaining general calls: user-setting queries (zero outside debug
// mode for the replay and backlog options) and the one-element and copying
// array calls for float and string arrays.

#include <gtest/gtest.h>

#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

TEST(StandardQueries, user_settings_read_their_defaults) {
  ScriptRun run = run_script(R"(
    syscall 0x067B44A4 0     ; ReprotNoVoice, default 0
    syscall 0x619DE833 0     ; ReprotNoPic, default 0
    syscall 0x3D4B9052 0     ; LogNoVoice, default 1
    syscall 0x4B5AC64B 0     ; LogNoPic, default 1
    syscall 0x0692314A 0     ; NANIDO, default 0
    syscall 0x140C298E 0     ; GameSpeed, default 1
    PRINT 6
  )");
  EXPECT_EQ(run.lines, (Lines{"1 0 1 1 0 0 "}));
}

TEST(StandardQueries, float_and_string_arrays_of_one_element_and_their_copies) {
  ScriptRun run = run_script(R"(
    syscall 0xAAB68E6D 0
    set_float_array_pop global float_array "@f@GLOBAL"
    push_float 2.5
    push_int 0
    elem_set_float_pop global float subscripts:1 "@f@GLOBAL"
    load global float_array "@f@GLOBAL"
    syscall 0xE2413EF9 1
    set_float_array_pop global float_array "@g@GLOBAL"
    push_float 9.0
    push_int 0
    elem_set_float_pop global float subscripts:1 "@g@GLOBAL"
    syscall 0x134D5585 0
    set_string_array_pop global string_array "@s@GLOBAL"
    push_string "あい"
    push_int 0
    elem_set_string_pop global string subscripts:1 "@s@GLOBAL"
    load global string_array "@s@GLOBAL"
    syscall 0x5BBAE511 1
    set_string_array_pop global string_array "@t@GLOBAL"
    push_string "x"
    push_int 0
    elem_add_set_string_pop global string subscripts:1 "@t@GLOBAL"
    push_int 0
    load_elem global float subscripts:1 "@f@GLOBAL"
    push_int 0
    load_elem global float subscripts:1 "@g@GLOBAL"
    push_int 0
    load_elem global string subscripts:1 "@s@GLOBAL"
    push_int 0
    load_elem global string subscripts:1 "@t@GLOBAL"
    PRINT 4
  )");
  EXPECT_EQ(run.lines, (Lines{"あいx あい 9.000000 2.500000 "}));
}

}  // namespace
}  // namespace tavelo::testing
