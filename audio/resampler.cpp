#include "audio/resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace tavelo::audio {
namespace {

AVSampleFormat sample_format_of(SampleKind kind) {
  switch (kind) {
    case SampleKind::Unsigned8: return AV_SAMPLE_FMT_U8;
    case SampleKind::Signed16: return AV_SAMPLE_FMT_S16;
    case SampleKind::Float32: return AV_SAMPLE_FMT_FLT;
  }
  return AV_SAMPLE_FMT_S16;
}

}  // namespace

int32_t AudioShape::frame_bytes() const {
  int32_t sample_bytes = kind == SampleKind::Unsigned8 ? 1 : kind == SampleKind::Signed16 ? 2 : 4;
  return sample_bytes * channels;
}

void SwrContextDeleter::operator()(SwrContext* context) const { swr_free(&context); }

bool configure_resampler(Resampler& resampler, AudioShape input, AudioShape output, ResampleQuality quality) {
  resampler.context.reset();
  AVChannelLayout input_layout, output_layout;
  av_channel_layout_default(&input_layout, input.channels);
  av_channel_layout_default(&output_layout, output.channels);
  SwrContext* context = nullptr;
  int result = swr_alloc_set_opts2(&context, &output_layout, sample_format_of(output.kind), output.rate, &input_layout,
                                   sample_format_of(input.kind), input.rate, 0, nullptr);
  av_channel_layout_uninit(&input_layout);
  av_channel_layout_uninit(&output_layout);
  if (result < 0 || !context) return false;
  std::unique_ptr<SwrContext, SwrContextDeleter> owned(context);
  // The library's own downmix and upmix lower the level by 3 dB; a sound
  // device plays a mono buffer at full level on both sides, so say so.
  if (input.channels != output.channels) {
    const double mono_to_stereo[2] = {1.0, 1.0};   // [output][input], stride 1
    const double stereo_to_mono[2] = {0.5, 0.5};   // one row of two inputs
    const double* matrix = input.channels == 1 ? mono_to_stereo : stereo_to_mono;
    int stride = input.channels == 1 ? 1 : 2;
    if (swr_set_matrix(owned.get(), matrix, stride) < 0) return false;
  }
  if (quality == ResampleQuality::Playback &&
      (av_opt_set_int(owned.get(), "filter_size", 8, 0) < 0 || av_opt_set_int(owned.get(), "linear_interp", 0, 0) < 0)) {
    return false;
  }
  if (swr_init(owned.get()) < 0) return false;
  resampler.context = std::move(owned);
  resampler.input = input;
  resampler.output = output;
  return true;
}

bool is_configured(const Resampler& resampler) { return resampler.context != nullptr; }

int32_t convert_audio(Resampler& resampler, const uint8_t* input, int32_t input_frames, uint8_t* output,
                      int32_t output_capacity) {
  if (!resampler.context) return -1;
  // A null input would flush the filter as if the sound ended; pointing at
  // the output with a count of 0 only collects pending samples.
  const uint8_t* inputs[1] = {input ? input : output};
  uint8_t* outputs[1] = {output};
  int result = swr_convert(resampler.context.get(), outputs, output_capacity, inputs, input_frames);
  return result < 0 ? -1 : result;
}

int32_t output_bound(Resampler& resampler, int32_t input_frames) {
  if (!resampler.context) return 0;
  int result = swr_get_out_samples(resampler.context.get(), input_frames);
  return result < 0 ? 0 : result;
}

}  // namespace tavelo::audio
