#pragma once
// Ogg Vorbis decoding to interleaved signed 16-bit PCM through libvorbisfile,
// reading the file through a ByteSource so that a sound inside an archive is
// streamed, never loaded whole. Used by the sound decoder and the fuzz target.

#include <cstddef>
#include <memory>
#include <vector>

#include "audio/byte_source.h"
#include "audio/sound_format.h"

namespace tavelo::audio {

struct OggDecoder;
struct OggDecoderDeleter {
  void operator()(OggDecoder* decoder) const;
};
using OggDecoderPtr = std::unique_ptr<OggDecoder, OggDecoderDeleter>;

// Opens the stream and reads its three header packets. Only mono and stereo
// streams at a playable rate are accepted.
[[nodiscard]] Result<OggDecoderPtr> open_ogg(std::unique_ptr<ByteSource> source);

// 16-bit PCM, the stream's channels and rate.
PcmFormat ogg_format(const OggDecoder& decoder);

struct OggChunk {
  size_t bytes = 0;         // appended to the output
  bool end_of_data = false;  // the stream is exhausted (or unreadable from here on)
};

// Decodes up to max_bytes (whole frames) and appends them to output. Each float
// sample becomes sample * 32767, clipped to the 16-bit range. A later link of
// a chained file with another channel count or rate ends the data.
OggChunk decode_ogg(OggDecoder& decoder, size_t max_bytes, std::vector<uint8_t>& output);

// Back to the first sample; false when the stream cannot seek there, or when
// its data ended in a decoding error (such a stream is not read again).
[[nodiscard]] bool rewind_ogg(OggDecoder& decoder);

}  // namespace tavelo::audio
