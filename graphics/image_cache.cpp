// The image cache.

#include "graphics/image_cache.h"

namespace tavelo::graphics {

uint64_t picture_cost(const Page& page) {
  uint64_t cost = uint64_t(page.stride) * uint64_t(page.height) + 628;
  if (page.depth == Depth::Indexed8) cost += 1024;
  return cost;
}

void ImageCache::set_budget(uint64_t bytes) {
  m_budget = bytes;
  evict();
}

const ImageCacheEntry* ImageCache::peek(std::string_view key) const {
  auto found = m_index.find(std::string(key));
  return found == m_index.end() ? nullptr : &*found->second;
}

const ImageCacheEntry* ImageCache::lookup(std::string_view key) {
  ++m_lookups;
  auto found = m_index.find(std::string(key));
  if (found == m_index.end()) return nullptr;
  ++m_hits;
  m_entries.splice(m_entries.begin(), m_entries, found->second);
  return &m_entries.front();
}

void ImageCache::insert(ImageCacheEntry entry) {
  if (!enabled() || !entry.page) return;
  auto existing = m_index.find(entry.key);
  if (existing != m_index.end()) erase(existing->second);
  entry.cost = picture_cost(*entry.page);
  m_total += entry.cost;
  m_entries.push_front(std::move(entry));
  m_index[m_entries.front().key] = m_entries.begin();
  evict();
}

void ImageCache::clear() {
  m_entries.clear();
  m_index.clear();
  m_total = 0;
}

int ImageCache::hit_ratio_percent() const { return m_lookups == 0 ? 0 : int(m_hits * 100 / m_lookups); }

std::vector<std::string> ImageCache::keys_in_order() const {
  std::vector<std::string> keys;
  for (const ImageCacheEntry& entry : m_entries) keys.push_back(entry.key);
  return keys;
}

void ImageCache::evict() {
  while (m_total > m_budget && !m_entries.empty()) erase(std::prev(m_entries.end()));
}

void ImageCache::erase(std::list<ImageCacheEntry>::iterator entry) {
  m_total -= entry->cost;
  m_index.erase(entry->key);
  m_entries.erase(entry);
}

}  // namespace tavelo::graphics
