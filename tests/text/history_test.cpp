// The text history buffer: entries and their chain, page starts in both
// modes, wrap-around past 40 000 bytes, and damaged size words (the buffer
// comes back from save files) that must never lead a walk outside it.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/history.h"

namespace tavelo::text {
namespace {

// A history built from a list: "\x" items are commands, others texts.
History history_of(const std::vector<std::string>& items) {
  History history;
  for (const std::string& item : items) {
    if (!item.empty() && item[0] == '\\') append_history_command(history, item.substr(1));
    else append_history_text(history, item);
  }
  return history;
}

// Entry starts, oldest first.
std::vector<int32_t> entry_starts(const History& history) {
  std::vector<int32_t> starts;
  int32_t at = kHistorySize;
  while (std::optional<HistoryEntry> entry = history_entry_before(history, at)) {
    starts.insert(starts.begin(), entry->start);
    at = entry->start;
  }
  return starts;
}

TEST(History, entries_end_at_the_end_of_the_buffer) {
  const History history = history_of({"abc", "\\w"});
  const std::vector<int32_t> starts = entry_starts(history);
  ASSERT_EQ(starts.size(), 2u);
  // "abc" NUL size(6); "\w" NUL size(5).
  EXPECT_EQ(starts[0], kHistorySize - 11);
  EXPECT_EQ(starts[1], kHistorySize - 5);
  EXPECT_EQ(history.bytes[kHistorySize - 2], 5);
  std::optional<HistoryEntry> text = history_entry_at(history, starts[0]);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->kind, EntryKind::Text);
  EXPECT_EQ(text->body, "abc");
  EXPECT_TRUE(is_command(*history_entry_at(history, starts[1]), "w"));
}

TEST(History, pages_start_at_clears_and_after_waits) {
  // Pages: [w A p] [n B p] [w c C]; the "n" after "p" starts a page only in
  // the default mode.
  const History history = history_of({"\\w", "A", "\\p", "\\n", "B", "\\p", "\\w", "\\c0x000000ff0xffffffff", "C"});
  const std::vector<int32_t> at = entry_starts(history);
  EXPECT_EQ(count_history_pages(history, PageBoundaries::Default), 3);
  EXPECT_EQ(count_history_pages(history, PageBoundaries::ClearsOnly), 2);
  EXPECT_EQ(history_page_offset(history, 1, PageBoundaries::Default), at[6]);
  EXPECT_EQ(history_page_offset(history, 2, PageBoundaries::Default), at[3]);
  EXPECT_EQ(history_page_offset(history, 3, PageBoundaries::Default), at[0]);
  EXPECT_EQ(history_page_offset(history, 9, PageBoundaries::Default), at[0]);
  EXPECT_EQ(history_page_offset(history, 2, PageBoundaries::ClearsOnly), at[0]);
  EXPECT_EQ(previous_page_start(history, at[6], PageBoundaries::Default), at[3]);
  EXPECT_EQ(previous_page_start(history, at[0], PageBoundaries::Default), at[0]);
  EXPECT_EQ(next_page_start(history, at[0], PageBoundaries::Default), at[3]);
  EXPECT_EQ(next_page_start(history, at[0], PageBoundaries::ClearsOnly), at[6]);
  EXPECT_EQ(next_page_start(history, at[6], PageBoundaries::Default), at[6]);

  // Without any page start there is one page, and nothing to move to.
  const History plain = history_of({"A", "\\p", "B"});
  EXPECT_EQ(count_history_pages(plain, PageBoundaries::Default), 1);
  const int32_t first = entry_starts(plain)[0];
  EXPECT_EQ(previous_page_start(plain, first, PageBoundaries::Default), first);
  EXPECT_EQ(next_page_start(plain, first, PageBoundaries::Default), first);
}

TEST(History, the_oldest_bytes_fall_off_the_front) {
  History history;
  std::memset(history.bytes.data(), 'x', history.bytes.size());
  const History before = history;
  append_history_text(history, std::string(50, 't'));
  EXPECT_EQ(std::memcmp(history.bytes.data(), before.bytes.data() + 53, kHistorySize - 53), 0);

  // Page after page past 40 000 bytes: the newest pages stay whole and
  // countable, the oldest go.
  History pages;
  for (int page = 0; page < 2000; ++page) {
    append_history_command(pages, "w");
    append_history_text(pages, "page " + std::to_string(page) + std::string(20, '.'));
    append_history_command(pages, "p");
  }
  // Each page is 5 + 31 (or 32) + 5 bytes: about 970 pages fit.
  const int32_t count = count_history_pages(pages, PageBoundaries::Default);
  EXPECT_GT(count, 900);
  EXPECT_LT(count, 1000);
  const std::optional<HistoryEntry> newest =
      history_entry_at(pages, history_page_offset(pages, 1, PageBoundaries::Default) + 5);
  ASSERT_TRUE(newest);
  EXPECT_EQ(newest->body.substr(0, 9), "page 1999");
  const std::optional<HistoryEntry> oldest =
      history_entry_at(pages, history_page_offset(pages, count, PageBoundaries::Default) + 5);
  ASSERT_TRUE(oldest);
  EXPECT_EQ(oldest->body.substr(0, 5 + std::to_string(2000 - count).size()), "page " + std::to_string(2000 - count));
}

TEST(History, damaged_size_words_never_lead_outside_the_buffer) {
  const History intact = history_of({"\\w", "first", "\\p", "\\n", "second", "\\p", "\\w", "third"});
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    History history = intact;
    // Damage the chain's last few hundred bytes, where the entries are.
    for (int i = 0; i < 4; ++i) {
      const size_t at = kHistorySize - 1 - random() % 200;
      history.bytes[at] = uint8_t(random());
    }
    for (PageBoundaries mode : {PageBoundaries::Default, PageBoundaries::ClearsOnly}) {
      const int32_t count = count_history_pages(history, mode);
      EXPECT_GE(count, 1);
      for (int32_t n = 1; n <= count + 1; ++n) {
        const int32_t offset = history_page_offset(history, n, mode);
        ASSERT_GE(offset, 0);
        ASSERT_LE(offset, kHistorySize);
        const int32_t next = next_page_start(history, offset, mode);
        ASSERT_GE(next, 0);
        ASSERT_LE(next, kHistorySize);
      }
    }
  }
  // Sizes that point before the buffer or past their own entry end the chain.
  History history = intact;
  history.bytes[kHistorySize - 2] = 0xFF;
  history.bytes[kHistorySize - 1] = 0xFF;
  EXPECT_FALSE(history_entry_before(history, kHistorySize));
  EXPECT_EQ(count_history_pages(history, PageBoundaries::Default), 1);
}

}  // namespace
}  // namespace tavelo::text
