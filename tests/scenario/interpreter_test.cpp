// The interpreter through real scripts: arithmetic, comparisons, variables
// of every scope, arrays, selections and jumps.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

TEST(Interpreter, integer_and_float_arithmetic_follow_the_engine_rules) {
  ScriptRun run = run_script(R"(
    push_int 7
    push_int 0
    div_int          ; division by zero gives the dividend times 10000
    push_float 7.0
    push_float 0.0
    div_float        ; a zero divisor becomes 0.00001
    push_int 7
    push_int 0
    mod_int
    PRINT 3
    push_int -7
    push_int 2
    div_int
    push_int -7
    push_int 2
    mod_int
    push_int 2147483647
    push_int 1
    add_int          ; wraps
    push_int -2147483648
    push_int -1
    div_int          ; wraps instead of trapping
    PRINT 4
    push_int -8
    push_int 33
    shr              ; only the low five bits of the count
    push_int 1
    push_int 33
    shl
    push_int 6
    push_int 3
    xor
    push_int 6
    push_int 3
    bit_and
    push_int 6
    push_int 3
    bit_or
    PRINT 5
    push_int 2
    push_int 0
    and
    push_int 2
    push_int 0
    or
    push_int 6
    push_int 7
    mul_int
    push_int 6
    push_int 7
    sub_int
    PRINT 4
    push_float 1.5
    push_int 2
    add_float        ; the int operand is promoted
    push_float 1.5
    push_float 4.0
    mul_float
    push_float 1.5
    push_float 4.0
    sub_float
    push_string "ab"
    push_string "cd"
    concat
    PRINT 4
  )");
  EXPECT_EQ(run.lines, (Lines{"0 700000.000000 70000 ", "-2147483648 -2147483648 -1 -3 ",
                              "7 2 5 2 -4 ", "-1 42 1 0 ", "abcd -2.500000 6.000000 3.500000 "}));
}

TEST(Interpreter, comparisons_yield_the_engine_values_and_strings_ignore_case) {
  ScriptRun run = run_script(R"(
    push_float 1.0
    push_float 2.0
    lt_float         ; -1 when true
    push_int 2
    push_int 1
    ge_int           ; -1 when true
    push_int 1
    push_int 2
    lt_int
    push_float 1.0
    push_float 0.5
    gt_float
    PRINT 4
    push_string "ABC"
    push_string "abc"
    eq_string
    push_string "abc"
    push_string "ABD"
    lt_string
    push_string "b"
    push_string "A"
    le_string
    push_string "x"
    push_string "X"
    ne_string
    PRINT 4
    push_int 3
    push_int 3
    le_int
    push_float 2.0
    push_float 2.0
    ge_float
    push_int 4
    push_int 4
    ne_int
    push_float 0.5
    push_float 0.5
    eq_float
    push_string "b"
    push_string "a"
    ge_string
    push_string "b"
    push_string "a"
    gt_string
    PRINT 6
    push_float 1.0
    push_float 2.0
    le_float
    push_float 1.0
    push_float 2.0
    ne_float
    push_int 2
    push_int 1
    gt_int
    push_int 2
    push_int 2
    eq_int
    PRINT 4
  )");
  EXPECT_EQ(run.lines, (Lines{"1 1 -1 -1 ", "0 0 1 1 ", "1 1 1 0 -1 1 ", "1 1 1 1 "}));
}

TEST(Interpreter, unary_operations_and_conversions) {
  ScriptRun run = run_script(R"(
    push_int 0
    not
    push_int 0
    bit_not
    push_int 5
    neg_int
    push_float 1.5
    neg_float
    PRINT 4
    push_float 2.9
    to_int
    push_float -2.9
    to_int
    push_int 3
    to_float
    push_int 8
    nop_191
    nop_1a8
    nop_1a9
    PRINT 4
  )");
  EXPECT_EQ(run.lines, (Lines{"-1.500000 -5 -1 1 ", "8 3.000000 -2 2 "}));
}

TEST(Interpreter, variables_of_every_scope_with_increments_and_compound_assignments) {
  ScriptRun run = run_script(R"(
    push_int 5
    set_int_pop global int "@a@GLOBAL"
    load global int post_inc "@a@GLOBAL"
    load global int pre_dec "@a@GLOBAL"
    load global int neg "@a@GLOBAL"
    PRINT 3
    push_int 3
    mul_set_int global int "@a@GLOBAL"
    push_int 0
    div_set_int_pop global int "@a@GLOBAL"
    load global int "@a@GLOBAL"
    PRINT 2
    push_string "x"
    set_string_pop thread string "%s@GLOBAL"
    push_string "y"
    add_set_string thread string "%s@GLOBAL"
    push_float 1.5
    set_float_pop eternal float "#f@GLOBAL"
    push_int 2
    add_set_float eternal float "#f@GLOBAL"
    PRINT 2
    load eternal int "#never@GLOBAL"
    load thread string "%never@GLOBAL"
    load global float "@never@GLOBAL"
    PRINT 3
    push_int 1065353216
    set_int_pop global int "@bits@GLOBAL"
    load global float "@bits@GLOBAL"   ; a float read of an int reads its bits
    PRINT 1
    locals int string
    push_int 9
    set_int_pop local int slot:0
    push_int 4
    sub_set_int local int slot:0
    push_int 1
    shl_set_pop local int slot:0
    push_int 12
    or_set local int slot:0
    push_int 6
    and_set local int slot:0
    push_int 3
    xor_set local int slot:0
    push_int 3
    mod_set_int local int slot:0
    push_int 1
    shr_set local int slot:0
    PRINT 6
    push_float 3.0
    set_float_pop global float "@g@GLOBAL"
    push_float 2.0
    mul_set_float global float "@g@GLOBAL"
    push_float 0.0
    div_set_float global float "@g@GLOBAL"
    PRINT 2
  )");
  EXPECT_EQ(run.lines, (Lines{"-5 5 5 ", "150000 15 ", "3.500000 xy ", "0.000000  0 ", "1.000000 ",
                              "1 2 5 6 14 5 ", "600000.000000 6.000000 "}));
}

TEST(Interpreter, a_load_of_the_wrong_type_is_reported_and_yields_the_default) {
  ScriptRun run = run_script(R"(
    push_string "text"
    set_string_pop global string "@s@GLOBAL"
    line 7
    load global int "@s@GLOBAL"
    PRINT 1
  )");
  // The message has two lines of its own.
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_NE(run.lines[0].find("START.TVO(7) : 発見した変数のタイプが違うエラー"), std::string::npos) << run.lines[0];
  EXPECT_EQ(run.lines[2], "0 ");
}

TEST(Interpreter, arrays_index_with_wrap_around_and_share_blocks) {
  ScriptRun run = run_script(R"(
    push_int 3
    push_int 2
    syscall 0x96B07AEE 2           ; a 2x3 int array: size2 2, size1 3
    set_int_array_pop global int_array "@arr@GLOBAL"
    push_int 77
    push_int 1
    push_int 4                     ; topmost subscript wraps: 3*1 + 4 mod 3
    elem_set_int_pop global int subscripts:2 "@arr@GLOBAL"
    push_int 1
    push_int 1
    load_elem global int subscripts:2 "@arr@GLOBAL"
    PRINT 1
    push_int 5
    syscall 0x96B07AEE 1
    set_int_array_pop global int_array "@five@GLOBAL"
    push_int 9
    push_int -1
    elem_set_int_pop global int subscripts:1 "@five@GLOBAL"
    push_int 4
    load_elem global int subscripts:1 "@five@GLOBAL"
    load global int_array "@five@GLOBAL"
    set_int_array_pop global int_array "@alias@GLOBAL"
    push_int 8
    push_int 0
    elem_add_set_int global int subscripts:1 "@alias@GLOBAL"
    push_int 0
    load_elem global int post_inc subscripts:1 "@five@GLOBAL"
    push_int 0
    load_elem global int subscripts:1 "@alias@GLOBAL"
    load global int_array "@five@GLOBAL"
    load global int_array "@alias@GLOBAL"
    eq_int_array
    PRINT 5
    load global int_array "@five@GLOBAL"
    syscall 0x7FCF3C82 1           ; a copy is independent
    set_int_array_pop global int_array "@copy@GLOBAL"
    push_int 100
    push_int 0
    elem_set_int_pop global int subscripts:1 "@copy@GLOBAL"
    push_int 0
    load_elem global int subscripts:1 "@five@GLOBAL"
    load global int_array "@five@GLOBAL"
    load global int_array "@copy@GLOBAL"
    ne_int_array
    PRINT 2
  )");
  EXPECT_EQ(run.lines, (Lines{"77 ", "1 9 8 8 9 ", "1 9 "}));
}

TEST(Interpreter, array_elements_of_every_type_and_operation) {
  ScriptRun run = run_script(R"(
    push_int 2
    syscall 0xA6AC6CCC 1
    set_float_array_pop global float_array "@f@GLOBAL"
    push_float 2.0
    push_int 0
    elem_set_float global float subscripts:1 "@f@GLOBAL"
    push_int 0
    push_int 0
    elem_div_set_float global float subscripts:1 "@f@GLOBAL"   ; x 10000.0 on elements
    push_int 3
    push_int 1
    elem_add_set_float_pop global float subscripts:1 "@f@GLOBAL"
    push_float 2.0
    push_int 1
    elem_mul_set_float global float subscripts:1 "@f@GLOBAL"
    push_float 1.0
    push_int 1
    elem_sub_set_float_pop global float subscripts:1 "@f@GLOBAL"
    push_int 1
    load_elem global float neg subscripts:1 "@f@GLOBAL"
    PRINT 4
    push_int 2
    syscall 0x1F57B724 1
    set_string_array_pop global string_array "@s@GLOBAL"
    push_string "ab"
    push_int 1
    elem_set_string_pop global string subscripts:1 "@s@GLOBAL"
    push_string "cd"
    push_int 1
    elem_add_set_string global string subscripts:1 "@s@GLOBAL"
    push_int 0
    load_elem global string subscripts:1 "@s@GLOBAL"
    push_int 1
    load_elem global string subscripts:1 "@s@GLOBAL"
    PRINT 3
    syscall 0x3A49E325 0
    set_int_array_pop global int_array "@one@GLOBAL"
    push_int 7
    push_int 5
    elem_set_int global int subscripts:1 "@one@GLOBAL"
    push_int 3
    push_int 0
    elem_mul_set_int global int subscripts:1 "@one@GLOBAL"
    push_int 0
    push_int 0
    elem_div_set_int global int subscripts:1 "@one@GLOBAL"
    push_int 7
    push_int 0
    elem_mod_set_int global int subscripts:1 "@one@GLOBAL"
    push_int 1
    push_int 0
    elem_sub_set_int global int subscripts:1 "@one@GLOBAL"
    PRINT 5
    push_int 12
    push_int 0
    elem_set_int_pop global int subscripts:1 "@one@GLOBAL"
    push_int 2
    push_int 0
    elem_shl_set global int subscripts:1 "@one@GLOBAL"
    push_int 1
    push_int 0
    elem_shr_set global int subscripts:1 "@one@GLOBAL"
    push_int 10
    push_int 0
    elem_and_set global int subscripts:1 "@one@GLOBAL"
    push_int 3
    push_int 0
    elem_xor_set global int subscripts:1 "@one@GLOBAL"
    push_int 4
    push_int 0
    elem_or_set global int subscripts:1 "@one@GLOBAL"
    PRINT 5
    push_int 0
    load_elem global int subscripts:1 "@never@GLOBAL"   ; reported, then a one-element array
    PRINT 1
  )");
  ASSERT_EQ(run.lines.size(), 6u);
  EXPECT_EQ(run.lines[0], "-5.000000 6.000000 20000.000000 2.000000 ");
  EXPECT_EQ(run.lines[1], "abcd  abcd ");
  EXPECT_EQ(run.lines[2], "-1 0 210000 21 7 ");
  EXPECT_EQ(run.lines[3], "15 11 8 24 48 ");
  EXPECT_NE(run.lines[4].find("Array : イニシャライズされていない配列を参照しました"), std::string::npos);
  EXPECT_EQ(run.lines[5], "0 ");
}

TEST(Interpreter, selections_jump_tables_and_conditional_jumps) {
  ScriptRun run = run_script(R"(
    push_int 2
    select cases
cases:
    push_int 1
    case_eq not_one
    pop
    push_string "one"
    PRINT
    jump selected
not_one:
    pop
    push_int 2
    case_eq selected
    pop
    push_string "two"
    PRINT
selected:
    push_string "abc"
    select string_cases
string_cases:
    push_string "zzz"
    case_gt past            ; relational cases never jump for strings
    pop
    push_string "fell"
    PRINT
past:
    push_float 1.5
    select float_cases
float_cases:
    push_float 1.0
    case_lt no_lt
    push_string "lt"
    PRINT
no_lt:
    pop
    push_float 1.5
    case_le no_le
    push_string "le"
    PRINT
no_le:
    pop
    push_float 2.0
    case_ge no_ge
    push_string "ge"
    PRINT
no_ge:
    pop
    push_int 7
    jump_table t0 t1 t2
t0:
    push_string "t0"
    PRINT
t1:
    push_string "t1"
    PRINT
t2:
    push_int -1
    jump_table u0 u1
u0:
    push_string "u0"
    PRINT
u1:
    push_string ""
    jump_if_true bad
    push_float 0.0
    jump_if_true bad
    push_int 1
    syscall 0x96B07AEE 1
    jump_if_false bad
    push_string "x"
    jump_if_false bad
    push_string "jumps ok"
    PRINT
    jump done
bad:
    push_string "bad"
    PRINT
done:
  )");
  EXPECT_EQ(run.lines, (Lines{"two ", "fell ", "lt ", "le ", "ge ", "jumps ok "}));
}

// Loads followed by a constant and an operation, a conditional jump, an
// assignment statement or a pop run as one step; they must give exactly what
// the single instructions give, and fall back to them when the variable is
// not an int that can be reached directly.
TEST(Interpreter, instruction_sequences_match_their_single_instructions) {
  ScriptRun run = run_script(R"(
    locals int int string
    push_int 7
    set_int_pop local int slot:0
    push_int 7
    set_int_pop global int "@g@GLOBAL"
    load local int slot:0
    push_int 7
    ge_int               ; -1 for true
    load local int slot:0
    push_int 8
    le_int
    load local int slot:0
    push_int 7
    gt_int
    load global int "@g@GLOBAL"
    push_int 7
    eq_int
    load global int "@g@GLOBAL"
    push_int 7
    ne_int
    load local int slot:0
    push_int 8
    lt_int
    PRINT 6
    load local int slot:0
    push_int -2147483648
    sub_int              ; wraps
    load local int slot:0
    push_int 6
    mul_int
    load global int "@g@GLOBAL"
    push_int 3
    add_int
    PRINT 3
    ; a counted loop: sum of 0..99 and a down-counter
    push_int 0
    set_int_pop local int slot:0
    push_int 0
    set_int_pop local int slot:1
loop:
    load local int slot:0
    push_int 100
    ge_int
    jump_if_true loop_done
    load local int slot:0
    add_set_int_pop local int slot:1
    load local int post_inc slot:0
    pop
    load global int pre_dec "@g@GLOBAL"
    pop
    jump loop
loop_done:
    load local int slot:1
    load local int slot:0
    load global int "@g@GLOBAL"
    PRINT 3
    ; statements into other scopes; the first store creates the variable
    load local int slot:1
    set_int_pop global int "@fresh@GLOBAL"
    load local int slot:0
    sub_set_int_pop global int "@fresh@GLOBAL"
    load local int slot:0
    add_set_int_pop eternal int "#e@GLOBAL"
    load global int "@fresh@GLOBAL"
    load eternal int "#e@GLOBAL"
    PRINT 2
    ; not ints: the single instructions decide
    push_float 2.5
    set_float_pop global float "@g@GLOBAL"
    load global int "@g@GLOBAL"
    push_int 1
    add_int
    PRINT 1
    load local int slot:2
    push_int 0
    eq_int
    jump_if_false not_taken
    push_string "default compared"
    PRINT
not_taken:
    load local int slot:1
    add_set_int_pop local int slot:2
    load local int slot:2
    PRINT 1
  )");
  ASSERT_EQ(run.lines.size(), 11u) << ::testing::PrintToString(run.lines);
  // PRINT n prints the top of the stack first.
  EXPECT_EQ(run.lines[0], "1 0 1 0 1 -1 ");
  EXPECT_EQ(run.lines[1], "10 42 -2147483641 ");
  EXPECT_EQ(run.lines[2], "-93 100 4950 ");
  EXPECT_EQ(run.lines[3], "100 4850 ");
  // A float read as int and a string slot read as int are type mismatches
  // (two message lines each) and yield 0.
  EXPECT_NE(run.lines[4].find("発見した変数のタイプが違うエラー"), std::string::npos) << run.lines[4];
  EXPECT_EQ(run.lines[6], "1 ");
  EXPECT_NE(run.lines[7].find("発見した変数のタイプが違うエラー"), std::string::npos) << run.lines[7];
  EXPECT_EQ(run.lines[9], "default compared ");
  // An int statement on a string variable starts from 0 and makes it an int.
  EXPECT_EQ(run.lines[10], "4950 ");
}

// Loop tests (load; push_int; comparison; conditional jump) run as one step
// with the comparison and the jump sense folded together: every comparison,
// both senses, below, at and above the constant, for a local and a global.
TEST(Interpreter, loop_tests_jump_exactly_as_their_instructions) {
  const char* comparisons[] = {"lt_int", "le_int", "eq_int", "ne_int", "ge_int", "gt_int"};
  const char* branches[] = {"jump_if_true", "jump_if_false"};
  std::string body = "    locals int\n";
  Lines falls_through;  // the cases that must not jump, in order
  int label = 0;
  for (std::string comparison : comparisons) {
    for (std::string branch : branches) {
      for (int value : {4, 5, 6}) {
        for (bool local : {true, false}) {
          std::string variable = local ? "local int slot:0" : "global int \"@v@GLOBAL\"";
          std::string name = "l" + std::to_string(label++);
          body += "    push_int " + std::to_string(value) + "\n    set_int_pop " + variable + "\n";
          body += "    load " + variable + "\n    push_int 5\n    " + comparison + "\n    " + branch + " " + name + "\n";
          body += "    push_string \"" + name + "\"\n    PRINT\n" + name + ":\n";
          bool truth = comparison == "lt_int"   ? value < 5
                       : comparison == "le_int" ? value <= 5
                       : comparison == "eq_int" ? value == 5
                       : comparison == "ne_int" ? value != 5
                       : comparison == "ge_int" ? value >= 5
                                                : value > 5;
          bool jumps = branch == "jump_if_true" ? truth : !truth;
          if (!jumps) falls_through.push_back(name + " ");
        }
      }
    }
  }
  ScriptRun run = run_script(body);
  EXPECT_EQ(run.lines, falls_through);
}

// Element loads and stores after int loads (v = a[i]; a[i] = v) run as one
// step on one-dimensional int arrays and fall back to the single
// instructions for anything else.
TEST(Interpreter, element_sequences_match_their_single_instructions) {
  ScriptRun run = run_script(R"(
    locals int int
    push_int 4
    syscall 0x96B07AEE 1
    set_int_array_pop global int_array "@a@GLOBAL"
    push_int 3
    set_int_pop local int slot:0
    push_int -1
    set_int_pop global int "@i@GLOBAL"
    load local int slot:0
    load global int "@i@GLOBAL"
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"      ; a[-1] is a[3]
    push_int 21
    set_int_pop local int slot:1
    load local int slot:1
    load local int slot:0
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"      ; a[3] = 21
    load local int slot:1
    load local int slot:1
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"      ; a[21 mod 4] = a[1] = 21
    load local int slot:0
    load_elem global int subscripts:1 "@a@GLOBAL"
    load global int "@i@GLOBAL"
    load_elem global int subscripts:1 "@a@GLOBAL"
    push_int 1
    load_elem global int subscripts:1 "@a@GLOBAL"
    push_int 0
    load_elem global int subscripts:1 "@a@GLOBAL"
    PRINT 4
    push_int 2
    syscall 0x96B07AEE 1
    set_int_array_pop global int_array "@b@GLOBAL"
    load global int "@b@GLOBAL"       ; not an int: the plain load reports
    PRINT 1
    load local int slot:0
    load_elem global int subscripts:1 "@missing@GLOBAL"       ; reported, created, 0
    PRINT 1
    load local int slot:1
    load local int slot:0
    elem_set_int_pop global int subscripts:1 "@missing2@GLOBAL"
    push_int 0
    load_elem global int subscripts:1 "@missing2@GLOBAL"
    PRINT 1
  )");
  ASSERT_GE(run.lines.size(), 4u) << ::testing::PrintToString(run.lines);
  EXPECT_EQ(run.lines[0], "0 21 21 21 ");
  // The int load of an array variable is a type mismatch (two message lines, then 0).
  EXPECT_NE(run.lines[1].find("発見した変数のタイプが違うエラー"), std::string::npos) << run.lines[1];
  EXPECT_EQ(run.lines[3], "0 ");
  // Missing arrays are reported and created as one-element arrays.
  EXPECT_NE(run.lines[4].find("Array : イニシャライズされていない配列を参照しました"), std::string::npos) << run.lines[4];
  EXPECT_EQ(run.lines[5], "0 ");
  EXPECT_NE(run.lines[6].find("Array : イニシャライズされていない配列を参照しました"), std::string::npos) << run.lines[6];
  EXPECT_EQ(run.lines.back(), "21 ");
}

// The script with a jump to the next instruction after every instruction:
// no two instructions stand side by side, so no sequence forms and every
// instruction runs alone.
std::string one_at_a_time(const std::string& body, const std::string& prefix) {
  std::string out;
  size_t start = 0;
  int barrier = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(start, end - start);
    out += line + "\n";
    size_t first = line.find_first_not_of(' ');
    bool instruction = first != std::string::npos && first > 0 && line[first] != ';' && line.back() != ':';
    if (instruction) {
      std::string label = prefix + std::to_string(barrier++);
      out += "    jump " + label + "\n" + label + ":\n";
    }
    start = end + 1;
  }
  return out;
}

// An int a sequence computes goes on to the instructions after it without the
// stack: an operation with the value below, an element load or store by it as
// subscript, a conditional jump, a statement, a return. Each case, and each case whose
// checks fail, must print exactly what the instructions print one at a time.
TEST(Interpreter, int_results_feed_the_next_instructions_exactly_as_single_instructions) {
  const std::string body = R"(
    locals int int string
    push_int 6
    set_int_pop local int slot:0
    push_int 3
    set_int_pop local int slot:1
    push_int 4
    syscall 0x96B07AEE 1
    set_int_array_pop global int_array "@a@GLOBAL"
    push_int 3
    push_int 4
    syscall 0x96B07AEE 2
    set_int_array_pop global int_array "@m@GLOBAL"
    ; operations with the value below: add, subtract, multiply and the others
    push_int 100
    load local int slot:0
    push_int 3
    mul_int
    add_int
    push_int 50
    load local int slot:0
    load local int slot:1
    div_int
    sub_int
    push_int 7
    load local int slot:0
    push_int 6
    sub_int
    div_int
    push_int 9
    load local int slot:1
    shl
    push_int 2
    mul_int
    load local int slot:0
    push_int 1
    add_int
    load local int slot:1
    mod_int
    load local int slot:0
    load local int slot:1
    ge_int
    PRINT 6
    ; a string below counts as 0; nothing below but the stack's bottom
    push_string "ab"
    load local int slot:0
    push_int 1
    add_int
    add_int
    PRINT 1
    load local int slot:0
    push_int 2
    mul_int
    set_int_pop global int "@g@GLOBAL"
    load global int "@g@GLOBAL"
    PRINT 1
    ; element stores and loads by a computed subscript, wrapping around
    push_int 30
    load local int slot:1
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    push_int 11
    load local int slot:1
    push_int 2
    sub_int
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    push_int 99
    load local int slot:0
    push_int 1
    add_int
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    push_int 5
    load local int slot:0
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    load local int slot:1
    push_int 2
    sub_int
    load_elem global int subscripts:1 "@a@GLOBAL"
    load local int slot:0
    push_int 3
    sub_int
    load_elem global int subscripts:1 "@a@GLOBAL"
    load local int slot:0
    load_elem global int subscripts:1 "@a@GLOBAL"
    push_int 2
    load local int slot:1
    push_int 1
    sub_int
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    load local int slot:0
    push_int 4
    sub_int
    load_elem global int subscripts:1 "@a@GLOBAL"
    PRINT 4
    ; two subscripts: the row below, the column computed
    push_int 77
    push_int 2
    set_int_pop local int slot:1
    push_int 1
    load local int slot:1
    push_int 1
    add_int
    elem_set_int_pop global int subscripts:2 "@m@GLOBAL"
    push_int 1
    load local int slot:1
    push_int 1
    add_int
    load_elem global int subscripts:2 "@m@GLOBAL"
    push_int 4
    load local int slot:1
    push_int 1
    add_int
    load_elem global int subscripts:2 "@m@GLOBAL"
    PRINT 2
    ; checks that fail: a string to store, a missing array, a float array,
    ; a load with an increment
    push_string "text"
    load local int slot:1
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    push_int 2
    load_elem global int subscripts:1 "@a@GLOBAL"
    PRINT 1
    load local int slot:1
    push_int 1
    add_int
    load_elem global int subscripts:1 "@missing@GLOBAL"
    PRINT 1
    push_int 3
    syscall 0x96B07AEE 1
    set_int_array_pop global int_array "@f@GLOBAL"
    load local int slot:1
    push_int 1
    sub_int
    load_elem global float subscripts:1 "@f@GLOBAL"
    PRINT 1
    ; conditional jumps on a computed int
    load local int slot:0
    push_int 6
    sub_int
    jump_if_false zero
    push_string "not zero"
    PRINT
zero:
    load local int slot:0
    push_int 6
    sub_int
    jump_if_true nonzero
    push_string "zero"
    PRINT
nonzero:
    load local int slot:0
    load local int slot:1
    and
    jump_if_true both
    push_string "not both"
    PRINT
both:
    push_int 1
    load local int slot:0
    add_int
    add_set_int_pop local int slot:0
    load local int slot:0
    load local int slot:1
    PRINT 2
    ; returns: kept and discarded, with a string among the callee's records
    push_int 40
    call "$next@GLOBAL" 1
    push_int 40
    call_discard "$next@GLOBAL" 1
    push_int 8
    call "$held@GLOBAL" 1
    push_int 8
    call_discard "$held@GLOBAL" 1
    PRINT 2
    ; a returned int goes on to the caller's next instructions: a statement,
    ; an operation with the value below, a constant operation, a test, an
    ; element subscript, another return; constants and plain results returned
    push_int 5
    call "$next@GLOBAL" 1
    set_int_pop local int slot:1
    push_int 100
    push_int 5
    call "$next@GLOBAL" 1
    sub_int
    call "$seven@GLOBAL" 0
    push_int 2
    mul_int
    call "$seven@GLOBAL" 0
    jump_if_false never
    push_int 1
    call "$seven@GLOBAL" 0
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    push_int 3
    load_elem global int subscripts:1 "@a@GLOBAL"
    push_int 2
    call "$twice@GLOBAL" 1
    call_discard "$seven@GLOBAL" 0
    call "$negative@GLOBAL" 0
    add_set_int_pop local int slot:1
    load local int slot:1
    call "$text@GLOBAL" 0
never:
    PRINT 6
    ; a system call's kept int into a statement, an operation with the value
    ; below and a test
    push_int -5
    syscall 0x959B0A16 1
    set_int_pop local int slot:1
    push_int 100
    push_int -7
    syscall 0x959B0A16 1
    sub_int
    load local int slot:1
    push_int 0
    syscall 0x959B0A16 1
    jump_if_true kept_zero
    push_int 1
    add_int
kept_zero:
    PRINT 2
    ; calls whose arguments do not fit the parameters: too few, a wrong type
    call "$next@GLOBAL" 0
    push_string "x"
    call "$next@GLOBAL" 1
    PRINT 2
    ; v = w + K and v = w - K into a local, from a local and a global; a
    ; string in the target falls back to the single instructions
    load local int slot:0
    push_int 4
    add_int
    set_int_pop local int slot:1
    load global int "@g@GLOBAL"
    push_int 5
    sub_int
    set_int_pop local int slot:0
    load local int slot:1
    push_int 1
    sub_int
    set_int_pop local int slot:2
    load local int slot:0
    load local int slot:1
    load local int slot:2
    PRINT 3
  )";
  const std::string functions = R"(
.function "$next@GLOBAL" next
.function "$held@GLOBAL" held
.function "$seven@GLOBAL" seven
.function "$twice@GLOBAL" twice
.function "$negative@GLOBAL" negative
.function "$text@GLOBAL" text
next:
    params int
    load local int slot:-2
    push_int 1
    add_int
    return
held:
    params int
    locals string
    push_string "held"
    set_string_pop local string slot:0
    load local int slot:-2
    load local int slot:-2
    mul_int
    return
seven:
    push_int 7
    return
twice:
    params int
    load local int slot:-2
    call "$next@GLOBAL" 1
    return
negative:
    push_int 3
    neg_int
    return
text:
    push_string "text"
    return
)";
  ScriptRun fused = run_script(body, functions);
  ScriptRun alone = run_script(one_at_a_time(body, "main"), one_at_a_time(functions, "functions"));
  ASSERT_GE(fused.lines.size(), 8u) << ::testing::PrintToString(fused.lines);
  EXPECT_EQ(fused.lines, alone.lines);
  EXPECT_EQ(fused.lines[0], "-1 1 144 70000 48 118 ");
  EXPECT_EQ(fused.lines[1], "7 ");
  EXPECT_EQ(fused.lines[2], "12 ");
  EXPECT_EQ(fused.lines[3], "2 5 99 11 ");
  auto printed = [&](const std::string& line) {
    return std::find(fused.lines.begin(), fused.lines.end(), line) != fused.lines.end();
  };
  EXPECT_TRUE(printed("2 13 "));
  EXPECT_TRUE(printed("64 41 "));
  EXPECT_TRUE(printed("text 3 3 1 14 94 "));
  EXPECT_TRUE(printed("1 1 "));
  EXPECT_TRUE(printed("6 93 "));
  EXPECT_EQ(fused.lines.back(), "16 17 7 ");
}

// String tests against a literal or another variable, and joins with a
// literal (pushed, or stored: in place when the target alone holds a block
// of the result's size), give exactly what the instructions give one at a
// time, including a shared target block, a target joined onto itself, a
// global created by the store and a target that holds an int.
TEST(Interpreter, string_sequences_match_their_single_instructions) {
  const std::string body = R"(
    locals string string string int string
    push_string "abc"
    set_string_pop local string slot:0
    push_string "ABD"
    set_string_pop local string slot:1
    push_string "abc"
    set_string_pop global string "@g@GLOBAL"
    load local string slot:0
    push_string "ABC"
    eq_string
    jump_if_false t2
    push_int 1
    add_set_int_pop local int slot:3
t2:
    load local string slot:0
    push_string "abd"
    ne_string
    jump_if_false t3
    push_int 2
    add_set_int_pop local int slot:3
t3:
    load local string slot:0
    push_string "abd"
    lt_string
    jump_if_false t4
    push_int 4
    add_set_int_pop local int slot:3
t4:
    load local string slot:0
    push_string "ab"
    ge_string
    jump_if_false t5
    push_int 8
    add_set_int_pop local int slot:3
t5:
    load local string slot:0
    push_string "ABD"
    gt_string
    jump_if_false t6
    push_int 16
    add_set_int_pop local int slot:3
t6:
    load global string "@g@GLOBAL"
    push_string "ABC"
    eq_string
    jump_if_true t7
    push_int 32
    add_set_int_pop local int slot:3
t7:
    load local string slot:0
    load local string slot:1
    le_string
    jump_if_false t8
    push_int 64
    add_set_int_pop local int slot:3
t8:
    load local string slot:1
    load global string "@g@GLOBAL"
    ne_string
    jump_if_false t9
    push_int 128
    add_set_int_pop local int slot:3
t9:
    load local int slot:3
    PRINT 1
    load local string slot:0
    push_string "d"
    concat
    PRINT 1
    push_int 0
    set_int_pop local int slot:3
again:
    load local string slot:0
    push_string "d"
    concat
    set_string_pop local string slot:2
    load local string slot:2
    push_string "x"
    concat
    set_string_pop local string slot:4
    load local int post_inc slot:3
    push_int 3
    lt_int
    jump_if_true again
    load local string slot:2
    set_string_pop local string slot:1
    load local string slot:0
    push_string "e"
    concat
    set_string_pop local string slot:2
    load local string slot:2
    push_string ""
    concat
    set_string_pop local string slot:2
    load local string slot:2
    push_string "!"
    concat
    set_string_pop global string "@fresh@GLOBAL"
    load local string slot:0
    push_string "?"
    concat
    set_string_pop global string "@fresh@GLOBAL"
    load local string slot:0
    push_string "1"
    concat
    set_string_pop local string slot:3
    load local string slot:3
    load global string "@fresh@GLOBAL"
    load local string slot:4
    load local string slot:2
    load local string slot:1
    PRINT 5
  )";
  ScriptRun fused = run_script(body);
  ScriptRun alone = run_script(one_at_a_time(body, "main"));
  EXPECT_EQ(fused.lines, alone.lines);
  EXPECT_EQ(fused.lines, (Lines{"207 ", "abcd ", "abcd abce abcdx abc? abc1 "}));
}

// Only a broken file puts a string where a number belongs; the numeric
// instructions then count it as 0 instead of reading or overwriting the
// block address (which used to crash when the value was popped).
TEST(Interpreter, numeric_instructions_on_strings_count_them_as_zero) {
  ScriptRun run = run_script(R"(
    push_string "abc"
    push_int 5
    add_int
    push_int 5
    push_string "abc"
    sub_int
    push_string "abc"
    neg_int
    push_string "abc"
    neg_float
    push_float 1.5
    push_string "abc"
    add_float
    push_string "abc"
    push_int 0
    eq_int
    PRINT 6
    push_string "abc"
    push_int 1
    shl
    pop
    push_string "abc"
    set_int_pop global int "@n@GLOBAL"
    push_int 3
    add_set_int global int "@n@GLOBAL"
    PRINT 1
  )");
  // neg_float flips the sign bit of whatever it finds: an int 0 becomes INT_MIN.
  EXPECT_EQ(run.lines, (Lines{"1 1.500000 -2147483648 0 5 5 ", "3 "}));
}

// Loads of a local push a value read from the stack itself; when the push
// has to grow the stack, the value must be read first (the sanitizer build
// caught reads of the freed stack here). A string where a subscript belongs
// counts as 0 and is released.
TEST(Interpreter, pushes_that_grow_the_stack_and_odd_subscripts_keep_values_intact) {
  ScriptRun run = run_script(R"(
    locals int
loop:
    load local int pre_inc slot:0
    load local int slot:0
    load local int slot:0
    push_int 600
    lt_int
    jump_if_true loop
    PRINT 3
    push_int 4
    syscall 0x96B07AEE 1
    set_int_array_pop global int_array "@a@GLOBAL"
    push_int 7
    push_string "not a number"
    elem_set_int_pop global int subscripts:1 "@a@GLOBAL"
    push_string "nor this"
    load_elem global int subscripts:1 "@a@GLOBAL"
    PRINT 1
  )");
  EXPECT_EQ(run.lines, (Lines{"600 600 599 ", "7 "}));
}

// Strings stop growing at 16 MiB (16777216 bytes): the operation that would
// go beyond is reported and its result cut on a character boundary.
TEST(Interpreter, strings_stop_growing_at_the_limit_on_a_character_boundary) {
  ScriptRun run = run_script(R"(
    locals string string int
    push_string "あx"                       ; 3 bytes: a double-byte character, then x
    set_string_pop local string slot:0
double:
    load local string slot:0
    load local string slot:0
    concat
    set_string_pop local string slot:0
    load local int pre_inc slot:2
    push_int 22
    lt_int
    jump_if_true double                     ; 3 * 2^22 bytes
    line 2
    load local string slot:0
    load local string slot:0
    concat                                  ; cut before the あ that would be split: 16777215 bytes
    set_string_pop local string slot:0
    load local string slot:0
    set_string_pop local string slot:1
    push_string "x"
    add_set_string_pop local string slot:0  ; fits exactly, without a report
    load local string slot:0
    load local string slot:1
    ne_string
    load local string slot:0
    set_string_pop local string slot:1
    line 3
    push_string "あ"
    add_set_string_pop local string slot:0  ; does not fit: reported, nothing added
    load local string slot:0
    load local string slot:1
    eq_string
    PRINT 2
  )");
  ASSERT_EQ(run.lines.size(), 3u) << ::testing::PrintToString(run.lines);
  EXPECT_NE(run.lines[0].find("START.TVO(2) : concat : 文字列が16777216バイトを超えたので切り詰めました"),
            std::string::npos)
      << run.lines[0];
  EXPECT_NE(run.lines[1].find("START.TVO(3) : add_set_string_pop : 文字列が16777216バイトを超えたので"),
            std::string::npos)
      << run.lines[1];
  EXPECT_EQ(run.lines[2], "1 1 ");
}

TEST(Interpreter, break_jumps_to_the_innermost_break_target_ahead) {
  ScriptRun run = run_script(R"(
    set_break after
    push_int 1
    call_discard "$inner@GLOBAL" 0
    push_string "not reached"
    PRINT
after:
    push_string "after break"
    PRINT
  )",
                             R"(
.function "$inner@GLOBAL" inner
inner:
    push_string "inner"
    PRINT
    break
    push_string "also not reached"
    PRINT
    return
)");
  EXPECT_EQ(run.lines, (Lines{"inner ", "also not reached ", "after break "}));
}

TEST(Interpreter, an_undefined_opcode_is_reported_and_skipped) {
  ScriptRun run = run_script(R"(
    .bytes 0xFF 0x07
    push_string "went on"
    PRINT
  )");
  ASSERT_EQ(run.lines.size(), 2u);
  EXPECT_NE(run.lines[0].find("コード[07FF]は定義されていません"), std::string::npos) << run.lines[0];
  EXPECT_EQ(run.lines[1], "went on ");
}

}  // namespace
}  // namespace tavelo::testing
