// Picture names, loading and the memos around them.
//
// A name is reduced to its base name (no directory, no extension) and looked
// up as .png, .bmp, .rct, .rc8 in that order. A base name ending in `_` is a
// companion: for .png and .bmp it stands for the transparency carried inside
// the picture without the `_`; for .rct and .rc8 it is a file of its own.
// Cache keys and memo keys are upper-cased (ASCII letters only, double-byte
// characters untouched) because game file names ignore letter case.

#include "graphics/picture.h"

#include <algorithm>
#include <cstdint>

#include "graphics/picture_bmp.h"
#include "graphics/picture_png.h"
#include "host/engine.h"
#include "host/message_box.h"
#include "platform/file_system.h"
#include "resources/file_lookup.h"
#include "resources/multibyte.h"

namespace tavelo::graphics {
namespace {

// Difference images name their base picture; a chain deeper than this (in
// practice a loop, such as a picture naming itself) is not merged further.
constexpr int kMaxMergeDepth = 8;

constexpr std::string_view kExtensions[] = {".png", ".bmp", ".rct", ".rc8"};

// --- File access -----------------------------------------------------------
// Through the file layer: loose files, search directories and archives.

bool picture_file_exists(host::Engine& engine, std::string_view file_name) {
  return resources::file_exists(engine, file_name);
}

// Where the file is read from, for the decoder memos. Entries of one archive
// share the archive's place, so the name is part of the key.
std::optional<std::string> picture_file_place(host::Engine& engine, std::string_view file_name) {
  std::optional<std::string> place = resources::file_resolve(engine, file_name);
  if (!place) return std::nullopt;
  return *place + '|' + std::string(file_name);
}

// The whole file, or its first limit bytes. nullopt when it cannot be read in
// full (a file cut short is unreadable; it is not read again and again).
std::optional<std::vector<uint8_t>> read_picture_file(host::Engine& engine, std::string_view file_name,
                                                      size_t limit = SIZE_MAX) {
  std::optional<platform::File> file = resources::find_game_file(engine, file_name);
  if (!file) return std::nullopt;
  size_t wanted = size_t(std::min<uint64_t>(file->length(), limit));
  std::vector<uint8_t> bytes(wanted);
  if (file->read(bytes) != wanted) return std::nullopt;
  return bytes;
}

// --- Names -----------------------------------------------------------------

const resources::LeadByteTable& lead_bytes(const host::Engine& engine) { return engine.resources.lead_bytes; }

std::string upper(const host::Engine& engine, std::string_view text) {
  return resources::to_upper(lead_bytes(engine), text);
}

std::string base_of(const host::Engine& engine, std::string_view name) {
  return std::string(resources::file_name_part(lead_bytes(engine), name, resources::Extension::Strip));
}

// Whether the last character is a single-byte `_` (a trail byte 0x5F of a
// double-byte character does not count).
bool is_companion(const host::Engine& engine, std::string_view base) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < base.size(); i += resources::character_length(lead_bytes(engine), base, i)) last = i;
  return last != std::string_view::npos && last + 1 == base.size() && base[last] == '_';
}

std::string lower_extension(const host::Engine& engine, std::string_view file_name) {
  return resources::to_lower(lead_bytes(engine), resources::extension_part(lead_bytes(engine), file_name));
}

// --- Bitmap and PNG decoding through the memos -----------------------------

// The decoded bitmap or PNG file, from the memo when it is the file decoded
// last. nullptr when it cannot be read; a PNG failure shows its box.
const DecodedImage* decode_memoized(host::Engine& engine, std::string_view file_name, bool png) {
  PictureState& state = engine.graphics.pictures;
  DecoderMemo& memo = png ? state.png_memo : state.bmp_memo;
  std::optional<std::string> place = picture_file_place(engine, file_name);
  std::string key = place ? upper(engine, *place) : std::string();
  if (memo.image && place && memo.file_key == key) return &*memo.image;
  memo.file_key.clear();
  memo.image.reset();

  std::optional<std::vector<uint8_t>> bytes = read_picture_file(engine, file_name);
  std::optional<DecodedImage> image;
  if (png) {
    PngDecoded decoded = bytes ? decode_png(*bytes) : PngDecoded{PngResult::CannotOpen, std::nullopt};
    if (decoded.result != PngResult::Success) {
      host::show_box(engine, host::BoxKind::Error, "PNG エラー", {});
      return nullptr;
    }
    image = std::move(decoded.image);
  } else if (bytes) {
    image = decode_bmp(*bytes);
  }
  if (!image) return nullptr;
  memo.file_key = std::move(key);
  memo.image = std::move(image);
  return &*memo.image;
}

// Whether a candidate file counts for a base name.
bool candidate_counts(host::Engine& engine, std::string_view base, std::string_view extension) {
  const bool inside_file = extension == ".png" || extension == ".bmp";
  if (inside_file && is_companion(engine, base)) {
    std::string plain = std::string(base.substr(0, base.size() - 1)) + std::string(extension);
    if (!picture_file_exists(engine, plain)) return false;
    const DecodedImage* image = decode_memoized(engine, plain, extension == ".png");
    return image && image->transparency;
  }
  return picture_file_exists(engine, std::string(base) + std::string(extension));
}

// --- Decoding a resolved file ----------------------------------------------

void merge_base_picture(host::Engine& engine, RctPicture& picture) {
  PictureState& state = engine.graphics.pictures;
  if (state.merge_depth >= kMaxMergeDepth) return;
  if (!pic_find(engine, picture.base_name)) {
    host::show_box(engine, host::BoxKind::Error, "差分元画像[%s]が存在しません", {picture.base_name});
    return;
  }
  ++state.merge_depth;
  std::shared_ptr<const Page> base = pic_load_shared(engine, picture.base_name);
  --state.merge_depth;
  if (base) merge_difference(picture.page, *base);
}

std::optional<Page> decode_file(host::Engine& engine, std::string_view file_name) {
  const std::string extension = lower_extension(engine, file_name);
  const std::string_view base = file_name.substr(0, file_name.size() - extension.size());
  if (extension == ".png" || extension == ".bmp") {
    const bool companion = is_companion(engine, base);
    std::string opened = companion ? std::string(base.substr(0, base.size() - 1)) + extension : std::string(file_name);
    const DecodedImage* image = decode_memoized(engine, opened, extension == ".png");
    if (!image) return std::nullopt;
    if (!companion) return clone_page(image->colour);
    if (!image->transparency) return std::nullopt;
    return clone_page(*image->transparency);
  }
  std::optional<std::vector<uint8_t>> bytes = read_picture_file(engine, file_name);
  if (!bytes) return std::nullopt;
  if (extension == ".rc8") return decode_rc8(*bytes);
  std::optional<RctPicture> picture = decode_rct(*bytes, engine.graphics.pictures.key);
  if (!picture) return std::nullopt;
  if (!picture->base_name.empty()) merge_base_picture(engine, *picture);
  return std::move(picture->page);
}

void remember(host::Engine& engine, std::string_view file_name, std::shared_ptr<const Page> page) {
  const std::string extension(resources::extension_part(lead_bytes(engine), file_name));
  ImageCacheEntry entry;
  entry.base_name = std::string(file_name.substr(0, file_name.size() - extension.size()));
  entry.extension = extension;
  entry.key = upper(engine, entry.base_name);
  entry.page = std::move(page);
  engine.graphics.pictures.cache.insert(std::move(entry));
}

std::optional<PictureSize> rct_size_from_header(host::Engine& engine, std::string_view file_name) {
  PictureState& state = engine.graphics.pictures;
  std::string key = upper(engine, file_name);
  if (state.header_size && state.header_file == key) return state.header_size;
  std::optional<std::vector<uint8_t>> bytes = read_picture_file(engine, file_name, kRc8HeaderSize);
  std::optional<PictureSize> size = bytes ? peek_rct_size(*bytes) : std::nullopt;
  if (!size) {
    state.header_file.clear();
    state.header_size.reset();
    return PictureSize{};
  }
  state.header_file = std::move(key);
  state.header_size = size;
  return size;
}

}  // namespace

std::optional<std::string> pic_find(host::Engine& engine, std::string_view name) {
  PictureState& state = engine.graphics.pictures;
  const std::string base = base_of(engine, name);
  const std::string key = upper(engine, base);
  if (const ImageCacheEntry* entry = state.cache.peek(key)) return entry->base_name + entry->extension;
  if (!state.memo_base.empty() && state.memo_base == key) return state.memo_file;
  state.memo_base = key;
  for (std::string_view extension : kExtensions) {
    if (candidate_counts(engine, base, extension)) {
      state.memo_file = base + std::string(extension);
      return state.memo_file;
    }
  }
  state.memo_base.clear();
  state.memo_file.clear();
  return std::nullopt;
}

std::optional<Page> pic_load(host::Engine& engine, std::string_view name) {
  PictureState& state = engine.graphics.pictures;
  const std::string key = upper(engine, base_of(engine, name));
  if (const ImageCacheEntry* entry = state.cache.lookup(key)) return clone_page(*entry->page);
  std::optional<std::string> file = pic_find(engine, name);
  if (!file) return std::nullopt;
  std::optional<Page> page = decode_file(engine, *file);
  if (!page) return std::nullopt;
  if (state.cache.enabled()) {
    std::shared_ptr<Page> held = std::make_shared<Page>(clone_page(*page));
    held->engine_held = true;
    remember(engine, *file, std::move(held));
  }
  return page;
}

std::shared_ptr<const Page> pic_load_shared(host::Engine& engine, std::string_view name) {
  PictureState& state = engine.graphics.pictures;
  const std::string key = upper(engine, base_of(engine, name));
  if (const ImageCacheEntry* entry = state.cache.lookup(key)) return entry->page;
  std::optional<std::string> file = pic_find(engine, name);
  if (!file) return nullptr;
  std::optional<Page> page = decode_file(engine, *file);
  if (!page) return nullptr;
  std::shared_ptr<Page> held = std::make_shared<Page>(std::move(*page));
  held->engine_held = true;
  remember(engine, *file, held);
  return held;
}

int pic_is_fullcolor(host::Engine& engine, std::string_view name) {
  PictureState& state = engine.graphics.pictures;
  if (const ImageCacheEntry* entry = state.cache.peek(upper(engine, base_of(engine, name)))) {
    return entry->page->depth == Depth::Rgb24 ? 1 : 0;
  }
  std::optional<std::string> file = pic_find(engine, name);
  if (!file) return -1;
  const std::string extension = lower_extension(engine, *file);
  if (extension == ".rct") return 1;
  if (extension == ".rc8") return 0;
  std::shared_ptr<const Page> page = pic_load_shared(engine, name);
  if (!page) return -1;
  return page->depth == Depth::Rgb24 ? 1 : 0;
}

std::optional<PictureSize> pic_size(host::Engine& engine, std::string_view name) {
  PictureState& state = engine.graphics.pictures;
  if (const ImageCacheEntry* entry = state.cache.peek(upper(engine, base_of(engine, name)))) {
    return PictureSize{entry->page->width, entry->page->height};
  }
  std::optional<std::string> file = pic_find(engine, name);
  if (!file) return std::nullopt;
  const std::string extension = lower_extension(engine, *file);
  if (extension == ".rct" || extension == ".rc8") return rct_size_from_header(engine, *file);
  const std::string_view base = std::string_view(*file).substr(0, file->size() - extension.size());
  const bool companion = is_companion(engine, base);
  std::string opened = companion ? std::string(base.substr(0, base.size() - 1)) + extension : *file;
  const DecodedImage* image = decode_memoized(engine, opened, extension == ".png");
  if (!image) return PictureSize{};
  if (!companion) return PictureSize{image->colour.width, image->colour.height};
  if (!image->transparency) return PictureSize{};
  return PictureSize{image->transparency->width, image->transparency->height};
}

int32_t pic_width(host::Engine& engine, std::string_view name) {
  std::optional<PictureSize> size = pic_size(engine, name);
  return size ? size->width : 0;
}

int32_t pic_height(host::Engine& engine, std::string_view name) {
  std::optional<PictureSize> size = pic_size(engine, name);
  return size ? size->height : 0;
}

void pic_set_key(host::Engine& engine, std::string_view key_string) {
  if (key_string.empty()) return;
  PictureState& state = engine.graphics.pictures;
  ImageKey key = make_image_key(key_string);
  if (key.words == state.key.words) return;
  state.key = key;
  // Scrambled pictures decoded under the old key came out black; they must
  // not be served from the cache now that the key fits.
  state.cache.clear();
}

uint64_t image_budget_for_free_memory(uint64_t free_bytes) {
  if (free_bytes < 8388608) return 4194304;
  if (free_bytes > 536870913) return 268435456;
  return free_bytes / 2;
}

std::optional<uint64_t> free_memory_from_meminfo(std::string_view meminfo) {
  auto field = [&](std::string_view name) -> std::optional<uint64_t> {
    size_t at = 0;
    while (at < meminfo.size()) {
      size_t end = meminfo.find('\n', at);
      if (end == std::string_view::npos) end = meminfo.size();
      std::string_view line = meminfo.substr(at, end - at);
      at = end + 1;
      if (line.substr(0, name.size()) != name || line.size() <= name.size() || line[name.size()] != ':') continue;
      uint64_t value = 0;
      bool digits = false;
      for (char c : line.substr(name.size() + 1)) {
        if (c >= '0' && c <= '9') {
          if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
          value = value * 10 + uint64_t(c - '0');
          digits = true;
        } else if (digits) {
          break;
        }
      }
      if (!digits) return std::nullopt;
      // The kernel writes "kB" and means KiB.
      if (line.find("kB") == std::string_view::npos) return value;
      return value > UINT64_MAX / 1024 ? UINT64_MAX : value * 1024;
    }
    return std::nullopt;
  };
  if (std::optional<uint64_t> available = field("MemAvailable")) return available;
  return field("MemFree");
}

uint64_t system_image_budget() {
  std::optional<std::vector<uint8_t>> text = platform::read_file("/proc/meminfo");
  std::optional<uint64_t> free_bytes;
  if (text) free_bytes = free_memory_from_meminfo(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
  // Unknown free memory: keep the ordinary default rather than starve the cache.
  if (!free_bytes) return kDefaultImageBudget;
  return image_budget_for_free_memory(*free_bytes);
}

}  // namespace tavelo::graphics
