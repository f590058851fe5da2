#include "audio/volume.h"

#include <algorithm>
#include <cmath>

namespace tavelo::audio {

int32_t attenuation_of_volume(int32_t volume) {
  if (volume <= 0) return kSilentAttenuation;
  // log10(v) - 3 rather than log10(v / 1000): powers of ten stay exact, so
  // volume 1 gives -6 000 and not -5 999.
  int32_t attenuation = int32_t(2000.0 * (std::log10(double(volume)) - 3.0));
  if (attenuation > 0) return 0;
  if (attenuation < kSilentAttenuation + 1) return kSilentAttenuation;
  return attenuation;
}

int32_t device_attenuation(int32_t requested, int32_t last_set) {
  if (requested != last_set) return requested;
  int32_t lower = std::max(requested - 1, kSilentAttenuation);
  return lower != last_set ? lower : requested + 1;
}

float gain_of_attenuation(int32_t attenuation) {
  if (attenuation <= kSilentAttenuation) return 0.0f;
  if (attenuation >= 0) return 1.0f;
  return float(std::pow(10.0, double(attenuation) / 2000.0));
}

SideGains side_gains(int32_t attenuation, int32_t pan) {
  pan = std::clamp(pan, -kMaxPan, kMaxPan);
  return SideGains{gain_of_attenuation(attenuation - std::max(pan, 0)),
                   gain_of_attenuation(attenuation + std::min(pan, 0))};
}

}  // namespace tavelo::audio
