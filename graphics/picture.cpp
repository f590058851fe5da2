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
#include "platform/file_system.h"
#include "platform/system.h"
#include "resources/file_lookup.h"
#include "resources/multibyte.h"
#include "resources/state.h"
#include "script/message_box.h"
#include "script/state.h"

namespace tavelo::graphics {
namespace {

// What loading works with: the picture memos and cache, and the machine for
// the file layer and the error boxes.
struct Loader {
  PictureState& state;
  script::Machine& machine;
};

// Difference images name their base picture; a chain deeper than this (in
// practice a loop, such as a picture naming itself) is not merged further.
constexpr int kMaxMergeDepth = 8;

constexpr std::string_view kExtensions[] = {".png", ".bmp", ".rct", ".rc8"};

// --- File access -----------------------------------------------------------
// Through the file layer: loose files, search directories and archives.

bool picture_file_exists(Loader& loader, std::string_view file_name) {
  return resources::file_exists(loader.machine.resources, file_name);
}

// Where the file is read from, for the decoder memos. Entries of one archive
// share the archive's place, so the name is part of the key.
std::optional<std::string> picture_file_place(Loader& loader, std::string_view file_name) {
  std::optional<std::string> place = resources::file_resolve(loader.machine.resources, file_name);
  if (!place) return std::nullopt;
  return *place + '|' + std::string(file_name);
}

// The whole file, or its first limit bytes (and then the whole length in
// file_length). nullopt when it cannot be read in full (a file cut short is
// unreadable; it is not read again and again).
std::optional<std::vector<uint8_t>> read_picture_file(Loader& loader, std::string_view file_name,
                                                      size_t limit = SIZE_MAX, uint64_t* file_length = nullptr) {
  std::optional<platform::File> file = resources::find_game_file(loader.machine.resources, file_name);
  if (!file) return std::nullopt;
  if (file_length) *file_length = file->length();
  size_t wanted = size_t(std::min<uint64_t>(file->length(), limit));
  std::vector<uint8_t> bytes(wanted);
  if (file->read(bytes) != wanted) return std::nullopt;
  return bytes;
}

// --- Names -----------------------------------------------------------------

const resources::LeadByteTable& lead_bytes(const Loader& loader) { return loader.machine.resources.lead_bytes; }

std::string upper(const Loader& loader, std::string_view text) {
  return resources::to_upper(lead_bytes(loader), text);
}

std::string base_of(const Loader& loader, std::string_view name) {
  return std::string(resources::file_name_part(lead_bytes(loader), name, resources::Extension::Strip));
}

// Whether the last character is a single-byte `_` (a trail byte 0x5F of a
// double-byte character does not count).
bool is_companion(const Loader& loader, std::string_view base) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < base.size(); i += resources::character_length(lead_bytes(loader), base, i)) last = i;
  return last != std::string_view::npos && last + 1 == base.size() && base[last] == '_';
}

std::string lower_extension(const Loader& loader, std::string_view file_name) {
  return resources::to_lower(lead_bytes(loader), resources::extension_part(lead_bytes(loader), file_name));
}

// --- Bitmap and PNG decoding through the memos -----------------------------

std::string_view png_problem(PngResult result) {
  switch (result) {
    case PngResult::CannotOpen: return "ファイルを開けません。";
    case PngResult::UnsupportedColourType: return "この色の形式には対応していません。";
    case PngResult::UnsupportedBitDepth: return "8 ビット以外のビット深度（1・2・4・16 ビット）には対応していません。8 ビットで保存し直してください。";
    case PngResult::UnsupportedInterlace: return "このインターレース形式には対応していません。";
    default: return "ファイルが壊れているか、PNG ではありません。";
  }
}

// The decoded bitmap or PNG file, from the memo when it is the file decoded
// last. nullptr when it cannot be read; a PNG failure shows its box.
const DecodedImage* decode_memoized(Loader& loader, std::string_view file_name, bool png) {
  PictureState& state = loader.state;
  DecoderMemo& memo = png ? state.png_memo : state.bmp_memo;
  std::optional<std::string> place = picture_file_place(loader, file_name);
  std::string key = place ? upper(loader, *place) : std::string();
  if (memo.image && place && memo.file_key == key) return &*memo.image;
  memo.file_key.clear();
  memo.image.reset();

  std::optional<std::vector<uint8_t>> bytes = read_picture_file(loader, file_name);
  std::optional<DecodedImage> image;
  if (png) {
    PngDecoded decoded = bytes ? decode_png(*bytes) : PngDecoded{PngResult::CannotOpen, std::nullopt};
    if (decoded.result != PngResult::Success) {
      // The box names the file and what is wrong with it, so an author
      // knows what to convert.
      script::show_box(loader.machine, script::BoxKind::Error, "PNG エラー\n%s\n%s",
                       {std::string(file_name), script::game_message(loader.machine, png_problem(decoded.result))});
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
bool candidate_counts(Loader& loader, std::string_view base, std::string_view extension) {
  const bool inside_file = extension == ".png" || extension == ".bmp";
  if (inside_file && is_companion(loader, base)) {
    std::string plain = std::string(base.substr(0, base.size() - 1)) + std::string(extension);
    if (!picture_file_exists(loader, plain)) return false;
    const DecodedImage* image = decode_memoized(loader, plain, extension == ".png");
    return image && image->transparency;
  }
  return picture_file_exists(loader, std::string(base) + std::string(extension));
}

// --- Decoding a resolved file ----------------------------------------------

void merge_base_picture(Loader& loader, RctPicture& picture) {
  PictureState& state = loader.state;
  if (state.merge_depth >= kMaxMergeDepth) return;
  if (!pic_find(loader.state, loader.machine, picture.base_name)) {
    script::show_box(loader.machine, script::BoxKind::Error, "差分元画像[%s]が存在しません", {picture.base_name});
    return;
  }
  ++state.merge_depth;
  std::shared_ptr<const Page> base = pic_load_shared(loader.state, loader.machine, picture.base_name);
  --state.merge_depth;
  if (base) merge_difference(picture.page, *base);
}

std::optional<Page> decode_file(Loader& loader, std::string_view file_name) {
  const std::string extension = lower_extension(loader, file_name);
  const std::string_view base = file_name.substr(0, file_name.size() - extension.size());
  if (extension == ".png" || extension == ".bmp") {
    const bool companion = is_companion(loader, base);
    std::string opened = companion ? std::string(base.substr(0, base.size() - 1)) + extension : std::string(file_name);
    const DecodedImage* image = decode_memoized(loader, opened, extension == ".png");
    if (!image) return std::nullopt;
    if (!companion) return clone_page(image->colour);
    if (!image->transparency) return std::nullopt;
    return clone_page(*image->transparency);
  }
  std::optional<std::vector<uint8_t>> bytes = read_picture_file(loader, file_name);
  if (!bytes) return std::nullopt;
  if (extension == ".rc8") return decode_rc8(*bytes);
  std::optional<RctPicture> picture = decode_rct(*bytes, loader.state.key);
  if (!picture) return std::nullopt;
  if (!picture->base_name.empty()) merge_base_picture(loader, *picture);
  return std::move(picture->page);
}

void remember(Loader& loader, std::string_view file_name, std::shared_ptr<const Page> page) {
  const std::string extension(resources::extension_part(lead_bytes(loader), file_name));
  ImageCacheEntry entry;
  entry.base_name = std::string(file_name.substr(0, file_name.size() - extension.size()));
  entry.extension = extension;
  entry.key = upper(loader, entry.base_name);
  entry.page = std::move(page);
  loader.state.cache.insert(std::move(entry));
}

// The size of an .rct or .rc8 picture from its header, without decoding;
// nullopt when loading would fail (an unreadable file, a damaged header).
std::optional<PictureSize> rct_size_from_header(Loader& loader, std::string_view file_name) {
  PictureState& state = loader.state;
  std::string key = upper(loader, file_name);
  if (state.header_size && state.header_file == key) return state.header_size;
  uint64_t file_length = 0;
  std::optional<std::vector<uint8_t>> bytes = read_picture_file(loader, file_name, kRc8HeaderSize, &file_length);
  std::optional<PictureSize> size = bytes ? decodable_rct_size(*bytes, file_length) : std::nullopt;
  if (!size) {
    state.header_file.clear();
    state.header_size.reset();
    return std::nullopt;
  }
  state.header_file = std::move(key);
  state.header_size = size;
  return size;
}

}  // namespace

std::optional<std::string> pic_find(PictureState& state, script::Machine& machine, std::string_view name) {
  Loader loader{state, machine};
  const std::string base = base_of(loader, name);
  const std::string key = upper(loader, base);
  if (const ImageCacheEntry* entry = state.cache.peek(key)) return entry->base_name + entry->extension;
  if (!state.memo_base.empty() && state.memo_base == key) return state.memo_file;
  state.memo_base = key;
  for (std::string_view extension : kExtensions) {
    if (candidate_counts(loader, base, extension)) {
      state.memo_file = base + std::string(extension);
      return state.memo_file;
    }
  }
  state.memo_base.clear();
  state.memo_file.clear();
  return std::nullopt;
}

std::optional<Page> pic_load(PictureState& state, script::Machine& machine, std::string_view name) {
  Loader loader{state, machine};
  const std::string key = upper(loader, base_of(loader, name));
  if (const ImageCacheEntry* entry = state.cache.lookup(key)) return clone_page(*entry->page);
  std::optional<std::string> file = pic_find(state, machine, name);
  if (!file) return std::nullopt;
  std::optional<Page> page = decode_file(loader, *file);
  if (!page) return std::nullopt;
  if (state.cache.enabled()) {
    std::shared_ptr<Page> held = std::make_shared<Page>(clone_page(*page));
    held->engine_held = true;
    remember(loader, *file, std::move(held));
  }
  return page;
}

std::shared_ptr<const Page> pic_load_shared(PictureState& state, script::Machine& machine, std::string_view name) {
  Loader loader{state, machine};
  const std::string key = upper(loader, base_of(loader, name));
  if (const ImageCacheEntry* entry = state.cache.lookup(key)) return entry->page;
  std::optional<std::string> file = pic_find(state, machine, name);
  if (!file) return nullptr;
  std::optional<Page> page = decode_file(loader, *file);
  if (!page) return nullptr;
  std::shared_ptr<Page> held = std::make_shared<Page>(std::move(*page));
  held->engine_held = true;
  remember(loader, *file, held);
  return held;
}

int pic_is_fullcolor(PictureState& state, script::Machine& machine, std::string_view name) {
  Loader loader{state, machine};
  if (const ImageCacheEntry* entry = state.cache.peek(upper(loader, base_of(loader, name)))) {
    return entry->page->depth == Depth::Rgb24 ? 1 : 0;
  }
  std::optional<std::string> file = pic_find(state, machine, name);
  if (!file) return -1;
  const std::string extension = lower_extension(loader, *file);
  if (extension == ".rct" || extension == ".rc8") {
    if (!rct_size_from_header(loader, *file)) return -1;
    return extension == ".rct" ? 1 : 0;
  }
  std::shared_ptr<const Page> page = pic_load_shared(state, machine, name);
  if (!page) return -1;
  return page->depth == Depth::Rgb24 ? 1 : 0;
}

std::optional<PictureSize> pic_size(PictureState& state, script::Machine& machine, std::string_view name) {
  Loader loader{state, machine};
  if (const ImageCacheEntry* entry = state.cache.peek(upper(loader, base_of(loader, name)))) {
    return PictureSize{entry->page->width, entry->page->height};
  }
  std::optional<std::string> file = pic_find(state, machine, name);
  if (!file) return std::nullopt;
  const std::string extension = lower_extension(loader, *file);
  // A picture that exists but does not load measures 0 x 0, whatever its
  // header claims.
  if (extension == ".rct" || extension == ".rc8") return rct_size_from_header(loader, *file).value_or(PictureSize{});
  const std::string_view base = std::string_view(*file).substr(0, file->size() - extension.size());
  const bool companion = is_companion(loader, base);
  std::string opened = companion ? std::string(base.substr(0, base.size() - 1)) + extension : *file;
  const DecodedImage* image = decode_memoized(loader, opened, extension == ".png");
  if (!image) return PictureSize{};
  if (!companion) return PictureSize{image->colour.width, image->colour.height};
  if (!image->transparency) return PictureSize{};
  return PictureSize{image->transparency->width, image->transparency->height};
}

int32_t pic_width(PictureState& state, script::Machine& machine, std::string_view name) {
  std::optional<PictureSize> size = pic_size(state, machine, name);
  return size ? size->width : 0;
}

int32_t pic_height(PictureState& state, script::Machine& machine, std::string_view name) {
  std::optional<PictureSize> size = pic_size(state, machine, name);
  return size ? size->height : 0;
}

void pic_set_key(PictureState& state, std::string_view key_string) {
  if (key_string.empty()) return;
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

uint64_t system_image_budget() {
  std::optional<uint64_t> free_bytes = platform::available_memory_bytes();
  // Unknown free memory: keep the ordinary default rather than starve the cache.
  if (!free_bytes) return kDefaultImageBudget;
  return image_budget_for_free_memory(*free_bytes);
}

}  // namespace tavelo::graphics
