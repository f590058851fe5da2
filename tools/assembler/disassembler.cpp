// The disassembler: any bytes to canonical assembler source that assembles
// back to the same bytes. Unknown opcodes and undecodable tails become .bytes;
// files without a complete header, table and code become a raw image.

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "platform/text_encoding.h"
#include "resources/byte_reader.h"
#include "host/syscall_tables.h"
#include "script/dispatch.h"
#include "script/loader.h"
#include "script/opcodes.h"
#include "tools/assembler/assembler.h"
#include "tools/assembler/text_form.h"

namespace tavelo::tools {
namespace {

using script::OperandLayout;
namespace flags = script::variable_flags;

constexpr size_t kBytesPerLine = 16;

struct Decoded {
  size_t offset = 0;
  size_t length = 0;
  std::optional<script::Op> op;  // empty: raw bytes (unknown opcode or tail)
};

std::string label_name(size_t offset) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "L%04zX", offset);
  return buffer;
}

void append_byte_lines(std::string& out, std::string_view directive, std::span<const uint8_t> bytes,
                       std::string_view indent) {
  for (size_t i = 0; i < bytes.size(); i += kBytesPerLine) {
    out += indent;
    out += directive;
    for (size_t j = i; j < std::min(bytes.size(), i + kBytesPerLine); ++j) {
      out += ' ';
      out += text_form::hex8(bytes[j]);
    }
    out += '\n';
  }
}

// Size of the instruction at offset, or 0 when its operands run past the end.
size_t instruction_length(std::span<const uint8_t> code, size_t offset, OperandLayout layout) {
  size_t fixed = 2 + script::fixed_operand_size(layout);
  if (code.size() - offset < fixed) return 0;
  size_t variable = 0;
  const uint8_t* operands = code.data() + offset + 2;
  switch (layout) {
    case OperandLayout::Bytes:
    case OperandLayout::Types: variable = resources::load_u16le(operands); break;
    case OperandLayout::JumpTable: variable = size_t(resources::load_u16le(operands)) * 4; break;
    default: break;
  }
  if (code.size() - offset - fixed < variable) return 0;
  return fixed + variable;
}

std::vector<Decoded> decode(std::span<const uint8_t> code) {
  std::vector<Decoded> out;
  size_t offset = 0;
  while (offset < code.size()) {
    if (code.size() - offset < 2) {
      out.push_back({offset, code.size() - offset, std::nullopt});
      break;
    }
    script::Op op = script::decode_opcode(resources::load_u16le(code.data() + offset));
    if (op == script::Op::Invalid) {
      // The interpreter skips an unknown opcode as a bare 16-bit word.
      out.push_back({offset, 2, std::nullopt});
      offset += 2;
      continue;
    }
    size_t length = instruction_length(code, offset, script::opcode_info(op).layout);
    if (length == 0) {
      out.push_back({offset, code.size() - offset, std::nullopt});
      break;
    }
    out.push_back({offset, length, op});
    offset += length;
  }
  return out;
}

class Disassembler {
 public:
  Disassembler(const platform::TextEncoding& encoding, const script::SyscallTable& syscalls)
      : m_encoding(encoding), m_syscalls(syscalls) {}

  std::string run(std::span<const uint8_t> file);

 private:
  std::string raw_image(std::span<const uint8_t> file);
  std::string offset_text(int64_t target) const;
  std::string jump_text(int64_t origin, int32_t offset) const;
  void collect_targets(const script::ScriptImage& image);
  void write_instruction(std::string& out, const Decoded& item);
  void write_variable(std::string& out, const uint8_t* operands);

  const platform::TextEncoding& m_encoding;
  const script::SyscallTable& m_syscalls;
  std::vector<uint8_t> m_code;
  std::vector<Decoded> m_items;
  std::set<size_t> m_boundaries;
  std::set<size_t> m_labels;
};

std::string Disassembler::raw_image(std::span<const uint8_t> file) {
  std::string out = "; not a complete compiled script: kept as a raw image\n.raw_file\n";
  append_byte_lines(out, ".bytes", file, "");
  return out;
}

// A code offset: a label where one is defined, else the number.
std::string Disassembler::offset_text(int64_t target) const {
  if (target >= 0 && m_labels.count(size_t(target))) return label_name(size_t(target));
  return std::to_string(target);
}

std::string Disassembler::jump_text(int64_t origin, int32_t offset) const {
  int64_t target = origin + offset;
  if (target >= 0 && m_labels.count(size_t(target))) return label_name(size_t(target));
  return (offset >= 0 ? "+" : "") + std::to_string(offset);
}

void Disassembler::collect_targets(const script::ScriptImage& image) {
  auto add = [this](int64_t target) {
    if (target >= 0 && m_boundaries.count(size_t(target))) m_labels.insert(size_t(target));
  };
  if (image.entry_offset != script::kNoEntry) add(image.entry_offset);
  for (const script::FunctionEntry& function : image.functions) add(function.offset);
  for (const Decoded& item : m_items) {
    if (!item.op) continue;
    const uint8_t* operands = m_code.data() + item.offset + 2;
    OperandLayout layout = script::opcode_info(*item.op).layout;
    if (layout == OperandLayout::Jump) {
      add(int64_t(item.offset) + 6 + int32_t(resources::load_u32le(operands)));
    } else if (layout == OperandLayout::JumpTable) {
      size_t count = resources::load_u16le(operands);
      for (size_t i = 0; i < count; ++i) {
        int64_t origin = int64_t(item.offset) + 4 + 4 * int64_t(i + 1);
        add(origin + int32_t(resources::load_u32le(operands + 2 + 4 * i)));
      }
    }
  }
}

void Disassembler::write_variable(std::string& out, const uint8_t* operands) {
  uint16_t word = resources::load_u16le(operands);
  uint32_t hash = resources::load_u32le(operands + 2);
  int16_t slot = int16_t(resources::load_u16le(operands + 6));
  auto named = [&out](std::string_view name, std::string_view prefix, int value) {
    out += ' ';
    if (!name.empty()) {
      out += name;
    } else {
      out += prefix;
      out += std::to_string(value);
    }
  };
  int scope = (word & flags::kScopeMask) >> flags::kScopeShift;
  int type = (word & flags::kTypeMask) >> flags::kTypeShift;
  int subscripts = (word & flags::kSubscriptMask) >> flags::kSubscriptShift;
  int step = word & flags::kStepMask;
  int unary = (word & flags::kUnaryMask) >> flags::kUnaryShift;
  named(scope < 4 ? text_form::kScopeNames[size_t(scope)] : "", "scope:", scope);
  named(type < 6 ? text_form::kTypeNames[size_t(type)] : "", "type:", type);
  if (subscripts) out += " subscripts:" + std::to_string(subscripts);
  if (step) named(step < 5 ? text_form::kStepNames[size_t(step)] : "", "step:", step);
  if (unary) out += ' ' + std::string(text_form::kUnaryNames[size_t(unary)]);
  // Locals are reached by slot; their hash is 0 (the default) and left out.
  if (hash != 0 || scope != 3) out += ' ' + text_form::hex32(hash);
  if (slot) out += " slot:" + std::to_string(slot);
}

void Disassembler::write_instruction(std::string& out, const Decoded& item) {
  std::span<const uint8_t> bytes(m_code.data() + item.offset, item.length);
  if (!item.op) {
    append_byte_lines(out, ".bytes", bytes, "    ");
    return;
  }
  const script::OpcodeInfo& info = script::opcode_info(*item.op);
  const uint8_t* operands = bytes.data() + 2;
  out += "    ";
  out += info.mnemonic;
  switch (info.layout) {
    case OperandLayout::None: break;
    case OperandLayout::Int32: out += ' ' + std::to_string(int32_t(resources::load_u32le(operands))); break;
    case OperandLayout::Float32: {
      float value;
      std::memcpy(&value, operands, 4);
      out += ' ' + text_form::format_float(value);
      break;
    }
    case OperandLayout::Jump:
      out += ' ' + jump_text(int64_t(item.offset) + 6, int32_t(resources::load_u32le(operands)));
      break;
    case OperandLayout::Bytes: {
      std::span<const uint8_t> text = bytes.subspan(4);
      bool terminated = !text.empty() && text.back() == 0;
      if (terminated) text = text.first(text.size() - 1);
      out += " \"" + text_form::escape_game_bytes(text, m_encoding) + "\"";
      if (!terminated) out += " unterminated";
      break;
    }
    case OperandLayout::Variable: write_variable(out, operands); break;
    case OperandLayout::Call: {
      out += ' ' + text_form::hex32(resources::load_u32le(operands));
      out += ' ' + std::to_string(resources::load_u16le(operands + 8));
      uint32_t cache = resources::load_u32le(operands + 4);
      if (cache) out += " cache:" + text_form::hex32(cache);
      break;
    }
    case OperandLayout::Syscall: {
      uint32_t key = resources::load_u32le(operands);
      const script::SyscallEntry* entry = script::find_syscall(m_syscalls, key);
      // A name is written only when it leads back to this key.
      const script::SyscallEntry* by_name = entry ? script::find_syscall_by_name(m_syscalls, entry->name) : nullptr;
      out += ' ';
      out += by_name && by_name->key == key ? std::string(entry->name) : text_form::hex32(key);
      out += ' ' + std::to_string(resources::load_u16le(operands + 4));
      break;
    }
    case OperandLayout::Types:
      for (uint8_t type : bytes.subspan(4)) {
        out += ' ';
        out += type < 6 ? std::string(text_form::kTypeNames[type]) : std::to_string(type);
      }
      break;
    case OperandLayout::Line: out += ' ' + std::to_string(resources::load_u16le(operands)); break;
    case OperandLayout::JumpTable: {
      size_t count = resources::load_u16le(operands);
      for (size_t i = 0; i < count; ++i) {
        int64_t origin = int64_t(item.offset) + 4 + 4 * int64_t(i + 1);
        out += ' ' + jump_text(origin, int32_t(resources::load_u32le(operands + 2 + 4 * i)));
      }
      break;
    }
  }
  out += '\n';
}

std::string Disassembler::run(std::span<const uint8_t> file) {
  script::ScriptImage image;
  script::ImageStatus status = script::parse_script_image(file, image);
  std::vector<uint8_t> patched;
  std::span<const uint8_t> magic;
  if (status == script::ImageStatus::BadMagic) {
    // Read the layout as if the magic were right and write the real one out.
    patched.assign(file.begin(), file.end());
    std::memcpy(patched.data(), script::kPlainMagic.data(), script::kMagicSize);
    status = script::parse_script_image(patched, image);
    magic = file.first(script::kMagicSize);
  }
  if (status == script::ImageStatus::Truncated) return raw_image(file);

  m_code.assign(image.code.begin(), image.code.end());
  if (image.variant == script::ScriptVariant::Scrambled) script::scramble_code(m_code);
  m_items = decode(m_code);
  for (const Decoded& item : m_items) m_boundaries.insert(item.offset);
  m_boundaries.insert(m_code.size());
  collect_targets(image);

  std::string out = "; compiled script, " + std::to_string(m_code.size()) + " code bytes\n";
  out += image.variant == script::ScriptVariant::Scrambled ? ".variant scrambled\n" : ".variant plain\n";
  if (!magic.empty()) out += ".magic \"" + text_form::escape_game_bytes(magic, m_encoding) + "\"\n";
  out += ".entry ";
  out += image.entry_offset == script::kNoEntry ? "none" : offset_text(image.entry_offset);
  out += "\n.line_count " + std::to_string(image.line_count) + "\n";
  for (const script::FunctionEntry& function : image.functions) {
    out += ".function " + text_form::hex32(function.hash) + " " + offset_text(function.offset) + "\n";
  }
  for (const Decoded& item : m_items) {
    if (m_labels.count(item.offset)) out += "\n" + label_name(item.offset) + ":\n";
    write_instruction(out, item);
  }
  if (m_labels.count(m_code.size())) out += "\n" + label_name(m_code.size()) + ":\n";
  if (image.trailing_size) {
    out += "\n";
    append_byte_lines(out, ".trailer", file.last(image.trailing_size), "");
  }
  return out;
}

}  // namespace

std::string disassemble(std::span<const uint8_t> file, const AssemblerContext& context) {
  std::unique_ptr<platform::TextEncoding> own_encoding;
  const platform::TextEncoding* encoding = context.encoding;
  if (!encoding) {
    own_encoding = platform::TextEncoding::create("CP932");
    if (!own_encoding) return {};
    encoding = own_encoding.get();
  }
  script::SyscallTable own_table;
  const script::SyscallTable* syscalls = context.syscalls;
  if (!syscalls) {
    (void)host::build_engine_syscall_table(own_table);
    syscalls = &own_table;
  }
  Disassembler disassembler(*encoding, *syscalls);
  return disassembler.run(file);
}

}  // namespace tavelo::tools
