// The page table and the page lifecycle.

#include "graphics/page_table.h"

#include "graphics/state.h"

namespace tavelo::graphics {

int32_t PageTable::insert(Page&& page) {
  // Skip 0 (never a handle) and, after a wrap, handles still alive.
  while (m_next_handle <= 0 || m_next_handle > kLastPageHandle || m_entries.count(m_next_handle) != 0) {
    m_next_handle = m_next_handle <= 0 || m_next_handle > kLastPageHandle ? 1 : m_next_handle + 1;
  }
  int32_t handle = m_next_handle;
  m_next_handle = handle == kLastPageHandle ? 1 : handle + 1;
  m_entries.emplace(handle, PageEntry{std::move(page), 0});
  return handle;
}

PageEntry* PageTable::find(int32_t handle) {
  auto it = m_entries.find(handle);
  return it == m_entries.end() ? nullptr : &it->second;
}

const PageEntry* PageTable::find(int32_t handle) const {
  auto it = m_entries.find(handle);
  return it == m_entries.end() ? nullptr : &it->second;
}

bool PageTable::erase(int32_t handle) { return m_entries.erase(handle) != 0; }

int64_t PageTable::pixel_bytes() const {
  int64_t total = 0;
  for (const auto& [handle, entry] : m_entries) total += int64_t(entry.page.pixels.size());
  return total;
}

std::vector<int32_t> PageTable::handles() const {
  std::vector<int32_t> result;
  result.reserve(m_entries.size());
  for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) result.push_back(it->first);
  return result;
}

int32_t create_page(State& state, int32_t width, int32_t height, Depth depth, Holding holding) {
  int64_t w = width < 1 ? 1 : width;
  int64_t h = height < 1 ? 1 : height;
  int64_t stride = ((depth == Depth::Rgb24 ? w * 3 : w) + 3) & ~int64_t(3);
  if (stride > kMaxPageBytes / h) return 0;
  if (state.page_memory_limit != INT64_MAX && stride * h > state.page_memory_limit - state.pages.pixel_bytes()) return 0;
  return add_page(state, make_page(width, height, depth), holding);
}

int32_t add_page(State& state, Page&& page, Holding holding) {
  page.engine_held = holding == Holding::Engine;
  return state.pages.insert(std::move(page));
}

int32_t create_owned_alpha(State& state, int32_t page_handle) {
  Page* page = find_page(state, page_handle);
  if (!page) return 0;
  Holding holding = page->engine_held ? Holding::Engine : Holding::Script;
  int32_t alpha = add_page(state, make_page(page->width, page->height, Depth::Indexed8), holding);
  // The insert may not move existing entries, but look the owner up again
  // rather than rely on it.
  page = find_page(state, page_handle);
  page->alpha_page = alpha;
  page->owns_alpha = true;
  return alpha;
}

Page* find_page(State& state, int32_t handle) {
  PageEntry* entry = state.pages.find(handle);
  return entry ? &entry->page : nullptr;
}

const Page* find_page(const State& state, int32_t handle) {
  const PageEntry* entry = state.pages.find(handle);
  return entry ? &entry->page : nullptr;
}

Page* find_alpha(State& state, const Page& page) {
  if (page.alpha_page == 0) return nullptr;
  Page* alpha = find_page(state, page.alpha_page);
  if (!alpha || alpha == &page || alpha->depth != Depth::Indexed8 || alpha->width != page.width ||
      alpha->height != page.height) {
    return nullptr;
  }
  return alpha;
}

ReleaseResult release_page(State& state, int32_t handle, ReleaseMode mode) {
  PageEntry* entry = state.pages.find(handle);
  if (!entry) return ReleaseResult::NotFound;
  if (mode == ReleaseMode::Ordinary) {
    if (entry->page.engine_held) return ReleaseResult::EngineHeld;
    if (entry->sprite_users > 0) return ReleaseResult::UsedBySprite;
  }
  int32_t owned_alpha = entry->page.owns_alpha ? entry->page.alpha_page : 0;
  state.pages.erase(handle);
  // An owned alpha page cannot outlive its owner: nothing else knows of it.
  if (owned_alpha != 0 && owned_alpha != handle) state.pages.erase(owned_alpha);
  return ReleaseResult::Released;
}

void release_unheld_pages(State& state) {
  for (int32_t handle : state.pages.handles()) {
    PageEntry* entry = state.pages.find(handle);
    // An earlier release may already have taken it as an owned alpha page.
    if (entry && !entry->page.engine_held) release_page(state, handle, ReleaseMode::Force);
  }
}

void hold_all_pages(State& state) {
  for (int32_t handle : state.pages.handles()) state.pages.find(handle)->page.engine_held = true;
}

size_t page_count(const State& state) { return state.pages.size(); }

void count_sprite_user(State& state, int32_t handle, int32_t delta) {
  PageEntry* entry = state.pages.find(handle);
  if (!entry) return;
  entry->sprite_users += delta;
  if (entry->sprite_users < 0) entry->sprite_users = 0;
}

}  // namespace tavelo::graphics
