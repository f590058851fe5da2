#pragma once
// The text history: the message window's recent output (texts and console
// commands) in one fixed 40 000-byte buffer, saved with the game, from which
// scripts build a history view by counting pages, finding page starts and
// replaying a page (message_window.h). The message window appends to it; the
// history calls in text/syscalls.cpp navigate it; saves keep it whole.
//
// Entries are packed so that the newest ends exactly at the end of the buffer;
// the oldest fall off the front. A text entry is the text, a NUL and a u16
// (little-endian) total size (text length + 3); a command entry is "\", the
// command, a NUL and its total size (command length + 4). The entry before one
// that starts at e starts at e - (u16 at e - 2); a size of 0 ends the chain.
// The buffer comes back from save files, so every walk checks each size
// against the buffer and the entry's own bytes before it moves.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavelo::resources {
class SaveFields;
}

namespace tavelo::text {

inline constexpr int32_t kHistorySize = 40000;

struct History {
  std::array<uint8_t, kHistorySize> bytes{};  // all zero: empty
};

// Which entries start a page: a `w` command always; in the default mode also
// an `n` command directly after a `p` command.
enum class PageBoundaries { Default, ClearsOnly };

enum class EntryKind { Text, Command };

struct HistoryEntry {
  int32_t start = 0;
  int32_t size = 0;  // total bytes, up to the next entry's start
  EntryKind kind = EntryKind::Text;
  std::string_view body;  // the text, or the command without its backslash
};

// Appends an entry, dropping as many of the oldest bytes. Text stops at its
// first NUL; text or commands too long for the buffer are cut on a character
// boundary by the caller's rule (at most kHistorySize - 4 bytes are kept).
void append_history_text(History& history, std::string_view text);
void append_history_command(History& history, std::string_view command);

// The entry starting at start, read forwards; nullopt when the bytes there do
// not form an entry whose size word matches (a damaged or empty buffer).
std::optional<HistoryEntry> history_entry_at(const History& history, int32_t start);

// The entry that ends where the entry at start begins; nullopt at the front
// of the chain or where a size does not fit the buffer.
std::optional<HistoryEntry> history_entry_before(const History& history, int32_t start);

// Offsets of page starts. Each returns its argument when there is none.
int32_t previous_page_start(const History& history, int32_t offset, PageBoundaries boundaries);
int32_t next_page_start(const History& history, int32_t offset, PageBoundaries boundaries);
// Pages from the newest page start back to the oldest one still held; 1 when
// no page starts at all.
int32_t count_history_pages(const History& history, PageBoundaries boundaries);
// The start of the n-th page back from the newest (1 = newest).
int32_t history_page_offset(const History& history, int32_t n, PageBoundaries boundaries);

bool is_command(const HistoryEntry& entry, std::string_view command);

// The history's part of a save, both ways: the whole buffer as it is.
void keep_history(resources::SaveFields& fields, History& history);

}  // namespace tavelo::text
