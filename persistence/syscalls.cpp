// Persistence system calls: slot queries, thumbnails, the save switches and
// the persistent name set. Saving and loading a game reach across the engine
// and are host/save_syscalls.cpp's.

#include "persistence/syscalls.h"

#include <cstdio>
#include <string>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/state.h"
#include "host/engine_parts.h"
#include "persistence/save_paths.h"
#include "persistence/state.h"
#include "persistence/thumbnail.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "script/error_report.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::persistence {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

// The summary of a slot's file; false when it is missing or not a save.
bool slot_summary(const std::string& path, SaveSummary& summary, bool with_thumbnail) {
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(path);
  return bytes && read_save_summary(*bytes, summary, with_thumbnail);
}

CallStatus sys_slot_comment(host::Engine& engine, CallArgs& args) {
  SaveSummary summary;
  bool present = slot_summary(slot_path(host::resources_of(engine), args.int_at(1), false), summary, false);
  return args.done_text(present ? summary.comment : std::string());
}

CallStatus sys_slot_time(host::Engine& engine, CallArgs& args) {
  SaveSummary summary;
  std::string path = slot_path(host::resources_of(engine), args.int_at(1), false);
  platform::LocalTime time;
  if (!slot_summary(path, summary, false) || !platform::file_local_time(path, time)) {
    return args.done_text({});
  }
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", time.year % 100, time.month, time.day, time.hour,
                time.minute, time.second);
  return args.done_text(text);
}

// A thumbnail larger than save files hold would be written and then refused
// by every load: the call refuses it instead, and the snapshot keeps the
// thumbnail it had.
CallStatus sys_capture_thumbnail(host::Engine& engine, CallArgs& args) {
  const int32_t width = args.int_at(1);
  const int32_t height = args.int_at(2);
  if (width > kMaxThumbnailSide || height > kMaxThumbnailSide) {
    script::report_call_error(args, "サムネイルが大きすぎます（%d×%d、一辺%dまで）", {width, height, kMaxThumbnailSide});
    return args.done(-1);
  }
  graphics::State& graphics = host::graphics_of(engine);
  const int32_t handle = args.has(3) && args.int_at(3) != 0 ? args.int_at(3) : graphics.screen.display_page;
  // A missing or indexed page leaves the snapshot without a thumbnail.
  const graphics::Page* page = graphics::find_page(graphics, handle);
  SaveImage& snapshot = host::persistence_of(engine).snapshot;
  if (page) {
    snapshot.thumbnail = reduce_to_pixels(*page, {0, 0, page->width, page->height}, width, height);
    snapshot.thumbnail_width = snapshot.thumbnail.empty() ? 0 : width;
    snapshot.thumbnail_height = snapshot.thumbnail.empty() ? 0 : height;
  }
  return args.done(0);
}

// Draws a thumbnail's pixels onto a page and marks what changed.
int32_t draw_thumbnail(host::Engine& engine, std::span<const uint8_t> pixels, int32_t width, int32_t height,
                       int32_t handle, int32_t x, int32_t y) {
  if (width <= 0 || pixels.empty()) return -1;
  graphics::Page* page = graphics::find_page(host::graphics_of(engine), handle);
  if (!page) return 0;
  graphics::Rect changed = draw_pixels(pixels, width, height, *page, x, y);
  if (!changed.empty()) graphics::mark_changed(host::graphics_of(engine), handle, changed);
  return 0;
}

CallStatus sys_draw_slot_thumbnail(host::Engine& engine, CallArgs& args) {
  SaveSummary summary;
  if (!slot_summary(slot_path(host::resources_of(engine), args.int_at(1), false), summary, true)) return args.done(-1);
  return args.done(draw_thumbnail(engine, summary.thumbnail, summary.thumbnail_width, summary.thumbnail_height,
                                  args.int_at(2), args.int_at(3), args.int_at(4)));
}

CallStatus sys_make_thumbnail(host::Engine& engine, CallArgs& args) {
  graphics::Page* source = graphics::find_page(host::graphics_of(engine), args.int_at(1));
  graphics::Page* destination = graphics::find_page(host::graphics_of(engine), args.int_at(6));
  if (!source || !destination) return args.done(0);
  graphics::Rect changed = reduce_into_page(*source, {args.int_at(2), args.int_at(3), args.int_at(4), args.int_at(5)},
                                            *destination, {args.int_at(7), args.int_at(8), args.int_at(9), args.int_at(10)});
  if (!changed.empty()) graphics::mark_changed(host::graphics_of(engine), args.int_at(6), changed);
  return args.done(0);
}

CallStatus sys_draw_snapshot_thumbnail(host::Engine& engine, CallArgs& args) {
  const SaveImage& snapshot = host::persistence_of(engine).snapshot;
  return args.done(draw_thumbnail(engine, snapshot.thumbnail, snapshot.thumbnail_width, snapshot.thumbnail_height,
                                  args.int_at(1), args.int_at(2), args.int_at(3)));
}

CallStatus sys_date_time_text(host::Engine& engine, CallArgs& args) {
  platform::LocalTime now = host::platform_of(engine).local_time();
  char text[48];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour, now.minute,
                now.second);
  return args.done_text(text);
}

CallStatus sys_current_comment(host::Engine& engine, CallArgs& args) {
  return args.done_text(host::persistence_of(engine).snapshot.comment);
}

CallStatus sys_disable_save_points(host::Engine& engine, CallArgs& args) {
  State& state = host::persistence_of(engine);
  bool was = state.save_points_enabled;
  state.save_points_enabled = false;
  return args.done(was ? 1 : 0);
}

CallStatus sys_enable_save_points(host::Engine& engine, CallArgs& args) {
  host::persistence_of(engine).save_points_enabled = true;
  return args.done(0);
}

CallStatus sys_disable_saving(host::Engine& engine, CallArgs& args) {
  State& state = host::persistence_of(engine);
  bool was = state.saving_enabled;
  state.saving_enabled = false;
  host::refresh_window_menu(engine);
  return args.done(was ? 1 : 0);
}

CallStatus sys_enable_saving(host::Engine& engine, CallArgs& args) {
  host::persistence_of(engine).saving_enabled = true;
  host::refresh_window_menu(engine);
  return args.done(0);
}

CallStatus sys_is_saving_disabled(host::Engine& engine, CallArgs& args) {
  return args.done(host::persistence_of(engine).saving_enabled ? 0 : 1);
}

CallStatus sys_mark_name(host::Engine& engine, CallArgs& args) {
  return args.done(mark_name(host::persistence_of(engine).names, marked_name_hash(args.text_at(1))));
}

CallStatus sys_is_name_marked(host::Engine& engine, CallArgs& args) {
  return args.done(is_name_marked(host::persistence_of(engine).names, marked_name_hash(args.text_at(1))) ? 1 : 0);
}

constexpr SyscallEntry kSyscalls[] = {
    {0x65075141, "save_comment", sys_slot_comment, {}, "int slot -> str the slot's comment, or \"\""},
    {0xA549E852, "save_time", sys_slot_time, {}, "int slot -> str \"yy/mm/dd hh:mm:ss\" of the slot's file, or \"\""},
    {0x9143DC9E, "capture_thumbnail", sys_capture_thumbnail, {},
     "int width, int height [, int page] -> int 0; from the page, or from the screen; "
     "-1 for a side over 4096 (reported)"},
    {0x78A6A112, "draw_save_thumbnail", sys_draw_slot_thumbnail, {},
     "int slot, int page, int x, int y -> int 0, or -1 without one; the slot's thumbnail"},
    {0xE91B0504, "make_thumbnail", sys_make_thumbnail, {},
     "int from_page, int from_x, int from_y, int from_width, int from_height, int to_page, int "
     "to_x, int to_y, int to_width, int to_height -> int 0; reduces one area into the other"},
    {0x89CE8C53, "draw_thumbnail", sys_draw_snapshot_thumbnail, {},
     "int page, int x, int y -> int 0, or -1 without one; the snapshot's thumbnail"},
    {0x8CD709F9, "date_time_text", sys_date_time_text, {}, "-> str now as \"yyyy/mm/dd hh:mm:ss\""},
    {0x4C99B0EA, "current_comment", sys_current_comment, {}, "-> str the snapshot's comment"},
    {0x7C3B36C5, "disable_save_points", sys_disable_save_points, {}, "-> int the previous state"},
    {0x1BB47604, "enable_save_points", sys_enable_save_points, {}, "-> int 0"},
    {0x44B5C4ED, "disable_saving", sys_disable_saving, {}, "-> int the previous state"},
    {0x4D849AA6, "enable_saving", sys_enable_saving, {}, "-> int 0"},
    {0x4FFAB7C4, "is_saving_disabled", sys_is_saving_disabled, {}, "-> int 1 while saving is disabled"},
    {0xEB5CC468, "mark_name", sys_mark_name, {}, "str name -> int 0, or -1 when the set of 10000 is full"},
    {0x99A5DE25, "is_name_marked", sys_is_name_marked, {}, "str name -> int 1 when marked"},
};

}  // namespace

std::span<const SyscallEntry> syscalls() { return kSyscalls; }

}  // namespace tavelo::persistence
