// Sprite records, the stacking list and the sprite lifecycle.

#include "graphics/sprite_table.h"

#include <algorithm>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

int32_t issue_handle(SpriteTable& table) {
  // Skip handles still alive after a wrap; the range stays above every page handle.
  while (table.next_handle < kFirstSpriteHandle || table.sprites.count(table.next_handle) != 0) {
    table.next_handle = table.next_handle < kFirstSpriteHandle ? kFirstSpriteHandle : table.next_handle + 1;
  }
  int32_t handle = table.next_handle;
  table.next_handle = handle == INT32_MAX ? kFirstSpriteHandle : handle + 1;
  return handle;
}

void unlink(SpriteTable& table, const Sprite& sprite) {
  std::erase(table.stacking, &sprite);
}

// Frees the record and what it owns, without redrawing.
void destroy_sprite(State& state, int32_t handle) {
  auto it = state.sprites.sprites.find(handle);
  if (it == state.sprites.sprites.end()) return;
  Sprite& sprite = it->second;
  count_sprite_user(state, sprite.source_page, -1);
  remove_viewer(state, sprite.source_page, handle);
  if (sprite.owns_page) release_page(state, sprite.source_page, ReleaseMode::Force);
  detach_destination(state, sprite.destination);
  unlink(state.sprites, sprite);
  state.sprites.sprites.erase(it);
}

// Back to how a new sprite starts, keeping source, level, stacking and group.
void clear_motion(Sprite& sprite) {
  sprite.move = {};
  sprite.frames = {};
  sprite.levels = {};
  bool transformed = sprite.transform.on;
  sprite.transform = {};
  sprite.transform.on = transformed;
  sprite.hide = 0;
  sprite.x = kOffPage;
  sprite.y = kOffPage;
}

}  // namespace

int32_t create_sprite(State& state, int32_t source_page, Rect source, int32_t destination) {
  if (!find_page(state, destination)) return 0;
  int32_t handle = issue_handle(state.sprites);
  Sprite& sprite = state.sprites.sprites[handle];
  sprite.handle = handle;
  sprite.source_page = source_page;
  sprite.source = source;
  sprite.home_x = source.x;
  sprite.home_y = source.y;
  sprite.destination = destination;
  sprite.group = handle;
  state.sprites.stacking.push_back(&sprite);
  count_sprite_user(state, source_page, +1);
  add_viewer(state, source_page, handle);
  attach_destination(state, destination);
  return handle;
}

Sprite* find_sprite(State& state, int32_t handle) {
  auto it = state.sprites.sprites.find(handle);
  return it == state.sprites.sprites.end() ? nullptr : &it->second;
}

const Sprite* find_sprite(const State& state, int32_t handle) {
  auto it = state.sprites.sprites.find(handle);
  return it == state.sprites.sprites.end() ? nullptr : &it->second;
}

void release_sprite(State& state, int32_t handle) {
  Sprite* sprite = find_sprite(state, handle);
  if (!sprite) return;
  mark_sprite(state, *sprite);
  // A persistent sprite belongs to the engine's start-up; scripts cannot end it.
  if (sprite->persistent) return;
  destroy_sprite(state, handle);
}

Rect sprite_area(const Sprite& sprite) {
  const SpriteTransform& transform = sprite.transform;
  if (transform.on && transform.page.width > 0) return transform.rect;
  int64_t x = sprite.x, y = sprite.y;
  if (transform.on) {
    x -= sprite.source.width / 2;
    y -= sprite.source.height / 2;
  }
  return {int32_t(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)), int32_t(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX)),
          sprite.source.width, sprite.source.height};
}

void mark_sprite(State& state, Sprite& sprite) { mark_changed(state, sprite.destination, sprite_area(sprite)); }

void restack(State& state, Sprite& sprite, Stacking where, Sprite* reference) {
  std::vector<Sprite*>& stacking = state.sprites.stacking;
  if (reference != &sprite) {
    unlink(state.sprites, sprite);
    auto at = stacking.end();
    if (reference) {
      auto found = std::find(stacking.begin(), stacking.end(), reference);
      if (found == stacking.end()) return;  // every live sprite is listed; cannot happen
      const int32_t group = reference->group;
      switch (where) {
        case Stacking::AboveGroup:
          while (found + 1 != stacking.end() && (*(found + 1))->group == group) ++found;
          at = found + 1;
          break;
        case Stacking::BelowGroup:
          while (found != stacking.begin() && (*(found - 1))->group == group) --found;
          at = found;
          break;
        case Stacking::Above:
        case Stacking::Top: at = found + 1; break;
        case Stacking::Below:
        case Stacking::Bottom: at = found; break;
      }
    } else {
      at = where == Stacking::Bottom || where == Stacking::Below || where == Stacking::BelowGroup ? stacking.begin()
                                                                                                 : stacking.end();
    }
    stacking.insert(at, &sprite);
  }
  if (reference) sprite.group = reference->group;
  mark_sprite(state, sprite);
}

void push_sprite(State& state, Sprite& sprite) {
  bool was_shown = sprite.hide == 0;
  if (sprite.hide > INT32_MIN) --sprite.hide;
  // Hiding must take the sprite off the screen now, not whenever something
  // else happens to redraw its place.
  if (was_shown) mark_sprite(state, sprite);
}

void pop_sprite(State& state, Sprite& sprite) {
  if (sprite.hide >= 0) {
    sprite.hide = 0;
    return;
  }
  ++sprite.hide;
  if (sprite.hide == 0) mark_sprite(state, sprite);
}

void hold_all_sprites(State& state) {
  for (auto& [handle, sprite] : state.sprites.sprites) sprite.persistent = true;
  for (Destination& record : state.changes.destinations) record.persistent = true;
}

void reset_all_sprites(State& state) {
  // Unlocked first, so that the places the sprites leave are redrawn.
  state.pacer.display_lock = 0;
  std::vector<int32_t> doomed;
  for (auto& [handle, sprite] : state.sprites.sprites) {
    mark_sprite(state, sprite);
    if (sprite.persistent) {
      clear_motion(sprite);
    } else {
      doomed.push_back(handle);
    }
  }
  for (int32_t handle : doomed) destroy_sprite(state, handle);
  free_unused_destinations(state);
  release_unheld_pages(state);
  int32_t display = state.screen.display_page;
  if (display != 0 && !find_destination(state, display)) attach_destination(state, display);
}

void free_all_sprites(State& state) {
  std::vector<int32_t> handles;
  for (auto& [handle, sprite] : state.sprites.sprites) handles.push_back(handle);
  for (int32_t handle : handles) destroy_sprite(state, handle);
}

size_t sprite_count(const State& state) { return state.sprites.sprites.size(); }

}  // namespace tavelo::graphics
