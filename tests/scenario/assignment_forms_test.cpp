// Every assignment form on variables and array elements, in its keeping and
// its statement form, plus the array comparisons and the click-handler and
// message instructions.

#include <gtest/gtest.h>

#include "tests/support/host_input.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

struct Form {
  const char* operation;  // the mnemonic without "_pop" and without "elem_"
  const char* type;       // int, float or string
  const char* expected;   // the variable's value afterwards, as printed
};

// Initial value 12 / 1.5 / "ab", operand 5 / 0.5 / "cd".
constexpr Form kForms[] = {
    {"set_int", "int", "5 "},           {"mul_set_int", "int", "60 "},       {"div_set_int", "int", "2 "},
    {"mod_set_int", "int", "2 "},       {"add_set_int", "int", "17 "},       {"sub_set_int", "int", "7 "},
    {"shl_set", "int", "384 "},         {"shr_set", "int", "0 "},            {"and_set", "int", "4 "},
    {"xor_set", "int", "9 "},           {"or_set", "int", "13 "},            {"set_float", "float", "0.500000 "},
    {"mul_set_float", "float", "0.750000 "}, {"div_set_float", "float", "3.000000 "},
    {"add_set_float", "float", "2.000000 "}, {"sub_set_float", "float", "1.000000 "},
    {"set_string", "string", "cd "},    {"add_set_string", "string", "abcd "},
};

std::string push(const std::string& type, bool initial) {
  if (type == "int") return initial ? "    push_int 12\n" : "    push_int 5\n";
  if (type == "float") return initial ? "    push_float 1.5\n" : "    push_float 0.5\n";
  return initial ? "    push_string \"ab\"\n" : "    push_string \"cd\"\n";
}

// One program that applies every form four times: to a variable and to an
// element, keeping the value (printed from the stack) and as a statement
// (printed by loading the target again).
std::string every_form_program(Lines& expected) {
  std::string body;
  for (const Form& form : kForms) {
    std::string type = form.type;
    std::string array_type = type + "_array";
    std::string create = type == "int" ? "0x96B07AEE" : type == "float" ? "0xA6AC6CCC" : "0x1F57B724";
    for (bool pop : {false, true}) {
      std::string suffix = pop ? "_pop" : "";
      // Variable.
      body += push(type, true);
      body += "    set_" + type + "_pop global " + type + " \"@v@GLOBAL\"\n";
      body += push(type, false);
      body += "    " + std::string(form.operation) + suffix + " global " + type + " \"@v@GLOBAL\"\n";
      if (pop) body += "    load global " + type + " \"@v@GLOBAL\"\n";
      body += "    PRINT\n";
      expected.push_back(form.expected);
      // Element 1 of a two-element array.
      body += "    push_int 2\n    syscall " + create + " 1\n";
      body += "    set_" + array_type + "_pop global " + array_type + " \"@a@GLOBAL\"\n";
      body += push(type, true);
      body += "    push_int 1\n    elem_set_" + type + "_pop global " + type + " subscripts:1 \"@a@GLOBAL\"\n";
      body += push(type, false);
      body += "    push_int 1\n    elem_" + std::string(form.operation) + suffix + " global " + type +
              " subscripts:1 \"@a@GLOBAL\"\n";
      if (pop) body += "    push_int 1\n    load_elem global " + type + " subscripts:1 \"@a@GLOBAL\"\n";
      body += "    PRINT\n";
      expected.push_back(form.expected);
    }
  }
  return body;
}

TEST(AssignmentForms, every_form_on_variables_and_elements_keeps_or_drops_the_value) {
  Lines expected;
  std::string body = every_form_program(expected);
  ScriptRun run = run_script(body);
  EXPECT_EQ(run.lines, expected);
}

TEST(AssignmentForms, arrays_are_assigned_by_sharing_and_compared_by_block) {
  ScriptRun run = run_script(R"(
    push_int 1
    syscall 0xA6AC6CCC 1
    set_float_array global float_array "@f@GLOBAL"
    load global float_array "@f@GLOBAL"
    eq_float_array
    push_int 1
    syscall 0x1F57B724 1
    set_string_array global string_array "@s@GLOBAL"
    push_int 1
    syscall 0x1F57B724 1
    ne_string_array
    push_int 1
    syscall 0x96B07AEE 1
    set_int_array global int_array "@i@GLOBAL"
    load global int_array "@i@GLOBAL"
    ne_int_array
    load global float_array "@f@GLOBAL"
    push_int 1
    syscall 0xA6AC6CCC 1
    ne_float_array
    load global string_array "@s@GLOBAL"
    load global string_array "@s@GLOBAL"
    eq_string_array
    PRINT 5
  )");
  EXPECT_EQ(run.lines, (Lines{"1 1 0 1 1 "}));
}

TEST(AssignmentForms, click_handlers_of_every_button_and_message_instructions) {
  RunHooks hooks;
  hooks.before = [](TestEngine& test) {
    uint32_t start = test.platform.ticks_ms();
    schedule_click(test, start + 30, platform::MouseButton::Middle);
    schedule_click(test, start + 60, platform::MouseButton::Left);
  };
  ScriptRun run = run_script(R"(
    text "message text "
    control "w"
    message
    on_middle_click middle
    push_int -1
    syscall_discard 0xCF35F0E3 1
middle:
    push_string "middle"
    PRINT
    on_click any
    clear_clicks                      ; cleared: the next click does not jump here
    on_click any
    push_int -1
    syscall_discard 0xCF35F0E3 1
any:
    push_string "any"
    PRINT
  )",
                             "", {}, hooks);
  EXPECT_EQ(run.lines, (Lines{"middle ", "any "}));
}

}  // namespace
}  // namespace tavelo::testing
