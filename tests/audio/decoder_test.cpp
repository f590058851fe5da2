// The WAV and Ogg Vorbis decoders against files made by sox and oggenc and
// read back by sox and oggdec; malformed WAV files give typed failures.

#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/sound_decoder.h"
#include "tests/audio/audio_test_support.h"

namespace tavelo {
namespace {

using audio::Status;
using testing::TempDirectory;

// Every chunk of a sound, concatenated; stops at the end of the data.
std::vector<uint8_t> decode_all(audio::SoundDecoder& decoder, int* chunk_count = nullptr) {
  std::vector<uint8_t> all, chunk;
  int chunks = 0;
  for (;;) {
    audio::SoundChunk result = audio::decode_sound_chunk(decoder, chunk);
    EXPECT_FALSE(result.read_failed);
    EXPECT_LE(chunk.size(), 35280u);
    all.insert(all.end(), chunk.begin(), chunk.end());
    ++chunks;
    if (result.end_of_data || chunks > 10000) break;
  }
  if (chunk_count) *chunk_count = chunks;
  return all;
}

audio::Result<audio::SoundDecoder> open_bytes(std::string_view name, const std::vector<uint8_t>& bytes) {
  return audio::open_sound(name, std::make_unique<audio::MemorySource>(bytes));
}

TEST(WaveDecoder, PcmMatchesSox) {
  TempDirectory directory;
  struct Case {
    const char* options;  // sox output options
    audio::PcmFormat format;
  };
  const Case cases[] = {
      {"-r 44100 -c 2 -b 16", {2, 44100, 16}},
      {"-r 22050 -c 1 -b 16", {1, 22050, 16}},
      {"-r 11025 -c 1 -b 8", {1, 11025, 8}},
      {"-r 8000 -c 2 -b 8", {2, 8000, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::string path = directory.at("pcm.wav");
    ASSERT_TRUE(testing::sox(std::string("-n ") + c.options + " '" + path + "' synth 0.7 sine 300 sine 500 vol 0.8"));
    std::vector<uint8_t> file = testing::read_bytes(path);
    audio::Result<audio::SoundDecoder> opened = open_bytes("se\\Ping.WAV", file);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.value.format, c.format);
    int chunks = 0;
    std::vector<uint8_t> pcm = decode_all(opened.value, &chunks);
    std::vector<int16_t> expected = testing::sox_samples(directory, path);
    // 35 280 bytes a chunk, whole blocks.
    EXPECT_EQ(chunks, int((pcm.size() + 35279) / 35280));
    if (c.format.bits_per_sample == 16) {
      EXPECT_EQ(testing::as_samples(pcm), expected);
    } else {
      ASSERT_EQ(pcm.size(), expected.size());
      for (size_t i = 0; i < pcm.size(); ++i) ASSERT_EQ(int(pcm[i]) - 128, expected[i] >> 8) << i;
    }
    // Rewinding starts the same data again.
    ASSERT_TRUE(audio::rewind_sound(opened.value));
    EXPECT_EQ(decode_all(opened.value), pcm);
  }
}

TEST(WaveDecoder, MsAdpcmMatchesSox) {
  TempDirectory directory;
  for (const char* options : {"-r 22050 -c 1", "-r 44100 -c 2"}) {
    SCOPED_TRACE(options);
    std::string path = directory.at("adpcm.wav");
    ASSERT_TRUE(testing::sox(std::string("-n ") + options + " -e ms-adpcm '" + path +
                             "' synth 1.3 sine 200-3000 sine 440 vol 0.9"));
    std::vector<uint8_t> file = testing::read_bytes(path);
    audio::Result<audio::SoundDecoder> opened = open_bytes("voice.wav", file);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.value.format.bits_per_sample, 16);
    std::vector<int16_t> expected = testing::sox_samples(directory, path);
    std::vector<int16_t> ours = testing::as_samples(decode_all(opened.value));
    // sox may drop the padding frames of the last block.
    ASSERT_GE(ours.size(), expected.size());
    ours.resize(expected.size());
    EXPECT_EQ(ours, expected);

    // A predictor index outside the table (7 entries) silences its block and
    // the rest of the chunk; the blocks before it still decode.
    const audio::WaveInfo& info = opened.value.wave;
    std::vector<uint8_t> broken = file;
    broken[info.data_offset + 2 * info.block_align] = 7;
    audio::Result<audio::SoundDecoder> reopened = open_bytes("voice.wav", broken);
    ASSERT_TRUE(reopened.ok());
    std::vector<uint8_t> chunk;
    (void)audio::decode_sound_chunk(reopened.value, chunk);
    std::vector<int16_t> first = testing::as_samples(chunk);
    size_t block_samples = size_t(info.frames_per_block) * info.channels;
    ASSERT_EQ(first.size(), info.input_chunk / info.block_align * block_samples);
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + 2 * block_samples, expected.begin()));
    EXPECT_TRUE(std::all_of(first.begin() + 2 * block_samples, first.end(), [](int16_t s) { return s == 0; }));
  }
}

TEST(WaveDecoder, ChunkWalkAndValidation) {
  using testing::format_block;
  using testing::make_riff;
  const std::vector<uint8_t> pcm_format = format_block(1, 1, 22050, 2, 16);
  const std::vector<uint8_t> four_samples = {1, 0, 2, 0, 3, 0, 4, 0};
  std::vector<uint8_t> not_riff = make_riff({{"fmt ", pcm_format}, {"data", four_samples}});
  not_riff[0] = 'X';
  std::vector<uint8_t> truncated_format = make_riff({{"fmt ", pcm_format}});
  truncated_format.resize(truncated_format.size() - 4);
  // ADPCM extra bytes: 500 frames a block, 7 coefficient pairs announced, one given.
  const std::vector<uint8_t> short_table = {0xF4, 0x01, 7, 0, 0, 1, 0, 0};

  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    Status status;
    uint32_t data_size = 0;
  };
  const Case cases[] = {
      {"plain", make_riff({{"fmt ", pcm_format}, {"data", four_samples}}), Status::Ok, 8},
      {"not RIFF", not_riff, Status::NotThisKind},
      {"too short for a header", {'R', 'I', 'F', 'F'}, Status::NotThisKind},
      {"no format", make_riff({{"data", four_samples}}), Status::BadFormat},
      {"data before format only", make_riff({{"data", four_samples}, {"fmt ", pcm_format}}), Status::Truncated},
      {"format of 14 bytes", make_riff({{"fmt ", std::vector<uint8_t>(pcm_format.begin(), pcm_format.begin() + 14)},
                                        {"data", four_samples}}),
       Status::BadFormat},
      {"format past the end", truncated_format, Status::Truncated},
      {"no data", make_riff({{"fmt ", pcm_format}}), Status::Truncated},
      {"three channels", make_riff({{"fmt ", format_block(1, 3, 22050, 6, 16)}, {"data", four_samples}}),
       Status::BadFormat},
      {"block alignment 0", make_riff({{"fmt ", format_block(1, 1, 22050, 0, 16)}, {"data", four_samples}}),
       Status::BadFormat},
      {"24-bit PCM", make_riff({{"fmt ", format_block(1, 1, 22050, 3, 24)}, {"data", four_samples}}),
       Status::BadFormat},
      {"rate 50 Hz", make_riff({{"fmt ", format_block(1, 1, 50, 2, 16)}, {"data", four_samples}}),
       Status::BadFormat},
      {"ADPCM table shorter than announced",
       make_riff({{"fmt ", format_block(2, 1, 22050, 256, 4, short_table)}, {"data", four_samples}}),
       Status::BadFormat},
      {"ADPCM block larger than a refill",
       make_riff({{"fmt ", format_block(2, 1, 22050, 9000, 4, {0xF4, 0x01, 0, 0})}, {"data", four_samples}}),
       Status::BadFormat},
      // The data size is cut to the bytes present, in whole blocks.
      {"data size past the end", make_riff({{"fmt ", pcm_format}, {"data", {1, 0, 2, 0, 3}, 0x7FFFFFFF}}),
       Status::Ok, 6},  // five bytes and the pad byte
      {"odd data size", make_riff({{"fmt ", pcm_format}, {"data", {1, 0, 2, 0, 3}}}), Status::Ok, 4},
      // An odd-sized chunk is followed by its pad byte.
      {"odd chunk before data", make_riff({{"LIST", {1, 2, 3}}, {"fmt ", pcm_format}, {"data", four_samples}}),
       Status::Ok, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    audio::MemorySource source(c.file);
    audio::Result<audio::WaveInfo> info = audio::parse_wave(source);
    EXPECT_EQ(info.status, c.status);
    if (info.ok()) {
      EXPECT_EQ(info.value.data_size, c.data_size);
    }
  }
}

TEST(WaveDecoder, UnknownEncodingPlaysSilence) {
  // Tag 0x55 (an encoding we do not decode), stereo 44.1 kHz, 1 000 bytes of data.
  std::vector<uint8_t> file = testing::make_riff(
      {{"fmt ", testing::format_block(0x55, 2, 44100, 1, 0)}, {"data", std::vector<uint8_t>(1000, 0x5A)}});
  audio::Result<audio::SoundDecoder> opened = open_bytes("bgm.wav", file);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value.format, (audio::PcmFormat{2, 44100, 16}));
  std::vector<uint8_t> pcm = decode_all(opened.value);
  EXPECT_FALSE(pcm.empty());
  EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](uint8_t b) { return b == 0; }));
}

TEST(OggDecoder, MatchesOggdec) {
  TempDirectory directory;
  for (const char* options : {"-r 44100 -c 2", "-r 22050 -c 1"}) {
    SCOPED_TRACE(options);
    std::string wave = directory.at("source.wav");
    std::string ogg = directory.at("music.ogg");
    std::string raw = directory.at("music.raw");
    ASSERT_TRUE(testing::sox(std::string("-n ") + options + " -b 16 '" + wave + "' synth 1.1 sine 330 vol 0.7"));
    ASSERT_EQ(testing::run_command("oggenc -Q -q 3 -o '" + ogg + "' '" + wave + "'").exit_status, 0);
    ASSERT_EQ(testing::run_command("oggdec -Q -R -b 16 -e 0 -s 1 -o '" + raw + "' '" + ogg + "'").exit_status, 0);
    std::vector<int16_t> expected = testing::as_samples(testing::read_bytes(raw));

    std::vector<uint8_t> file = testing::read_bytes(ogg);
    audio::Result<audio::SoundDecoder> opened = open_bytes("bgm\\Music.OGG", file);
    ASSERT_TRUE(opened.ok());
    std::vector<int16_t> ours = testing::as_samples(decode_all(opened.value));
    ASSERT_EQ(ours.size(), expected.size());
    // oggdec scales by 32 768, we by 32 767.
    for (size_t i = 0; i < ours.size(); ++i) ASSERT_LE(std::abs(ours[i] - expected[i]), 2) << i;

    ASSERT_TRUE(audio::rewind_sound(opened.value));
    std::vector<uint8_t> chunk;
    (void)audio::decode_sound_chunk(opened.value, chunk);
    std::vector<int16_t> again = testing::as_samples(chunk);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), ours.begin()));

    // The kind follows the name: the same bytes called .wav are not a sound.
    EXPECT_FALSE(open_bytes("music.wav", file).ok());
  }
  std::vector<uint8_t> garbage(5000, 0x4F);
  EXPECT_FALSE(open_bytes("noise.ogg", garbage).ok());
}

}  // namespace
}  // namespace tavelo
