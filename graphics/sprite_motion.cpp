// Sprite moves, animations, rotation, scales and the transformed page.

#include "graphics/sprite_motion.h"

#include <algorithm>
#include <cmath>

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "graphics/pixel_ops.h"
#include "graphics/scaling.h"
#include "graphics/state.h"

namespace tavelo::graphics {
namespace {

// An update finds at most this many overdue frames and steps over them.
constexpr int kMaxCatchUpFrames = 100;

int32_t clamp32(int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }
int32_t clamp32(double value) {
  if (!(value > double(INT32_MIN))) return INT32_MIN;  // also NaN
  if (value >= double(INT32_MAX)) return INT32_MAX;
  return int32_t(value);  // toward zero
}

// ms since start; a start in the future counts as 0.
int64_t elapsed(uint32_t now, uint32_t start) { return std::max<int64_t>(0, int32_t(now - start)); }

// Levels above 254 are not drawn at all; 255 says so.
int32_t sprite_level(int64_t level) { return level > 254 ? kInvisibleLevel : level < 0 ? 0 : int32_t(level); }

template <typename T>
uint32_t start_time(std::span<const T> entries, Start start, uint32_t now) {
  if (start == Start::Now) return now;
  int64_t total = 0;
  for (const T& entry : entries) total += std::max<int32_t>(entry.duration, 0);
  if (total <= 0) total = 1;
  return uint32_t((uint64_t(now) / uint64_t(total)) * uint64_t(total));
}

// Keyframes from the current value, closed by holding the last one. False
// when the list did not fit.
template <typename T>
bool define_keys(KeyframeAnimation<T>& animation, T current, std::span<const Keyframe<T>> keys, Start start,
                 uint32_t now) {
  if (keys.empty()) {
    animation.phase = Phase::Off;
    animation.count = 0;
    return true;
  }
  bool fits = keys.size() < size_t(kMaxKeyframes);
  size_t kept = std::min(keys.size(), size_t(kMaxKeyframes - 1));
  std::copy_n(keys.begin(), kept, animation.keys.begin());
  animation.keys[kept] = {animation.keys[kept - 1].value, -1};
  animation.count = int32_t(kept + 1);
  animation.index = 0;
  animation.from = current;
  animation.start = start_time(keys.first(kept), start, now);
  animation.phase = Phase::Running;
  return fits;
}

// From the current value to target over time ms, then hold.
template <typename T>
void two_key_list(KeyframeAnimation<T>& animation, T current, T target, int32_t time, uint32_t now) {
  animation.keys[0] = {target, time};
  animation.keys[1] = {target, -1};
  animation.count = 2;
  animation.index = 0;
  animation.from = current;
  animation.start = now;
  animation.phase = Phase::Running;
}

int32_t interpolate(int32_t from, int32_t to, int64_t done, int64_t total) {
  return clamp32(int64_t(from) + (int64_t(to) - from) * done / total);
}
float interpolate(float from, float to, int64_t done, int64_t total) {
  return from + (to - from) * float(double(done) / double(total));
}

// Runs a keyframe list up to now. A keyframe shorter than 1 ms takes its
// value at once; a negative one holds it and ends the list.
template <typename T>
void advance_keys(KeyframeAnimation<T>& animation, T& value, uint32_t now) {
  // Every pass but the last moves to the next keyframe, so the list bounds the loop.
  for (int pass = 0; pass <= kMaxKeyframes && animation.phase == Phase::Running; ++pass) {
    if (animation.index >= animation.count) {
      animation.phase = Phase::Off;
      break;
    }
    const Keyframe<T>& key = animation.keys[size_t(animation.index)];
    if (key.duration < 1) {
      value = key.value;
      if (key.duration < 0) {
        animation.phase = Phase::Off;
        break;
      }
      animation.from = key.value;
      ++animation.index;
      continue;
    }
    int64_t done = elapsed(now, animation.start);
    if (done >= key.duration) {
      value = key.value;
      animation.from = key.value;
      animation.start += uint32_t(key.duration);
      ++animation.index;
      continue;
    }
    value = interpolate(animation.from, key.value, done, key.duration);
    break;
  }
}

// The share of the move done: ease-in p^2, ease-out 1 - (1 - p)^2, else linear.
double move_factor(int64_t done, int64_t duration, bool ease_in, bool ease_out) {
  double percent = double(done) * 100.0 / double(duration);
  if (ease_in) return percent * percent * 0.0001;
  if (ease_out) return (10000.0 - (percent - 100.0) * (percent - 100.0)) * 0.0001;
  return double(done) / double(duration);
}

void set_position(State& state, Sprite& sprite, int32_t x, int32_t y) {
  if (x == sprite.x && y == sprite.y) return;
  if (sprite.transform.on) {
    // The rebuild marks the old place and the new one.
    sprite.transform.valid = false;
  } else {
    mark_sprite(state, sprite);
  }
  sprite.x = x;
  sprite.y = y;
  if (!sprite.transform.on) mark_sprite(state, sprite);
}

void update_move(State& state, Sprite& sprite, uint32_t now) {
  SpriteMove& move = sprite.move;
  if (move.phase != Phase::Running) return;
  int64_t done = elapsed(now, move.start);
  double fx = 1.0, fy = 1.0;
  if (move.duration <= 0 || done >= move.duration) {
    move.phase = Phase::Passed;
  } else {
    fx = move_factor(done, move.duration, move.easing & kEaseInX, move.easing & kEaseOutX);
    fy = move_factor(done, move.duration, move.easing & kEaseInY, move.easing & kEaseOutY);
  }
  set_position(state, sprite, clamp32(double(move.start_x) + double(move.offset_x) * fx),
               clamp32(double(move.start_y) + double(move.offset_y) * fy));
}

// Chooses the source rectangle for a pattern: cells of the sprite's size
// read left to right, top to bottom over the source page.
void show_pattern(State& state, Sprite& sprite, int32_t pattern) {
  int64_t x = sprite.home_x, y = sprite.home_y;
  if (pattern != kHomePattern) {
    const Page* page = find_page(state, sprite.source_page);
    if (!page) return;
    int64_t width = std::max(sprite.source.width, 1), height = std::max(sprite.source.height, 1);
    int64_t across = std::max<int64_t>(1, page->width / width);
    x = width * (pattern % across);
    y = (pattern / across) * height;
  }
  if (x == sprite.source.x && y == sprite.source.y) return;
  sprite.source.x = clamp32(x);
  sprite.source.y = clamp32(y);
  if (sprite.transform.on) {
    sprite.transform.valid = false;
  } else {
    mark_sprite(state, sprite);
  }
}

void update_frames(State& state, Sprite& sprite, uint32_t now) {
  FrameAnimation& animation = sprite.frames;
  if (animation.phase == Phase::Off || animation.count <= 0) return;
  if (animation.index >= animation.count) animation.index = 0;
  int steps = animation.catch_up ? kMaxCatchUpFrames : 1;
  for (int step = 0; step < steps; ++step) {
    const AnimationFrame& frame = animation.frames[size_t(animation.index)];
    if (frame.duration < 0 || elapsed(now, animation.start) < frame.duration) break;
    // Catching up keeps the list's phase; otherwise the next frame starts now.
    animation.start = animation.catch_up ? animation.start + uint32_t(frame.duration) : now;
    if (++animation.index >= animation.count) {
      animation.index = 0;
      animation.phase = Phase::Passed;
    }
  }
  const AnimationFrame& shown = animation.frames[size_t(animation.index)];
  show_pattern(state, sprite, shown.pattern);
  if (shown.duration < 0) animation.phase = Phase::Off;
}

void update_level(State& state, Sprite& sprite, uint32_t now) {
  if (sprite.levels.phase != Phase::Running) return;
  int32_t level = sprite.level;
  advance_keys(sprite.levels, level, now);
  level = sprite_level(level);
  if (level == sprite.level) return;
  sprite.level = level;
  mark_sprite(state, sprite);
}

void update_rotation(SpriteTransform& transform, uint32_t now) {
  if (transform.turning == Turning::None) return;
  int64_t done = elapsed(now, transform.turn_start);
  float angle = transform.target_angle;
  if (transform.turn_duration <= 0 || (transform.turning == Turning::Timed && done >= transform.turn_duration)) {
    transform.turning = Turning::None;
  } else {
    // An endless turn goes on past the target at the same rate.
    angle = interpolate(transform.start_angle, transform.target_angle, done, transform.turn_duration);
  }
  if (angle != transform.angle) {
    transform.angle = angle;
    transform.valid = false;
  }
}

void update_scale(SpriteTransform& transform, KeyframeAnimation<float>& keys, float& scale, uint32_t now) {
  if (keys.phase != Phase::Running) return;
  float value = scale;
  advance_keys(keys, value, now);
  if (value != scale) {
    scale = value;
    transform.valid = false;
  }
}

Rect intersect(Rect a, Rect b) {
  int64_t left = std::max<int64_t>(a.x, b.x), top = std::max<int64_t>(a.y, b.y);
  int64_t right = std::min<int64_t>(int64_t(a.x) + a.width, int64_t(b.x) + b.width);
  int64_t bottom = std::min<int64_t>(int64_t(a.y) + a.height, int64_t(b.y) + b.height);
  if (right <= left || bottom <= top) return {};
  return {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

// Draws the rotated and scaled source into a square page of whole hundreds
// of pixels around the sprite's centre, large enough for any angle, cut to
// the destination page. Sizes move in steps of 100, so small changes of
// scale seldom change the page's size.
void rebuild_transform(State& state, Sprite& sprite) {
  SpriteTransform& transform = sprite.transform;
  mark_changed(state, sprite.destination, sprite_area(sprite));
  transform.valid = true;

  double half_width = double(sprite.source.width / 2), half_height = double(sprite.source.height / 2);
  double radius = std::sqrt(half_width * half_width + half_height * half_height);
  // Scales are bounded here only so the arithmetic stays in range; the page
  // is cut to the destination below, so the allocation is bounded anyway.
  auto reach = [&](float scale) {
    double value = std::trunc(std::min(radius * std::fabs(double(scale)), 1e7));
    return int64_t(std::isfinite(value) ? value : 1e7) + 1;
  };
  int64_t cells = (std::max(reach(transform.scale_x), reach(transform.scale_y)) + 50) / 50;
  Rect square{clamp32(int64_t(sprite.x) - 50 * cells), clamp32(int64_t(sprite.y) - 50 * cells),
              clamp32(100 * cells), clamp32(100 * cells)};
  const Page* destination = find_page(state, sprite.destination);
  Rect cut = destination ? intersect(square, {0, 0, destination->width, destination->height}) : Rect{};
  if (cut.empty()) {
    // Nothing of it shows. The pages go once: a page record is large, and
    // clearing both again every frame would cost a sprite turning off the
    // page more than all the rest of its update.
    if (transform.page.width != 0 || transform.alpha.width != 0) {
      transform.page = {};
      transform.alpha = {};
    }
    transform.rect = {};
    return;
  }

  if (transform.page.width == cut.width && transform.page.height == cut.height) {
    std::fill(transform.page.pixels.begin(), transform.page.pixels.end(), uint8_t(0));
  } else {
    transform.page = make_page(cut.width, cut.height, Depth::Rgb24);
    transform.alpha = make_page(cut.width, cut.height, Depth::Indexed8);
  }
  std::fill(transform.alpha.pixels.begin(), transform.alpha.pixels.end(), uint8_t(255));
  transform.rect = cut;

  const Page* source = find_page(state, sprite.source_page);
  if (source) {
    const Page* source_alpha = find_alpha(state, *source);
    Rect target{int32_t(int64_t(square.x) - cut.x), int32_t(int64_t(square.y) - cut.y), square.width, square.height};
    rotated_copy(*source, source_alpha, sprite.source, transform.page, &transform.alpha, target, transform.angle,
                 transform.scale_x, transform.scale_y);
  }
  mark_changed(state, sprite.destination, cut);
}

}  // namespace

void start_move(State& state, Sprite& sprite, int32_t x, int32_t y, uint32_t timing, uint32_t now) {
  SpriteMove& move = sprite.move;
  int64_t current_x = sprite.x, current_y = sprite.y;
  // A jump still pending counts as done.
  if (move.phase == Phase::Running && move.duration == 0) {
    current_x = int64_t(move.start_x) + move.offset_x;
    current_y = int64_t(move.start_y) + move.offset_y;
  }
  mark_sprite(state, sprite);
  move.start_x = clamp32(current_x);
  move.start_y = clamp32(current_y);
  move.offset_x = clamp32(int64_t(x) - move.start_x);
  move.offset_y = clamp32(int64_t(y) - move.start_y);
  move.duration = int32_t(timing & kMoveDurationBits);
  move.easing = timing & kMoveEasingBits;
  move.start = now;
  move.phase = Phase::Running;
}

int32_t reported_position(const Sprite& sprite, Axis axis) {
  const SpriteMove& move = sprite.move;
  if (move.duration != 0) return axis == Axis::X ? sprite.x : sprite.y;
  return axis == Axis::X ? clamp32(int64_t(move.start_x) + move.offset_x)
                         : clamp32(int64_t(move.start_y) + move.offset_y);
}

bool define_frames(Sprite& sprite, std::span<const AnimationFrame> frames, Start start, uint32_t now) {
  FrameAnimation& animation = sprite.frames;
  if (frames.empty()) {
    stop_frames(sprite);
    return true;
  }
  size_t kept = std::min(frames.size(), size_t(kMaxFrames));
  std::copy_n(frames.begin(), kept, animation.frames.begin());
  animation.count = int32_t(kept);
  animation.index = 0;
  animation.start = start_time(frames.first(kept), start, now);
  animation.catch_up = true;
  animation.phase = Phase::Running;
  return kept == frames.size();
}

bool add_frames(Sprite& sprite, std::span<const AnimationFrame> frames, uint32_t now) {
  FrameAnimation& animation = sprite.frames;
  bool was_empty = animation.count == 0;
  size_t room = size_t(kMaxFrames - animation.count);
  size_t kept = std::min(frames.size(), room);
  std::copy_n(frames.begin(), kept, animation.frames.begin() + animation.count);
  animation.count += int32_t(kept);
  if (was_empty && animation.count > 0) {
    animation.index = 0;
    animation.start = now;
    animation.phase = Phase::Running;
  }
  return kept == frames.size();
}

void stop_frames(Sprite& sprite) { sprite.frames.phase = Phase::Off; }

bool define_levels(Sprite& sprite, std::span<const Keyframe<int32_t>> keys, Start start, uint32_t now) {
  return define_keys(sprite.levels, sprite.level, keys, start, now);
}

void set_level(State& state, Sprite& sprite, int32_t level) {
  // A level set outright wins over a running fade.
  sprite.levels.phase = Phase::Off;
  level = sprite_level(level);
  if (level == sprite.level) return;
  sprite.level = level;
  mark_sprite(state, sprite);
}

void fade_level(Sprite& sprite, int32_t level, int32_t time, uint32_t now) {
  two_key_list(sprite.levels, sprite.level, level, time, now);
}

void hold_level_list(Sprite& sprite, int32_t level) {
  sprite.levels.keys[0] = {level, -1};
  sprite.levels.count = 1;
  sprite.levels.index = 0;
}

void rotate_sprite(Sprite& sprite, float angle, int32_t time, Turning turning, uint32_t now) {
  SpriteTransform& transform = sprite.transform;
  transform.on = true;
  if (time <= 0 || turning == Turning::None) {
    transform.turning = Turning::None;
    if (angle != transform.angle) transform.valid = false;
    transform.angle = angle;
    return;
  }
  transform.start_angle = transform.angle;
  transform.target_angle = angle;
  transform.turn_start = now;
  transform.turn_duration = time;
  transform.turning = turning;
}

void set_scale(Sprite& sprite, Axis axis, float scale, int32_t time, uint32_t now) {
  SpriteTransform& transform = sprite.transform;
  transform.on = true;
  KeyframeAnimation<float>& keys = axis == Axis::X ? transform.scale_x_keys : transform.scale_y_keys;
  float& current = axis == Axis::X ? transform.scale_x : transform.scale_y;
  if (time != 0) {
    two_key_list(keys, current, scale, time, now);
    return;
  }
  keys.phase = Phase::Off;
  if (scale != current) transform.valid = false;
  current = scale;
}

bool define_scales(Sprite& sprite, Axis axis, std::span<const Keyframe<float>> keys, Start start, uint32_t now) {
  SpriteTransform& transform = sprite.transform;
  transform.on = true;
  return axis == Axis::X ? define_keys(transform.scale_x_keys, transform.scale_x, keys, start, now)
                         : define_keys(transform.scale_y_keys, transform.scale_y, keys, start, now);
}

void update_sprite(State& state, Sprite& sprite, uint32_t now) {
  update_move(state, sprite, now);
  update_frames(state, sprite, now);
  update_level(state, sprite, now);
  SpriteTransform& transform = sprite.transform;
  update_rotation(transform, now);
  update_scale(transform, transform.scale_x_keys, transform.scale_x, now);
  update_scale(transform, transform.scale_y_keys, transform.scale_y, now);
  if (transform.on && !transform.valid) rebuild_transform(state, sprite);
}

}  // namespace tavelo::graphics
