// Font stacks per script thread.

#include "text/font_stack.h"

namespace tavelo::text {

FontRecord& current_font(FontStacks& stacks, int32_t thread_id, int32_t display_page) {
  std::vector<FontRecord>& stack = stacks.by_thread[thread_id];
  if (stack.empty()) stack.push_back(make_font_record(display_page));
  return stack.back();
}

void push_font(FontStacks& stacks, int32_t thread_id, int32_t display_page) {
  stacks.by_thread[thread_id].push_back(make_font_record(display_page));
}

void pop_font(FontStacks& stacks, int32_t thread_id) {
  auto found = stacks.by_thread.find(thread_id);
  if (found == stacks.by_thread.end()) return;
  if (!found->second.empty()) found->second.pop_back();
  if (found->second.empty()) stacks.by_thread.erase(found);
}

void forget_thread_fonts(FontStacks& stacks, int32_t thread_id) { stacks.by_thread.erase(thread_id); }

}  // namespace tavelo::text
