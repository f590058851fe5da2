// Page system calls. Handles are validated through page_argument (one page)
// and page_pair (source, then destination), which report and let the handler
// return 0; the pixel work is the kernels' of pixel_ops and scaling.

#include "graphics/syscalls.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/picture.h"
#include "graphics/pixel_ops.h"
#include "graphics/scaling.h"
#include "graphics/sprite_table.h"
#include "graphics/state.h"
#include "graphics/syscall_arguments.h"
#include "host/engine_parts.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/state.h"
#include "script/waits.h"

namespace tavelo::graphics {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

std::optional<PageArgument> page_argument(host::Engine& engine, CallArgs& args, int index,
                                          std::string_view problem = "ページが存在しません") {
  return graphics::page_argument(host::graphics_of(engine), args, index, problem);
}

// The source and destination of a two-page call, source checked first.
struct PagePair {
  PageArgument src;
  PageArgument dst;
};

std::optional<PagePair> page_pair(host::Engine& engine, CallArgs& args, int src_index, int dst_index) {
  std::optional<PageArgument> src = page_argument(engine, args, src_index, "転送元ページが存在しません");
  if (!src) return std::nullopt;
  std::optional<PageArgument> dst = page_argument(engine, args, dst_index, "転送先ページが存在しません");
  if (!dst) return std::nullopt;
  return PagePair{*src, *dst};
}

Rect rect_arguments(const CallArgs& args, int first) {
  return {args.int_at(first), args.int_at(first + 1), args.int_at(first + 2), args.int_at(first + 3)};
}

void mark(host::Engine& engine, int32_t handle, Rect rect) { mark_changed(host::graphics_of(engine), handle, rect); }

// Marks the destination and, when it was written too, its alpha page.
void mark_with_alpha(host::Engine& engine, const PageArgument& page, const Page* alpha, Rect rect) {
  mark(engine, page.handle, rect);
  if (alpha) mark(engine, page.page->alpha_page, rect);
}

Rect whole(const Page& page) { return {0, 0, page.width, page.height}; }

// ---- creation, release, queries

CallStatus create(host::Engine& engine, CallArgs& args, bool with_alpha) {
  int32_t width = args.int_at(1), height = args.int_at(2);
  if (width <= 0 || height <= 0) script::report_call_error(args, "大きさが０以下のページは作成できません");
  Depth depth = args.has(3) && args.int_at(3) == 0 ? Depth::Indexed8 : Depth::Rgb24;
  int32_t handle = create_page(host::graphics_of(engine), width, height, depth, Holding::Script);
  if (handle == 0) {
    script::report_call_error(args, "ページが大きすぎて作成できません");
    return args.done();
  }
  if (with_alpha) create_owned_alpha(host::graphics_of(engine), handle);
  return args.done(handle);
}

CallStatus sys_page_create(host::Engine& engine, CallArgs& args) {
  return create(engine, args, false);
}

CallStatus sys_page_create_withalfa(host::Engine& engine, CallArgs& args) {
  return create(engine, args, true);
}

CallStatus sys_page_release(host::Engine& engine, CallArgs& args) {
  switch (release_page(host::graphics_of(engine), args.int_at(1), ReleaseMode::Ordinary)) {
    case ReleaseResult::NotFound:
      script::report_call_error(args, "ページが存在しません");
      break;
    case ReleaseResult::UsedBySprite:
      script::report_call_error(args, "指定されたページはスプライトに参照されています\n先にスプライトを解放してください");
      break;
    case ReleaseResult::Released:
    case ReleaseResult::EngineHeld:  // left alone without a word
      break;
  }
  return args.done();
}

CallStatus sys_page_drawmode(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (!page) return args.done();
  if (page->page->depth != Depth::Rgb24) {
    script::report_call_error(args, "８ビットページは変更できません");
    return args.done();
  }
  DrawMode mode = DrawMode(args.int_at(2));
  if (page->page->draw_mode != mode) {
    page->page->draw_mode = mode;
    mark(engine, page->handle, whole(*page->page));
  }
  return args.done();
}

CallStatus sys_page_set_antidata(host::Engine& engine, CallArgs& args) {
  // The engine's own messages name this call "set_antidata" for the two
  // missing pages and "page_set_antidata" for the rest.
  Page* page_record = find_page(host::graphics_of(engine), args.int_at(1));
  if (!page_record) {
    script::report_call_error_as(args, "set_antidata", "設定の親ページが存在しません");
    return args.done();
  }
  std::optional<PageArgument> page = PageArgument{args.int_at(1), page_record};
  Page* alpha_record = find_page(host::graphics_of(engine), args.int_at(2));
  if (!alpha_record) {
    script::report_call_error_as(args, "set_antidata", "αページが存在しません");
    return args.done();
  }
  std::optional<PageArgument> alpha = PageArgument{args.int_at(2), alpha_record};
  if (alpha->page->depth != Depth::Indexed8) {
    script::report_call_error(args, "αデータのページは８ビットで無いといけません");
    return args.done();
  }
  if (alpha->page->width != page->page->width || alpha->page->height != page->page->height) {
    script::report_call_error(args, "ページの大きさをそろえる必要が有ります。");
    return args.done();
  }
  // Attaching the page that is already the alpha page changes nothing; in
  // particular an owned one must not be released before it is attached again.
  if (page->page->alpha_page == alpha->handle) return args.done();
  if (page->page->owns_alpha && page->page->alpha_page != 0) {
    int32_t previous = page->page->alpha_page;
    page->page->alpha_page = 0;
    page->page->owns_alpha = false;
    release_page(host::graphics_of(engine), previous, ReleaseMode::Force);
  }
  page->page->alpha_page = alpha->handle;
  page->page->owns_alpha = false;
  return args.done();
}

CallStatus sys_get_alfapage(host::Engine& engine, CallArgs& args) {
  // Sprite and page handles never collide, so a sprite answers with its
  // source page's alpha page.
  State& state = host::graphics_of(engine);
  const Sprite* sprite = find_sprite(state, args.int_at(1));
  const Page* page = sprite ? find_page(state, sprite->source_page) : nullptr;
  if (!sprite) {
    std::optional<PageArgument> argument = page_argument(engine, args, 1, "指定ページが存在しません");
    if (!argument) return args.done();
    page = argument->page;
  }
  int32_t alpha = page ? page->alpha_page : 0;
  return args.done(alpha != 0 && find_page(state, alpha) ? alpha : 0);
}

CallStatus sys_page_len_x(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  return args.done(page ? page->page->width : 0);
}

CallStatus sys_page_len_y(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  return args.done(page ? page->page->height : 0);
}

CallStatus sys_is_page(host::Engine& engine, CallArgs& args) {
  return args.done(find_page(host::graphics_of(engine), args.int_at(1)) ? 1 : 0);
}

// ---- one-page drawing

CallStatus sys_grp_rgb(host::Engine&, CallArgs& args) {
  return args.done(int32_t(make_colour(uint32_t(args.int_at(1)), uint32_t(args.int_at(2)), uint32_t(args.int_at(3)))));
}

CallStatus sys_grp_point_get(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (!page) return args.done();
  return args.done(point_colour(*page->page, args.int_at(2), args.int_at(3)));
}

CallStatus sys_grp_point_set(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (!page) return args.done();
  mark(engine, page->handle, set_point(*page->page, args.int_at(2), args.int_at(3), uint32_t(args.int_at(4))));
  return args.done();
}

CallStatus sys_grp_boxfill(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (!page) return args.done();
  mark(engine, page->handle, fill_rect(*page->page, rect_arguments(args, 2), uint32_t(args.int_at(6))));
  return args.done();
}

CallStatus sys_grp_extboxfill(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (!page) return args.done();
  Rect changed = fill_rect_level(*page->page, rect_arguments(args, 2), uint32_t(args.int_at(6)), args.int_at(7));
  mark(engine, page->handle, changed);
  return args.done();
}

// A 24-bit page for the calls that cannot work on palette indices.
std::optional<PageArgument> full_colour_page(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (page && page->page->depth != Depth::Rgb24) {
    script::report_call_error(args, "256色には対応していません。");
    return std::nullopt;
  }
  return page;
}

CallStatus sys_grp_mulboxfill(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = full_colour_page(engine, args);
  if (!page) return args.done();
  mark(engine, page->handle, multiply_fill(*page->page, rect_arguments(args, 2), uint32_t(args.int_at(6))));
  return args.done();
}

CallStatus sys_grp_reverse(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = full_colour_page(engine, args);
  if (!page) return args.done();
  mark(engine, page->handle, invert_rect(*page->page, rect_arguments(args, 2)));
  return args.done();
}

CallStatus sys_grp_sepia(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (!page) return args.done();
  std::optional<int32_t> level;
  if (args.has(8)) level = args.int_at(8);
  Rect changed = sepia_rect(*page->page, rect_arguments(args, 2), uint32_t(args.int_at(6)),
                            uint32_t(args.int_at(7)), level);
  mark(engine, page->handle, changed);
  return args.done();
}

// ---- two-page copies

// Arguments src, x, y, xl, yl, dst, dx, dy clipped to both pages.
std::optional<CopyRegion> copy_region(const CallArgs& args, const PagePair& pages) {
  return clip_copy(*pages.src.page, rect_arguments(args, 2), *pages.dst.page, args.int_at(7), args.int_at(8));
}

bool is_24_to_8(const PagePair& pages) {
  return pages.src.page->depth == Depth::Rgb24 && pages.dst.page->depth == Depth::Indexed8;
}

CallStatus sys_grp_copy(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  if (is_24_to_8(*pages)) {
    script::report_call_error(args, "24Bit->8Bitのコピーです");
    return args.done();
  }
  std::optional<CopyRegion> region = copy_region(args, *pages);
  if (!region) return args.done();
  Page* src_alpha = find_alpha(host::graphics_of(engine), *pages->src.page);
  Page* dst_alpha = find_alpha(host::graphics_of(engine), *pages->dst.page);
  Rect changed = copy_pixels(*pages->src.page, src_alpha, *pages->dst.page, dst_alpha, *region);
  mark_with_alpha(engine, pages->dst, src_alpha ? dst_alpha : nullptr, changed);
  return args.done();
}

CallStatus sys_grp_swap(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  if (pages->src.page->depth != pages->dst.page->depth) {
    script::report_call_error(args, is_24_to_8(*pages) ? "24Bit->8Bitのコピーです" : "8Bit->24Bitのコピーです");
    return args.done();
  }
  std::optional<CopyRegion> region = copy_region(args, *pages);
  if (!region) return args.done();
  Page* src_alpha = find_alpha(host::graphics_of(engine), *pages->src.page);
  Page* dst_alpha = find_alpha(host::graphics_of(engine), *pages->dst.page);
  swap_pixels(*pages->src.page, src_alpha, *pages->dst.page, dst_alpha, *region);
  bool with_alpha = src_alpha && dst_alpha;
  mark_with_alpha(engine, pages->src, with_alpha ? src_alpha : nullptr, region->source());
  mark_with_alpha(engine, pages->dst, with_alpha ? dst_alpha : nullptr, region->destination());
  return args.done();
}

CallStatus sys_grp_extcopy(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  Page* src_alpha = find_alpha(host::graphics_of(engine), *pages->src.page);
  if (pages->dst.page->depth == Depth::Indexed8 && (pages->src.page->depth == Depth::Rgb24 || src_alpha)) {
    script::report_call_error(args, "転送先に8ビットは指定できません");
    return args.done();
  }
  std::optional<CopyRegion> region = copy_region(args, *pages);
  if (!region) return args.done();
  int32_t level = args.has(9) ? args.int_at(9) : 0;
  if (src_alpha) {
    Page* dst_alpha = find_alpha(host::graphics_of(engine), *pages->dst.page);
    Rect changed = alpha_copy(*pages->src.page, *src_alpha, *pages->dst.page, dst_alpha, *region, level);
    mark_with_alpha(engine, pages->dst, dst_alpha, changed);
  } else {
    mark(engine, pages->dst.handle, level_copy(*pages->src.page, *pages->dst.page, *region, level));
  }
  return args.done();
}

template <Rect (*kKernel)(const Page&, Page&, const CopyRegion&)>
CallStatus mask_copy(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  if (pages->src.page->depth != Depth::Indexed8 || pages->dst.page->depth != Depth::Indexed8) {
    script::report_call_error(args, "転送元、転送先共にに8ビットしか指定できません");
    return args.done();
  }
  std::optional<CopyRegion> region = copy_region(args, *pages);
  if (region) mark(engine, pages->dst.handle, kKernel(*pages->src.page, *pages->dst.page, *region));
  return args.done();
}

CallStatus sys_grp_mulcopy(host::Engine& engine, CallArgs& args) {
  return mask_copy<multiply_copy>(engine, args);
}

CallStatus sys_grp_revmulcopy(host::Engine& engine, CallArgs& args) {
  return mask_copy<reverse_multiply_copy>(engine, args);
}

// A table argument: an int array of at least 256 elements.
std::optional<LookupTable> table_argument(CallArgs& args, int index) {
  const script::ArrayBlock* array = args.array_at(index, script::ValueType::IntArray);
  if (!array || array->element_count() < 256) {
    script::report_call_error(args, "配列の要素が不足しています。");
    return std::nullopt;
  }
  return make_lookup_table({array->ints(), size_t(array->element_count())});
}

CallStatus sys_grp_alfa_tabled_copy(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  std::optional<PageArgument> base = page_argument(engine, args, 9, "αのベースページが存在しません");
  if (!base) return args.done();
  if (base->page->depth != Depth::Indexed8) {
    script::report_call_error(args, "αのページが８ビットでは有りません");
    return args.done();
  }
  if (is_24_to_8(*pages)) {
    script::report_call_error(args, "24Bit->8Bitのコピーです");
    return args.done();
  }
  std::optional<LookupTable> table = table_argument(args, 10);
  if (!table) return args.done();
  std::optional<CopyRegion> region = copy_region(args, *pages);
  if (!region) return args.done();
  // The base is read at the source coordinates; the part of the rectangle
  // beyond the base has no alpha and is not drawn.
  region->width = int32_t(std::min<int64_t>(region->width, int64_t(base->page->width) - region->src_x));
  region->height = int32_t(std::min<int64_t>(region->height, int64_t(base->page->height) - region->src_y));
  if (region->width <= 0 || region->height <= 0) return args.done();
  Page alpha = make_table_alpha(*base->page, *table);
  Page* dst_alpha = find_alpha(host::graphics_of(engine), *pages->dst.page);
  Rect changed = alpha_copy(*pages->src.page, alpha, *pages->dst.page, dst_alpha, *region, 0);
  mark_with_alpha(engine, pages->dst, dst_alpha, changed);
  return args.done();
}

CallStatus sys_make_alfa_table(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 2);
  if (!pages) return args.done();
  if (pages->src.page->depth != Depth::Indexed8) {
    script::report_call_error(args, "転送元αのページが８ビットでは有りません");
    return args.done();
  }
  if (pages->dst.page->depth != Depth::Indexed8) {
    script::report_call_error(args, "転送先αのページが８ビットでは有りません");
    return args.done();
  }
  std::optional<LookupTable> table = table_argument(args, 3);
  if (!table) return args.done();
  mark(engine, pages->dst.handle, map_through_table(*pages->src.page, *pages->dst.page, *table));
  return args.done();
}

// ---- scaling, rotation, mosaic

// The destination rectangle (dx, dy, dxl, dyl) of the scaling calls, cut to the page.
Rect scaled_destination(const CallArgs& args, const Page& dst) {
  return clip_to_page(rect_arguments(args, 7), dst.width, dst.height);
}

CallStatus sys_grp_modcopy(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  Page* src_alpha = find_alpha(host::graphics_of(engine), *pages->src.page);
  Page* dst_alpha = find_alpha(host::graphics_of(engine), *pages->dst.page);
  Rect drawn = scaled_copy(*pages->src.page, src_alpha, rect_arguments(args, 2), *pages->dst.page, dst_alpha,
                           rect_arguments(args, 7));
  if (!drawn.empty()) {
    mark_with_alpha(engine, pages->dst, src_alpha ? dst_alpha : nullptr, scaled_destination(args, *pages->dst.page));
  }
  return args.done();
}

CallStatus sys_grp_modify_copy(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  Page* src_alpha = find_alpha(host::graphics_of(engine), *pages->src.page);
  Page* dst_alpha = find_alpha(host::graphics_of(engine), *pages->dst.page);
  Rect drawn = rotated_copy(*pages->src.page, src_alpha, rect_arguments(args, 2), *pages->dst.page, dst_alpha,
                            rect_arguments(args, 7), args.float_at(11), args.float_at(12), args.float_at(13));
  if (!drawn.empty()) mark_with_alpha(engine, pages->dst, dst_alpha, scaled_destination(args, *pages->dst.page));
  return args.done();
}

CallStatus sys_make_mosaic(host::Engine& engine, CallArgs& args) {
  std::optional<PagePair> pages = page_pair(engine, args, 1, 6);
  if (!pages) return args.done();
  if (pages->src.page->depth != Depth::Rgb24 || pages->dst.page->depth != Depth::Rgb24) {
    script::report_call_error(args, "8Bitには対応していません");
    return args.done();
  }
  // A tile size below 1 has no meaningful mosaic: nothing is drawn.
  Rect changed = mosaic(*pages->src.page, rect_arguments(args, 2), *pages->dst.page, args.int_at(7), args.int_at(8),
                        args.int_at(9), host::graphics_of(engine).mosaic_random);
  mark(engine, pages->dst.handle, changed);
  return args.done();
}

// ---- pictures

// The companion of a picture (its name plus `_`) carries its transparency.
std::string companion_name(std::string_view name) { return std::string(name) + "_"; }

void report_missing_picture(CallArgs& args, std::string_view name) {
  script::report_call_error(args, "ファイル[%s]が存在しません", {name});
}

CallStatus create_from_file(host::Engine& engine, CallArgs& args, bool with_alpha) {
  std::string_view name = args.text_at(1);
  std::optional<Page> picture = pic_load(host::graphics_of(engine).pictures, args.machine, name);
  if (!picture) {
    // Both file calls report under the plain call's name.
    script::report_call_error_as(args, "page_create_file", "ファイル[%s]が存在しません", {name});
    // A stand-in the script can go on drawing with: 8-bit for a companion name.
    Depth depth = !name.empty() && name.back() == '_' ? Depth::Indexed8 : Depth::Rgb24;
    return args.done(create_page(host::graphics_of(engine), 1, 1, depth, Holding::Script));
  }
  picture->alpha_page = 0;
  picture->owns_alpha = false;
  int32_t handle = add_page(host::graphics_of(engine), std::move(*picture), Holding::Script);
  if (with_alpha && pic_find(host::graphics_of(engine).pictures, args.machine, companion_name(name))) {
    std::optional<Page> alpha = pic_load(host::graphics_of(engine).pictures, args.machine, companion_name(name));
    Page* page = find_page(host::graphics_of(engine), handle);
    // A companion that cannot serve as this page's alpha page is not attached.
    if (alpha && alpha->depth == Depth::Indexed8 && alpha->width == page->width && alpha->height == page->height) {
      int32_t alpha_handle = add_page(host::graphics_of(engine), std::move(*alpha), Holding::Script);
      page = find_page(host::graphics_of(engine), handle);
      page->alpha_page = alpha_handle;
      page->owns_alpha = true;
    }
  }
  return args.done(handle);
}

CallStatus sys_page_create_file(host::Engine& engine, CallArgs& args) { return create_from_file(engine, args, false); }

CallStatus sys_page_create_file_withalfa(host::Engine& engine, CallArgs& args) {
  return create_from_file(engine, args, true);
}

CallStatus sys_pic_exists(host::Engine& engine, CallArgs& args) {
  return args.done(pic_find(host::graphics_of(engine).pictures, args.machine, args.text_at(1)) ? 1 : 0);
}

// The size of a missing picture is reported and looked up again, so that an
// author can add the file and retry; without reports (or once the engine is
// ending) the answer is 1 at once.
CallStatus picture_length(host::Engine& engine, CallArgs& args, bool width) {
  std::string_view name = args.text_at(1);
  for (;;) {
    std::optional<PictureSize> size = pic_size(host::graphics_of(engine).pictures, args.machine, name);
    if (size) return args.done(width ? size->width : size->height);
    if (!args.machine.debug_mode || args.machine.stopping()) return args.done(1);
    report_missing_picture(args, name);
    if (args.machine.stopping()) return args.done(1);
  }
}

CallStatus sys_pic_len_x(host::Engine& engine, CallArgs& args) { return picture_length(engine, args, true); }

CallStatus sys_pic_len_y(host::Engine& engine, CallArgs& args) {
  return picture_length(engine, args, false);
}

CallStatus sys_pic_set_key(host::Engine& engine, CallArgs& args) {
  pic_set_key(host::graphics_of(engine).pictures, args.text_at(1));
  return args.done();
}

CallStatus sys_pic_unpack(host::Engine& engine, CallArgs& args) {
  std::optional<PageArgument> page = page_argument(engine, args, 1);
  if (!page) return args.done();
  std::string_view name = args.text_at(2);
  std::optional<PictureSize> size = pic_size(host::graphics_of(engine).pictures, args.machine, name);
  if (!size) {
    report_missing_picture(args, name);
    return args.done();
  }
  if (page->page->depth == Depth::Indexed8 && pic_is_fullcolor(host::graphics_of(engine).pictures, args.machine, name) == 1) {
    script::report_call_error(args, "ファイル[%s]を8bitページに転送しています", {name});
    return args.done();
  }
  std::optional<CopyRegion> region = clip_copy({0, 0, size->width, size->height}, size->width, size->height,
                                               args.int_at(3), args.int_at(4), page->page->width, page->page->height);
  if (!region) return args.done();
  std::shared_ptr<const Page> picture = pic_load_shared(host::graphics_of(engine).pictures, args.machine, name);
  if (!picture) return args.done();
  // The decoded picture may differ from the size the header announced.
  region = clip_copy(region->source(), picture->width, picture->height, region->dst_x, region->dst_y,
                     page->page->width, page->page->height);
  if (!region) return args.done();
  // The companion blends a 24-bit destination only: the alpha copy writes
  // colours, which an 8-bit page cannot hold, so there the picture is copied.
  std::shared_ptr<const Page> companion;
  if (page->page->depth == Depth::Rgb24 && pic_find(host::graphics_of(engine).pictures, args.machine, companion_name(name))) {
    companion = pic_load_shared(host::graphics_of(engine).pictures, args.machine, companion_name(name));
    if (companion && (companion->depth != Depth::Indexed8 || companion->width != picture->width ||
                      companion->height != picture->height)) {
      companion.reset();
    }
  }
  Rect changed;
  Page* dst_alpha = nullptr;
  if (companion) {
    dst_alpha = find_alpha(host::graphics_of(engine), *page->page);
    changed = alpha_copy(*picture, *companion, *page->page, dst_alpha, *region, 0);
  } else {
    changed = copy_pixels(*picture, nullptr, *page->page, nullptr, *region);
  }
  mark_with_alpha(engine, *page, dst_alpha, changed);
  return args.done();
}

// ---- frames

// Waits for the next due frame; with a non-zero argument the frame is not
// asked for, only waited for.
CallStatus sys_wait_frame(host::Engine& engine, CallArgs& args) {
  script::Frame& frame = args.thread.frame();
  FramePacer& pacer = host::graphics_of(engine).pacer;
  if (!frame.waiting) {
    frame.waiting = true;
    frame.wait_deadline = script::as_deadline(int64_t(args.machine.clock.held) + 1);
    frame.wait_frame_stamp = pacer.frame_counter;
    if (!(args.has(1) && args.int_at(1) != 0)) pacer.forced = true;
    return CallStatus::Again;
  }
  if (pacer.display_lock != 0) return script::finish_wait(args, 0);
  if (script::deadline_reached(args.machine.clock.held, frame.wait_deadline) &&
      pacer.frame_counter != frame.wait_frame_stamp) {
    return script::finish_wait(args, 0);
  }
  return script::poll_again(args);
}

constexpr auto kNone = script::SyscallFlags::None;

constexpr std::array kPageSyscalls = {
    SyscallEntry{0x83D81F59, "page_create", sys_page_create, kNone,
                 "int width, int height [, int fullcolour = 1] -> int the page; 0 makes an 8-bit page"},
    SyscallEntry{0xF94B3586, "page_create_withalfa", sys_page_create_withalfa, kNone,
                 "int width, int height [, int fullcolour = 1] -> int the page, with an opaque alpha page"},
    SyscallEntry{0xDAD96289, "page_create_file", sys_page_create_file, kNone,
                 "str picture -> int a page holding the picture"},
    SyscallEntry{0x57EFA275, "page_create_file_withalfa", sys_page_create_file_withalfa, kNone,
                 "str picture -> int a page holding the picture, its companion as alpha page"},
    SyscallEntry{0xC50DFD06, "page_release", sys_page_release, kNone, "int page -> int 0; with its own alpha page"},
    SyscallEntry{0x5E4E3063, "page_drawmode", sys_page_drawmode, kNone, "int page, int mode -> int 0"},
    SyscallEntry{0xF9705332, "page_set_antidata", sys_page_set_antidata, kNone,
                 "int page, int alpha_page -> int 0; an 8-bit page of the same size becomes its alpha page"},
    SyscallEntry{0x70612DB5, "get_alfapage", sys_get_alfapage, kNone,
                 "int page -> int the alpha page, 0 when none; of a sprite's source page for a sprite"},
    SyscallEntry{0xF8FD08F6, "page_len_x", sys_page_len_x, kNone, "int page -> int the width"},
    SyscallEntry{0x65F2E980, "page_len_y", sys_page_len_y, kNone, "int page -> int the height"},
    SyscallEntry{0x8D84B83F, "is_page", sys_is_page, kNone, "int page -> int 1 when the handle is a live page"},
    SyscallEntry{0xD3C06820, "pic_exists", sys_pic_exists, kNone, "str picture -> int 1 when the picture exists"},
    SyscallEntry{0x539B07BC, "pic_len_x", sys_pic_len_x, kNone, "str picture -> int the picture's width"},
    SyscallEntry{0xCE94E6CA, "pic_len_y", sys_pic_len_y, kNone, "str picture -> int the picture's height"},
    SyscallEntry{0x7A7B6ED4, "pic_set_key", sys_pic_set_key, kNone, "str key -> int 0; the key of scrambled pictures"},
    SyscallEntry{0x5EB974F7, "pic_unpack", sys_pic_unpack, kNone,
                 "int page, str picture [, int x = 0 [, int y = 0]] -> int 0; draws the picture into the page"},
    SyscallEntry{0x924EE3EB, "grp_rgb", sys_grp_rgb, kNone, "int red, int green, int blue -> int the colour value"},
    SyscallEntry{0x4C310B4B, "grp_point_get", sys_grp_point_get, kNone,
                 "int page, int x, int y -> int the colour there, -1 outside the page"},
    SyscallEntry{0x7E277952, "grp_point_set", sys_grp_point_set, kNone, "int page, int x, int y, int colour -> int 0"},
    SyscallEntry{0xD01BE374, "grp_boxfill", sys_grp_boxfill, kNone,
                 "int page, int x, int y, int width, int height, int colour -> int 0"},
    SyscallEntry{0xFDDF6C40, "grp_extboxfill", sys_grp_extboxfill, kNone,
                 "int page, int x, int y, int width, int height, int colour, "
                 "int level -> int 0; level 0 opaque to 255 invisible"},
    SyscallEntry{0x61BAE53C, "grp_mulboxfill", sys_grp_mulboxfill, kNone,
                 "int page, int x, int y, int width, int height, int colour -> int 0; multiplies (24-bit pages)"},
    SyscallEntry{0x053FAC99, "grp_reverse", sys_grp_reverse, kNone,
                 "int page, int x, int y, int width, int height -> int 0; inverts (24-bit pages)"},
    SyscallEntry{0xFD128A61, "grp_sepia", sys_grp_sepia, kNone,
                 "int page, int x, int y, int width, int height, int dark, int "
                 "light [, int level] -> int 0; brightness onto a two-colour ramp"},
    SyscallEntry{0x56BBBA3A, "grp_copy", sys_grp_copy, kNone,
                 "int src, int x, int y, int width, int height, int dst, int dx, int dy -> int 0"},
    SyscallEntry{0x87113971, "grp_swap", sys_grp_swap, kNone,
                 "int src, int x, int y, int width, int height, int dst, "
                 "int dx, int dy -> int 0; exchanges the two rectangles"},
    SyscallEntry{0x30636D6E, "grp_extcopy", sys_grp_extcopy, kNone,
                 "int src, int x, int y, int width, int height, int dst, int dx, int dy [, "
                 "int level = 0] -> int 0; through the source's alpha page, else by level"},
    SyscallEntry{0xA361D9F7, "grp_mulcopy", sys_grp_mulcopy, kNone,
                 "int src, int x, int y, int width, int height, int dst, "
                 "int dx, int dy -> int 0; multiplies (8-bit pages)"},
    SyscallEntry{0x4697D2DD, "grp_revmulcopy", sys_grp_revmulcopy, kNone,
                 "int src, int x, int y, int width, int height, int dst, "
                 "int dx, int dy -> int 0; reverse-multiplies (8-bit pages)"},
    SyscallEntry{0xE5E4E2FF, "grp_alfa_tabled_copy", sys_grp_alfa_tabled_copy, kNone,
                 "int src, int x, int y, int width, int height, int dst, int dx, int dy, int alpha_page, "
                 "int[] table -> int 0; through the alpha page mapped by the 256-entry table"},
    SyscallEntry{0x3CAD3884, "make_alfa_table", sys_make_alfa_table, kNone,
                 "int src, int dst, int[] table -> int 0; maps one "
                 "8-bit page through the 256-entry table into the other"},
    SyscallEntry{0xDA675785, "grp_modcopy", sys_grp_modcopy, kNone,
                 "int src, int x, int y, int width, int height, int dst, int dx, int dy, "
                 "int dwidth, int dheight -> int 0; scales the rectangle onto the other"},
    SyscallEntry{0xAC796720, "grp_modify_copy", sys_grp_modify_copy, kNone,
                 "int src, int x, int y, int width, int height, int dst, int dx, int dy, int dwidth, int dheight, "
                 "float angle, float scale_x, float scale_y -> int 0; rotates (degrees) and scales about the centres"},
    SyscallEntry{0x9AC11F47, "make_mosaic", sys_make_mosaic, kNone,
                 "int src, int x, int y, int width, int height, int dst, int dx, int "
                 "dy, int size -> int 0; a mosaic of size-pixel tiles (24-bit pages)"},
    SyscallEntry{0x4662E95D, "wait_frame", sys_wait_frame, kNone,
                 "[int no_request = 0] -> int 0; waits for the next frame; non-zero: without asking for one"},
};

}  // namespace

std::span<const SyscallEntry> page_syscalls() { return kPageSyscalls; }

}  // namespace tavelo::graphics
