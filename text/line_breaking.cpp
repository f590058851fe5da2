// Line breaking for the message window.

#include "text/line_breaking.h"

#include <algorithm>
#include <vector>

#include "platform/text_encoding.h"

namespace tavelo::text {
namespace {

// The built-in tables. The middle dot of the line-start table is the
// full-width katakana middle dot, the one Japanese code pages have.
constexpr std::string_view kNotAtStartUtf8 =
    "ー、。，．」』）？！ぁぃぅぇぉっゃゅょゎァィゥェォャュョヮヵヶ゛゜ゝゞヽヾヾ・…：；‐】〕］｝〉》";
constexpr std::string_view kNotAtEndUtf8 = "「『（【‘“〔［｛〈《";

std::string to_game(const platform::TextEncoding& encoding, std::string_view utf8, std::string_view fallback) {
  std::optional<std::string> converted = encoding.from_utf8(utf8);
  return converted ? *converted : std::string(fallback);
}

// Converts one UTF-8 character at a time, so a character the code page lacks
// drops out alone.
std::string table_in(const platform::TextEncoding& encoding, std::string_view utf8) {
  std::string table;
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t byte = uint8_t(utf8[i]);
    const size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    if (std::optional<std::string> character = encoding.from_utf8(utf8.substr(i, length))) table += *character;
    i += length;
  }
  return resources::cut_game_text(encoding.lead_bytes(), table, kKinsokuTableLimit);
}

struct Character {
  size_t offset = 0;
  size_t length = 0;
  int32_t advance = 0;
};

}  // namespace

KinsokuTables default_kinsoku_tables(const platform::TextEncoding& encoding) {
  return {table_in(encoding, kNotAtStartUtf8), table_in(encoding, kNotAtEndUtf8)};
}

Punctuation make_punctuation(const platform::TextEncoding& encoding) {
  Punctuation defaults;
  Punctuation punctuation;
  punctuation.open_quote = to_game(encoding, "「", defaults.open_quote);
  punctuation.close_quote = to_game(encoding, "」", defaults.close_quote);
  punctuation.open_double = to_game(encoding, "『", defaults.open_double);
  punctuation.close_double = to_game(encoding, "』", defaults.close_double);
  punctuation.open_paren = to_game(encoding, "（", defaults.open_paren);
  punctuation.close_paren = to_game(encoding, "）", defaults.close_paren);
  punctuation.wide_space = to_game(encoding, "　", defaults.wide_space);
  punctuation.replay_marker = punctuation.open_quote;
  return punctuation;
}

bool in_kinsoku_table(const resources::LeadByteTable& lead, std::string_view table, std::string_view character) {
  if (character.size() < 2) return false;
  for (size_t i = 0; i < table.size();) {
    const size_t length = resources::character_length(lead, table, i);
    if (length == character.size() && table.compare(i, length, character) == 0) return true;
    i += length;
  }
  return false;
}

LineBreak break_line(const LineRequest& request, const LineRules& rules, const KinsokuTables& tables,
                     const Punctuation& punctuation, const resources::LeadByteTable& lead) {
  const std::string_view text = request.text;
  auto may_start = [&](const Character& c) {
    return !in_kinsoku_table(lead, tables.not_at_start, text.substr(c.offset, c.length));
  };
  auto may_end = [&](const Character& c) {
    return !in_kinsoku_table(lead, tables.not_at_end, text.substr(c.offset, c.length));
  };
  const int64_t available = request.available;
  const int64_t font_width = request.font_width;
  const int32_t kinsoku = rules.kinsoku_type;

  LineBreak result;
  std::vector<Character> line;  // the characters taken so far, in order
  int64_t total = 0;
  size_t offset = 0;
  size_t index = 0;
  while (offset < text.size()) {
    Character c{offset, resources::character_length(lead, text, offset), 0};
    c.advance = index < request.advances.size() ? request.advances[index] : 0;
    const Character* p = line.empty() ? nullptr : &line.back();
    const Character* pp = line.size() < 2 ? nullptr : &line[line.size() - 2];
    total += c.advance;

    // Early zone: within two cells per kinsoku level of the edge, break at the
    // first character that may start a line.
    if (kinsoku >= 2 && total > available - int64_t(kinsoku) * 2 * font_width && !(p && !may_end(*p)) &&
        may_start(c)) {
      total -= c.advance;
      break;
    }

    if (total > available) {
      total -= c.advance;
      if (p) {
        bool pull_back;
        if (kinsoku == 0) {
          pull_back = !may_end(*p) || !may_start(c);
        } else if (total + 2 * font_width <= available) {
          pull_back = false;
        } else {
          pull_back = !(!may_start(*p) && may_start(c));
        }
        if (pull_back && pp) {
          if (may_end(*pp)) {
            total -= p->advance;
            line.pop_back();
          } else if (kinsoku != 0) {
            total -= p->advance + pp->advance;
            line.pop_back();
            line.pop_back();
          }
        }
      }
      break;
    }

    line.push_back(c);
    const std::string_view character = text.substr(c.offset, c.length);
    const bool opens = character == punctuation.open_quote ||
                       (request.parentheses_quote && character == punctuation.open_paren);
    const bool closes = character == punctuation.close_quote ||
                        (request.parentheses_quote && character == punctuation.close_paren);
    if (opens) {
      result.indent = rules.space_indent ? int32_t(std::clamp<int64_t>(total + rules.indent_offset, INT32_MIN, INT32_MAX)) : 0;
    } else if (closes) {
      result.indent = 0;
    }
    offset += c.length;
    ++index;
  }

  if (line.empty() && request.at_line_start && !text.empty()) {
    // Nothing fits even at the line start: the window is narrower than one
    // character. Taking it anyway (drawing cuts it) keeps the text moving.
    Character c{0, resources::character_length(lead, text, 0), request.advances.empty() ? 0 : request.advances[0]};
    line.push_back(c);
    total = c.advance;
  }
  result.length = line.empty() ? 0 : line.back().offset + line.back().length;
  result.width = int32_t(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX));
  result.consumed = result.length;
  return result;
}

namespace {

struct Letter {
  size_t offset = 0;
  size_t length = 0;
  int32_t advance = 0;
  bool space = false;
  bool hyphen = false;
  bool cell = false;  // of a Japanese run
};

bool is_hyphen(const TextCodec& codec, std::string_view character) {
  if (character == "-") return true;
  if (uint8_t(character[0]) < 0x80 || !codec.unicode) return false;
  const char32_t c = code_point_of(codec, character);
  return c == 0x2010 || c == 0x2013 || c == 0x2014;  // hyphen, en dash, em dash
}

}  // namespace

LineBreak break_line_alphabetic(const LineRequest& request, const LineRules& rules, const KinsokuTables& tables,
                                const Punctuation& punctuation, const TextCodec& codec) {
  const std::string_view text = request.text;
  const resources::LeadByteTable& lead = codec.lead_bytes;
  std::vector<Letter> letters;
  for (size_t offset = 0; offset < text.size();) {
    Letter letter;
    letter.offset = offset;
    letter.length = resources::character_length(lead, text, offset);
    const std::string_view character = text.substr(offset, letter.length);
    letter.advance = letters.size() < request.advances.size() ? request.advances[letters.size()] : 0;
    letter.space = character == " ";
    letter.cell = in_japanese_run(codec, character);
    letter.hyphen = !letter.cell && is_hyphen(codec, character);
    letters.push_back(letter);
    offset += letter.length;
  }
  auto bytes_of = [&](const Letter& letter) { return text.substr(letter.offset, letter.length); };
  auto may_start = [&](const Letter& letter) { return !in_kinsoku_table(lead, tables.not_at_start, bytes_of(letter)); };
  auto may_end = [&](const Letter& letter) { return !in_kinsoku_table(lead, tables.not_at_end, bytes_of(letter)); };
  // Whether the line may end before letters[j].
  auto break_before = [&](size_t j) {
    const Letter& before = letters[j - 1];
    const Letter& letter = letters[j];
    if (letter.space) return false;  // spaces stay on the line they end
    if (before.space) return true;
    if (before.hyphen && j >= 2 && !letters[j - 2].space && !letters[j - 2].hyphen) return true;
    if (before.cell || letter.cell) return may_end(before) && may_start(letter);
    return false;
  };
  auto is_word_letter = [](const Letter& letter) { return !letter.space && !letter.hyphen && !letter.cell; };

  const int64_t available = request.available;
  int64_t total = 0;
  size_t overflow = letters.size();  // the first letter past the edge (spaces hang)
  for (size_t i = 0; i < letters.size(); ++i) {
    total += letters[i].advance;
    if (total > available && !letters[i].space) {
      overflow = i;
      break;
    }
  }

  size_t end = letters.size();   // letters on the line
  size_t taken = letters.size();  // letters the line uses up
  bool hyphenated = false;
  if (overflow < letters.size()) {
    size_t j = overflow;
    while (j >= 1 && !break_before(j)) --j;
    if (j >= 1) {
      end = taken = j;
      while (end > 0 && letters[end - 1].space) --end;
    } else if (request.at_line_start) {
      // Nothing breaks the line before the edge: cut there, with a hyphen
      // inside a word.
      size_t fit = 0;
      int64_t width = 0;
      while (fit < overflow && width + letters[fit].advance + request.hyphen_advance <= available) {
        width += letters[fit].advance;
        ++fit;
      }
      fit = std::max<size_t>(fit, 1);
      if (fit < letters.size() && is_word_letter(letters[fit - 1]) && is_word_letter(letters[fit])) {
        hyphenated = true;
      } else {
        fit = std::max<size_t>(overflow, 1);
      }
      end = taken = fit;
    } else {
      end = taken = 0;  // the text starts on the next line
    }
  }
  while (taken < letters.size() && taken > 0 && letters[taken].space) ++taken;

  LineBreak result;
  int64_t width = 0;
  for (size_t i = 0; i < end; ++i) {
    width += letters[i].advance;
    const std::string_view character = bytes_of(letters[i]);
    const bool opens = character == punctuation.open_quote ||
                       (request.parentheses_quote && character == punctuation.open_paren);
    const bool closes = character == punctuation.close_quote ||
                        (request.parentheses_quote && character == punctuation.close_paren);
    if (opens) {
      result.indent = rules.space_indent ? int32_t(std::clamp<int64_t>(width + rules.indent_offset, INT32_MIN, INT32_MAX)) : 0;
    } else if (closes) {
      result.indent = 0;
    }
  }
  if (hyphenated) width += request.hyphen_advance;
  result.length = end == 0 ? 0 : letters[end - 1].offset + letters[end - 1].length;
  result.consumed = taken == 0 ? 0 : (taken < letters.size() ? letters[taken].offset : text.size());
  result.width = int32_t(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
  result.hyphenated = hyphenated;
  return result;
}

}  // namespace tavelo::text
