#include "audio/ogg_vorbis.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>

namespace tavelo::audio {

struct OggDecoder {
  std::unique_ptr<ByteSource> source;
  uint64_t position = 0;  // where the library's next read starts
  OggVorbis_File file{};
  bool opened = false;
  PcmFormat format;
  bool exhausted = false;
  // The library reported a decoding error: its state may be broken, so the
  // stream is never read or sought again (a seek after some errors lets the
  // next read divide by zero inside the library).
  bool failed = false;

  ~OggDecoder() {
    if (opened) ov_clear(&file);
  }
};

void OggDecoderDeleter::operator()(OggDecoder* decoder) const { delete decoder; }

namespace {

// Holes (lost pages) tolerated within one chunk before the data counts as ended.
constexpr int kMaxHolesPerChunk = 64;

// Adding and taking away 1.5 * 2^23 rounds a float below 2^22 in magnitude
// to the nearest integer (ties to even, as lrint does) without a library call
// per sample, so the conversion loop stays branch-free.
constexpr float kRoundingOffset = 12582912.0f;

// A decoded sample as 16-bit PCM: scaled by 32 767 and clipped; NaN (which
// only a damaged stream can give) becomes silence.
inline int16_t to_pcm16(float sample) {
  float scaled = sample * 32767.0f;
  scaled = scaled == scaled ? std::min(std::max(scaled, -32768.0f), 32767.0f) : 0.0f;
  return int16_t(int32_t((scaled + kRoundingOffset) - kRoundingOffset));
}

size_t read_callback(void* buffer, size_t size, size_t count, void* data) {
  OggDecoder& decoder = *static_cast<OggDecoder*>(data);
  if (size == 0 || count == 0) return 0;
  size_t wanted = size * count;
  if (wanted / size != count) return 0;
  size_t got = decoder.source->read_at(decoder.position, std::span<uint8_t>(static_cast<uint8_t*>(buffer), wanted));
  decoder.position += got;
  return got / size;
}

int seek_callback(void* data, ogg_int64_t offset, int whence) {
  OggDecoder& decoder = *static_cast<OggDecoder*>(data);
  int64_t base = 0;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = int64_t(decoder.position); break;
    case SEEK_END: base = int64_t(decoder.source->size()); break;
    default: return -1;
  }
  if ((offset < 0 && base < -offset) || (offset > 0 && base > INT64_MAX - offset)) return -1;
  decoder.position = uint64_t(base + offset);
  return 0;
}

long tell_callback(void* data) { return long(static_cast<OggDecoder*>(data)->position); }

}  // namespace

Result<OggDecoderPtr> open_ogg(std::unique_ptr<ByteSource> source) {
  OggDecoderPtr decoder(new OggDecoder);
  decoder->source = std::move(source);
  // The library owns nothing of ours: the decoder closes its source itself.
  ov_callbacks callbacks{read_callback, seek_callback, nullptr, tell_callback};
  int result = ov_open_callbacks(decoder.get(), &decoder->file, nullptr, 0, callbacks);
  if (result != 0) return {result == OV_EREAD ? Status::IoError : Status::NotThisKind};
  decoder->opened = true;
  const vorbis_info* info = ov_info(&decoder->file, -1);
  if (!info) return {Status::BadFormat};
  decoder->format = PcmFormat{info->channels, int32_t(std::clamp<long>(info->rate, 0, INT32_MAX)), 16};
  if (!is_playable(decoder->format)) return {Status::BadFormat};
  return {Status::Ok, std::move(decoder)};
}

PcmFormat ogg_format(const OggDecoder& decoder) { return decoder.format; }

OggChunk decode_ogg(OggDecoder& decoder, size_t max_bytes, std::vector<uint8_t>& output) {
  OggChunk chunk;
  const int32_t channels = decoder.format.channels;
  const size_t frame_bytes = size_t(decoder.format.block_align());
  size_t frames_wanted = max_bytes / frame_bytes;
  size_t frames = 0;
  int holes = 0;
  size_t start = output.size();
  output.resize(start + frames_wanted * frame_bytes);
  while (frames < frames_wanted && !decoder.exhausted) {
    float** pcm = nullptr;
    int link = 0;
    long count = ov_read_float(&decoder.file, &pcm, int(std::min<size_t>(frames_wanted - frames, 4096)), &link);
    if (count == OV_HOLE && ++holes <= kMaxHolesPerChunk) continue;
    if (count <= 0) {
      decoder.exhausted = true;
      decoder.failed = count < 0;
      break;
    }
    const vorbis_info* info = ov_info(&decoder.file, link);
    if (!info || info->channels != channels || info->rate != decoder.format.sample_rate) {
      decoder.exhausted = true;
      break;
    }
    count = std::min<long>(count, long(frames_wanted - frames));
    uint8_t* out = output.data() + start + frames * frame_bytes;
    for (int32_t c = 0; c < channels; ++c) {
      const float* in = pcm[c];
      uint8_t* to = out + 2 * c;
      for (long i = 0; i < count; ++i, to += frame_bytes) {
        uint16_t sample = uint16_t(to_pcm16(in[i]));
        to[0] = uint8_t(sample);  // little-endian, whatever the host
        to[1] = uint8_t(sample >> 8);
      }
    }
    frames += size_t(count);
  }
  output.resize(start + frames * frame_bytes);
  chunk.bytes = frames * frame_bytes;
  chunk.end_of_data = decoder.exhausted;
  return chunk;
}

bool rewind_ogg(OggDecoder& decoder) {
  if (decoder.failed || ov_pcm_seek(&decoder.file, 0) != 0) {
    decoder.exhausted = true;
    return false;
  }
  decoder.exhausted = false;
  return true;
}

}  // namespace tavelo::audio
