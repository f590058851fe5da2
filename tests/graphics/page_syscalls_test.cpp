// The page system calls driven through their handlers with arguments on a
// script thread's stack: results, reports, change marks, and the handling of
// inputs the kernels must never see.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/picture_png.h"
#include "graphics/syscalls.h"
#include "resources/search_list.h"
#include "script/state.h"
#include "script/thread.h"
#include "tests/graphics/page_test_support.h"
#include "script/game_files.h"
#include "tests/support/test_engine.h"

namespace tavelo::graphics {
namespace {

using script::Value;
using testing::Bgr;
using testing::pixel_at;

Value i(int32_t value) { return script::make_int(value); }
Value f(float value) { return script::make_float(value); }

Value int_array(int32_t count, int32_t fill) {
  Value value = script::make_int(0);
  value.type = script::ValueType::IntArray;
  value.array = script::new_array_block(script::ValueType::IntArray, 1, 1, count);
  for (int32_t k = 0; k < count; ++k) value.array->ints()[k] = fill;
  return value;
}

const script::SyscallEntry* handler(std::string_view name) {
  for (const script::SyscallEntry& entry : page_syscalls()) {
    if (entry.name == name) return &entry;
  }
  ADD_FAILURE() << "no system call " << name;
  return nullptr;
}

class PageCalls : public ::testing::Test {
 protected:
  PageCalls() { engine.script.debug_mode = true; }

  // Runs the call with arguments in script order (first argument first) and
  // gives its integer result.
  int32_t call(std::string_view name, std::initializer_list<Value> arguments) {
    const script::SyscallEntry* fn = handler(name);
    if (!fn) return -12345;
    int32_t first = thread->sp;
    std::vector<Value> values(arguments);
    for (auto it = values.rbegin(); it != values.rend(); ++it) script::push_value(*thread, *it);
    script::CallArgs args{engine.script, *thread, *fn, int(values.size()), 0, true, first};
    EXPECT_EQ(fn->handler(engine, args), script::CallStatus::Done);
    EXPECT_TRUE(args.has_result) << name;
    int32_t result = thread->slot(thread->sp - 1).integer;
    script::release_stack_above(*thread, first);
    return result;
  }

  int32_t page(int32_t width, int32_t height, int32_t full_colour = 1) {
    return call("page_create", {i(width), i(height), i(full_colour)});
  }
  // Registers data\ as a search place after the test wrote its pictures there.
  void add_data_directory() {
    ASSERT_EQ(script::register_search_entry(engine.script, "data", resources::SoundOnly::No), resources::Registration::Directory);
  }
  Value text(std::string_view value) { return script::make_string(value); }
  Page& at(int32_t handle) { return *find_page(engine.graphics, handle); }
  // Marks are kept for destination pages only; these pages become ones.
  void keep_marks(std::initializer_list<int32_t> pages) {
    for (int32_t handle : pages) attach_destination(engine.graphics, handle);
  }
  // Whether the page got a mark since the last look.
  bool take_mark(int32_t handle) {
    Destination* record = find_destination(engine.graphics, handle);
    if (!record || !record->changed) return false;
    record->changed = false;
    std::fill(record->cells.begin(), record->cells.end(), uint8_t(0));
    return true;
  }
  size_t box_count() const { return test.platform.boxes().size(); }
  std::string last_box() const { return test.platform.boxes().empty() ? "" : test.platform.boxes().back().text; }

  testing::TempDirectory directory;
  testing::TestEngine test{directory.path()};
  host::Engine& engine = test.engine;
  std::unique_ptr<script::Thread> thread = script::new_thread(1);
};

TEST_F(PageCalls, creation_queries_and_release) {
  int32_t p = call("page_create", {i(0), i(50)});
  EXPECT_NE(last_box().find("page_create : 大きさが０以下のページは作成できません"), std::string::npos);
  EXPECT_EQ(call("page_len_x", {i(p)}), 1);
  EXPECT_EQ(call("page_len_y", {i(p)}), 50);
  EXPECT_EQ(call("is_page", {i(p)}), 1);
  EXPECT_EQ(at(p).depth, Depth::Rgb24);
  EXPECT_EQ(at(page(3, 3, 0)).depth, Depth::Indexed8);
  EXPECT_EQ(call("page_create", {i(INT32_MAX), i(INT32_MAX)}), 0);

  int32_t q = call("page_create_withalfa", {i(4), i(2)});
  int32_t alpha = call("get_alfapage", {i(q)});
  ASSERT_NE(alpha, 0);
  EXPECT_EQ(at(alpha).depth, Depth::Indexed8);
  EXPECT_EQ(at(alpha).pixels, std::vector<uint8_t>(at(alpha).pixels.size(), 0));  // all opaque
  EXPECT_EQ(call("get_alfapage", {i(p)}), 0);
  EXPECT_EQ(call("grp_rgb", {i(0x101), i(2), i(3)}), 0x030201);

  EXPECT_EQ(call("page_release", {i(q)}), 0);
  EXPECT_EQ(call("is_page", {i(q)}), 0);
  EXPECT_EQ(call("is_page", {i(alpha)}), 0);
  size_t boxes = box_count();
  call("page_release", {i(q)});
  EXPECT_EQ(box_count(), boxes + 1);
  EXPECT_NE(last_box().find("page_release : ページが存在しません"), std::string::npos);
}

TEST_F(PageCalls, failures_are_reported_and_change_nothing) {
  int32_t rgb = page(4, 4), indexed = page(4, 4, 0), other = page(5, 4, 0);
  struct Case {
    std::string_view call;
    std::vector<Value> arguments;
    std::string_view message;
  } cases[] = {
      {"page_len_x", {i(999)}, "page_len_x : ページが存在しません"},
      {"grp_point_get", {i(999), i(0), i(0)}, "grp_point_get : ページが存在しません"},
      {"grp_boxfill", {i(0), i(0), i(0), i(1), i(1), i(0)}, "grp_boxfill : ページが存在しません"},
      {"grp_mulboxfill", {i(indexed), i(0), i(0), i(1), i(1), i(0)}, "grp_mulboxfill : 256色には対応していません。"},
      {"grp_reverse", {i(indexed), i(0), i(0), i(1), i(1)}, "grp_reverse : 256色には対応していません。"},
      {"page_drawmode", {i(indexed), i(1)}, "page_drawmode : ８ビットページは変更できません"},
      {"get_alfapage", {i(999)}, "get_alfapage : 指定ページが存在しません"},
      {"page_set_antidata", {i(999), i(indexed)}, "set_antidata : 設定の親ページが存在しません"},
      {"page_set_antidata", {i(rgb), i(999)}, "set_antidata : αページが存在しません"},
      {"page_set_antidata", {i(rgb), i(rgb)}, "page_set_antidata : αデータのページは８ビットで無いといけません"},
      {"page_set_antidata", {i(rgb), i(other)}, "page_set_antidata : ページの大きさをそろえる必要が有ります。"},
      {"grp_copy", {i(999), i(0), i(0), i(1), i(1), i(999), i(0), i(0)}, "grp_copy : 転送元ページが存在しません"},
      {"grp_copy", {i(rgb), i(0), i(0), i(1), i(1), i(999), i(0), i(0)}, "grp_copy : 転送先ページが存在しません"},
      {"grp_copy", {i(rgb), i(0), i(0), i(1), i(1), i(indexed), i(0), i(0)}, "grp_copy : 24Bit->8Bitのコピーです"},
      {"grp_swap", {i(indexed), i(0), i(0), i(1), i(1), i(rgb), i(0), i(0)}, "grp_swap : 8Bit->24Bitのコピーです"},
      {"grp_swap", {i(rgb), i(0), i(0), i(1), i(1), i(indexed), i(0), i(0)}, "grp_swap : 24Bit->8Bitのコピーです"},
      {"grp_extcopy", {i(rgb), i(0), i(0), i(1), i(1), i(indexed), i(0), i(0)}, "grp_extcopy : 転送先に8ビットは指定できません"},
      {"grp_mulcopy", {i(rgb), i(0), i(0), i(1), i(1), i(indexed), i(0), i(0)},
       "grp_mulcopy : 転送元、転送先共にに8ビットしか指定できません"},
      {"grp_revmulcopy", {i(indexed), i(0), i(0), i(1), i(1), i(rgb), i(0), i(0)},
       "grp_revmulcopy : 転送元、転送先共にに8ビットしか指定できません"},
      {"grp_alfa_tabled_copy", {i(rgb), i(0), i(0), i(1), i(1), i(rgb), i(0), i(0), i(999), int_array(256, 0)},
       "grp_alfa_tabled_copy : αのベースページが存在しません"},
      {"grp_alfa_tabled_copy", {i(rgb), i(0), i(0), i(1), i(1), i(rgb), i(0), i(0), i(rgb), int_array(256, 0)},
       "grp_alfa_tabled_copy : αのページが８ビットでは有りません"},
      {"grp_alfa_tabled_copy", {i(rgb), i(0), i(0), i(1), i(1), i(indexed), i(0), i(0), i(indexed), int_array(256, 0)},
       "grp_alfa_tabled_copy : 24Bit->8Bitのコピーです"},
      {"grp_alfa_tabled_copy", {i(rgb), i(0), i(0), i(1), i(1), i(rgb), i(0), i(0), i(indexed), int_array(255, 0)},
       "grp_alfa_tabled_copy : 配列の要素が不足しています。"},
      {"make_alfa_table", {i(999), i(indexed), int_array(256, 0)}, "make_alfa_table : 転送元ページが存在しません"},
      {"make_alfa_table", {i(rgb), i(indexed), int_array(256, 0)}, "make_alfa_table : 転送元αのページが８ビットでは有りません"},
      {"make_alfa_table", {i(indexed), i(rgb), int_array(256, 0)}, "make_alfa_table : 転送先αのページが８ビットでは有りません"},
      {"make_alfa_table", {i(indexed), i(indexed), i(5)}, "make_alfa_table : 配列の要素が不足しています。"},
      {"grp_modcopy", {i(rgb), i(0), i(0), i(1), i(1), i(999), i(0), i(0), i(2), i(2)}, "grp_modcopy : 転送先ページが存在しません"},
      {"grp_modify_copy", {i(999)}, "grp_modify_copy : 転送元ページが存在しません"},
      {"make_mosaic", {i(indexed), i(0), i(0), i(4), i(4), i(indexed), i(0), i(0), i(2)}, "make_mosaic : 8Bitには対応していません"},
  };
  std::vector<uint8_t> rgb_before = at(rgb).pixels, indexed_before = at(indexed).pixels;
  keep_marks({rgb, indexed, other});
  for (Case& c : cases) {
    size_t boxes = box_count();
    const script::SyscallEntry* fn = handler(c.call);
    ASSERT_NE(fn, nullptr);
    int32_t first = thread->sp;
    for (auto it = c.arguments.rbegin(); it != c.arguments.rend(); ++it) script::push_value(*thread, *it);
    script::CallArgs args{engine.script, *thread, *fn, int(c.arguments.size()), 0, true, first};
    fn->handler(engine, args);
    EXPECT_EQ(thread->slot(thread->sp - 1).integer, 0) << c.call;
    script::release_stack_above(*thread, first);
    ASSERT_EQ(box_count(), boxes + 1) << c.message;
    EXPECT_NE(last_box().find(std::string(c.message)), std::string::npos) << last_box();
  }
  EXPECT_EQ(at(rgb).pixels, rgb_before);
  EXPECT_EQ(at(indexed).pixels, indexed_before);
  EXPECT_EQ(at(rgb).alpha_page, 0);
  EXPECT_FALSE(take_mark(rgb) || take_mark(indexed) || take_mark(other));
}

TEST_F(PageCalls, every_pixel_change_is_marked_on_its_page) {
  int32_t src = page(8, 8), dst = page(8, 8), mask = page(8, 8, 0), mask2 = page(8, 8, 0);
  keep_marks({src, dst, mask, mask2});
  struct Case {
    std::string_view call;
    std::vector<Value> arguments;
    int32_t marked;
  } cases[] = {
      {"grp_point_set", {i(dst), i(1), i(1), i(0xFF)}, dst},
      {"grp_boxfill", {i(dst), i(0), i(0), i(2), i(2), i(0xFF)}, dst},
      {"grp_extboxfill", {i(dst), i(0), i(0), i(2), i(2), i(0xFF), i(3)}, dst},
      {"grp_mulboxfill", {i(dst), i(0), i(0), i(2), i(2), i(0xFF)}, dst},
      {"grp_reverse", {i(dst), i(0), i(0), i(2), i(2)}, dst},
      {"grp_sepia", {i(dst), i(0), i(0), i(2), i(2), i(0), i(0xFFFFFF)}, dst},
      {"grp_sepia", {i(mask), i(0), i(0), i(2), i(2), i(0), i(0xFFFFFF), i(9)}, mask},
      {"grp_copy", {i(src), i(0), i(0), i(2), i(2), i(dst), i(3), i(3)}, dst},
      {"grp_swap", {i(src), i(0), i(0), i(2), i(2), i(dst), i(3), i(3)}, src},
      {"grp_extcopy", {i(src), i(0), i(0), i(2), i(2), i(dst), i(3), i(3), i(100)}, dst},
      {"grp_mulcopy", {i(mask), i(0), i(0), i(2), i(2), i(mask2), i(0), i(0)}, mask2},
      {"grp_revmulcopy", {i(mask), i(0), i(0), i(2), i(2), i(mask2), i(0), i(0)}, mask2},
      {"grp_alfa_tabled_copy", {i(src), i(0), i(0), i(2), i(2), i(dst), i(0), i(0), i(mask), int_array(256, 0)}, dst},
      {"make_alfa_table", {i(mask), i(mask2), int_array(256, 7)}, mask2},
      {"grp_modcopy", {i(src), i(0), i(0), i(2), i(2), i(dst), i(0), i(0), i(4), i(4)}, dst},
      {"grp_modify_copy", {i(src), i(0), i(0), i(4), i(4), i(dst), i(0), i(0), i(8), i(8), f(30), f(1), f(1)}, dst},
      {"make_mosaic", {i(src), i(0), i(0), i(4), i(4), i(dst), i(0), i(0), i(2)}, dst},
      {"page_drawmode", {i(src), i(1)}, src},
  };
  for (Case& c : cases) {
    const script::SyscallEntry* fn = handler(c.call);
    ASSERT_NE(fn, nullptr);
    int32_t first = thread->sp;
    for (auto it = c.arguments.rbegin(); it != c.arguments.rend(); ++it) script::push_value(*thread, *it);
    script::CallArgs args{engine.script, *thread, *fn, int(c.arguments.size()), 0, true, first};
    fn->handler(engine, args);
    script::release_stack_above(*thread, first);
    EXPECT_TRUE(take_mark(c.marked)) << c.call;
    for (int32_t handle : {src, dst, mask, mask2}) take_mark(handle);
  }
  EXPECT_EQ(box_count(), 0u) << last_box();
}

TEST_F(PageCalls, extcopy_blends_through_the_source_alpha_page) {
  int32_t src = call("page_create_withalfa", {i(2), i(1)});
  int32_t dst = page(2, 1);
  call("grp_boxfill", {i(src), i(0), i(0), i(2), i(1), i(0xC8C8C8)});
  call("grp_boxfill", {i(dst), i(0), i(0), i(2), i(1), i(0x0A0A0A)});
  int32_t alpha = call("get_alfapage", {i(src)});
  call("grp_point_set", {i(alpha), i(0), i(0), i(254)});
  call("grp_point_set", {i(alpha), i(1), i(0), i(1)});
  call("grp_extcopy", {i(src), i(0), i(0), i(2), i(1), i(dst), i(0), i(0)});
  EXPECT_EQ(pixel_at(at(dst), 0, 0), (Bgr{10, 10, 10}));
  EXPECT_EQ(pixel_at(at(dst), 1, 0), (Bgr{200, 200, 200}));
  EXPECT_EQ(call("grp_point_get", {i(dst), i(1), i(0)}), 0xC8C8C8);
  EXPECT_EQ(call("grp_point_get", {i(dst), i(2), i(0)}), -1);
}

TEST_F(PageCalls, reattaching_the_owned_alpha_page_keeps_it_alive) {
  int32_t p = call("page_create_withalfa", {i(4), i(4)});
  int32_t owned = call("get_alfapage", {i(p)});
  call("page_set_antidata", {i(p), i(owned)});
  EXPECT_EQ(call("is_page", {i(owned)}), 1);
  EXPECT_EQ(call("get_alfapage", {i(p)}), owned);

  int32_t lent = page(4, 4, 0);
  call("page_set_antidata", {i(p), i(lent)});
  EXPECT_EQ(call("is_page", {i(owned)}), 0);  // the owned page goes when replaced
  EXPECT_EQ(call("get_alfapage", {i(p)}), lent);
  call("page_release", {i(p)});
  EXPECT_EQ(call("is_page", {i(lent)}), 1);  // an attached page stays with its creator
  EXPECT_EQ(box_count(), 0u) << last_box();
}

TEST_F(PageCalls, tabled_copy_reads_the_alpha_base_only_where_it_exists) {
  int32_t src = page(8, 8), dst = page(8, 8), base = page(2, 2, 0);
  call("grp_boxfill", {i(src), i(0), i(0), i(8), i(8), i(0xFFFFFF)});
  // Table: every base byte becomes 0 (opaque), so the covered part is copied.
  call("grp_alfa_tabled_copy", {i(src), i(0), i(0), i(8), i(8), i(dst), i(0), i(0), i(base), int_array(256, 0)});
  EXPECT_EQ(pixel_at(at(dst), 1, 1), (Bgr{255, 255, 255}));
  EXPECT_EQ(pixel_at(at(dst), 2, 0), Bgr{});
  EXPECT_EQ(pixel_at(at(dst), 0, 2), Bgr{});
  EXPECT_EQ(box_count(), 0u) << last_box();
}

TEST_F(PageCalls, mosaic_of_tile_size_below_one_does_nothing_silently) {
  int32_t src = page(4, 4), dst = page(4, 4);
  call("grp_boxfill", {i(src), i(0), i(0), i(4), i(4), i(0x123456)});
  for (int32_t size : {0, -1}) {
    EXPECT_EQ(call("make_mosaic", {i(src), i(0), i(0), i(4), i(4), i(dst), i(0), i(0), i(size)}), 0);
  }
  EXPECT_EQ(call("grp_point_get", {i(dst), i(1), i(1)}), 0);
  EXPECT_EQ(box_count(), 0u);
  call("make_mosaic", {i(src), i(0), i(0), i(4), i(4), i(dst), i(0), i(0), i(3)});
  EXPECT_EQ(call("grp_point_get", {i(dst), i(3), i(3)}), 0x123456);
}

TEST_F(PageCalls, modify_copy_with_whole_turns_is_the_centred_copy) {
  int32_t src = page(4, 4), dst = page(10, 10);
  call("grp_boxfill", {i(src), i(0), i(0), i(4), i(4), i(0x00FF00)});
  call("grp_modify_copy", {i(src), i(0), i(0), i(4), i(4), i(dst), i(0), i(0), i(10), i(10), f(720.0004f), f(1), f(1)});
  // Centred at (10 - 4 + 1) / 2 = 3.
  EXPECT_EQ(call("grp_point_get", {i(dst), i(3), i(3)}), 0x00FF00);
  EXPECT_EQ(call("grp_point_get", {i(dst), i(6), i(6)}), 0x00FF00);
  EXPECT_EQ(call("grp_point_get", {i(dst), i(2), i(3)}), 0);
  EXPECT_EQ(call("grp_point_get", {i(dst), i(7), i(7)}), 0);
}

// A 3 x 2 picture "face" of colour (10, 20, 30) whose transparency is 0
// (opaque) on the left column and 254 elsewhere; "solid" has no companion.
class PictureCalls : public PageCalls {
 protected:
  PictureCalls() {
    Page colour = testing::filled_page(3, 2, Depth::Rgb24, 0);
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < 3; ++x) testing::put_pixel(colour, x, y, {30, 20, 10});
    }
    Page transparency = testing::filled_page(3, 2, Depth::Indexed8, 254);
    transparency.row(0)[0] = transparency.row(1)[0] = 0;
    directory.write("data/face.png", encode_png(colour, &transparency));
    directory.write("data/solid.png", encode_png(colour));
  }
};

TEST_F(PictureCalls, sizes_existence_and_pages_from_files) {
  add_data_directory();
  EXPECT_EQ(call("pic_exists", {text("face")}), 1);
  EXPECT_EQ(call("pic_exists", {text("nothing")}), 0);
  EXPECT_EQ(call("pic_len_x", {text("face")}), 3);
  EXPECT_EQ(call("pic_len_y", {text("face")}), 2);

  int32_t plain = call("page_create_file", {text("face")});
  EXPECT_EQ(at(plain).width, 3);
  EXPECT_EQ(call("get_alfapage", {i(plain)}), 0);
  int32_t with_alpha = call("page_create_file_withalfa", {text("face")});
  int32_t alpha = call("get_alfapage", {i(with_alpha)});
  ASSERT_NE(alpha, 0);
  EXPECT_EQ(testing::index_at(at(alpha), 0, 1), 0);
  EXPECT_EQ(testing::index_at(at(alpha), 2, 1), 254);
  EXPECT_EQ(call("get_alfapage", {i(call("page_create_file_withalfa", {text("solid")}))}), 0);
  EXPECT_EQ(box_count(), 0u) << last_box();

  int32_t missing = call("page_create_file", {text("nothing_")});
  EXPECT_NE(last_box().find("page_create_file : ファイル[nothing_]が存在しません"), std::string::npos);
  EXPECT_EQ(at(missing).depth, Depth::Indexed8);
  EXPECT_EQ(at(missing).width, 1);
  EXPECT_EQ(at(call("page_create_file", {text("nothing")})).depth, Depth::Rgb24);
}

TEST_F(PictureCalls, missing_sizes_are_reported_until_the_engine_gives_up) {
  add_data_directory();
  // The headless answers retry three times, then cancel, which ends the engine.
  EXPECT_EQ(call("pic_len_y", {text("nothing")}), 1);
  EXPECT_TRUE(engine.stopping());
  EXPECT_NE(last_box().find("pic_len_y : ファイル[nothing]が存在しません"), std::string::npos);
  engine.script.debug_mode = false;
  size_t boxes = box_count();
  EXPECT_EQ(call("pic_len_x", {text("nothing")}), 1);
  EXPECT_EQ(box_count(), boxes);
}

TEST_F(PictureCalls, unpack_blends_through_the_companion_on_24_bit_pages_only) {
  add_data_directory();
  int32_t rgb = page(4, 4), indexed = page(4, 4, 0);
  call("grp_boxfill", {i(rgb), i(0), i(0), i(4), i(4), i(0x646464)});
  call("pic_unpack", {i(rgb), text("face"), i(-1), i(1)});
  // Column 0 of the picture falls off the page; column 1 (254) keeps the page.
  EXPECT_EQ(pixel_at(at(rgb), 0, 1), (Bgr{100, 100, 100}));
  call("pic_unpack", {i(rgb), text("face"), i(2), i(2)});
  EXPECT_EQ(pixel_at(at(rgb), 2, 2), (Bgr{30, 20, 10}));
  EXPECT_EQ(pixel_at(at(rgb), 3, 3), (Bgr{100, 100, 100}));
  EXPECT_EQ(box_count(), 0u) << last_box();

  call("pic_unpack", {i(indexed), text("face")});
  EXPECT_NE(last_box().find("pic_unpack : ファイル[face]を8bitページに転送しています"), std::string::npos);
  call("pic_unpack", {i(rgb), text("nothing")});
  EXPECT_NE(last_box().find("pic_unpack : ファイル[nothing]が存在しません"), std::string::npos);
  call("pic_unpack", {i(999), text("face")});
  EXPECT_NE(last_box().find("pic_unpack : ページが存在しません"), std::string::npos);
}

}  // namespace
}  // namespace tavelo::graphics
