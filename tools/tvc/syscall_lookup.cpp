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
      if (entry.name.empty()) continue;
      m_names.emplace(std::string(entry.name), SyscallName{entry.key, script::parse_syscall_signature(entry.signature)});
    }
  }

  const SyscallName* find(std::string_view name) const override {
    auto found = m_names.find(std::string(name));
    return found == m_names.end() ? nullptr : &found->second;
  }

 private:
  std::unordered_map<std::string, SyscallName> m_names;
};

// The events the engine raises, by the keys it raises them with, and their
// arguments.
constexpr std::string_view kSystemDeclarations = R"(
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
