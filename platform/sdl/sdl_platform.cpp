// SDL2 backend.

#include "platform/sdl/sdl_platform.h"

#include <SDL.h>

#include <ctime>
#include <string>

namespace tavelo::platform {
namespace {

class SdlPlatform final : public Platform {
 public:
  SdlPlatform() = default;
  ~SdlPlatform() override { SDL_Quit(); }

  bool has_capability(Capability capability) const override {
    switch (capability) {
      case Capability::Window: return true;
      case Capability::AudioDevice: return false;
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

  void pump_events() override {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
  }

  void set_caption(std::string_view caption) override { m_caption = caption; }

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
  std::string m_caption;
};

}  // namespace

std::unique_ptr<Platform> create_sdl_platform() {
  if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_EVENTS | SDL_INIT_VIDEO) != 0) return nullptr;
  return std::make_unique<SdlPlatform>();
}

}  // namespace tavelo::platform
