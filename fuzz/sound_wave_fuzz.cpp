// Arbitrary bytes as a .wav sound, through the decoder a stream uses: every
// chunk must fit a refill and consist of whole frames, and the data must end.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/sound_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::audio;
  Result<SoundDecoder> opened = open_sound("fuzz.wav", std::make_unique<MemorySource>(std::span(data, size)));
  if (!opened.ok()) return 0;
  SoundDecoder& decoder = opened.value;
  if (!is_playable(decoder.format)) __builtin_trap();
  std::vector<uint8_t> chunk;
  // The data is at most the file, and each chunk reads at least one block.
  for (size_t chunks = 0;; ++chunks) {
    SoundChunk result = decode_sound_chunk(decoder, chunk);
    if (chunk.size() > 35280 || chunk.size() % size_t(decoder.format.block_align()) != 0) __builtin_trap();
    if (result.end_of_data) break;
    if (chunks > size) __builtin_trap();
  }
  return 0;
}
