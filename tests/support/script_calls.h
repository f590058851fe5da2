#pragma once
// Script text for scenario tests that drive system calls: a call with its
// arguments in call order, its result kept in a global variable or printed to
// the debug log, steps with the log lines they should leave, and games whose
// data directory holds pictures made by ImageMagick.

#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/script_harness.h"

namespace tavelo::testing {

using Lines = std::vector<std::string>;

// One argument pushed: a number, "@name" for a global int variable, "f:1.5"
// for a float or "'text'" for a string.
std::string push(const std::string& argument);
// A system call with its arguments in call order (argument 1 first; it is
// pushed last); the result stays on the stack.
std::string call(const std::string& name, std::initializer_list<std::string> arguments);
// The call, its result kept in the global int variable @variable.
std::string keep(const std::string& variable, const std::string& name, std::initializer_list<std::string> arguments);
// The call, its result printed.
std::string print(const std::string& name, std::initializer_list<std::string> arguments);

// A 24-bit (or 8-bit) page in @variable, filled with one colour.
std::string filled(const std::string& variable, int width, int height, int colour, bool indexed = false);

// Colour values as grp_point_get prints them.
std::string rgb(int red, int green, int blue);
std::string grey(int level);

bool contains(const std::string& line, const std::string& part);

// A script body and the debug-log lines it should print.
struct Steps {
  std::string body;
  Lines expected;

  void run(const std::string& script) { body += script; }
  void expect(const std::string& script, const std::string& line) {
    body += script + "    PRINT 1\n";
    expected.push_back(line);
  }
  void expect_pixel(const std::string& page, int x, int y, const std::string& line) {
    expect(call("grp_point_get", {page, std::to_string(x), std::to_string(y)}), line);
  }
};

// The first lines of the run are the expected ones.
void check(const ScriptRun& run, const Lines& expected);

// A picture for the data directory, made by ImageMagick's convert (and
// tvimg for .rct and .rc8 names).
struct Picture {
  std::string name;       // file name in data/
  std::string arguments;  // convert arguments before the output
  std::string format;     // output format prefix (PNG24, PNG32)
};

// A game whose data directory holds the pictures.
ScriptRun run_with_pictures(const std::string& body, const std::vector<Picture>& pictures,
                            platform::AnswerPolicy policy = {}, const RunHooks& hooks = {},
                            const std::string& environment = "TITLEBAR TaveloTest\n");

}  // namespace tavelo::testing
