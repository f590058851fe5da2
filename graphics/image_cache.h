#pragma once
// The image cache: decoded pictures kept by base name under a byte budget, in
// most-recently-used order. The least recently used pictures are dropped
// whenever the total cost exceeds the budget, so a picture larger than the
// whole budget is dropped again at once. A budget of 0 switches it off.
// Entries hold pages shared with callers that borrowed them, so dropping an
// entry never pulls a page from under a reader.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "graphics/page.h"

namespace tavelo::graphics {

struct ImageCacheEntry {
  std::string key;        // base name in upper case
  std::string base_name;  // as found, game code page
  std::string extension;  // with its dot, e.g. ".rct"
  uint64_t cost = 0;
  std::shared_ptr<const Page> page;  // engine-held
};

// What an entry costs: the pixel block plus the page record, bitmap header
// and entry (628 bytes), plus the palette (1024 bytes) of an 8-bit page.
uint64_t picture_cost(const Page& page);

class ImageCache {
 public:
  void set_budget(uint64_t bytes);
  uint64_t budget() const { return m_budget; }
  bool enabled() const { return m_budget > 0; }

  // Finds an entry without touching the statistics or the order.
  const ImageCacheEntry* peek(std::string_view key) const;
  // A counted lookup; a hit moves the entry to the front.
  const ImageCacheEntry* lookup(std::string_view key);
  // Adds a picture at the front (replacing an entry of the same key), then
  // evicts. Ignored when the cache is off.
  void insert(ImageCacheEntry entry);
  void clear();

  size_t entry_count() const { return m_entries.size(); }
  uint64_t total_cost() const { return m_total; }
  uint64_t lookups() const { return m_lookups; }
  uint64_t hits() const { return m_hits; }
  // hits * 100 / lookups; 0 before the first lookup.
  int hit_ratio_percent() const;
  // Keys from most to least recently used.
  std::vector<std::string> keys_in_order() const;

 private:
  void evict();
  void erase(std::list<ImageCacheEntry>::iterator entry);

  uint64_t m_budget = 0;
  uint64_t m_total = 0;
  uint64_t m_lookups = 0;
  uint64_t m_hits = 0;
  std::list<ImageCacheEntry> m_entries;  // front: most recently used
  std::unordered_map<std::string, std::list<ImageCacheEntry>::iterator> m_index;
};

}  // namespace tavelo::graphics
