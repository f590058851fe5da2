// Arbitrary text as a system-call signature: the parser either refuses it or
// gives a signature whose argument counts are consistent.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "script/syscall_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::script;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<SyscallSignature> signature = parse_syscall_signature(text);
  if (!signature) return 0;
  const std::vector<int>& counts = signature->counts;
  if (counts.empty() || counts.back() > int(signature->arguments.size())) std::abort();
  for (size_t i = 1; i < counts.size(); ++i) {
    if (counts[i] <= counts[i - 1]) std::abort();
  }
  if (!signature->accepts(signature->min_count())) std::abort();
  if (signature->repeats != (signature->max_count() < 0)) std::abort();
  for (const SyscallArgument& argument : signature->arguments) {
    if (argument.name.empty() || argument.kinds == 0) std::abort();
  }
  (void)signature_kind_text(signature->result);
  return 0;
}
