#pragma once
// The slot dialog games without save screens of their own use: ten pages of
// ten numbered slots (and, when loading, the "Auto / Quick" page with the
// "last" slot and the quick-save ring), each row with its chapter, comment,
// time stamp and a "NEW" marker, and the selected slot's thumbnail. The host
// builds it with a reader of slot files (host/save_dialogs.cpp), the slot
// dialog system call waits for it, and the chosen slot and the page shown
// are read back from it. Texts are UTF-8.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tavelo::dialogs {

enum class SlotDialogMode { Save, Load };

// The first slot of a page: 100 · page + 1 for pages 1…10, and this for the
// "Auto / Quick" page.
inline constexpr int32_t kAutoQuickPageBase = 1101;
inline constexpr int32_t kFirstPageBase = 101;
inline constexpr int32_t kRowsPerPage = 10;

// What a slot's save file shows.
struct SlotFile {
  std::string comment;       // UTF-8, chapter and comment joined by "∵"
  platform::LocalTime time;  // the file's last write
  int32_t thumbnail_width = 0;
  int32_t thumbnail_height = 0;
  std::vector<uint8_t> thumbnail;  // blue, green, red; rows top-down
};
enum class ThumbnailRead { Skip, Read };
// nullopt for a slot without a readable save.
using SlotReader = std::function<std::optional<SlotFile>(int32_t slot, ThumbnailRead thumbnail)>;

// One row of the list. slot is -1 for the blank row of the "Auto / Quick" page.
struct SlotRow {
  int32_t slot = -1;
  std::string number;  // "  1", "Auto", "Q 01"
  std::string chapter;
  std::string comment;
  std::string time;  // "yy/mm/dd hh:mm", empty without a save
  std::string marker;  // "NEW" or empty
  int32_t thumbnail_height = 0;  // of the slot's save, 0 without one
};

// The rows of the page starting at page_base; newest_slot gets the marker.
std::vector<SlotRow> list_page(int32_t page_base, int32_t newest_slot, const SlotReader& read);

// A comment splits at its first "∵" into chapter and comment; without one it
// is all comment.
struct SplitComment {
  std::string chapter;
  std::string comment;
};
SplitComment split_comment(std::string_view comment);

// The page a dialog opens at from the stored page base: the "Auto / Quick"
// page only when loading, and page 1 for anything that is not a page.
int32_t opening_page_base(int32_t stored, SlotDialogMode mode);

class SlotDialog final : public platform::DialogContent {
 public:
  SlotDialog(SlotDialogMode mode, int32_t newest_slot, int32_t page_base, SlotReader read);

  std::string title() const override;
  platform::DialogStatus draw() override;

  // The chosen slot, or -1 while no row that may be confirmed is selected.
  int32_t result() const { return m_result; }
  // The page shown, kept for the next opening.
  int32_t page_base() const { return m_page_base; }

 private:
  void show_page(int32_t page_base);
  void select_row(int32_t row);
  int32_t page_count() const;
  void draw_tabs();
  void draw_tab_items();
  bool draw_rows();  // true when a row was activated
  void draw_details();

  SlotDialogMode m_mode;
  int32_t m_newest_slot;
  SlotReader m_read;
  int32_t m_page_base = kFirstPageBase;
  std::vector<SlotRow> m_rows;
  int32_t m_selected = -1;
  int32_t m_result = -1;
  std::optional<SlotFile> m_selected_file;  // with its thumbnail, while a row is selected
};

}  // namespace tavelo::dialogs
