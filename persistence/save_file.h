#pragma once
// The save file: a 41 952-byte header block (magic, comment, counts, the
// audio state, the load value, the text history), the thumbnail's pixels,
// the main thread's frame records, the global, thread and local value
// records and their payload. docs/save-files.md gives the layout byte by
// byte. write_save_file() and parse_save_file() are pure: the parts of the
// engine fill and apply a SaveImage through their keep functions (host/
// save_game.cpp lists them), the fuzzer and tools read files without an
// engine.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "persistence/stored_values.h"

namespace tavelo::persistence {

inline constexpr std::string_view kSaveMagic{"TaveloSavV1.103\0", 16};
inline constexpr size_t kSaveHeaderSize = 41952;
inline constexpr size_t kHistoryBytes = 40000;
inline constexpr size_t kCommentField = 128;
inline constexpr size_t kScriptNameField = 128;
inline constexpr size_t kFrameRecordSize = 168;
// The audio channels' fields: header bytes 172 to 1947, laid out by
// audio::keep_channels.
inline constexpr size_t kAudioFieldsAt = 172;
inline constexpr size_t kAudioFieldsSize = 1776;
// Frames a main thread can have (the interpreter's limit).
inline constexpr uint32_t kMaxSavedFrames = 256;
// A thumbnail is a reduced screen; anything larger than a screen is damage.
inline constexpr int32_t kMaxThumbnailSide = 4096;

// One call frame: the script it runs in and ten fields. Code addresses are
// offsets from the start of the script's code, 0 for none.
struct FrameRecord {
  std::string script_name;  // as the loader names scripts ("START.TVO")
  int32_t position = 0;
  int32_t base = 0;
  int32_t top = 0;
  bool discard_result = false;  // 1 or 0 in the file
  int32_t line = 0;
  // Left, right and middle handler, break target, end handler.
  std::array<int32_t, 5> targets{};
};

struct SaveImage {
  std::string comment;  // at most 127 bytes
  int32_t thumbnail_width = 0;
  int32_t thumbnail_height = 0;
  std::vector<uint8_t> thumbnail;  // width × height × 3 bytes, rows in page order
  std::vector<FrameRecord> frames;  // outermost first; at least one in a file
  ValueList globals;
  ValueList thread_values;
  // The main thread's stack from slot 1 up: every frame's arguments and
  // locals, so callers find theirs again after a load.
  ValueList locals;
  // The audio channels' part of the header, as the file holds it.
  std::array<uint8_t, kAudioFieldsSize> audio{};
  int32_t load_value = 0;
  std::vector<uint8_t> history;  // kHistoryBytes, or empty for none
};

std::vector<uint8_t> write_save_file(const SaveImage& image);

enum class SaveFileStatus {
  Ok,
  BadMagic,     // not a save file (or shorter than its magic)
  Truncated,    // the header block or a counted part runs past the end
  BadCounts,    // frame count, thumbnail size or a store count out of range
  BadFrames,    // a frame record that cannot be a frame
  BadValues,    // a value record of an unknown type or whose block does not fit
};

// Checks the magic, every count and size against the file's length, then
// builds the image. Nothing is half-built on failure: image is only changed
// when the result is Ok.
SaveFileStatus parse_save_file(std::span<const uint8_t> file, SaveImage& image);

// What the slot queries and the slot dialog show of a file without loading
// it: the comment and the thumbnail. False for a missing, foreign or damaged
// header; a thumbnail that does not fit the file comes back empty.
struct SaveSummary {
  std::string comment;
  int32_t thumbnail_width = 0;
  int32_t thumbnail_height = 0;
  std::vector<uint8_t> thumbnail;
};
bool read_save_summary(std::span<const uint8_t> file, SaveSummary& summary, bool with_thumbnail);

// Slot numbers to file names (engine form, under the save root): below 0 and
// 10001 the "last" slot, 0..9999 numbered, other numbers from 10000 the quick
// ring counted back from the newest (quick_num).
std::string slot_file_name(int32_t slot, int32_t quick_num);
std::string quick_file_name(int32_t index);

}  // namespace tavelo::persistence
