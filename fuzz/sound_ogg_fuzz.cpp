// Arbitrary bytes as an .ogg sound, through the decoder a stream uses and
// played as a looping stream plays it: whatever opens decodes whole frames of
// its own format and is rewound at every end, unless the end was an error.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/sound_decoder.h"

// Debian's libvorbisfile 1.3.7 loses 8 bytes inside ov_open_callbacks on some
// malformed streams (its own clean-up path, before we own anything). The
// library is not ours to fix; leaks with any other origin are still reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbisfile.so"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::audio;
  Result<SoundDecoder> opened = open_sound("fuzz.ogg", std::make_unique<MemorySource>(std::span(data, size)));
  if (!opened.ok()) return 0;
  SoundDecoder& decoder = opened.value;
  if (!is_playable(decoder.format) || decoder.format.bits_per_sample != 16) __builtin_trap();
  std::vector<uint8_t> chunk;
  // Bounded: a crafted stream may decode to far more samples than it has
  // bytes, and a looping one never ends.
  for (int chunks = 0; chunks < 256; ++chunks) {
    SoundChunk result = decode_sound_chunk(decoder, chunk);
    if (chunk.size() > 35280 || chunk.size() % size_t(decoder.format.block_align()) != 0) __builtin_trap();
    if (result.end_of_data && !rewind_sound(decoder)) break;
  }
  return 0;
}
