// tvc's errors and warnings: each class with its message and position, several
// reported in one run, and the tvc program's output (file:line:col, the line,
// a caret) and exit status.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/tools/tvc_harness.h"

namespace tavelo::testing {
namespace {

// The first error ("src/start.tvs:L:C: error: ...") of a compilation's report.
std::string first_message(const std::string& source) {
  Compiled compiled = compile_sources({{"start.tvs", source}});
  std::string report = compiled.report;
  size_t at = 0;
  while (at < report.size()) {
    size_t end = report.find('\n', at);
    std::string line = report.substr(at, end - at);
    if (line.find(": error: ") != std::string::npos) return line;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return "";
}

struct ErrorCase {
  const char* source;
  const char* expected;  // the first line of the report, after "src/start.tvs:"
};

TEST(TvcErrors, each_class_has_its_message_and_position) {
  const ErrorCase cases[] = {
      // Lexical.
      {"function f() { var s = \"open; }", "1:24: error: unterminated string literal"},
      {"function f() { var c = 'ab'; }", "1:24: error: a character literal holds one ASCII character, such as '1' or '\\n'"},
      {"function f() { var s = \"\\q\"; }", "1:25: error: unknown escape in a string literal"},
      {"function f() { var n = 0x1_0000_0000; }", "1:24: error: integer 0x1_0000_0000 does not fit in 32 bits"},
      {"function f() { var n = 12ab; }", "1:24: error: malformed number '12ab'"},
      {"function f() { # }", "1:16: error: unexpected character '#'"},
      {"/* never closed", "1:1: error: unterminated comment"},
      {"function f() {\n  \"\"\"\n  text\n", "2:3: error: unterminated story block (no closing \"\"\")"},
      // Syntax.
      {"function f() { var x = 1 }", "1:26: error: expected ';' after the declaration, found '}'"},
      {"var x = 1;", "1:1: error: a 'var' belongs inside a function; a variable outside functions is 'global', 'thread' or 'eternal', found 'var'"},
      {"global score: int = 5;", "1:19: error: a global variable starts as 0, 0.0 or \"\"; give it a value in a function, found '='"},
      {"function f(a) {}", "1:13: error: expected ':' and a type after the parameter name (n: int), found ')'"},
      {"function f() { 1 + ; }", "1:20: error: expected a value, found ';'"},
      {"function f() { until { } }", "1:22: error: expected 'click' after 'until', found '{'"},
      {"function f() { f() = 1; }", "1:20: error: only a variable or an array element can be assigned to, found '='"},
      {"function f() { var x = (((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
       "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
       "1; }",
       "1:123: error: too deeply nested"},
      {"function f() { \"\"\"\n  a ${1 + \n\"\"\" }", "2:5: error: '${' without its closing '}'"},
      // Names and declarations.
      {"function f() { scroe += 1; }", "1:16: error: 'scroe' is not declared"},
      {"function f() {}\nfunction f() {}", "2:1: error: 'f' is already declared (src/start.tvs:1)"},
      {"function f() { var a = 1; var a = 2; }", "1:31: error: 'a' is already declared in this block"},
      {"const N = 1; function f() { N = 2; }", "1:29: error: 'N' is a constant"},
      {"global g: int; function f() { g(); }", "1:31: error: 'g' is not a function"},
      {"function f() { nothing_like_this(); }", "1:16: error: there is no function or system call named 'nothing_like_this'"},
      {"import \"missing\";", "1:1: error: cannot find the file to import: missing.tvs"},
      {"function f(): int { var x = 0; return x; } const C = f();", "1:54: error: a constant needs a value known when compiling"},
      {"const A = B; const B = A;", "1:7: error: the constant 'A' depends on itself"},
      // Types.
      {"function f() { var n: int = 1.5; }", "1:29: error: 'n' is an int; this is a float (int(x) converts it)"},
      {"function f() { var s: string = 3; }", "1:32: error: 's' is string; this is int"},
      {"function f() { var x = \"a\" - 1; }", "1:28: error: '-' does not apply to string and int"},
      {"function f() { var x = 1.5 % 2; }", "1:28: error: '%' does not apply to float and int"},
      {"function f() { var a = new int[2]; if (a) {} }", "1:40: error: a condition is an int, a float or a string, not int[]"},
      {"function g() {} function f() { var x = g(); }", "1:40: error: this has no value to give 'x'"},
      {"function f() { var x = 1; x[0] = 2; }", "1:27: error: 'x' is int, not an array"},
      {"function f() { var s = \"x\"; s++; }", "1:29: error: '++' applies to ints and floats, not string"},
      {"function f() { var x = true ? 1 : \"a\"; }", "1:29: error: the two values of '? :' are int and string"},
      {"function f() { switch (1.5) { } }", "1:24: error: a switch takes an int or a string, not float"},
      {"function f(n: int) { switch (n) { case n: break; } }", "1:40: error: a case needs a value known when compiling"},
      {"function f(n: int) { switch (n) { case 1: case 1: break; } }", "1:48: error: this case is already handled"},
      // Calls.
      {"function g(a: int, b: int) {} function f() { g(1); }", "1:46: error: 'g' takes 2 argument(s), not 1"},
      {"function g(a: string) {} function f() { g(1); }", "1:43: error: argument 1 of 'g' is string; this is int"},
      {"function f() { wait(); }", "1:16: error: 'wait' takes 1 argument(s), not 0"},
      {"function f() { mouse_area_add(1, 2); }", "1:16: error: 'mouse_area_add' takes 8 to 9 argument(s), not 2"},
      {"function f() { sprite_move(\"a\", 1, 2); }", "1:28: error: argument 1 of 'sprite_move' is int; this is string"},
      {"function f() { set_variable(\"@x\", \"text\"); }",
       "1:35: error: argument 2 of 'set_variable' is int|float; this is string"},
      {"function f() { var x = wait(1); }", "1:24: error: this has no value to give 'x'"},
      {"event e(n: int); function h(s: string) {} function f() { listen(e, h); }",
       "1:68: error: a handler of 'e' takes (int)"},
      {"function f() { listen(f, f); }", "1:23: error: 'listen' takes an event first (declared with 'event')"},
      {"function f() { spawn wait(1); }", "1:22: error: 'spawn' starts a script function; 'wait' is not one"},
      {"function f() { pause(5); }", "1:16: error: 'pause' belongs in story text: ${pause(...)}"},
      {"function f() { var v = \"a\"; \"\"\"\n${voice(v)}x\n\"\"\" }",
       "2:9: error: 'voice' in story text takes a string known when compiling"},
      // Statements.
      {"function f() { break; }", "1:16: error: 'break' outside a loop or switch"},
      {"function f() { while (true) { switch (1) { default: continue; } } continue; }",
       "1:67: error: 'continue' outside a loop"},
      {"function f() { return 1; }", "1:23: error: the function 'f' has no result; declare one (function f(...): int)"},
      {"function f(): int { return; }", "1:21: error: this function returns int: give a value"},
      {"function f() { finally { return; } }", "1:26: error: a 'finally' block cannot return: it runs while its function returns"},
      {"function f() { until click { until click {} } }",
       "1:30: error: 'until click' cannot be nested in one function (a function called inside may use it)"},
      {"function main(n: int) {}", "1:1: error: 'main' takes no parameters"},
      // Text.
      {"function f() { var s = \"\xC3\xA9\"; }", "1:24: error: text that the code page CP932 cannot hold"},
  };
  for (const ErrorCase& error : cases) {
    EXPECT_EQ(first_message(error.source), std::string("src/start.tvs:") + error.expected) << error.source;
  }
}

TEST(TvcErrors, one_run_reports_every_error_and_the_warnings) {
  Compiled compiled = compile_sources({{"start.tvs", R"(function f(): int {
    var unused = 1;
    var x = undeclared + 1;
    return 1;
    x = 2;
}
function g() {
    1 + 2;
    missing();
}
)"}});
  EXPECT_FALSE(compiled.ok);
  EXPECT_EQ(compiled.report,
            "src/start.tvs:2:9: warning: the variable 'unused' is never used\n"
            "      var unused = 1;\n"
            "          ^\n"
            "src/start.tvs:3:9: warning: the variable 'x' is never used\n"
            "      var x = undeclared + 1;\n"
            "          ^\n"
            "src/start.tvs:3:13: error: 'undeclared' is not declared\n"
            "      var x = undeclared + 1;\n"
            "              ^\n"
            "src/start.tvs:5:5: warning: unreachable code\n"
            "      x = 2;\n"
            "      ^\n"
            "src/start.tvs:8:5: warning: this value is not used\n"
            "      1 + 2;\n"
            "      ^\n"
            "src/start.tvs:9:5: error: there is no function or system call named 'missing'\n"
            "      missing();\n"
            "      ^\n");
}

TEST(TvcErrors, lines_past_65535_carry_no_line_numbers_and_say_so) {
  std::string source = "function init() {}\nfunction main() {\n" + std::string(65536, '\n') + "    wait(1);\n}\n";
  Compiled compiled = compile_sources({{"start.tvs", source}});
  ASSERT_TRUE(compiled.ok) << compiled.report;
  EXPECT_EQ(compiled.report.substr(0, compiled.report.find('\n')),
            "src/start.tvs:65539:5: warning: lines after line 65535 carry no line numbers (errors and read marks "
            "cannot name them)");
  // No line instruction (opcode 0x83A) in the code of main.
  const std::vector<uint8_t>& file = compiled.scripts["start"];
  bool line_found = false;
  for (size_t i = 0; i + 1 < file.size(); ++i) line_found |= file[i] == 0x3A && file[i + 1] == 0x08;
  EXPECT_FALSE(line_found);
}

TEST(TvcErrors, the_program_writes_files_checks_and_reports) {
  TempDirectory directory;
  std::string tvc = "'" + tool_path("tvc") + "'";
  directory.write("good.tvs", "function main() { wait(1); }\n");
  directory.write("warned.tvs", "function main() {\n\tvar 名前 = 1;\n}\n");
  directory.write("bad.tvs", "function main() {\n\tdebug_print(\"日本\" + nope);\n}\n");

  ProcessResult good = run_command(tvc + " '" + directory.at("good.tvs") + "' 2>&1");
  EXPECT_EQ(good.exit_status, 0) << good.output;
  EXPECT_FALSE(read_bytes(directory.at("good.tvo")).empty());

  ProcessResult check = run_command(tvc + " --check -d '" + directory.at("out") + "' '" + directory.at("good.tvs") + "' 2>&1");
  EXPECT_EQ(check.exit_status, 0);
  EXPECT_TRUE(read_bytes(directory.at("out/good.tvo")).empty());

  // A column counts characters; the caret keeps a tab as a tab.
  ProcessResult bad = run_command("cd '" + directory.path() + "' && " + tvc + " -d out bad.tvs good.tvs 2>&1");
  EXPECT_EQ(bad.exit_status, 1);
  EXPECT_EQ(bad.output, "bad.tvs:2:21: error: 'nope' is not declared\n"
                        "  \tdebug_print(\"日本\" + nope);\n"
                        "  \t                   ^\n");
  EXPECT_TRUE(read_bytes(directory.at("out/bad.tvo")).empty());
  EXPECT_FALSE(read_bytes(directory.at("out/good.tvo")).empty());

  // Imports from -I; one output named by -o; text in the code page asked for.
  directory.write("lib/util.tvs", "const WORD = \"中\";\n");
  directory.write("uses.tvs", "import \"util\";\nfunction main() { debug_print(WORD); }\n");
  for (const char* code_page : {"CP932", "GBK"}) {
    std::string out = directory.at(std::string("uses-") + code_page + ".tvo");
    ProcessResult uses = run_command(tvc + " --codepage " + code_page + " -I '" + directory.at("lib") + "' -o '" + out +
                                     "' '" + directory.at("uses.tvs") + "' 2>&1");
    EXPECT_EQ(uses.exit_status, 0) << uses.output;
    std::vector<uint8_t> bytes = read_bytes(out);
    std::vector<uint8_t> wanted = std::string(code_page) == "GBK" ? std::vector<uint8_t>{0xD6, 0xD0, 0}
                                                                   : std::vector<uint8_t>{0x92, 0x86, 0};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end()), bytes.end()) << code_page;
  }

  ProcessResult usage = run_command(tvc + " --lines some '" + directory.at("good.tvs") + "' 2>&1");
  EXPECT_EQ(usage.exit_status, 2);
  ProcessResult unknown_name = run_command(tvc + " '" + directory.at("warned.tvs") + "' 2>&1");
  EXPECT_EQ(unknown_name.exit_status, 1);
  EXPECT_NE(unknown_name.output.find("warned.tvs:2:6: error: unexpected character '名'"), std::string::npos)
      << unknown_name.output;
}

}  // namespace
}  // namespace tavelo::testing
