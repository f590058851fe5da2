#pragma once
// Loudness in the units the audio device speaks: attenuation in hundredths of
// a decibel (0 = full, -10 000 = silent) for volume, and the same unit for pan
// (-10 000 silences the right side, 10 000 the left). Pure functions used by
// the output layer (volume requests) and the mixer (gains).

#include <cstdint>

namespace tavelo::audio {

inline constexpr int32_t kSilentAttenuation = -10000;
inline constexpr int32_t kMaxPan = 10000;

// Stream volume 0-1000 (script scale) to attenuation: 2000 * log10(v / 1000)
// truncated; 0 and below are silent, and so is anything under -9 999.
int32_t attenuation_of_volume(int32_t volume);

// The value a buffer is actually given when attenuation is requested and
// last_set was the value it got last time: a repeat is nudged one step down
// (or up at the bottom), so the device always sees a change.
int32_t device_attenuation(int32_t requested, int32_t last_set);

// Linear amplitude for an attenuation; exactly 1 at 0 and exactly 0 at or
// below -10 000.
float gain_of_attenuation(int32_t attenuation);

struct SideGains {
  float left = 1;
  float right = 1;
};
// Pan attenuates the far side by its magnitude, on top of the volume.
SideGains side_gains(int32_t attenuation, int32_t pan);

}  // namespace tavelo::audio
