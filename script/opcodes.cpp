// Opcode lookups that are not needed at compile time.

#include "script/opcodes.h"

namespace tavelo::script {

std::optional<Op> find_opcode_by_mnemonic(std::string_view mnemonic) {
  for (size_t i = 0; i < kOpcodeCount; ++i) {
    if (kOpcodeInfo[i].mnemonic == mnemonic) return Op(i);
  }
  return std::nullopt;
}

}  // namespace tavelo::script
