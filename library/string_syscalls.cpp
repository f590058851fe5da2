// String system calls: multibyte-aware lengths, slices, comparisons, case,
// search and comma-separated fields. Texts are game text; a double-byte
// character counts as one character, and texts are cut to 511 bytes first.

#include <algorithm>
#include <array>

#include "resources/state.h"
#include "script/state.h"
#include "resources/multibyte.h"
#include "resources/settings_store.h"
#include "library/syscalls.h"
#include "library/text_files.h"

namespace tavelo::library {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::Machine;
using script::SyscallEntry;
using script::SyscallFlags;

constexpr size_t kTextLimit = 511;

std::string text_argument(Machine& machine, const CallArgs& args, int index) {
  return resources::cut_game_text(machine.resources.lead_bytes, args.text_at(index), kTextLimit);
}

const resources::LeadByteTable& lead_bytes(const Machine& machine) { return machine.resources.lead_bytes; }

// Characters [first, first + count) of text, clamped to the text.
std::string_view character_slice(const resources::LeadByteTable& lead, std::string_view text, int64_t first,
                                 int64_t count) {
  if (first < 0) first = 0;
  if (count <= 0) return {};
  size_t start = resources::byte_offset_of_character(lead, text, size_t(first));
  size_t end = resources::byte_offset_of_character(lead, text.substr(start), size_t(count));
  return text.substr(start, end);
}

CallStatus sys_string_length(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = text_argument(machine, args, 1);
  return args.done(int32_t(resources::character_count(lead_bytes(machine), text)));
}

CallStatus sys_string_middle(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = text_argument(machine, args, 1);
  return args.done_text(character_slice(lead_bytes(machine), text, args.int_at(2), args.int_at(3)));
}

CallStatus sys_string_left(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = text_argument(machine, args, 1);
  return args.done_text(character_slice(lead_bytes(machine), text, 0, args.int_at(2)));
}

CallStatus sys_string_right(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = text_argument(machine, args, 1);
  int64_t total = int64_t(resources::character_count(lead_bytes(machine), text));
  int64_t count = std::clamp<int64_t>(args.int_at(2), 0, total);
  return args.done_text(character_slice(lead_bytes(machine), text, total - count, count));
}

template <resources::Case kCase>
CallStatus sys_string_compare(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string a = text_argument(machine, args, 1);
  std::string b = text_argument(machine, args, 2);
  return args.done(resources::compare_text(lead_bytes(machine), b, a, kCase));
}

CallStatus sys_string_lower(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done_text(resources::to_lower(lead_bytes(machine), text_argument(machine, args, 1)));
}

CallStatus sys_string_upper(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  return args.done_text(resources::to_upper(lead_bytes(machine), text_argument(machine, args, 1)));
}

CallStatus sys_string_find(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = text_argument(machine, args, 1);
  std::string pattern = text_argument(machine, args, 2);
  return args.done(resources::find_text(lead_bytes(machine), text, pattern, resources::Case::Insensitive));
}

// Byte offsets of the commas that start characters.
std::vector<size_t> comma_offsets(const resources::LeadByteTable& lead, std::string_view text) {
  std::vector<size_t> commas;
  for (size_t i = 0; i < text.size(); i += resources::character_length(lead, text, i)) {
    if (text[i] == ',') commas.push_back(i);
  }
  return commas;
}

CallStatus sys_field_count(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = text_argument(machine, args, 1);
  return args.done(int32_t(comma_offsets(lead_bytes(machine), text).size() + 1));
}

CallStatus sys_field_at(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string text = text_argument(machine, args, 1);
  int32_t index = args.int_at(2);
  std::vector<size_t> commas = comma_offsets(lead_bytes(machine), text);
  if (index < 0 || size_t(index) > commas.size()) {
    return args.done_text("");
  }
  size_t start = index == 0 ? 0 : commas[size_t(index) - 1] + 1;
  size_t end = size_t(index) < commas.size() ? commas[size_t(index)] : text.size();
  std::string_view field = std::string_view(text).substr(start, end - start);
  return args.done_text(strip_quotes(trim_blanks(field)));
}

constexpr SyscallFlags kNone = SyscallFlags::None;

constexpr std::array kStringSyscalls = {
    SyscallEntry{0xB0C8F550, "str_len", sys_string_length, kNone, "str text -> int the number of characters"},
    SyscallEntry{0x8AEF9167, "str_mid", sys_string_middle, kNone,
                 "str text, int start, int count -> str count characters from character start (0-based)"},
    SyscallEntry{0x06906970, "str_left", sys_string_left, kNone,
                 "str text, int count -> str the first count characters"},
    SyscallEntry{0x25401A1F, "str_right", sys_string_right, kNone,
                 "str text, int count -> str the last count characters"},
    SyscallEntry{0x5C823701, "str_compare", sys_string_compare<resources::Case::Sensitive>, kNone,
                 "str a, str b -> int b compared with a: negative, 0 or positive"},
    SyscallEntry{0x45815F6D, "str_compare_nocase", sys_string_compare<resources::Case::Insensitive>, kNone,
                 "str a, str b -> int the same, ASCII letters compared without case"},
    SyscallEntry{0xAD74D9AC, "str_lower", sys_string_lower, kNone,
                 "str text -> str the text with lower-case ASCII letters"},
    SyscallEntry{0x266A3C79, "str_upper", sys_string_upper, kNone,
                 "str text -> str the text with upper-case ASCII letters"},
    SyscallEntry{0x69DB4512, "str_find", sys_string_find, kNone,
                 "str text, str pattern -> int the character position of pattern, without case; -1 when absent"},
    SyscallEntry{0x00D696CC, "field_count", sys_field_count, kNone,
                 "str text -> int the number of comma-separated fields"},
    SyscallEntry{0x3FE05B39, "field_get", sys_field_at, kNone,
                 "str text, int index -> str the field (0-based), trimmed and unquoted"},
};

}  // namespace

std::span<const SyscallEntry> string_syscalls() { return kStringSyscalls; }

}  // namespace tavelo::library
