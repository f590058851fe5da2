// The system-call seam of tvc: the engine's names, and the declarations
// every compilation starts with.

#include "tools/tvc/syscall_lookup.h"

#include <string>
#include <unordered_map>

#include "host/syscall_tables.h"
#include "script/dispatch.h"

namespace tavelo::tools::tvc {
namespace {

class EngineSyscalls final : public SyscallLookup {
 public:
  EngineSyscalls() {
    script::SyscallTable table;
    // A duplicate key only matters to the engine; the names still resolve.
    (void)host::build_engine_syscall_table(table);
    for (const script::SyscallEntry& entry : table.entries) {
      if (!entry.name.empty()) m_names.emplace(std::string(entry.name), SyscallName{entry.key});
    }
  }

  const SyscallName* find(std::string_view name) const override {
    auto found = m_names.find(std::string(name));
    return found == m_names.end() ? nullptr : &found->second;
  }

 private:
  std::unordered_map<std::string, SyscallName> m_names;
};

// Calls the engine's table has no name for yet, named after what they do,
// and the events the engine raises. Arguments are listed in call order
// (argument 1 first); `name?` may be left out; `...` takes any number more.
constexpr std::string_view kSystemDeclarations = R"(
// ---- waiting and time
native wait(ms: int) = 0xCF35F0E3;
native wait_click(): int = 0x008ACBC0;
native wait_release() = 0x1204D7E8;
native wait_from(start: int, duration: int): int = 0xFF75CD29;
native wait_frame(no_request?: int) = 0x4662E95D;
native set_time_factor(factor: float) = 0x806261CE;
native script_time(): int = 0x6584F13E;
native progress(start: int, duration: int, value: int): int = 0xEE6B328D;

// ---- threads and the engine
native end_thread(id?: int) = 0x4EF903F3;
native thread_exists(id: int): int = 0x9FB53FBE;
native set_restart(function_key: int) = 0x461EA516;
native end_all_threads(code?: int) = 0x3704C919;
native set_start_script(name: string) = 0x32530606;
native end_engine() = 0x8D8FB32E;
native call_script(name: string, ...): int = 0xCD00D280;
native jump_script(name: string, ...) = 0x718EF651;
native jump_function(function_key: int, ...) = 0x1E24E1B6;

// ---- debugging
native debug_print(...) = 0xF3679C34;
native is_debug_mode(): int = 0x6E6C641A;

// ---- numbers
native absolute(n: int): int = 0x959B0A16;
native max(a: int, b: int): int = 0x6CFC884A;
native min(a: int, b: int): int = 0x3D053317;
native random(n: int): int = 0xC6282F19;
native random_unit(): float = 0x46B18379;
native sin(degrees: float): float = 0xEE2B6D92;
native cos(degrees: float): float = 0x12877048;
native tan(degrees: float): float = 0xBDAA8E96;

// ---- text
native int_to_text(n: int): string = 0x6F769889;
native text_to_int(text: string): int = 0x109CA5DB;
native text_hash(text: string): int = 0x4694366A;
native string_length(text: string): int = 0xB0C8F550;
native string_middle(text: string, start: int, count: int): string = 0x8AEF9167;
native string_left(text: string, count: int): string = 0x06906970;
native string_right(text: string, count: int): string = 0x25401A1F;
native string_compare(a: string, b: string): int = 0x5C823701;
native string_lower(text: string): string = 0xAD74D9AC;
native string_upper(text: string): string = 0x266A3C79;
native string_find(text: string, pattern: string): int = 0x69DB4512;
native field_count(text: string): int = 0x00D696CC;
native field_at(text: string, n: int): string = 0x3FE05B39;
native today(): string = 0xFED7BFE9;
native time_of_day(): string = 0x0D389C2F;
native input_string(prompt: string, text?: string): string = 0x7F01F772;

// ---- the screen
native client_width(): int = 0xE06200C4;
native client_height(): int = 0x8C283F7F;

// ---- pointer, mouse areas and pads
native pointer_x(): int = 0xEFD49BC9;
native pointer_y(): int = 0x72DB7ABF;
native buttons_held(): int = 0x2075C300;
native add_mouse_area(id: int, x: int, y: int, width: int, height: int, enter: int, leave: int, click: int,
                      key?: int) = 0xF8D18340;
native set_click_functions(left?: int, right?: int, middle?: int, input?: int) = 0xA7C6E918;
native clear_mouse_areas() = 0x4E1EB9D0;
native poll_mouse_areas(): int = 0x3A3BFB29;
native show_pointer(show: int): int = 0xAB13BE44;
native set_joystick_use(on: int) = 0xF9D94E91;

// ---- skipping
native skip_test(): int = 0xA62AA5EB;
native skip_suspend(): int = 0x81CE0485;
native skip_resume() = 0x8C7F4C1E;
native skip_line_read(): int = 0xF6416E87;

// ---- the menu's save and load requests
native menu_request_open() = 0xC438BA98;
native menu_request_close() = 0x3378635D;

// ---- events the engine raises
event game_start(load_value: int, text: string, loaded: int) = 0x38579896;
event window_open(a: int, b: int) = 0xF7A4C8D8;
event window_close(a: int, b: int) = 0x0D9B7F0E;
event speaker(name: string) = 0x44A4FF72;
event page_cleared() = 0x93B38A0B;
event line_drawn(page: int, x: int, y: int, width: int, height: int, nowait: int) = 0x47BB540C;
event line_dropped() = 0x1A95282E;
event line_break() = 0x04AE36BD;
event page_wait() = 0x20CE505D;
event text_signal(text: string) = 0xEC771B85;
event load_menu() = 0xAAF02220;
event save_menu() = 0x7CE76169;
event close_screen() = 0x42629F01;
event exit_menu() = 0x4A6BF175;
event next_choice() = 0x5CF65741;
event previous_choice() = 0x2BF167D7;
event key_help() = 0xCA908215;
event configuration_menu() = 0x24B05F59;
event wide_mode(mode: int) = 0xEDF9F4F1;
)";

}  // namespace

std::unique_ptr<SyscallLookup> engine_syscall_lookup() { return std::make_unique<EngineSyscalls>(); }

std::string_view system_declarations() { return kSystemDeclarations; }

}  // namespace tavelo::tools::tvc
