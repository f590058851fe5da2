#pragma once
// The engine's own compressed picture formats: .rct (24-bit, optionally
// scrambled with the image key, optionally a difference image over a named
// base picture) and .rc8 (8-bit with a 256-colour palette). Decoders work on
// byte spans and never read or write outside them; a malformed stream stops
// decoding where it goes wrong and leaves the rest of the picture black.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "graphics/page.h"

namespace tavelo::graphics {

// Pictures larger than this on either side are refused as damaged.
inline constexpr int32_t kMaxPictureSide = 16384;

inline constexpr size_t kRctHeaderSize = 20;
inline constexpr size_t kRc8HeaderSize = 788;  // header plus palette
inline constexpr std::array<uint8_t, 4> kPictureMagicLead = {0x98, 0x5A, 0x92, 0x9A};

// Where a back-reference copies from, in pixels relative to the current pixel
// (negative rows are earlier rows), indexed by the control byte's offset field.
// In the packed picture an offset is the distance -(dx + dy * width) pixels.
struct BackOffset {
  int8_t dx;
  int8_t dy;
};

inline constexpr BackOffset kRctBackOffsets[32] = {
    {-1, 0}, {-2, 0},  {-3, 0},  {-4, 0},  {-5, 0},  {-6, 0},              //
    {3, -1}, {2, -1},  {1, -1},  {0, -1},  {-1, -1}, {-2, -1}, {-3, -1},  //
    {3, -2}, {2, -2},  {1, -2},  {0, -2},  {-1, -2}, {-2, -2}, {-3, -2},  //
    {3, -3}, {2, -3},  {1, -3},  {0, -3},  {-1, -3}, {-2, -3}, {-3, -3},  //
    {2, -4}, {1, -4},  {0, -4},  {-1, -4}, {-2, -4},                      //
};

inline constexpr BackOffset kRc8BackOffsets[16] = {
    {-1, 0}, {-2, 0}, {-3, 0},  {-4, 0},                                //
    {3, -1}, {2, -1}, {1, -1},  {0, -1},  {-1, -1}, {-2, -1}, {-3, -1},  //
    {2, -2}, {1, -2}, {0, -2},  {-1, -2}, {-2, -2},                      //
};

enum class RctVariant { Plain, PlainDifference, Scrambled, ScrambledDifference };

struct RctHeader {
  RctVariant variant = RctVariant::Plain;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t data_length = 0;
  std::string base_name;  // game code page; empty unless a difference image
  size_t data_offset = 0;

  bool scrambled() const { return variant == RctVariant::Scrambled || variant == RctVariant::ScrambledDifference; }
  bool difference() const {
    return variant == RctVariant::PlainDifference || variant == RctVariant::ScrambledDifference;
  }
};

// The image key: 256 words XORed over scrambled .rct data. All zero (no
// scrambling) until a key string is set.
struct ImageKey {
  std::array<uint32_t, 256> words{};
};

// Builds the key from a key string (game code page bytes).
ImageKey make_image_key(std::string_view key_string);

// XORs data with the key: whole 1024-byte blocks word by word, the tail byte
// by byte with the first key bytes. Its own inverse.
void apply_image_key(const ImageKey& key, std::span<uint8_t> data);

// nullopt when the magic is unknown or the header is cut short. Sizes are not
// checked here.
std::optional<RctHeader> parse_rct_header(std::span<const uint8_t> file);

struct RctPicture {
  Page page;              // 24-bit
  std::string base_name;  // for difference images: the picture to merge with
};

// Decodes a whole .rct file. nullopt for an unknown magic, a size outside
// 1..kMaxPictureSide or a file shorter than its header announces. A scrambled
// picture whose key does not fit (trailer not "TS") gives an all-black page.
std::optional<RctPicture> decode_rct(std::span<const uint8_t> file, const ImageKey& key);

// Decodes a whole .rc8 file into an 8-bit page with the file's palette.
std::optional<Page> decode_rc8(std::span<const uint8_t> file);

// The raw decoders, exposed for benchmarks and tests: decode the compressed
// stream into a packed block (width * bytes-per-pixel per row). Return the
// number of bytes produced; a shortfall means the stream ended early or was
// malformed. out.size() must be at least width * height * bytes-per-pixel.
size_t unpack_rct_stream(std::span<const uint8_t> data, std::span<uint8_t> out, int32_t width, int32_t height);
size_t unpack_rc8_stream(std::span<const uint8_t> data, std::span<uint8_t> out, int32_t width, int32_t height);

struct PictureSize {
  int32_t width = 0;
  int32_t height = 0;
};

// Width and height from the first bytes of an .rct or .rc8 file (any of the
// five magics); nullopt for anything else.
std::optional<PictureSize> peek_rct_size(std::span<const uint8_t> file_start);

// The size decode_rct or decode_rc8 gives a whole file of file_length bytes
// that begins with file_start (which holds at least the header: 22 bytes for
// .rct, kRc8HeaderSize for .rc8), decided from the header alone: nullopt
// wherever the decoder refuses the file (unknown magic, a size outside
// 1..kMaxPictureSide, data cut short). Size queries use it, so they fail
// exactly where loading fails.
std::optional<PictureSize> decodable_rct_size(std::span<const uint8_t> file_start, uint64_t file_length);

// Replaces every pure-red pixel (red 255, green 0, blue 0) of a 24-bit picture
// by the base pixel at the same place, where the base has one. Bases that are
// not 24-bit leave the picture unchanged.
void merge_difference(Page& picture, const Page& base);

}  // namespace tavelo::graphics
