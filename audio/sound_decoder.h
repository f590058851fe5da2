#pragma once
// One playable sound file, whatever its kind: opens a WAV or Ogg Vorbis file
// by its name and hands out its PCM one refill chunk at a time. The output
// layer keeps one decoder per stream (owned by the stream record, used on the
// streaming pass only); the fuzz targets drive it over memory.

#include <memory>
#include <string_view>
#include <vector>

#include "audio/byte_source.h"
#include "audio/ogg_vorbis.h"
#include "audio/sound_format.h"
#include "audio/wave.h"

namespace tavelo::audio {

struct SoundDecoder {
  PcmFormat format;           // of the decoded PCM
  uint32_t output_chunk = 0;  // bytes a full chunk decodes to (at most)

  // WAV: the source, its layout and how far the data has been read.
  std::unique_ptr<ByteSource> source;
  WaveInfo wave;
  uint32_t read_position = 0;  // bytes of the data consumed
  std::vector<uint8_t> input;  // one input chunk

  // Ogg Vorbis (owns its source).
  OggDecoderPtr ogg;
};

// A name containing ".wav" (any letter case) is parsed as WAV; failing that, a
// name containing ".ogg" is opened as Ogg Vorbis. Any other name, or bytes
// that fit neither, give a failure and no decoder.
[[nodiscard]] Result<SoundDecoder> open_sound(std::string_view name, std::unique_ptr<ByteSource> source);

struct SoundChunk {
  size_t bytes = 0;          // decoded into the output
  bool read_failed = false;  // the file gave fewer bytes than its header promised
  bool end_of_data = false;  // the data is used up; rewind_sound starts it again
};

// Decodes the next chunk into output, replacing its content.
SoundChunk decode_sound_chunk(SoundDecoder& decoder, std::vector<uint8_t>& output);

// Back to the start of the data; false when an Ogg stream cannot seek there
// or ended in a decoding error (it then stays at its end).
bool rewind_sound(SoundDecoder& decoder);

}  // namespace tavelo::audio
