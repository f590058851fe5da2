// The text history buffer.

#include "text/history.h"

#include <cstring>

#include "resources/save_fields.h"

namespace tavelo::text {
namespace {

// Entries are never longer than this: their size lives in a u16 and the
// smallest entry is 3 bytes.
constexpr int32_t kLargestEntry = kHistorySize;
constexpr int32_t kSmallestEntry = 3;

uint16_t size_word(const History& history, int32_t at) {
  return uint16_t(history.bytes[size_t(at)] | history.bytes[size_t(at) + 1] << 8);
}

void append_entry(History& history, std::string_view prefix, std::string_view body) {
  const size_t nul = body.find('\0');
  if (nul != std::string_view::npos) body = body.substr(0, nul);
  const int64_t size = int64_t(prefix.size() + body.size()) + 3;
  // Callers keep entries short (pending text and commands are cut far below
  // this); one that could not be told apart from the chain is dropped.
  if (size > kLargestEntry || size > 0xFFFF) return;
  uint8_t* bytes = history.bytes.data();
  std::memmove(bytes, bytes + size, size_t(kHistorySize - size));
  uint8_t* out = bytes + (kHistorySize - size);
  // An empty view may hold no pointer at all, which memcpy must not be given.
  if (!prefix.empty()) std::memcpy(out, prefix.data(), prefix.size());
  if (!body.empty()) std::memcpy(out + prefix.size(), body.data(), body.size());
  out += prefix.size() + body.size();
  *out++ = 0;
  *out++ = uint8_t(size & 0xFF);
  *out = uint8_t(size >> 8);
}

bool is_boundary(const History& history, const HistoryEntry& entry, PageBoundaries boundaries) {
  if (is_command(entry, "w")) return true;
  if (boundaries != PageBoundaries::Default || !is_command(entry, "n")) return false;
  std::optional<HistoryEntry> before = history_entry_before(history, entry.start);
  return before && is_command(*before, "p");
}

bool is_visible(const HistoryEntry& entry) { return entry.kind == EntryKind::Text || is_command(entry, "p"); }

}  // namespace

void append_history_text(History& history, std::string_view text) { append_entry(history, {}, text); }

void append_history_command(History& history, std::string_view command) { append_entry(history, "\\", command); }

bool is_command(const HistoryEntry& entry, std::string_view command) {
  return entry.kind == EntryKind::Command && entry.body == command;
}

std::optional<HistoryEntry> history_entry_at(const History& history, int32_t start) {
  if (start < 0 || start > kHistorySize - kSmallestEntry) return std::nullopt;
  const uint8_t* bytes = history.bytes.data();
  const void* found = std::memchr(bytes + start, 0, size_t(kHistorySize - 2 - start));
  if (!found) return std::nullopt;
  const int32_t nul = int32_t(static_cast<const uint8_t*>(found) - bytes);
  const int32_t size = nul - start + 3;
  if (size_word(history, nul + 1) != size) return std::nullopt;
  HistoryEntry entry;
  entry.start = start;
  entry.size = size;
  const char* text = reinterpret_cast<const char*>(bytes + start);
  if (bytes[start] == '\\') {
    entry.kind = EntryKind::Command;
    entry.body = std::string_view(text + 1, size_t(nul - start - 1));
  } else {
    entry.body = std::string_view(text, size_t(nul - start));
  }
  return entry;
}

std::optional<HistoryEntry> history_entry_before(const History& history, int32_t start) {
  if (start < kSmallestEntry || start > kHistorySize) return std::nullopt;
  const int32_t size = size_word(history, start - 2);
  if (size < kSmallestEntry || size > start) return std::nullopt;
  std::optional<HistoryEntry> entry = history_entry_at(history, start - size);
  // A size word that does not belong to an entry ending here is damage.
  if (!entry || entry->size != size) return std::nullopt;
  return entry;
}

int32_t previous_page_start(const History& history, int32_t offset, PageBoundaries boundaries) {
  // From the end of the buffer the first boundary is the newest page start;
  // from a page start, something visible must lie between it and the answer.
  bool visible = offset == kHistorySize;
  int32_t at = offset;
  while (std::optional<HistoryEntry> entry = history_entry_before(history, at)) {
    if (visible && is_boundary(history, *entry, boundaries)) return entry->start;
    visible = visible || is_visible(*entry);
    at = entry->start;
  }
  return offset;
}

int32_t next_page_start(const History& history, int32_t offset, PageBoundaries boundaries) {
  std::optional<HistoryEntry> entry = history_entry_at(history, offset);
  if (!entry) return offset;
  int32_t at = offset + entry->size;
  std::optional<int32_t> found;
  while (!found) {
    entry = history_entry_at(history, at);
    if (!entry) return offset;
    if (is_boundary(history, *entry, boundaries)) found = at;
    at += entry->size;
  }
  // Commands that show nothing (colours, more clears) still belong before
  // the page's first visible entry.
  while ((entry = history_entry_at(history, at)) && !is_visible(*entry)) {
    if (is_boundary(history, *entry, boundaries)) found = at;
    at += entry->size;
  }
  return *found;
}

int32_t count_history_pages(const History& history, PageBoundaries boundaries) {
  int32_t start = previous_page_start(history, kHistorySize, boundaries);
  int32_t count = 1;
  for (;;) {
    const int32_t before = previous_page_start(history, start, boundaries);
    if (before == start) return count;
    ++count;
    start = before;
  }
}

int32_t history_page_offset(const History& history, int32_t n, PageBoundaries boundaries) {
  int32_t start = previous_page_start(history, kHistorySize, boundaries);
  for (int32_t i = 1; i < n; ++i) {
    const int32_t before = previous_page_start(history, start, boundaries);
    if (before == start) break;
    start = before;
  }
  return start;
}

void keep_history(resources::SaveFields& fields, History& history) { fields.bytes(history.bytes); }

}  // namespace tavelo::text
