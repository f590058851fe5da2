#include "audio/sound_decoder.h"

#include <algorithm>

namespace tavelo::audio {
namespace {

// Ogg refills produce 35 280 bytes, the PCM refill size.
constexpr uint32_t kOggChunkBytes = 35280;

bool contains_ascii_caseless(std::string_view text, std::string_view part) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  if (part.size() > text.size()) return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < part.size() && lower(text[i + j]) == part[j]) ++j;
    if (j == part.size()) return true;
  }
  return false;
}

}  // namespace

Result<SoundDecoder> open_sound(std::string_view name, std::unique_ptr<ByteSource> source) {
  Status status = Status::NotThisKind;
  if (contains_ascii_caseless(name, ".wav")) {
    Result<WaveInfo> wave = parse_wave(*source);
    if (wave.ok()) {
      Result<SoundDecoder> result;
      SoundDecoder& decoder = result.value;
      decoder.wave = std::move(wave.value);
      decoder.format = decoder.wave.output;
      decoder.output_chunk = decoder.wave.output_chunk;
      decoder.source = std::move(source);
      return result;
    }
    status = wave.status;
  }
  if (contains_ascii_caseless(name, ".ogg")) {
    Result<OggDecoderPtr> ogg = open_ogg(std::move(source));
    if (ogg.ok()) {
      Result<SoundDecoder> result;
      result.value.format = ogg_format(*ogg.value);
      result.value.output_chunk = kOggChunkBytes;
      result.value.ogg = std::move(ogg.value);
      return result;
    }
    status = ogg.status;
  }
  return {status};
}

SoundChunk decode_sound_chunk(SoundDecoder& decoder, std::vector<uint8_t>& output) {
  SoundChunk chunk;
  output.clear();
  if (decoder.ogg) {
    OggChunk ogg = decode_ogg(*decoder.ogg, kOggChunkBytes, output);
    chunk.bytes = ogg.bytes;
    chunk.end_of_data = ogg.end_of_data;
    return chunk;
  }
  const WaveInfo& wave = decoder.wave;
  if (decoder.read_position >= wave.data_size) {
    chunk.end_of_data = true;
    return chunk;
  }
  uint32_t wanted = std::min(wave.input_chunk, wave.data_size - decoder.read_position);
  decoder.input.resize(wanted);
  size_t got = decoder.source->read_at(wave.data_offset + decoder.read_position, decoder.input);
  // A failed read still moves on, so an unreadable stretch costs one chunk of
  // silence rather than stalling the stream on it for ever.
  decoder.read_position += wanted;
  chunk.end_of_data = decoder.read_position >= wave.data_size;
  if (got < wanted) {
    chunk.read_failed = true;
    return chunk;
  }
  decode_wave_chunk(wave, decoder.input, output);
  chunk.bytes = output.size();
  return chunk;
}

bool rewind_sound(SoundDecoder& decoder) {
  if (decoder.ogg) return rewind_ogg(*decoder.ogg);
  decoder.read_position = 0;
  return true;
}

}  // namespace tavelo::audio
