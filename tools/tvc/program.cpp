// The program: files, imports, symbols and constants.

#include "tools/tvc/program.h"

#include <array>
#include <cmath>
#include <set>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/name_hash.h"
#include "tools/tvc/parser.h"
#include "tools/tvc/syscall_lookup.h"

namespace tavelo::tools::tvc {
namespace {

std::string_view directory_of(std::string_view path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// "dir/prelude.tvs" -> "prelude"
std::string base_name(std::string_view path) {
  std::string_view file = path.substr(directory_of(path).size());
  size_t dot = file.rfind('.');
  return std::string(dot == std::string_view::npos || dot == 0 ? file : file.substr(0, dot));
}

// "a/./b/../c.tvs" -> "a/c.tvs": one spelling per file, so a file imported
// along two paths is parsed once.
std::string normalize_path(std::string_view path) {
  std::vector<std::string> parts;
  bool absolute = !path.empty() && path[0] == '/';
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string part(path.substr(start, end - start));
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) result += (i ? "/" : "") + parts[i];
  return result;
}

std::string with_extension(std::string_view name) {
  std::string_view file = name.substr(directory_of(name).size());
  return file.find('.') == std::string_view::npos ? std::string(name) + ".tvs" : std::string(name);
}

std::string sigil_name(Scope scope, std::string_view name) {
  static constexpr std::array<char, 3> kSigils = {'#', '@', '%'};
  return kSigils[size_t(scope)] + std::string(name) + "@GLOBAL";
}

Scope scope_of(TokenKind kind) {
  return kind == TokenKind::Eternal ? Scope::Eternal : kind == TokenKind::Thread ? Scope::Thread : Scope::Global;
}

// The engine's arithmetic on constants (docs/language.md, "Operators").
int32_t wrap(int64_t value) { return int32_t(uint32_t(uint64_t(value))); }
int32_t truncate_to_int(float value) {
  if (!(value > -2147483904.0f && value < 2147483648.0f)) return INT32_MIN;
  return int32_t(value);
}

// Comparisons give what the engine's instructions give: true is 1, but -1
// from >= and from a `less` of -1 (float <); false is 0.
template <typename T>
std::optional<int32_t> fold_comparison(TokenKind op, T a, T b, int32_t less) {
  switch (op) {
    case TokenKind::Less: return a < b ? less : 0;
    case TokenKind::LessEqual: return a <= b;
    case TokenKind::Greater: return a > b;
    case TokenKind::GreaterEqual: return a >= b ? -1 : 0;
    case TokenKind::EqualEqual: return a == b;
    case TokenKind::NotEqual: return a != b;
    default: return std::nullopt;
  }
}

std::optional<ConstValue> fold_int(TokenKind op, int32_t a, int32_t b) {
  ConstValue result;
  switch (op) {
    case TokenKind::Plus: result.integer = wrap(int64_t(a) + b); break;
    case TokenKind::Minus: result.integer = wrap(int64_t(a) - b); break;
    case TokenKind::Star: result.integer = wrap(int64_t(a) * b); break;
    case TokenKind::Slash: result.integer = b == 0 ? wrap(int64_t(a) * 10000) : b == -1 ? wrap(-int64_t(a)) : a / b; break;
    case TokenKind::Percent: result.integer = b == 0 || b == -1 ? 0 : a % b; break;
    case TokenKind::ShiftLeft: result.integer = int32_t(uint32_t(a) << (b & 31)); break;
    case TokenKind::ShiftRight: result.integer = a >> (b & 31); break;
    case TokenKind::Ampersand: result.integer = a & b; break;
    case TokenKind::Pipe: result.integer = a | b; break;
    case TokenKind::Caret: result.integer = a ^ b; break;
    case TokenKind::AndAnd: result.integer = a != 0 && b != 0; break;
    case TokenKind::OrOr: result.integer = a != 0 || b != 0; break;
    default: {
      // Int < gives 1.
      std::optional<int32_t> compared = fold_comparison(op, a, b, 1);
      if (!compared) return std::nullopt;
      result.integer = *compared;
    }
  }
  return result;
}

std::optional<ConstValue> fold_float(TokenKind op, float a, float b) {
  ConstValue result;
  result.type = Type::Float;
  switch (op) {
    case TokenKind::Plus: result.real = a + b; break;
    case TokenKind::Minus: result.real = a - b; break;
    case TokenKind::Star: result.real = a * b; break;
    case TokenKind::Slash: result.real = b == 0.0f ? a / 0.00001f : a / b; break;
    default: {
      // Float < gives -1.
      std::optional<int32_t> compared = fold_comparison(op, a, b, -1);
      if (!compared) return std::nullopt;
      result.type = Type::Int;
      result.integer = *compared;
    }
  }
  return result;
}

}  // namespace

uint32_t function_hash(std::string_view name) { return resources::name_hash("$" + std::string(name) + "@GLOBAL"); }

std::string name_with_hash(uint32_t key, std::string_view prefix) {
  // Each position holds 'a' or 'c' (one bit apart); the hash is affine in
  // those choices, so a basis of their effects reaches any key.
  constexpr size_t kPositions = 48;
  std::string base(prefix);
  base.append(kPositions, 'a');
  uint32_t base_hash = resources::name_hash(base);
  std::array<uint32_t, kPositions> effects{};
  for (size_t i = 0; i < kPositions; ++i) {
    std::string flipped = base;
    flipped[prefix.size() + i] = 'c';
    effects[i] = resources::name_hash(flipped) ^ base_hash;
  }
  // Gaussian elimination: rows[bit] is an effect with that leading bit and
  // the positions (a bit set) that make it.
  std::array<uint32_t, 32> rows{};
  std::array<uint64_t, 32> made{};
  for (size_t i = 0; i < kPositions; ++i) {
    uint32_t value = effects[i];
    uint64_t used = uint64_t(1) << i;
    for (int bit = 31; bit >= 0 && value; --bit) {
      if (!(value >> bit & 1)) continue;
      if (!rows[size_t(bit)]) {
        rows[size_t(bit)] = value;
        made[size_t(bit)] = used;
        break;
      }
      value ^= rows[size_t(bit)];
      used ^= made[size_t(bit)];
    }
  }
  uint32_t wanted = key ^ base_hash;
  uint64_t choice = 0;
  for (int bit = 31; bit >= 0; --bit) {
    if (!(wanted >> bit & 1) || !rows[size_t(bit)]) continue;
    wanted ^= rows[size_t(bit)];
    choice ^= made[size_t(bit)];
  }
  std::string name = base;
  for (size_t i = 0; i < kPositions; ++i) {
    if (choice >> i & 1) name[prefix.size() + i] = 'c';
  }
  return name;
}

Program::Program(CompileOptions options_in) : options(std::move(options_in)) {
  std::optional<uint32_t> system = load("<built-in>", std::string(system_declarations()), nullptr);
  system_module = system.value_or(0);
}

std::optional<uint32_t> Program::load(const std::string& path, std::optional<std::string> text, const Position* from) {
  std::string key = normalize_path(path);
  if (auto found = module_by_path.find(key); found != module_by_path.end()) return found->second;
  if (!text) {
    if (options.read_file) {
      text = options.read_file(key);
    } else if (std::optional<std::vector<uint8_t>> bytes = platform::read_file(key)) {
      text = std::string(bytes->begin(), bytes->end());
    }
  }
  if (!text) {
    if (!from) diagnostics.error({}, "cannot read " + path);
    return std::nullopt;
  }
  if (text->starts_with("\xEF\xBB\xBF")) text->erase(0, 3);  // a UTF-8 byte-order mark
  uint32_t index = uint32_t(sources.files.size());
  sources.files.push_back({path, base_name(key), std::move(*text)});
  ModuleRecord record;
  record.directory = std::string(directory_of(key));
  record.module = parse_file(sources, index, diagnostics);
  modules.push_back(std::move(record));
  module_by_path.emplace(key, uint32_t(modules.size() - 1));
  return uint32_t(modules.size() - 1);
}

void Program::collect_symbols(uint32_t root) {
  symbols.clear();
  std::vector<uint32_t> order{system_module, root};
  std::set<uint32_t> seen{system_module, root};
  for (size_t next = 1; next < order.size(); ++next) {
    uint32_t current = order[next];
    if (!modules[current].imports_resolved) {
      // Loading an import grows `modules`: the record is reached by index.
      modules[current].imports_resolved = true;
      std::vector<const Node*> imports;
      for (const NodePtr& declaration : modules[current].module.declarations) {
        if (declaration->kind == NodeKind::Import) imports.push_back(declaration.get());
      }
      std::string directory = modules[current].directory;
      for (const Node* declaration : imports) {
        std::string wanted = with_extension(declaration->text);
        std::optional<uint32_t> found;
        if (!wanted.empty() && wanted[0] == '/') {
          found = load(wanted, std::nullopt, &declaration->at);
        } else {
          found = load(directory + wanted, std::nullopt, &declaration->at);
          for (size_t i = 0; !found && i < options.import_directories.size(); ++i) {
            std::string directory = options.import_directories[i];
            if (!directory.empty() && directory.back() != '/') directory += '/';
            found = load(directory + wanted, std::nullopt, &declaration->at);
          }
        }
        if (found) {
          modules[current].imports.push_back(*found);
        } else {
          diagnostics.error(declaration->at, "cannot find the file to import: " + wanted);
        }
      }
    }
    for (uint32_t imported : modules[order[next]].imports) {
      if (seen.insert(imported).second) order.push_back(imported);
    }
  }

  for (uint32_t module : order) {
    for (const NodePtr& declaration : modules[module].module.declarations) {
      const Node& node = *declaration;
      Symbol symbol;
      symbol.name = node.text;
      symbol.at = node.at;
      symbol.module = module;
      symbol.node = &node;
      switch (node.kind) {
        case NodeKind::Import: continue;
        case NodeKind::Const: symbol.kind = SymbolKind::Const; break;
        case NodeKind::Store:
          symbol.kind = SymbolKind::Store;
          symbol.scope = scope_of(node.op);
          symbol.type = node.declared;
          symbol.hash = resources::name_hash(sigil_name(symbol.scope, node.text));
          break;
        case NodeKind::FunctionDecl:
          // main and init belong to their own file.
          if (module != root && (node.text == "main" || node.text == "init")) continue;
          symbol.kind = SymbolKind::Function;
          symbol.key = function_hash(node.text);
          symbol.result = node.declared;
          break;
        case NodeKind::NativeDecl:
          symbol.kind = SymbolKind::Native;
          symbol.key = uint32_t(node.integer);
          symbol.result = node.declared;
          symbol.variadic = node.flag;
          break;
        case NodeKind::EventDecl:
          symbol.kind = SymbolKind::Event;
          symbol.key = node.flag ? uint32_t(node.integer) : resources::name_hash(node.text);
          symbol.event_name = node.flag ? name_with_hash(symbol.key, node.text + "_") : node.text;
          break;
        default: continue;
      }
      for (const NodePtr& kid : node.kids) {
        if (kid->kind != NodeKind::Param) continue;
        symbol.params.push_back(kid->declared);
        if (!kid->flag) ++symbol.required;
      }
      auto [where, inserted] = symbols.emplace(symbol.name, symbol);
      if (!inserted && where->second.node != &node) {
        const Symbol& first = where->second;
        std::string place = first.at.line ? sources.files[first.at.file].path + ":" + std::to_string(first.at.line)
                                          : sources.files[first.at.file].path;
        diagnostics.error(node.at, "'" + node.text + "' is already declared (" + place + ")");
      }
    }
  }
}

const Symbol* Program::find(const std::string& name) const {
  auto found = symbols.find(name);
  return found == symbols.end() ? nullptr : &found->second;
}

Symbol* Program::find(const std::string& name) {
  auto found = symbols.find(name);
  return found == symbols.end() ? nullptr : &found->second;
}

std::optional<ConstValue> Program::constant_value(Symbol& symbol) {
  if (symbol.value) return symbol.value;
  if (symbol.evaluating) {
    diagnostics.error(symbol.at, "the constant '" + symbol.name + "' depends on itself");
    return std::nullopt;
  }
  symbol.evaluating = true;
  const Node& node = *symbol.node;
  std::optional<ConstValue> value = node.kids.empty() ? std::nullopt : fold(*node.kids[0], true);
  symbol.evaluating = false;
  if (!value) {
    if (!node.kids.empty()) diagnostics.error(node.kids[0]->at, "a constant needs a value known when compiling");
    return std::nullopt;
  }
  if (node.declared != Type::Void && node.declared != value->type) {
    if (node.declared == Type::Float && value->type == Type::Int) {
      value->type = Type::Float;
      value->real = float(value->integer);
    } else {
      diagnostics.error(node.kids[0]->at, "the constant '" + symbol.name + "' is " + std::string(type_name(node.declared)) +
                                              ", its value " + std::string(type_name(value->type)));
      return std::nullopt;
    }
  }
  symbol.value = value;
  return value;
}

std::optional<ConstValue> Program::fold(const Node& node, bool report) {
  switch (node.kind) {
    case NodeKind::IntLiteral: return ConstValue{Type::Int, node.integer, 0, {}};
    case NodeKind::FloatLiteral: return ConstValue{Type::Float, 0, float(node.real), {}};
    case NodeKind::StringLiteral: return ConstValue{Type::String, 0, 0, node.text};
    case NodeKind::Name: {
      if (local_lookup) {
        std::optional<ConstValue> value;
        if (local_lookup(node.text, value)) return value;
      }
      auto found = symbols.find(node.text);
      if (found == symbols.end() || found->second.kind != SymbolKind::Const) return std::nullopt;
      if (!report && found->second.evaluating) return std::nullopt;
      return constant_value(found->second);
    }
    case NodeKind::Unary: {
      std::optional<ConstValue> value = fold(*node.kids[0], report);
      if (!value) return std::nullopt;
      if (value->type == Type::Int) {
        if (node.op == TokenKind::Minus) value->integer = wrap(-int64_t(value->integer));
        if (node.op == TokenKind::Bang) value->integer = value->integer == 0;
        if (node.op == TokenKind::Tilde) value->integer = ~value->integer;
        return value;
      }
      if (value->type == Type::Float && node.op == TokenKind::Minus) {
        value->real = -value->real;
        return value;
      }
      return std::nullopt;
    }
    case NodeKind::Binary: {
      std::optional<ConstValue> left = fold(*node.kids[0], report);
      if (!left) return std::nullopt;
      std::optional<ConstValue> right = fold(*node.kids[1], report);
      if (!right) return std::nullopt;
      if (left->type == Type::Int && right->type == Type::Int) return fold_int(node.op, left->integer, right->integer);
      if (is_number(left->type) && is_number(right->type)) {
        float a = left->type == Type::Float ? left->real : float(left->integer);
        float b = right->type == Type::Float ? right->real : float(right->integer);
        return fold_float(node.op, a, b);
      }
      if (node.op == TokenKind::Plus && left->type == Type::String &&
          (right->type == Type::String || right->type == Type::Int)) {
        left->text += right->type == Type::String ? right->text : std::to_string(right->integer);
        return left;
      }
      if (node.op == TokenKind::Plus && left->type == Type::Int && right->type == Type::String) {
        right->text = std::to_string(left->integer) + right->text;
        return right;
      }
      return std::nullopt;
    }
    case NodeKind::Cast: {
      std::optional<ConstValue> value = fold(*node.kids[0], report);
      if (!value) return std::nullopt;
      if (node.declared == Type::Int && value->type == Type::Float) return ConstValue{Type::Int, truncate_to_int(value->real), 0, {}};
      if (node.declared == Type::Float && value->type == Type::Int) return ConstValue{Type::Float, 0, float(value->integer), {}};
      if (node.declared == Type::String && value->type == Type::Int) return ConstValue{Type::String, 0, 0, std::to_string(value->integer)};
      if (node.declared == value->type) return value;
      return std::nullopt;
    }
    default: return std::nullopt;
  }
}

std::optional<std::string> Program::game_text(std::string_view utf8, const Position& at) {
  std::optional<std::string> converted = options.encoding->from_utf8(utf8);
  if (!converted) {
    diagnostics.error(at, "text that the code page " + options.encoding->code_page() + " cannot hold");
  }
  return converted;
}

}  // namespace tavelo::tools::tvc
