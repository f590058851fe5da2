// The machine's host hooks.

#include "host/hooks.h"

#include "host/display_modes.h"
#include "host/engine.h"
#include "host/frame_loop.h"
#include "text/message_window.h"

namespace tavelo::host {

void install_hooks(Engine& engine) {
  script::HostHooks& hooks = engine.script.hooks;
  hooks.append_text = [](Engine& owner, std::string_view text) {
    text::append_message_text(owner.text.message, text);
  };
  hooks.control_code = [](Engine& owner, std::string_view code) { text::run_control_code(owner.text.message, code); };
  hooks.lay_out_message = [](Engine& owner) { return text::lay_out_message(owner.text.message); };
  hooks.pump_events = [](Engine& owner) { drain_events(owner); };
  hooks.before_message_box = [](Engine& owner) {
    set_full_screen(owner, false);
    owner.platform.raise_window();
  };
}

}  // namespace tavelo::host
