#pragma once
// What makes sprites change over time: moves with easing, frame animations
// over a sprite sheet, level and scale keyframe lists, rotation, and the
// transformed page that holds a rotated or scaled sprite's picture. The
// system calls start effects; the frame cycle (and sprite_paste) brings a
// sprite up to the current time with update_sprite, which marks whatever
// changed on the sprite's destination. Times are the script clock in ms.

#include <cstdint>
#include <span>

#include "graphics/sprite_table.h"

namespace tavelo::graphics {

struct State;

enum class Axis { X, Y };

// When a list starts: now, or aligned to the clock so that lists of equal
// length run in phase (at total * floor(now / total), total being the sum of
// the given durations).
enum class Start { Now, Synchronised };

// Starts a move from the current position to (x, y). timing carries the
// duration (kMoveDurationBits) and the easing (kMoveEasingBits); 0 jumps at
// the next update.
void start_move(State& state, Sprite& sprite, int32_t x, int32_t y, uint32_t timing, uint32_t now);
// The position scripts read: the shown one after a timed move, else where the
// last move leads (0 for a sprite never moved).
int32_t reported_position(const Sprite& sprite, Axis axis);

// Replaces the frame list and starts it. False when frames beyond the limit
// were dropped (the others stay).
bool define_frames(Sprite& sprite, std::span<const AnimationFrame> frames, Start start, uint32_t now);
// Appends frames, starting the animation when the list was empty.
bool add_frames(Sprite& sprite, std::span<const AnimationFrame> frames, uint32_t now);
void stop_frames(Sprite& sprite);

// Level keyframes from the current level, closed by holding the last one.
// False when keyframes beyond the limit were dropped.
bool define_levels(Sprite& sprite, std::span<const Keyframe<int32_t>> keys, Start start, uint32_t now);
// The level at once (the level animation stops).
void set_level(State& state, Sprite& sprite, int32_t level);
// From the current level to level over time ms, then hold.
void fade_level(Sprite& sprite, int32_t level, int32_t time, uint32_t now);
// The level list becomes the single level, not started.
void hold_level_list(Sprite& sprite, int32_t level);

// Turns to angle (degrees): at once without a time, else over time ms; an
// endless turn keeps the rate for ever. The sprite becomes transformed.
void rotate_sprite(Sprite& sprite, float angle, int32_t time, Turning turning, uint32_t now);
// A scale at once (time 0) or over time ms; the sprite becomes transformed.
void set_scale(Sprite& sprite, Axis axis, float scale, int32_t time, uint32_t now);
bool define_scales(Sprite& sprite, Axis axis, std::span<const Keyframe<float>> keys, Start start, uint32_t now);

// Brings the sprite up to now: move, frame, level, rotation, scales, then
// rebuilds a stale transformed page. Changes are marked on the destination.
void update_sprite(State& state, Sprite& sprite, uint32_t now);

}  // namespace tavelo::graphics
