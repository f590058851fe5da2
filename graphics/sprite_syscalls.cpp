// Sprite system calls: creation from pages and pictures, release, paste,
// moves, frame, level and scale animations, rotation, stacking and hiding,
// and the waits for moves and animations. Every call that takes a sprite
// reports a handle that is no live sprite and gives 0.

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/composition.h"
#include "graphics/page_table.h"
#include "graphics/picture.h"
#include "graphics/sprite_motion.h"
#include "graphics/sprite_table.h"
#include "graphics/state.h"
#include "graphics/syscall_arguments.h"
#include "graphics/syscalls.h"
#include "host/engine_parts.h"
#include "script/error_report.h"
#include "script/state.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::graphics {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

uint32_t now(const CallArgs& args) { return args.machine.clock.held; }

// ---- creation

// The creations that share sprite_create's rules report its name for the
// destination and the size, whichever form was called.
constexpr std::string_view kCreateName = "sprite_create";

enum class Transformed { No, Yes };

// The part every creation shares once the source page exists: the source
// rectangle by argument count (1: the whole page; 5 or 6: x, y, xl, yl, and
// topage), the destination, the size. Returns the handle, 0 when refused.
int32_t create_on_page(State& state, CallArgs& args, int32_t page_handle, std::string_view count_problem,
                       Transformed transformed) {
  const Page* page = find_page(state, page_handle);
  if (!page) return 0;
  if (args.count != 1 && args.count != 5 && args.count != 6) script::report_call_error(args, count_problem);
  bool with_rect = args.count >= 5;
  Rect source = with_rect ? Rect{args.int_at(2), args.int_at(3), args.int_at(4), args.int_at(5)}
                          : Rect{0, 0, page->width, page->height};
  int32_t destination = state.screen.display_page;
  if (args.count >= 6) {
    destination = args.int_at(6);
    if (!find_page(state, destination)) {
      script::report_call_error_as(args, kCreateName, "転送先ページが存在しません");
      return 0;
    }
  }
  if (source.width < 1 || source.height < 1) {
    script::report_call_error_as(args, kCreateName, "大きさが０以下のスプライトは作成できません");
    source.width = std::max(source.width, 1);
    source.height = std::max(source.height, 1);
  }
  int32_t handle = create_sprite(state, page_handle, source, destination);
  if (Sprite* sprite = find_sprite(state, handle); sprite && transformed == Transformed::Yes) sprite->transform.on = true;
  return handle;
}

CallStatus create_from_page(host::Engine& engine, CallArgs& args, Transformed transformed) {
  State& state = host::graphics_of(engine);
  std::optional<PageArgument> page = page_argument(state, args, 1);
  if (!page) return args.done();
  return args.done(create_on_page(
      state, args, page->handle, "パラメータは１個か５個か６個(_no, _x, _y, _xl, _y, _topage)のどれかにして下さい",
      transformed));
}

CallStatus sys_sprite_create(host::Engine& engine, CallArgs& args) {
  return create_from_page(engine, args, Transformed::No);
}

CallStatus sys_sprite_create_mod(host::Engine& engine, CallArgs& args) {
  return create_from_page(engine, args, Transformed::Yes);
}

// The picture as a page of its own. A missing picture is reported and looked
// up again, so that an author can add the file and retry; without reports it
// becomes a 1 x 1 stand-in (8-bit for a companion's name). 0 once the engine
// is ending.
int32_t load_picture_page(State& state, CallArgs& args, std::string_view name) {
  for (;;) {
    std::optional<Page> picture = pic_load(state.pictures, args.machine, name);
    if (picture) {
      picture->alpha_page = 0;
      picture->owns_alpha = false;
      return add_page(state, std::move(*picture), Holding::Script);
    }
    if (args.machine.stopping()) return 0;
    if (!args.machine.debug_mode) {
      Depth depth = !name.empty() && name.back() == '_' ? Depth::Indexed8 : Depth::Rgb24;
      return create_page(state, 1, 1, depth, Holding::Script);
    }
    script::report_call_error(args, "ファイル[%s]が存在しません", {name});
    if (args.machine.stopping()) return 0;
  }
}

// The companion (the name plus `_`) becomes the page's owned alpha page when
// it is an 8-bit picture of the page's size; otherwise it is reported and
// left out.
void attach_companion(State& state, CallArgs& args, int32_t page_handle, std::string_view name) {
  std::string companion = std::string(name) + "_";
  if (!pic_find(state.pictures, args.machine, companion)) return;
  std::optional<Page> alpha = pic_load(state.pictures, args.machine, companion);
  if (!alpha) return;
  const Page* page = find_page(state, page_handle);
  if (alpha->depth != Depth::Indexed8) {
    script::report_call_error(args, "ファイル[%s]は8ビットでは有りません", {std::string_view(companion)});
    return;
  }
  if (alpha->width != page->width || alpha->height != page->height) {
    script::report_call_error(args, "ページの大きさをそろえる必要が有ります。");
    return;
  }
  alpha->alpha_page = 0;
  alpha->owns_alpha = false;
  int32_t alpha_handle = add_page(state, std::move(*alpha), Holding::Script);
  Page* owner = find_page(state, page_handle);
  owner->alpha_page = alpha_handle;
  owner->owns_alpha = true;
}

CallStatus create_from_file(host::Engine& engine, CallArgs& args, Transformed transformed) {
  State& state = host::graphics_of(engine);
  std::string name(args.text_at(1));
  int32_t page_handle = load_picture_page(state, args, name);
  if (page_handle == 0) return args.done();
  attach_companion(state, args, page_handle, name);
  // A transformed picture is drawn through its alpha page, so it gets one.
  if (transformed == Transformed::Yes && find_page(state, page_handle)->alpha_page == 0) {
    create_owned_alpha(state, page_handle);
  }
  int32_t handle = create_on_page(
      state, args, page_handle,
      "パラメータは１個か５個か６個(_file, _x, _y, _xl, _yl, _topage)のどれかにして下さい", transformed);
  if (handle == 0) {
    release_page(state, page_handle, ReleaseMode::Force);
    return args.done();
  }
  find_sprite(state, handle)->owns_page = true;
  return args.done(handle);
}

CallStatus sys_sprite_create_file(host::Engine& engine, CallArgs& args) {
  return create_from_file(engine, args, Transformed::No);
}

CallStatus sys_sprite_create_file_mod(host::Engine& engine, CallArgs& args) {
  return create_from_file(engine, args, Transformed::Yes);
}

// ---- one sprite

CallStatus sys_sprite_release(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  if (Sprite* sprite = sprite_argument(state, args)) release_sprite(state, sprite->handle);
  return args.done();
}

CallStatus sys_sprite_paste(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  Sprite* sprite = sprite_argument(state, args);
  if (!sprite) return args.done();
  std::optional<PageArgument> target = page_argument(state, args, 2, "出力先ページが存在しません");
  if (!target) return args.done();
  std::optional<Point> at;
  if (args.count >= 4) at = Point{args.int_at(3), args.int_at(4)};
  paste_sprite(state, *sprite, target->handle, at, now(args));
  return args.done();
}

CallStatus sys_sprite_move(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  Sprite* sprite = sprite_argument(state, args);
  if (!sprite) return args.done();
  uint32_t timing = args.count >= 4 ? uint32_t(args.int_at(4)) : 0;
  start_move(state, *sprite, args.int_at(2), args.int_at(3), timing, now(args));
  return args.done();
}

CallStatus sys_is_sprite_move(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  return args.done(sprite && sprite->move.phase == Phase::Running ? 1 : 0);
}

CallStatus sys_sprite_get_pos_x(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  return args.done(sprite ? reported_position(*sprite, Axis::X) : 0);
}

CallStatus sys_sprite_get_pos_y(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  return args.done(sprite ? reported_position(*sprite, Axis::Y) : 0);
}

CallStatus sys_is_sprite(host::Engine& engine, CallArgs& args) {
  return args.done(find_sprite(host::graphics_of(engine), args.int_at(1)) ? 1 : 0);
}

CallStatus sys_ps_sprite_get_page(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args, 1, SpriteReport::Unspaced);
  return args.done(sprite ? sprite->source_page : 0);
}

// ---- waits: run again every slice while the effect runs

template <Phase (*kPhaseOf)(const Sprite&)>
CallStatus wait_for(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  if (sprite && kPhaseOf(*sprite) == Phase::Running) {
    args.thread.frame().waiting = true;
    return script::poll_again(args);
  }
  return script::finish_wait(args, 0);
}

Phase move_phase(const Sprite& sprite) { return sprite.move.phase; }
Phase frame_phase(const Sprite& sprite) { return sprite.frames.phase; }
Phase level_phase(const Sprite& sprite) { return sprite.levels.phase; }

CallStatus sys_sprite_move_wait(host::Engine& engine, CallArgs& args) { return wait_for<move_phase>(engine, args); }
CallStatus sys_sprite_animate_wait(host::Engine& engine, CallArgs& args) {
  return wait_for<frame_phase>(engine, args);
}
CallStatus sys_sprite_alfa_wait(host::Engine& engine, CallArgs& args) { return wait_for<level_phase>(engine, args); }

// ---- lists: (value, duration) pairs after the sprite; a final single value
// gets duration -1

constexpr std::string_view kTooMany = "アニメデータが多すぎです！";

std::vector<AnimationFrame> frame_arguments(const CallArgs& args) {
  std::vector<AnimationFrame> frames;
  for (int i = 2; i <= args.count; i += 2) frames.push_back({args.int_at(i), args.has(i + 1) ? args.int_at(i + 1) : -1});
  return frames;
}

std::vector<Keyframe<int32_t>> level_arguments(const CallArgs& args) {
  std::vector<Keyframe<int32_t>> keys;
  for (int i = 2; i <= args.count; i += 2) keys.push_back({args.int_at(i), args.has(i + 1) ? args.int_at(i + 1) : -1});
  return keys;
}

std::vector<Keyframe<float>> scale_arguments(const CallArgs& args) {
  std::vector<Keyframe<float>> keys;
  for (int i = 2; i <= args.count; i += 2) keys.push_back({args.float_at(i), args.has(i + 1) ? args.int_at(i + 1) : -1});
  return keys;
}

// The plain name reports for both forms.
CallStatus animate_define(host::Engine& engine, CallArgs& args, Start start) {
  constexpr std::string_view kName = "sprite_animate_define";
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args, 1, SpriteReport::Spaced, kName);
  if (!sprite) return args.done();
  if (args.count <= 1) {
    stop_frames(*sprite);
    return args.done();
  }
  if (!define_frames(*sprite, frame_arguments(args), start, now(args))) script::report_call_error_as(args, kName, kTooMany);
  return args.done();
}

CallStatus sys_sprite_animate_define(host::Engine& engine, CallArgs& args) {
  return animate_define(engine, args, Start::Now);
}

CallStatus sys_sprite_animate_define_sync(host::Engine& engine, CallArgs& args) {
  return animate_define(engine, args, Start::Synchronised);
}

CallStatus sys_sprite_animate_add(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  if (!sprite) return args.done();
  if (!add_frames(*sprite, frame_arguments(args), now(args))) script::report_call_error(args, kTooMany);
  return args.done();
}

CallStatus alfa_define(host::Engine& engine, CallArgs& args, Start start) {
  constexpr std::string_view kName = "sprite_alfa_define";
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args, 1, SpriteReport::Spaced, kName);
  if (!sprite) return args.done();
  // The list holds 32 keyframes with the closing one; more are reported
  // like too many frames, and the first ones stay.
  if (!define_levels(*sprite, level_arguments(args), start, now(args))) script::report_call_error_as(args, kName, kTooMany);
  return args.done();
}

CallStatus sys_sprite_alfa_define(host::Engine& engine, CallArgs& args) { return alfa_define(engine, args, Start::Now); }

CallStatus sys_sprite_alfa_define_sync(host::Engine& engine, CallArgs& args) {
  return alfa_define(engine, args, Start::Synchronised);
}

CallStatus sys_sprite_alfa_set(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  Sprite* sprite = sprite_argument(state, args);
  if (!sprite) return args.done();
  if (args.count >= 3) {
    fade_level(*sprite, args.int_at(2), args.int_at(3), now(args));
  } else {
    set_level(state, *sprite, args.int_at(2));
  }
  return args.done();
}

CallStatus sys_sprite_tl_set(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  if (sprite) hold_level_list(*sprite, args.int_at(2));
  return args.done();
}

// ---- rotation and scales

CallStatus sys_sprite_rotate(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  if (!sprite) return args.done();
  int32_t time = args.count >= 3 ? args.int_at(3) : 0;
  Turning turning = args.count >= 4 && args.int_at(4) != 0 ? Turning::Endless : Turning::Timed;
  rotate_sprite(*sprite, args.float_at(2), time, turning, now(args));
  return args.done();
}

template <Axis kAxis>
CallStatus modify_set(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  if (!sprite) return args.done();
  set_scale(*sprite, kAxis, args.float_at(2), args.count >= 3 ? args.int_at(3) : 0, now(args));
  return args.done();
}

template <Axis kAxis>
CallStatus modify_define(host::Engine& engine, CallArgs& args) {
  Sprite* sprite = sprite_argument(host::graphics_of(engine), args);
  if (!sprite) return args.done();
  if (!define_scales(*sprite, kAxis, scale_arguments(args), Start::Now, now(args))) {
    script::report_call_error(args, kTooMany);
  }
  return args.done();
}

// ---- stacking and hiding

// With one argument the sprite goes to the top or bottom; with a reference
// it goes next to the reference (or its group) and joins the group.
template <Stacking kAlone, Stacking kBeside>
CallStatus priority(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  Sprite* sprite = find_sprite(state, args.int_at(1));
  if (!sprite) {
    script::report_call_error(args, "第１パラメータのスプライトが存在しません");
    return args.done();
  }
  bool single = kBeside == Stacking::Above || kBeside == Stacking::Below;
  if (args.count < 2 && !single) {
    restack(state, *sprite, kAlone);
    return args.done();
  }
  Sprite* reference = find_sprite(state, args.int_at(2));
  if (!reference) {
    script::report_call_error(args, "第２パラメータのスプライトが存在しません");
    return args.done();
  }
  restack(state, *sprite, kBeside, reference);
  return args.done();
}

// One sprite, or every sprite without an argument.
template <void (*kChange)(State&, Sprite&)>
CallStatus hide_count(host::Engine& engine, CallArgs& args) {
  State& state = host::graphics_of(engine);
  if (args.count < 1) {
    for (auto& [handle, sprite] : state.sprites.sprites) kChange(state, sprite);
    return args.done();
  }
  if (Sprite* sprite = sprite_argument(state, args, 1, SpriteReport::Unspaced)) kChange(state, *sprite);
  return args.done();
}

constexpr auto kNone = script::SyscallFlags::None;

constexpr std::array kSpriteSyscalls = {
    SyscallEntry{0xEF4581DC, "sprite_create", sys_sprite_create, kNone,
                 "int page [, int x, int y, int width, int height [, int topage]] -> int the "
                 "sprite; shows the page or its rectangle, on the display page by default"},
    SyscallEntry{0xC2C3C4F4, "sprite_create_file", sys_sprite_create_file, kNone,
                 "str picture [, int x, int y, int width, int height [, "
                 "int topage]] -> int the sprite, on a page of its own"},
    SyscallEntry{0xF6A05538, "sprite_create_mod", sys_sprite_create_mod, kNone,
                 "int page [, int x, int y, int width, int height [, int "
                 "topage]] -> int the sprite, ready to rotate and scale"},
    SyscallEntry{0xCD71FE7A, "sprite_create_file_mod", sys_sprite_create_file_mod, kNone,
                 "str picture [, int x, int y, int width, int height [, int "
                 "topage]] -> int the sprite, ready to rotate and scale"},
    SyscallEntry{0x4AB0CAEF, "sprite_paste", sys_sprite_paste, kNone,
                 "int sprite, int page [, int x, int y] -> int 0; draws the sprite once onto the page"},
    SyscallEntry{0x58B31737, "sprite_release", sys_sprite_release, kNone, "int sprite -> int 0"},
    SyscallEntry{0xE119D5BA, "sprite_move", sys_sprite_move, kNone,
                 "int sprite, int x, int y [, int time = 0] -> int 0; time in ms, easing flags in the bits 0x78000000"},
    SyscallEntry{0x40258A56, "sprite_move_wait", sys_sprite_move_wait, kNone,
                 "int sprite -> int 0; waits until the move has ended"},
    SyscallEntry{0x103EDAC0, "sprite_animate_wait", sys_sprite_animate_wait, kNone,
                 "int sprite -> int 0; waits until the frame animation has ended"},
    SyscallEntry{0xD7771B72, "sprite_alfa_wait", sys_sprite_alfa_wait, kNone,
                 "int sprite -> int 0; waits until the level animation has ended"},
    SyscallEntry{0xC29B30E3, "sprite_animate_define", sys_sprite_animate_define, kNone,
                 "int sprite, int frames... -> int 0; pattern, ms pairs, then maybe a last pattern; none stops"},
    SyscallEntry{0x52819912, "sprite_animate_define_sync", sys_sprite_animate_define_sync, kNone,
                 "int sprite, int frames... -> int 0; the same, started in step with the clock"},
    SyscallEntry{0xDFDBA8E4, "sprite_animate_add", sys_sprite_animate_add, kNone,
                 "int sprite, int pattern, int more... -> int 0; appends pattern, ms pairs, then maybe a last pattern"},
    SyscallEntry{0xF80BC9B6, "sprite_alfa_define", sys_sprite_alfa_define, kNone,
                 "int sprite, int level, int more... -> int 0; level, ms "
                 "pairs from the current level, then maybe a last level"},
    SyscallEntry{0xA30A7D75, "sprite_alfa_define_sync", sys_sprite_alfa_define_sync, kNone,
                 "int sprite, int level, int more... -> int 0; the same, started in step with the clock"},
    SyscallEntry{0xFF7C52E6, "sprite_alfa_set", sys_sprite_alfa_set, kNone,
                 "int sprite, int level [, int time] -> int 0; at once, or fading over time ms"},
    SyscallEntry{0x69073588, "sprite_priority_low", priority<Stacking::Bottom, Stacking::BelowGroup>, kNone,
                 "int sprite [, int reference] -> int 0; to the bottom, or below the reference's group"},
    SyscallEntry{0x4A02D664, "sprite_priority_high", priority<Stacking::Top, Stacking::AboveGroup>, kNone,
                 "int sprite [, int reference] -> int 0; to the top, or above the reference's group"},
    SyscallEntry{0x7BFFC5B1, "sprite_priority_low_single", priority<Stacking::Bottom, Stacking::Below>, kNone,
                 "int sprite, int reference -> int 0; just below the reference"},
    SyscallEntry{0x5548EF5E, "sprite_priority_high_single", priority<Stacking::Top, Stacking::Above>, kNone,
                 "int sprite, int reference -> int 0; just above the reference"},
    SyscallEntry{0xEDCA8992, "sprite_tl_set", sys_sprite_tl_set, kNone,
                 "int sprite, int level -> int 0; the level list becomes that one level, not started"},
    SyscallEntry{0x6B4A7873, "sprite_get_pos_x", sys_sprite_get_pos_x, kNone, "int sprite -> int x"},
    SyscallEntry{0xF6459905, "sprite_get_pos_y", sys_sprite_get_pos_y, kNone, "int sprite -> int y"},
    SyscallEntry{0x68EF2987, "is_sprite_move", sys_is_sprite_move, kNone, "int sprite -> int 1 while the sprite moves"},
    SyscallEntry{0xDCC706EF, "is_sprite", sys_is_sprite, kNone, "int sprite -> int 1 when the handle is a live sprite"},
    SyscallEntry{0x661AFB43, "sprite_rotate", sys_sprite_rotate, kNone,
                 "int sprite, float angle [, int time = 0 [, int endless = 0]] -> int 0; degrees"},
    SyscallEntry{0x01B4517C, "sprite_xmodify_define", modify_define<Axis::X>, kNone,
                 "int sprite, float scale, float|int more... -> int 0; scale, ms pairs, then maybe a last scale"},
    SyscallEntry{0x3B1D5537, "sprite_xmodify_set", modify_set<Axis::X>, kNone,
                 "int sprite, float scale [, int time = 0] -> int 0; horizontal scale"},
    SyscallEntry{0x6F384A3D, "sprite_ymodify_define", modify_define<Axis::Y>, kNone,
                 "int sprite, float scale, float|int more... -> int 0; scale, ms pairs, then maybe a last scale"},
    SyscallEntry{0xBA383010, "sprite_ymodify_set", modify_set<Axis::Y>, kNone,
                 "int sprite, float scale [, int time = 0] -> int 0; vertical scale"},
    SyscallEntry{0x265E07D7, "ps_sprite_get_page", sys_ps_sprite_get_page, kNone,
                 "int sprite -> int the sprite's source page"},
    SyscallEntry{0x721FA5B7, "sprite_push", hide_count<push_sprite>, kNone,
                 "[int sprite] -> int 0; hides the sprite, or all sprites"},
    SyscallEntry{0x63C341B1, "sprite_pop", hide_count<pop_sprite>, kNone,
                 "[int sprite] -> int 0; shows the sprite again, or all sprites"},
};

}  // namespace

std::span<const SyscallEntry> sprite_syscalls() { return kSpriteSyscalls; }

}  // namespace tavelo::graphics
