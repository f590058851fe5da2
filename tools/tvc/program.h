#pragma once
// The compiler's view of a program: the parsed files (each once), the import
// graph, and the symbols a file sees — its own declarations, those of every
// file it imports (directly or not) and the built-in declarations. Constants
// are evaluated here, with the engine's arithmetic. Internal to tvc.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/tvc/ast.h"
#include "tools/tvc/compiler.h"
#include "tools/tvc/diagnostics.h"

namespace tavelo::tools::tvc {

// Variable scopes, numbered as the engine numbers them.
enum class Scope : uint8_t { Eternal = 0, Global = 1, Thread = 2, Local = 3 };

struct ConstValue {
  Type type = Type::Int;
  int32_t integer = 0;
  float real = 0;
  std::string text;  // UTF-8
};

enum class SymbolKind : uint8_t { Function, Native, Event, Store, Const };

struct Symbol {
  SymbolKind kind = SymbolKind::Const;
  std::string name;
  Position at;
  uint32_t module = 0;       // the declaring file (module index)
  const Node* node = nullptr;  // the declaration (null for engine names)
  // Functions, natives and events: parameter types in call order; natives
  // also mark optional ones and whether more may follow.
  std::vector<Type> params;
  size_t required = 0;
  bool variadic = false;
  bool signature_known = true;  // false for engine calls whose signature did not parse
  // Engine calls: the value types each argument may take (a bit per type;
  // the last one repeats when variadic) and the counts a call may pass.
  std::vector<uint8_t> param_kinds;
  std::vector<int> counts;
  Type result = Type::Void;
  uint32_t key = 0;          // function name hash, system-call key or event key
  std::string event_name;    // events: a name whose hash is the key
  // Variables.
  Scope scope = Scope::Global;
  Type type = Type::Int;
  uint32_t hash = 0;         // the hash of the full name ("@score@GLOBAL")
  // Constants: evaluated on first use.
  std::optional<ConstValue> value;
  bool evaluating = false;
};

struct ModuleRecord {
  Module module;
  std::string directory;          // of the file, for its imports
  std::vector<uint32_t> imports;  // module indices, resolved
  bool imports_resolved = false;
};

struct Program {
  explicit Program(CompileOptions options_in);

  CompileOptions options;
  Sources sources;
  Diagnostics diagnostics;
  std::vector<ModuleRecord> modules;
  std::map<std::string, uint32_t> module_by_path;
  uint32_t system_module = 0;

  // The symbols of the file being compiled.
  std::unordered_map<std::string, Symbol> symbols;

  // Parses a file (once) and returns its module index; nullopt when it cannot
  // be read (reported at `from` when given).
  std::optional<uint32_t> load(const std::string& path, std::optional<std::string> text, const Position* from);
  // Builds `symbols` for a file: the built-in declarations, the file's
  // own, then those of every file it imports.
  void collect_symbols(uint32_t root);
  const Symbol* find(const std::string& name) const;
  Symbol* find(const std::string& name);
  // Set while a function is compiled: whether a name is one of its locals,
  // and the value when that local is a constant. Locals hide the symbols.
  std::function<bool(const std::string& name, std::optional<ConstValue>& value)> local_lookup;
  // A constant's value (evaluated on first use); nullopt after an error.
  std::optional<ConstValue> constant_value(Symbol& symbol);
  // The value of a constant expression; nullopt when it is not constant.
  // Errors (such as a cycle) are reported only when report is set.
  std::optional<ConstValue> fold(const Node& node, bool report);
  // Game text: UTF-8 to the code page; reports what the code page cannot hold.
  std::optional<std::string> game_text(std::string_view utf8, const Position& at);
};

// The hash of a function's name in the function table: "$name@GLOBAL".
uint32_t function_hash(std::string_view name);
// A name with the given hash, made of the prefix and letters (the engine
// hashes event names; its own events have keys without names).
std::string name_with_hash(uint32_t key, std::string_view prefix);

}  // namespace tavelo::tools::tvc
