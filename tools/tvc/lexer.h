#pragma once
// The tvc lexer: source text (UTF-8) to tokens, one at a time, for the
// recursive-descent parser. Story blocks ("""...""") come out as one token
// holding their raw text; the parser splits them into lines and reads the
// ${...} parts with a lexer started inside the block.

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/tvc/diagnostics.h"

namespace tavelo::tools::tvc {

#define TVC_TOKENS(X)                                                                        \
  X(End, "end of file")                                                                      \
  X(Error, "bad token")                                                                      \
  X(Name, "name")                                                                            \
  X(Int, "integer")                                                                          \
  X(Float, "float")                                                                          \
  X(String, "string")                                                                        \
  X(Story, "story block")                                                                    \
  /* keywords */                                                                             \
  X(Import, "import") X(Const, "const") X(Global, "global") X(Thread, "thread")             \
  X(Eternal, "eternal") X(Function, "function") X(Native, "native") X(Event, "event")       \
  X(Var, "var") X(If, "if") X(Else, "else") X(While, "while") X(Do, "do") X(For, "for")      \
  X(Switch, "switch") X(Case, "case") X(Default, "default") X(Break, "break")               \
  X(Continue, "continue") X(Return, "return") X(Until, "until") X(Finally, "finally")       \
  X(Spawn, "spawn") X(New, "new") X(True, "true") X(False, "false") X(IntType, "int")        \
  X(FloatType, "float") X(StringType, "string")                                             \
  /* punctuation */                                                                          \
  X(LeftParen, "(") X(RightParen, ")") X(LeftBrace, "{") X(RightBrace, "}")                 \
  X(LeftBracket, "[") X(RightBracket, "]") X(Semicolon, ";") X(Comma, ",") X(Colon, ":")     \
  X(Question, "?") X(Ellipsis, "...") X(Dot, ".")                                            \
  X(Plus, "+") X(Minus, "-") X(Star, "*") X(Slash, "/") X(Percent, "%")                      \
  X(ShiftLeft, "<<") X(ShiftRight, ">>") X(Less, "<") X(LessEqual, "<=") X(Greater, ">")     \
  X(GreaterEqual, ">=") X(EqualEqual, "==") X(NotEqual, "!=") X(Ampersand, "&")              \
  X(Caret, "^") X(Pipe, "|") X(AndAnd, "&&") X(OrOr, "||") X(Bang, "!") X(Tilde, "~")        \
  X(PlusPlus, "++") X(MinusMinus, "--") X(Assign, "=") X(PlusAssign, "+=")                   \
  X(MinusAssign, "-=") X(StarAssign, "*=") X(SlashAssign, "/=") X(PercentAssign, "%=")       \
  X(ShiftLeftAssign, "<<=") X(ShiftRightAssign, ">>=") X(AndAssign, "&=") X(XorAssign, "^=") \
  X(OrAssign, "|=")

enum class TokenKind : uint8_t {
#define TVC_TOKEN(name, text) name,
  TVC_TOKENS(TVC_TOKEN)
#undef TVC_TOKEN
};

// How a token kind is written, for messages ("expected ';'").
std::string_view token_text(TokenKind kind);

struct Token {
  TokenKind kind = TokenKind::End;
  Position at;
  std::string_view lexeme;  // the token as written (a view into the source)
  int32_t integer = 0;      // Int (wrapped to 32 bits)
  double real = 0;          // Float
  std::string text;         // String: the unescaped UTF-8 text; Story: the raw inside
};

class Lexer {
 public:
  // text must outlive the lexer; start gives the file and where text begins
  // in it (a story block's ${...} is lexed in place).
  Lexer(std::string_view text, Position start, Diagnostics& diagnostics);

  Token next();

 private:
  char peek(size_t ahead = 0) const { return m_at + ahead < m_text.size() ? m_text[m_at + ahead] : '\0'; }
  void advance(size_t count = 1);
  void skip_space_and_comments();
  Token number(Token token);
  Token string_literal(Token token);
  Token character_literal(Token token);
  Token story(Token token);
  Token finish(Token token, TokenKind kind);
  // One escape after a backslash (at m_at); appends its bytes.
  bool escape(std::string& out, char quote);

  std::string_view m_text;
  size_t m_at = 0;
  Position m_position;
  Diagnostics& m_diagnostics;
};

}  // namespace tavelo::tools::tvc
