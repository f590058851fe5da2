// The tvc lexer.

#include "tools/tvc/lexer.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace tavelo::tools::tvc {
namespace {

constexpr std::array<std::string_view, size_t(TokenKind::OrAssign) + 1> kTokenTexts = {
#define TVC_TOKEN(name, text) text,
    TVC_TOKENS(TVC_TOKEN)
#undef TVC_TOKEN
};

// A keyword or operator and its token.
struct Spelling {
  std::string_view text;
  TokenKind kind;
};

constexpr std::array kKeywords = {
    Spelling{"import", TokenKind::Import},     Spelling{"const", TokenKind::Const},
    Spelling{"global", TokenKind::Global},     Spelling{"thread", TokenKind::Thread},
    Spelling{"eternal", TokenKind::Eternal},   Spelling{"function", TokenKind::Function},
    Spelling{"native", TokenKind::Native},     Spelling{"event", TokenKind::Event},
    Spelling{"var", TokenKind::Var},           Spelling{"if", TokenKind::If},
    Spelling{"else", TokenKind::Else},         Spelling{"while", TokenKind::While},
    Spelling{"do", TokenKind::Do},             Spelling{"for", TokenKind::For},
    Spelling{"switch", TokenKind::Switch},     Spelling{"case", TokenKind::Case},
    Spelling{"default", TokenKind::Default},   Spelling{"break", TokenKind::Break},
    Spelling{"continue", TokenKind::Continue}, Spelling{"return", TokenKind::Return},
    Spelling{"until", TokenKind::Until},       Spelling{"finally", TokenKind::Finally},
    Spelling{"spawn", TokenKind::Spawn},       Spelling{"new", TokenKind::New},
    Spelling{"true", TokenKind::True},         Spelling{"false", TokenKind::False},
    Spelling{"int", TokenKind::IntType},       Spelling{"float", TokenKind::FloatType},
    Spelling{"string", TokenKind::StringType},
};

// Operators, longest first so that "<<=" wins over "<<" and "<".
constexpr std::array kOperators = {
    Spelling{"...", TokenKind::Ellipsis},       Spelling{"<<=", TokenKind::ShiftLeftAssign},
    Spelling{">>=", TokenKind::ShiftRightAssign}, Spelling{"<<", TokenKind::ShiftLeft},
    Spelling{">>", TokenKind::ShiftRight},      Spelling{"<=", TokenKind::LessEqual},
    Spelling{">=", TokenKind::GreaterEqual},    Spelling{"==", TokenKind::EqualEqual},
    Spelling{"!=", TokenKind::NotEqual},        Spelling{"&&", TokenKind::AndAnd},
    Spelling{"||", TokenKind::OrOr},            Spelling{"++", TokenKind::PlusPlus},
    Spelling{"--", TokenKind::MinusMinus},      Spelling{"+=", TokenKind::PlusAssign},
    Spelling{"-=", TokenKind::MinusAssign},     Spelling{"*=", TokenKind::StarAssign},
    Spelling{"/=", TokenKind::SlashAssign},     Spelling{"%=", TokenKind::PercentAssign},
    Spelling{"&=", TokenKind::AndAssign},       Spelling{"^=", TokenKind::XorAssign},
    Spelling{"|=", TokenKind::OrAssign},        Spelling{"(", TokenKind::LeftParen},
    Spelling{")", TokenKind::RightParen},       Spelling{"{", TokenKind::LeftBrace},
    Spelling{"}", TokenKind::RightBrace},       Spelling{"[", TokenKind::LeftBracket},
    Spelling{"]", TokenKind::RightBracket},     Spelling{";", TokenKind::Semicolon},
    Spelling{",", TokenKind::Comma},            Spelling{":", TokenKind::Colon},
    Spelling{"?", TokenKind::Question},         Spelling{".", TokenKind::Dot},
    Spelling{"+", TokenKind::Plus},             Spelling{"-", TokenKind::Minus},
    Spelling{"*", TokenKind::Star},             Spelling{"/", TokenKind::Slash},
    Spelling{"%", TokenKind::Percent},          Spelling{"<", TokenKind::Less},
    Spelling{">", TokenKind::Greater},          Spelling{"&", TokenKind::Ampersand},
    Spelling{"^", TokenKind::Caret},            Spelling{"|", TokenKind::Pipe},
    Spelling{"!", TokenKind::Bang},             Spelling{"~", TokenKind::Tilde},
    Spelling{"=", TokenKind::Assign},
};

bool is_name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hex_value(char c) { return is_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

std::string_view token_text(TokenKind kind) { return kTokenTexts[size_t(kind)]; }

Lexer::Lexer(std::string_view text, Position start, Diagnostics& diagnostics)
    : m_text(text), m_position(start), m_diagnostics(diagnostics) {}

void Lexer::advance(size_t count) {
  for (size_t i = 0; i < count && m_at < m_text.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(m_text[m_at++]);
    if (byte == '\n') {
      ++m_position.line;
      m_position.column = 1;
    } else if ((byte & 0xC0) != 0x80) {
      ++m_position.column;
    }
  }
}

void Lexer::skip_space_and_comments() {
  for (;;) {
    char c = peek();
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      advance();
    } else if (c == '/' && peek(1) == '/') {
      while (m_at < m_text.size() && peek() != '\n') advance();
    } else if (c == '/' && peek(1) == '*') {
      Position start = m_position;
      advance(2);
      while (m_at < m_text.size() && !(peek() == '*' && peek(1) == '/')) advance();
      if (m_at >= m_text.size()) {
        m_diagnostics.error(start, "unterminated comment");
        return;
      }
      advance(2);
    } else {
      return;
    }
  }
}

Token Lexer::finish(Token token, TokenKind kind) {
  token.kind = kind;
  return token;
}

Token Lexer::next() {
  skip_space_and_comments();
  Token token;
  token.at = m_position;
  size_t start = m_at;
  if (m_at >= m_text.size()) return finish(token, TokenKind::End);
  char c = peek();
  if (is_name_start(c)) {
    while (is_name_start(peek()) || is_digit(peek())) advance();
    token.lexeme = m_text.substr(start, m_at - start);
    for (const Spelling& keyword : kKeywords) {
      if (keyword.text == token.lexeme) return finish(token, keyword.kind);
    }
    return finish(token, TokenKind::Name);
  }
  if (is_digit(c) || (c == '.' && is_digit(peek(1)))) return number(token);
  if (c == '"') {
    if (peek(1) == '"' && peek(2) == '"') return story(token);
    return string_literal(token);
  }
  if (c == '\'') return character_literal(token);
  for (const Spelling& op : kOperators) {
    if (m_text.substr(m_at, op.text.size()) == op.text) {
      advance(op.text.size());
      token.lexeme = m_text.substr(start, op.text.size());
      return finish(token, op.kind);
    }
  }
  // One character (all bytes of a UTF-8 sequence) that starts no token.
  advance();
  while (m_at < m_text.size() && (static_cast<unsigned char>(peek()) & 0xC0) == 0x80) ++m_at;
  token.lexeme = m_text.substr(start, m_at - start);
  m_diagnostics.error(token.at, "unexpected character '" + std::string(token.lexeme) + "'");
  return finish(token, TokenKind::Error);
}

Token Lexer::number(Token token) {
  size_t start = m_at;
  bool is_float = false;
  uint64_t value = 0;
  bool overflow = false;
  auto accumulate = [&](uint64_t base, int digit) {
    value = value * base + uint64_t(digit);
    if (value > 0xFFFFFFFFull) overflow = true;
  };
  if (peek() == '0' && (peek(1) == 'x' || peek(1) == 'X') && is_hex_digit(peek(2))) {
    advance(2);
    while (is_hex_digit(peek()) || peek() == '_') {
      if (peek() != '_') accumulate(16, hex_value(peek()));
      advance();
    }
  } else if (peek() == '0' && (peek(1) == 'b' || peek(1) == 'B') && (peek(2) == '0' || peek(2) == '1')) {
    advance(2);
    while (peek() == '0' || peek() == '1' || peek() == '_') {
      if (peek() != '_') accumulate(2, peek() - '0');
      advance();
    }
  } else {
    while (is_digit(peek()) || peek() == '_') {
      if (peek() != '_') accumulate(10, peek() - '0');
      advance();
    }
    if (peek() == '.' && is_digit(peek(1))) {
      is_float = true;
      advance();
      while (is_digit(peek())) advance();
    }
    if ((peek() == 'e' || peek() == 'E') &&
        (is_digit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && is_digit(peek(2))))) {
      is_float = true;
      advance(2);
      while (is_digit(peek())) advance();
    }
  }
  token.lexeme = m_text.substr(start, m_at - start);
  if (is_name_start(peek()) || is_digit(peek())) {
    while (is_name_start(peek()) || is_digit(peek())) advance();
    token.lexeme = m_text.substr(start, m_at - start);
    m_diagnostics.error(token.at, "malformed number '" + std::string(token.lexeme) + "'");
    return finish(token, TokenKind::Error);
  }
  if (is_float) {
    std::string digits;
    for (char d : token.lexeme) {
      if (d != '_') digits += d;
    }
    token.real = std::strtod(digits.c_str(), nullptr);
    return finish(token, TokenKind::Float);
  }
  if (overflow) {
    m_diagnostics.error(token.at, "integer " + std::string(token.lexeme) + " does not fit in 32 bits");
    return finish(token, TokenKind::Error);
  }
  // Values up to 0xFFFFFFFF wrap, so that 0xFFFFFFFF reads as -1.
  token.integer = int32_t(uint32_t(value));
  return finish(token, TokenKind::Int);
}

bool Lexer::escape(std::string& out, char quote) {
  Position at = m_position;
  advance();  // the backslash
  char c = peek();
  switch (c) {
    case 'n': out += '\n'; break;
    case 'r': out += '\r'; break;
    case 't': out += '\t'; break;
    case '0': out += '\0'; break;
    case '\\': out += '\\'; break;
    case '"': out += '"'; break;
    case '\'': out += '\''; break;
    case 'x':
      // Text is converted to the game's code page, so escapes stay ASCII.
      if (is_hex_digit(peek(1)) && is_hex_digit(peek(2)) && hex_value(peek(1)) < 8) {
        out += char(hex_value(peek(1)) * 16 + hex_value(peek(2)));
        advance(3);
        return true;
      }
      m_diagnostics.error(at, "\\x needs two hexadecimal digits from 00 to 7F");
      advance();
      return false;
    default:
      m_diagnostics.error(at, std::string("unknown escape in a ") + (quote == '"' ? "string" : "character") +
                                  " literal");
      if (c != '\n' && c != '\0') advance();
      return false;
  }
  advance();
  return true;
}

Token Lexer::string_literal(Token token) {
  size_t start = m_at;
  advance();
  bool ok = true;
  while (m_at < m_text.size() && peek() != '"' && peek() != '\n') {
    if (peek() == '\\') {
      ok = escape(token.text, '"') && ok;
      continue;
    }
    token.text += peek();
    advance();
  }
  if (peek() != '"') {
    m_diagnostics.error(token.at, "unterminated string literal");
    token.lexeme = m_text.substr(start, m_at - start);
    return finish(token, TokenKind::Error);
  }
  advance();
  token.lexeme = m_text.substr(start, m_at - start);
  return finish(token, ok ? TokenKind::String : TokenKind::Error);
}

// 'a' is the int 97: a character literal holds one ASCII character or escape.
Token Lexer::character_literal(Token token) {
  size_t start = m_at;
  advance();
  std::string value;
  bool ok = true;
  if (peek() == '\\') {
    ok = escape(value, '\'');
  } else if (peek() != '\'' && peek() != '\n' && m_at < m_text.size()) {
    value += peek();
    advance();
  }
  if (peek() != '\'' || !ok || value.size() != 1 || static_cast<unsigned char>(value[0]) > 0x7F) {
    while (m_at < m_text.size() && peek() != '\'' && peek() != '\n') advance();
    if (peek() == '\'') advance();
    token.lexeme = m_text.substr(start, m_at - start);
    if (ok) m_diagnostics.error(token.at, "a character literal holds one ASCII character, such as '1' or '\\n'");
    return finish(token, TokenKind::Error);
  }
  advance();
  token.lexeme = m_text.substr(start, m_at - start);
  token.integer = static_cast<unsigned char>(value[0]);
  return finish(token, TokenKind::Int);
}

// """ ... """: everything up to the next """ is the block's text.
Token Lexer::story(Token token) {
  size_t start = m_at;
  advance(3);
  size_t end = m_text.find("\"\"\"", m_at);
  if (end == std::string_view::npos) {
    m_diagnostics.error(token.at, "unterminated story block (no closing \"\"\")");
    advance(m_text.size() - m_at);
    token.lexeme = m_text.substr(start);
    return finish(token, TokenKind::Error);
  }
  token.text = std::string(m_text.substr(m_at, end - m_at));
  advance(end + 3 - m_at);
  token.lexeme = m_text.substr(start, m_at - start);
  return finish(token, TokenKind::Story);
}

}  // namespace tavelo::tools::tvc
