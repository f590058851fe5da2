#pragma once
// The arguments and result of a system call, as written in its table entry
// (SyscallEntry::signature) and parsed here for tools: the generated list of
// calls and compilers that check a call's argument count. The engine never
// parses a signature while it runs. docs/syscalls.md explains the grammar:
//
//   str name [, int loop = 1] -> int 0; an empty name stops
//
// Arguments come in call order (argument 1 is the value on top of the stack);
// bracketed groups are optional and nest at the end; "..." marks a last
// argument that repeats any number of times; after "->" come the result's
// kind and a free note.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::script {

// The kinds an argument or result may have: a bit each, several bits for a
// value that may take either kind. `func` is an int that a compiler may write
// as a script function's name (the call receives the name's hash).
enum class SignatureKind : uint8_t { Int, Float, String, IntArray, FloatArray, StringArray, Function };
using SignatureKinds = uint8_t;
constexpr SignatureKinds signature_bit(SignatureKind kind) { return SignatureKinds(1u << unsigned(kind)); }
// Any value (the six value types); `none` is the empty set.
constexpr SignatureKinds kAnyValue = 0x3F;

struct SyscallArgument {
  std::string_view name;
  SignatureKinds kinds = 0;
  std::string_view default_value;  // as written after "=", empty when not given
  int group = 0;                   // 0 required; n inside n optional brackets
  bool repeats = false;            // "...": any number of arguments from here on
};

struct SyscallSignature {
  std::vector<SyscallArgument> arguments;
  // The argument counts a call may pass: the required arguments, then one
  // more stop at the end of each optional group. With a repeating argument,
  // any count from the first stop on.
  std::vector<int> counts;
  bool repeats = false;
  SignatureKinds result = 0;    // 0: the caller sees no result
  std::string_view result_note; // what the result means, free text

  bool accepts(int count) const;
  int min_count() const { return counts.front(); }
  int max_count() const { return repeats ? -1 : counts.back(); }  // -1: no limit
};

// The signature, or nullopt with the reason in *error.
std::optional<SyscallSignature> parse_syscall_signature(std::string_view text, std::string* error = nullptr);

// "int", "str|int", "any", "none": the kinds as a signature writes them.
std::string signature_kind_text(SignatureKinds kinds);

}  // namespace tavelo::script
