// Page and picture system calls driven by real scripts on the headless
// engine: every refusal with its debug-log line and result, the pixels that
// fills, blends, copies and geometry calls leave (read back with
// grp_point_get and from the pages after the run), and pictures written into
// the game's data directory.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "graphics/page_table.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "tests/support/script_calls.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

// The same with a script array as the last argument (pushed first).
std::string call_table(const std::string& array, const std::string& name,
                       std::initializer_list<std::string> arguments) {
  std::vector<std::string> in_order(arguments);
  std::string text = "    load global int_array \"@" + array + "@GLOBAL\"\n";
  for (auto it = in_order.rbegin(); it != in_order.rend(); ++it) text += push(*it);
  return text + "    syscall " + name + " " + std::to_string(in_order.size() + 1) + "\n";
}


// Global int array @name of 256 elements with element i = 255 - i.
std::string inverting_table(const std::string& name) {
  std::string array = "\"@" + name + "@GLOBAL\"";
  return "    push_int 256\n"
         "    syscall 0x96B07AEE 1\n"
         "    set_int_array_pop global int_array " + array + "\n"
         "    push_int 0\n"
         "    set_int_pop global int \"@i@GLOBAL\"\n"
         "fill_" + name + ":\n"
         "    push_int 255\n"
         "    load global int \"@i@GLOBAL\"\n"
         "    sub_int\n"
         "    load global int \"@i@GLOBAL\"\n"
         "    elem_set_int_pop global int subscripts:1 " + array + "\n"
         "    load global int \"@i@GLOBAL\"\n"
         "    push_int 1\n"
         "    add_int\n"
         "    set_int_pop global int \"@i@GLOBAL\"\n"
         "    load global int \"@i@GLOBAL\"\n"
         "    push_int 256\n"
         "    lt_int\n"
         "    jump_if_false filled_" + name + "\n"
         "    jump fill_" + name + "\n"
         "filled_" + name + ":\n";
}

struct Refusal {
  std::string script;   // the call, result left on the stack
  std::string message;  // part of the report line
  std::string result = "0 ";
};

TEST(GraphicsSyscalls, every_refusal_is_reported_and_answers_its_fallback) {
  const std::string bad = "424242";
  // Small pages of every kind the refusals need.
  std::string setup = keep("rgb", "page_create", {"4", "4"}) + keep("rgb2", "page_create", {"4", "4"}) +
                      keep("idx", "page_create", {"4", "4", "0"}) + keep("idx_small", "page_create", {"2", "2", "0"}) +
                      keep("idx_alpha", "page_create_withalfa", {"4", "4", "0"}) +
                      "    push_int 10\n    syscall 0x96B07AEE 1\n"
                      "    set_int_array_pop global int_array \"@short@GLOBAL\"\n" +
                      inverting_table("table");

  std::vector<Refusal> cases = {
      {call("page_drawmode", {bad, "1"}), "page_drawmode : ページが存在しません"},
      {call("page_drawmode", {"@idx", "1"}), "page_drawmode : ８ビットページは変更できません"},
      {call("page_release", {bad}), "page_release : ページが存在しません"},
      {call("page_set_antidata", {bad, "@idx"}), "set_antidata : 設定の親ページが存在しません"},
      {call("page_set_antidata", {"@rgb", bad}), "set_antidata : αページが存在しません"},
      {call("page_set_antidata", {"@rgb", "@rgb2"}), "page_set_antidata : αデータのページは８ビットで無いといけません"},
      {call("page_set_antidata", {"@rgb", "@idx_small"}), "page_set_antidata : ページの大きさをそろえる必要が有ります。"},
      {call("get_alfapage", {bad}), "get_alfapage : 指定ページが存在しません"},
      {call("page_len_x", {bad}), "page_len_x : ページが存在しません"},
      {call("page_len_y", {bad}), "page_len_y : ページが存在しません"},
      {call("grp_point_get", {bad, "0", "0"}), "grp_point_get : ページが存在しません"},
      {call("grp_point_set", {bad, "0", "0", "1"}), "grp_point_set : ページが存在しません"},
      {call("grp_boxfill", {bad, "0", "0", "1", "1", "1"}), "grp_boxfill : ページが存在しません"},
      {call("grp_extboxfill", {bad, "0", "0", "1", "1", "1", "9"}), "grp_extboxfill : ページが存在しません"},
      {call("grp_sepia", {bad, "0", "0", "1", "1", "0", "1"}), "grp_sepia : ページが存在しません"},
      {call("grp_mulboxfill", {bad, "0", "0", "1", "1", "1"}), "grp_mulboxfill : ページが存在しません"},
      {call("grp_mulboxfill", {"@idx", "0", "0", "1", "1", "1"}), "grp_mulboxfill : 256色には対応していません。"},
      {call("grp_reverse", {bad, "0", "0", "1", "1"}), "grp_reverse : ページが存在しません"},
      {call("grp_reverse", {"@idx", "0", "0", "1", "1"}), "grp_reverse : 256色には対応していません。"},
      {call("grp_copy", {"@rgb", "0", "0", "4", "4", "@idx", "0", "0"}), "grp_copy : 24Bit->8Bitのコピーです"},
      {call("grp_swap", {"@rgb", "0", "0", "4", "4", "@idx", "0", "0"}), "grp_swap : 24Bit->8Bitのコピーです"},
      {call("grp_swap", {"@idx", "0", "0", "4", "4", "@rgb", "0", "0"}), "grp_swap : 8Bit->24Bitのコピーです"},
      {call("grp_extcopy", {"@rgb", "0", "0", "4", "4", "@idx", "0", "0", "9"}),
       "grp_extcopy : 転送先に8ビットは指定できません"},
      {call("grp_extcopy", {"@idx_alpha", "0", "0", "4", "4", "@idx", "0", "0"}),
       "grp_extcopy : 転送先に8ビットは指定できません"},
      {call("grp_mulcopy", {"@rgb", "0", "0", "4", "4", "@idx", "0", "0"}),
       "grp_mulcopy : 転送元、転送先共にに8ビットしか指定できません"},
      {call("grp_revmulcopy", {"@idx", "0", "0", "4", "4", "@rgb", "0", "0"}),
       "grp_revmulcopy : 転送元、転送先共にに8ビットしか指定できません"},
      {call_table("table", "grp_alfa_tabled_copy", {"@rgb", "0", "0", "4", "4", "@rgb2", "0", "0", bad}),
       "grp_alfa_tabled_copy : αのベースページが存在しません"},
      {call_table("table", "grp_alfa_tabled_copy", {"@rgb", "0", "0", "4", "4", "@rgb2", "0", "0", "@rgb"}),
       "grp_alfa_tabled_copy : αのページが８ビットでは有りません"},
      {call_table("table", "grp_alfa_tabled_copy", {"@rgb", "0", "0", "4", "4", "@idx", "0", "0", "@idx"}),
       "grp_alfa_tabled_copy : 24Bit->8Bitのコピーです"},
      {call_table("short", "grp_alfa_tabled_copy", {"@rgb", "0", "0", "4", "4", "@rgb2", "0", "0", "@idx"}),
       "grp_alfa_tabled_copy : 配列の要素が不足しています。"},
      {call_table("table", "make_alfa_table", {"@rgb", "@idx"}),
       "make_alfa_table : 転送元αのページが８ビットでは有りません"},
      {call_table("table", "make_alfa_table", {"@idx", "@rgb"}),
       "make_alfa_table : 転送先αのページが８ビットでは有りません"},
      {call_table("short", "make_alfa_table", {"@idx", "@idx_small"}), "make_alfa_table : 配列の要素が不足しています。"},
      {call("make_mosaic", {"@idx", "0", "0", "4", "4", "@rgb", "0", "0", "2"}), "make_mosaic : 8Bitには対応していません"},
      {call("make_mosaic", {"@rgb", "0", "0", "4", "4", "@idx", "0", "0", "2"}), "make_mosaic : 8Bitには対応していません"},
      {call("pic_unpack", {bad, "'nothing'"}), "pic_unpack : ページが存在しません"},
      {call("pic_unpack", {"@rgb", "'nothing'"}), "pic_unpack : ファイル[nothing]が存在しません"},
  };
  // The two-page calls test the source first, then the destination. The
  // table argument's array sits below the pages when the call takes one.
  struct TwoPage {
    const char* name;
    std::vector<std::string> tail;  // arguments after dst, dx, dy
    bool table = false;
  } two_page[] = {
      {"grp_copy", {}},
      {"grp_swap", {}},
      {"grp_extcopy", {"0"}},
      {"grp_mulcopy", {}},
      {"grp_revmulcopy", {}},
      {"grp_alfa_tabled_copy", {"@idx"}, true},
      {"grp_modcopy", {"4", "4"}},
      {"grp_modify_copy", {"4", "4", "f:0.0", "f:1.0", "f:1.0"}},
      {"make_mosaic", {"2"}},
  };
  for (const TwoPage& c : two_page) {
    for (bool source_bad : {true, false}) {
      std::string src = source_bad ? bad : "@idx", dst = source_bad ? "@idx" : bad;
      std::vector<std::string> arguments = {src, "0", "0", "2", "2", dst, "0", "0"};
      arguments.insert(arguments.end(), c.tail.begin(), c.tail.end());
      std::string text = c.table ? "    load global int_array \"@table@GLOBAL\"\n" : "";
      for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) text += push(*it);
      text += "    syscall " + std::string(c.name) + " " + std::to_string(arguments.size() + (c.table ? 1 : 0)) + "\n";
      cases.push_back({text, std::string(c.name) + (source_bad ? " : 転送元ページが存在しません" : " : 転送先ページが存在しません")});
    }
  }
  // Both pages invalid: only the source is reported.
  cases.push_back({call("grp_copy", {bad, "0", "0", "1", "1", bad, "0", "0"}), "grp_copy : 転送元ページが存在しません"});
  cases.push_back({call_table("table", "make_alfa_table", {bad, "@idx"}), "make_alfa_table : 転送元ページが存在しません"});
  cases.push_back({call_table("table", "make_alfa_table", {"@idx", bad}), "make_alfa_table : 転送先ページが存在しません"});

  std::string body = setup;
  for (const Refusal& c : cases) body += c.script + "    PRINT 1\n";
  ScriptRun run = run_script(body);
  ASSERT_GE(run.lines.size(), cases.size() * 2) << ::testing::PrintToString(run.lines);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_TRUE(contains(run.lines[2 * i], cases[i].message)) << i << ": " << run.lines[2 * i];
    EXPECT_EQ(run.lines[2 * i + 1], cases[i].result) << i << ": " << cases[i].message;
  }
}

// The one live page of this size and depth, or null.
const graphics::Page* only_page(TestEngine& test, int32_t width, int32_t height, graphics::Depth depth) {
  const graphics::Page* found = nullptr;
  for (int32_t handle : test.engine.graphics.pages.handles()) {
    const graphics::Page* page = graphics::find_page(test.engine.graphics, handle);
    if (page->width != width || page->height != height || page->depth != depth) continue;
    if (found) return nullptr;
    found = page;
  }
  return found;
}

TEST(GraphicsSyscalls, fills_and_colour_effects_leave_the_worked_out_pixels) {
  std::string body = print("grp_rgb", {"1", "2", "3"}) + print("grp_rgb", {"511", "256", "0"}) +
                     keep("p", "page_create", {"8", "2"}) + print("grp_point_get", {"@p", "0", "0"}) +
                     print("grp_point_get", {"@p", "8", "0"}) + print("grp_point_get", {"@p", "0", "-1"}) +
                     call("grp_boxfill", {"@p", "-3", "-3", "20", "20", std::to_string(0x102030)}) +
                     print("grp_point_get", {"@p", "7", "1"});
  // One column per effect, row 0; row 1 keeps the first fill.
  struct Effect {
    std::string before;  // colour set first
    std::string script;
    std::string expected;
  } effects[] = {
      {"100", call("grp_extboxfill", {"@p", "1", "0", "1", "1", "200", "255"}), rgb(100, 0, 0)},
      {"100", call("grp_extboxfill", {"@p", "2", "0", "1", "1", "200", "0"}), rgb(200, 0, 0)},
      {"100", call("grp_extboxfill", {"@p", "3", "0", "1", "1", "200", "100"}), rgb(161, 0, 0)},
      {std::to_string(200 + 100 * 256), call("grp_mulboxfill", {"@p", "4", "0", "1", "1", std::to_string(127 + 255 * 256)}),
       rgb(100, 100, 0)},
      {std::to_string(200 + 100 * 256), call("grp_reverse", {"@p", "5", "0", "1", "1"}), rgb(55, 155, 255)},
      // w = 10 + 4 * 20 + 2 * 30 + 1 = 151; (151 * 255) >> 11 = 18.
      {std::to_string(30 + 20 * 256 + 10 * 65536),
       call("grp_sepia", {"@p", "6", "0", "1", "1", "0", std::to_string(0xFFFFFF)}), grey(18)},
      // Mixed back at level 128: (129 * old + 128 * 18) / 256.
      {std::to_string(30 + 20 * 256 + 10 * 65536),
       call("grp_sepia", {"@p", "7", "0", "1", "1", "0", std::to_string(0xFFFFFF), "128"}), rgb(24, 19, 14)},
  };
  Lines expected = {rgb(1, 2, 3), rgb(255, 0, 0), "0 ", "-1 ", "-1 ", rgb(0x30, 0x20, 0x10)};
  int column = 1;
  for (const Effect& effect : effects) {
    std::string x = std::to_string(column++);
    body += call("grp_point_set", {"@p", x, "0", effect.before}) + effect.script + "    PRINT 1\n" +
            print("grp_point_get", {"@p", x, "0"}) + print("grp_point_get", {"@p", x, "1"});
    expected.insert(expected.end(), {"0 ", effect.expected, rgb(0x30, 0x20, 0x10)});
  }
  // An 8-bit page: point_get answers the palette colour; sepia changes the
  // palette (w = 701, (701 * 255) >> 11 = 87) and leaves the index.
  body += keep("g", "page_create", {"2", "1", "0"}) + call("grp_point_set", {"@g", "0", "0", std::to_string(0x3364)}) +
          print("grp_point_get", {"@g", "0", "0"}) +
          call("grp_sepia", {"@g", "5", "5", "0", "0", "0", std::to_string(0xFFFFFF)}) +
          print("grp_point_get", {"@g", "0", "0"});
  expected.insert(expected.end(), {grey(100), grey(87)});

  RunHooks hooks;
  hooks.after = [](TestEngine& test) {
    const graphics::Page* page = only_page(test, 2, 1, graphics::Depth::Indexed8);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->row(0)[0], 100);
    EXPECT_EQ(page->palette[100].red, 87);
  };
  ScriptRun run = run_script(body, "", {}, hooks);
  EXPECT_EQ(run.lines, expected);
}

// A script body and the lines it must print, built step by step.
TEST(GraphicsSyscalls, copies_blend_swap_and_map_pixels) {
  Steps s;
  // Level copy: ((L + 1) * dst + (256 - L) * src) >> 8.
  s.run(filled("a", 4, 1, 200) + filled("b", 4, 1, 100));
  s.expect(call("grp_extcopy", {"@a", "0", "0", "1", "1", "@b", "0", "0", "100"}), "0 ");
  s.expect_pixel("@b", 0, 0, rgb(161, 0, 0));
  // A negative source x moves the destination right by the same amount.
  s.run(keep("c", "page_create", {"4", "1"}));
  for (int x = 0; x < 4; ++x) s.run(call("grp_point_set", {"@a", std::to_string(x), "0", std::to_string(11 * (x + 1))}));
  s.expect(call("grp_copy", {"@a", "-1", "0", "3", "1", "@c", "0", "0"}), "0 ");
  for (int x = 0; x < 4; ++x) s.expect_pixel("@c", x, 0, x == 0 || x == 3 ? "0 " : rgb(11 * x, 0, 0));
  // 8-bit to 24-bit goes through the palette.
  s.run(keep("g", "page_create", {"2", "1", "0"}) + call("grp_point_set", {"@g", "0", "0", "77"}));
  s.run(call("grp_copy", {"@g", "0", "0", "2", "1", "@c", "0", "0"}));
  s.expect_pixel("@c", 0, 0, grey(77));
  s.expect_pixel("@c", 1, 0, "0 ");
  // Swap exchanges both rectangles.
  s.expect(call("grp_swap", {"@a", "0", "0", "1", "1", "@b", "3", "0"}), "0 ");
  s.expect_pixel("@a", 0, 0, rgb(100, 0, 0));
  s.expect_pixel("@b", 3, 0, rgb(11, 0, 0));
  // Through the source's alpha page: 254 keeps, 1 copies exactly, 100 mixes
  // with a = 101: (200 * 156 + 10 * 101) >> 8.
  s.run(keep("s", "page_create_withalfa", {"3", "1"}) + call("grp_boxfill", {"@s", "0", "0", "3", "1", "200"}) +
        keep("sa", "get_alfapage", {"@s"}) + call("grp_point_set", {"@sa", "0", "0", "254"}) +
        call("grp_point_set", {"@sa", "1", "0", "1"}) + call("grp_point_set", {"@sa", "2", "0", "100"}) +
        filled("d", 3, 1, 10));
  s.expect(call("grp_extcopy", {"@s", "0", "0", "3", "1", "@d", "0", "0"}), "0 ");
  s.expect_pixel("@d", 0, 0, rgb(10, 0, 0));
  s.expect_pixel("@d", 1, 0, rgb(200, 0, 0));
  s.expect_pixel("@d", 2, 0, rgb(125, 0, 0));
  // A destination alpha page is multiplied: (d * (t + 1)) >> 8.
  s.run(keep("da", "page_create_withalfa", {"3", "1"}) + keep("daa", "get_alfapage", {"@da"}) +
        call("grp_boxfill", {"@daa", "0", "0", "3", "1", "200"}));
  s.run(call("grp_extcopy", {"@s", "0", "0", "3", "1", "@da", "0", "0"}));
  s.expect_pixel("@daa", 0, 0, grey(199));
  s.expect_pixel("@daa", 1, 0, grey(1));
  s.expect_pixel("@daa", 2, 0, grey(78));
  // A plain copy between pages that both have alpha pages moves the alpha too.
  s.run(keep("y", "page_create_withalfa", {"3", "1"}) + keep("ya", "get_alfapage", {"@y"}));
  s.run(call("grp_copy", {"@s", "0", "0", "3", "1", "@y", "0", "0"}));
  s.expect_pixel("@ya", 0, 0, grey(254));
  s.expect_pixel("@y", 0, 0, rgb(200, 0, 0));
  // A copy within one page reads the source before writing over it.
  s.run(keep("ov", "page_create", {"4", "1"}));
  for (int x = 0; x < 4; ++x) s.run(call("grp_point_set", {"@ov", std::to_string(x), "0", std::to_string(x + 1)}));
  s.run(call("grp_copy", {"@ov", "0", "0", "3", "1", "@ov", "1", "0"}));
  for (int x = 0; x < 4; ++x) s.expect_pixel("@ov", x, 0, rgb(x == 0 ? 1 : x, 0, 0));
  // Mask arithmetic on 8-bit pages.
  s.run(filled("m1", 1, 1, 200, true) + filled("m2", 1, 1, 127, true));
  s.expect(call("grp_mulcopy", {"@m2", "0", "0", "1", "1", "@m1", "0", "0"}), "0 ");
  s.expect_pixel("@m1", 0, 0, grey(100));  // (200 * 128) >> 8
  s.run(filled("r1", 1, 1, 100, true) + filled("r2", 1, 1, 100, true));
  s.expect(call("grp_revmulcopy", {"@r2", "0", "0", "1", "1", "@r1", "0", "0"}), "0 ");
  s.expect_pixel("@r1", 0, 0, grey(161));  // 255 - ((155 * 156) >> 8)
  // Tables: element i is 255 - i.
  s.run(inverting_table("inv") + keep("t8", "page_create", {"1", "1", "0"}));
  s.expect(call_table("inv", "make_alfa_table", {"@m2", "@t8"}), "0 ");
  s.expect_pixel("@t8", 0, 0, grey(128));
  // The base maps 0 -> 255 (keep) and 254 -> 1 (copy); the source keeps its
  // own alpha page afterwards.
  s.run(filled("ts", 2, 1, 200) + filled("td", 2, 1, 10) + keep("base", "page_create", {"2", "1", "0"}) +
        call("grp_point_set", {"@base", "1", "0", "254"}));
  s.expect(call_table("inv", "grp_alfa_tabled_copy", {"@ts", "0", "0", "2", "1", "@td", "0", "0", "@base"}), "0 ");
  s.expect_pixel("@td", 0, 0, rgb(10, 0, 0));
  s.expect_pixel("@td", 1, 0, rgb(200, 0, 0));
  s.expect(call("get_alfapage", {"@ts"}), "0 ");
  check(run_script(s.body), s.expected);
}

TEST(GraphicsSyscalls, scaling_rotation_and_mosaic_through_scripts) {
  Steps s;
  // Doubling a 2 x 1 rectangle onto 4 x 2 repeats every pixel and row.
  s.run(keep("h", "page_create", {"2", "1"}) + call("grp_point_set", {"@h", "0", "0", "11"}) +
        call("grp_point_set", {"@h", "1", "0", "22"}) + keep("w", "page_create", {"4", "2"}));
  s.expect(call("grp_modcopy", {"@h", "0", "0", "2", "1", "@w", "0", "0", "4", "2"}), "0 ");
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) s.expect_pixel("@w", x, y, rgb(x < 2 ? 11 : 22, 0, 0));
  }
  // Halving takes every second pixel from offset 1.
  s.run(keep("row", "page_create", {"4", "1"}) + keep("half", "page_create", {"2", "1"}));
  for (int x = 0; x < 4; ++x) s.run(call("grp_point_set", {"@row", std::to_string(x), "0", std::to_string(x + 1)}));
  s.run(call("grp_modcopy", {"@row", "0", "0", "4", "1", "@half", "0", "0", "2", "1"}));
  s.expect_pixel("@half", 0, 0, rgb(2, 0, 0));
  s.expect_pixel("@half", 1, 0, rgb(4, 0, 0));
  // A whole number of turns with scales 1 copies unscaled, centred at
  // dx + (dxl - xl + 1) / 2; 720.0004 degrees truncates to 720000 thousandths.
  s.run(filled("sq", 2, 2, 33));
  for (const char* angle : {"f:360.0", "f:720.0004"}) {
    s.run(keep("big", "page_create", {"4", "4"}));
    s.expect(call("grp_modify_copy", {"@sq", "0", "0", "2", "2", "@big", "0", "0", "4", "4", angle, "f:1.0", "f:1.0"}),
             "0 ");
    for (int i = 0; i < 4; ++i) s.expect_pixel("@big", i, i, i == 1 || i == 2 ? rgb(33, 0, 0) : "0 ");
  }
  // A scale of 0.001 draws nothing.
  s.run(keep("none", "page_create", {"4", "4"}));
  s.expect(call("grp_modify_copy", {"@sq", "0", "0", "2", "2", "@none", "0", "0", "4", "4", "f:30.0", "f:0.001", "f:1.0"}),
           "0 ");
  s.expect_pixel("@none", 1, 1, "0 ");
  s.expect_pixel("@none", 2, 2, "0 ");
  // A half turn of a 3 x 1 row about its centre reverses it.
  s.run(keep("line", "page_create", {"3", "1"}) + keep("turned", "page_create", {"3", "1"}));
  for (int x = 0; x < 3; ++x) s.run(call("grp_point_set", {"@line", std::to_string(x), "0", std::to_string(x + 1)}));
  s.expect(call("grp_modify_copy", {"@line", "0", "0", "3", "1", "@turned", "0", "0", "3", "1", "f:180.0", "f:1.0", "f:1.0"}),
           "0 ");
  for (int x = 0; x < 3; ++x) s.expect_pixel("@turned", x, 0, rgb(3 - x, 0, 0));
  // A mosaic of a flat picture is the same colour over the destination
  // rectangle only.
  s.run(filled("ms", 4, 4, 44) + keep("md", "page_create", {"6", "6"}));
  s.expect(call("make_mosaic", {"@ms", "0", "0", "4", "4", "@md", "1", "1", "2"}), "0 ");
  for (int i = 0; i < 6; ++i) s.expect_pixel("@md", i, i, i >= 1 && i <= 4 ? rgb(44, 0, 0) : "0 ");
  check(run_script(s.body), s.expected);
}

TEST(GraphicsSyscalls, pages_are_created_queried_and_released_with_their_alpha) {
  Steps s;
  s.run(keep("p", "page_create_withalfa", {"2", "3"}));
  s.expect(call("page_len_x", {"@p"}), "2 ");
  s.expect(call("page_len_y", {"@p"}), "3 ");
  s.run(keep("pa", "get_alfapage", {"@p"}));
  s.expect(call("is_page", {"@pa"}), "1 ");
  s.expect_pixel("@pa", 1, 2, "0 ");  // opaque
  s.expect(call("page_len_x", {"@pa"}), "2 ");
  s.expect(call("page_release", {"@p"}), "0 ");
  s.expect(call("is_page", {"@p"}), "0 ");
  s.expect(call("is_page", {"@pa"}), "0 ");  // owned: released with it
  // A size of 0 is reported and raised to 1.
  s.run(keep("thin", "page_create", {"0", "50"}));
  s.expected.push_back("page_create : 大きさが０以下のページは作成できません");
  s.expect(call("page_len_x", {"@thin"}), "1 ");
  s.expect(call("page_len_y", {"@thin"}), "50 ");
  s.run(keep("flat", "page_create_withalfa", {"5", "-1", "0"}));
  s.expected.push_back("page_create_withalfa : 大きさが０以下のページは作成できません");
  s.expect(call("page_len_y", {"@flat"}), "1 ");
  // 8-bit pages start with the grey palette.
  s.run(keep("g", "page_create", {"2", "2", "0"}) + call("grp_point_set", {"@g", "1", "1", "9"}));
  s.expect_pixel("@g", 1, 1, grey(9));
  // An attached alpha page is not owned: it outlives its page, and attaching
  // over an owned one releases that.
  s.run(keep("q", "page_create", {"2", "2"}) + keep("mask", "page_create", {"2", "2", "0"}));
  s.expect(call("page_set_antidata", {"@q", "@mask"}), "0 ");
  s.expect(call("get_alfapage", {"@q"}) + "    load global int \"@mask@GLOBAL\"\n    eq_int\n", "1 ");
  s.run(call("page_release", {"@q"}) + "    pop\n");
  s.expect(call("is_page", {"@mask"}), "1 ");
  s.run(keep("o", "page_create_withalfa", {"2", "2"}) + keep("oa", "get_alfapage", {"@o"}));
  s.run(call("page_set_antidata", {"@o", "@mask"}) + "    pop\n");
  s.expect(call("is_page", {"@oa"}), "0 ");
  s.expect(call("page_drawmode", {"@o", "1"}), "0 ");
  s.expect(call("page_drawmode", {"@o", "1"}), "0 ");

  RunHooks hooks;
  hooks.after = [](TestEngine& test) {
    const graphics::Page* page = only_page(test, 2, 2, graphics::Depth::Rgb24);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->draw_mode, graphics::DrawMode::Additive);
  };
  ScriptRun run = run_script(s.body, "", {}, hooks);
  ASSERT_GE(run.lines.size(), s.expected.size()) << ::testing::PrintToString(run.lines);
  for (size_t i = 0; i < s.expected.size(); ++i) {
    // Reports are matched by their message, printed values exactly.
    if (s.expected[i].find(" : ") != std::string::npos) {
      EXPECT_TRUE(contains(run.lines[i], s.expected[i])) << run.lines[i];
    } else {
      EXPECT_EQ(run.lines[i], s.expected[i]) << i;
    }
  }
}

const std::vector<Picture> kPictures = {
    // 3 x 2, one colour, no transparency.
    {"bg.png", "-size 3x2 xc:'rgb(30,20,10)'", "PNG24"},
    // 2 x 1: an opaque pixel, then a transparent one; the alpha channel is
    // the companion "ch_".
    {"ch.png", "-size 1x1 xc:'rgba(200,100,50,1)' -size 1x1 xc:'rgba(0,0,0,0)' +append", "PNG32"},
};

TEST(GraphicsSyscalls, pictures_from_the_data_directory_make_and_fill_pages) {
  Steps s;
  s.expect(call("pic_exists", {"'bg'"}), "1 ");
  s.expect(call("pic_exists", {"'ch_'"}), "1 ");
  s.expect(call("pic_exists", {"'nothing'"}), "0 ");
  s.expect(call("pic_len_x", {"'bg'"}), "3 ");
  s.expect(call("pic_len_y", {"'bg'"}), "2 ");
  s.expect(call("pic_set_key", {"''"}), "0 ");
  s.run(keep("bg", "page_create_file", {"'bg'"}));
  s.expect(call("page_len_x", {"@bg"}), "3 ");
  s.expect_pixel("@bg", 2, 1, rgb(30, 20, 10));
  s.expect(call("get_alfapage", {"@bg"}), "0 ");
  // With its companion: opaque is 0, transparent 255.
  s.run(keep("ch", "page_create_file_withalfa", {"'ch'"}) + keep("cha", "get_alfapage", {"@ch"}));
  s.expect_pixel("@ch", 0, 0, rgb(200, 100, 50));
  s.expect_pixel("@cha", 0, 0, "0 ");
  s.expect_pixel("@cha", 1, 0, grey(255));
  s.run(keep("plain", "page_create_file", {"'ch'"}));
  s.expect(call("get_alfapage", {"@plain"}), "0 ");
  // A missing picture is reported and stands in as a 1 x 1 page, 8-bit for
  // a companion name.
  s.run(keep("missing", "page_create_file", {"'nothing'"}));
  s.expected.push_back("page_create_file : ファイル[nothing]が存在しません");
  s.expect(call("page_len_x", {"@missing"}), "1 ");
  s.expect(call("grp_reverse", {"@missing", "0", "0", "1", "1"}), "0 ");
  s.run(keep("missing8", "page_create_file_withalfa", {"'nothing_'"}));
  s.expected.push_back("page_create_file : ファイル[nothing_]が存在しません");
  s.run(call("grp_reverse", {"@missing8", "0", "0", "1", "1"}) + "    pop\n");
  s.expected.push_back("grp_reverse : 256色には対応していません。");
  // Unpacking blends through the companion: the transparent pixel keeps the
  // page's colour; x and y place the picture and it is clipped.
  s.run(filled("d", 4, 1, 10));
  s.expect(call("pic_unpack", {"@d", "'ch'", "1", "0"}), "0 ");
  s.expect_pixel("@d", 0, 0, rgb(10, 0, 0));
  s.expect_pixel("@d", 1, 0, rgb(200, 100, 50));
  s.expect_pixel("@d", 2, 0, rgb(10, 0, 0));
  s.run(filled("e", 2, 2, 10));
  s.expect(call("pic_unpack", {"@e", "'bg'", "-2", "1"}), "0 ");
  s.expect_pixel("@e", 0, 0, rgb(10, 0, 0));
  s.expect_pixel("@e", 0, 1, rgb(30, 20, 10));
  s.expect_pixel("@e", 1, 1, rgb(10, 0, 0));
  // A 24-bit picture is refused on an 8-bit page.
  s.run(keep("g", "page_create", {"3", "2", "0"}));
  s.expect(call("pic_unpack", {"@g", "'bg'"}), "0 ");
  s.expected.insert(s.expected.end() - 1, "pic_unpack : ファイル[bg]を8bitページに転送しています");
  s.expect_pixel("@g", 0, 0, "0 ");

  ScriptRun run = run_with_pictures(s.body, kPictures);
  ASSERT_GE(run.lines.size(), s.expected.size()) << ::testing::PrintToString(run.lines);
  for (size_t i = 0; i < s.expected.size(); ++i) {
    if (s.expected[i].find(" : ") != std::string::npos) {
      EXPECT_TRUE(contains(run.lines[i], s.expected[i])) << i << ": " << run.lines[i];
    } else {
      EXPECT_EQ(run.lines[i], s.expected[i]) << i;
    }
  }
}

TEST(GraphicsSyscalls, a_missing_picture_size_is_reported_and_looked_up_again) {
  // Retry looks again (and reports again); Cancel ends the engine.
  platform::AnswerPolicy policy;
  policy.queued = {platform::Answer::Retry, platform::Answer::Cancel};
  ScriptRun run = run_with_pictures(print("pic_len_x", {"'nothing'"}), kPictures, policy);
  ASSERT_GE(run.lines.size(), 2u) << ::testing::PrintToString(run.lines);
  EXPECT_TRUE(contains(run.lines[0], "pic_len_x : ファイル[nothing]が存在しません")) << run.lines[0];
  EXPECT_TRUE(contains(run.lines[1], "pic_len_x : ファイル[nothing]が存在しません")) << run.lines[1];
  EXPECT_EQ(run.game.boxes.size(), 2u);
}

}  // namespace
}  // namespace tavelo::testing
