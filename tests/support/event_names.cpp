// Event names with a given hash.

#include "tests/support/event_names.h"

#include <array>
#include <vector>

#include "resources/name_hash.h"

namespace tavelo::testing {

std::string event_name_for(uint32_t key, std::string_view prefix) {
  // Each position holds 'a' or 'c' (one bit apart); the hash is affine in
  // those choices, so a basis of their effects reaches any key.
  constexpr size_t kPositions = 48;
  std::string base(prefix);
  base.append(kPositions, 'a');
  uint32_t base_hash = resources::name_hash(base);
  std::vector<uint32_t> effects(kPositions);
  for (size_t i = 0; i < kPositions; ++i) {
    std::string flipped = base;
    flipped[prefix.size() + i] = 'c';
    effects[i] = resources::name_hash(flipped) ^ base_hash;
  }
  // Gaussian elimination: rows[bit] is an effect with that leading bit and
  // the set of positions that make it.
  std::array<uint32_t, 32> rows{};
  std::array<std::vector<bool>, 32> made{};
  for (size_t i = 0; i < kPositions; ++i) {
    uint32_t value = effects[i];
    std::vector<bool> used(kPositions, false);
    used[i] = true;
    for (int bit = 31; bit >= 0 && value; --bit) {
      if (!(value >> bit & 1)) continue;
      if (!rows[size_t(bit)]) {
        rows[size_t(bit)] = value;
        made[size_t(bit)] = used;
        break;
      }
      value ^= rows[size_t(bit)];
      for (size_t j = 0; j < kPositions; ++j) used[j] = used[j] != made[size_t(bit)][j];
    }
  }
  uint32_t wanted = key ^ base_hash;
  std::vector<bool> choice(kPositions, false);
  for (int bit = 31; bit >= 0; --bit) {
    if (!(wanted >> bit & 1) || !rows[size_t(bit)]) continue;
    wanted ^= rows[size_t(bit)];
    for (size_t j = 0; j < kPositions; ++j) choice[j] = choice[j] != made[size_t(bit)][j];
  }
  std::string name = base;
  for (size_t i = 0; i < kPositions; ++i) {
    if (choice[i]) name[prefix.size() + i] = 'c';
  }
  return name;
}

}  // namespace tavelo::testing
