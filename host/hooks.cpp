// The machine's host hooks.

#include "host/hooks.h"

#include "host/display_modes.h"
#include "host/engine.h"
#include "host/frame_loop.h"
#include "text/font_stack.h"
#include "text/syscalls.h"

namespace tavelo::host {

void install_hooks(Engine& engine) {
  script::HostHooks& hooks = engine.script.hooks;
  hooks.append_text = text::text_instruction;
  hooks.control_code = text::control_instruction;
  hooks.lay_out_message = text::message_instruction;
  hooks.pump_events = [](Engine& owner) { drain_events(owner); };
  hooks.thread_freed = [](Engine& owner, int32_t thread_id) {
    text::forget_thread_fonts(owner.text.fonts, thread_id);
    owner.text.message.replay_cursors.erase(thread_id);
  };
  hooks.before_message_box = [](Engine& owner) {
    set_full_screen(owner, false);
    owner.platform.raise_window();
  };
}

}  // namespace tavelo::host
