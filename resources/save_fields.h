#pragma once
// Saves written and read by one body. A part of the engine lists what it
// keeps of a game once, field by field in the order of its block, over a
// SaveFields; the same call then either writes the live state into the block
// (Saving) or reads the block back into the live state (Loading). Fields are
// little-endian 32-bit integers and flags, NUL-terminated texts in fixed
// widths, raw bytes and unused gaps; copy() does the same for fields that a
// save image keeps as records rather than bytes.
//
// Saving writes every byte a field or gap covers. Loading keeps the bytes a
// field reads and clears the rest (gaps, what follows a text's NUL), so that
// a block read from a file saves again as a fresh save of the same values
// would. Fields past the block's end read as zero and write nothing; ok()
// then turns false.
//
// Pure byte work, no engine: host/save_game.cpp hands each part of the
// engine its block of a persistence::SaveImage.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tavelo::resources {

enum class SaveDirection { Saving, Loading };

class SaveFields {
 public:
  SaveFields(SaveDirection direction, std::span<uint8_t> block) : m_direction(direction), m_block(block) {}

  bool loading() const { return m_direction == SaveDirection::Loading; }
  // Every field so far lay inside the block.
  bool ok() const { return m_ok; }
  // Bytes of the block the fields and gaps so far cover.
  size_t position() const { return m_position; }

  void int32(int32_t& value);
  // Saved as 1 or 0; any non-zero value loads as set.
  void flag(bool& value);
  // width bytes: the text cut to width - 1 bytes, then NULs. Loading takes
  // the bytes up to the first NUL, or all but the last when there is none.
  void text(std::string& value, size_t width);
  void bytes(std::span<uint8_t> value);
  // Bytes nothing uses: zero.
  void unused(size_t width);

  // A field kept in a record of the image rather than in the block: saving
  // copies live into stored, loading stored into live.
  template <class T>
  void copy(T& stored, T& live) const {
    if (loading()) {
      live = stored;
    } else {
      stored = live;
    }
  }

 private:
  // The next width bytes of the block; empty (and ok false) past its end.
  std::span<uint8_t> take(size_t width);

  SaveDirection m_direction;
  std::span<uint8_t> m_block;
  size_t m_position = 0;
  bool m_ok = true;
};

}  // namespace tavelo::resources
