// Argument checks of the graphics system calls.

#include "graphics/syscall_arguments.h"

#include <string>

#include "graphics/page_table.h"
#include "graphics/state.h"
#include "script/error_report.h"

namespace tavelo::graphics {

std::optional<PageArgument> page_argument(State& state, script::CallArgs& args, int index,
                                          std::string_view problem) {
  int32_t handle = args.int_at(index);
  Page* page = find_page(state, handle);
  if (!page) {
    script::report_call_error(args, problem);
    return std::nullopt;
  }
  return PageArgument{handle, page};
}

Sprite* sprite_argument(State& state, script::CallArgs& args, int index, SpriteReport report,
                        std::string_view call_name) {
  Sprite* sprite = find_sprite(state, args.int_at(index));
  if (sprite) return sprite;
  std::string_view name = call_name.empty() ? args.entry.name : call_name;
  if (report == SpriteReport::Spaced) {
    script::report_call_error_as(args, name, "スプライトが存在しません");
  } else {
    // Call names are plain lower_snake ASCII, so they cannot act as conversions.
    script::report_script_error(args.machine, std::string(name) + ": スプライトが存在しません");
  }
  return nullptr;
}

}  // namespace tavelo::graphics
