// Screen system calls: the display page, change marks scripts ask for, the
// update lock, offsets, view, display scale and zoom. A geometry the window
// cannot take (no size, no scale, larger than kMaxWindowSide) is reported and
// changes nothing.

#include <array>
#include <cmath>
#include <optional>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/screen.h"
#include "graphics/state.h"
#include "graphics/syscall_arguments.h"
#include "graphics/syscalls.h"
#include "host/engine_parts.h"
#include "script/error_report.h"

namespace tavelo::graphics {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

CallStatus geometry_done(CallArgs& args, GeometryResult result) {
  switch (result) {
    case GeometryResult::Done: break;
    case GeometryResult::BadSize: script::report_call_error(args, "大きさが０以下の画面は設定できません"); break;
    case GeometryResult::BadScale: script::report_call_error(args, "倍率は０より大きくしてください"); break;
    case GeometryResult::TooLarge:
      script::report_call_error(args, "画面が大きすぎます（縦横とも16384ピクセルまでです）");
      break;
  }
  return args.done();
}

CallStatus sys_get_frontbuffer(host::Engine& engine, CallArgs& args) {
  return args.done(host::graphics_of(engine).screen.display_page);
}

CallStatus sys_set_frontbuffer(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  std::optional<PageArgument> page = page_argument(state, args, 1);
  if (!page) return args.done();
  int32_t previous = state.screen.display_page;
  set_display_page(state, page->handle);
  mark_whole_page(state, page->handle);
  return args.done(previous);
}

CallStatus sys_invalidate_rect(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  std::optional<PageArgument> page = page_argument(state, args, 1);
  if (!page) return args.done();
  Rect rect = args.count >= 5 ? Rect{args.int_at(2), args.int_at(3), args.int_at(4), args.int_at(5)}
                              : Rect{0, 0, page->page->width, page->page->height};
  mark_changed(state, page->handle, rect);
  return args.done();
}

CallStatus sys_update_lock(host::Engine& engine, CallArgs& args) {
  int32_t& lock = host::graphics_of(engine).pacer.display_lock;
  if (lock < INT32_MAX) ++lock;
  return args.done();
}

CallStatus sys_update_unlock(host::Engine& engine, CallArgs& args) {
  // An unlock without a lock is ignored: a count below 0 would make the
  // next lock not lock.
  int32_t& lock = host::graphics_of(engine).pacer.display_lock;
  if (lock > 0) --lock;
  return args.done();
}

CallStatus sys_screen_offset(host::Engine& engine, CallArgs& args) {
  set_script_offset(host::graphics_of(engine), {args.int_at(1), args.int_at(2)});
  return args.done();
}

CallStatus sys_screen_zoom(host::Engine& engine, CallArgs& args) {
  double per_mille = std::trunc(double(args.float_at(1)) * 1000.0);
  // NaN and values beyond any window are refused like a zero scale or a huge one.
  int32_t zoom = !(per_mille >= 1.0) ? 0 : per_mille > 1e6 ? 1000000 : int32_t(per_mille);
  return geometry_done(args, zoom_screen(host::graphics_of(engine), zoom));
}

CallStatus sys_screen_view_set(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  Rect view{args.int_at(3), args.int_at(4), args.int_at(1), args.int_at(2)};
  GeometryResult result = set_view(state, view, std::nullopt);
  if (result == GeometryResult::Done) clear_display_page(state);
  return geometry_done(args, result);
}

CallStatus sys_screen_window_set(host::Engine& engine, CallArgs& args) {
  int32_t scale_x = args.count >= 3 ? args.int_at(3) : kUnitScale;
  int32_t scale_y = args.count >= 4 ? args.int_at(4) : kUnitScale;
  return geometry_done(args, set_window(host::graphics_of(engine), args.int_at(1), args.int_at(2), scale_x, scale_y));
}

// screen_mode_find (0xF63ED9AE) needs the platform's display modes and the
// wide choice; it lives with the display modes in host/.
constexpr auto kNone = script::SyscallFlags::None;

constexpr std::array kScreenSyscalls = {
    SyscallEntry{0x3E11F2C5, "get_frontbuffer", sys_get_frontbuffer, kNone, "-> int the display page"},
    SyscallEntry{0x2399D761, "set_frontbuffer", sys_set_frontbuffer, kNone,
                 "int page -> int the previous display page"},
    SyscallEntry{0xCF2B1E50, "update_lock", sys_update_lock, kNone, "-> int 0; holds the screen until update_unlock"},
    SyscallEntry{0x6DE6CDFC, "update_unlock", sys_update_unlock, kNone, "-> int 0"},
    SyscallEntry{0xDFD5599E, "invalidate_rect", sys_invalidate_rect, kNone,
                 "int page [, int x, int y, int width, int height] -> int 0; marks the rectangle or the page changed"},
    SyscallEntry{0x09C43040, "screen_view_set", sys_screen_view_set, kNone,
                 "int width, int height [, int x = 0, int y = 0] -> int 0; the view of the display page"},
    SyscallEntry{0x29098EC0, "screen_window_set", sys_screen_window_set, kNone,
                 "int width, int height [, int scale_x = 1000 [, int scale_y "
                 "= 1000]] -> int 0; thousandths; resizes the window"},
    SyscallEntry{0x171AEE22, "screen_offset", sys_screen_offset, kNone, "int x, int y -> int 0"},
    SyscallEntry{0x4FA8483F, "screen_zoom", sys_screen_zoom, kNone, "float zoom -> int 0"},
};

}  // namespace

std::span<const SyscallEntry> screen_syscalls() { return kScreenSyscalls; }

}  // namespace tavelo::graphics
