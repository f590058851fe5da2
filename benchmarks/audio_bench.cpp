// Sound output costs.
//
// Mixing runs in two places, measured apart. Both use 64 playing device
// buffers of mixed formats (mono and stereo, 8 and 16 bits, 11-48 kHz), each
// at its own volume, pan and playback frequency, mixed into 44.1 kHz stereo.
// With the second argument 1 every buffer plays off the device rate, so
// every one is resampled; with 0 they all play at 44.1 kHz, the common case.
// "core_share" is CPU seconds per second of sound: the share of one core.
//  - BM_Mix64Streams: the audio callback, rendering as the device pulls it
//    (argument 1: frames per call). It only sums, scales and pans frames the
//    streaming thread converted; the benchmark converts more, untimed, when
//    they run out. The aim is under 0.02.
//  - BM_Convert64Streams: the streaming thread's share, converting every
//    buffer's ring to the device rate as each 100 ms pass does; the mixing in
//    between is untimed.
//
// Decoding: an Ogg Vorbis file (20 s of stereo tones and noise, made by sox
// and oggenc) decoded to 16-bit PCM by our decoder, read through the file
// layer a chunk at a time as the streaming thread does, against the oggdec
// program decoding the same file to raw PCM. Both in real time; the aim is
// that ours is no slower.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/device.h"
#include "audio/output.h"
#include "audio/sound_decoder.h"
#include "platform/file_system.h"

namespace {

using namespace tavelo;

constexpr int kDeviceRate = 44100;

// 64 playing buffers of noise, each with the streaming thread's converter.
struct SixtyFourStreams {
  audio::OutputState output;
  std::vector<audio::RateConverter> converters = std::vector<audio::RateConverter>(64);

  explicit SixtyFourStreams(bool resampled) {
    audio::Device& device = output.device;
    device.format = {kDeviceRate, 2};
    device.ready = true;
    const audio::PcmFormat formats[] = {{2, 44100, 16}, {1, 22050, 16}, {2, 48000, 16}, {1, 11025, 8}, {2, 32000, 16}};
    uint32_t noise = 1;
    for (int i = 0; i < 64; ++i) {
      audio::PcmFormat format = formats[i % 5];
      audio::DeviceBuffer& buffer = audio::create_device_buffer(device, format, i + 1);
      for (uint8_t& byte : buffer.ring) {
        noise = noise * 1664525u + 1013904223u;
        byte = uint8_t(noise >> 24);
      }
      audio::set_buffer_attenuation(buffer, -100 * (i % 30));
      audio::set_buffer_pan(buffer, (i * 613) % 20001 - 10000);
      audio::set_buffer_frequency(buffer, resampled ? format.sample_rate * (90 + i % 21) / 100 : kDeviceRate);
      buffer.playing = true;
    }
  }
  // What a streaming pass does for the mixer: every buffer topped up.
  void convert() {
    audio::Device& device = output.device;
    for (size_t i = 0; i < device.buffers.size(); ++i) {
      audio::DeviceBuffer& buffer = *device.buffers[i];
      audio::convert_ahead(converters[i], buffer, kDeviceRate, audio::frames_to_convert(device, buffer));
      audio::hand_over_converted(buffer, converters[i]);
    }
  }
  uint64_t frames_ahead() const {
    const audio::DeviceBuffer& buffer = *output.device.buffers.front();
    return buffer.converted_frames - buffer.played_frames;
  }
};

void set_core_share(benchmark::State& state, double sound_seconds) {
  state.counters["core_share"] =
      benchmark::Counter(sound_seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Mix64Streams(benchmark::State& state) {
  SixtyFourStreams streams(state.range(1) != 0);
  const int frames_per_call = int(state.range(0));
  std::vector<int16_t> out(size_t(frames_per_call) * 2);
  for (auto _ : state) {
    if (streams.frames_ahead() < uint64_t(frames_per_call)) {
      state.PauseTiming();
      streams.convert();
      state.ResumeTiming();
    }
    audio::render_mix(streams.output, out);
    benchmark::DoNotOptimize(out.data());
  }
  set_core_share(state, double(state.iterations()) * frames_per_call / kDeviceRate);
}
BENCHMARK(BM_Mix64Streams)->Unit(benchmark::kMicrosecond)->Args({1024, 1})->Args({256, 1})->Args({1024, 0});

void BM_Convert64Streams(benchmark::State& state) {
  SixtyFourStreams streams(state.range(0) != 0);
  streams.convert();
  std::vector<int16_t> out(size_t(kDeviceRate / 10) * 2);  // 100 ms: one pass's worth
  for (auto _ : state) {
    state.PauseTiming();
    audio::render_mix(streams.output, out);
    state.ResumeTiming();
    streams.convert();
  }
  set_core_share(state, double(state.iterations()) * 0.1);
}
BENCHMARK(BM_Convert64Streams)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(0);

// The test file, made once per run in a temporary directory.
struct OggFile {
  std::string directory;
  std::string path;
  bool made = false;
  OggFile() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tavelo-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) return;
    directory = pattern;
    path = directory + "/music.ogg";
    std::string wav = directory + "/music.wav";
    std::string make = "sox -R -n -r 44100 -c 2 -b 16 '" + wav +
                       "' synth 20 sine 220-880 sine 330 pinknoise tremolo 3 40 gain -6 2>/dev/null && "
                       "oggenc -Q -q 5 -o '" + path + "' '" + wav + "'";
    made = std::system(make.c_str()) == 0;
  }
  ~OggFile() {
    std::error_code ignored;
    if (!directory.empty()) std::filesystem::remove_all(directory, ignored);
  }
};

const OggFile& ogg_file() {
  static const OggFile file;
  return file;
}

void BM_DecodeOggOurs(benchmark::State& state) {
  const OggFile& file = ogg_file();
  if (!file.made) {
    state.SkipWithError("sox and oggenc could not make the test file");
    return;
  }
  int64_t bytes = 0;
  std::vector<uint8_t> chunk;
  for (auto _ : state) {
    std::optional<platform::File> opened = platform::File::open(file.path, platform::OpenMode::Read);
    audio::Result<audio::SoundDecoder> decoder =
        audio::open_sound("music.ogg", std::make_unique<audio::FileSource>(std::move(*opened)));
    if (!decoder.ok()) {
      state.SkipWithError("the decoder refused the file");
      return;
    }
    for (;;) {
      audio::SoundChunk got = audio::decode_sound_chunk(decoder.value, chunk);
      bytes += int64_t(got.bytes);
      benchmark::DoNotOptimize(chunk.data());
      if (got.end_of_data) break;
    }
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_DecodeOggOurs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeOggOggdec(benchmark::State& state) {
  const OggFile& file = ogg_file();
  if (!file.made) {
    state.SkipWithError("sox and oggenc could not make the test file");
    return;
  }
  std::string command = "oggdec -Q -R -o /dev/null '" + file.path + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("oggdec failed");
      return;
    }
  }
  // 20 s of 16-bit stereo at 44.1 kHz per run.
  state.SetBytesProcessed(int64_t(state.iterations()) * 20 * 44100 * 4);
}
BENCHMARK(BM_DecodeOggOggdec)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
