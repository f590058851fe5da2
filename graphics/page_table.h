#pragma once
// The page table: every live page, keyed by the non-zero handle scripts use.
// Handles are issued in increasing order and not reused until the counter
// wraps, so a stale handle finds nothing rather than a newer page; every use
// of a handle goes through find_page. Engine-held pages (those alive when
// start-up ends, and the image cache's copies) survive ordinary releases and
// the game reset.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "graphics/page.h"

namespace tavelo::graphics {

struct State;

enum class Holding { Script, Engine };

enum class ReleaseMode {
  Ordinary,  // engine-held pages and pages a sprite draws are left alone
  Force,     // releases any page (shutdown, internal temporaries)
};

enum class ReleaseResult { Released, NotFound, EngineHeld, UsedBySprite };

// Largest pixel block a page may have: row offsets are computed in 32 bits by
// callers, and a larger request is a script error, not a reason to stop.
inline constexpr int64_t kMaxPageBytes = INT32_MAX;

// Page handles stay below the sprite handles (sprite_table.h), so a call
// given "a page or a sprite" can tell them apart.
inline constexpr int32_t kLastPageHandle = 0x3FFFFFFF;

struct PageEntry {
  Page page;
  int32_t sprite_users = 0;  // sprites whose source is this page
};

class PageTable {
 public:
  // Takes the page and returns its new handle.
  int32_t insert(Page&& page);
  PageEntry* find(int32_t handle);
  const PageEntry* find(int32_t handle) const;
  bool erase(int32_t handle);
  size_t size() const { return m_entries.size(); }
  // Pixel bytes of all live pages.
  int64_t pixel_bytes() const;
  // Live handles, newest first.
  std::vector<int32_t> handles() const;

 private:
  // std::map keeps entries at stable addresses, so a Page* stays valid while
  // other pages come and go (a copy may create a temporary page mid-way).
  std::map<int32_t, PageEntry> m_entries;
  int32_t m_next_handle = 1;
};

// Creates a zeroed page (8-bit pages get the grey palette). Returns 0 when the
// pixel block would exceed kMaxPageBytes or the pages together would pass
// State::page_memory_limit; sizes below 1 are raised to 1.
int32_t create_page(State& state, int32_t width, int32_t height, Depth depth, Holding holding);
// Adds a page built elsewhere (a decoded picture). Returns its handle.
int32_t add_page(State& state, Page&& page, Holding holding);
// Creates an 8-bit all-opaque alpha page for the page, owned by it. Returns
// the alpha page's handle, 0 when the page does not exist.
int32_t create_owned_alpha(State& state, int32_t page_handle);

Page* find_page(State& state, int32_t handle);
const Page* find_page(const State& state, int32_t handle);
// The page's alpha page when it is live, 8-bit and of the page's size;
// anything else counts as no alpha page, so kernels never read past one.
Page* find_alpha(State& state, const Page& page);

// Releases the page and, when it owns it, its alpha page.
ReleaseResult release_page(State& state, int32_t handle, ReleaseMode mode);
// The game reset: releases every page that is not engine-held.
void release_unheld_pages(State& state);
// End of start-up: every existing page becomes engine-held.
void hold_all_pages(State& state);
size_t page_count(const State& state);

// Sprites count themselves on their source pages so that page_release can
// refuse a page still shown. delta is +1 or -1.
void count_sprite_user(State& state, int32_t handle, int32_t delta);

}  // namespace tavelo::graphics
