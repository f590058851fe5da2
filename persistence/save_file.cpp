// The save-file layout, written and read field by field.

#include "persistence/save_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tavelo::persistence {

namespace {

// Header block offsets.
constexpr size_t kCommentAt = 16;
constexpr size_t kFrameCountAt = 144;  // frame count - 1
constexpr size_t kThumbWidthAt = 148;
constexpr size_t kThumbHeightAt = 152;
constexpr size_t kGlobalCountAt = 156;
constexpr size_t kThreadCountAt = 160;
constexpr size_t kLocalCountAt = 164;
constexpr size_t kPayloadSizeAt = 168;
constexpr size_t kLoadValueAt = 1948;
static_assert(kPayloadSizeAt + 4 == kAudioFieldsAt && kAudioFieldsAt + kAudioFieldsSize == kLoadValueAt);
constexpr size_t kHistoryAt = 1952;
static_assert(kHistoryAt + kHistoryBytes == kSaveHeaderSize);

void put_u32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) { resources::store_u32le(bytes.data() + at, value); }
void put_i32(std::vector<uint8_t>& bytes, size_t at, int32_t value) { put_u32(bytes, at, uint32_t(value)); }

// A NUL-terminated text in a field of width bytes, cut to width - 1.
void put_text(std::vector<uint8_t>& bytes, size_t at, size_t width, std::string_view text) {
  size_t n = std::min(text.size(), width - 1);
  std::memcpy(bytes.data() + at, text.data(), n);
}

int32_t get_i32(std::span<const uint8_t> bytes, size_t at) { return int32_t(resources::load_u32le(bytes.data() + at)); }

// The text of a field up to its first NUL; a field without one keeps all but
// its last byte, as the writer would have cut it.
std::string get_text(std::span<const uint8_t> bytes, size_t at, size_t width) {
  const char* field = reinterpret_cast<const char*>(bytes.data() + at);
  return std::string(field, strnlen(field, width - 1));
}

struct Counts {
  uint32_t frames = 0;
  int32_t thumbnail_width = 0;
  int32_t thumbnail_height = 0;
  uint32_t globals = 0;
  uint32_t thread_values = 0;
  uint32_t locals = 0;
  uint32_t payload = 0;
};

size_t thumbnail_bytes(int32_t width, int32_t height) { return size_t(width) * size_t(height) * 3; }

bool thumbnail_size_ok(int32_t width, int32_t height) {
  if (width == 0) return true;  // no thumbnail, whatever the height says
  return width > 0 && height > 0 && width <= kMaxThumbnailSide && height <= kMaxThumbnailSide;
}

}  // namespace

std::string quick_file_name(int32_t index) {
  char name[40];
  std::snprintf(name, sizeof name, "savedata\\tavelo_quick%d.sav", int(index));
  return name;
}

std::string slot_file_name(int32_t slot, int32_t quick_num) {
  char name[40];
  if (slot < 0 || slot == 10001) return "savedata\\tavelo_last.sav";
  if (slot <= 9999) {
    std::snprintf(name, sizeof name, "savedata\\tavelo_%04d.sav", int(slot));
    return name;
  }
  int64_t index = (int64_t(quick_num) - slot + 10011) % 8;
  if (index < 0) index += 8;
  return quick_file_name(int32_t(index));
}

std::vector<uint8_t> write_save_file(const SaveImage& image) {
  PayloadWriter payload;
  resources::ByteWriter records;
  write_value_records(records, image.globals.values, payload);
  write_value_records(records, image.thread_values.values, payload);
  write_value_records(records, image.locals.values, payload);

  const bool has_thumbnail = image.thumbnail_width > 0 && image.thumbnail_height > 0 &&
                             image.thumbnail.size() == thumbnail_bytes(image.thumbnail_width, image.thumbnail_height);
  std::vector<uint8_t> bytes(kSaveHeaderSize, 0);
  std::memcpy(bytes.data(), kSaveMagic.data(), kSaveMagic.size());
  put_text(bytes, kCommentAt, kCommentField, image.comment);
  put_i32(bytes, kFrameCountAt, int32_t(image.frames.size()) - 1);
  put_i32(bytes, kThumbWidthAt, has_thumbnail ? image.thumbnail_width : 0);
  put_i32(bytes, kThumbHeightAt, has_thumbnail ? image.thumbnail_height : 0);
  put_u32(bytes, kGlobalCountAt, uint32_t(image.globals.values.size()));
  put_u32(bytes, kThreadCountAt, uint32_t(image.thread_values.values.size()));
  put_u32(bytes, kLocalCountAt, uint32_t(image.locals.values.size()));
  put_u32(bytes, kPayloadSizeAt, uint32_t(payload.bytes().size()));
  std::copy(image.audio.begin(), image.audio.end(), bytes.begin() + kAudioFieldsAt);
  put_i32(bytes, kLoadValueAt, image.load_value);
  if (image.history.size() == kHistoryBytes) std::memcpy(bytes.data() + kHistoryAt, image.history.data(), kHistoryBytes);

  resources::ByteWriter out;
  out.bytes = std::move(bytes);
  if (has_thumbnail) out.append(image.thumbnail);
  for (const FrameRecord& frame : image.frames) {
    uint8_t name[kScriptNameField] = {};
    std::memcpy(name, frame.script_name.data(), std::min(frame.script_name.size(), kScriptNameField - 1));
    out.append(std::span<const uint8_t>(name, kScriptNameField));
    out.i32le(frame.position);
    out.i32le(frame.base);
    out.i32le(frame.top);
    out.i32le(frame.discard_result ? 1 : 0);
    out.i32le(frame.line);
    for (int32_t target : frame.targets) out.i32le(target);
  }
  out.append(records.bytes);
  out.append(payload.bytes());
  return std::move(out.bytes);
}

namespace {

SaveFileStatus read_counts(std::span<const uint8_t> file, Counts& counts) {
  if (file.size() < kSaveMagic.size() || std::memcmp(file.data(), kSaveMagic.data(), kSaveMagic.size()) != 0) {
    return SaveFileStatus::BadMagic;
  }
  if (file.size() < kSaveHeaderSize) return SaveFileStatus::Truncated;
  counts.frames = uint32_t(get_i32(file, kFrameCountAt)) + 1;
  counts.thumbnail_width = get_i32(file, kThumbWidthAt);
  counts.thumbnail_height = get_i32(file, kThumbHeightAt);
  counts.globals = uint32_t(get_i32(file, kGlobalCountAt));
  counts.thread_values = uint32_t(get_i32(file, kThreadCountAt));
  counts.locals = uint32_t(get_i32(file, kLocalCountAt));
  counts.payload = uint32_t(get_i32(file, kPayloadSizeAt));
  if (counts.frames == 0 || counts.frames > kMaxSavedFrames) return SaveFileStatus::BadCounts;
  if (!thumbnail_size_ok(counts.thumbnail_width, counts.thumbnail_height)) return SaveFileStatus::BadCounts;
  // Every part must fit what is left of the file, summed in 64 bits.
  uint64_t need = kSaveHeaderSize;
  if (counts.thumbnail_width > 0) need += thumbnail_bytes(counts.thumbnail_width, counts.thumbnail_height);
  need += uint64_t(counts.frames) * kFrameRecordSize;
  need += (uint64_t(counts.globals) + counts.thread_values + counts.locals) * kValueRecordSize;
  need += counts.payload;
  if (need > file.size()) return SaveFileStatus::Truncated;
  return SaveFileStatus::Ok;
}

}  // namespace

bool read_save_summary(std::span<const uint8_t> file, SaveSummary& summary, bool with_thumbnail) {
  if (file.size() < kSaveHeaderSize || std::memcmp(file.data(), kSaveMagic.data(), kSaveMagic.size()) != 0) return false;
  summary.comment = get_text(file, kCommentAt, kCommentField);
  summary.thumbnail_width = 0;
  summary.thumbnail_height = 0;
  summary.thumbnail.clear();
  const int32_t width = get_i32(file, kThumbWidthAt);
  const int32_t height = get_i32(file, kThumbHeightAt);
  if (width > 0 && thumbnail_size_ok(width, height) &&
      kSaveHeaderSize + thumbnail_bytes(width, height) <= file.size()) {
    summary.thumbnail_width = width;
    summary.thumbnail_height = height;
    if (with_thumbnail) {
      auto pixels = file.subspan(kSaveHeaderSize, thumbnail_bytes(width, height));
      summary.thumbnail.assign(pixels.begin(), pixels.end());
    }
  }
  return true;
}

SaveFileStatus parse_save_file(std::span<const uint8_t> file, SaveImage& image) {
  Counts counts;
  SaveFileStatus status = read_counts(file, counts);
  if (status != SaveFileStatus::Ok) return status;

  SaveImage parsed;
  parsed.comment = get_text(file, kCommentAt, kCommentField);
  std::copy_n(file.begin() + kAudioFieldsAt, kAudioFieldsSize, parsed.audio.begin());
  parsed.load_value = get_i32(file, kLoadValueAt);
  parsed.history.assign(file.begin() + kHistoryAt, file.begin() + kSaveHeaderSize);

  resources::ByteReader in(file);
  in.skip(kSaveHeaderSize);
  if (counts.thumbnail_width > 0) {
    parsed.thumbnail_width = counts.thumbnail_width;
    parsed.thumbnail_height = counts.thumbnail_height;
    auto pixels = in.take(thumbnail_bytes(counts.thumbnail_width, counts.thumbnail_height));
    parsed.thumbnail.assign(pixels.begin(), pixels.end());
  }
  parsed.frames.resize(counts.frames);
  for (FrameRecord& frame : parsed.frames) {
    auto name = in.take(kScriptNameField);
    if (name.empty()) return SaveFileStatus::Truncated;
    frame.script_name = get_text(name, 0, kScriptNameField);
    frame.position = in.i32le();
    frame.base = in.i32le();
    frame.top = in.i32le();
    const int32_t discard_result = in.i32le();
    frame.discard_result = discard_result == 1;
    frame.line = in.i32le();
    for (int32_t& target : frame.targets) target = in.i32le();
    if (frame.script_name.empty() || frame.position < 0 || frame.base < 1 || frame.top < 0 ||
        (discard_result != 0 && discard_result != 1)) {
      return SaveFileStatus::BadFrames;
    }
    for (int32_t target : frame.targets) {
      if (target < 0) return SaveFileStatus::BadFrames;
    }
  }
  std::vector<RawRecord> globals, thread_values, locals;
  if (!read_raw_records(in, counts.globals, globals) || !read_raw_records(in, counts.thread_values, thread_values) ||
      !read_raw_records(in, counts.locals, locals)) {
    return SaveFileStatus::Truncated;
  }
  auto payload = in.take(counts.payload);
  if (!in.ok) return SaveFileStatus::Truncated;
  PayloadReader reader(payload);
  if (!reader.read_values(globals, script::Scope::Global, parsed.globals) ||
      !reader.read_values(thread_values, script::Scope::Thread, parsed.thread_values) ||
      !reader.read_values(locals, script::Scope::Local, parsed.locals)) {
    return SaveFileStatus::BadValues;
  }
  image = std::move(parsed);
  return SaveFileStatus::Ok;
}

}  // namespace tavelo::persistence
