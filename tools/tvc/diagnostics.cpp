// Diagnostics of the tvc compiler and their formatting.

#include "tools/tvc/diagnostics.h"

#include <algorithm>
#include <map>

namespace tavelo::tools::tvc {

void Diagnostics::error(const Position& at, std::string message) {
  if (too_many()) return;
  ++errors;
  list.push_back({Severity::Error, at, std::move(message)});
  if (too_many()) list.push_back({Severity::Error, at, "too many errors; stopping"});
}

void Diagnostics::warning(const Position& at, std::string message) {
  list.push_back({Severity::Warning, at, std::move(message)});
}

namespace {

// The caret line: the characters before the column become blanks (tabs stay
// tabs, so the caret lines up in a terminal).
std::string caret_line(std::string_view line, uint32_t column) {
  std::string result;
  uint32_t character = 1;
  for (size_t i = 0; i < line.size() && character < column; ++i) {
    unsigned char byte = static_cast<unsigned char>(line[i]);
    if ((byte & 0xC0) == 0x80) continue;  // UTF-8 continuation byte
    result += line[i] == '\t' ? '\t' : ' ';
    ++character;
  }
  return result + "^";
}

// The lines of one file, found once per file however many messages quote it.
class LineIndex {
 public:
  explicit LineIndex(const Sources& sources) : m_sources(sources) {}

  std::string_view line(const Position& at) {
    if (at.file >= m_sources.files.size() || at.line == 0) return {};
    std::string_view text = m_sources.files[at.file].text;
    std::vector<size_t>& starts = m_starts[at.file];
    if (starts.empty()) {
      starts.push_back(0);
      for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') starts.push_back(i + 1);
      }
    }
    if (at.line > starts.size()) return {};
    size_t start = starts[at.line - 1];
    size_t end = at.line < starts.size() ? starts[at.line] - 1 : text.size();
    std::string_view result = text.substr(start, end - start);
    if (!result.empty() && result.back() == '\r') result.remove_suffix(1);
    return result;
  }

 private:
  const Sources& m_sources;
  std::map<uint32_t, std::vector<size_t>> m_starts;
};

}  // namespace

std::string format_diagnostics(const Diagnostics& diagnostics, const Sources& sources) {
  std::vector<const Diagnostic*> sorted;
  for (const Diagnostic& diagnostic : diagnostics.list) sorted.push_back(&diagnostic);
  std::stable_sort(sorted.begin(), sorted.end(), [](const Diagnostic* a, const Diagnostic* b) {
    if (a->at.file != b->at.file) return a->at.file < b->at.file;
    if (a->at.line != b->at.line) return a->at.line < b->at.line;
    return a->at.column < b->at.column;
  });
  LineIndex lines(sources);
  std::string text;
  for (const Diagnostic* diagnostic : sorted) {
    const Position& at = diagnostic->at;
    std::string path = at.file < sources.files.size() ? sources.files[at.file].path : "tvc";
    text += path;
    if (at.line > 0) text += ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
    text += diagnostic->severity == Severity::Error ? ": error: " : ": warning: ";
    text += diagnostic->message + "\n";
    if (at.line > 0) {
      std::string_view line = lines.line(at);
      text += "  " + std::string(line) + "\n";
      text += "  " + caret_line(line, at.column) + "\n";
    }
  }
  return text;
}

}  // namespace tavelo::tools::tvc
