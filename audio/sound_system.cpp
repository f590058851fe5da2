// The sound output's connection to the platform, the file layer and the
// frame loop.

#include "audio/sound_system.h"

#include <optional>
#include <span>

#include "audio/state.h"
#include "platform/platform.h"
#include "resources/file_lookup.h"
#include "resources/state.h"
#include "script/message_box.h"
#include "script/state.h"

namespace tavelo::audio {
namespace {

// How often passes run: the streaming thread's period.
constexpr uint32_t kPassPeriod = 100;  // ms

void show_reports(State& audio, script::Machine& machine) {
  for (const OutputReport& report : take_reports(audio.output)) {
    switch (report.kind) {
      case OutputReport::Kind::DeviceFailed:
        script::show_box(machine, script::BoxKind::Error, kDeviceFailedMessage, {});
        break;
      case OutputReport::Kind::FileMissing:
        script::show_box(machine, script::BoxKind::Error, kFileMissingMessage, {report.name});
        break;
    }
  }
}

}  // namespace

State::~State() {
  if (device_platform) device_platform->close_audio();
}

void start_sound(State& audio, script::Machine& machine) {
  OutputHooks& hooks = audio.output.hooks;
  resources::State& resources = machine.resources;
  platform::Platform& platform = machine.platform;
  // Called on the streaming thread; every lookup holds the search lock, so
  // scripts may register search entries meanwhile.
  hooks.open_file = [&resources](std::string_view name) { return resources::find_game_file(resources, name); };
  hooks.open_device = [&audio, &platform](std::span<const DeviceFormat> formats) -> std::optional<DeviceFormat> {
    for (const DeviceFormat& format : formats) {
      platform::AudioFormat obtained;
      if (platform.open_audio({format.sample_rate, format.channels}, audio.mix, obtained)) {
        audio.device_platform = &platform;
        return DeviceFormat{obtained.frequency, obtained.channels};
      }
    }
    return std::nullopt;
  };
  bool usable = ensure_device(audio.output);
  // A real device plays in real time: the background thread keeps its rings
  // filled. Otherwise the frame loop runs the passes, on the virtual clock or,
  // where there are no threads (a page), on the real one.
  if (usable && platform.has_capability(platform::Capability::AudioDevice) &&
      platform.has_capability(platform::Capability::Threads)) {
    hooks.clock_ms = [&platform] { return platform.ticks_ms(); };
    hooks.sleep_ms = [&platform](uint32_t milliseconds) { platform.sleep_ms(milliseconds); };
    audio.output.driver = PassDriver::BackgroundThread;
  } else {
    audio.output.driver = PassDriver::Caller;
  }
  show_reports(audio, machine);
}

void catch_up_sound(State& audio, script::Machine& machine) {
  if (audio.output.driver == PassDriver::Caller && audio.device_platform) {
    uint32_t now = machine.platform.ticks_ms();
    if (!audio.pass_started || now - audio.last_pass_time >= kPassPeriod) {
      audio.pass_started = true;
      audio.last_pass_time = now;
      run_pass(audio.output, now);
    }
  }
  show_reports(audio, machine);
}

void stop_sound(State& audio) {
  if (audio.device_platform) {
    audio.device_platform->close_audio();
    audio.device_platform = nullptr;
  }
  stop_all_streams(audio.output);
}

}  // namespace tavelo::audio
