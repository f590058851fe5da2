// System calls of the main window and the display modes.

#include "host/window_syscalls.h"

#include "host/display_modes.h"
#include "host/engine.h"
#include "host/state.h"
#include "platform/platform.h"

namespace tavelo::host {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

// The script takes up the current request as the screen it shows (9999 when
// it shows one of its own accord).
CallStatus sys_menu_request_open(Engine& engine, CallArgs& args) {
  MenuRequest& request = engine.host.window.menu_request;
  request.open = request.current != 0 ? request.current : 9999;
  set_current_menu_request(engine, 0);
  return args.done(0);
}

CallStatus sys_menu_request_close(Engine& engine, CallArgs& args) {
  engine.host.window.menu_request.open = 0;
  set_current_menu_request(engine, 0);
  return args.done(0);
}

platform::DisplayMode chosen_mode(Engine& engine, CallArgs& args) {
  std::vector<platform::DisplayMode> modes = engine.platform.display_modes();
  return choose_full_screen_size(modes, args.int_at(1), args.int_at(2), engine.host.display.wide_choice);
}

// The height of the mode found first is kept: later calls repeat it.
CallStatus sys_full_screen_height(Engine& engine, CallArgs& args) {
  std::optional<int32_t>& found = engine.host.display.found_height;
  if (!found) found = chosen_mode(engine, args).height;
  return args.done(*found);
}

CallStatus sys_screen_mode_find(Engine& engine, CallArgs& args) { return args.done(chosen_mode(engine, args).width); }

// A key compiled scripts may use among the window calls that has no behaviour
// of its own: it takes whatever it is given and gives 0.
CallStatus sys_window_no_operation(Engine&, CallArgs& args) { return args.done(0); }

constexpr SyscallEntry kWindowSyscalls[] = {
    {0xC438BA98, "menu_request_open", sys_menu_request_open, script::SyscallFlags::None,
     "-> int 0; the current menu request becomes the screen the script shows"},
    {0x3378635D, "menu_request_close", sys_menu_request_close, script::SyscallFlags::None,
     "-> int 0; the script closed the screen it showed"},
    {0x2159EBE0, "screen_mode_find_height", sys_full_screen_height, script::SyscallFlags::None,
     "int width, int height -> int the height of the full-screen mode chosen for that size (the first answer is kept)"},
    {0xF63ED9AE, "screen_mode_find", sys_screen_mode_find, script::SyscallFlags::None,
     "int width, int height -> int the width of the full-screen mode chosen for that size"},
    {0x62374297, "window_no_operation", sys_window_no_operation, script::SyscallFlags::None,
     "any arguments... -> int 0; does nothing: the key has no behaviour of its own"},
};

}  // namespace

std::span<const script::SyscallEntry> window_syscalls() { return kWindowSyscalls; }

}  // namespace tavelo::host
