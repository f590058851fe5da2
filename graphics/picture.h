#pragma once
// Pictures by name: resolving a script's picture name to a file (.png, .bmp,
// .rct, .rc8 in that order, with the `_` companion that carries a picture's
// transparency), decoding it, and keeping decoded pictures in the image cache.
// Also owns the image key for scrambled pictures and the small memos that let
// a picture and its companion, or repeated size queries, share one file read.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "graphics/image_cache.h"
#include "graphics/page.h"
#include "graphics/picture_image.h"
#include "graphics/picture_rct.h"

namespace tavelo::script {
struct Machine;
}

namespace tavelo::graphics {

// The budget the cache has until start-up sets one from free memory.
inline constexpr uint64_t kDefaultImageBudget = 64ull << 20;

// The last bitmap or PNG decoded: its file (upper-case path) and result.
struct DecoderMemo {
  std::string file_key;
  std::optional<DecodedImage> image;
};

struct PictureState {
  PictureState() { cache.set_budget(kDefaultImageBudget); }

  ImageCache cache;
  ImageKey key;
  // The last base name resolved (upper case) and the file name found for it.
  std::string memo_base;
  std::string memo_file;
  DecoderMemo bmp_memo;
  DecoderMemo png_memo;
  // The last .rct/.rc8 header read for a size query.
  std::string header_file;
  std::optional<PictureSize> header_size;
  // Nesting of difference images being merged; a chain that loops is cut.
  int merge_depth = 0;
};

// The file name (base name, dot, extension) a picture name resolves to, or
// nullopt when no file counts. Directory and extension of the name are
// ignored; letter case does not matter.
std::optional<std::string> pic_find(PictureState& state, script::Machine& machine, std::string_view name);

// A new page of the picture, owned by the caller. nullopt when the picture
// does not exist or cannot be read (a failed PNG shows its error box first).
std::optional<Page> pic_load(PictureState& state, script::Machine& machine, std::string_view name);

// The same picture for reading only: the cached page itself when the cache is
// on. The page stays valid for as long as the caller holds it, even if the
// cache drops it meanwhile.
std::shared_ptr<const Page> pic_load_shared(PictureState& state, script::Machine& machine, std::string_view name);

// 1 when the picture loads as a 24-bit page, 0 as an 8-bit page, -1 when it
// does not exist or cannot be read.
int pic_is_fullcolor(PictureState& state, script::Machine& machine, std::string_view name);

// The size pic_load would give, without building a page (headers only for
// .rct/.rc8). nullopt when the picture does not exist; a picture that exists
// but does not load (a damaged header, data cut short) and a companion
// without transparency answer 0 x 0.
std::optional<PictureSize> pic_size(PictureState& state, script::Machine& machine, std::string_view name);
int32_t pic_width(PictureState& state, script::Machine& machine, std::string_view name);   // 0 when missing
int32_t pic_height(PictureState& state, script::Machine& machine, std::string_view name);  // 0 when missing

// Sets the image key from a key string (game code page); an empty string
// leaves the key as it is.
void pic_set_key(PictureState& state, std::string_view key_string);

// Start-up: the cache budget from free memory, half of it, but 4 MB when less
// than 8 MB is free and 256 MB when more than 512 MB is free.
uint64_t image_budget_for_free_memory(uint64_t free_bytes);
// The budget for this machine now (the smallest budget when free memory is
// unknown).
uint64_t system_image_budget();

}  // namespace tavelo::graphics
