// Parsing system-call signatures.

#include "script/syscall_signature.h"

#include <algorithm>
#include <array>

namespace tavelo::script {
namespace {

struct KindWord {
  std::string_view word;
  SignatureKinds kinds;
};

constexpr std::array<KindWord, 8> kKindWords = {{
    {"int", signature_bit(SignatureKind::Int)},
    {"float", signature_bit(SignatureKind::Float)},
    {"str", signature_bit(SignatureKind::String)},
    {"int[]", signature_bit(SignatureKind::IntArray)},
    {"float[]", signature_bit(SignatureKind::FloatArray)},
    {"str[]", signature_bit(SignatureKind::StringArray)},
    {"func", signature_bit(SignatureKind::Function)},
    {"any", kAnyValue},
}};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// "int|str" → bits; 0 when a word is not a kind.
SignatureKinds parse_kinds(std::string_view text) {
  SignatureKinds kinds = 0;
  while (true) {
    size_t bar = text.find('|');
    std::string_view word = text.substr(0, bar);
    auto found = std::find_if(kKindWords.begin(), kKindWords.end(), [&](const KindWord& k) { return k.word == word; });
    if (found == kKindWords.end()) return 0;
    kinds |= found->kinds;
    if (bar == std::string_view::npos) return kinds;
    text.remove_prefix(bar + 1);
  }
}

bool is_name(std::string_view text) {
  if (text.empty() || text.front() < 'a' || text.front() > 'z') return false;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; });
}

class Parser {
 public:
  explicit Parser(std::string* error) : m_error(error) {}

  std::optional<SyscallSignature> parse(std::string_view text) {
    size_t arrow = text.find("->");
    if (arrow == std::string_view::npos) {
      fail("no \"->\" before the result");
      return std::nullopt;
    }
    if (!parse_arguments(text.substr(0, arrow)) || !parse_result(text.substr(arrow + 2))) return std::nullopt;
    return std::move(m_signature);
  }

 private:
  bool fail(std::string message) {
    if (m_error) *m_error = std::move(message);
    return false;
  }

  // Splits at ',', '[' and ']'; the pieces between are arguments.
  bool parse_arguments(std::string_view text) {
    enum class After { Start, Argument, Comma, Open, Close } after = After::Start;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      char c = i < text.size() ? text[i] : '\0';
      if (c == '[' && i + 1 < text.size() && text[i + 1] == ']') {  // an array kind, "int[]"
        ++i;
        continue;
      }
      if (c != ',' && c != '[' && c != ']' && c != '\0') continue;
      std::string_view piece = trim(text.substr(start, i - start));
      start = i + 1;
      if (!piece.empty()) {
        if (after == After::Argument || after == After::Close) return fail("',' missing before \"" + std::string(piece) + "\"");
        if (after == After::Open && !m_signature.arguments.empty()) return fail("'[' after an argument must be followed by ','");
        if (m_signature.repeats) return fail("an argument follows the repeating one");
        if (!parse_argument(piece, depth)) return false;
        after = After::Argument;
      } else if (after == After::Comma || (after == After::Open && c != ',')) {
        return fail("an argument is missing");
      }
      if (c == ',') {
        if (after == After::Start || after == After::Close) return fail("',' without an argument before it");
        if (after == After::Open && m_signature.arguments.empty()) return fail("'[' at the start is not followed by ','");
        after = After::Comma;
      } else if (c == '[') {
        if (after == After::Close) return fail("a group after a closed group");
        if (m_signature.repeats) return fail("a group after the repeating argument");
        m_signature.counts.push_back(int(m_signature.arguments.size()));
        ++depth;
        after = After::Open;
      } else if (c == ']') {
        if (depth == 0) return fail("']' without '['");
        --depth;
        after = After::Close;
      }
    }
    if (depth != 0) return fail("'[' without ']'");
    m_signature.counts.push_back(int(m_signature.arguments.size()) - (m_signature.repeats ? 1 : 0));
    m_signature.counts.erase(std::unique(m_signature.counts.begin(), m_signature.counts.end()),
                             m_signature.counts.end());
    return true;
  }

  // "kind name", "kind name = default" (in a group only) or "kind name..."
  // (the last argument, outside groups).
  bool parse_argument(std::string_view piece, int depth) {
    SyscallArgument argument;
    argument.group = depth;
    size_t equals = piece.find('=');
    if (equals != std::string_view::npos) {
      argument.default_value = trim(piece.substr(equals + 1));
      piece = trim(piece.substr(0, equals));
      if (argument.default_value.empty() || std::any_of(argument.default_value.begin(), argument.default_value.end(), is_blank)) {
        return fail("the default of \"" + std::string(piece) + "\" is not one word");
      }
      if (depth == 0) return fail("\"" + std::string(piece) + "\" has a default but is not optional");
    }
    size_t blank = piece.find(' ');
    if (blank == std::string_view::npos) return fail("\"" + std::string(piece) + "\" is not \"kind name\"");
    argument.kinds = parse_kinds(piece.substr(0, blank));
    if (argument.kinds == 0) return fail("unknown kind in \"" + std::string(piece) + "\"");
    argument.name = trim(piece.substr(blank + 1));
    if (argument.name.size() > 3 && argument.name.substr(argument.name.size() - 3) == "...") {
      argument.name.remove_suffix(3);
      argument.repeats = true;
      if (depth != 0 || !argument.default_value.empty()) return fail("a repeating argument in a group or with a default");
      m_signature.repeats = true;
    }
    if (!is_name(argument.name)) return fail("\"" + std::string(argument.name) + "\" is not a lower_snake name");
    for (const SyscallArgument& other : m_signature.arguments) {
      if (other.name == argument.name) return fail("two arguments are named \"" + std::string(argument.name) + "\"");
    }
    m_signature.arguments.push_back(argument);
    return true;
  }

  // "kind note..." or "none note...".
  bool parse_result(std::string_view text) {
    text = trim(text);
    size_t end = 0;
    while (end < text.size() && !is_blank(text[end]) && text[end] != ';') ++end;
    std::string_view word = text.substr(0, end);
    if (word.empty()) return fail("the result has no kind");
    if (word != "none") {
      m_signature.result = parse_kinds(word);
      if (m_signature.result == 0) return fail("unknown result kind \"" + std::string(word) + "\"");
    }
    m_signature.result_note = trim(text.substr(end));
    return true;
  }

  std::string* m_error;
  SyscallSignature m_signature;
};

}  // namespace

bool SyscallSignature::accepts(int count) const {
  if (repeats) return count >= counts.front();
  return std::find(counts.begin(), counts.end(), count) != counts.end();
}

std::optional<SyscallSignature> parse_syscall_signature(std::string_view text, std::string* error) {
  return Parser(error).parse(text);
}

std::string signature_kind_text(SignatureKinds kinds) {
  if (kinds == 0) return "none";
  std::string text;
  if ((kinds & kAnyValue) == kAnyValue) {
    text = "any";
    kinds &= SignatureKinds(~kAnyValue);
  }
  for (const KindWord& word : kKindWords) {
    if (word.kinds != kAnyValue && (kinds & word.kinds) != 0) text += (text.empty() ? "" : "|") + std::string(word.word);
  }
  return text;
}

}  // namespace tavelo::script
