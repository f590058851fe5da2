#pragma once
// One open movie: a game file read by libavformat through the engine's file
// layer, decoded by libavcodec, its pictures scaled by libswscale straight
// into the window picture the host presents and its sound converted by
// libswresample to the mixer's format. Decoding runs on a worker thread in
// real time, or on the calling thread for the virtual clock of headless runs.
// movie::State owns the player; the movie system calls start it, the host
// advances and draws it once per frame-loop cycle.
//
// Time. The movie clock follows the sound the mixer has taken; while no
// sound flows (none in the file, no device, a gap) it runs on the `now`
// milliseconds the caller passes. Pictures show when the clock reaches them.

#include <cstdint>
#include <memory>
#include <span>

#include "graphics/rect.h"
#include "platform/file_system.h"

namespace tavelo::movie {

// Where the movie's sound goes; the host connects it to the mixer. write,
// frames_played and frames_buffered may be called on the decoding thread.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // Starts an empty stream in the mix; false when no sound can play. Gives
  // the mix's rate and channel count.
  virtual bool start(int32_t& rate, int32_t& channels) = 0;
  virtual void stop() = 0;
  // Interleaved signed 16-bit frames; returns the samples taken (whole frames).
  virtual size_t write(std::span<const int16_t> samples) = 0;
  virtual uint64_t frames_played() = 0;
  virtual uint64_t frames_buffered() = 0;
  virtual void set_volume(int32_t volume) = 0;  // 0-1000
};

enum class Decoding { WorkerThread, Caller };

struct Player;
struct PlayerDeleter {
  void operator()(Player* player) const;
};
// Closing joins the worker thread and stops the sound.
using PlayerHandle = std::unique_ptr<Player, PlayerDeleter>;

// Opens the file as a movie. Null when libavformat does not recognise it or
// it has no picture or sound stream that libavcodec decodes. sound may be
// null (silent); it must outlive the player.
PlayerHandle open_player(platform::File file, Decoding decoding, SoundOutput* sound);

struct PlayRange {
  int32_t from_ms = 0;  // movie time to start at (below 0: 0)
  int32_t to_ms = -1;   // movie time to end at; below 0: the file's end
  bool loop = false;    // from the start again at the end, until stopped
};

// (Re)starts playback at range.from_ms: a player that played before is
// rewound, its queued pictures and sound dropped. volume 0-1000.
void start_player(Player& player, PlayRange range, int32_t volume, uint32_t now);

// Brings the player up to `now`: takes the picture that is due (decoding it
// first in Caller mode). True when a picture not drawn yet is ready.
bool advance_player(Player& player, uint32_t now);

// False once the movie has played to its end (or its range's), or its
// decoding made no progress for 2 s of movie time. Looping plays on.
bool player_playing(const Player& player);

// Draws the current picture scaled onto target, a rectangle of a 24-bit
// blue-green-red picture (the parts outside it are cut off). False when
// there is no picture yet.
bool draw_player_picture(Player& player, std::span<uint8_t> pixels, int32_t width, int32_t height,
                         int32_t stride, graphics::Rect target);

// The movie clock in ms since the start (for tests and tools).
int64_t player_clock(const Player& player);

}  // namespace tavelo::movie
