#pragma once
// The main window's menu bar: one table of every menu and item of every menu
// variant (command ids, texts with their key letters), the variant a game
// chooses through its environment keys, the start-up edits (items deleted or
// greyed by environment keys and settings) and the refresh that greys and
// checks items from the engine's state. The main window (host/main_window)
// owns a MenuState, refreshes it and hands the result to the platform, which
// draws the bar and reports chosen items by id.

#include <bitset>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tavelo::host {

struct Engine;

// Command ids of the menu items.
enum MenuCommand : uint32_t {
  kMenuExit = 40001,
  kMenuFullScreen = 40002,
  kMenuWindowed = 40003,
  kMenuAbout = 40004,
  kMenuSpeedSettings = 40005,
  kMenuSoundSettings = 40006,
  kMenuScreenCapture = 40007,
  kMenuForceSkip = 40008,
  kMenuSave = 40009,
  kMenuLoad = 40010,
  kMenuSaveAs = 40011,
  kMenuLoadFromFile = 40012,
  kMenuReadSkip = 40013,
  kMenuAutoPlay = 40014,
  kMenuBacklog = 40015,
  kMenuReturnToTitle = 40017,
  kMenuDifficulty0 = 40018,  // .. 40022
  kMenuGameSpeed0 = 40023,   // .. 40026
  kMenuHelp = 40028,
  kMenuTopmost = 40029,
  kMenuConfiguration = 40030,
  kMenuScreenOptions = 40034,
  kMenuFontSettings = 40035,
  kMenuErrorLog = 40037,
  kMenuVoiceSettings = 40038,
  kMenuJoystick = 40039,
  kMenuNoMovies = 40040,
  kMenuUserSupport = 40041,
  kMenuKeyHelp = 40042,
  kMenuQuickSave = 40045,
  kMenuQuickLoad = 40046,
  kMenuPreviousChoice = 40047,
  kMenuNextChoice = 40048,
  kMenuWideMode = 40049,
  kMenuExtraSettings = 40050,
};

inline constexpr uint32_t kFirstMenuCommand = 40001;
inline constexpr uint32_t kMenuCommandCount = 50;

// The menu resources a game can choose, by the first non-zero environment
// key of NEKOMENU, AKAMENU, STLMENU, NOCONFIG, USEEXTRASETUP.
enum class MenuVariant : uint8_t { Main, Neko, Aka, Stl, NoConfig, ExtraMenu };

std::string_view menu_variant_name(MenuVariant variant);  // "TAVELO_MAIN", ...

using MenuItemSet = std::bitset<kMenuCommandCount>;

struct MenuState {
  MenuVariant variant = MenuVariant::Main;
  MenuItemSet deleted;  // removed at start-up
  MenuItemSet greyed;   // greyed at start-up (LOADSAVEDISABLE, CAPTUREDISABLE)
  // What the last refresh found.
  MenuItemSet disabled;
  MenuItemSet checked;
  // What the platform shows; sent again only when it changes.
  std::vector<platform::MenuEntry> shown;
};

bool menu_item_present(const MenuState& state, uint32_t id);

// Chooses the variant and applies the start-up edits of the environment and
// the settings store (writes MovieDisableMenu when the movie item stays).
void set_up_menu(Engine& engine);

// Greys and checks items from the engine's state, then hands the bar to the
// platform when it changed.
void refresh_menu(Engine& engine);

// The bar for a state, as the platform draws it (for tests and refresh).
std::vector<platform::MenuEntry> build_menu(const MenuState& state);

}  // namespace tavelo::host
