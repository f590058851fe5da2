// The in-window UI: menu bar and in-window dialogs on Dear ImGui.

#include "platform/ui/ui_layer.h"

#include "platform/ui/ui_image.h"

#include <SDL.h>
#include <backends/imgui_impl_sdlrenderer.h>
#include <imgui.h>
#include <imgui_freetype.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>

namespace tavelo::platform {
namespace {

// The pointer reveals the bar within this many pixels of the window's top.
constexpr int32_t kRevealRows = 2;
constexpr float kFontPixels = 16.0f;
// The face the menus and dialogs use; the font lookup maps it to IPA Gothic.
constexpr const char* kUiFace = "ＭＳ ゴシック";

constexpr int32_t kKeyBackspace = 0x08;
constexpr int32_t kKeyTab = 0x09;
constexpr int32_t kKeyReturn = 0x0D;
constexpr int32_t kKeyShift = 0x10;
constexpr int32_t kKeyControl = 0x11;
constexpr int32_t kKeyAlt = 0x12;
constexpr int32_t kKeyEscape = 0x1B;
constexpr int32_t kKeySpace = 0x20;
constexpr int32_t kKeyLeft = 0x25;
constexpr int32_t kKeyRight = 0x27;
constexpr int32_t kKeyF10 = 0x79;

int button_index(MouseButton button) {
  switch (button) {
    case MouseButton::Left: return 0;
    case MouseButton::Right: return 1;
    case MouseButton::Middle: return 2;
  }
  return 0;
}

// "終了(&X)" shows as "終了(X)"; "&&" is a literal ampersand.
std::string display_label(std::string_view label) {
  std::string shown;
  for (size_t i = 0; i < label.size(); ++i) {
    if (label[i] == '&') {
      if (i + 1 < label.size() && label[i + 1] == '&') shown += '&', ++i;
      continue;
    }
    shown += label[i];
  }
  return shown;
}

// ImGui's ids come from labels; the suffix keeps equal labels apart. A tab
// ends the label proper: what follows is the item's key (shortcut()).
std::string imgui_label(const MenuEntry& entry, size_t index) {
  std::string_view label = std::string_view(entry.label).substr(0, entry.label.find('\t'));
  return display_label(label) + "##" + std::to_string(entry.id) + "_" + std::to_string(index);
}

std::string shortcut(const MenuEntry& entry) {
  size_t tab = entry.label.find('\t');
  return tab == std::string::npos ? std::string() : entry.label.substr(tab + 1);
}

void map_keys(ImGuiIO& io) {
  // The engine's virtual-key codes index io.KeysDown directly.
  io.KeyMap[ImGuiKey_Tab] = kKeyTab;
  io.KeyMap[ImGuiKey_LeftArrow] = 0x25;
  io.KeyMap[ImGuiKey_RightArrow] = 0x27;
  io.KeyMap[ImGuiKey_UpArrow] = 0x26;
  io.KeyMap[ImGuiKey_DownArrow] = 0x28;
  io.KeyMap[ImGuiKey_PageUp] = 0x21;
  io.KeyMap[ImGuiKey_PageDown] = 0x22;
  io.KeyMap[ImGuiKey_Home] = 0x24;
  io.KeyMap[ImGuiKey_End] = 0x23;
  io.KeyMap[ImGuiKey_Insert] = 0x2D;
  io.KeyMap[ImGuiKey_Delete] = 0x2E;
  io.KeyMap[ImGuiKey_Backspace] = kKeyBackspace;
  io.KeyMap[ImGuiKey_Space] = kKeySpace;
  io.KeyMap[ImGuiKey_Enter] = kKeyReturn;
  io.KeyMap[ImGuiKey_Escape] = kKeyEscape;
  io.KeyMap[ImGuiKey_KeyPadEnter] = kKeyReturn;
  io.KeyMap[ImGuiKey_A] = 'A';
  io.KeyMap[ImGuiKey_C] = 'C';
  io.KeyMap[ImGuiKey_V] = 'V';
  io.KeyMap[ImGuiKey_X] = 'X';
  io.KeyMap[ImGuiKey_Y] = 'Y';
  io.KeyMap[ImGuiKey_Z] = 'Z';
}

// A game controller moves through an open dialog as the keyboard does: the
// pad's cross moves, A presses (Space), B cancels (Escape), Start accepts
// (Return) and the shoulders step the value of a slider (Left, Right).
int32_t pad_key(PadButton button) {
  switch (button) {
    case PadButton::DpadUp: return 0x26;
    case PadButton::DpadDown: return 0x28;
    case PadButton::DpadLeft:
    case PadButton::LeftShoulder: return kKeyLeft;
    case PadButton::DpadRight:
    case PadButton::RightShoulder: return kKeyRight;
    case PadButton::A: return kKeySpace;
    case PadButton::B: return kKeyEscape;
    case PadButton::Start: return kKeyReturn;
    default: return 0;
  }
}

// FNV-1a over the pixels: a dialog picture is found again by its content.
uint64_t pixels_key(std::span<const uint8_t> pixels) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (uint8_t byte : pixels) hash = (hash ^ byte) * 0x100000001B3ull;
  return hash;
}

Event report_of(EventType type) {
  Event event;
  event.type = type;
  return event;
}

}  // namespace

UiLayer::Change UiLayer::change_of(Change::Kind kind, int32_t x, int32_t y, int32_t index, bool down) {
  Change change;
  change.kind = kind;
  change.x = x;
  change.y = y;
  change.index = index;
  change.down = down;
  return change;
}

UiLayer::UiLayer() = default;

UiLayer::~UiLayer() {
  free_all_textures();
  if (!m_context) return;
  ImGui::SetCurrentContext(m_context);
  if (m_renderer) ImGui_ImplSDLRenderer_Shutdown();
  ImGui::DestroyContext(m_context);
}

void UiLayer::set_menu(std::span<const MenuEntry> menus) {
  if (std::equal(menus.begin(), menus.end(), m_menus.begin(), m_menus.end())) return;
  m_menus.assign(menus.begin(), menus.end());
  m_menu_was_open.assign(m_menus.size(), false);
  if (m_bar_shown) want_frames();
}

bool UiLayer::take_event(const Event& event) {
  bool panels = !m_panels.empty() &&
                std::any_of(m_panels.begin(), m_panels.end(), [](const Panel& p) { return p.status == DialogStatus::Pending; });
  bool active = m_bar_shown || panels;
  auto over_bar = [&] { return m_bar_shown && m_pointer_y >= 0 && m_pointer_y < m_bar_height; };
  switch (event.type) {
    case EventType::MouseMove: {
      m_pointer_x = event.x;
      m_pointer_y = event.y;
      if (!m_bar_shown && !panels && !m_menus.empty() && event.y >= 0 && event.y < kRevealRows) {
        m_bar_shown = true;
        m_reports_pending.push_back(report_of(EventType::MenuOpening));
        active = true;
      }
      if (!active) return false;
      m_changes.push_back(change_of(Change::Kind::Move, event.x, event.y));
      want_frames();
      return panels || m_popup_open || over_bar();
    }
    case EventType::MouseDown:
    case EventType::MouseUp: {
      int index = button_index(event.button);
      bool down = event.type == EventType::MouseDown;
      if (down) {
        m_pointer_x = event.x;
        m_pointer_y = event.y;
        m_button_taken[index] = panels || m_popup_open || over_bar();
      }
      bool taken = m_button_taken[index];
      if (!down) m_button_taken[index] = false;
      if (!taken) return false;
      m_changes.push_back(change_of(Change::Kind::Move, event.x, event.y));
      m_changes.push_back(change_of(Change::Kind::Button, 0, 0, index, down));
      want_frames();
      return true;
    }
    case EventType::Wheel:
      if (!(panels || m_popup_open || over_bar())) return false;
      m_changes.push_back(change_of(Change::Kind::Wheel, event.wheel));
      want_frames();
      return true;
    case EventType::KeyDown:
    case EventType::KeyUp: {
      bool down = event.type == EventType::KeyDown;
      if (event.key == kKeyAlt) {
        // A lone press and release of Alt opens the menus, as on the desktop;
        // the game still sees Alt (Alt+Enter, Alt+F2).
        if (down && !event.repeat) m_alt_alone = true;
        if (!down && m_alt_alone && !panels) {
          m_alt_alone = false;
          activate_by_keyboard();
        }
        return panels;
      }
      if (down) m_alt_alone = false;
      if (event.key == kKeyF10) {
        if (down && !event.repeat && !panels) activate_by_keyboard();
        return true;
      }
      bool held = event.key >= 0 && event.key < 512 && m_key_taken[size_t(event.key)];
      if (!down && held) {
        m_key_taken[size_t(event.key)] = false;
        if (event.key == kKeyReturn) m_changes.push_back(change_of(Change::Kind::Key, 0, 0, kKeySpace, false));
        m_changes.push_back(change_of(Change::Kind::Key, 0, 0, event.key, false));
        want_frames();
        return true;
      }
      if (!(panels || m_popup_open || m_keyboard_mode)) return false;
      // Left and Right move between the bar's menus while the keyboard has
      // them, as a desktop menu bar does.
      if (m_keyboard_mode && !panels && (event.key == kKeyLeft || event.key == kKeyRight)) {
        if (down) step_menu(event.key == kKeyRight ? 1 : -1);
        return true;
      }
      if (event.key >= 0 && event.key < 512) {
        m_key_taken[size_t(event.key)] = down;
        // In the menus Return (and the keypad's Enter, the same key code)
        // chooses the item, as Space does: ImGui's navigation activates
        // items with Space only.
        int32_t key = !panels && event.key == kKeyReturn ? kKeySpace : event.key;
        m_changes.push_back(change_of(Change::Kind::Key, 0, 0, key, down));
        want_frames();
      }
      return true;
    }
    case EventType::PadButtonDown:
    case EventType::PadButtonUp: {
      int32_t key = pad_key(event.pad_button);
      bool down = event.type == EventType::PadButtonDown;
      bool held = key != 0 && m_key_taken[size_t(key)];
      if (!panels && !(held && !down)) return false;
      if (key != 0) {
        m_key_taken[size_t(key)] = down;
        m_changes.push_back(change_of(Change::Kind::Key, 0, 0, key, down));
        want_frames();
      }
      return true;
    }
    case EventType::TextInput:
      if (!(panels || m_popup_open)) return false;
      m_changes.push_back(change_of(Change::Kind::Text));
      m_changes.back().text = event.text;
      want_frames();
      return true;
    case EventType::FocusLost:
    case EventType::FocusGained:
      m_alt_alone = false;
      if (event.type == EventType::FocusLost) {
        m_keyboard_mode = false;
        m_close_menus = m_popup_open;
      }
      if (active) {
        m_changes.push_back(change_of(Change::Kind::Focus, 0, 0, 0, event.type == EventType::FocusGained));
        want_frames();
      }
      return false;
    default: return false;
  }
}

int32_t UiLayer::first_menu() const {
  for (size_t i = 0; i < m_menus.size(); ++i) {
    if (m_menus[i].kind == MenuEntry::Kind::Menu && m_menus[i].enabled) return int32_t(i);
  }
  return -1;
}

void UiLayer::step_menu(int direction) {
  std::vector<size_t> menus;
  for (size_t i = 0; i < m_menus.size(); ++i) {
    if (m_menus[i].kind == MenuEntry::Kind::Menu && m_menus[i].enabled) menus.push_back(i);
  }
  if (menus.empty()) return;
  size_t at = 0;
  for (size_t i = 0; i < menus.size(); ++i) {
    if (m_menu_was_open[menus[i]]) at = i;
  }
  at = (at + menus.size() + size_t(direction + int(menus.size()))) % menus.size();
  m_close_menus = true;
  m_open_menu = int32_t(menus[at]);
  want_frames();
}

void UiLayer::activate_by_keyboard() {
  if (m_menus.empty()) return;
  if (m_bar_shown && (m_keyboard_mode || m_popup_open)) {
    m_keyboard_mode = false;
    m_close_menus = true;
  } else {
    if (!m_bar_shown) m_reports_pending.push_back(report_of(EventType::MenuOpening));
    m_bar_shown = true;
    m_keyboard_mode = true;
    m_open_menu = first_menu();
  }
  want_frames();
}

void UiLayer::open_panel(DialogId id, std::shared_ptr<DialogContent> content) {
  m_panels.push_back({id, std::move(content)});
  // A dialog takes the keyboard from the menus, as a modal window would.
  m_keyboard_mode = false;
  m_close_menus = m_popup_open;
  want_frames();
}

DialogOutcome UiLayer::poll_panel(DialogId dialog) {
  auto it = std::find_if(m_panels.begin(), m_panels.end(), [&](const Panel& panel) { return panel.id == dialog; });
  if (it == m_panels.end()) return {DialogStatus::Failed, {}};
  if (it->status == DialogStatus::Pending) return {DialogStatus::Pending, {}};
  DialogOutcome outcome{it->status, {}};
  m_panels.erase(it);
  want_frames();
  return outcome;
}

void UiLayer::finish_panel(DialogId dialog, DialogStatus status) {
  for (Panel& panel : m_panels) {
    if (panel.id == dialog && panel.status == DialogStatus::Pending) panel.status = status;
  }
  want_frames();
}

std::vector<DialogId> UiLayer::pending_panels() const {
  std::vector<DialogId> pending;
  for (const Panel& panel : m_panels) {
    if (panel.status == DialogStatus::Pending) pending.push_back(panel.id);
  }
  return pending;
}

void UiLayer::skip_frame() {
  m_changes.clear();
  if (m_frames_wanted > 0) --m_frames_wanted;
  // With nothing shown no key or button of the UI's is held: a release
  // dropped here must not leave ImGui seeing the key down when a dialog
  // opens next, or its next press would not count.
  if (!m_context) return;
  ImGui::SetCurrentContext(m_context);
  ImGuiIO& io = ImGui::GetIO();
  std::fill(std::begin(io.KeysDown), std::end(io.KeysDown), false);
  std::fill(std::begin(io.MouseDown), std::end(io.MouseDown), false);
  io.KeyShift = io.KeyCtrl = io.KeyAlt = false;
}

void UiLayer::ensure_context(SDL_Renderer* renderer) {
  if (!m_context) {
    m_context = ImGui::CreateContext();
    ImGui::SetCurrentContext(m_context);
    ImGuiIO& io = ImGui::GetIO();
    // Nothing of the UI is written to disk.
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    // A blinking cursor would keep the window redrawing while nothing changes.
    io.ConfigInputTextCursorBlink = false;
    map_keys(io);
    ImGui::StyleColorsLight();
    ImGuiStyle& style = ImGui::GetStyle();
    // Check boxes and fields need an edge against the light windows.
    style.Colors[ImGuiCol_FrameBg] = ImVec4(0.88f, 0.88f, 0.88f, 1.0f);
    style.Colors[ImGuiCol_ModalWindowDimBg] = ImVec4(0.0f, 0.0f, 0.0f, 0.35f);
    // The game's picture must not show through dialogs and menus.
    style.Colors[ImGuiCol_PopupBg].w = 1.0f;
    style.WindowRounding = 0.0f;
    style.PopupRounding = 0.0f;
    style.FrameRounding = 0.0f;
    style.GrabRounding = 0.0f;
    style.ScrollbarRounding = 0.0f;
    style.TabRounding = 0.0f;
  }
  ImGui::SetCurrentContext(m_context);
  // draw_ui_image finds the layer drawing the frame here.
  ImGui::GetIO().UserData = this;
  if (!m_fonts_built) build_fonts();
  if (renderer != m_renderer) {
    free_all_textures();
    if (m_renderer) ImGui_ImplSDLRenderer_Shutdown();
    ImGui_ImplSDLRenderer_Init(renderer);
    m_renderer = renderer;
  }
}

void UiLayer::build_fonts() {
  m_fonts_built = true;
  ImGuiIO& io = ImGui::GetIO();
  io.Fonts->FontBuilderIO = ImGuiFreeType::GetBuilderForFreeType();
  ImFont* font = nullptr;
  std::optional<FontFile> file = find_font_file(m_fonts, kUiFace);
  if (file) {
    ImFontConfig config;
    config.FontNo = file->face_index;
    config.OversampleH = 1;
    config.OversampleV = 1;
    config.PixelSnapH = true;
    font = io.Fonts->AddFontFromFileTTF(file->path.c_str(), kFontPixels, &config,
                                        io.Fonts->GetGlyphRangesJapanese());
  }
  // Without a Japanese font the menus still work, with Latin glyphs only.
  if (!font) io.Fonts->AddFontDefault();
}

void UiLayer::release_renderer() {
  free_all_textures();
  if (!m_context || !m_renderer) return;
  ImGui::SetCurrentContext(m_context);
  ImGui_ImplSDLRenderer_Shutdown();
  m_renderer = nullptr;
}

SDL_Texture* UiLayer::texture_for(std::span<const uint8_t> pixels, int32_t width, int32_t height) {
  if (!m_renderer) return nullptr;
  uint64_t key = pixels_key(pixels);
  for (Texture& texture : m_textures) {
    if (texture.key == key && texture.width == width && texture.height == height) {
      texture.used = true;
      return texture.texture;
    }
  }
  SDL_Texture* texture =
      SDL_CreateTexture(m_renderer, SDL_PIXELFORMAT_BGR24, SDL_TEXTUREACCESS_STATIC, width, height);
  if (!texture) return nullptr;
  if (SDL_UpdateTexture(texture, nullptr, pixels.data(), width * 3) != 0) {
    SDL_DestroyTexture(texture);
    return nullptr;
  }
  m_textures.push_back({key, width, height, texture, true});
  return texture;
}

void UiLayer::free_unused_textures() {
  for (size_t i = 0; i < m_textures.size();) {
    if (!m_textures[i].used) {
      SDL_DestroyTexture(m_textures[i].texture);
      m_textures.erase(m_textures.begin() + long(i));
    } else {
      m_textures[i].used = false;
      ++i;
    }
  }
}

void UiLayer::free_all_textures() {
  for (Texture& texture : m_textures) SDL_DestroyTexture(texture.texture);
  m_textures.clear();
}

bool draw_ui_image(std::span<const uint8_t> pixels, int32_t width, int32_t height) {
  ImVec2 size(float(std::max(width, 0)), float(std::max(height, 0)));
  auto* layer = static_cast<UiLayer*>(ImGui::GetIO().UserData);
  bool fits = width > 0 && height > 0 && pixels.size() >= size_t(width) * size_t(height) * 3;
  SDL_Texture* texture =
      layer && fits ? layer->texture_for(pixels.first(size_t(width) * size_t(height) * 3), width, height) : nullptr;
  if (!texture) {
    ImGui::Dummy(size);
    return false;
  }
  ImGui::Image(texture, size);
  return true;
}

void UiLayer::apply_changes() {
  ImGuiIO& io = ImGui::GetIO();
  bool button_changed[3] = {};
  std::vector<bool> key_changed(512, false);
  while (!m_changes.empty()) {
    Change& change = m_changes.front();
    switch (change.kind) {
      case Change::Kind::Move: io.MousePos = ImVec2(float(change.x), float(change.y)); break;
      case Change::Kind::Button:
        if (button_changed[change.index]) return;
        button_changed[change.index] = true;
        io.MouseDown[change.index] = change.down;
        break;
      case Change::Kind::Key:
        if (key_changed[size_t(change.index)]) return;
        key_changed[size_t(change.index)] = true;
        io.KeysDown[change.index] = change.down;
        if (change.index == kKeyShift) io.KeyShift = change.down;
        if (change.index == kKeyControl) io.KeyCtrl = change.down;
        break;
      case Change::Kind::Wheel: io.MouseWheel += float(change.x); break;
      case Change::Kind::Text: io.AddInputCharactersUTF8(change.text.c_str()); break;
      case Change::Kind::Focus: io.AddFocusEvent(change.down); break;
    }
    m_changes.pop_front();
  }
}

void UiLayer::draw_menu_entries(const std::vector<MenuEntry>& entries, std::vector<Event>& reports) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const MenuEntry& entry = entries[i];
    switch (entry.kind) {
      case MenuEntry::Kind::Separator: ImGui::Separator(); break;
      case MenuEntry::Kind::Item:
        if (ImGui::MenuItem(imgui_label(entry, i).c_str(), shortcut(entry).c_str(), entry.checked, entry.enabled)) {
          Event chosen;
          chosen.type = EventType::MenuCommand;
          chosen.key = int32_t(entry.id);
          reports.push_back(chosen);
        }
        break;
      case MenuEntry::Kind::Menu:
        if (ImGui::BeginMenu(imgui_label(entry, i).c_str(), entry.enabled)) {
          draw_menu_entries(entry.children, reports);
          ImGui::EndMenu();
        }
        break;
    }
  }
}

void UiLayer::draw_menu_bar(std::vector<Event>& reports) {
  if (m_close_menus) {
    m_close_menus = false;
    ImGuiContext& context = *ImGui::GetCurrentContext();
    if (context.OpenPopupStack.Size > 0) ImGui::ClosePopupToLevel(0, true);
  }
  if (!ImGui::BeginMainMenuBar()) return;
  m_bar_height = int32_t(ImGui::GetWindowSize().y);
  bool any_open = false;
  for (size_t i = 0; i < m_menus.size(); ++i) {
    const MenuEntry& menu = m_menus[i];
    std::string label = imgui_label(menu, i);
    if (menu.kind == MenuEntry::Kind::Item) {
      if (ImGui::MenuItem(label.c_str(), nullptr, menu.checked, menu.enabled)) {
        Event chosen;
        chosen.type = EventType::MenuCommand;
        chosen.key = int32_t(menu.id);
        reports.push_back(chosen);
      }
      continue;
    }
    if (menu.kind != MenuEntry::Kind::Menu) continue;
    if (m_open_menu == int32_t(i)) {
      ImGui::OpenPopup(label.c_str());
      // Opened from the keyboard: its first item shows as chosen.
      ImGuiContext& context = *ImGui::GetCurrentContext();
      context.NavDisableHighlight = false;
      context.NavDisableMouseHover = true;
    }
    bool open = ImGui::BeginMenu(label.c_str(), menu.enabled);
    if (open) {
      any_open = true;
      if (!m_menu_was_open[i]) m_reports_pending.push_back(report_of(EventType::MenuOpening));
      draw_menu_entries(menu.children, reports);
      ImGui::EndMenu();
    }
    m_menu_was_open[i] = open;
  }
  m_open_menu = -1;
  ImGui::EndMainMenuBar();
  m_popup_open = any_open;
}

// Every pending dialog, each opened inside the one before it: a box asked
// while a dialog is open shows over that dialog and takes the input.
void UiLayer::draw_panels(size_t from) {
  auto pending = std::find_if(m_panels.begin() + long(from), m_panels.end(),
                              [](const Panel& panel) { return panel.status == DialogStatus::Pending; });
  if (pending == m_panels.end()) return;
  size_t index = size_t(pending - m_panels.begin());
  std::shared_ptr<DialogContent> content = pending->content;
  std::string id = content->title() + "###panel" + std::to_string(pending->id);
  if (!pending->opened) {
    ImGui::OpenPopup(id.c_str());
    pending->opened = true;
    m_focus.title = content->title();
    m_focus.reported = 0;
  }
  const ImGuiViewport* viewport = ImGui::GetMainViewport();
  // Centred on the window, and again whenever its contents change its size
  // (a tabbed dialog's pages differ in height).
  ImGui::SetNextWindowPos(viewport->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
  if (ImGui::BeginPopupModal(id.c_str(), nullptr, ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings)) {
    DialogStatus status = content->draw();
    if (status != DialogStatus::Pending) {
      m_panels[index].status = status;
      ImGui::CloseCurrentPopup();
      want_frames();
    } else {
      draw_panels(index + 1);
    }
    ImGui::EndPopup();
  }
}

// Dear ImGui keeps no labels, only the IDs hashed from them. Its stack
// tool's hook reports the text an ID is made from while the ID is computed:
// asked for the focused control's ID, one frame learns how deep its ID
// stack is, the next gives the control's own label. Asking changes nothing
// on the screen, and no frame is drawn for it.
void UiLayer::begin_focus_query() {
  ImGuiContext& context = *ImGui::GetCurrentContext();
  ImGuiStackTool& tool = context.DebugStackTool;
  tool.LastActiveFrame = -2;  // the stack tool's own window never runs its queries
  const ImGuiID focused = context.NavId;
  if (focused == 0 || focused == m_focus.reported) {
    m_focus.asked = 0;
    return;
  }
  if (m_focus.asked != focused || !m_focus.stack_known || tool.Results.Size == 0 ||
      tool.Results.back().ID != focused) {
    m_focus.asked = focused;
    m_focus.stack_known = false;
    tool.StackLevel = -1;
    tool.Results.resize(0);
  } else {
    tool.StackLevel = tool.Results.Size - 1;
    ImGuiStackLevelInfo& info = tool.Results.back();
    info.QueryFrameCount = 1;
    info.QuerySuccess = false;
    info.Desc[0] = '\0';
  }
  context.DebugHookIdInfo = focused;
}

void UiLayer::end_focus_query(std::vector<Event>& reports) {
  ImGuiContext& context = *ImGui::GetCurrentContext();
  context.DebugHookIdInfo = 0;
  if (m_focus.asked == 0) return;
  ImGuiStackTool& tool = context.DebugStackTool;
  if (!m_focus.stack_known) {
    // The hook ran once: the stack is known, the label comes next frame.
    m_focus.stack_known = tool.StackLevel == 0 && tool.Results.Size > 0;
    return;
  }
  if (tool.Results.Size == 0 || !tool.Results.back().QuerySuccess) return;
  std::string label = tool.Results.back().Desc;
  label = label.substr(0, label.find("##"));
  Event focus = report_of(EventType::UiFocus);
  focus.text = m_focus.title.empty() ? label : m_focus.title + "\n" + label;
  m_focus.title.clear();
  reports.push_back(std::move(focus));
  m_focus.reported = m_focus.asked;
  m_focus.asked = 0;
  m_focus.stack_known = false;
}

void UiLayer::set_status_text(std::string_view text) {
  if (text == m_status_text) return;
  m_status_text = text;
  want_frames();
}

// One line along the bottom edge, over the picture; it takes no input.
void UiLayer::draw_status_bar() {
  if (m_status_text.empty()) return;
  const ImGuiViewport* viewport = ImGui::GetMainViewport();
  float height = ImGui::GetFrameHeight();
  ImGui::SetNextWindowPos(ImVec2(viewport->Pos.x, viewport->Pos.y + viewport->Size.y - height));
  ImGui::SetNextWindowSize(ImVec2(viewport->Size.x, height));
  constexpr ImGuiWindowFlags kFlags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoInputs |
                                      ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing |
                                      ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoMove;
  if (ImGui::Begin("###status", nullptr, kFlags)) ImGui::TextUnformatted(m_status_text.c_str());
  ImGui::End();
}

void UiLayer::draw(SDL_Renderer* renderer, int32_t width, int32_t height, float framebuffer_scale,
                   uint32_t now_ms, std::vector<Event>& reports) {
  ensure_context(renderer);
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(float(width), float(height));
  io.DisplayFramebufferScale = ImVec2(framebuffer_scale, framebuffer_scale);
  float elapsed = m_has_drawn ? float(uint32_t(now_ms - m_last_frame_ms)) / 1000.0f : 1.0f / 60.0f;
  io.DeltaTime = std::clamp(elapsed, 0.001f, 0.1f);
  m_last_frame_ms = now_ms;
  m_has_drawn = true;
  apply_changes();

  ImGui_ImplSDLRenderer_NewFrame();
  ImGui::NewFrame();
  begin_focus_query();
  if (m_bar_shown) {
    draw_menu_bar(reports);
  } else {
    m_popup_open = false;
  }
  draw_status_bar();
  draw_panels();

  // Keyboard activation lasts while its menus stay open; the bar stays while
  // the pointer is on it or a menu is open.
  if (m_keyboard_mode && !m_popup_open && m_open_menu < 0) m_keyboard_mode = false;
  bool on_bar = m_pointer_y >= 0 && m_pointer_y < m_bar_height && m_pointer_x >= 0;
  if (m_bar_shown && !m_keyboard_mode && !m_popup_open && !on_bar) {
    m_bar_shown = false;
    want_frames();
  }

  end_focus_query(reports);
  ImGui::Render();
  ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
  free_unused_textures();
  if (m_frames_wanted > 0) --m_frames_wanted;
  reports.insert(reports.end(), m_reports_pending.begin(), m_reports_pending.end());
  m_reports_pending.clear();
}

}  // namespace tavelo::platform
