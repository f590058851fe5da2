#pragma once
// Sprites: a rectangle of one page (the source) shown on another page (the
// destination, normally the display page) at a position, with a level, a hide
// counter and a place in the stacking list. This module owns the records, the
// stacking list, creation and release, hiding, the destination counts and the
// start-up and reset lifecycle; sprite_motion.h moves and animates them and
// composition.h draws them. The sprite system calls and the frame cycle call
// in here.
//
// Sprite handles come from their own range, apart from page handles, so a
// call that takes "a page or a sprite" can tell which it was given.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "graphics/page.h"
#include "graphics/rect.h"

namespace tavelo::graphics {

struct State;

inline constexpr int32_t kFirstSpriteHandle = 0x40000000;
// Where a new sprite sits: outside every page, so it shows nothing until moved.
inline constexpr int32_t kOffPage = 100000;
// A level at or above this is not drawn.
inline constexpr int32_t kInvisibleLevel = 255;

// Moves: the fourth argument of sprite_move carries the duration (ms) and the
// easing flags in separate bits.
inline constexpr uint32_t kMoveDurationBits = 0x84FFFFFF;
inline constexpr uint32_t kMoveEasingBits = 0x78000000;
inline constexpr uint32_t kEaseInX = 0x40000000;
inline constexpr uint32_t kEaseOutX = 0x20000000;
inline constexpr uint32_t kEaseInY = 0x10000000;
inline constexpr uint32_t kEaseOutY = 0x08000000;

// A timed effect: not running, running, or (moves and frame lists) past its
// end. Waits last while an effect is Running.
enum class Phase : uint8_t { Off, Running, Passed };

struct SpriteMove {
  Phase phase = Phase::Off;
  uint32_t start = 0;    // ms
  int32_t duration = 0;  // ms
  uint32_t easing = 0;   // kEase* flags
  int32_t start_x = 0;
  int32_t start_y = 0;
  int32_t offset_x = 0;  // target - start
  int32_t offset_y = 0;
};

inline constexpr int32_t kMaxFrames = 63;
// Pattern -2 shows the source rectangle the sprite was created with.
inline constexpr int32_t kHomePattern = -2;

struct AnimationFrame {
  int32_t pattern = 0;
  int32_t duration = 0;  // ms; negative: the animation stops on this frame
};

struct FrameAnimation {
  Phase phase = Phase::Off;  // Passed: wrapped at least once, still running
  uint32_t start = 0;        // when the current frame began
  int32_t index = 0;
  int32_t count = 0;
  // Set by the define calls: an update that finds several frames overdue
  // steps over all of them (at most 100); otherwise one frame per update.
  bool catch_up = false;
  std::array<AnimationFrame, kMaxFrames> frames{};
};

// Level and scale lists hold this many keyframes, the closing one included.
inline constexpr int32_t kMaxKeyframes = 32;

template <typename T>
struct Keyframe {
  T value{};
  int32_t duration = 0;  // ms; below 1 taken at once; negative holds and ends the list
};

template <typename T>
struct KeyframeAnimation {
  Phase phase = Phase::Off;
  uint32_t start = 0;  // when the current keyframe began
  int32_t index = 0;
  T from{};            // the value the current keyframe starts from
  int32_t count = 0;
  std::array<Keyframe<T>, kMaxKeyframes> keys{};
};

enum class Turning : uint8_t { None, Timed, Endless };

// Rotation and scaling. A transformed sprite is drawn from a page of its own
// that holds the rotated and scaled picture; it is rebuilt only when angle,
// scales, position or source change.
// The fields every frame reads come first and the pages (a kilobyte each)
// last, so that a frame of thousands of turning sprites reads few cache lines
// of each.
struct SpriteTransform {
  bool on = false;     // set by the _mod creations, rotations and scales; stays set
  bool valid = false;  // the page matches the sprite
  Rect rect;           // where the page lies on the destination
  Turning turning = Turning::None;
  float angle = 0.0f;  // degrees
  float start_angle = 0.0f;
  float target_angle = 0.0f;
  uint32_t turn_start = 0;
  int32_t turn_duration = 0;
  float scale_x = 1.0f;
  float scale_y = 1.0f;
  KeyframeAnimation<float> scale_x_keys;
  KeyframeAnimation<float> scale_y_keys;
  Page page;   // 24-bit; width 0 until built
  Page alpha;  // its transparency, 255 where nothing was drawn
};

struct Sprite {
  int32_t handle = 0;
  int32_t source_page = 0;
  Rect source;      // the shown rectangle of the source page
  int32_t home_x = 0;  // the source position given at creation
  int32_t home_y = 0;
  int32_t destination = 0;
  int32_t x = kOffPage;  // top-left corner; the centre of a transformed sprite
  int32_t y = kOffPage;
  bool owns_page = false;  // the source page (and its alpha page) go with the sprite
  int32_t level = 0;       // 0 opaque .. 255 not drawn
  int32_t group = 0;       // relative stacking joins the reference's group
  int32_t hide = 0;        // 0 shown; pushes count below 0
  bool persistent = false;  // survives the game reset (sprites alive at the end of start-up)
  SpriteMove move;
  FrameAnimation frames;
  KeyframeAnimation<int32_t> levels;
  SpriteTransform transform;
};

struct SpriteTable {
  // std::map keeps records at stable addresses, so the stacking list can
  // point at them.
  std::map<int32_t, Sprite> sprites;
  std::vector<Sprite*> stacking;  // bottom (drawn first) .. top (drawn last)
  int32_t next_handle = kFirstSpriteHandle;
};

// A new sprite at the top of the stacking list, off the page, showing the
// source rectangle on the destination page. Returns its handle; 0 when the
// destination page does not exist.
int32_t create_sprite(State& state, int32_t source_page, Rect source, int32_t destination);
Sprite* find_sprite(State& state, int32_t handle);
const Sprite* find_sprite(const State& state, int32_t handle);

// Removes a sprite and redraws where it was; an owned source page goes with
// it. A persistent sprite stays (only its place is redrawn).
void release_sprite(State& state, int32_t handle);

// Where the sprite draws on its destination: its transformed page, or the
// source rectangle at its position (centred on it for a transformed sprite
// whose page is not built yet).
Rect sprite_area(const Sprite& sprite);
// Marks that area changed (for a transformed sprite, its page becomes stale).
void mark_sprite(State& state, Sprite& sprite);

enum class Stacking {
  Top,         // head of the list
  Bottom,      // tail of the list
  AboveGroup,  // above the last neighbour upward sharing the reference's group
  BelowGroup,  // below the last neighbour downward sharing the reference's group
  Above,       // directly above the reference
  Below,       // directly below the reference
};
// Moves the sprite in the stacking list; with a reference it joins the
// reference's group. Its area is marked afterwards.
void restack(State& state, Sprite& sprite, Stacking where, Sprite* reference = nullptr);

// Hiding counts: push hides, pop undoes one push (and never leaves a count
// above 0). The area is marked whenever the sprite appears or disappears.
void push_sprite(State& state, Sprite& sprite);
void pop_sprite(State& state, Sprite& sprite);

// End of start-up: every sprite and destination record becomes persistent.
void hold_all_sprites(State& state);
// The game reset: persistent sprites lose their motion and go back off the
// page, the others are freed, unused records go, pages that are not
// engine-held are released and the screen is unlocked.
void reset_all_sprites(State& state);
// Shutdown: every sprite goes, persistent or not.
void free_all_sprites(State& state);
size_t sprite_count(const State& state);

}  // namespace tavelo::graphics
