#pragma once
// A stand-in for the mixer that takes a movie's sound as a made-up clock
// plays it: writes fill a buffer of `capacity` frames, play_for() drains it
// at the chosen rate. For the movie benchmark and fuzz target, which drive
// the player on their own clock without a sound device.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "movie/player.h"

namespace tavelo::testing {

class ClockedSound final : public movie::SoundOutput {
 public:
  ClockedSound(int32_t rate, uint64_t capacity) : m_rate(rate), m_capacity(capacity) {}

  bool start(int32_t& rate, int32_t& channels) override {
    rate = m_rate;
    channels = 2;
    m_written = m_played = 0;
    return true;
  }
  void stop() override {}
  size_t write(std::span<const int16_t> samples) override {
    uint64_t frames = std::min<uint64_t>(samples.size() / 2, m_capacity - (m_written - m_played));
    m_written += frames;
    return size_t(frames) * 2;
  }
  uint64_t frames_played() override { return m_played; }
  uint64_t frames_buffered() override { return m_written - m_played; }
  void set_volume(int32_t) override {}
  void play_for(uint32_t milliseconds) {
    m_played = std::min(m_written, m_played + uint64_t(milliseconds) * uint64_t(m_rate) / 1000);
  }

 private:
  int32_t m_rate;
  uint64_t m_capacity;
  uint64_t m_written = 0;
  uint64_t m_played = 0;
};

}  // namespace tavelo::testing
