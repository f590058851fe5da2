// The assembler: source text to a compiled script file.
//
// Instruction sizes never depend on label values, so one pass encodes every
// instruction with its jump fields zero and records a fixup per label use; the
// fixups are filled in once all labels are known.

#include "tools/assembler/assembler.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "platform/text_encoding.h"
#include "resources/byte_reader.h"
#include "resources/name_hash.h"
#include "host/syscall_tables.h"
#include "script/dispatch.h"
#include "script/loader.h"
#include "script/opcodes.h"
#include "tools/assembler/text_form.h"

namespace tavelo::tools {
namespace {

using script::OperandLayout;
namespace flags = script::variable_flags;

struct Token {
  enum class Kind { Word, String };
  Kind kind = Kind::Word;
  std::string text;  // a word as written; a string's inside without the quotes
};

// A code offset given as a label or as a number.
struct Reference {
  std::string label;  // empty: number
  int64_t number = 0;
  int line = 0;
};

struct Fixup {
  size_t field;   // code offset of the 4-byte field
  size_t origin;  // offset the value is relative to (the end of the field)
  std::string label;
  int line;
};

bool is_identifier(std::string_view word) {
  if (word.empty()) return false;
  auto head = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!head(word[0])) return false;
  for (char c : word) {
    if (!head(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

class Assembler {
 public:
  Assembler(const platform::TextEncoding& encoding, const script::SyscallTable& syscalls)
      : m_encoding(encoding), m_syscalls(syscalls) {}

  AssemblyResult run(std::string_view source);

 private:
  void error(std::string message) { m_result.errors.push_back({m_line, std::move(message)}); }
  bool tokenize(std::string_view line, std::vector<Token>& tokens);
  void statement(std::vector<Token>& tokens);
  void directive(const std::string& name, std::span<const Token> operands);
  void instruction(script::Op op, std::span<const Token> operands);

  std::optional<int64_t> integer(const Token& token, int64_t low, int64_t high, std::string_view what);
  std::optional<Reference> reference(const Token& token);
  std::optional<uint32_t> hash_operand(const Token& token, std::string_view what);
  std::optional<std::string> literal(const Token& token);
  bool raw_bytes(std::span<const Token> operands, std::vector<uint8_t>& out);
  void jump_field(const Token& token);
  bool variable_operands(std::span<const Token> operands);
  std::optional<int64_t> resolve(const Reference& reference);

  const platform::TextEncoding& m_encoding;
  const script::SyscallTable& m_syscalls;
  AssemblyResult m_result;
  int m_line = 0;

  resources::ByteWriter m_code;
  std::map<std::string, size_t> m_labels;
  std::vector<Fixup> m_fixups;

  bool m_scrambled = false;
  bool m_raw_file = false;
  std::optional<std::string> m_magic;
  std::optional<Reference> m_entry;
  bool m_entry_set = false;
  std::optional<uint32_t> m_line_count;
  int64_t m_highest_line = -1;
  struct Function {
    uint32_t hash;
    Reference offset;
  };
  std::vector<Function> m_functions;
  std::optional<uint32_t> m_function_count;
  std::optional<uint32_t> m_code_size;
  std::vector<uint8_t> m_trailer;
};

bool Assembler::tokenize(std::string_view line, std::vector<Token>& tokens) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++i;
      continue;
    }
    if (c == ';') break;
    if (c == '"') {
      size_t end = i + 1;
      while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
      if (end >= line.size()) {
        error("unterminated string literal");
        return false;
      }
      tokens.push_back({Token::Kind::String, std::string(line.substr(i + 1, end - i - 1))});
      i = end + 1;
      continue;
    }
    size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r' && line[end] != ',' &&
           line[end] != ';' && line[end] != '"') {
      ++end;
    }
    tokens.push_back({Token::Kind::Word, std::string(line.substr(i, end - i))});
    i = end;
  }
  return true;
}

std::optional<int64_t> Assembler::integer(const Token& token, int64_t low, int64_t high, std::string_view what) {
  std::optional<int64_t> value;
  if (token.kind == Token::Kind::Word) value = text_form::parse_integer(token.text);
  if (!value) {
    error("expected a number for " + std::string(what) + ", got '" + token.text + "'");
    return std::nullopt;
  }
  if (*value < low || *value > high) {
    error(std::string(what) + " " + token.text + " is out of range " + std::to_string(low) + ".." +
          std::to_string(high));
    return std::nullopt;
  }
  return value;
}

std::optional<Reference> Assembler::reference(const Token& token) {
  if (token.kind == Token::Kind::Word && is_identifier(token.text)) return Reference{token.text, 0, m_line};
  std::optional<int64_t> number = integer(token, INT32_MIN, UINT32_MAX, "offset");
  if (!number) return std::nullopt;
  return Reference{{}, *number, m_line};
}

std::optional<std::string> Assembler::literal(const Token& token) {
  if (token.kind != Token::Kind::String) {
    error("expected a string literal, got '" + token.text + "'");
    return std::nullopt;
  }
  std::string message;
  std::optional<std::string> bytes = text_form::unescape_literal(token.text, m_encoding, message);
  if (!bytes) error(message);
  return bytes;
}

// A name hash: a string literal is hashed (after conversion to the code
// page), a number is the hash itself.
std::optional<uint32_t> Assembler::hash_operand(const Token& token, std::string_view what) {
  if (token.kind == Token::Kind::String) {
    std::optional<std::string> name = literal(token);
    if (!name) return std::nullopt;
    return resources::name_hash(*name);
  }
  std::optional<int64_t> value = integer(token, 0, UINT32_MAX, what);
  if (!value) return std::nullopt;
  return uint32_t(*value);
}

bool Assembler::raw_bytes(std::span<const Token> operands, std::vector<uint8_t>& out) {
  if (operands.empty()) {
    error("expected bytes");
    return false;
  }
  for (const Token& token : operands) {
    if (token.kind == Token::Kind::String) {
      std::optional<std::string> bytes = literal(token);
      if (!bytes) return false;
      out.insert(out.end(), bytes->begin(), bytes->end());
      continue;
    }
    std::optional<int64_t> value = integer(token, 0, 255, "byte");
    if (!value) return false;
    out.push_back(uint8_t(*value));
  }
  return true;
}

void Assembler::jump_field(const Token& token) {
  size_t field = m_code.bytes.size();
  m_code.u32le(0);
  std::optional<Reference> target = reference(token);
  if (!target) return;
  if (target->label.empty()) {
    if (target->number > INT32_MAX) {
      error("jump offset " + token.text + " does not fit in 32 signed bits");
      return;
    }
    m_code.patch_u32le(field, uint32_t(int32_t(target->number)));
    return;
  }
  m_fixups.push_back({field, field + 4, target->label, m_line});
}

// [scope] [type] [subscripts:N] [step] [unary] [NAME] [slot:N], in any order.
bool Assembler::variable_operands(std::span<const Token> operands) {
  int scope = -1, type = -1, step = -1, unary = -1, subscripts = -1;
  std::optional<uint32_t> hash;
  std::optional<int64_t> slot;
  auto set_once = [this](int& field, int value, std::string_view what) {
    if (field >= 0) {
      error("the " + std::string(what) + " is given twice");
      return false;
    }
    field = value;
    return true;
  };
  auto numbered = [this](std::string_view word, std::string_view prefix, int high) -> std::optional<int> {
    std::optional<int64_t> value = text_form::parse_integer(word.substr(prefix.size()));
    if (!value || *value < 0 || *value > high) {
      error("bad value in '" + std::string(word) + "' (0.." + std::to_string(high) + ")");
      return std::nullopt;
    }
    return int(*value);
  };
  for (const Token& token : operands) {
    const std::string& word = token.text;
    int index;
    bool ok = true;
    if (token.kind == Token::Kind::String || text_form::parse_integer(word)) {
      if (hash) {
        error("the variable name is given twice");
        return false;
      }
      hash = hash_operand(token, "variable hash");
      if (!hash) return false;
      continue;
    }
    if ((index = text_form::find_name(text_form::kScopeNames, word)) >= 0) {
      ok = set_once(scope, index, "scope");
    } else if ((index = text_form::find_name(text_form::kTypeNames, word)) >= 0) {
      ok = set_once(type, index, "type");
    } else if ((index = text_form::find_name(text_form::kStepNames, word)) >= 0) {
      ok = set_once(step, index, "increment");
    } else if ((index = text_form::find_name(text_form::kUnaryNames, word)) >= 0) {
      ok = set_once(unary, index, "unary operation");
    } else if (word.starts_with("scope:")) {
      std::optional<int> value = numbered(word, "scope:", 7);
      ok = value && set_once(scope, *value, "scope");
    } else if (word.starts_with("type:")) {
      std::optional<int> value = numbered(word, "type:", 7);
      ok = value && set_once(type, *value, "type");
    } else if (word.starts_with("step:")) {
      std::optional<int> value = numbered(word, "step:", 7);
      ok = value && set_once(step, *value, "increment");
    } else if (word.starts_with("subscripts:")) {
      std::optional<int> value = numbered(word, "subscripts:", 31);
      ok = value && set_once(subscripts, *value, "subscript count");
    } else if (word.starts_with("slot:")) {
      std::optional<int64_t> value = text_form::parse_integer(word.substr(5));
      if (!value || *value < INT16_MIN || *value > UINT16_MAX) {
        error("bad slot hint '" + word + "' (-32768..65535)");
        return false;
      }
      if (slot) {
        error("the slot hint is given twice");
        return false;
      }
      slot = value;
    } else {
      error("unknown variable operand '" + word + "'");
      return false;
    }
    if (!ok) return false;
  }
  if (scope < 0) {
    error("the variable needs a scope (eternal, global, thread or local)");
    return false;
  }
  uint16_t word = uint16_t(std::max(step, 0) | std::max(unary, 0) << flags::kUnaryShift |
                           scope << flags::kScopeShift | std::max(type, 0) << flags::kTypeShift |
                           std::max(subscripts, 0) << flags::kSubscriptShift);
  m_code.u16le(word);
  m_code.u32le(hash.value_or(0));
  m_code.u16le(uint16_t(slot.value_or(0)));
  return true;
}

void Assembler::instruction(script::Op op, std::span<const Token> operands) {
  const script::OpcodeInfo& info = script::opcode_info(op);
  auto expect = [&](size_t low, size_t high) {
    if (operands.size() < low || operands.size() > high) {
      error(std::string(info.mnemonic) + " takes " +
            (low == high ? std::to_string(low) : std::to_string(low) + " to " + std::to_string(high)) +
            " operand(s)");
      return false;
    }
    return true;
  };
  m_code.u16le(info.raw);
  switch (info.layout) {
    case OperandLayout::None:
      expect(0, 0);
      break;
    case OperandLayout::Int32: {
      if (!expect(1, 1)) break;
      std::optional<int64_t> value = integer(operands[0], INT32_MIN, UINT32_MAX, "integer");
      m_code.u32le(uint32_t(value.value_or(0)));
      break;
    }
    case OperandLayout::Float32: {
      if (!expect(1, 1)) break;
      std::optional<float> value = text_form::parse_float(operands[0].text);
      if (!value || operands[0].kind != Token::Kind::Word) error("expected a float, got '" + operands[0].text + "'");
      m_code.f32le(value.value_or(0));
      break;
    }
    case OperandLayout::Jump:
      if (!expect(1, 1)) break;
      jump_field(operands[0]);
      break;
    case OperandLayout::Bytes: {
      if (!expect(1, 2)) break;
      bool terminated = true;
      if (operands.size() == 2) {
        if (operands[1].text != "unterminated" || operands[1].kind != Token::Kind::Word) {
          error("expected 'unterminated' after the string");
          break;
        }
        terminated = false;
      }
      std::optional<std::string> bytes = literal(operands[0]);
      if (!bytes) break;
      if (terminated) bytes->push_back('\0');
      if (bytes->size() > UINT16_MAX) {
        error("string of " + std::to_string(bytes->size()) + " bytes is longer than 65535");
        break;
      }
      m_code.u16le(uint16_t(bytes->size()));
      m_code.append(*bytes);
      break;
    }
    case OperandLayout::Variable:
      variable_operands(operands);
      break;
    case OperandLayout::Call: {
      if (!expect(2, 3)) break;
      std::optional<uint32_t> hash = hash_operand(operands[0], "function hash");
      std::optional<int64_t> argc = integer(operands[1], 0, UINT16_MAX, "argument count");
      uint32_t cache = 0;
      if (operands.size() == 3) {
        std::optional<int64_t> value;
        if (operands[2].text.starts_with("cache:")) value = text_form::parse_integer(operands[2].text.substr(6));
        if (!value || *value < 0 || *value > UINT32_MAX) error("expected cache:N, got '" + operands[2].text + "'");
        cache = uint32_t(value.value_or(0));
      }
      m_code.u32le(hash.value_or(0));
      m_code.u32le(cache);
      m_code.u16le(uint16_t(argc.value_or(0)));
      break;
    }
    case OperandLayout::Syscall: {
      if (!expect(2, 2)) break;
      std::optional<uint32_t> key;
      if (operands[0].kind == Token::Kind::Word && is_identifier(operands[0].text)) {
        const script::SyscallEntry* entry = script::find_syscall_by_name(m_syscalls, operands[0].text);
        if (entry) {
          key = entry->key;
        } else {
          error("unknown system call '" + operands[0].text + "' (write its key as 0x...)");
        }
      } else {
        key = integer(operands[0], 0, UINT32_MAX, "system-call key");
      }
      std::optional<int64_t> argc = integer(operands[1], 0, UINT16_MAX, "argument count");
      m_code.u32le(key.value_or(0));
      m_code.u16le(uint16_t(argc.value_or(0)));
      break;
    }
    case OperandLayout::Types: {
      if (operands.size() > UINT16_MAX) {
        error("too many types");
        break;
      }
      m_code.u16le(uint16_t(operands.size()));
      for (const Token& token : operands) {
        int index = text_form::find_name(text_form::kTypeNames, token.text);
        if (index < 0 || token.kind != Token::Kind::Word) {
          std::optional<int64_t> value = integer(token, 0, 255, "type");
          index = int(value.value_or(0));
        }
        m_code.u8(uint8_t(index));
      }
      break;
    }
    case OperandLayout::Line: {
      if (!expect(1, 1)) break;
      std::optional<int64_t> line = integer(operands[0], 0, UINT16_MAX, "line number");
      if (line) m_highest_line = std::max(m_highest_line, *line);
      m_code.u16le(uint16_t(line.value_or(0)));
      break;
    }
    case OperandLayout::JumpTable:
      if (operands.size() > UINT16_MAX) {
        error("too many jump-table entries");
        break;
      }
      m_code.u16le(uint16_t(operands.size()));
      for (const Token& token : operands) jump_field(token);
      break;
  }
}

void Assembler::directive(const std::string& name, std::span<const Token> operands) {
  auto count = [&](size_t wanted) {
    if (operands.size() != wanted) {
      error(name + " takes " + std::to_string(wanted) + " operand(s)");
      return false;
    }
    return true;
  };
  if (name == ".variant") {
    if (!count(1)) return;
    if (operands[0].text == "plain") {
      m_scrambled = false;
    } else if (operands[0].text == "scrambled") {
      m_scrambled = true;
    } else {
      error(".variant is plain or scrambled");
    }
  } else if (name == ".magic") {
    if (!count(1)) return;
    std::optional<std::string> bytes = literal(operands[0]);
    if (!bytes) return;
    if (bytes->size() > script::kMagicSize) {
      error(".magic holds at most 16 bytes");
      return;
    }
    bytes->resize(script::kMagicSize, '\0');
    m_magic = *bytes;
  } else if (name == ".entry") {
    if (!count(1)) return;
    if (m_entry_set) error("the entry is given twice");
    m_entry_set = true;
    if (operands[0].text == "none" && operands[0].kind == Token::Kind::Word) {
      m_entry.reset();
    } else {
      m_entry = reference(operands[0]);
    }
  } else if (name == ".line_count") {
    if (!count(1)) return;
    if (std::optional<int64_t> value = integer(operands[0], 0, UINT32_MAX, "line count")) m_line_count = uint32_t(*value);
  } else if (name == ".function") {
    if (!count(2)) return;
    std::optional<uint32_t> hash = hash_operand(operands[0], "function hash");
    std::optional<Reference> offset = reference(operands[1]);
    if (hash && offset) m_functions.push_back({*hash, *offset});
  } else if (name == ".function_count") {
    if (!count(1)) return;
    if (std::optional<int64_t> value = integer(operands[0], 0, UINT32_MAX, "function count")) {
      m_function_count = uint32_t(*value);
    }
  } else if (name == ".code_size") {
    if (!count(1)) return;
    if (std::optional<int64_t> value = integer(operands[0], 0, UINT32_MAX, "code size")) m_code_size = uint32_t(*value);
  } else if (name == ".bytes") {
    std::vector<uint8_t> bytes;
    if (raw_bytes(operands, bytes)) m_code.append(bytes);
  } else if (name == ".trailer") {
    raw_bytes(operands, m_trailer);
  } else if (name == ".raw_file") {
    if (count(0)) m_raw_file = true;
  } else {
    error("unknown directive " + name);
  }
}

void Assembler::statement(std::vector<Token>& tokens) {
  std::span<const Token> rest(tokens);
  // Label definitions: "name:" before an optional statement.
  while (!rest.empty() && rest[0].kind == Token::Kind::Word && rest[0].text.size() > 1 &&
         rest[0].text.back() == ':') {
    std::string label = rest[0].text.substr(0, rest[0].text.size() - 1);
    if (!is_identifier(label)) {
      error("bad label name '" + label + "'");
      return;
    }
    if (!m_labels.emplace(label, m_code.bytes.size()).second) {
      error("label '" + label + "' is defined twice");
    }
    rest = rest.subspan(1);
  }
  if (rest.empty()) return;
  if (rest[0].kind != Token::Kind::Word) {
    error("a line starts with a mnemonic, a directive or a label");
    return;
  }
  const std::string& head = rest[0].text;
  if (head[0] == '.') {
    directive(head, rest.subspan(1));
    return;
  }
  std::optional<script::Op> op = script::find_opcode_by_mnemonic(head);
  if (!op) {
    error("unknown mnemonic '" + head + "'");
    return;
  }
  instruction(*op, rest.subspan(1));
}

std::optional<int64_t> Assembler::resolve(const Reference& reference) {
  if (reference.label.empty()) return reference.number;
  auto found = m_labels.find(reference.label);
  if (found == m_labels.end()) {
    m_result.errors.push_back({reference.line, "undefined label '" + reference.label + "'"});
    return std::nullopt;
  }
  return int64_t(found->second);
}

AssemblyResult Assembler::run(std::string_view source) {
  size_t position = 0;
  while (position <= source.size()) {
    size_t end = source.find('\n', position);
    if (end == std::string_view::npos) end = source.size();
    ++m_line;
    std::vector<Token> tokens;
    if (tokenize(source.substr(position, end - position), tokens)) statement(tokens);
    position = end + 1;
  }

  for (const Fixup& fixup : m_fixups) {
    auto found = m_labels.find(fixup.label);
    if (found == m_labels.end()) {
      m_result.errors.push_back({fixup.line, "undefined label '" + fixup.label + "'"});
      continue;
    }
    int64_t offset = int64_t(found->second) - int64_t(fixup.origin);
    m_code.patch_u32le(fixup.field, uint32_t(int32_t(offset)));
  }
  uint32_t entry = script::kNoEntry;
  if (m_entry) {
    std::optional<int64_t> value = resolve(*m_entry);
    entry = uint32_t(value.value_or(0));
  }
  std::vector<script::FunctionEntry> functions;
  for (const Function& function : m_functions) {
    std::optional<int64_t> offset = resolve(function.offset);
    functions.push_back({function.hash, uint32_t(offset.value_or(0))});
  }
  if (m_code.bytes.size() > UINT32_MAX) m_result.errors.push_back({m_line, "the code is larger than 4 GiB"});
  std::sort(m_result.errors.begin(), m_result.errors.end(),
            [](const AssemblyError& a, const AssemblyError& b) { return a.line < b.line; });
  if (!m_result.ok()) return std::move(m_result);

  if (m_raw_file) {
    m_result.bytes = std::move(m_code.bytes);
    return std::move(m_result);
  }
  CompiledScript script;
  script.code = std::move(m_code.bytes);
  script.scrambled = m_scrambled;
  script.entry = entry;
  script.line_count = m_line_count.value_or(uint32_t(m_highest_line + 1));
  for (const script::FunctionEntry& function : functions) script.functions.push_back({function.hash, function.offset});
  script.magic = m_magic;
  script.function_count = m_function_count;
  script.code_size = m_code_size;
  script.trailer = std::move(m_trailer);
  m_result.bytes = write_compiled_script(script);
  return std::move(m_result);
}

}  // namespace

std::vector<uint8_t> write_compiled_script(const CompiledScript& script) {
  std::vector<uint8_t> code = script.code;
  if (script.scrambled) script::scramble_code(code);
  resources::ByteWriter file;
  std::string_view magic = script.scrambled ? script::kScrambledMagic : script::kPlainMagic;
  file.append(script.magic ? std::string_view(*script.magic) : magic);
  file.u32le(script.entry);
  file.u32le(script.line_count);
  file.u32le(script.function_count.value_or(uint32_t(script.functions.size())));
  for (const CompiledScript::Function& function : script.functions) {
    file.u32le(function.hash);
    file.u32le(function.offset);
  }
  file.u32le(script.code_size.value_or(uint32_t(code.size())));
  file.append(code);
  file.append(script.trailer);
  return std::move(file.bytes);
}

AssemblyResult assemble(std::string_view source, const AssemblerContext& context) {
  std::unique_ptr<platform::TextEncoding> own_encoding;
  const platform::TextEncoding* encoding = context.encoding;
  if (!encoding) {
    own_encoding = platform::TextEncoding::create("CP932");
    encoding = own_encoding.get();
    if (!encoding) return {{}, {{0, "the CP932 code page is not available"}}};
  }
  script::SyscallTable own_table;
  const script::SyscallTable* syscalls = context.syscalls;
  if (!syscalls) {
    // A duplicate key only matters to the engine; the names still resolve.
    (void)host::build_engine_syscall_table(own_table);
    syscalls = &own_table;
  }
  Assembler assembler(*encoding, *syscalls);
  return assembler.run(source);
}

std::string format_errors(const AssemblyResult& result, std::string_view source_name) {
  std::string text;
  for (const AssemblyError& error : result.errors) {
    text += std::string(source_name) + ":" + std::to_string(error.line) + ": error: " + error.message + "\n";
  }
  return text;
}

}  // namespace tavelo::tools
