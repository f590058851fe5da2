#pragma once
// The engine's pseudo-random generator: a 15-bit linear congruential
// generator (0..32767), seeded with the time at start-up. Kept per engine so
// that tests can seed it and runs can be replayed.

#include <cstdint>

namespace tavelo::script {

struct RandomGenerator {
  uint32_t state = 1;
};

inline void seed_random(RandomGenerator& generator, uint32_t seed) { generator.state = seed; }

// 0..32767.
inline int32_t next_random(RandomGenerator& generator) {
  generator.state = generator.state * 214013u + 2531011u;
  return int32_t((generator.state >> 16) & 0x7FFF);
}

}  // namespace tavelo::script
