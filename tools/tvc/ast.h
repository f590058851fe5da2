#pragma once
// The syntax tree the tvc parser builds and the code generator walks: one
// node record for every construct, told apart by its kind. Children are
// owned; what each kind keeps where is listed beside the kind.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/tvc/diagnostics.h"
#include "tools/tvc/lexer.h"

namespace tavelo::tools::tvc {

// Value types, numbered as the engine numbers them; Void and Error exist only
// in the compiler (Error stops one mistake from causing a cascade).
enum class Type : uint8_t { Int, Float, String, IntArray, FloatArray, StringArray, Void, Error };

constexpr bool is_array(Type type) { return type == Type::IntArray || type == Type::FloatArray || type == Type::StringArray; }
constexpr bool is_number(Type type) { return type == Type::Int || type == Type::Float; }
constexpr Type element_type(Type array) { return Type(uint8_t(array) - 3); }
constexpr Type array_of(Type element) { return Type(uint8_t(element) + 3); }
std::string_view type_name(Type type);

enum class NodeKind : uint8_t {
  // Expressions. type: what the expression gives (set by the code generator).
  IntLiteral,     // integer
  FloatLiteral,   // real
  StringLiteral,  // text (UTF-8)
  Name,           // text
  Unary,          // op; kids[0]
  Binary,         // op; kids[0], kids[1]  (&& and || too)
  Conditional,    // kids: condition, then, else
  Assign,         // op (= or a compound); kids[0] target, kids[1] value
  PreStep,        // op (++ or --); kids[0] target
  PostStep,       // op; kids[0] target
  Call,           // kids[0] callee (a Name), then the arguments
  Index,          // kids[0] array, then 1 to 3 subscripts
  NewArray,       // declared: element type; kids: 1 to 3 sizes
  ArrayLiteral,   // kids: the elements (at least one)
  Cast,           // declared: Int or Float; kids[0]
  Spawn,          // flag: child thread; kids[0] the Call
  // Statements.
  Block,          // kids
  Var,            // text name; declared (Void when inferred); kids[0] the value, if any
  Const,          // text name; declared (Void when inferred); kids[0] the value
  ExpressionStatement,  // kids[0]
  If,             // kids: condition, then [, else]
  While,          // kids: condition, body
  DoWhile,        // kids: body, condition
  For,            // kids: init (or Empty), condition (or Empty), step (or Empty), body
  Switch,         // kids[0] the value, then Case nodes
  Case,           // flag: default; kids[0] the value (not for default), then the statements
  Break,
  Continue,
  Return,         // kids[0] the value, if any
  Story,          // kids: StoryLine and StoryPage nodes
  StoryLine,      // kids: StoryText and expression nodes, in order
  StoryText,      // text (UTF-8, as written)
  StoryPage,      // a blank line: the page ends
  UntilClick,     // kids[0] the body, then ClickBranch nodes
  ClickBranch,    // text: left, right, middle or any; kids[0] the block
  Finally,        // kids[0] the block
  Empty,
  // Declarations at the top of a file.
  Import,         // text: the file as written
  Store,          // op: Global, Thread or Eternal; text name; declared
  FunctionDecl,   // text name; declared: result (Void: none); kids: Param nodes, then the body
  NativeDecl,     // text name; declared result; integer key; flag: variadic; kids: Param nodes
  EventDecl,      // text name; integer key; flag: key given; kids: Param nodes
  Param,          // text name; declared; flag: optional (natives only)
};

struct Node;
using NodePtr = std::unique_ptr<Node>;

struct Node {
  NodeKind kind = NodeKind::Empty;
  Position at;
  TokenKind op = TokenKind::End;
  Type declared = Type::Void;
  Type type = Type::Void;  // an expression's type, once the code generator worked it out
  bool typed = false;
  bool flag = false;
  int32_t integer = 0;
  double real = 0;
  std::string text;
  std::vector<NodePtr> kids;
};

inline NodePtr make_node(NodeKind kind, Position at) {
  auto node = std::make_unique<Node>();
  node->kind = kind;
  node->at = at;
  return node;
}

// One parsed file: its top-level declarations in order.
struct Module {
  uint32_t file = 0;  // index into Sources::files
  std::vector<NodePtr> declarations;
};

}  // namespace tavelo::tools::tvc
