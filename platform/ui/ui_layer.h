#pragma once
// The in-window user interface both backends draw over the game's picture:
// the menu bar and the open in-window dialogs, on Dear ImGui with a font
// atlas from IPA Gothic (the Japanese glyph ranges). The backends offer it
// every input event first (take_event), draw it with an SDL_Renderer (the
// window's, or a software renderer over a copy of the frame when headless)
// and pass on what it reports (chosen menu items). Dialog contents come from
// the engine (platform::DialogContent, written in dialogs/).
//
// Dear ImGui keeps its state in a context that it reaches through one global
// pointer; every UiLayer owns its own context and makes it current on entry,
// so engines never share UI state. Main thread only.

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/font_lookup.h"
#include "platform/platform.h"

struct ImGuiContext;
struct SDL_Renderer;
struct SDL_Texture;

namespace tavelo::platform {

class UiLayer {
 public:
  UiLayer();
  ~UiLayer();
  UiLayer(const UiLayer&) = delete;
  UiLayer& operator=(const UiLayer&) = delete;

  void set_menu(std::span<const MenuEntry> menus);

  // Offers an input event (mouse positions in window pixels); true when the
  // UI takes it and the game must not see it.
  bool take_event(const Event& event);

  // Opens a dialog under the backend's id.
  void open_panel(DialogId dialog, std::shared_ptr<DialogContent> content);
  // Pending while open; the final outcome once, then Failed.
  DialogOutcome poll_panel(DialogId dialog);
  // Ends a panel as if the player chose status (headless policy answers).
  void finish_panel(DialogId dialog, DialogStatus status);
  // The dialogs still waiting for the player.
  std::vector<DialogId> pending_panels() const;

  // The debug-mode status bar along the bottom edge; empty hides it.
  void set_status_text(std::string_view text);

  // Whether anything is shown over the picture.
  bool visible() const { return m_bar_shown || !m_panels.empty() || !m_status_text.empty(); }
  // Whether a UI frame should run: something changed since the last one.
  bool needs_frame() const { return m_frames_wanted > 0 || !m_changes.empty(); }
  int32_t bar_height() const { return m_bar_shown ? m_bar_height : 0; }

  // Runs one UI frame for a window of width × height (window pixels; the
  // renderer's output may be framebuffer_scale times larger) and draws it
  // with renderer over what the renderer holds. Chosen items, menu openings
  // and the labels of controls the keyboard or pad moved to (UiFocus, for
  // reading aloud; a dialog's title comes with its first) are appended to
  // reports.
  void draw(SDL_Renderer* renderer, int32_t width, int32_t height, float framebuffer_scale, uint32_t now_ms,
            std::vector<Event>& reports);

  // A frame in which nothing is shown: pending input is dropped.
  void skip_frame();

  // Forgets the renderer (before the backend destroys it).
  void release_renderer();

  // A texture of the renderer showing the pixels (see draw_ui_image), kept
  // while a frame draws them; nullptr without a renderer.
  SDL_Texture* texture_for(std::span<const uint8_t> pixels, int32_t width, int32_t height);

 private:
  struct Panel {
    DialogId id = 0;
    std::shared_ptr<DialogContent> content;
    DialogStatus status = DialogStatus::Pending;
    bool opened = false;  // the modal window has been opened
  };
  // Input that reaches ImGui one frame at a time: a press and its release
  // must be seen in different frames or the click is lost.
  struct Change {
    enum class Kind : uint8_t { Move, Button, Key, Wheel, Text, Focus } kind = Kind::Move;
    int32_t x = 0;
    int32_t y = 0;
    int32_t index = 0;  // button or key
    bool down = false;
    std::string text;
  };

  static Change change_of(Change::Kind kind, int32_t x = 0, int32_t y = 0, int32_t index = 0, bool down = false);
  void ensure_context(SDL_Renderer* renderer);
  void build_fonts();
  void apply_changes();
  void draw_menu_bar(std::vector<Event>& reports);
  void draw_menu_entries(const std::vector<MenuEntry>& entries, std::vector<Event>& reports);
  void draw_panels(size_t from = 0);
  void draw_status_bar();
  void activate_by_keyboard();
  int32_t first_menu() const;
  void step_menu(int direction);
  void want_frames() { m_frames_wanted = 3; }
  void begin_focus_query();
  void end_focus_query(std::vector<Event>& reports);
  void free_unused_textures();
  void free_all_textures();

  ImGuiContext* m_context = nullptr;
  SDL_Renderer* m_renderer = nullptr;
  FontLookup m_fonts;
  bool m_fonts_built = false;

  std::vector<MenuEntry> m_menus;
  std::vector<std::string> m_labels;  // display labels of the top-level menus
  bool m_bar_shown = false;
  bool m_keyboard_mode = false;   // opened by F10 or Alt; stays until the menus close
  int32_t m_open_menu = -1;        // the next frame opens this top-level menu
  bool m_popup_open = false;       // a menu of the bar was open in the last frame
  bool m_close_menus = false;      // the next frame closes every open menu
  std::vector<bool> m_menu_was_open;
  int32_t m_bar_height = 20;
  int32_t m_pointer_x = -1;
  int32_t m_pointer_y = -1;
  bool m_alt_alone = false;  // Alt is down and no other key came since
  // Which presses went to the UI, so their releases follow them.
  bool m_button_taken[3] = {};
  // Keys the UI holds down: their releases reach it even after the dialog
  // that took the press has closed, or ImGui would see them held for ever.
  std::vector<bool> m_key_taken = std::vector<bool>(512, false);

  std::vector<Panel> m_panels;
  std::string m_status_text;

  // Dialog pictures, found again by a hash of their pixels.
  struct Texture {
    uint64_t key = 0;
    int32_t width = 0;
    int32_t height = 0;
    SDL_Texture* texture = nullptr;
    bool used = false;  // drawn in the current frame
  };
  std::vector<Texture> m_textures;

  // The focused control whose label is being asked for (see
  // begin_focus_query), the last one reported, and a dialog title that waits
  // for its first control's label.
  struct FocusQuery {
    uint32_t asked = 0;
    bool stack_known = false;
    uint32_t reported = 0;
    std::string title;
  };
  FocusQuery m_focus;

  std::deque<Change> m_changes;
  std::vector<Event> m_reports_pending;  // reports that arose outside draw()
  int m_frames_wanted = 0;
  uint32_t m_last_frame_ms = 0;
  bool m_has_drawn = false;
};

}  // namespace tavelo::platform
