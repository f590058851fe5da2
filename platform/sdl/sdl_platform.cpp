// SDL2 backend.

#include "platform/sdl/sdl_platform.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/sdl/sdl_events.h"

namespace tavelo::platform {
namespace {

class SdlPlatform final : public Platform {
 public:
  SdlPlatform() = default;
  ~SdlPlatform() override {
    close_audio();
    if (m_texture) SDL_DestroyTexture(m_texture);
    if (m_renderer) SDL_DestroyRenderer(m_renderer);
    if (m_window) SDL_DestroyWindow(m_window);
    SDL_Quit();
  }

  bool has_capability(Capability capability) const override {
    switch (capability) {
      case Capability::Window: return true;
      case Capability::AudioDevice: return SDL_WasInit(SDL_INIT_AUDIO) != 0;
      case Capability::Clipboard: return true;
      case Capability::Desktop: return true;
    }
    return false;
  }

  uint32_t ticks_ms() override {
    // SDL counts from its initialisation; the engine treats a reading of 0
    // specially, so the counter never starts there.
    return SDL_GetTicks() + 1;
  }

  void sleep_ms(uint32_t milliseconds) override { SDL_Delay(milliseconds); }

  LocalTime local_time() override {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
  }

  Answer show_message_box(const MessageBoxRequest& request) override {
    struct Choice {
      Answer answer;
      const char* label;
    };
    Choice choices[2] = {{Answer::Ok, "OK"}, {Answer::Cancel, "Cancel"}};
    int count = 1;
    switch (request.buttons) {
      case Buttons::Ok: count = 1; break;
      case Buttons::OkCancel: count = 2; break;
      case Buttons::YesNo:
        choices[0] = {Answer::Yes, "Yes"};
        choices[1] = {Answer::No, "No"};
        count = 2;
        break;
      case Buttons::RetryCancel:
        choices[0] = {Answer::Retry, "Retry"};
        count = 2;
        break;
    }
    SDL_MessageBoxButtonData buttons[2];
    for (int i = 0; i < count; ++i) {
      buttons[i].flags = 0;
      if (i == 0) buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
      if (i == count - 1) buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
      buttons[i].buttonid = i;
      buttons[i].text = choices[i].label;
    }
    uint32_t flags = SDL_MESSAGEBOX_INFORMATION;
    if (request.icon == Icon::Error) flags = SDL_MESSAGEBOX_ERROR;
    if (request.icon == Icon::Warning) flags = SDL_MESSAGEBOX_WARNING;
    std::string caption(request.caption);
    std::string text(request.text);
    SDL_MessageBoxData data{};
    data.flags = flags;
    data.title = caption.c_str();
    data.message = text.c_str();
    data.numbuttons = count;
    data.buttons = buttons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0 || pressed < 0) return choices[count - 1].answer;
    return choices[pressed].answer;
  }

  bool poll_event(Event& event) override {
    SDL_Event raw;
    while (SDL_PollEvent(&raw)) {
      if (translate_event(raw, event)) return true;
    }
    return false;
  }

  void present(const FrameView& frame) override {
    if (!frame.pixels || !ensure_window(frame.width, frame.height)) return;
    if (m_texture_fresh) {
      upload(frame, {0, 0, frame.width, frame.height});
      m_texture_fresh = false;
    } else {
      for (const FrameRect& rect : frame.changed) upload(frame, rect);
    }
    SDL_RenderClear(m_renderer);
    SDL_RenderCopy(m_renderer, m_texture, nullptr, nullptr);
    SDL_RenderPresent(m_renderer);
  }

  bool open_audio(const AudioFormat& wanted, AudioSource& source, AudioFormat& obtained) override {
    close_audio();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec request{};
    request.freq = wanted.frequency;
    request.format = AUDIO_S16SYS;
    request.channels = uint8_t(wanted.channels);
    request.samples = 1024;
    request.callback = [](void* userdata, Uint8* stream, int length) {
      auto* source = static_cast<AudioSource*>(userdata);
      source->render(std::span<int16_t>(reinterpret_cast<int16_t*>(stream), size_t(length) / sizeof(int16_t)));
    };
    request.userdata = &source;
    SDL_AudioSpec got{};
    m_audio = SDL_OpenAudioDevice(nullptr, 0, &request, &got, 0);
    if (m_audio == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    obtained = {got.freq, got.channels};
    SDL_PauseAudioDevice(m_audio, 0);
    return true;
  }

  void close_audio() override {
    if (m_audio == 0) return;
    SDL_CloseAudioDevice(m_audio);
    m_audio = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  // The in-window dialogs are drawn over the frame once the menu bar exists;
  // until then every dialog accepts its default at once, as a headless run does.
  DialogId open_dialog(const DialogRequest& request) override {
    DialogId id = m_next_dialog++;
    m_dialogs.push_back({id, {DialogStatus::Accepted, request.text}});
    return id;
  }

  DialogOutcome poll_dialog(DialogId dialog) override {
    for (size_t i = 0; i < m_dialogs.size(); ++i) {
      if (m_dialogs[i].id != dialog) continue;
      DialogOutcome outcome = std::move(m_dialogs[i].outcome);
      m_dialogs.erase(m_dialogs.begin() + long(i));
      return outcome;
    }
    return {DialogStatus::Failed, {}};
  }

  void set_caption(std::string_view caption) override {
    m_caption = caption;
    if (m_window) SDL_SetWindowTitle(m_window, m_caption.c_str());
  }

  void set_clipboard_text(std::string_view text) override {
    std::string copy(text);
    SDL_SetClipboardText(copy.c_str());
  }

  std::string clipboard_text() override {
    char* text = SDL_GetClipboardText();
    std::string result = text ? text : "";
    SDL_free(text);
    return result;
  }

  bool open_with_desktop(std::string_view target) override {
    std::string copy(target);
    return SDL_OpenURL(copy.c_str()) == 0;
  }

 private:
  bool ensure_window(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return false;
    if (m_window && width == m_width && height == m_height) return true;
    if (!m_window) {
      m_window = SDL_CreateWindow(m_caption.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                  SDL_WINDOW_ALLOW_HIGHDPI);
      if (!m_window) return false;
      m_renderer = SDL_CreateRenderer(m_window, -1, SDL_RENDERER_PRESENTVSYNC);
      if (!m_renderer) m_renderer = SDL_CreateRenderer(m_window, -1, 0);
      if (!m_renderer) return false;
    } else {
      SDL_SetWindowSize(m_window, width, height);
    }
    if (m_texture) SDL_DestroyTexture(m_texture);
    // Renderers take 32-bit pixels natively; 24-bit ones would be converted
    // by SDL on every upload, so the upload converts instead, rectangle by
    // rectangle. BGR24 remains for a renderer that refuses the 32-bit format.
    m_texture_format = SDL_PIXELFORMAT_ARGB8888;
    m_texture = SDL_CreateTexture(m_renderer, m_texture_format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!m_texture) {
      m_texture_format = SDL_PIXELFORMAT_BGR24;
      m_texture = SDL_CreateTexture(m_renderer, m_texture_format, SDL_TEXTUREACCESS_STREAMING, width, height);
    }
    if (m_texture) SDL_SetTextureBlendMode(m_texture, SDL_BLENDMODE_NONE);
    m_texture_fresh = true;
    m_width = width;
    m_height = height;
    return m_texture != nullptr;
  }

  // Copies one rectangle of the frame into the texture (cut to the frame).
  void upload(const FrameView& frame, FrameRect rect) {
    int32_t right = std::min(rect.x + rect.width, frame.width), bottom = std::min(rect.y + rect.height, frame.height);
    rect.x = std::max(rect.x, 0);
    rect.y = std::max(rect.y, 0);
    if (right <= rect.x || bottom <= rect.y) return;
    SDL_Rect area{rect.x, rect.y, right - rect.x, bottom - rect.y};
    const uint8_t* first = frame.pixels + size_t(area.y) * size_t(frame.stride) + size_t(area.x) * 3;
    if (m_texture_format == SDL_PIXELFORMAT_BGR24) {
      SDL_UpdateTexture(m_texture, &area, first, frame.stride);
      return;
    }
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(m_texture, &area, &pixels, &pitch) != 0) return;
    for (int y = 0; y < area.h; ++y) {
      const uint8_t* in = first + size_t(y) * size_t(frame.stride);
      uint32_t* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + size_t(y) * size_t(pitch));
      for (int x = 0; x < area.w; ++x, in += 3) {
        out[x] = 0xFF000000u | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | uint32_t(in[0]);
      }
    }
    SDL_UnlockTexture(m_texture);
  }

  std::string m_caption;
  SDL_Window* m_window = nullptr;
  SDL_Renderer* m_renderer = nullptr;
  SDL_Texture* m_texture = nullptr;
  uint32_t m_texture_format = SDL_PIXELFORMAT_ARGB8888;
  bool m_texture_fresh = false;  // created since the last frame: upload everything
  int32_t m_width = 0;
  int32_t m_height = 0;
  SDL_AudioDeviceID m_audio = 0;
  struct OpenDialog {
    DialogId id;
    DialogOutcome outcome;
  };
  std::vector<OpenDialog> m_dialogs;
  DialogId m_next_dialog = 1;
};

}  // namespace

std::unique_ptr<Platform> create_sdl_platform() {
  if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_EVENTS | SDL_INIT_VIDEO) != 0) return nullptr;
  return std::make_unique<SdlPlatform>();
}

}  // namespace tavelo::platform
