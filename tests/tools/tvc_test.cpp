// The script language through the engine: each construct compiled by tvc,
// run headless, and checked in the debug log. Constants are folded by the
// compiler and the same expressions computed by the engine print the same.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/host_input.h"
#include "tests/tools/tvc_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;
using tools::tvc::LineMode;

TEST(TvcLanguage, operators_follow_the_engine_whether_folded_or_run) {
  // Each line prints a constant expression (folded by the compiler) beside
  // the same expression on variables (computed by the engine).
  TvsRun run = run_source(R"(
global calls: int;
function bump(): int { calls++; return 1; }
function init() {}
function main() {
    var seven = 7; var zero = 0; var two = 2; var minus = -7; var big = 2147483647;
    var f = 7.0; var fz = 0.0; var one = 1; var abc = "ABC";
    debug_print(7 / 0, seven / zero, 7 % 0, seven % zero);
    debug_print(-7 / 2, minus / two, -7 % 2, minus % two);
    debug_print(1 << 33, one << (two + 31), -8 >> 1, minus >> one, 2147483647 + 1, big + one);
    debug_print(2 >= 1, two >= one, 1 < 2, one < two, 1.0 < 2.0, f < 8.0, 2.0 >= 1, f >= 1);
    debug_print(7.0 / 0.0, f / fz, 5 / 2, 5 / 2.0);
    debug_print("ABC" == "abc", abc == "abc", "a" + 5, 5 + "a", abc + seven, string(12) + "!");
    debug_print(int(2.9), int(-2.9), int(f / 2.0), float(3) / 2, int("42abc"), ~5, !0, !seven);
    debug_print(0 && bump(), zero && bump(), 1 || bump(), one || bump());
    debug_print(calls);
    debug_print(one > 0 ? "yes" : "no", zero ? 1.5 : 2, abc ? 1 : 0, "" ? 1 : 0);
    system_end();
}
)");
  EXPECT_EQ(run.lines, (Lines{
                           "70000 70000 0 0 ",
                           "-3 -3 -1 -1 ",
                           "2 2 -4 -4 -2147483648 -2147483648 ",
                           "-1 -1 1 1 -1 -1 -1 -1 ",
                           "700000.000000 700000.000000 2 2.500000 ",
                           "1 1 a5 5a ABC7 12! ",
                           "2 -2 3 1.500000 42 -6 1 0 ",
                           "0 0 1 1 ",
                           "0 ",
                           "yes 2.000000 1 0 ",
                       }));
}

TEST(TvcLanguage, variables_live_in_the_store_their_declaration_names) {
  // A call's arguments run from the last to the first, so each side effect
  // here has a statement of its own.
  TvsRun run = run_source(R"(
global score: int;
eternal clears: int;
thread tick: float;
global names: string[];
const GREETING = "hi";
function init() {}
function count(): int {
    tick += 0.5;
    return int(tick * 10.0);
}
function main() {
    var a = new int[3][4];
    var i = 0;
    for (i = 0; i < 12; i++) a[i / 4][i % 4] = i * i;
    a[1][-1] += 100;
    var before = ++a[0][1];
    var after = a[0][1]--;
    debug_print(a[2][3], a[1][3], a[0][5], before, after, a[0][1]);
    var b = a;
    b[0][0] = 42;
    var c = copy(a);
    c[0][0] = 7;
    debug_print(a[0][0], c[0][0], a == b, a == c);
    names = new string[2];
    names[0] = GREETING;
    names[1] += "there";
    var mixed = [1, 2.5, 3];
    var words = ["a", GREETING];
    debug_print(mixed[2], words[-1]);
    var s = names[0] + " " + names[1];
    s += "!";
    score = 10; score *= 3; score -= 5; score /= 2; score <<= 2; score |= 1; score ^= 3; score %= 100;
    clears = score;
    count();
    count();
    var third = count();
    debug_print(s, score, get_variable("@score"), get_variable("#clears"), third);
    var x = 1;
    var sum = x++ + x;
    debug_print(sum, x, --x, x);
    system_end();
}
)");
  EXPECT_EQ(run.lines, (Lines{
                           "121 149 1 2 2 1 ",
                           "42 7 1 0 ",
                           "3.000000 hi ",
                           "hi there! 50 50 50 15 ",
                           "3 1 1 2 ",
                       }));
}

TEST(TvcLanguage, control_flow_statements) {
  TvsRun run = run_source(R"(
function kind(n: int): string {
    switch (n) {                      // dense: a jump table
    case 1: return "one";
    case 2: case 3: return "two or three";
    case 4: return "four";
    default: return "other";
    }
}
function word(w: string): int {
    var n = 0;
    switch (w) {                      // strings: one test per case
    case "Apple": n += 1;             // falls through
    case "pear": n += 10; break;
    case "plum": n = 100; break;
    }
    return n;
}
function init() {}
function main() {
    var found = "";
    for (var i = 0; i < 10; i++) {
        if (i == 2) continue;
        if (i > 5) break;
        found += string(i);
    }
    var j = 0;
    do { j += 3; } while (j < 10);
    var k = 0;
    while (true) {
        k++;
        if (k >= 4) break;
    }
    if (k == 4) found += "!"; else found += "?";
    debug_print(found, j, k, kind(0), kind(1), kind(3), kind(4), kind(99), kind(-5));
    debug_print(word("apple"), word("PEAR"), word("plum"), word("fig"));
    system_end();
}
)");
  EXPECT_EQ(run.lines, (Lines{"01345! 12 4 other one two or three four other other ", "11 10 100 0 "}));
}

TEST(TvcLanguage, functions_across_files_with_imports) {
  TvsRun run = run_sources({
      {"start.tvs", R"(
import "lib";
function local_square(x: float): float { return x * x; }
function init() {}
function main() {
    debug_print(local_square(3), twice("ab"), sum3(1, 2, 3), LIMIT, shared);
    bump_shared();
    bump_shared();
    script_call("other");
    debug_print(shared);
    system_end();
}
)"},
      {"lib.tvs", R"(
const LIMIT = 5 * 2;
global shared: int;
function twice(s: string): string { return s + s; }
function sum3(a: int, b: int, c: int): int { return a * 100 + b * 10 + c; }
function bump_shared() { shared += LIMIT; }
)"},
      {"other.tvs", R"(
function main() { debug_print("other's main"); }
)"},
  });
  EXPECT_EQ(run.lines, (Lines{"9.000000 abab 123 10 0 ", "other's main ", "20 "}));
}

TEST(TvcLanguage, threads_and_events) {
  TvsRun run = run_source(R"(
event chime(text: string, n: int);
thread count: int;
function ticker(times: int) {
    listen(chime, on_chime);
    while (count < times) { count++; wait(100); }
    debug_print("ticker done", count);
}
function on_chime(text: string, n: int) { debug_print("heard", text, n, count); }
function init() {}
function main() {
    var id = spawn ticker(3);
    wait(150);
    raise(chime, "ding", 7);
    raise_to(chime, id, "dong", 8);
    raise_to(chime, -1, "nobody here", 9);
    wait(500);
    debug_print(thread_exists(id), count);
    system_end();
}
)");
  // Each delivery is a call put above what the thread was doing: the later
  // one runs first.
  EXPECT_EQ(run.lines, (Lines{"heard dong 8 2 ", "heard ding 7 2 ", "ticker done 3 ", "0 0 "}));
}

TEST(TvcLanguage, story_blocks_make_pages_of_lines) {
  TvsRun run = run_source(R"(
global score: int;
function on_cleared() { debug_print("cleared"); }
function on_speaker(name: string) { debug_print("speaker", name); }
function on_line(page: int, x: int, y: int, w: int, h: int, nowait: int) { debug_print("line", y); }
function on_break() { debug_print("break"); }
function on_wait() { debug_print("wait", console_caption()); }
function chime() { debug_print("chime"); }
function init() {}
function main() {
    listen(page_cleared, on_cleared);
    listen(speaker, on_speaker);
    listen(line_drawn, on_line);
    listen(line_break, on_break);
    listen(page_wait, on_wait);
    console_set(get_frontbuffer(), 0, 0, 640, 480);
    score = 12;
    """
    一行目、${score}点。
    太郎「こんにちは」${chime()}

    次の\
    ページ
    """
    system_end();
}
)");
  EXPECT_EQ(run.lines, (Lines{"cleared ", "line 0 ", "break ", "speaker 太郎 ", "line 25 ", "chime ",
                              "wait 一行目、12点。 ", "cleared ", "line 0 ", "wait 次のページ "}))
      << run.game.log;
}

TEST(TvcLanguage, story_lines_keep_their_text_and_escapes) {
  // Blanks and tabs around a line go; a full-width space stays; an escaped
  // dollar and an escaped backslash are written as they are; a string
  // inside ${...} may hold braces; a trailing backslash joins the next line.
  TvsRun run = run_source("function on_wait() { debug_print(console_caption()); }\n"
                          "function init() {}\n"
                          "function main() {\n"
                          "    listen(page_wait, on_wait);\n"
                          "    console_set(get_frontbuffer(), 0, 0, 640, 480);\n"
                          "    \"\"\"\n"
                          "    \t \u3000全角\\${x} ${\"{}\"}${1 + 2}\\\\ \n"
                          "    \"\"\"\n"
                          "    \"\"\"\n"
                          "    joined \\\n"
                          "       here\n"
                          "    \"\"\"\n"
                          "    system_end();\n"
                          "}\n");
  EXPECT_EQ(run.lines, (Lines{"\u3000全角${x} {}3\\ ", "joined here "}));
}

TEST(TvcLanguage, until_click_and_finally) {
  RunHooks hooks;
  hooks.before = [](TestEngine& test) {
    uint32_t start = test.platform.ticks_ms();
    schedule_click(test, start + 1000, platform::MouseButton::Right);
    schedule_click(test, start + 2000, platform::MouseButton::Left);
  };
  TvsRun run = run_source(R"(
function waiting(name: string): string {
    finally { debug_print("leaving", name); }
    var result = "timeout";
    until click {
        wait(5000);
    } on left {
        result = "left";
    } on right {
        result = "right";
    }
    return result;
}
function worker() {
    finally { debug_print("worker ended"); }
    wait(-1);
}
function init() {}
function main() {
    var id = spawn worker();
    debug_print(waiting("first"));
    debug_print(waiting("second"));
    thread_end(id);
    wait(10);
    until click { wait(100); }
    debug_print("no click");
    system_end();
}
)",
                          hooks);
  EXPECT_EQ(run.lines, (Lines{"leaving first ", "right ", "leaving second ", "left ", "worker ended ",
                              "no click "}));
}

TEST(TvcLanguage, error_reports_name_source_lines) {
  const std::string source = R"(function init() {}
function main() {
    var n = 0;
    n++;
    """
    テキスト
    """
    n = random(0);
    system_end();
}
)";
  TvsRun all = run_source(source);
  ASSERT_EQ(all.lines.size(), 1u);
  EXPECT_EQ(all.lines[0].rfind("START.TVO(8) : ", 0), 0u) << all.lines[0];
  // Only story text carries line numbers: the report names line 6.
  TvsRun text = run_source(source, {}, LineMode::Text);
  ASSERT_EQ(text.lines.size(), 1u);
  EXPECT_EQ(text.lines[0].rfind("START.TVO(6) : ", 0), 0u) << text.lines[0];

  // Read-mark bits: one per line of a script with story text, none for one
  // without.
  Compiled compiled = compile_sources({{"start.tvs", source}, {"lib.tvs", "function f() { f(); }\n"}});
  ASSERT_TRUE(compiled.ok) << compiled.report;
  auto line_count = [](const std::vector<uint8_t>& file) {
    return uint32_t(file[20] | file[21] << 8 | file[22] << 16 | uint32_t(file[23]) << 24);
  };
  EXPECT_EQ(line_count(compiled.scripts["start"]), 10u);
  EXPECT_EQ(line_count(compiled.scripts["lib"]), 0u);
}

// Every ```tvs block of the language guide and the author's guide compiles
// (blocks may import the prelude).
TEST(TvcLanguage, every_sample_in_the_guides_compiles) {
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  std::unique_ptr<tools::tvc::SyscallLookup> syscalls = tools::tvc::engine_syscall_lookup();
  size_t samples = 0;
  for (const char* guide : {"docs/language.md", "docs/authoring.md"}) {
    std::vector<uint8_t> bytes = read_bytes(std::string(TAVELO_SOURCE_DIR) + "/" + guide);
    std::string text(bytes.begin(), bytes.end());
    size_t at = 0;
    while ((at = text.find("```tvs\n", at)) != std::string::npos) {
      at += 7;
      size_t end = text.find("```", at);
      ASSERT_NE(end, std::string::npos);
      tools::tvc::CompileOptions options;
      options.encoding = encoding.get();
      options.syscalls = syscalls.get();
      options.import_directories = {std::string(TAVELO_SOURCE_DIR) + "/games/template/scenario"};
      tools::tvc::Compilation compilation(options);
      size_t line = size_t(std::count(text.begin(), text.begin() + long(at), '\n')) + 1;
      EXPECT_TRUE(compilation.compile_text("sample.tvs", text.substr(at, end - at)))
          << guide << " line " << line << ":\n" << compilation.report();
      ++samples;
      at = end + 3;
    }
  }
  EXPECT_GE(samples, 12u);
}

}  // namespace
}  // namespace tavelo::testing
