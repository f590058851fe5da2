// The sprite draw, sprite_paste, cell recomposition and the frame cycle.

#include "graphics/composition.h"

#include <algorithm>
#include <vector>

#include "graphics/page_table.h"
#include "graphics/screen.h"
#include "graphics/sprite_motion.h"
#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

// The picture a sprite draws from and where its top-left corner lands.
struct SpritePicture {
  const Page* page = nullptr;
  const Page* alpha = nullptr;
  Rect source;
  int64_t x = 0;
  int64_t y = 0;
};

std::optional<SpritePicture> sprite_picture(State& state, const Sprite& sprite) {
  const SpriteTransform& transform = sprite.transform;
  if (transform.on && transform.page.width > 0) {
    return SpritePicture{&transform.page, &transform.alpha, {0, 0, transform.page.width, transform.page.height},
                         transform.rect.x, transform.rect.y};
  }
  const Page* page = find_page(state, sprite.source_page);
  if (!page) return std::nullopt;
  SpritePicture picture{page, find_alpha(state, *page), sprite.source, sprite.x, sprite.y};
  // A transformed sprite whose page is not built yet shows its source centred.
  if (transform.on) {
    picture.x -= sprite.source.width / 2;
    picture.y -= sprite.source.height / 2;
  }
  return picture;
}

std::optional<CopyRegion> place(const SpritePicture& picture, const Page& target, int64_t x, int64_t y) {
  // Far-off positions cannot reach the page; keep them from wrapping.
  if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return std::nullopt;
  return clip_copy(*picture.page, picture.source, target, int32_t(x), int32_t(y));
}

// One sprite's part in a recomposition, resolved once per record.
struct Layer {
  const Page* page = nullptr;
  const Page* alpha = nullptr;
  CopyRegion region;  // clipped to both pages
  int32_t level = 0;
  bool opaque = false;  // covers whatever lies beneath it, pixel for pixel
};

bool covers(const CopyRegion& region, const Rect& cell) {
  return region.dst_x <= cell.x && region.dst_y <= cell.y &&
         int64_t(region.dst_x) + region.width >= int64_t(cell.x) + cell.width &&
         int64_t(region.dst_y) + region.height >= int64_t(cell.y) + cell.height;
}

std::optional<CopyRegion> part_in(const CopyRegion& region, const Rect& cell) {
  int32_t left = std::max(region.dst_x, cell.x), top = std::max(region.dst_y, cell.y);
  int32_t right = std::min(region.dst_x + region.width, cell.x + cell.width);
  int32_t bottom = std::min(region.dst_y + region.height, cell.y + cell.height);
  if (right <= left || bottom <= top) return std::nullopt;
  return CopyRegion{region.src_x + (left - region.dst_x), region.src_y + (top - region.dst_y), left, top,
                    right - left, bottom - top};
}

void collect_layers(State& state, const Destination& record, const Page& page, std::vector<Layer>& layers) {
  layers.clear();
  for (const Sprite* sprite : state.sprites.stacking) {
    if (sprite->destination != record.page || sprite->hide != 0 || sprite->level >= kInvisibleLevel) continue;
    std::optional<SpritePicture> picture = sprite_picture(state, *sprite);
    if (!picture) continue;
    std::optional<CopyRegion> region = place(*picture, page, picture->x, picture->y);
    if (!region) continue;
    bool opaque = !picture->alpha && picture->page->draw_mode == DrawMode::Normal && sprite->level == 0 &&
                  !(picture->page->depth == Depth::Rgb24 && page.depth == Depth::Indexed8);
    layers.push_back({picture->page, picture->alpha, *region, sprite->level, opaque});
  }
}

}  // namespace

Rect draw_sprite_region(const Page& src, const Page* src_alpha, Page& dst, Page* dst_alpha, const CopyRegion& region,
                        int32_t level) {
  if (src.draw_mode == DrawMode::Additive) return additive_copy(src, dst, region, level);
  if (src_alpha) return alpha_copy(src, *src_alpha, dst, dst_alpha, region, level);
  Rect drawn = level != 0 ? level_copy(src, dst, region, level) : copy_pixels(src, nullptr, dst, nullptr, region);
  if (dst_alpha && !drawn.empty()) {
    // What was drawn is at least as opaque as the sprite.
    for (int32_t y = drawn.y; y < drawn.y + drawn.height; ++y) {
      uint8_t* alpha = dst_alpha->row(y) + drawn.x;
      for (int32_t x = 0; x < drawn.width; ++x) alpha[x] = level != 0 ? uint8_t((alpha[x] * uint32_t(level)) >> 8) : 0;
    }
  }
  return drawn;
}

void paste_sprite(State& state, Sprite& sprite, int32_t target_page, std::optional<Point> at, uint32_t now) {
  if (sprite.hide != 0 || sprite.level >= kInvisibleLevel) return;
  update_sprite(state, sprite, now);
  if (sprite.hide != 0 || sprite.level >= kInvisibleLevel) return;
  Page* target = find_page(state, target_page);
  std::optional<SpritePicture> picture = sprite_picture(state, sprite);
  if (!target || !picture) return;
  int64_t x = picture->x, y = picture->y;
  if (at) {
    x += int64_t(at->x) - sprite.x;
    y += int64_t(at->y) - sprite.y;
  }
  std::optional<CopyRegion> region = place(*picture, *target, x, y);
  if (!region) return;
  Rect drawn =
      draw_sprite_region(*picture->page, picture->alpha, *target, find_alpha(state, *target), *region, sprite.level);
  mark_changed(state, target_page, drawn);
}

void recompose(State& state, Destination& record) {
  if (!record.changed) return;
  record.changed = false;
  Page* page = find_page(state, record.page);
  if (!page) {
    std::fill(record.cells.begin(), record.cells.end(), uint8_t(0));
    return;
  }
  Page* page_alpha = find_alpha(state, *page);
  const bool on_screen = record.page == state.screen.display_page;
  std::vector<Layer> layers;
  collect_layers(state, record, *page, layers);

  for (int32_t row = 0; row < record.rows; ++row) {
    for (int32_t column = 0; column < record.columns; ++column) {
      uint8_t& mark = record.cells[size_t(row) * size_t(record.columns) + size_t(column)];
      if (!mark) continue;
      mark = 0;
      Rect cell{column * kCellSize, row * kCellSize, std::min(kCellSize, page->width - column * kCellSize),
                std::min(kCellSize, page->height - row * kCellSize)};
      // Whatever lies under an opaque sprite that fills the cell would be
      // overdrawn pixel for pixel, so drawing starts with that sprite.
      size_t first = 0;
      for (size_t i = layers.size(); i-- > 0;) {
        if (layers[i].opaque && covers(layers[i].region, cell)) {
          first = i;
          break;
        }
      }
      for (size_t i = first; i < layers.size(); ++i) {
        std::optional<CopyRegion> part = part_in(layers[i].region, cell);
        if (part) draw_sprite_region(*layers[i].page, layers[i].alpha, *page, page_alpha, *part, layers[i].level);
      }
      if (on_screen) present_rect(state, cell);
    }
  }
}

// Sprites are updated through the stacking list: every sprite is in it, the
// order does not matter to an update, and a list of pointers lets the next
// sprites be fetched while one is updated, where walking the table's tree
// waits for each in turn.
void update_sprites(State& state, uint32_t now) {
  for (Sprite* sprite : state.sprites.stacking) update_sprite(state, *sprite, now);
}

void run_frame_cycle(State& state, uint32_t now) {
  const int32_t display = state.screen.display_page;
  const bool locked = state.pacer.display_lock > 0;
  for (Sprite* sprite : state.sprites.stacking) {
    if (sprite->destination != display) update_sprite(state, *sprite, now);
  }
  if (!locked) {
    for (Destination& record : state.changes.destinations) {
      if (record.page != display) recompose(state, record);
    }
  }
  for (Sprite* sprite : state.sprites.stacking) {
    if (sprite->destination == display) update_sprite(state, *sprite, now);
  }
  if (!locked) {
    if (Destination* record = find_destination(state, display)) recompose(state, *record);
  }
  free_unused_destinations(state);
}

}  // namespace tavelo::graphics
