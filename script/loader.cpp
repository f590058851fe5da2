// Compiled-script loader: file images, descrambling, loaded scripts and
// function lookup.

#include "script/loader.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include "platform/file_system.h"
#include "resources/byte_reader.h"
#include "resources/file_lookup.h"
#include "resources/multibyte.h"
#include "resources/name_hash.h"
#include "resources/search_list.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/game_files.h"
#include "script/message_box.h"
#include "script/state.h"

namespace tavelo::script {
namespace {

// When a script is not found, these search entries are registered (in this
// order) and the lookup is tried once more.
constexpr std::string_view kScenarioEntries[] = {"scenario",  "scenario9", "scenario8", "scenario7",
                                                 "scenario6", "scenario5", "scenario4", "scenario3",
                                                 "scenario2", "scenario1"};

constexpr size_t kMaxNameLength = 127;

bool same_name(const Machine& machine, std::string_view a, std::string_view b) {
  return resources::compare_text(machine.resources.lead_bytes, a, b, resources::Case::Insensitive) == 0;
}

}  // namespace

bool CodeBlock::contains(const uint8_t* position) const {
  // Positions of different blocks are unrelated pointers: std::less gives
  // them a total order where plain < would not.
  std::less<const uint8_t*> less;
  return !less(position, begin()) && less(position, end());
}

ImageStatus parse_script_image(std::span<const uint8_t> file, ScriptImage& image) {
  image = ScriptImage{};
  resources::ByteReader reader(file);
  std::span<const uint8_t> magic = reader.take(kMagicSize);
  if (!reader.ok) return ImageStatus::Truncated;
  std::string_view magic_text(reinterpret_cast<const char*>(magic.data()), magic.size());
  if (magic_text == kPlainMagic) {
    image.variant = ScriptVariant::Plain;
  } else if (magic_text == kScrambledMagic) {
    image.variant = ScriptVariant::Scrambled;
  } else {
    return ImageStatus::BadMagic;
  }
  image.entry_offset = reader.u32le();
  image.line_count = reader.u32le();
  uint32_t function_count = reader.u32le();
  if (!reader.ok) return ImageStatus::Truncated;
  // The count is checked against the bytes left before anything is allocated.
  if (function_count > reader.remaining() / 8) return ImageStatus::Truncated;
  image.functions.resize(function_count);
  for (FunctionEntry& entry : image.functions) {
    entry.hash = reader.u32le();
    entry.offset = reader.u32le();
  }
  uint32_t code_size = reader.u32le();
  image.code = reader.take(code_size);
  if (!reader.ok) return ImageStatus::Truncated;
  image.trailing_size = reader.remaining();
  if (image.entry_offset != kNoEntry && image.entry_offset >= code_size) return ImageStatus::BadOffset;
  for (const FunctionEntry& entry : image.functions) {
    if (entry.offset >= code_size) return ImageStatus::BadOffset;
  }
  return ImageStatus::Ok;
}

void scramble_code(std::span<uint8_t> code) {
  constexpr size_t kKeySize = 1024;
  for (size_t i = 0; i < code.size(); ++i) code[i] ^= resources::crc_table_byte(i % kKeySize);
}

std::unique_ptr<CodeBlock> make_code_block(const ScriptImage& image) {
  auto block = std::make_unique<CodeBlock>();
  block->size = uint32_t(image.code.size());
  block->bytes = std::make_unique<uint8_t[]>(image.code.size() + kCodePadding);  // zeroed
  if (!image.code.empty()) std::memcpy(block->bytes.get(), image.code.data(), image.code.size());
  block->decoded = std::make_unique<uint16_t[]>(image.code.size() + kCodePadding);  // zeroed: nothing decoded
  if (image.variant == ScriptVariant::Scrambled) scramble_code({block->bytes.get(), block->size});
  return block;
}

namespace {

// The record name before the length check.
std::string full_record_name(Machine& machine, std::string_view name) {
  const resources::LeadByteTable& lead = machine.resources.lead_bytes;
  std::string base(resources::file_name_part(lead, name, resources::Extension::Strip));
  base += ".tvo";
  return resources::to_upper(lead, base);
}

}  // namespace

std::string normalize_script_name(Machine& machine, std::string_view name) {
  std::string normalized = full_record_name(machine, name);
  if (normalized.size() > kMaxNameLength) {
    report_script_error(machine, "ファイル名[%s]が長すぎます%d文字以内にしてください。",
                        {normalized, int(kMaxNameLength)});
    normalized.resize(kMaxNameLength);
  }
  return normalized;
}

std::optional<std::string> script_record_name(Machine& machine, std::string_view name) {
  std::string normalized = full_record_name(machine, name);
  if (normalized.size() > kMaxNameLength) return std::nullopt;
  return normalized;
}

namespace {

// Whether a failed read shows the retry boxes or gives up at once.
enum class OnFailure { Ask, GiveUp };

// One attempt at reading the file into a fresh image. False on any failure.
bool read_script(Machine& machine, const std::string& name, OnFailure on_failure, uint64_t& file_time,
                 ScriptImage& image, std::vector<uint8_t>& file) {
  if (!resources::file_exists(machine.resources, name)) {
    for (std::string_view entry : kScenarioEntries) {
      (void)register_search_entry(machine, entry, resources::SoundOnly::No);
    }
    if (!resources::file_exists(machine.resources, name)) return false;
  }
  file_time = resources::file_time(machine.resources, name);
  // open_game_file shows its own retry box; empty only when the engine is
  // stopping.
  std::optional<platform::File> opened = on_failure == OnFailure::Ask
                                             ? open_game_file(machine, name)
                                             : resources::find_game_file(machine.resources, name);
  if (!opened) return false;
  file.resize(size_t(opened->length()));
  if (opened->read(file) != file.size()) return false;
  return parse_script_image(file, image) == ImageStatus::Ok;
}

void attach_read_marks(Machine& machine, LoadedScript& script) {
  Scripts& scripts = machine.scripts;
  auto found = std::find_if(scripts.read_marks.begin(), scripts.read_marks.end(),
                            [&](const std::unique_ptr<ReadMarkSet>& set) { return same_name(machine, set->name, script.name); });
  if (found != scripts.read_marks.end()) {
    if (script.line_count != 0 && (*found)->line_count == script.line_count) {
      script.read_marks = found->get();
      return;
    }
    scripts.retired_read_marks.push_back(std::move(*found));
    scripts.read_marks.erase(found);
  }
  script.read_marks = nullptr;
  if (script.line_count == 0) return;
  auto set = std::make_unique<ReadMarkSet>();
  set->name = script.name;
  set->line_count = script.line_count;
  set->bits.assign(read_mark_bytes(script.line_count), 0);
  script.read_marks = set.get();
  scripts.read_marks.insert(scripts.read_marks.begin(), std::move(set));
}

LoadedScript* load_script_named(Machine& machine, std::string_view name, const std::string& normalized,
                                OnFailure on_failure) {
  Scripts& scripts = machine.scripts;
  LoadedScript* record = nullptr;
  for (const std::unique_ptr<LoadedScript>& script : scripts.loaded) {
    if (same_name(machine, script->name, normalized)) {
      record = script.get();
      break;
    }
  }
  if (record && resources::file_time(machine.resources, record->name) == record->file_time) return record;

  // The new image is read completely before the record changes, so a failed
  // reload leaves the record (still linked) with its previous, valid code.
  ScriptImage image;
  std::vector<uint8_t> file;
  uint64_t file_time = 0;
  while (!read_script(machine, normalized, on_failure, file_time, image, file)) {
    if (on_failure == OnFailure::GiveUp || machine.stopping()) return nullptr;
    if (!show_box(machine, BoxKind::FatalRetry, "TaveloObj : ファイル [%s] の読み込みで失敗しました",
                        {name})) {
      return nullptr;
    }
  }

  if (!record) {
    auto fresh = std::make_unique<LoadedScript>();
    record = fresh.get();
    scripts.loaded.insert(scripts.loaded.begin(), std::move(fresh));
  }
  if (record->code) record->retired_code.push_back(std::move(record->code));
  record->name = normalized;
  record->name_hash = resources::name_hash(normalized);
  record->file_time = file_time;
  record->entry_offset = int32_t(image.entry_offset);
  // Cut before attach_read_marks allocates a bit per line; the image keeps
  // the file's own count (the disassembler shows it as it is).
  record->line_count = std::min(image.line_count, kMaxLineCount);
  record->functions = std::move(image.functions);
  record->code = make_code_block(image);
  record->code->script = record;
  attach_read_marks(machine, *record);
  return record;
}

}  // namespace

LoadedScript* load_script(Machine& machine, std::string_view name) {
  return load_script_named(machine, name, normalize_script_name(machine, name), OnFailure::Ask);
}

LoadedScript* try_load_script(Machine& machine, std::string_view name) {
  std::optional<std::string> normalized = script_record_name(machine, name);
  return normalized ? load_script_named(machine, name, *normalized, OnFailure::GiveUp) : nullptr;
}

const uint8_t* find_function(Machine& machine, uint32_t hash, const CodeBlock* current) {
  auto search = [hash](const LoadedScript& script) -> const uint8_t* {
    for (const FunctionEntry& entry : script.functions) {
      if (entry.hash == hash) return script.code->begin() + entry.offset;
    }
    return nullptr;
  };
  if (current && current->script) {
    if (const uint8_t* found = search(*current->script)) return found;
  }
  for (const std::unique_ptr<LoadedScript>& script : machine.scripts.loaded) {
    if (const uint8_t* found = search(*script)) return found;
  }
  return nullptr;
}

const CodeBlock* code_block_at(const Machine& machine, const uint8_t* position) {
  if (!position) return nullptr;
  for (const std::unique_ptr<LoadedScript>& script : machine.scripts.loaded) {
    if (script->code && script->code->contains(position)) return script->code.get();
    for (const std::unique_ptr<CodeBlock>& block : script->retired_code) {
      if (block->contains(position)) return block.get();
    }
  }
  return nullptr;
}

LoadedScript* script_at(const Machine& machine, const uint8_t* position) {
  const CodeBlock* block = code_block_at(machine, position);
  return block ? block->script : nullptr;
}

void free_all_scripts(Machine& machine) { machine.scripts.loaded.clear(); }

ReadMarkSet* find_read_mark_set(Machine& machine, std::string_view normalized_name) {
  for (const std::unique_ptr<ReadMarkSet>& set : machine.scripts.read_marks) {
    if (same_name(machine, set->name, normalized_name)) return set.get();
  }
  return nullptr;
}

}  // namespace tavelo::script
