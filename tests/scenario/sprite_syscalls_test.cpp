// Sprite and screen system calls driven by real scripts on the headless
// engine: every refusal with its debug-log line, the results and waits of
// every call, the frame the run ends on against one composed by hand, the
// frame spacing MAX_FPS gives on the virtual clock, and --screenshot.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/picture_png.h"
#include "graphics/pixel_ops.h"
#include "host/engine.h"
#include "tests/graphics/page_test_support.h"
#include "tests/support/script_calls.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

const std::string kBad = "424242";
const std::string kWait = "0xCF35F0E3";  // waits its argument's ms of script time

const std::vector<Picture> kPictures = {
    {"bg.png", "-size 40x20 xc:'rgb(30,20,10)'", "PNG24"},
    // A companion that is no 8-bit picture, and one of another size.
    {"odd.png", "-size 4x4 xc:'rgb(1,2,3)'", "PNG24"},
    {"odd_.rct", "-size 4x4 xc:'rgb(9,9,9)'", "PNG24"},
    {"size.png", "-size 4x4 xc:'rgb(1,2,3)'", "PNG24"},
    {"size_.rc8", "-size 2x2 xc:'gray(50)'", "PNG24"},
    // Its alpha channel is the companion "ch_".
    {"ch.png", "-size 1x1 xc:'rgba(200,100,50,1)' -size 1x1 xc:'rgba(0,0,0,0)' +append", "PNG32"},
};

// The value the script leaves, minus a global variable: "0 " when equal.
std::string difference(const std::string& script, const std::string& variable) {
  return script + push(variable) + "    sub_int\n";
}

// A call whose trailing arguments are `pairs` pairs of value and time.
std::string with_pairs(const std::string& name, const std::string& first, const std::string& value, int pairs) {
  std::string text;
  for (int i = 0; i < pairs; ++i) text += push("10") + push(value);
  return text + push(first) + "    syscall " + name + " " + std::to_string(1 + 2 * pairs) + "\n";
}

struct Refusal {
  std::string script;   // the call, result left on the stack
  std::string message;  // part of the report line
  std::string result = "0 ";  // empty: not checked (a sprite was made anyway)
};

TEST(SpriteSyscalls, every_refusal_is_reported_with_its_message) {
  std::string setup = keep("p", "page_create", {"40", "20"}) + keep("s", "sprite_create", {"@p"});
  std::vector<Refusal> cases = {
      {call("sprite_create", {kBad}), "sprite_create : ページが存在しません"},
      {call("sprite_create", {"@p", "0", "0", "4", "4", kBad}), "sprite_create : 転送先ページが存在しません"},
      {call("sprite_create", {"@p", "0", "0"}),
       "sprite_create : パラメータは１個か５個か６個(_no, _x, _y, _xl, _y, _topage)のどれかにして下さい", ""},
      {call("sprite_create", {"@p", "0", "0", "0", "4"}), "sprite_create : 大きさが０以下のスプライトは作成できません", ""},
      {call("sprite_create_file", {"'bg'", "0", "0"}),
       "sprite_create_file : パラメータは１個か５個か６個(_file, _x, _y, _xl, _yl, _topage)のどれかにして下さい", ""},
      {call("sprite_create_file", {"'odd'"}), "sprite_create_file : ファイル[odd_]は8ビットでは有りません", ""},
      {call("sprite_create_file_mod", {"'size'"}), "sprite_create_file_mod : ページの大きさをそろえる必要が有ります。", ""},
      {call("sprite_create_file", {"'bg'", "0", "0", "4", "4", kBad}), "sprite_create : 転送先ページが存在しません"},
      {call("sprite_paste", {"@s", kBad}), "sprite_paste : 出力先ページが存在しません"},
      {with_pairs("sprite_animate_define", "@s", "0", 64), "sprite_animate_define : アニメデータが多すぎです！"},
      {with_pairs("sprite_animate_define_sync", "@s", "0", 64), "sprite_animate_define : アニメデータが多すぎです！"},
      {with_pairs("sprite_animate_add", "@s", "0", 64), "sprite_animate_add : アニメデータが多すぎです！"},
      {with_pairs("sprite_alfa_define", "@s", "0", 32), "sprite_alfa_define : アニメデータが多すぎです！"},
      {with_pairs("sprite_alfa_define_sync", "@s", "0", 32), "sprite_alfa_define : アニメデータが多すぎです！"},
      {with_pairs("sprite_ymodify_define", "@s", "f:1.0", 32), "sprite_ymodify_define : アニメデータが多すぎです！"},
      {call("set_frontbuffer", {kBad}), "set_frontbuffer : ページが存在しません"},
      {call("invalidate_rect", {kBad}), "invalidate_rect : ページが存在しません"},
      {call("screen_window_set", {"0", "100"}), "screen_window_set : 大きさが０以下の画面は設定できません"},
      {call("screen_window_set", {"100", "100", "0"}), "screen_window_set : 倍率は０より大きくしてください"},
      {call("screen_window_set", {"20000", "100"}), "screen_window_set : 画面が大きすぎます"},
      {call("screen_view_set", {"-1", "10"}), "screen_view_set : 大きさが０以下の画面は設定できません"},
      {call("screen_zoom", {"f:0.0"}), "screen_zoom : 倍率は０より大きくしてください"},
      {call("screen_zoom", {"f:100.0"}), "screen_zoom : 画面が大きすぎます"},
  };
  for (std::string name : {"sprite_priority_high", "sprite_priority_low", "sprite_priority_high_single",
                           "sprite_priority_low_single"}) {
    cases.push_back({call(name, {kBad, "@s"}), name + " : 第１パラメータのスプライトが存在しません"});
    cases.push_back({call(name, {"@s", kBad}), name + " : 第２パラメータのスプライトが存在しません"});
  }
  // Every call that takes a sprite, with the name its report gives.
  struct TakesSprite {
    std::string call;
    std::vector<std::string> tail;  // arguments after the sprite
    std::string reported;
  } takes_sprite[] = {
      {"sprite_release", {}, "sprite_release : "},
      {"sprite_paste", {"@p"}, "sprite_paste : "},
      {"sprite_move", {"0", "0"}, "sprite_move : "},
      {"sprite_move_wait", {}, "sprite_move_wait : "},
      {"is_sprite_move", {}, "is_sprite_move : "},
      {"sprite_get_pos_x", {}, "sprite_get_pos_x : "},
      {"sprite_get_pos_y", {}, "sprite_get_pos_y : "},
      {"ps_sprite_get_page", {}, "ps_sprite_get_page: "},
      {"sprite_animate_define", {"0", "10"}, "sprite_animate_define : "},
      {"sprite_animate_define_sync", {"0", "10"}, "sprite_animate_define : "},
      {"sprite_animate_add", {"0", "10"}, "sprite_animate_add : "},
      {"sprite_animate_wait", {}, "sprite_animate_wait : "},
      {"sprite_alfa_set", {"0"}, "sprite_alfa_set : "},
      {"sprite_alfa_define", {"0", "10"}, "sprite_alfa_define : "},
      {"sprite_alfa_define_sync", {"0", "10"}, "sprite_alfa_define : "},
      {"sprite_tl_set", {"0"}, "sprite_tl_set : "},
      {"sprite_alfa_wait", {}, "sprite_alfa_wait : "},
      {"sprite_rotate", {"f:1.0"}, "sprite_rotate : "},
      {"sprite_xmodify_set", {"f:1.0"}, "sprite_xmodify_set : "},
      {"sprite_ymodify_set", {"f:1.0"}, "sprite_ymodify_set : "},
      {"sprite_xmodify_define", {"f:1.0", "10"}, "sprite_xmodify_define : "},
      {"sprite_ymodify_define", {"f:1.0", "10"}, "sprite_ymodify_define : "},
      {"sprite_push", {}, "sprite_push: "},
      {"sprite_pop", {}, "sprite_pop: "},
  };
  for (const TakesSprite& c : takes_sprite) {
    std::string text;
    for (auto it = c.tail.rbegin(); it != c.tail.rend(); ++it) text += push(*it);
    text += push(kBad) + "    syscall " + c.call + " " + std::to_string(c.tail.size() + 1) + "\n";
    cases.push_back({text, c.reported + "スプライトが存在しません"});
  }

  std::string body = setup;
  for (const Refusal& c : cases) body += c.script + "    PRINT 1\n";
  ScriptRun run = run_with_pictures(body, kPictures);
  ASSERT_GE(run.lines.size(), cases.size() * 2) << ::testing::PrintToString(run.lines);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_TRUE(contains(run.lines[2 * i], cases[i].message)) << i << ": " << run.lines[2 * i];
    if (!cases[i].result.empty()) {
      EXPECT_EQ(run.lines[2 * i + 1], cases[i].result) << i << ": " << cases[i].message;
    }
  }
}

TEST(SpriteSyscalls, a_missing_picture_is_reported_and_looked_up_again) {
  platform::AnswerPolicy policy;
  policy.queued = {platform::Answer::Retry, platform::Answer::Cancel};
  ScriptRun run = run_with_pictures(print("sprite_create_file", {"'nothing'"}), kPictures, policy);
  ASSERT_GE(run.lines.size(), 2u) << ::testing::PrintToString(run.lines);
  EXPECT_TRUE(contains(run.lines[0], "sprite_create_file : ファイル[nothing]が存在しません")) << run.lines[0];
  EXPECT_TRUE(contains(run.lines[1], "sprite_create_file : ファイル[nothing]が存在しません")) << run.lines[1];
  EXPECT_EQ(run.game.boxes.size(), 2u);
}

// A 64 x 48 screen so whole frames are quick to compare.
const std::string kSmallScreen = "TITLEBAR TaveloTest\nCLIENT_WIDTH 64\nCLIENT_HEIGHT 48\n";

TEST(SpriteSyscalls, calls_move_animate_fade_turn_stack_and_paste_sprites) {
  Steps s;
  // Background; a 16 x 16 page whose left half is half transparent; a sheet
  // of two 8 x 8 patterns.
  s.run(filled("bg", 64, 48, 0x102030) + keep("b", "sprite_create", {"@bg"}) + call("sprite_move", {"@b", "0", "0"}));
  s.run(keep("a", "page_create_withalfa", {"16", "16"}) + call("grp_boxfill", {"@a", "0", "0", "16", "16", std::to_string(0x00FF00)}) +
        keep("alpha", "get_alfapage", {"@a"}) + call("grp_boxfill", {"@alpha", "0", "0", "8", "16", "128"}));
  s.run(filled("sheet", 16, 8, 0x0000FF) + call("grp_boxfill", {"@sheet", "8", "0", "8", "8", std::to_string(0xFF0000)}));
  s.run(keep("s", "sprite_create", {"@a", "0", "0", "16", "16"}));
  s.expect(call("is_sprite", {"@s"}), "1 ");
  s.expect(call("is_sprite", {"@a"}), "0 ");
  s.expect(difference(call("ps_sprite_get_page", {"@s"}), "@a"), "0 ");
  s.expect(difference(call("get_alfapage", {"@s"}), "@alpha"), "0 ");
  s.expect(call("sprite_get_pos_x", {"@s"}), "0 ");
  // A picture's companion becomes its sprite's alpha page.
  s.run(keep("f", "sprite_create_file", {"'ch'"}) + keep("fa", "get_alfapage", {"@f"}));
  s.expect(call("is_page", {"@fa"}), "1 ");
  s.expect_pixel("@fa", 1, 0, grey(255));
  s.run(call("sprite_release", {"@f"}) + "    pop\n");
  // A jump lands at the next frame; a timed move is waited for.
  s.expect(call("sprite_move", {"@s", "10", "8"}), "0 ");
  s.expect(call("is_sprite_move", {"@s"}), "1 ");
  s.run(call(kWait, {"30"}));
  s.expect(call("is_sprite_move", {"@s"}), "0 ");
  s.expect(call("sprite_get_pos_y", {"@s"}), "8 ");
  s.run(call("sprite_move", {"@s", "30", "8", std::to_string(200 | 0x40000000)}));
  s.expect(call("sprite_move_wait", {"@s"}), "0 ");
  s.expect(call("sprite_get_pos_x", {"@s"}), "30 ");
  // Frame lists: the wait ends after the first pass; a final single pattern stays.
  s.run(keep("c", "sprite_create", {"@sheet", "0", "0", "8", "8"}) + call("sprite_move", {"@c", "50", "2"}));
  s.expect(call("sprite_animate_define", {"@c", "0", "40", "1", "40"}), "0 ");
  s.expect(call("sprite_animate_wait", {"@c"}), "0 ");
  s.expect(call("sprite_animate_define_sync", {"@c", "1", "40", "0", "40"}), "0 ");
  s.expect(call("sprite_animate_add", {"@c", "0", "40"}), "0 ");
  s.expect(call("sprite_animate_define", {"@c"}), "0 ");
  s.expect(call("sprite_animate_define", {"@c", "1"}), "0 ");
  // Levels: a timed set, keyframes, the synchronised form, the held list.
  s.expect(call("sprite_alfa_set", {"@s", "200", "60"}), "0 ");
  s.expect(call("sprite_alfa_wait", {"@s"}), "0 ");
  s.run(call("sprite_alfa_define", {"@s", "0", "30", "40"}) + call("sprite_alfa_wait", {"@s"}) + "    pop\n");
  s.run(call("sprite_alfa_define_sync", {"@s", "64", "20"}) + call("sprite_alfa_wait", {"@s"}) + "    pop\n");
  s.expect(call("sprite_tl_set", {"@s", "5"}), "0 ");
  s.run(call("sprite_alfa_set", {"@s", "64"}));
  // A turning, scaled sprite, then hidden; stacking and hiding counts.
  s.run(keep("r", "sprite_create_mod", {"@sheet"}) + call("sprite_move", {"@r", "20", "20"}));
  s.expect(call("sprite_rotate", {"@r", "f:90.0", "100", "1"}), "0 ");
  s.expect(call("sprite_xmodify_set", {"@r", "f:2.0"}), "0 ");
  s.expect(call("sprite_ymodify_set", {"@r", "f:0.5", "50"}), "0 ");
  s.expect(call("sprite_xmodify_define", {"@r", "f:1.0", "30", "f:1.5"}), "0 ");
  s.expect(call("sprite_ymodify_define", {"@r", "f:1.0", "30"}), "0 ");
  s.run(call(kWait, {"60"}) + call("sprite_rotate", {"@r", "f:0.0"}));
  for (std::string name : {"sprite_priority_high", "sprite_priority_low"}) s.expect(call(name, {"@c"}), "0 ");
  for (std::string name : {"sprite_priority_high", "sprite_priority_low", "sprite_priority_high_single",
                           "sprite_priority_low_single"}) {
    s.expect(call(name, {"@c", "@s"}), "0 ");
  }
  s.run(call("sprite_priority_high", {"@s"}));
  s.expect(call("sprite_push", {"@r"}), "0 ");
  s.run(call("sprite_push", {}) + call("sprite_pop", {}) + "    pop\n    pop\n");
  // Pasting draws once onto any page, at the sprite's place or a given one.
  s.run(filled("canvas", 16, 16, 0));
  s.expect(call("sprite_paste", {"@c", "@canvas", "0", "0"}), "0 ");
  s.expect_pixel("@canvas", 1, 1, rgb(0, 0, 255));  // pattern 1: the sheet's right half
  s.run(call("sprite_push", {"@c"}) + "    pop\n");
  s.expect(call("sprite_paste", {"@c", "@canvas", "8", "8"}), "0 ");
  s.expect_pixel("@canvas", 9, 9, "0 ");
  s.expect(call("sprite_release", {"@c"}), "0 ");
  s.expect(call("is_sprite", {"@c"}), "0 ");
  s.run(call(kWait, {"30"}));

  RunHooks hooks;
  hooks.after = [](TestEngine& test) {
    // What the screen must show: the background, the half-transparent
    // sprite at (30, 8) with level 64; the turning sprite is hidden.
    graphics::Page expected = graphics::make_page(64, 48, graphics::Depth::Rgb24);
    graphics::fill_rect(expected, {0, 0, 64, 48}, 0x102030);
    graphics::Page sprite = graphics::make_page(16, 16, graphics::Depth::Rgb24);
    graphics::fill_rect(sprite, {0, 0, 16, 16}, 0x00FF00);
    graphics::Page alpha = graphics::make_page(16, 16, graphics::Depth::Indexed8);
    graphics::fill_rect(alpha, {0, 0, 8, 16}, 128);
    graphics::alpha_copy(sprite, alpha, expected, nullptr, {0, 0, 30, 8, 16, 16}, 64);
    ASSERT_EQ(test.platform.frame_width(), 64);
    ASSERT_EQ(test.platform.frame_height(), 48);
    std::vector<uint8_t> packed;
    for (int32_t y = 0; y < 48; ++y) packed.insert(packed.end(), expected.row(y), expected.row(y) + 64 * 3);
    EXPECT_TRUE(test.platform.frame_pixels() == packed);
  };
  ScriptRun run = run_with_pictures(s.body, kPictures, {}, hooks, kSmallScreen);
  check(run, s.expected);
}

TEST(SpriteSyscalls, screen_calls_set_the_page_lock_offset_and_scale_the_window) {
  Steps s;
  s.run(keep("front", "get_frontbuffer", {}) + filled("bg", 64, 48, 0x0000FF) + keep("b", "sprite_create", {"@bg"}) +
        call("sprite_move", {"@b", "0", "0"}) + call(kWait, {"30"}));
  // Another display page; the previous one comes back as the result.
  s.run(filled("other", 64, 48, 0x00FF00));
  s.expect(difference(call("set_frontbuffer", {"@other"}), "@front"), "0 ");
  s.expect(difference(call("get_frontbuffer", {}), "@other"), "0 ");
  s.run(call(kWait, {"30"}) + call("set_frontbuffer", {"@front"}) + "    pop\n" + call(kWait, {"30"}));
  // While locked nothing is shown: frames stop until the unlock.
  s.expect(call("update_lock", {}), "0 ");
  s.run(call("grp_boxfill", {"@bg", "0", "0", "8", "8", std::to_string(0xFFFFFF)}) + call(kWait, {"30"}));
  s.expect(call("update_unlock", {}), "0 ");
  s.expect(call("invalidate_rect", {"@bg", "0", "0", "1", "1"}), "0 ");
  s.expect(call("invalidate_rect", {"@bg"}), "0 ");
  s.expect(call("screen_view_set", {"64", "48"}), "0 ");
  s.expect(call("screen_zoom", {"f:1.0"}), "0 ");
  s.expect(call("screen_offset", {"0", "0"}), "0 ");
  // A 1.5 scale in a larger window: the picture is 96 x 72 in a 100 x 80
  // window. The script's offset replaces the window's centring (the base is
  // the display mode's, none in a window), so the picture sits at (2, 0).
  s.expect(call("screen_window_set", {"100", "80", "1500", "1500"}), "0 ");
  s.expect(call("screen_offset", {"-2", "0"}), "0 ");
  s.run(call(kWait, {"30"}));

  RunHooks hooks;
  hooks.after = [](TestEngine& test) {
    ASSERT_EQ(test.platform.frame_width(), 100);
    ASSERT_EQ(test.platform.frame_height(), 80);
    auto pixel = [&](int x, int y) {
      const uint8_t* p = test.platform.frame_pixels().data() + (size_t(y) * 100 + size_t(x)) * 3;
      return testing::Bgr{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(1, 40), testing::Bgr{});                // left of the picture
    EXPECT_EQ(pixel(6, 4), (testing::Bgr{255, 255, 255}));  // the corner filled while locked
    EXPECT_EQ(pixel(50, 40), (testing::Bgr{0, 0, 255}));
    EXPECT_EQ(pixel(50, 76), testing::Bgr{});  // below a shifted picture: black
  };
  ScriptRun run = run_with_pictures(s.body, {}, {}, hooks, kSmallScreen);
  check(run, s.expected);
}

// The times frames reach the platform when every frame changes something.
std::vector<uint32_t> frame_times(const std::string& max_fps) {
  std::string body = filled("p", 20, 20, 0xFFFFFF) + keep("r", "sprite_create_mod", {"@p"}) +
                     call("sprite_move", {"@r", "32", "24"}) + call("sprite_rotate", {"@r", "f:360.0", "1000", "1"}) +
                     call(kWait, {"2000"});
  std::vector<uint32_t> times;
  RunHooks hooks;
  hooks.after = [&](TestEngine& test) { times = test.platform.present_times(); };
  run_with_pictures(body, {}, {}, hooks, kSmallScreen + "MAX_FPS " + max_fps + "\n");
  return times;
}

TEST(SpriteSyscalls, max_fps_spaces_the_frames_on_the_clock) {
  struct Case {
    std::string max_fps;
    uint32_t spacing;  // ms: 1000 / the limit clamped to 1..80
  } cases[] = {{"30", 33}, {"0", 1000}, {"200", 12}};
  for (const Case& c : cases) {
    std::vector<uint32_t> times = frame_times(c.max_fps);
    ASSERT_GE(times.size(), 2u) << c.max_fps;
    for (size_t i = 1; i < times.size(); ++i) {
      EXPECT_GE(times[i] - times[i - 1], c.spacing) << c.max_fps << " frame " << i;
      EXPECT_LE(times[i] - times[i - 1], c.spacing + 1) << c.max_fps << " frame " << i;
    }
  }
}

TEST(SpriteSyscalls, screenshot_writes_the_display_page_as_png) {
  TempDirectory game;
  GameFiles files;
  files.environment = kSmallScreen;
  files.scripts.push_back({"scenario/start.tvo", start_script(filled("bg", 64, 48, 0x0000FF) +
                                                              keep("b", "sprite_create", {"@bg"}) +
                                                              call("sprite_move", {"@b", "0", "0"}) + call(kWait, {"30"}))});
  write_game(game, files);
  ProcessResult result = run_tavelo(game, "--screenshot '" + game.at("shot.png") + "'");
  EXPECT_EQ(result.exit_status, 0) << result.output;
  graphics::PngDecoded decoded = graphics::decode_png(read_bytes(game.at("shot.png")));
  ASSERT_TRUE(decoded.image.has_value()) << result.output;
  EXPECT_EQ(decoded.image->colour.width, 64);
  EXPECT_EQ(testing::pixel_at(decoded.image->colour, 63, 47), (testing::Bgr{0, 0, 255}));
}

}  // namespace
}  // namespace tavelo::testing
