// Display modes.

#include "host/display_modes.h"

#include <algorithm>

#include "host/engine.h"
#include "host/menus.h"
#include "host/state.h"
#include "platform/key_map.h"
#include "resources/settings.h"

namespace tavelo::host {
namespace {

using namespace platform::keys;

constexpr uint32_t kSwitchDebounceMs = 1000;
constexpr uint32_t kFocusGraceMs = 2000;

constexpr int32_t kNoClasses[] = {0};
constexpr int32_t kWideFirst[] = {1, 2};
constexpr int32_t kWidestFirst[] = {2, 1};

bool switch_allowed(const DisplayModeState& state, uint32_t now) {
  return !state.switched || uint32_t(now - state.last_switch_ms) >= kSwitchDebounceMs;
}

platform::Scaling scaling_setting(resources::State& resources) {
  switch (resources::read_user_setting(resources, resources::UserSetting::FullScreenScaling)) {
    case 1: return platform::Scaling::Integer;
    case 2: return platform::Scaling::Stretch;
    default: return platform::Scaling::Fit;
  }
}

void apply_topmost(Engine& engine) {
  engine.platform.set_topmost(engine.host.window.topmost);
}

}  // namespace

int32_t aspect_class(int32_t width, int32_t height) {
  if (height <= 0) return 2;
  int64_t ratio = int64_t(width) * 100 / height;
  if (ratio <= 135) return 0;
  if (ratio < 175) return 1;
  return 2;
}

std::span<const int32_t> wide_classes(int32_t wide_choice) {
  switch (wide_choice) {
    case 1:
    case 4: return kWideFirst;
    case 2:
    case 5: return kWidestFirst;
    default: return std::span<const int32_t>(kNoClasses, size_t(0));
  }
}

platform::DisplayMode choose_full_screen_size(std::span<const platform::DisplayMode> modes, int32_t width,
                                              int32_t height, int32_t wide_choice) {
  for (int32_t wanted : wide_classes(wide_choice)) {
    const platform::DisplayMode* best = nullptr;
    for (const platform::DisplayMode& mode : modes) {
      if (mode.bits_per_pixel < 15 || mode.width < width || mode.height < height) continue;
      if (aspect_class(mode.width, mode.height) != wanted) continue;
      if (!best || mode.width < best->width || (mode.width == best->width && mode.height < best->height)) best = &mode;
    }
    if (best) return {best->width, best->height, best->bits_per_pixel, 0};
  }
  return {width, height, 32, 0};
}

int32_t fit_scale(const platform::DisplayMode& chosen, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 50;
  return int32_t(std::min(int64_t(chosen.width) * 50 / width, int64_t(chosen.height) * 50 / height));
}

std::vector<platform::DisplayMode> mode_candidates(std::span<const platform::DisplayMode> modes,
                                                   const platform::DisplayMode& chosen, int32_t requested_bits,
                                                   int32_t requested_frequency, int32_t current_bits) {
  std::vector<platform::DisplayMode> candidates;
  auto add = [&](int32_t bits, int32_t frequency) {
    for (const platform::DisplayMode& mode : modes) {
      if (mode.width != chosen.width || mode.height != chosen.height || mode.bits_per_pixel != bits) continue;
      if (frequency != 0 && mode.refresh_rate != frequency) continue;
      candidates.push_back(mode);
      return;
    }
  };
  if (requested_frequency != 0) add(requested_bits != 0 ? requested_bits : current_bits, requested_frequency);
  if (requested_bits == 16 || requested_bits == 24 || requested_bits == 32) add(requested_bits, 0);
  add(current_bits, 0);
  return candidates;
}

int32_t decide_wide_choice(Engine& engine) {
  using resources::EnvInt;
  resources::State& resources = engine.resources;
  if (resources::env_setting(resources, EnvInt::DetectWideMonitor) == 0) return 0;
  platform::DisplayMode desktop = engine.platform.desktop_mode();
  int32_t monitor = aspect_class(desktop.width, desktop.height);
  if (monitor == 0) return 0;
  int32_t stored = resources::read_user_setting(resources, resources::UserSetting::FullScWide5);
  if (stored > 5) stored = 0;
  if (stored >= 0) return stored;
  if (resources::env_setting(resources, EnvInt::DefaultIsWide) != 0) return monitor;
  // Nothing stored: the widest class that has a mode holding the game.
  int32_t width = resources::env_setting(resources, EnvInt::ClientWidth);
  int32_t height = resources::env_setting(resources, EnvInt::ClientHeight);
  std::vector<platform::DisplayMode> modes = engine.platform.display_modes();
  for (int32_t choice : {1, 2}) {
    platform::DisplayMode chosen = choose_full_screen_size(modes, width, height, choice);
    if (aspect_class(chosen.width, chosen.height) == choice) return choice;
  }
  return 0;
}

void set_up_display_modes(Engine& engine) {
  using resources::EnvInt;
  using resources::UserSetting;
  resources::State& resources = engine.resources;
  DisplayModeState& state = engine.host.display;
  state.wide_choice = decide_wide_choice(engine);
  state.toggle_key = resources::env_setting(resources, EnvInt::AkaMenu) != 0 ? kKeyF2 : kKeyF4;

  // The wide window sizes: at most 1920 × 1200 and never below the game;
  // values too small are forgotten.
  int32_t client_width = resources::env_setting(resources, EnvInt::ClientWidth);
  int32_t client_height = resources::env_setting(resources, EnvInt::ClientHeight);
  bool wide = resources::read_user_setting(resources, UserSetting::WideMode) != 0;
  int32_t width = std::min(resources::read_user_setting(resources, UserSetting::RegWidth3), 1920);
  int32_t height = std::min(resources::read_user_setting(resources, UserSetting::RegHeight3), 1200);
  int32_t least_height = wide ? client_height * 3 / 4 : client_height;
  if (width < client_width) width = 0;
  if (height < least_height) height = 0;
  std::vector<resources::UserSettingValue> sizes;
  if (width != resources::read_user_setting(resources, UserSetting::RegWidth3)) sizes.push_back({UserSetting::RegWidth3, width});
  if (height != resources::read_user_setting(resources, UserSetting::RegHeight3)) sizes.push_back({UserSetting::RegHeight3, height});
  if (!sizes.empty()) (void)resources::write_user_settings(resources, sizes);
}

void restore_screen_state(Engine& engine) {
  using resources::EnvInt;
  DisplayModeState& state = engine.host.display;
  if (resources::env_setting(engine.resources, EnvInt::IgnoreScreenMode) != 0) return;
  if (resources::read_user_setting(engine.resources, resources::UserSetting::SaveScreenpos) == 0) return;
  if (state.restore_full_screen) set_full_screen(engine, true);
}

platform::ScreenRequest full_screen_request(Engine& engine, const platform::DisplayMode& mode, bool exclusive) {
  platform::ScreenRequest request;
  request.mode = exclusive ? platform::ScreenMode::FullScreenExclusive : platform::ScreenMode::FullScreenDesktop;
  request.display_mode = mode;
  request.scaling = scaling_setting(engine.resources);
  // A display switched to the chosen mode shows the game 1:1 unless the
  // player asked for it to be fitted; on the desktop it is always scaled.
  bool fit = resources::read_user_setting(engine.resources, resources::UserSetting::FullScreenFit) != 0;
  if (exclusive && !fit) request.scaling = platform::Scaling::Centred;
  return request;
}

bool set_full_screen(Engine& engine, bool on) {
  DisplayModeState& state = engine.host.display;
  if (on == state.full_screen) return false;
  platform::Platform& platform = engine.platform;
  if (on) {
    // The window's place is kept for the settings written at exit.
    std::optional<platform::DesktopArea> area = platform.window_area();
    if (area) {
      engine.host.window.saved_x = area->x;
      engine.host.window.saved_y = area->y;
    }
    // Full screen stays on top of other windows while it lasts.
    platform.set_topmost(true);
    int32_t width = resources::env_setting(engine.resources, resources::EnvInt::ClientWidth);
    int32_t height = resources::env_setting(engine.resources, resources::EnvInt::ClientHeight);
    std::vector<platform::DisplayMode> modes = platform.display_modes();
    platform::DisplayMode chosen = choose_full_screen_size(modes, width, height, state.wide_choice);
    bool exclusive =
        resources::read_user_setting(engine.resources, resources::UserSetting::FullScreenExclusive) != 0;
    bool done = false;
    if (exclusive) {
      int32_t current_bits = platform.desktop_mode().bits_per_pixel;
      for (const platform::DisplayMode& mode :
           mode_candidates(modes, chosen, state.requested_bits, state.requested_frequency, current_bits)) {
        platform::ScreenRequest request = full_screen_request(engine, mode, true);
        if (platform.set_screen_mode(request)) {
          state.screen = request;
          done = true;
          break;
        }
      }
    } else {
      platform::ScreenRequest request = full_screen_request(engine, platform.desktop_mode(), false);
      done = platform.set_screen_mode(request);
      if (done) state.screen = request;
    }
    if (!done) apply_topmost(engine);
    state.full_screen = done;
  } else {
    apply_topmost(engine);
    platform::ScreenRequest windowed;
    (void)platform.set_screen_mode(windowed);
    state.screen = windowed;
    state.full_screen = false;
  }
  state.switched = true;
  state.last_switch_ms = platform.ticks_ms();
  refresh_menu(engine);
  return on == state.full_screen;
}

int32_t display_mode_handler(Engine& engine, const platform::Event& event) {
  DisplayModeState& state = engine.host.display;
  uint32_t now = engine.platform.ticks_ms();
  switch (event.type) {
    case platform::EventType::KeyDown:
      if (event.key == kKeyAlt) {
        state.alt_held = true;
        return 0;
      }
      if (event.repeat) return 0;
      if (event.key == state.toggle_key || (event.key == kKeyReturn && state.alt_held)) {
        if (switch_allowed(state, now)) set_full_screen(engine, !state.full_screen);
        return 1;
      }
      return 0;
    case platform::EventType::KeyUp:
      if (event.key == kKeyAlt) state.alt_held = false;
      return 0;
    case platform::EventType::WindowMaximized:
      if (!state.full_screen && switch_allowed(state, now)) set_full_screen(engine, true);
      return 1;
    case platform::EventType::WindowMinimized:
      if (state.full_screen) set_full_screen(engine, false);
      return 0;
    case platform::EventType::FocusLost:
      state.alt_held = false;
      if (state.full_screen && uint32_t(now - state.last_switch_ms) > kFocusGraceMs) set_full_screen(engine, false);
      return 0;
    case platform::EventType::DisplayChanged:
      // The desktop changed the mode under us: we are a window again.
      state.full_screen = false;
      state.screen = {};
      refresh_menu(engine);
      return 0;
    default: return 0;
  }
}

}  // namespace tavelo::host
