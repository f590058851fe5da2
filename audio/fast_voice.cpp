#include "audio/fast_voice.h"

namespace tavelo::audio {
namespace {

constexpr size_t kMinStretch = 256;
constexpr size_t kWindow = 512;

// Length of the stretch starting at start: it ends just after the steepest
// falling zero crossing among samples start+256 ... start+511 (the first of
// equal drops wins), or after 256 samples when there is no crossing there.
size_t stretch_length(std::span<const int16_t> samples, size_t start) {
  size_t length = kMinStretch;
  int32_t best_drop = -1;
  for (size_t j = kMinStretch; j + 1 < kWindow; ++j) {
    int32_t here = samples[start + j];
    int32_t next = samples[start + j + 1];
    if (here >= 0 && next < 0 && here - next > best_drop) {
      best_drop = here - next;
      length = j + 1;
    }
  }
  return length;
}

}  // namespace

void shorten_voice(std::span<const int16_t> input, std::vector<int16_t>& output) {
  output.clear();
  if (input.size() < kWindow) {
    output.assign(input.begin(), input.end());
    return;
  }
  size_t position = 0;
  while (input.size() - position >= kWindow) {
    position += stretch_length(input, position);  // dropped
    if (input.size() - position < kWindow) break;
    size_t kept = stretch_length(input, position);
    output.insert(output.end(), input.begin() + std::ptrdiff_t(position),
                  input.begin() + std::ptrdiff_t(position + kept));
    position += kept;
  }
}

}  // namespace tavelo::audio
