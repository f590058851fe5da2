#pragma once
// The fast-voice filter: plays a voice in about half its time at its own
// pitch by dropping every other stretch of samples, each cut just after a
// falling zero crossing so the joins do not click. Applied by the output
// layer to 16-bit mono chunks of marked voice streams.

#include <cstdint>
#include <span>
#include <vector>

namespace tavelo::audio {

// Replaces output with the shortened chunk. Chunks under 512 samples are
// copied unchanged.
void shorten_voice(std::span<const int16_t> input, std::vector<int16_t>& output);

}  // namespace tavelo::audio
