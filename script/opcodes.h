#pragma once
// The instruction set expanded from opcodes.def: a dense enum for the
// interpreter's switch, the mnemonic and operand layout of each opcode for the
// assembler, disassembler and traces, and a constexpr map from the raw 16-bit
// opcode (0x100..0x8FF) to the dense index, with unknown values mapped to Invalid.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavelo::script {

enum class OperandLayout : uint8_t { None, Int32, Float32, Jump, Bytes, Variable, Call, Syscall, Types, Line, JumpTable };

enum class Op : uint8_t {
#define TAVELO_OPCODE(raw, name, mnemonic, layout, meaning) name,
#include "script/opcodes.def"
#undef TAVELO_OPCODE
  Invalid,
};

inline constexpr size_t kOpcodeCount = size_t(Op::Invalid);

struct OpcodeInfo {
  uint16_t raw;
  std::string_view mnemonic;
  OperandLayout layout;
  std::string_view meaning;
};

inline constexpr std::array<OpcodeInfo, kOpcodeCount> kOpcodeInfo = {{
#define TAVELO_OPCODE(raw, name, mnemonic, layout, meaning) {raw, mnemonic, OperandLayout::layout, meaning},
#include "script/opcodes.def"
#undef TAVELO_OPCODE
}};

inline constexpr uint16_t kFirstRawOpcode = 0x100;
inline constexpr uint16_t kRawOpcodeSpan = 0x800;  // 0x100..0x8FF

// Every 16-bit value maps to an op, so decoding is a single table load.
constexpr std::array<Op, 65536> make_full_opcode_map() {
  std::array<Op, 65536> map{};
  for (Op& op : map) op = Op::Invalid;
  for (size_t i = 0; i < kOpcodeCount; ++i) map[kOpcodeInfo[i].raw] = Op(i);
  return map;
}

inline constexpr std::array<Op, 65536> kFullOpcodeMap = make_full_opcode_map();

constexpr Op decode_opcode(uint16_t raw) { return kFullOpcodeMap[raw]; }
constexpr uint16_t raw_opcode(Op op) { return kOpcodeInfo[size_t(op)].raw; }

constexpr const OpcodeInfo& opcode_info(Op op) { return kOpcodeInfo[size_t(op)]; }

std::optional<Op> find_opcode_by_mnemonic(std::string_view mnemonic);

// Size in bytes of the fixed part of an operand layout (variable-length
// layouts give the size of their count field).
constexpr size_t fixed_operand_size(OperandLayout layout) {
  switch (layout) {
    case OperandLayout::None: return 0;
    case OperandLayout::Int32: return 4;
    case OperandLayout::Float32: return 4;
    case OperandLayout::Jump: return 4;
    case OperandLayout::Bytes: return 2;
    case OperandLayout::Variable: return 8;
    case OperandLayout::Call: return 10;
    case OperandLayout::Syscall: return 6;
    case OperandLayout::Types: return 2;
    case OperandLayout::Line: return 2;
    case OperandLayout::JumpTable: return 2;
  }
  return 0;
}

// The variable flags word of Variable operands.
namespace variable_flags {
inline constexpr uint16_t kStepMask = 0x0007;      // 1 pre-inc, 2 pre-dec, 3 post-inc, 4 post-dec
inline constexpr uint16_t kUnaryMask = 0x0018;     // 8 negate, 16 logical not, 24 bitwise not
inline constexpr int kUnaryShift = 3;
inline constexpr uint16_t kScopeMask = 0x00E0;
inline constexpr int kScopeShift = 5;
inline constexpr uint16_t kTypeMask = 0x0700;
inline constexpr int kTypeShift = 8;
inline constexpr uint16_t kSubscriptMask = 0xF800;
inline constexpr int kSubscriptShift = 11;
}  // namespace variable_flags

}  // namespace tavelo::script
