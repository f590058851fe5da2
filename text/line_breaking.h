#pragma once
// Japanese line breaking (kinsoku) for the message window: the two character
// tables (characters that may not start a line, and that may not end one),
// the bracket characters the window reacts to, and break_line, which decides
// how much of the pending text fits on the current line. A pure kernel over
// its arguments: the message window (message_window.cpp) calls it once per
// line; tests and the layout fuzz target drive it directly.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "resources/multibyte.h"
#include "text/text_codec.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::text {

// The characters the window compares, in the game code page. The defaults
// are CP932; configure_punctuation converts them for another code page.
struct Punctuation {
  std::string open_quote = "\x81\x75";    // 「
  std::string close_quote = "\x81\x76";   // 」
  std::string open_double = "\x81\x77";   // 『
  std::string close_double = "\x81\x78";  // 』
  std::string open_paren = "\x81\x69";    // （
  std::string close_paren = "\x81\x6A";   // ）
  std::string wide_space = "\x81\x40";    // 　 (full-width space)
  // Stands in for a doubled opening bracket while the history replays a
  // page; the first bracket, so a replayed page reads as it was first shown.
  std::string replay_marker = "\x81\x75";
};

// Characters that may not start a line (GYOUTOUKINSOKU) and may not end one
// (GYOUMATUKINSOKU), game text of at most 255 bytes each.
struct KinsokuTables {
  std::string not_at_start;
  std::string not_at_end;
};

inline constexpr size_t kKinsokuTableLimit = 255;

// The built-in tables in the game code page.
KinsokuTables default_kinsoku_tables(const platform::TextEncoding& encoding);
Punctuation make_punctuation(const platform::TextEncoding& encoding);

// Whether a character is listed in a table. Only multibyte characters are
// ever listed; the table is walked character by character, so the trail byte
// of one listed character and the lead byte of the next never match.
bool in_kinsoku_table(const resources::LeadByteTable& lead, std::string_view table, std::string_view character);

struct LineRules {
  int32_t kinsoku_type = 0;  // KINSOKU_TYPE: 0 pulls back one character, else two, with an early zone from 2
  bool space_indent = true;  // SPACEINDENT: an opening bracket sets the continuation indent
  int32_t indent_offset = 0;  // INDENTOFFSET: added to that indent
};

struct LineRequest {
  std::string_view text;             // the pending text
  std::span<const int32_t> advances;  // one per character of text
  int32_t available = 0;             // pixels from the pen to the window's right edge
  int32_t font_width = 0;            // the window font's cell width
  bool parentheses_quote = false;    // "（" and "）" act as brackets (quote marker flag 4)
  bool at_line_start = false;        // the pen stands where continuation lines start
  int32_t hyphen_advance = 0;        // alphabetic layout: the advance of "-"
};

struct LineBreak {
  size_t length = 0;    // bytes at the front of text that form the line
  int32_t width = 0;    // their total advance (with the hyphen when hyphenated)
  std::optional<int32_t> indent;  // the continuation indent a bracket on the line set
  size_t consumed = 0;  // bytes the line takes from the text: length, and the spaces it broke at
  bool hyphenated = false;  // a word was cut: "-" is drawn after the line
};

// Decides the line. A line that would come out empty at the line start takes
// its first character anyway, so text too wide for the window still moves on.
LineBreak break_line(const LineRequest& request, const LineRules& rules, const KinsokuTables& tables,
                     const Punctuation& punctuation, const resources::LeadByteTable& lead);

// The alphabetic layout's line: breaks after spaces (which hang past the
// edge and are dropped at the break) and after hyphens within words; beside
// and between characters of Japanese runs wherever the kinsoku tables allow
// (a character that may not start a line stays with the one before, one that
// may not end a line goes down with the one after). A word too long for a
// whole line is cut where it fills the line with a hyphen. KINSOKU_TYPE's
// early zone and pull-back depth belong to the cell layout and do not apply.
LineBreak break_line_alphabetic(const LineRequest& request, const LineRules& rules, const KinsokuTables& tables,
                                const Punctuation& punctuation, const TextCodec& codec);

}  // namespace tavelo::text
