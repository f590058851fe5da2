// The table game's system calls. The game itself (a card-table game against
// computer opponents, subsystem of its own in the original design) is not part
// of this engine; its calls are here so that a game using it keeps running:
// each key says once, through the call-error reporter, that the module is
// missing, and every call gives 0.

#include <algorithm>
#include <array>

#include "script/error_report.h"
#include "script/syscall.h"
#include "host/engine_parts.h"
#include "library/state.h"
#include "library/syscalls.h"

namespace tavelo::library {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;
using script::SyscallFlags;
using script::report_call_error_as;

constexpr std::array<uint32_t, 27> kTableGameKeys = {
    0x0D36E2A7, 0x1F5A14D4, 0x23D5D11D, 0x269BDA78, 0x2C18D5A9, 0x2E99E98C, 0x45E32EA6, 0x50CD2DCA, 0x5C9761C5,
    0x62442EC6, 0x6DDEB30E, 0x850EECF4, 0xAEFC64DA, 0xB758AC4E, 0xBB9D7A7F, 0xBEF4EDFA, 0xCA5C98F2, 0xD481E1A2,
    0xD583668C, 0xDA60F137, 0xE316A8F2, 0xE5A2CE14, 0xEBB5886C, 0xF0FD9886, 0xF5E5BE93, 0xFAF17B1C, 0xFB7FB744,
};
static_assert(kTableGameKeys.size() <= 32, "one bit of State::table_game_reported per key");

// The arguments go with the call (the dispatcher drops them); the result is 0.
CallStatus sys_table_game(host::Engine& engine, CallArgs& args) {
  uint32_t& reported = host::library_of(engine).table_game_reported;
  auto found = std::find(kTableGameKeys.begin(), kTableGameKeys.end(), args.key);
  uint32_t bit = uint32_t(1) << (found - kTableGameKeys.begin());
  if (found != kTableGameKeys.end() && (reported & bit) == 0) {
    reported |= bit;
    report_call_error_as(args, "table_game",
                         "[%08X] このゲームは卓上ゲームモジュールを必要としますが、このエンジンには含まれていません。"
                         "呼び出しは 0 を返して続行します",
                         {args.key});
  }
  return args.done(0);
}

// Nothing tells what the calls did, so each is named after its key:
// "table_game_0d36e2a7".
constexpr size_t kNameLength = 19;
constexpr std::array<std::array<char, kNameLength>, kTableGameKeys.size()> make_names() {
  std::array<std::array<char, kNameLength>, kTableGameKeys.size()> names{};
  constexpr std::string_view kPrefix = "table_game_";
  for (size_t i = 0; i < kTableGameKeys.size(); ++i) {
    for (size_t c = 0; c < kPrefix.size(); ++c) names[i][c] = kPrefix[c];
    for (size_t digit = 0; digit < 8; ++digit) {
      names[i][kPrefix.size() + digit] = "0123456789abcdef"[(kTableGameKeys[i] >> (28 - 4 * digit)) & 15];
    }
  }
  return names;
}

constexpr std::array kNames = make_names();

constexpr std::string_view kSignature =
    "any arguments... -> int 0; not available: the table game is not part of this engine (reported once per key)";

constexpr std::array<SyscallEntry, kTableGameKeys.size()> make_table() {
  std::array<SyscallEntry, kTableGameKeys.size()> table{};
  for (size_t i = 0; i < kTableGameKeys.size(); ++i) {
    table[i] = SyscallEntry{kTableGameKeys[i], std::string_view(kNames[i].data(), kNameLength), sys_table_game,
                            SyscallFlags::None, kSignature};
  }
  return table;
}

constexpr std::array kTableGameSyscalls = make_table();

}  // namespace

std::span<const SyscallEntry> table_game_syscalls() { return kTableGameSyscalls; }

}  // namespace tavelo::library
