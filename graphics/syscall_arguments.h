#pragma once
// Argument checks shared by the graphics system-call files (pages, sprites,
// screen): a handle that must name a live page or sprite. A bad handle is
// reported as "<call> : <problem>" and the handler gives its fallback.

#include <cstdint>
#include <optional>
#include <string_view>

#include "graphics/page.h"
#include "graphics/sprite_table.h"
#include "script/syscall.h"

namespace tavelo::graphics {

struct State;

struct PageArgument {
  int32_t handle = 0;
  Page* page = nullptr;
};

std::optional<PageArgument> page_argument(State& state, script::CallArgs& args, int index,
                                          std::string_view problem = "ページが存在しません");

// How a call names itself when its sprite is missing.
enum class SpriteReport {
  Spaced,    // "<call> : スプライトが存在しません"
  Unspaced,  // "<call>: スプライトが存在しません" (sprite_push, sprite_pop, ps_sprite_get_page)
};

// The sprite argument at index, or null after the report. call_name replaces
// the table's name in the report (the _sync forms report as their plain forms).
Sprite* sprite_argument(State& state, script::CallArgs& args, int index = 1,
                        SpriteReport report = SpriteReport::Spaced, std::string_view call_name = {});

}  // namespace tavelo::graphics
