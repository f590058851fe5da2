// The tvc code generator.

#include "tools/tvc/codegen.h"

#include <algorithm>
#include <bit>
#include <map>
#include <set>

#include "resources/byte_reader.h"
#include "resources/name_hash.h"
#include "script/opcodes.h"
#include "tools/assembler/assembler.h"
#include "tools/tvc/syscall_lookup.h"

namespace tavelo::tools::tvc {
namespace {

using script::Op;
namespace flag_bits = script::variable_flags;

// System calls the language itself compiles to.
constexpr uint32_t kCreateThread = 0xF2F9DAA8;
constexpr uint32_t kCreateChildThread = 0xAE497F1A;
constexpr uint32_t kRegisterEvent = 0x078A756E;
constexpr uint32_t kRegisterEventFirst = 0x1295BBDA;
constexpr uint32_t kUnregisterEvent = 0xA93C9856;
constexpr uint32_t kRaiseEvent = 0x76EE6C90;
constexpr uint32_t kRaiseEventTo = 0x29F1AC40;
constexpr uint32_t kCallScriptFunction = 0x9627DDC3;
constexpr uint32_t kIntToText = 0x6F769889;
constexpr uint32_t kTextToInt = 0x109CA5DB;
constexpr uint32_t kArrayCreate[3] = {0x96B07AEE, 0xA6AC6CCC, 0x1F57B724};
constexpr uint32_t kArraySingle[3] = {0x3A49E325, 0xAAB68E6D, 0x134D5585};
constexpr uint32_t kArrayCopy[3] = {0x7FCF3C82, 0xE2413EF9, 0x5BBAE511};

// The longest text the message window holds at once, in bytes.
constexpr size_t kMaxStoryLineBytes = 1023;
constexpr uint32_t kMaxLineNumber = 65535;

Op op_at(uint16_t raw) { return script::decode_opcode(raw); }

// ---- the instruction stream of one function

class Emitter {
 public:
  resources::ByteWriter code;
  int64_t line = -1;  // the line the frame holds at this point; -1: unknown

  size_t size() const { return code.bytes.size(); }
  int label() {
    m_labels.push_back(-1);
    return int(m_labels.size() - 1);
  }
  void bind(int label) {
    m_labels[size_t(label)] = int64_t(size());
    line = -1;
  }
  void op(Op op) { code.u16le(script::raw_opcode(op)); }
  void jump(Op op, int label) {
    this->op(op);
    field(label);
  }
  void field(int label) {
    m_fixups.push_back({size(), size() + 4, label});
    code.u32le(0);
  }
  void push_int(int32_t value) {
    op(Op::PushInt);
    code.i32le(value);
  }
  void push_float(float value) {
    op(Op::PushFloat);
    code.f32le(value);
  }
  void bytes(Op op, std::string_view text) {
    this->op(op);
    code.u16le(uint16_t(text.size() + 1));
    code.append(text);
    code.u8(0);
  }
  void variable(Op op, uint16_t flags, uint32_t hash, int16_t slot) {
    this->op(op);
    code.u16le(flags);
    code.u32le(hash);
    code.i16le(slot);
  }
  void call(Op op, uint32_t hash, size_t argc) {
    this->op(op);
    code.u32le(hash);
    code.u32le(0);
    code.u16le(uint16_t(argc));
  }
  void syscall(bool keep, uint32_t key, size_t argc) {
    op(keep ? Op::Syscall : Op::SyscallDiscard);
    code.u32le(key);
    code.u16le(uint16_t(argc));
  }
  void types(Op op, const std::vector<Type>& list) {
    this->op(op);
    code.u16le(uint16_t(list.size()));
    for (Type type : list) code.u8(uint8_t(type));
  }

  // A probe (working out an expression's type by generating it) is undone.
  struct Mark {
    size_t code, labels, fixups;
    int64_t line;
  };
  Mark mark() const { return {size(), m_labels.size(), m_fixups.size(), line}; }
  void undo(const Mark& mark) {
    code.bytes.resize(mark.code);
    m_labels.resize(mark.labels);
    m_fixups.resize(mark.fixups);
    line = mark.line;
  }

  void resolve() {
    for (const Fixup& fixup : m_fixups) {
      int64_t offset = m_labels[size_t(fixup.label)] - int64_t(fixup.origin);
      code.patch_u32le(fixup.field, uint32_t(int32_t(offset)));
    }
  }

 private:
  struct Fixup {
    size_t field;
    size_t origin;
    int label;
  };
  std::vector<int64_t> m_labels;
  std::vector<Fixup> m_fixups;
};

uint16_t variable_flags(Scope scope, Type type, int step = 0, int subscripts = 0) {
  return uint16_t(step | int(scope) << flag_bits::kScopeShift | int(type) << flag_bits::kTypeShift |
                  subscripts << flag_bits::kSubscriptShift);
}

// The keep form of an assignment (a variable's; + 0x60 drops the value,
// + 0xC0 and + 0x120 are the element forms) for an operator and a type.
std::optional<uint16_t> assignment_opcode(TokenKind op, Type type) {
  bool is_int = type == Type::Int, is_float = type == Type::Float, is_string = type == Type::String;
  switch (op) {
    case TokenKind::Assign:
      return is_array(type) || is_int || is_float || is_string ? std::optional<uint16_t>(uint16_t(0x1B0 + int(type)))
                                                                 : std::nullopt;
    case TokenKind::StarAssign: return is_int ? 0x1B8 : is_float ? std::optional<uint16_t>(0x1B9) : std::nullopt;
    case TokenKind::SlashAssign: return is_int ? 0x1C0 : is_float ? std::optional<uint16_t>(0x1C1) : std::nullopt;
    case TokenKind::PercentAssign: return is_int ? std::optional<uint16_t>(0x1C8) : std::nullopt;
    case TokenKind::PlusAssign:
      return is_int ? 0x1D0 : is_float ? 0x1D1 : is_string ? std::optional<uint16_t>(0x1D2) : std::nullopt;
    case TokenKind::MinusAssign: return is_int ? 0x1D8 : is_float ? std::optional<uint16_t>(0x1D9) : std::nullopt;
    case TokenKind::ShiftLeftAssign: return is_int ? std::optional<uint16_t>(0x1E0) : std::nullopt;
    case TokenKind::ShiftRightAssign: return is_int ? std::optional<uint16_t>(0x1E8) : std::nullopt;
    case TokenKind::AndAssign: return is_int ? std::optional<uint16_t>(0x1F0) : std::nullopt;
    case TokenKind::XorAssign: return is_int ? std::optional<uint16_t>(0x1F8) : std::nullopt;
    case TokenKind::OrAssign: return is_int ? std::optional<uint16_t>(0x200) : std::nullopt;
    default: return std::nullopt;
  }
}

bool is_comparison(TokenKind op) {
  return op == TokenKind::Less || op == TokenKind::LessEqual || op == TokenKind::Greater ||
         op == TokenKind::GreaterEqual || op == TokenKind::EqualEqual || op == TokenKind::NotEqual;
}

// Comparison opcodes: the int one; + 1 float, + 2 string.
Op comparison_opcode(TokenKind op, Type type) {
  uint16_t base = 0;
  switch (op) {
    case TokenKind::LessEqual: base = 0x138; break;
    case TokenKind::Less: base = 0x140; break;
    case TokenKind::GreaterEqual: base = 0x148; break;
    case TokenKind::Greater: base = 0x150; break;
    case TokenKind::EqualEqual: base = 0x158; break;
    default: base = 0x160; break;
  }
  return op_at(uint16_t(base + (type == Type::Float ? 1 : type == Type::String ? 2 : 0)));
}

// A statement that never lets control reach the next one.
bool ends_flow(const Node& node) {
  switch (node.kind) {
    case NodeKind::Return: case NodeKind::Break: case NodeKind::Continue: return true;
    case NodeKind::Block: return std::any_of(node.kids.begin(), node.kids.end(), [](const NodePtr& kid) { return ends_flow(*kid); });
    case NodeKind::If: return node.kids.size() == 3 && ends_flow(*node.kids[1]) && ends_flow(*node.kids[2]);
    default: return false;
  }
}

bool contains_break(const Node& node) {
  if (node.kind == NodeKind::Break) return true;
  // A break inside a nested loop or switch leaves only that.
  if (node.kind == NodeKind::While || node.kind == NodeKind::DoWhile || node.kind == NodeKind::For ||
      node.kind == NodeKind::Switch) {
    return false;
  }
  return std::any_of(node.kids.begin(), node.kids.end(), [](const NodePtr& kid) { return contains_break(*kid); });
}

struct Local {
  std::string name;
  Type type = Type::Int;
  int16_t slot = 0;
  bool param = false;
  bool read = false;
  Position at;
  std::optional<ConstValue> constant;  // a local constant: no slot, its value
  bool is_constant = false;
};

// What a name used as a variable stands for.
struct VariableRef {
  Scope scope = Scope::Local;
  Type type = Type::Error;
  uint32_t hash = 0;
  int16_t slot = 0;
};

struct Loop {
  int break_label;
  int continue_label;  // -1: a switch (continue goes to an outer loop)
  bool inside_click;   // `until click` handlers are set when leaving
};

class ModuleCompiler;

// Where an expression starts in the source (a binary node sits at its
// operator).
Position start_of(const Node& node) {
  switch (node.kind) {
    case NodeKind::Binary: case NodeKind::Assign: case NodeKind::Conditional: case NodeKind::PostStep:
    case NodeKind::Index:
      return node.kids.empty() ? node.at : start_of(*node.kids[0]);
    default: return node.at;
  }
}

// A system call of the engine's table as the compiler checks it. `func`
// arguments take a function's name (its key, an int); a result that is always
// 0 counts as no value, so `${sound("x")}` in story text plays and shows
// nothing; a result of any kind is taken as an int.
Symbol engine_call(const SyscallName& call) {
  Symbol symbol;
  symbol.kind = SymbolKind::Native;
  symbol.key = call.key;
  if (!call.signature) {
    symbol.signature_known = false;
    symbol.result = Type::Int;
    return symbol;
  }
  const script::SyscallSignature& signature = *call.signature;
  constexpr uint8_t kFunctionBit = script::signature_bit(script::SignatureKind::Function);
  for (const script::SyscallArgument& argument : signature.arguments) {
    uint8_t kinds = argument.kinds & script::kAnyValue;
    if (argument.kinds & kFunctionBit) kinds |= uint8_t(1u << int(Type::Int));
    symbol.param_kinds.push_back(kinds);
    symbol.params.push_back(Type::Error);
  }
  symbol.counts = signature.counts;
  symbol.required = size_t(signature.min_count());
  symbol.variadic = signature.repeats;
  std::string_view note = signature.result_note;
  bool always_zero = note == "0" || note.starts_with("0;");
  uint8_t result = signature.result & script::kAnyValue;
  if (result == 0 || always_zero) {
    symbol.result = Type::Void;
  } else if ((result & (result - 1)) == 0) {
    symbol.result = Type(std::countr_zero(result));
  } else {
    symbol.result = Type::Int;
  }
  return symbol;
}

// ---- one function

class FunctionCompiler {
 public:
  FunctionCompiler(ModuleCompiler& owner, const Node& function);
  std::vector<uint8_t> compile();

 private:
  Program& program();
  void error(const Position& at, std::string message);
  void warning(const Position& at, std::string message);

  // ---- lines
  void line_at(const Position& at, bool story);
  void statement_line(const Position& at) { line_at(at, false); }

  // ---- scopes
  void open_scope() { m_scopes.emplace_back(); }
  void close_scope();
  Local* find_local(const std::string& name);
  int16_t declare_local(const std::string& name, Type type, const Position& at);

  // ---- statements
  void statement(Node& node);
  void block(Node& node);
  void variable_statement(Node& node);
  void if_statement(Node& node);
  void while_statement(Node& node);
  void do_statement(Node& node);
  void for_statement(Node& node);
  void switch_statement(Node& node);
  void return_statement(Node& node);
  void leave_statement(Node& node);
  void story(Node& node);
  void until_click(Node& node);
  void finally_statement(Node& node);

  // ---- expressions
  Type expression(Node& node, bool keep);
  Type generate(Node& node, bool keep);
  Type probe(Node& node);
  void condition(Node& node, bool when, int target);
  Type value_as(Node& node, Type wanted, const std::string& what);
  std::optional<VariableRef> variable(const Node& name, bool reading);
  Type name(Node& node);
  Type unary(Node& node);
  Type binary(Node& node);
  Type truth_value(Node& node);
  Type conditional(Node& node);
  Type assign(Node& node, bool keep);
  Type step(Node& node, bool keep);
  Type index(Node& node);
  int subscripts(Node& node);
  Type new_array(Node& node);
  Type array_literal(Node& node);
  Type cast(Node& node);
  Type call(Node& node, bool keep);
  Type spawn(Node& node);
  bool arguments(Node& call, const Symbol& callee, size_t first, const std::string& callee_name);
  Type intrinsic(Node& node, const std::string& callee, bool keep, bool& handled);
  bool story_command(Node& node, bool& pending_text);
  Type finish_call(Type result, bool keep);

  ModuleCompiler& m_owner;
  const Node& m_function;
  Emitter m_emit;
  std::vector<Local> m_locals;  // parameters first, then declared locals
  std::vector<Type> m_local_types;
  std::vector<std::vector<size_t>> m_scopes;  // indices into m_locals
  std::vector<Loop> m_loops;
  Type m_result = Type::Void;
  int m_silent = 0;       // > 0 while probing: nothing is reported
  int m_loop_depth = 0;   // declarations inside loops are reset each time
  bool m_in_click = false;
  bool m_in_finally = false;
};

// ---- one file

class ModuleCompiler {
 public:
  ModuleCompiler(Program& program, uint32_t module) : program(program), module(module) {}

  std::optional<std::vector<uint8_t>> compile();

  Program& program;
  uint32_t module;
  bool has_story = false;
  uint32_t highest_line = 0;
  bool line_overflow_warned = false;
};

std::optional<std::vector<uint8_t>> ModuleCompiler::compile() {
  size_t errors_before = program.diagnostics.errors;
  CompiledScript script;
  std::set<std::string> names;
  for (const NodePtr& declaration : program.modules[module].module.declarations) {
    Node& node = *declaration;
    switch (node.kind) {
      case NodeKind::FunctionDecl: {
        FunctionCompiler function(*this, node);
        std::vector<uint8_t> code = function.compile();
        uint32_t offset = uint32_t(script.code.size());
        if (node.text == "main") script.entry = offset;
        script.functions.push_back({function_hash(node.text), offset});
        script.code.insert(script.code.end(), code.begin(), code.end());
        break;
      }
      case NodeKind::Const:
        if (Symbol* symbol = program.find(node.text); symbol && symbol->node == &node) {
          program.constant_value(*symbol);
        }
        break;
      case NodeKind::NativeDecl: case NodeKind::EventDecl: {
        std::set<std::string> params;
        for (const NodePtr& kid : node.kids) {
          if (!params.insert(kid->text).second) program.diagnostics.error(kid->at, "the parameter '" + kid->text + "' is given twice");
        }
        break;
      }
      default: break;
    }
  }
  if (program.diagnostics.errors > errors_before) return std::nullopt;
  // Only scripts that show text need read marks; the others (libraries such
  // as the prelude) keep their callers' read state, as the engine intends.
  script.line_count = has_story ? highest_line + 1 : 0;
  return write_compiled_script(script);
}

FunctionCompiler::FunctionCompiler(ModuleCompiler& owner, const Node& function)
    : m_owner(owner), m_function(function), m_result(function.declared) {}

Program& FunctionCompiler::program() { return m_owner.program; }

void FunctionCompiler::error(const Position& at, std::string message) {
  if (m_silent == 0) program().diagnostics.error(at, std::move(message));
}

void FunctionCompiler::warning(const Position& at, std::string message) {
  if (m_silent == 0) program().diagnostics.warning(at, std::move(message));
}

void FunctionCompiler::line_at(const Position& at, bool story) {
  if (m_silent > 0 || at.line == 0) return;
  if (!story && program().options.lines != LineMode::All) return;
  if (at.line > kMaxLineNumber) {
    if (!m_owner.line_overflow_warned) {
      m_owner.line_overflow_warned = true;
      warning(at, "lines after line 65535 carry no line numbers (errors and read marks cannot name them)");
    }
    return;
  }
  if (m_emit.line == int64_t(at.line)) return;
  m_emit.op(Op::Line);
  m_emit.code.u16le(uint16_t(at.line));
  m_emit.line = at.line;
  m_owner.highest_line = std::max(m_owner.highest_line, at.line);
}

// ---- scopes

void FunctionCompiler::close_scope() {
  for (size_t index : m_scopes.back()) {
    const Local& local = m_locals[index];
    if (!local.param && !local.read && !local.name.starts_with('_') && !local.name.empty()) {
      warning(local.at, "the variable '" + local.name + "' is never used");
    }
  }
  m_scopes.pop_back();
}

Local* FunctionCompiler::find_local(const std::string& name) {
  for (size_t s = m_scopes.size(); s-- > 0;) {
    for (size_t index : m_scopes[s]) {
      if (m_locals[index].name == name) return &m_locals[index];
    }
  }
  return nullptr;
}

int16_t FunctionCompiler::declare_local(const std::string& name, Type type, const Position& at) {
  if (!m_scopes.empty()) {
    for (size_t index : m_scopes.back()) {
      if (!name.empty() && m_locals[index].name == name) error(at, "'" + name + "' is already declared in this block");
    }
  }
  if (m_local_types.size() >= 32767) {
    error(at, "a function holds at most 32767 local variables");
    return 0;
  }
  int16_t slot = int16_t(m_local_types.size());
  m_local_types.push_back(type);
  Local local;
  local.name = name;
  local.type = type;
  local.slot = slot;
  local.at = at;
  m_locals.push_back(local);
  m_scopes.back().push_back(m_locals.size() - 1);
  return slot;
}

// ---- the function

std::vector<uint8_t> FunctionCompiler::compile() {
  program().local_lookup = [this](const std::string& name, std::optional<ConstValue>& value) {
    Local* local = find_local(name);
    if (!local) return false;
    value = local->constant;
    return true;
  };
  open_scope();
  std::vector<Type> params;
  std::set<std::string> seen;
  size_t param_count = 0;
  for (const NodePtr& kid : m_function.kids) {
    if (kid->kind == NodeKind::Param) ++param_count;
  }
  for (const NodePtr& kid : m_function.kids) {
    if (kid->kind != NodeKind::Param) continue;
    if (!seen.insert(kid->text).second) error(kid->at, "the parameter '" + kid->text + "' is given twice");
    Local local;
    local.name = kid->text;
    local.type = kid->declared;
    local.slot = int16_t(-2 - int(params.size()));
    local.param = true;
    local.at = kid->at;
    m_locals.push_back(local);
    m_scopes.back().push_back(m_locals.size() - 1);
    params.push_back(kid->declared);
  }
  if (param_count > 32000) error(m_function.at, "too many parameters");
  if ((m_function.text == "main" || m_function.text == "init") && !params.empty()) {
    error(m_function.at, "'" + m_function.text + "' takes no parameters");
  }
  Node& body = *m_function.kids.back();
  block(body);
  if (!ends_flow(body)) {
    if (m_result != Type::Void) {
      warning(m_function.at, "the function '" + m_function.text + "' can end without returning a value (it then returns " +
                                 (m_result == Type::Float ? std::string("0.0") : m_result == Type::String ? "\"\"" : "0") +
                                 ")");
      switch (m_result) {
        case Type::Float: m_emit.push_float(0); break;
        case Type::String: m_emit.bytes(Op::PushString, ""); break;
        case Type::Int: m_emit.push_int(0); break;
        default: m_emit.syscall(true, kArraySingle[int(element_type(m_result))], 0); break;
      }
    }
    m_emit.op(Op::Return);
  }
  close_scope();
  program().local_lookup = nullptr;
  m_emit.resolve();

  // The parameter check comes first: the interpreter skips it for calls
  // whose arguments already have the right types.
  Emitter prologue;
  if (!params.empty()) prologue.types(Op::CheckParameters, params);
  if (!m_local_types.empty()) prologue.types(Op::DeclareLocals, m_local_types);
  std::vector<uint8_t> code = std::move(prologue.code.bytes);
  code.insert(code.end(), m_emit.code.bytes.begin(), m_emit.code.bytes.end());
  return code;
}

// ---- statements

void FunctionCompiler::block(Node& node) {
  open_scope();
  bool ended = false, reported = false;
  for (NodePtr& kid : node.kids) {
    if (ended && !reported && kid->kind != NodeKind::Empty) {
      warning(kid->at, "unreachable code");
      reported = true;
    }
    statement(*kid);
    if (ends_flow(*kid)) ended = true;
  }
  close_scope();
}

void FunctionCompiler::statement(Node& node) {
  switch (node.kind) {
    case NodeKind::Block: block(node); break;
    case NodeKind::Var: variable_statement(node); break;
    case NodeKind::Const: {
      std::optional<ConstValue> value = program().fold(*node.kids[0], true);
      if (!value) {
        error(node.kids[0]->at, "a constant needs a value known when compiling");
      } else if (node.declared != Type::Void && node.declared != value->type) {
        if (node.declared == Type::Float && value->type == Type::Int) {
          value = ConstValue{Type::Float, 0, float(value->integer), {}};
        } else {
          error(node.kids[0]->at, "the constant '" + node.text + "' is " + std::string(type_name(node.declared)) +
                                      ", its value " + std::string(type_name(value->type)));
          value.reset();
        }
      }
      Local local;
      local.name = node.text;
      local.type = value ? value->type : Type::Error;
      local.at = node.at;
      local.read = true;
      local.constant = value;
      local.is_constant = true;
      m_locals.push_back(local);
      m_scopes.back().push_back(m_locals.size() - 1);
      break;
    }
    case NodeKind::ExpressionStatement:
      statement_line(node.at);
      expression(*node.kids[0], false);
      break;
    case NodeKind::If: if_statement(node); break;
    case NodeKind::While: while_statement(node); break;
    case NodeKind::DoWhile: do_statement(node); break;
    case NodeKind::For: for_statement(node); break;
    case NodeKind::Switch: switch_statement(node); break;
    case NodeKind::Break: case NodeKind::Continue: leave_statement(node); break;
    case NodeKind::Return: return_statement(node); break;
    case NodeKind::Story: story(node); break;
    case NodeKind::UntilClick: until_click(node); break;
    case NodeKind::Finally: finally_statement(node); break;
    case NodeKind::Empty: break;
    default: error(node.at, "not a statement"); break;
  }
}

void FunctionCompiler::variable_statement(Node& node) {
  Type type = node.declared;
  if (!node.kids.empty() && type == Type::Void) {
    type = probe(*node.kids[0]);
    if (type == Type::Void) {
      error(node.kids[0]->at, "this has no value to give '" + node.text + "'");
      type = Type::Error;
    }
  }
  // The slot is declared after the value is generated: `var x = x + 1`
  // reads an outer x.
  if (!node.kids.empty()) {
    statement_line(node.at);
    Type value = value_as(*node.kids[0], type, "'" + node.text + "'");
    int16_t slot = declare_local(node.text, type, node.at);
    if (value != Type::Error && type != Type::Error) {
      m_emit.variable(op_at(uint16_t(0x210 + int(type))), variable_flags(Scope::Local, type), 0, slot);
    }
    return;
  }
  int16_t slot = declare_local(node.text, type, node.at);
  // Locals start with their default value; inside a loop a declaration
  // without a value gives it back each time round.
  if (m_loop_depth > 0) {
    statement_line(node.at);
    switch (type) {
      case Type::Int: m_emit.push_int(0); break;
      case Type::Float: m_emit.push_float(0); break;
      case Type::String: m_emit.bytes(Op::PushString, ""); break;
      default: m_emit.syscall(true, kArraySingle[int(element_type(type))], 0); break;
    }
    m_emit.variable(op_at(uint16_t(0x210 + int(type))), variable_flags(Scope::Local, type), 0, slot);
  }
}

void FunctionCompiler::if_statement(Node& node) {
  statement_line(node.at);
  int otherwise = m_emit.label();
  condition(*node.kids[0], false, otherwise);
  statement(*node.kids[1]);
  if (node.kids.size() == 3) {
    int end = m_emit.label();
    if (!ends_flow(*node.kids[1])) m_emit.jump(Op::Jump, end);
    m_emit.bind(otherwise);
    statement(*node.kids[2]);
    m_emit.bind(end);
  } else {
    m_emit.bind(otherwise);
  }
}

void FunctionCompiler::while_statement(Node& node) {
  int top = m_emit.label(), end = m_emit.label();
  m_emit.bind(top);
  statement_line(node.at);
  condition(*node.kids[0], false, end);
  m_loops.push_back({end, top, m_in_click});
  ++m_loop_depth;
  statement(*node.kids[1]);
  --m_loop_depth;
  m_loops.pop_back();
  m_emit.jump(Op::Jump, top);
  m_emit.bind(end);
}

void FunctionCompiler::do_statement(Node& node) {
  int top = m_emit.label(), test = m_emit.label(), end = m_emit.label();
  m_emit.bind(top);
  m_loops.push_back({end, test, m_in_click});
  ++m_loop_depth;
  statement(*node.kids[0]);
  --m_loop_depth;
  m_loops.pop_back();
  m_emit.bind(test);
  statement_line(node.kids[1]->at);
  condition(*node.kids[1], true, top);
  m_emit.bind(end);
}

void FunctionCompiler::for_statement(Node& node) {
  open_scope();
  statement(*node.kids[0]);
  int top = m_emit.label(), next = m_emit.label(), end = m_emit.label();
  m_emit.bind(top);
  if (node.kids[1]->kind != NodeKind::Empty) {
    statement_line(node.kids[1]->at);
    condition(*node.kids[1], false, end);
  }
  m_loops.push_back({end, next, m_in_click});
  ++m_loop_depth;
  statement(*node.kids[3]);
  --m_loop_depth;
  m_loops.pop_back();
  m_emit.bind(next);
  statement(*node.kids[2]);
  m_emit.jump(Op::Jump, top);
  m_emit.bind(end);
  close_scope();
}

// Dense int cases go through a jump table; others compare a copy of the
// value with each case in turn (each test one fused step).
void FunctionCompiler::switch_statement(Node& node) {
  statement_line(node.at);
  Node& value = *node.kids[0];
  Type type = probe(value);
  if (type != Type::Int && type != Type::String && type != Type::Error) {
    error(value.at, "a switch takes an int or a string, not " + std::string(type_name(type)));
    type = Type::Error;
  }
  struct Entry {
    Node* label;
    ConstValue value;
    int target;
  };
  std::vector<Entry> entries;
  std::vector<int> targets;
  int default_target = -1;
  std::set<int32_t> ints;
  std::set<std::string> texts;
  for (size_t i = 1; i < node.kids.size(); ++i) {
    Node& label = *node.kids[i];
    int target = m_emit.label();
    targets.push_back(target);
    if (label.flag) {
      if (default_target >= 0) error(label.at, "a switch has one default");
      default_target = target;
      continue;
    }
    std::optional<ConstValue> constant = program().fold(*label.kids[0], true);
    if (!constant) {
      error(label.kids[0]->at, "a case needs a value known when compiling");
      continue;
    }
    if (type != Type::Error && constant->type != type) {
      error(label.kids[0]->at, "this case is " + std::string(type_name(constant->type)) + ", the switch " +
                                   std::string(type_name(type)));
      continue;
    }
    bool fresh = constant->type == Type::Int ? ints.insert(constant->integer).second : texts.insert(constant->text).second;
    if (!fresh) error(label.kids[0]->at, "this case is already handled");
    entries.push_back({&label, *constant, target});
  }
  int end = m_emit.label();
  int otherwise = default_target >= 0 ? default_target : end;
  int64_t low = ints.empty() ? 0 : *ints.begin(), high = ints.empty() ? 0 : *ints.rbegin();
  bool table = type == Type::Int && entries.size() >= 3 && high - low < 1024 &&
               high - low + 1 <= int64_t(entries.size()) * 2 + 8;
  if (table) {
    expression(value, true);
    if (low != 0) {
      m_emit.push_int(int32_t(low));
      m_emit.op(Op::SubInt);
    }
    std::vector<int> slots(size_t(high - low + 2), otherwise);
    for (const Entry& entry : entries) slots[size_t(entry.value.integer - low)] = entry.target;
    m_emit.op(Op::JumpTable);
    m_emit.code.u16le(uint16_t(slots.size()));
    for (int slot : slots) m_emit.field(slot);
  } else {
    // The value once into a hidden local, then one test per case.
    Type stored = type == Type::Error ? Type::Int : type;
    value_as(value, stored, "the switch");
    open_scope();
    int16_t slot = declare_local("", stored, node.at);
    m_emit.variable(op_at(uint16_t(0x210 + int(stored))), variable_flags(Scope::Local, stored), 0, slot);
    for (const Entry& entry : entries) {
      m_emit.variable(Op::Load, variable_flags(Scope::Local, stored), 0, slot);
      if (stored == Type::Int) {
        m_emit.push_int(entry.value.integer);
      } else if (std::optional<std::string> text = program().game_text(entry.value.text, entry.label->at)) {
        m_emit.bytes(Op::PushString, *text);
      }
      m_emit.op(comparison_opcode(TokenKind::EqualEqual, stored));
      m_emit.jump(Op::JumpIfTrue, entry.target);
    }
    m_emit.jump(Op::Jump, otherwise);
    close_scope();
  }
  m_loops.push_back({end, -1, m_in_click});
  for (size_t i = 1; i < node.kids.size(); ++i) {
    Node& label = *node.kids[i];
    m_emit.bind(targets[i - 1]);
    open_scope();
    bool ended = false, reported = false;
    for (size_t k = label.flag ? 0 : 1; k < label.kids.size(); ++k) {
      if (ended && !reported) {
        warning(label.kids[k]->at, "unreachable code");
        reported = true;
      }
      statement(*label.kids[k]);
      if (ends_flow(*label.kids[k])) ended = true;
    }
    close_scope();
  }
  m_loops.pop_back();
  m_emit.bind(end);
}

void FunctionCompiler::return_statement(Node& node) {
  statement_line(node.at);
  if (m_in_finally) {
    error(node.at, "a 'finally' block cannot return: it runs while its function returns");
    return;
  }
  if (node.kids.empty()) {
    if (m_result != Type::Void) error(node.at, "this function returns " + std::string(type_name(m_result)) + ": give a value");
    m_emit.op(Op::Return);
    return;
  }
  if (m_result == Type::Void) {
    error(node.kids[0]->at, "the function '" + m_function.text + "' has no result; declare one (function " +
                                m_function.text + "(...): int)");
    return;
  }
  value_as(*node.kids[0], m_result, "the result");
  m_emit.op(Op::Return);
}

void FunctionCompiler::leave_statement(Node& node) {
  statement_line(node.at);
  bool is_break = node.kind == NodeKind::Break;
  for (size_t i = m_loops.size(); i-- > 0;) {
    const Loop& loop = m_loops[i];
    if (!is_break && loop.continue_label < 0) continue;
    // Leaving an `until click` body: its handlers must not outlive it.
    if (m_in_click && !loop.inside_click) m_emit.op(Op::ClearClickHandlers);
    m_emit.jump(Op::Jump, is_break ? loop.break_label : loop.continue_label);
    return;
  }
  error(node.at, is_break ? "'break' outside a loop or switch" : "'continue' outside a loop");
}

// until click { body } on left { ... } on right { ... }: the body runs until
// a click; the frame's click handlers send each button to its branch (any
// click to the end when there are no branches).
void FunctionCompiler::until_click(Node& node) {
  statement_line(node.at);
  if (m_in_click) {
    error(node.at, "'until click' cannot be nested in one function (a function called inside may use it)");
    return;
  }
  int end = m_emit.label();
  std::vector<int> targets;
  std::set<std::string> seen;
  bool any = false;
  for (size_t i = 1; i < node.kids.size(); ++i) {
    const std::string& button = node.kids[i]->text;
    if (!seen.insert(button).second) error(node.kids[i]->at, "'on " + button + "' is given twice");
    if (button == "any") any = true;
    targets.push_back(m_emit.label());
  }
  if (any && node.kids.size() > 2) error(node.at, "'on any' stands alone: it takes every button");
  int handled = m_emit.label();
  if (targets.empty()) {
    m_emit.jump(Op::OnAnyClick, handled);
  } else {
    for (size_t i = 1; i < node.kids.size(); ++i) {
      const std::string& button = node.kids[i]->text;
      Op op = button == "left" ? Op::OnLeftClick : button == "right" ? Op::OnRightClick
            : button == "middle" ? Op::OnMiddleClick : Op::OnAnyClick;
      m_emit.jump(op, targets[i - 1]);
    }
  }
  m_in_click = true;
  statement(*node.kids[0]);
  m_in_click = false;
  m_emit.op(Op::ClearClickHandlers);
  m_emit.jump(Op::Jump, end);
  if (targets.empty()) {
    m_emit.bind(handled);
    m_emit.op(Op::ClearClickHandlers);
  }
  for (size_t i = 1; i < node.kids.size(); ++i) {
    m_emit.bind(targets[i - 1]);
    m_emit.op(Op::ClearClickHandlers);
    statement(*node.kids[i]->kids[0]);
    if (i + 1 < node.kids.size()) m_emit.jump(Op::Jump, end);
  }
  m_emit.bind(end);
}

// finally { ... }: runs when the function returns or its thread ends.
void FunctionCompiler::finally_statement(Node& node) {
  statement_line(node.at);
  if (m_in_finally) {
    error(node.at, "'finally' cannot be nested");
    return;
  }
  int handler = m_emit.label(), after = m_emit.label();
  m_emit.jump(Op::SetEndHandler, handler);
  m_emit.jump(Op::Jump, after);
  m_emit.bind(handler);
  std::vector<Loop> outer = std::move(m_loops);
  m_loops.clear();
  m_in_finally = true;
  statement(*node.kids[0]);
  m_in_finally = false;
  m_loops = std::move(outer);
  m_emit.op(Op::Return);
  m_emit.bind(after);
}

// A story block: each line is a line instruction, its text and a message;
// lines on a page are parted by line breaks; a page starts with a clear and
// ends with a page wait.
void FunctionCompiler::story(Node& node) {
  m_owner.has_story = true;
  bool page_shown = false;  // the page has text: it needs its wait
  for (NodePtr& kid : node.kids) {
    if (kid->kind == NodeKind::StoryPage) {
      if (page_shown) m_emit.bytes(Op::ControlCode, "p");
      page_shown = false;
      continue;
    }
    Node& line = *kid;
    line_at(line.at, true);
    bool pending = false;   // text waits for its message
    bool started = false;   // this line has put text on the page
    size_t literal_bytes = 0;
    auto start_text = [&] {
      if (started) return;
      started = true;
      if (!page_shown) {
        m_emit.bytes(Op::ControlCode, "w");
        page_shown = true;
      } else {
        m_emit.bytes(Op::ControlCode, "n");
      }
    };
    for (NodePtr& piece : line.kids) {
      if (piece->kind == NodeKind::StoryText) {
        std::optional<std::string> text = program().game_text(piece->text, piece->at);
        if (!text) continue;
        literal_bytes += text->size();
        start_text();
        m_emit.bytes(Op::Text, *text);
        pending = true;
        continue;
      }
      if (story_command(*piece, pending)) continue;
      Type type = probe(*piece);
      if (type == Type::Void) {
        if (pending) m_emit.op(Op::Message);
        pending = false;
        expression(*piece, false);
      } else if (type == Type::Int || type == Type::Float || type == Type::String) {
        start_text();
        expression(*piece, true);
        m_emit.bytes(Op::ControlCode, "d");
        pending = true;
      } else if (type != Type::Error) {
        error(piece->at, "story text shows an int, a float or a string, not " + std::string(type_name(type)));
      }
    }
    if (literal_bytes > kMaxStoryLineBytes) {
      error(line.at, "a line of story text holds at most 1023 bytes (this one has " + std::to_string(literal_bytes) +
                         " in the game's code page)");
    }
    if (pending) m_emit.op(Op::Message);
  }
  if (page_shown) m_emit.bytes(Op::ControlCode, "p");
}

// Commands inside story text: ${pause(ms)}, ${voice("name")} and the like.
// Text laid out so far goes out first, so a command acts at its place.
bool FunctionCompiler::story_command(Node& node, bool& pending_text) {
  if (node.kind != NodeKind::Call) return false;
  const std::string& name = node.kids[0]->text;
  struct Command {
    std::string_view name;
    std::string_view code;
    size_t low, high;  // argument counts
  };
  static constexpr Command kCommands[] = {
      {"pause", "t", 1, 1},  {"voice", "v0", 1, 1}, {"voice_loop", "v1", 1, 1}, {"nowait", "z", 0, 0},
      {"color", "c", 1, 2},  {"speed", "s", 1, 1},  {"locate", "l", 2, 2},       {"move_pen", "o", 2, 2},
      {"pen_back", "r", 0, 0}, {"signal", "x", 1, 1},
  };
  const Command* command = nullptr;
  for (const Command& candidate : kCommands) {
    if (candidate.name == name) command = &candidate;
  }
  if (!command) return false;
  if (program().find(name)) return false;  // a function of that name wins outside
  size_t argc = node.kids.size() - 1;
  if (argc < command->low || argc > command->high) {
    error(node.at, "'" + name + "' takes " + std::to_string(command->low) +
                       (command->low == command->high ? "" : " or " + std::to_string(command->high)) + " argument(s)");
    return true;
  }
  if (pending_text) m_emit.op(Op::Message);
  pending_text = false;
  std::string code(command->code);
  if (command->code[0] == 'v' || command->code[0] == 'x') {
    // The voice's name (or the signal's text) is part of the code itself.
    std::optional<ConstValue> text = program().fold(*node.kids[1], true);
    if (!text || text->type != Type::String) {
      error(node.kids[1]->at, "'" + name + "' in story text takes a string known when compiling");
      return true;
    }
    std::optional<std::string> bytes = program().game_text(text->text, node.kids[1]->at);
    if (!bytes) return true;
    code += *bytes;
  } else {
    for (size_t i = 1; i <= argc; ++i) value_as(*node.kids[i], Type::Int, "'" + name + "'");
    if (command->code == "c" && argc == 1) m_emit.push_int(-1);  // no effect given
  }
  m_emit.bytes(Op::ControlCode, code);
  return true;
}

// ---- expressions

Type FunctionCompiler::expression(Node& node, bool keep) {
  Type type = generate(node, keep);
  node.type = type;
  node.typed = true;
  return type;
}

// Works out an expression's type by generating it and taking the code back.
// Each node is worked out once, so probing stays linear.
Type FunctionCompiler::probe(Node& node) {
  if (node.typed) return node.type;
  Emitter::Mark mark = m_emit.mark();
  std::vector<bool> reads;
  for (const Local& local : m_locals) reads.push_back(local.read);
  size_t local_types = m_local_types.size();
  size_t scope_size = m_scopes.empty() ? 0 : m_scopes.back().size();
  ++m_silent;
  Type type = expression(node, true);
  --m_silent;
  m_emit.undo(mark);
  // Hidden locals an expression declared (array literals) go too.
  m_locals.resize(reads.size());
  m_local_types.resize(local_types);
  if (!m_scopes.empty()) m_scopes.back().resize(scope_size);
  for (size_t i = 0; i < reads.size(); ++i) m_locals[i].read = reads[i];
  return type;
}

// Generates node converted to wanted (an int for a float; a constant int as
// a float constant); reports a mismatch naming what the value is for.
Type FunctionCompiler::value_as(Node& node, Type wanted, const std::string& what) {
  if (wanted == Type::Float) {
    if (std::optional<ConstValue> constant = program().fold(node, false); constant && constant->type == Type::Int) {
      m_emit.push_float(float(constant->integer));
      node.type = Type::Int;
      node.typed = true;
      return Type::Float;
    }
  }
  Type type = expression(node, true);
  if (type == Type::Error || wanted == Type::Error || type == wanted) return type == Type::Error ? type : wanted;
  if (type == Type::Int && wanted == Type::Float) {
    m_emit.op(Op::IntToFloat);
    return Type::Float;
  }
  if (type == Type::Void) {
    error(node.at, "this gives no value for " + what);
  } else if (type == Type::Float && wanted == Type::Int) {
    error(node.at, what + " is an int; this is a float (int(x) converts it)");
  } else {
    error(node.at, what + " is " + std::string(type_name(wanted)) + "; this is " + std::string(type_name(type)));
  }
  return Type::Error;
}

Type FunctionCompiler::generate(Node& node, bool keep) {
  // Constants are computed here, with the engine's arithmetic.
  if (node.kind == NodeKind::Unary || node.kind == NodeKind::Binary || node.kind == NodeKind::Cast ||
      node.kind == NodeKind::Name) {
    if (std::optional<ConstValue> constant = program().fold(node, false)) {
      if (!keep) {
        warning(start_of(node), "this value is not used");
        return constant->type;
      }
      switch (constant->type) {
        case Type::Int: m_emit.push_int(constant->integer); break;
        case Type::Float: m_emit.push_float(constant->real); break;
        default:
          if (std::optional<std::string> text = program().game_text(constant->text, node.at)) {
            m_emit.bytes(Op::PushString, *text);
          }
      }
      return constant->type;
    }
  }
  Type type = Type::Error;
  switch (node.kind) {
    case NodeKind::Assign: return assign(node, keep);
    case NodeKind::PreStep: case NodeKind::PostStep: return step(node, keep);
    case NodeKind::Call: return call(node, keep);
    case NodeKind::IntLiteral: if (keep) m_emit.push_int(node.integer); return Type::Int;
    case NodeKind::FloatLiteral: if (keep) m_emit.push_float(float(node.real)); return Type::Float;
    case NodeKind::StringLiteral:
      if (keep) {
        if (std::optional<std::string> text = program().game_text(node.text, node.at)) m_emit.bytes(Op::PushString, *text);
      }
      return Type::String;
    case NodeKind::Name: type = name(node); break;
    case NodeKind::Unary: type = unary(node); break;
    case NodeKind::Binary: type = binary(node); break;
    case NodeKind::Conditional: type = conditional(node); break;
    case NodeKind::Index: type = index(node); break;
    case NodeKind::NewArray: type = new_array(node); break;
    case NodeKind::ArrayLiteral: type = array_literal(node); break;
    case NodeKind::Cast: type = cast(node); break;
    case NodeKind::Spawn: type = spawn(node); break;
    default: error(node.at, "not a value"); return Type::Error;
  }
  if (!keep && type != Type::Void) {
    if (type != Type::Error) warning(start_of(node), "this value is not used");
    m_emit.op(Op::Pop);
  }
  return type;
}

std::optional<VariableRef> FunctionCompiler::variable(const Node& node, bool reading) {
  if (Local* local = find_local(node.text)) {
    if (local->is_constant) {
      error(node.at, "'" + node.text + "' is a constant");
      return std::nullopt;
    }
    if (reading) local->read = true;
    return VariableRef{Scope::Local, local->type, 0, local->slot};
  }
  const Symbol* symbol = program().find(node.text);
  if (!symbol) {
    error(node.at, "'" + node.text + "' is not declared");
    return std::nullopt;
  }
  if (symbol->kind != SymbolKind::Store) {
    error(node.at, "'" + node.text + (symbol->kind == SymbolKind::Const ? "' is a constant" : "' is not a variable"));
    return std::nullopt;
  }
  return VariableRef{symbol->scope, symbol->type, symbol->hash, 0};
}

Type FunctionCompiler::name(Node& node) {
  if (Local* local = find_local(node.text); local && local->is_constant) return Type::Error;  // reported already
  if (!find_local(node.text)) {
    if (const Symbol* symbol = program().find(node.text)) {
      switch (symbol->kind) {
        case SymbolKind::Function:
          // A function's name as a value is its key, for events, threads and
          // mouse areas.
          m_emit.push_int(int32_t(symbol->key));
          return Type::Int;
        case SymbolKind::Const: return Type::Error;  // its error was reported
        case SymbolKind::Native: error(node.at, "'" + node.text + "' is a system call: call it, " + node.text + "(...)"); return Type::Error;
        case SymbolKind::Event: error(node.at, "the event '" + node.text + "' is used with listen() or raise()"); return Type::Error;
        case SymbolKind::Store: break;
      }
    }
  }
  std::optional<VariableRef> ref = variable(node, true);
  if (!ref) return Type::Error;
  m_emit.variable(Op::Load, variable_flags(ref->scope, ref->type), ref->hash, ref->slot);
  return ref->type;
}

Type FunctionCompiler::unary(Node& node) {
  Node& operand = *node.kids[0];
  if (node.op == TokenKind::Bang && probe(operand) != Type::Int) return truth_value(node);
  Type type = expression(operand, true);
  if (type == Type::Error) return type;
  switch (node.op) {
    case TokenKind::Minus:
      if (type == Type::Int) { m_emit.op(Op::NegateInt); return type; }
      if (type == Type::Float) { m_emit.op(Op::NegateFloat); return type; }
      break;
    case TokenKind::Bang: m_emit.op(Op::LogicalNot); return Type::Int;
    case TokenKind::Tilde:
      if (type == Type::Int) { m_emit.op(Op::BitNot); return type; }
      break;
    default: break;
  }
  error(node.at, "'" + std::string(token_text(node.op)) + "' does not apply to " + std::string(type_name(type)));
  return Type::Error;
}

// A condition as a value: 1 when true, else 0.
Type FunctionCompiler::truth_value(Node& node) {
  int no = m_emit.label(), end = m_emit.label();
  condition(node, false, no);
  m_emit.push_int(1);
  m_emit.jump(Op::Jump, end);
  m_emit.bind(no);
  m_emit.push_int(0);
  m_emit.bind(end);
  return Type::Int;
}

Type FunctionCompiler::binary(Node& node) {
  TokenKind op = node.op;
  if (op == TokenKind::AndAnd || op == TokenKind::OrOr) {
    Type left = probe(*node.kids[0]), right = probe(*node.kids[1]);
    for (Type type : {left, right}) {
      if (is_array(type) || type == Type::Void) {
        error(node.at, "'" + std::string(token_text(op)) + "' takes ints, floats or strings, not " +
                           std::string(type_name(type)));
        return Type::Error;
      }
    }
    return truth_value(node);
  }
  Node& left_node = *node.kids[0];
  Node& right_node = *node.kids[1];
  Type left = probe(left_node), right = probe(right_node);
  bool strings = op == TokenKind::Plus && (left == Type::String || right == Type::String);
  // Both sides are generated (and report their own errors) before the
  // operator is checked.
  expression(left_node, true);
  if (strings && left == Type::Int) m_emit.syscall(true, kIntToText, 1);
  expression(right_node, true);
  if (strings && right == Type::Int) m_emit.syscall(true, kIntToText, 1);
  if (left == Type::Error || right == Type::Error) return Type::Error;
  auto mismatch = [&]() {
    error(node.at, "'" + std::string(token_text(op)) + "' does not apply to " + std::string(type_name(left)) + " and " +
                       std::string(type_name(right)));
    return Type::Error;
  };
  if (strings) {
    if ((left != Type::String && left != Type::Int) || (right != Type::String && right != Type::Int)) return mismatch();
    m_emit.op(Op::Concat);
    return Type::String;
  }
  if (is_comparison(op)) {
    if (is_number(left) && is_number(right)) {
      m_emit.op(comparison_opcode(op, left == Type::Float || right == Type::Float ? Type::Float : Type::Int));
      return Type::Int;
    }
    if (left == Type::String && right == Type::String) {
      m_emit.op(comparison_opcode(op, Type::String));
      return Type::Int;
    }
    if (is_array(left) && left == right && (op == TokenKind::EqualEqual || op == TokenKind::NotEqual)) {
      uint16_t base = op == TokenKind::EqualEqual ? 0x15B : 0x163;
      m_emit.op(op_at(uint16_t(base + int(left) - int(Type::IntArray))));
      return Type::Int;
    }
    return mismatch();
  }
  if (!is_number(left) || !is_number(right)) return mismatch();
  bool is_float = left == Type::Float || right == Type::Float;
  Op code;
  switch (op) {
    case TokenKind::Plus: code = is_float ? Op::AddFloat : Op::AddInt; break;
    case TokenKind::Minus: code = is_float ? Op::SubFloat : Op::SubInt; break;
    case TokenKind::Star: code = is_float ? Op::MulFloat : Op::MulInt; break;
    case TokenKind::Slash: code = is_float ? Op::DivFloat : Op::DivInt; break;
    default:
      if (is_float) return mismatch();
      switch (op) {
        case TokenKind::Percent: code = Op::ModInt; break;
        case TokenKind::ShiftLeft: code = Op::ShiftLeft; break;
        case TokenKind::ShiftRight: code = Op::ShiftRight; break;
        case TokenKind::Ampersand: code = Op::BitAnd; break;
        case TokenKind::Pipe: code = Op::BitOr; break;
        case TokenKind::Caret: code = Op::BitXor; break;
        default: return mismatch();
      }
  }
  m_emit.op(code);
  return is_float ? Type::Float : Type::Int;
}

Type FunctionCompiler::conditional(Node& node) {
  Type first = probe(*node.kids[1]), second = probe(*node.kids[2]);
  Type type = first;
  if (first != second) {
    if (is_number(first) && is_number(second)) {
      type = Type::Float;
    } else if (first != Type::Error && second != Type::Error) {
      error(node.at, "the two values of '? :' are " + std::string(type_name(first)) + " and " +
                         std::string(type_name(second)));
      return Type::Error;
    } else {
      type = Type::Error;
    }
  }
  if (type == Type::Void) {
    error(node.at, "'? :' needs two values");
    return Type::Error;
  }
  int otherwise = m_emit.label(), end = m_emit.label();
  condition(*node.kids[0], false, otherwise);
  value_as(*node.kids[1], type, "'? :'");
  m_emit.jump(Op::Jump, end);
  m_emit.bind(otherwise);
  value_as(*node.kids[2], type, "'? :'");
  m_emit.bind(end);
  return type;
}

// Jumps to target when the condition's truth equals `when`; && and || jump
// early, as in C.
void FunctionCompiler::condition(Node& node, bool when, int target) {
  if (std::optional<ConstValue> constant = program().fold(node, false)) {
    bool truth = constant->type == Type::Int ? constant->integer != 0
               : constant->type == Type::Float ? constant->real != 0.0f : !constant->text.empty();
    if (truth == when) m_emit.jump(Op::Jump, target);
    return;
  }
  if (node.kind == NodeKind::Unary && node.op == TokenKind::Bang) {
    condition(*node.kids[0], !when, target);
    return;
  }
  if (node.kind == NodeKind::Binary && (node.op == TokenKind::AndAnd || node.op == TokenKind::OrOr)) {
    bool is_and = node.op == TokenKind::AndAnd;
    if (is_and != when) {
      // (a && b) false: either false; (a || b) true: either true.
      condition(*node.kids[0], when, target);
      condition(*node.kids[1], when, target);
    } else {
      int skip = m_emit.label();
      condition(*node.kids[0], !when, skip);
      condition(*node.kids[1], when, target);
      m_emit.bind(skip);
    }
    return;
  }
  Type type = expression(node, true);
  if (is_array(type) || type == Type::Void) {
    error(node.at, "a condition is an int, a float or a string, not " + std::string(type_name(type)));
  }
  m_emit.jump(when ? Op::JumpIfTrue : Op::JumpIfFalse, target);
}

int FunctionCompiler::subscripts(Node& node) {
  size_t count = node.kids.size() - 1;
  if (count > 3) error(node.at, "an array has at most three subscripts");
  for (size_t i = 1; i < node.kids.size(); ++i) value_as(*node.kids[i], Type::Int, "a subscript");
  return int(std::min<size_t>(count, 3));
}

Type FunctionCompiler::index(Node& node) {
  Node& array = *node.kids[0];
  if (array.kind != NodeKind::Name) {
    error(array.at, "only array variables can be indexed");
    return Type::Error;
  }
  std::optional<VariableRef> ref = variable(array, true);
  if (!ref) return Type::Error;
  if (!is_array(ref->type)) {
    error(array.at, "'" + array.text + "' is " + std::string(type_name(ref->type)) + ", not an array");
    return Type::Error;
  }
  int count = subscripts(node);
  Type element = element_type(ref->type);
  m_emit.variable(Op::LoadElement, variable_flags(ref->scope, element, 0, count), ref->hash, ref->slot);
  return element;
}

Type FunctionCompiler::assign(Node& node, bool keep) {
  Node& target = *node.kids[0];
  Node& value = *node.kids[1];
  TokenKind op = node.op;
  std::optional<VariableRef> ref;
  if (target.kind == NodeKind::Name) {
    ref = variable(target, op != TokenKind::Assign);
  } else {
    if (target.kids[0]->kind != NodeKind::Name) {
      error(target.at, "only elements of array variables can be assigned to");
      return Type::Error;
    }
    ref = variable(*target.kids[0], true);
    if (ref && !is_array(ref->type)) {
      error(target.at, "'" + target.kids[0]->text + "' is " + std::string(type_name(ref->type)) + ", not an array");
      return Type::Error;
    }
  }
  if (!ref) return Type::Error;
  bool element = target.kind == NodeKind::Index;
  Type type = element ? element_type(ref->type) : ref->type;
  if (type == Type::Error) {  // the variable's declaration was reported
    value_as(value, Type::Error, "");
    return Type::Error;
  }
  std::optional<uint16_t> opcode = assignment_opcode(op, type);
  if (!opcode) {
    error(node.at, "'" + std::string(token_text(op)) + "' does not apply to " + std::string(type_name(type)));
    return Type::Error;
  }
  std::string what = target.kind == NodeKind::Name ? "'" + target.text + "'" : "the element";
  Type value_type;
  if (op == TokenKind::Assign || type == Type::Float || type == Type::String) {
    value_type = value_as(value, type, what);
  } else {
    value_type = value_as(value, Type::Int, "the right side of '" + std::string(token_text(op)) + "'");
  }
  int count = element ? subscripts(target) : 0;
  if (value_type == Type::Error) return Type::Error;
  uint16_t raw = uint16_t(*opcode + (element ? (keep ? 0xC0 : 0x120) : (keep ? 0 : 0x60)));
  m_emit.variable(op_at(raw), variable_flags(ref->scope, type, 0, count), ref->hash, ref->slot);
  return keep ? type : Type::Void;
}

// ++x, x--: a load with the step in its flags (a variable's or an element's).
Type FunctionCompiler::step(Node& node, bool keep) {
  Node& target = *node.kids[0];
  bool increment = node.op == TokenKind::PlusPlus;
  int code = node.kind == NodeKind::PreStep ? (increment ? 1 : 2) : (increment ? 3 : 4);
  std::optional<VariableRef> ref;
  Node* name_node = target.kind == NodeKind::Index ? target.kids[0].get() : &target;
  if (target.kind != NodeKind::Name && target.kind != NodeKind::Index) {
    error(target.at, "'" + std::string(token_text(node.op)) + "' applies to a variable or an array element");
    return Type::Error;
  }
  if (name_node->kind != NodeKind::Name) {
    error(target.at, "only elements of array variables can be stepped");
    return Type::Error;
  }
  ref = variable(*name_node, true);
  if (!ref) return Type::Error;
  Type type = ref->type;
  int count = 0;
  if (target.kind == NodeKind::Index) {
    if (!is_array(type)) {
      error(target.at, "'" + name_node->text + "' is not an array");
      return Type::Error;
    }
    type = element_type(type);
  }
  if (!is_number(type)) {
    error(target.at, "'" + std::string(token_text(node.op)) + "' applies to ints and floats, not " +
                         std::string(type_name(type)));
    return Type::Error;
  }
  if (target.kind == NodeKind::Index) count = subscripts(target);
  m_emit.variable(target.kind == NodeKind::Index ? Op::LoadElement : Op::Load,
                  variable_flags(ref->scope, type, code, count), ref->hash, ref->slot);
  if (!keep) {
    m_emit.op(Op::Pop);
    return Type::Void;
  }
  return type;
}

Type FunctionCompiler::new_array(Node& node) {
  if (node.kids.empty() || node.kids.size() > 3) return Type::Error;
  for (size_t i = node.kids.size(); i-- > 0;) value_as(*node.kids[i], Type::Int, "an array size");
  m_emit.syscall(true, kArrayCreate[int(node.declared)], node.kids.size());
  return array_of(node.declared);
}

// [a, b, c]: a new one-dimensional array, filled through a hidden local.
Type FunctionCompiler::array_literal(Node& node) {
  Type element = probe(*node.kids[0]);
  if (element == Type::Error) return Type::Error;
  if (element != Type::Int && element != Type::Float && element != Type::String) {
    error(node.kids[0]->at, "array elements are ints, floats or strings, not " + std::string(type_name(element)));
    return Type::Error;
  }
  for (const NodePtr& kid : node.kids) {
    if (element == Type::Int && probe(*kid) == Type::Float) element = Type::Float;
  }
  Type array = array_of(element);
  m_emit.push_int(int32_t(node.kids.size()));
  m_emit.syscall(true, kArrayCreate[int(element)], 1);
  int16_t slot = declare_local("", array, node.at);
  m_emit.variable(op_at(uint16_t(0x210 + int(array))), variable_flags(Scope::Local, array), 0, slot);
  for (size_t i = 0; i < node.kids.size(); ++i) {
    value_as(*node.kids[i], element, "an element of this array");
    m_emit.push_int(int32_t(i));
    m_emit.variable(op_at(uint16_t(0x2D0 + int(element))), variable_flags(Scope::Local, element, 0, 1), 0, slot);
  }
  m_emit.variable(Op::Load, variable_flags(Scope::Local, array), 0, slot);
  return array;
}

Type FunctionCompiler::cast(Node& node) {
  Type from = expression(*node.kids[0], true);
  if (from == Type::Error) return from;
  Type to = node.declared;
  if (from == to) return to;
  if (to == Type::Int && from == Type::Float) {
    m_emit.op(Op::FloatToInt);
  } else if (to == Type::Float && from == Type::Int) {
    m_emit.op(Op::IntToFloat);
  } else if (to == Type::String && from == Type::Int) {
    m_emit.syscall(true, kIntToText, 1);
  } else if (to == Type::Int && from == Type::String) {
    m_emit.syscall(true, kTextToInt, 1);
  } else {
    error(node.at, std::string(type_name(from)) + " cannot be converted to " + std::string(type_name(to)));
    return Type::Error;
  }
  return to;
}

Type FunctionCompiler::finish_call(Type result, bool keep) {
  if (!keep) return Type::Void;
  return result;
}

// Pushes the arguments of a call, the last first (argument 1 ends on top),
// each converted to its parameter's type.
bool FunctionCompiler::arguments(Node& call, const Symbol& callee, size_t first, const std::string& callee_name) {
  size_t argc = call.kids.size() - first;
  bool ok = true;
  if (callee.signature_known) {
    size_t most = callee.params.size();
    bool fits = argc >= callee.required && (argc <= most || callee.variadic);
    // Optional groups of several arguments allow only some counts between.
    if (fits && !callee.counts.empty() && !callee.variadic) {
      fits = std::find(callee.counts.begin(), callee.counts.end(), int(argc)) != callee.counts.end();
    }
    if (!fits) {
      std::string wanted = callee.required == most ? std::to_string(most)
                         : std::to_string(callee.required) + " to " + std::to_string(most);
      if (callee.variadic) wanted = "at least " + std::to_string(callee.required);
      if (callee.counts.size() > 2 && callee.counts.back() - callee.counts.front() + 1 != int(callee.counts.size())) {
        wanted.clear();
        for (size_t i = 0; i < callee.counts.size(); ++i) {
          wanted += (i == 0 ? "" : i + 1 == callee.counts.size() ? " or " : ", ") + std::to_string(callee.counts[i]);
        }
      }
      error(call.at, "'" + callee_name + "' takes " + wanted + " argument(s), not " + std::to_string(argc));
      ok = false;
    }
  }
  for (size_t i = call.kids.size(); i-- > first;) {
    size_t position = i - first;
    Node& argument = *call.kids[i];
    if (callee.signature_known && !callee.param_kinds.empty()) {
      // An engine call: one kind converts; several are checked.
      size_t index = std::min(position, callee.param_kinds.size() - 1);
      uint8_t kinds = callee.param_kinds[index];
      std::string what = "argument " + std::to_string(position + 1) + " of '" + callee_name + "'";
      if (kinds != 0 && (kinds & (kinds - 1)) == 0) {
        if (value_as(argument, Type(std::countr_zero(kinds)), what) == Type::Error) ok = false;
        continue;
      }
      Type type = expression(argument, true);
      bool accepted = type == Type::Error || (type != Type::Void && (kinds >> int(type) & 1)) ||
                      (type == Type::Int && (kinds >> int(Type::Float) & 1));
      if (!accepted) {
        error(argument.at, what + " is " + script::signature_kind_text(kinds) + "; this is " +
                               std::string(type_name(type)));
        ok = false;
      }
      continue;
    }
    if (callee.signature_known && position < callee.params.size()) {
      if (value_as(argument, callee.params[position], "argument " + std::to_string(position + 1) + " of '" + callee_name + "'") == Type::Error) {
        ok = false;
      }
    } else {
      Type type = expression(argument, true);
      if (type == Type::Void) {
        error(argument.at, "this gives no value for '" + callee_name + "'");
        ok = false;
      }
    }
  }
  return ok;
}

Type FunctionCompiler::call(Node& node, bool keep) {
  const std::string& callee_name = node.kids[0]->text;
  size_t argc = node.kids.size() - 1;
  bool handled = false;
  Type intrinsic_type = intrinsic(node, callee_name, keep, handled);
  if (handled) return intrinsic_type;
  if (find_local(callee_name)) {
    error(node.at, "'" + callee_name + "' is a variable, not a function");
    return Type::Error;
  }
  const Symbol* symbol = program().find(callee_name);
  Symbol engine_symbol;
  if (!symbol && program().options.syscalls) {
    if (const SyscallName* known = program().options.syscalls->find(callee_name)) {
      engine_symbol = engine_call(*known);
      symbol = &engine_symbol;
    }
  }
  if (!symbol) {
    error(node.at, "there is no function or system call named '" + callee_name + "'");
    return Type::Error;
  }
  if (symbol->kind == SymbolKind::Function) {
    arguments(node, *symbol, 1, callee_name);
    if (symbol->module == m_owner.module) {
      m_emit.call(keep ? Op::Call : Op::CallDiscard, symbol->key, argc);
    } else {
      // Another file's function: loaded by name when first called.
      m_emit.push_int(int32_t(symbol->key));
      std::optional<std::string> script = program().game_text(program().sources.files[symbol->module].name, node.at);
      m_emit.bytes(Op::PushString, script.value_or(""));
      m_emit.syscall(keep, kCallScriptFunction, argc + 2);
    }
  } else if (symbol->kind == SymbolKind::Native) {
    arguments(node, *symbol, 1, callee_name);
    m_emit.syscall(keep, symbol->key, argc);
  } else {
    error(node.at, "'" + callee_name + "' is not a function");
    return Type::Error;
  }
  // A call without a value gives Void; whoever wanted one reports it.
  return finish_call(symbol->result, keep);
}

// spawn f(a, b): a new thread starts at f with the arguments; its id.
Type FunctionCompiler::spawn(Node& node) {
  if (node.kids.empty()) return Type::Error;
  Node& call = *node.kids[0];
  const std::string& callee_name = call.kids[0]->text;
  const Symbol* symbol = program().find(callee_name);
  if (!symbol || symbol->kind != SymbolKind::Function || find_local(callee_name)) {
    error(call.at, "'spawn' starts a script function; '" + callee_name + "' is not one");
    return Type::Error;
  }
  arguments(call, *symbol, 1, callee_name);
  m_emit.push_int(int32_t(symbol->key));
  m_emit.syscall(true, node.flag ? kCreateChildThread : kCreateThread, call.kids.size());
  return Type::Int;
}

// Calls the language compiles itself: events, array copies, raw system
// calls by key. handled says whether node was one of them.
Type FunctionCompiler::intrinsic(Node& node, const std::string& callee, bool keep, bool& handled) {
  static const std::set<std::string> kNames = {"listen", "listen_first", "unlisten", "raise", "raise_to", "copy", "syscall"};
  handled = kNames.count(callee) > 0 && !program().find(callee) && !find_local(callee);
  if (!handled) {
    static const std::set<std::string> kStoryOnly = {"pause", "voice", "voice_loop", "nowait", "color",
                                                     "speed", "locate", "move_pen", "pen_back", "signal"};
    bool engine_name = program().options.syscalls && program().options.syscalls->find(callee);
    if (kStoryOnly.count(callee) && !program().find(callee) && !find_local(callee) && !engine_name) {
      handled = true;
      error(node.at, "'" + callee + "' belongs in story text: ${" + callee + "(...)}");
      return Type::Error;
    }
    return Type::Error;
  }
  size_t argc = node.kids.size() - 1;
  if (callee == "copy") {
    if (argc != 1) {
      error(node.at, "'copy' takes one array");
      return Type::Error;
    }
    Type type = expression(*node.kids[1], true);
    if (!is_array(type)) {
      if (type != Type::Error) error(node.kids[1]->at, "'copy' takes an array, not " + std::string(type_name(type)));
      return Type::Error;
    }
    m_emit.syscall(keep, kArrayCopy[int(element_type(type))], 1);
    return finish_call(type, keep);
  }
  if (callee == "syscall") {
    std::optional<ConstValue> key = argc >= 1 ? program().fold(*node.kids[1], false) : std::nullopt;
    if (!key || key->type != Type::Int) {
      error(node.at, "'syscall' takes the system call's key (known when compiling), then its arguments");
      return Type::Error;
    }
    for (size_t i = node.kids.size(); i-- > 2;) {
      if (expression(*node.kids[i], true) == Type::Void) error(node.kids[i]->at, "this gives no value for 'syscall'");
    }
    m_emit.syscall(keep, uint32_t(key->integer), argc - 1);
    return finish_call(Type::Int, keep);
  }
  // Events: the first argument names one.
  const Symbol* event = argc >= 1 && node.kids[1]->kind == NodeKind::Name && !find_local(node.kids[1]->text)
                            ? program().find(node.kids[1]->text) : nullptr;
  if (!event || event->kind != SymbolKind::Event) {
    error(argc >= 1 ? node.kids[1]->at : node.at, "'" + callee + "' takes an event first (declared with 'event')");
    return Type::Error;
  }
  std::optional<std::string> event_text = program().game_text(event->event_name, node.at);
  if (callee == "listen" || callee == "listen_first" || callee == "unlisten") {
    if (argc != 2) {
      error(node.at, "'" + callee + "' takes an event and a function");
      return Type::Error;
    }
    Node& handler = *node.kids[2];
    const Symbol* function = handler.kind == NodeKind::Name && !find_local(handler.text) ? program().find(handler.text) : nullptr;
    if (!function || function->kind != SymbolKind::Function) {
      error(handler.at, "the handler of '" + event->name + "' is a script function");
      return Type::Error;
    }
    if (function->params != event->params) {
      std::string wanted;
      for (size_t i = 0; i < event->params.size(); ++i) wanted += (i ? ", " : "") + std::string(type_name(event->params[i]));
      error(handler.at, "a handler of '" + event->name + "' takes (" + wanted + ")");
    }
    m_emit.push_int(int32_t(function->key));
    m_emit.bytes(Op::PushString, event_text.value_or(""));
    uint32_t key = callee == "listen" ? kRegisterEvent : callee == "listen_first" ? kRegisterEventFirst : kUnregisterEvent;
    m_emit.syscall(keep, key, 2);
    return finish_call(Type::Int, keep);
  }
  // raise(event, args...) and raise_to(event, thread, args...)
  bool to_thread = callee == "raise_to";
  size_t first = to_thread ? 3 : 2;
  if (node.kids.size() < first) {
    error(node.at, "'raise_to' takes an event, a thread id and the event's arguments");
    return Type::Error;
  }
  Symbol shape = *event;
  shape.required = event->params.size();
  shape.variadic = false;
  arguments(node, shape, first, event->name);
  if (to_thread) value_as(*node.kids[2], Type::Int, "the thread id");
  m_emit.bytes(Op::PushString, event_text.value_or(""));
  m_emit.syscall(keep, to_thread ? kRaiseEventTo : kRaiseEvent, argc);
  return finish_call(Type::Int, keep);
}

}  // namespace

std::optional<std::vector<uint8_t>> generate(Program& program, uint32_t module) {
  ModuleCompiler compiler(program, module);
  return compiler.compile();
}

}  // namespace tavelo::tools::tvc
