// The tvc parser.

#include "tools/tvc/parser.h"

#include <utility>

#include "tools/tvc/lexer.h"

namespace tavelo::tools::tvc {

std::string_view type_name(Type type) {
  switch (type) {
    case Type::Int: return "int";
    case Type::Float: return "float";
    case Type::String: return "string";
    case Type::IntArray: return "int[]";
    case Type::FloatArray: return "float[]";
    case Type::StringArray: return "string[]";
    case Type::Void: return "nothing";
    case Type::Error: return "an unknown type";
  }
  return "?";
}

namespace {

// Binary operators by precedence, loosest first (C's order).
int binary_precedence(TokenKind kind) {
  switch (kind) {
    case TokenKind::OrOr: return 1;
    case TokenKind::AndAnd: return 2;
    case TokenKind::Pipe: return 3;
    case TokenKind::Caret: return 4;
    case TokenKind::Ampersand: return 5;
    case TokenKind::EqualEqual: case TokenKind::NotEqual: return 6;
    case TokenKind::Less: case TokenKind::LessEqual: case TokenKind::Greater: case TokenKind::GreaterEqual: return 7;
    case TokenKind::ShiftLeft: case TokenKind::ShiftRight: return 8;
    case TokenKind::Plus: case TokenKind::Minus: return 9;
    case TokenKind::Star: case TokenKind::Slash: case TokenKind::Percent: return 10;
    default: return 0;
  }
}

bool is_assignment(TokenKind kind) {
  switch (kind) {
    case TokenKind::Assign: case TokenKind::PlusAssign: case TokenKind::MinusAssign: case TokenKind::StarAssign:
    case TokenKind::SlashAssign: case TokenKind::PercentAssign: case TokenKind::ShiftLeftAssign:
    case TokenKind::ShiftRightAssign: case TokenKind::AndAssign: case TokenKind::XorAssign: case TokenKind::OrAssign:
      return true;
    default: return false;
  }
}

class Parser {
 public:
  Parser(const Sources& sources, uint32_t file, Diagnostics& diagnostics)
      : m_sources(sources), m_file(file), m_diagnostics(diagnostics) {}

  Module parse();

 private:
  // ---- tokens
  void advance() {
    m_previous_end = m_token.at;
    m_token = m_lexer->next();
  }
  bool check(TokenKind kind) const { return m_token.kind == kind; }
  bool check_word(std::string_view word) const { return m_token.kind == TokenKind::Name && m_token.lexeme == word; }
  bool accept(TokenKind kind) {
    if (!check(kind)) return false;
    advance();
    return true;
  }
  bool expect(TokenKind kind, std::string_view context);
  void error_here(std::string message);
  void error_at(const Position& at, std::string message);
  void skip_statement();
  void skip_declaration();

  // ---- declarations
  NodePtr declaration();
  NodePtr store_declaration();
  NodePtr function_declaration();
  NodePtr native_declaration();
  NodePtr event_declaration();
  bool parameters(Node& owner, bool natives);
  bool type(Type& out);

  // ---- statements
  NodePtr statement();
  NodePtr block();
  NodePtr variable();
  NodePtr constant();
  NodePtr if_statement();
  NodePtr for_statement();
  NodePtr switch_statement();
  NodePtr until_click();
  NodePtr story(Token token);
  void story_line(Node& line, std::string_view text, Position at);

  // ---- expressions
  NodePtr expression();
  NodePtr conditional();
  NodePtr binary(int precedence);
  NodePtr unary();
  NodePtr postfix(NodePtr node);
  NodePtr primary();
  NodePtr error_node() { return make_node(NodeKind::IntLiteral, m_token.at); }

  // Bounds recursion: every rule that can nest enters a Nest.
  struct Nest {
    explicit Nest(Parser& parser) : m_parser(parser) { ++m_parser.m_depth; }
    ~Nest() { --m_parser.m_depth; }
    bool too_deep() const { return m_parser.m_depth > kMaxNesting; }
    Parser& m_parser;
  };
  bool nesting_error(const Nest& nest);

  const Sources& m_sources;
  uint32_t m_file;
  Diagnostics& m_diagnostics;
  Lexer* m_lexer = nullptr;
  Token m_token;
  Position m_previous_end;
  bool m_panic = false;  // after an error, until the parser found its feet
  bool m_nesting_reported = false;
  int m_depth = 0;
};

void Parser::error_at(const Position& at, std::string message) {
  if (m_panic) return;
  m_panic = true;
  m_diagnostics.error(at, std::move(message));
}

void Parser::error_here(std::string message) {
  if (m_token.kind == TokenKind::Error) {
    m_panic = true;  // the lexer said what was wrong
    return;
  }
  std::string found = m_token.kind == TokenKind::End ? "the end of the file"
                                                     : "'" + std::string(m_token.lexeme) + "'";
  if (m_token.kind == TokenKind::Story) found = "a story block";
  error_at(m_token.at, message + ", found " + found);
}

bool Parser::expect(TokenKind kind, std::string_view context) {
  if (accept(kind)) return true;
  error_here("expected '" + std::string(token_text(kind)) + "' " + std::string(context));
  return false;
}

bool Parser::nesting_error(const Nest& nest) {
  if (!nest.too_deep()) return false;
  if (!m_nesting_reported) m_diagnostics.error(m_token.at, "too deeply nested");
  m_nesting_reported = true;
  m_panic = true;
  return true;
}

// After an error: skip to the end of the statement (a ';' at this level, or
// before the '}' that closes the enclosing block).
void Parser::skip_statement() {
  int depth = 0;
  while (!check(TokenKind::End)) {
    if (check(TokenKind::LeftBrace)) {
      ++depth;
    } else if (check(TokenKind::RightBrace)) {
      if (depth == 0) break;
      if (--depth == 0) {
        advance();
        break;
      }
    } else if (check(TokenKind::Semicolon) && depth == 0) {
      advance();
      break;
    }
    advance();
  }
  m_panic = false;
}

void Parser::skip_declaration() {
  while (!check(TokenKind::End)) {
    switch (m_token.kind) {
      case TokenKind::Import: case TokenKind::Const: case TokenKind::Global: case TokenKind::Thread:
      case TokenKind::Eternal: case TokenKind::Function: case TokenKind::Native: case TokenKind::Event:
        m_panic = false;
        return;
      default: advance();
    }
  }
  m_panic = false;
}

Module Parser::parse() {
  Module module;
  module.file = m_file;
  Position start{m_file, 1, 1};
  Lexer lexer(m_sources.files[m_file].text, start, m_diagnostics);
  m_lexer = &lexer;
  advance();
  while (!check(TokenKind::End) && !m_diagnostics.too_many()) {
    NodePtr declaration_node = declaration();
    if (m_panic) skip_declaration();
    if (declaration_node) module.declarations.push_back(std::move(declaration_node));
  }
  return module;
}

// ---- declarations

NodePtr Parser::declaration() {
  Position at = m_token.at;
  switch (m_token.kind) {
    case TokenKind::Import: {
      advance();
      NodePtr node = make_node(NodeKind::Import, at);
      if (!check(TokenKind::String)) {
        error_here("expected the file to import as a string, such as \"prelude\"");
        return nullptr;
      }
      node->text = m_token.text;
      advance();
      expect(TokenKind::Semicolon, "after the import");
      return node;
    }
    case TokenKind::Const: return constant();
    case TokenKind::Global: case TokenKind::Thread: case TokenKind::Eternal: return store_declaration();
    case TokenKind::Function: return function_declaration();
    case TokenKind::Native: return native_declaration();
    case TokenKind::Event: return event_declaration();
    case TokenKind::Var:
      error_here("a 'var' belongs inside a function; a variable outside functions is 'global', 'thread' or 'eternal'");
      return nullptr;
    default:
      error_here("expected a declaration (function, global, thread, eternal, const, event, native or import)");
      return nullptr;
  }
}

bool Parser::type(Type& out) {
  switch (m_token.kind) {
    case TokenKind::IntType: out = Type::Int; break;
    case TokenKind::FloatType: out = Type::Float; break;
    case TokenKind::StringType: out = Type::String; break;
    default:
      error_here("expected a type (int, float, string, int[], float[] or string[])");
      return false;
  }
  advance();
  if (accept(TokenKind::LeftBracket)) {
    if (!expect(TokenKind::RightBracket, "in an array type")) return false;
    out = array_of(out);
  }
  return true;
}

// global NAME: TYPE;  (thread and eternal alike)
NodePtr Parser::store_declaration() {
  NodePtr node = make_node(NodeKind::Store, m_token.at);
  node->op = m_token.kind;
  advance();
  if (!check(TokenKind::Name)) {
    error_here("expected the variable's name");
    return nullptr;
  }
  node->text = std::string(m_token.lexeme);
  advance();
  if (!expect(TokenKind::Colon, "and a type after the name (global score: int;)")) return nullptr;
  if (!type(node->declared)) return nullptr;
  if (check(TokenKind::Assign)) {
    error_here("a " + std::string(token_text(node->op)) +
               " variable starts as 0, 0.0 or \"\"; give it a value in a function");
    return nullptr;
  }
  expect(TokenKind::Semicolon, "after the declaration");
  return node;
}

// (name: type, ...); natives also allow "name?: type" and a final "...".
bool Parser::parameters(Node& owner, bool natives) {
  if (!expect(TokenKind::LeftParen, "before the parameters")) return false;
  bool optional_seen = false;
  if (!check(TokenKind::RightParen)) {
    do {
      if (natives && accept(TokenKind::Ellipsis)) {
        owner.flag = true;
        break;
      }
      if (!check(TokenKind::Name)) {
        error_here("expected a parameter name");
        return false;
      }
      NodePtr param = make_node(NodeKind::Param, m_token.at);
      param->text = std::string(m_token.lexeme);
      advance();
      if (natives && accept(TokenKind::Question)) {
        param->flag = true;
        optional_seen = true;
      } else if (optional_seen) {
        error_at(param->at, "a required parameter cannot follow an optional one");
        return false;
      }
      if (!expect(TokenKind::Colon, "and a type after the parameter name (n: int)")) return false;
      if (!type(param->declared)) return false;
      owner.kids.push_back(std::move(param));
    } while (accept(TokenKind::Comma));
  }
  return expect(TokenKind::RightParen, "after the parameters");
}

NodePtr Parser::function_declaration() {
  NodePtr node = make_node(NodeKind::FunctionDecl, m_token.at);
  advance();
  if (!check(TokenKind::Name)) {
    error_here("expected the function's name");
    return nullptr;
  }
  node->text = std::string(m_token.lexeme);
  advance();
  if (!parameters(*node, false)) return nullptr;
  if (accept(TokenKind::Colon) && !type(node->declared)) return nullptr;
  if (!check(TokenKind::LeftBrace)) {
    error_here("expected '{' to start the function's body");
    return nullptr;
  }
  NodePtr body = block();
  node->kids.push_back(std::move(body));
  return node;
}

// native NAME(params): type = KEY;
NodePtr Parser::native_declaration() {
  NodePtr node = make_node(NodeKind::NativeDecl, m_token.at);
  advance();
  if (!check(TokenKind::Name)) {
    error_here("expected the system call's name");
    return nullptr;
  }
  node->text = std::string(m_token.lexeme);
  advance();
  if (!parameters(*node, true)) return nullptr;
  node->declared = Type::Void;
  if (accept(TokenKind::Colon) && !type(node->declared)) return nullptr;
  if (!expect(TokenKind::Assign, "and the system call's key (native f(): int = 0x12345678;)")) return nullptr;
  if (!check(TokenKind::Int)) {
    error_here("expected the system call's key");
    return nullptr;
  }
  node->integer = m_token.integer;
  advance();
  expect(TokenKind::Semicolon, "after the declaration");
  return node;
}

// event NAME(params) [= KEY];
NodePtr Parser::event_declaration() {
  NodePtr node = make_node(NodeKind::EventDecl, m_token.at);
  advance();
  if (!check(TokenKind::Name)) {
    error_here("expected the event's name");
    return nullptr;
  }
  node->text = std::string(m_token.lexeme);
  advance();
  if (!parameters(*node, false)) return nullptr;
  if (accept(TokenKind::Assign)) {
    if (!check(TokenKind::Int)) {
      error_here("expected the event's key");
      return nullptr;
    }
    node->integer = m_token.integer;
    node->flag = true;
    advance();
  }
  expect(TokenKind::Semicolon, "after the declaration");
  return node;
}

// ---- statements

NodePtr Parser::block() {
  NodePtr node = make_node(NodeKind::Block, m_token.at);
  expect(TokenKind::LeftBrace, "to start a block");
  while (!check(TokenKind::RightBrace) && !check(TokenKind::End) && !m_diagnostics.too_many()) {
    NodePtr child = statement();
    if (m_panic) skip_statement();
    if (child) node->kids.push_back(std::move(child));
  }
  expect(TokenKind::RightBrace, "to close the block");
  return node;
}

NodePtr Parser::statement() {
  Nest nest(*this);
  if (nesting_error(nest)) return nullptr;
  Position at = m_token.at;
  switch (m_token.kind) {
    case TokenKind::LeftBrace: return block();
    case TokenKind::Var: {
      NodePtr node = variable();
      if (node) expect(TokenKind::Semicolon, "after the declaration");
      return node;
    }
    case TokenKind::Const: return constant();
    case TokenKind::If: return if_statement();
    case TokenKind::While: {
      advance();
      NodePtr node = make_node(NodeKind::While, at);
      if (!expect(TokenKind::LeftParen, "after 'while'")) return nullptr;
      node->kids.push_back(expression());
      if (!expect(TokenKind::RightParen, "after the condition")) return nullptr;
      node->kids.push_back(statement());
      return node->kids.back() ? std::move(node) : nullptr;
    }
    case TokenKind::Do: {
      advance();
      NodePtr node = make_node(NodeKind::DoWhile, at);
      node->kids.push_back(statement());
      if (!node->kids.back()) return nullptr;
      if (!expect(TokenKind::While, "after the body of 'do'")) return nullptr;
      if (!expect(TokenKind::LeftParen, "after 'while'")) return nullptr;
      node->kids.push_back(expression());
      if (!expect(TokenKind::RightParen, "after the condition")) return nullptr;
      expect(TokenKind::Semicolon, "after 'do ... while (...)'");
      return node;
    }
    case TokenKind::For: return for_statement();
    case TokenKind::Switch: return switch_statement();
    case TokenKind::Break: case TokenKind::Continue: {
      NodePtr node = make_node(check(TokenKind::Break) ? NodeKind::Break : NodeKind::Continue, at);
      advance();
      expect(TokenKind::Semicolon, node->kind == NodeKind::Break ? "after 'break'" : "after 'continue'");
      return node;
    }
    case TokenKind::Return: {
      advance();
      NodePtr node = make_node(NodeKind::Return, at);
      if (!check(TokenKind::Semicolon)) node->kids.push_back(expression());
      expect(TokenKind::Semicolon, "after the return");
      return node;
    }
    case TokenKind::Until: return until_click();
    case TokenKind::Finally: {
      advance();
      NodePtr node = make_node(NodeKind::Finally, at);
      if (!check(TokenKind::LeftBrace)) {
        error_here("expected '{' after 'finally'");
        return nullptr;
      }
      node->kids.push_back(block());
      return node;
    }
    case TokenKind::Story: {
      Token token = std::move(m_token);
      advance();
      return story(std::move(token));
    }
    case TokenKind::Semicolon: advance(); return make_node(NodeKind::Empty, at);
    case TokenKind::Function: case TokenKind::Global: case TokenKind::Thread: case TokenKind::Eternal:
    case TokenKind::Import: case TokenKind::Native: case TokenKind::Event:
      error_here("declarations of this kind belong outside functions");
      return nullptr;
    default: {
      NodePtr node = make_node(NodeKind::ExpressionStatement, at);
      node->kids.push_back(expression());
      expect(TokenKind::Semicolon, "after the statement");
      return node;
    }
  }
}

// var NAME [: TYPE] [= VALUE]   (the caller takes the ';')
NodePtr Parser::variable() {
  NodePtr node = make_node(NodeKind::Var, m_token.at);
  advance();
  if (!check(TokenKind::Name)) {
    error_here("expected the variable's name");
    return nullptr;
  }
  node->text = std::string(m_token.lexeme);
  node->at = m_token.at;
  advance();
  if (accept(TokenKind::Colon) && !type(node->declared)) return nullptr;
  if (accept(TokenKind::Assign)) node->kids.push_back(expression());
  if (node->declared == Type::Void && node->kids.empty()) {
    error_at(node->at, "'" + node->text + "' needs a type or a value (var n: int; or var n = 0;)");
    return nullptr;
  }
  return node;
}

// const NAME [: TYPE] = VALUE;
NodePtr Parser::constant() {
  advance();
  NodePtr node = make_node(NodeKind::Const, m_token.at);
  if (!check(TokenKind::Name)) {
    error_here("expected the constant's name");
    return nullptr;
  }
  node->text = std::string(m_token.lexeme);
  advance();
  if (accept(TokenKind::Colon) && !type(node->declared)) return nullptr;
  if (!expect(TokenKind::Assign, "and a value for the constant")) return nullptr;
  node->kids.push_back(expression());
  expect(TokenKind::Semicolon, "after the constant");
  return node;
}

NodePtr Parser::if_statement() {
  NodePtr node = make_node(NodeKind::If, m_token.at);
  advance();
  if (!expect(TokenKind::LeftParen, "after 'if'")) return nullptr;
  node->kids.push_back(expression());
  if (!expect(TokenKind::RightParen, "after the condition")) return nullptr;
  node->kids.push_back(statement());
  if (!node->kids.back()) return nullptr;
  if (accept(TokenKind::Else)) {
    node->kids.push_back(statement());
    if (!node->kids.back()) return nullptr;
  }
  return node;
}

NodePtr Parser::for_statement() {
  NodePtr node = make_node(NodeKind::For, m_token.at);
  advance();
  if (!expect(TokenKind::LeftParen, "after 'for'")) return nullptr;
  if (check(TokenKind::Var)) {
    NodePtr init = variable();
    if (!init) return nullptr;
    node->kids.push_back(std::move(init));
  } else if (!check(TokenKind::Semicolon)) {
    NodePtr init = make_node(NodeKind::ExpressionStatement, m_token.at);
    init->kids.push_back(expression());
    node->kids.push_back(std::move(init));
  } else {
    node->kids.push_back(make_node(NodeKind::Empty, m_token.at));
  }
  if (!expect(TokenKind::Semicolon, "after the start of the loop")) return nullptr;
  node->kids.push_back(check(TokenKind::Semicolon) ? make_node(NodeKind::Empty, m_token.at) : expression());
  if (!expect(TokenKind::Semicolon, "after the loop's condition")) return nullptr;
  if (check(TokenKind::RightParen)) {
    node->kids.push_back(make_node(NodeKind::Empty, m_token.at));
  } else {
    NodePtr step = make_node(NodeKind::ExpressionStatement, m_token.at);
    step->kids.push_back(expression());
    node->kids.push_back(std::move(step));
  }
  if (!expect(TokenKind::RightParen, "after the loop's step")) return nullptr;
  node->kids.push_back(statement());
  return node->kids.back() ? std::move(node) : nullptr;
}

NodePtr Parser::switch_statement() {
  NodePtr node = make_node(NodeKind::Switch, m_token.at);
  advance();
  if (!expect(TokenKind::LeftParen, "after 'switch'")) return nullptr;
  node->kids.push_back(expression());
  if (!expect(TokenKind::RightParen, "after the switch's value")) return nullptr;
  if (!expect(TokenKind::LeftBrace, "to start the cases")) return nullptr;
  while (!check(TokenKind::RightBrace) && !check(TokenKind::End) && !m_diagnostics.too_many()) {
    NodePtr label = make_node(NodeKind::Case, m_token.at);
    if (accept(TokenKind::Default)) {
      label->flag = true;
    } else if (accept(TokenKind::Case)) {
      label->kids.push_back(expression());
    } else {
      error_here("expected 'case' or 'default'");
      return nullptr;
    }
    if (!expect(TokenKind::Colon, "after the case")) return nullptr;
    while (!check(TokenKind::Case) && !check(TokenKind::Default) && !check(TokenKind::RightBrace) &&
           !check(TokenKind::End) && !m_diagnostics.too_many()) {
      NodePtr child = statement();
      if (m_panic) skip_statement();
      if (child) label->kids.push_back(std::move(child));
    }
    node->kids.push_back(std::move(label));
  }
  expect(TokenKind::RightBrace, "to close the switch");
  return node;
}

// until click { ... } [on left { ... }] [on right { ... }] ...
NodePtr Parser::until_click() {
  NodePtr node = make_node(NodeKind::UntilClick, m_token.at);
  advance();
  if (!check_word("click")) {
    error_here("expected 'click' after 'until'");
    return nullptr;
  }
  advance();
  if (!check(TokenKind::LeftBrace)) {
    error_here("expected '{' after 'until click'");
    return nullptr;
  }
  node->kids.push_back(block());
  while (check_word("on")) {
    advance();
    NodePtr branch = make_node(NodeKind::ClickBranch, m_token.at);
    if (!check_word("left") && !check_word("right") && !check_word("middle") && !check_word("any")) {
      error_here("expected left, right, middle or any after 'on'");
      return nullptr;
    }
    branch->text = std::string(m_token.lexeme);
    advance();
    if (!check(TokenKind::LeftBrace)) {
      error_here("expected '{' after 'on " + branch->text + "'");
      return nullptr;
    }
    branch->kids.push_back(block());
    node->kids.push_back(std::move(branch));
  }
  return node;
}

// ---- story blocks

// A story block's text: lines of text; a blank line ends a page; ${...}
// holds an expression; a line ending in a backslash goes on with the next.
NodePtr Parser::story(Token token) {
  NodePtr node = make_node(NodeKind::Story, token.at);
  std::string_view text = token.text;
  Position at = token.at;
  at.column += 3;  // after the opening """
  Node* joining = nullptr;  // the line a backslash continues
  bool page_open = false;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    Position line_at = at;
    // Blanks and tabs around a line do not count (full-width spaces are text).
    size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t' || line[first] == '\r')) {
      ++first;
      ++line_at.column;
    }
    size_t last = line.size();
    while (last > first && (line[last - 1] == ' ' || line[last - 1] == '\t' || line[last - 1] == '\r')) --last;
    std::string_view content = line.substr(first, last - first);
    bool continued = !content.empty() && content.back() == '\\' &&
                     !(content.size() >= 2 && content[content.size() - 2] == '\\');
    if (continued) content.remove_suffix(1);
    if (content.empty() && !joining && !continued) {
      if (page_open) node->kids.push_back(make_node(NodeKind::StoryPage, line_at));
      page_open = false;
    } else {
      Node* target = joining;
      if (!target) {
        node->kids.push_back(make_node(NodeKind::StoryLine, line_at));
        target = node->kids.back().get();
      }
      story_line(*target, content, line_at);
      joining = continued ? target : nullptr;
      page_open = true;
    }
    if (end == text.size()) break;
    start = end + 1;
    ++at.line;
    at.column = 1;
  }
  return node;
}

// The pieces of one line: text, and ${expression} parsed in place.
void Parser::story_line(Node& line, std::string_view text, Position at) {
  std::string pending;
  Position pending_at = at;
  auto flush = [&] {
    if (pending.empty()) return;
    NodePtr piece = make_node(NodeKind::StoryText, pending_at);
    piece->text = std::move(pending);
    pending.clear();
    line.kids.push_back(std::move(piece));
  };
  auto step = [&](size_t& i) {
    unsigned char byte = static_cast<unsigned char>(text[i++]);
    if ((byte & 0xC0) != 0x80) ++at.column;
  };
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (pending.empty()) pending_at = at;
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '$')) {
      pending += text[i + 1];
      i += 2;
      at.column += 2;
      continue;
    }
    if (c != '$' || i + 1 >= text.size() || text[i + 1] != '{') {
      pending += c;
      step(i);
      continue;
    }
    flush();
    Position open = at;
    i += 2;
    at.column += 2;
    // The matching '}', skipping braces inside string and character literals.
    size_t close = i;
    int depth = 0;
    for (; close < text.size(); ++close) {
      char d = text[close];
      if (d == '"' || d == '\'') {
        for (++close; close < text.size() && text[close] != d; ++close) {
          if (text[close] == '\\') ++close;
        }
        if (close >= text.size()) break;
      } else if (d == '{') {
        ++depth;
      } else if (d == '}' && depth-- == 0) {
        break;
      }
    }
    if (close >= text.size()) {
      error_at(open, "'${' without its closing '}'");
      m_panic = false;  // the block is one token: nothing to skip
      return;
    }
    std::string_view inside = text.substr(i, close - i);
    Lexer* outer_lexer = m_lexer;
    Token outer_token = std::move(m_token);
    Lexer lexer(inside, at, m_diagnostics);
    m_lexer = &lexer;
    advance();
    if (check(TokenKind::End)) {
      error_at(open, "'${}' needs an expression");
    } else {
      NodePtr value = expression();
      if (!check(TokenKind::End)) error_here("expected '}' after the expression in the story text");
      if (value) line.kids.push_back(std::move(value));
    }
    m_panic = false;
    m_lexer = outer_lexer;
    m_token = std::move(outer_token);
    while (i <= close) step(i);
  }
  flush();
}

// ---- expressions

NodePtr Parser::expression() {
  Nest nest(*this);
  if (nesting_error(nest)) return error_node();
  NodePtr left = conditional();
  if (!is_assignment(m_token.kind)) return left;
  NodePtr node = make_node(NodeKind::Assign, m_token.at);
  node->op = m_token.kind;
  if (left->kind != NodeKind::Name && left->kind != NodeKind::Index) {
    error_here("only a variable or an array element can be assigned to");
    return left;
  }
  advance();
  node->kids.push_back(std::move(left));
  node->kids.push_back(expression());
  return node;
}

NodePtr Parser::conditional() {
  NodePtr condition = binary(1);
  if (!check(TokenKind::Question)) return condition;
  NodePtr node = make_node(NodeKind::Conditional, m_token.at);
  advance();
  node->kids.push_back(std::move(condition));
  node->kids.push_back(expression());
  if (!expect(TokenKind::Colon, "in 'condition ? a : b'")) return node;
  Nest nest(*this);
  if (nesting_error(nest)) return node;
  node->kids.push_back(conditional());
  return node;
}

NodePtr Parser::binary(int precedence) {
  NodePtr left = unary();
  for (;;) {
    int found = binary_precedence(m_token.kind);
    if (found < precedence || found == 0) return left;
    NodePtr node = make_node(NodeKind::Binary, m_token.at);
    node->op = m_token.kind;
    advance();
    Nest nest(*this);
    if (nesting_error(nest)) return left;
    node->kids.push_back(std::move(left));
    node->kids.push_back(binary(found + 1));
    left = std::move(node);
  }
}

NodePtr Parser::unary() {
  Nest nest(*this);
  if (nesting_error(nest)) return error_node();
  Position at = m_token.at;
  switch (m_token.kind) {
    case TokenKind::Minus: case TokenKind::Bang: case TokenKind::Tilde: {
      NodePtr node = make_node(NodeKind::Unary, at);
      node->op = m_token.kind;
      advance();
      node->kids.push_back(unary());
      return node;
    }
    case TokenKind::PlusPlus: case TokenKind::MinusMinus: {
      NodePtr node = make_node(NodeKind::PreStep, at);
      node->op = m_token.kind;
      advance();
      node->kids.push_back(unary());
      return node;
    }
    default: return postfix(primary());
  }
}

NodePtr Parser::postfix(NodePtr node) {
  for (;;) {
    Position at = m_token.at;
    if (check(TokenKind::LeftParen)) {
      if (node->kind != NodeKind::Name) {
        error_here("only a function or system call can be called");
        return node;
      }
      advance();
      NodePtr call = make_node(NodeKind::Call, node->at);
      call->kids.push_back(std::move(node));
      if (!check(TokenKind::RightParen)) {
        do {
          call->kids.push_back(expression());
        } while (accept(TokenKind::Comma));
      }
      expect(TokenKind::RightParen, "after the arguments");
      node = std::move(call);
    } else if (check(TokenKind::LeftBracket)) {
      advance();
      if (node->kind != NodeKind::Index) {
        NodePtr index = make_node(NodeKind::Index, node->at);
        index->kids.push_back(std::move(node));
        node = std::move(index);
      }
      node->kids.push_back(expression());
      expect(TokenKind::RightBracket, "after the subscript");
    } else if (check(TokenKind::PlusPlus) || check(TokenKind::MinusMinus)) {
      NodePtr step = make_node(NodeKind::PostStep, at);
      step->op = m_token.kind;
      advance();
      step->kids.push_back(std::move(node));
      node = std::move(step);
    } else {
      return node;
    }
  }
}

NodePtr Parser::primary() {
  Position at = m_token.at;
  switch (m_token.kind) {
    case TokenKind::Int: {
      NodePtr node = make_node(NodeKind::IntLiteral, at);
      node->integer = m_token.integer;
      advance();
      return node;
    }
    case TokenKind::Float: {
      NodePtr node = make_node(NodeKind::FloatLiteral, at);
      node->real = m_token.real;
      advance();
      return node;
    }
    case TokenKind::String: {
      NodePtr node = make_node(NodeKind::StringLiteral, at);
      node->text = m_token.text;
      advance();
      return node;
    }
    case TokenKind::True: case TokenKind::False: {
      NodePtr node = make_node(NodeKind::IntLiteral, at);
      node->integer = check(TokenKind::True) ? 1 : 0;
      advance();
      return node;
    }
    case TokenKind::Name: {
      NodePtr node = make_node(NodeKind::Name, at);
      node->text = std::string(m_token.lexeme);
      advance();
      return node;
    }
    case TokenKind::LeftParen: {
      advance();
      NodePtr node = expression();
      expect(TokenKind::RightParen, "to close the parenthesis");
      return node;
    }
    case TokenKind::IntType: case TokenKind::FloatType: case TokenKind::StringType: {
      NodePtr node = make_node(NodeKind::Cast, at);
      node->declared = check(TokenKind::IntType) ? Type::Int : check(TokenKind::FloatType) ? Type::Float : Type::String;
      advance();
      if (!expect(TokenKind::LeftParen, "after the type (int(x) converts x)")) return node;
      node->kids.push_back(expression());
      expect(TokenKind::RightParen, "after the value");
      return node;
    }
    case TokenKind::LeftBracket: {
      advance();
      NodePtr node = make_node(NodeKind::ArrayLiteral, at);
      if (check(TokenKind::RightBracket)) {
        error_here("an array literal holds at least one element (new int[n] makes an empty-looking one)");
        return node;
      }
      do {
        if (check(TokenKind::RightBracket)) break;  // a trailing comma
        node->kids.push_back(expression());
      } while (accept(TokenKind::Comma));
      expect(TokenKind::RightBracket, "after the array's elements");
      return node;
    }
    case TokenKind::New: {
      advance();
      NodePtr node = make_node(NodeKind::NewArray, at);
      switch (m_token.kind) {
        case TokenKind::IntType: node->declared = Type::Int; break;
        case TokenKind::FloatType: node->declared = Type::Float; break;
        case TokenKind::StringType: node->declared = Type::String; break;
        default: error_here("expected int, float or string after 'new'"); return node;
      }
      advance();
      while (accept(TokenKind::LeftBracket)) {
        node->kids.push_back(expression());
        if (!expect(TokenKind::RightBracket, "after the size")) return node;
      }
      if (node->kids.empty() || node->kids.size() > 3) {
        error_at(at, "an array has one to three sizes (new int[10], new int[4][8])");
      }
      return node;
    }
    case TokenKind::Spawn: {
      advance();
      NodePtr node = make_node(NodeKind::Spawn, at);
      if (check_word("child")) {
        node->flag = true;
        advance();
      }
      if (!check(TokenKind::Name)) {
        error_here("expected a function call after 'spawn'");
        return node;
      }
      NodePtr call = postfix(primary());
      if (call->kind != NodeKind::Call) {
        error_at(call->at, "'spawn' starts a function call: spawn f(x)");
        return node;
      }
      node->kids.push_back(std::move(call));
      return node;
    }
    default:
      error_here("expected a value");
      if (!check(TokenKind::End) && !check(TokenKind::RightBrace) && !check(TokenKind::Semicolon)) advance();
      return error_node();
  }
}

}  // namespace

Module parse_file(const Sources& sources, uint32_t file, Diagnostics& diagnostics) {
  Parser parser(sources, file, diagnostics);
  return parser.parse();
}

}  // namespace tavelo::tools::tvc
