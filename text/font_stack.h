#pragma once
// The font stacks of script threads: each thread draws with the top record of
// its own stack. The first fontout-family call of a thread without a record
// makes one from the template; font_push and font_pop add and remove records;
// a thread's stack goes when the machine frees the thread (the host's
// thread_freed hook calls forget_thread_fonts). Kept in text::State::fonts.

#include <cstdint>
#include <map>
#include <vector>

#include "text/font_record.h"

namespace tavelo::text {

struct FontStacks {
  std::map<int32_t, std::vector<FontRecord>> by_thread;  // thread id -> records, top last
};

// The thread's current record, made from the template (drawing on
// display_page) when the thread has none. Valid until the stacks change.
FontRecord& current_font(FontStacks& stacks, int32_t thread_id, int32_t display_page);
void push_font(FontStacks& stacks, int32_t thread_id, int32_t display_page);
// Drops the top record; nothing happens on an empty stack.
void pop_font(FontStacks& stacks, int32_t thread_id);
void forget_thread_fonts(FontStacks& stacks, int32_t thread_id);

}  // namespace tavelo::text
