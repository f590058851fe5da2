// Reading and writing the read-mark file.

#include "library/read_mark_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "resources/byte_reader.h"
#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/loader.h"
#include "script/state.h"

namespace tavelo::library {
namespace {

using script::LoadedScript;
using script::Machine;
using script::ReadMarkSet;
using script::Scripts;
using script::find_read_mark_set;
using script::kMaxLineCount;
using script::read_mark_bytes;

constexpr size_t kReservedSize = 12;

}  // namespace

ReadMarkFileContent parse_read_mark_file(std::span<const uint8_t> file) {
  ReadMarkFileContent content;
  resources::ByteReader reader(file);
  while (!reader.at_end()) {
    std::span<const uint8_t> name_field = reader.take(kReadMarkNameField);
    uint32_t size = reader.u32le();
    // The loader cuts a script's count the same way, so the set still fits.
    uint32_t line_count = std::min(reader.u32le(), kMaxLineCount);
    reader.skip(kReservedSize);
    // The size is checked against the bytes left before anything is taken, so
    // a huge size field cannot cause a huge allocation.
    if (!reader.ok || size > reader.remaining()) {
      content.truncated = true;
      break;
    }
    std::span<const uint8_t> bits = reader.take(size);
    size_t name_length = size_t(std::find(name_field.begin(), name_field.end(), uint8_t(0)) - name_field.begin());
    // A bit array shorter than the line count needs would leave lines without
    // bits; names must be terminated within the 127 bytes a name may have.
    if (name_length == 0 || name_length >= kReadMarkNameField || size < (size_t(line_count) + 7) / 8) {
      ++content.dropped;
      continue;
    }
    ReadMarkSet set;
    set.name.assign(reinterpret_cast<const char*>(name_field.data()), name_length);
    set.line_count = line_count;
    set.bits.assign(read_mark_bytes(line_count), 0);
    std::copy_n(bits.begin(), std::min(bits.size(), set.bits.size()), set.bits.begin());
    content.sets.push_back(std::move(set));
  }
  return content;
}

std::vector<uint8_t> write_read_mark_file(std::span<const std::unique_ptr<ReadMarkSet>> sets) {
  resources::ByteWriter writer;
  for (const std::unique_ptr<ReadMarkSet>& set : sets) {
    uint8_t name_field[kReadMarkNameField] = {};
    std::memcpy(name_field, set->name.data(), std::min(set->name.size(), kReadMarkNameField - 1));
    writer.append(std::span<const uint8_t>(name_field, kReadMarkNameField));
    writer.u32le(uint32_t(set->bits.size()));
    writer.u32le(set->line_count);
    for (size_t i = 0; i < kReservedSize; ++i) writer.u8(0);
    writer.append(set->bits);
  }
  return std::move(writer.bytes);
}

void load_read_marks(Machine& machine) {
  if (machine.scripts.read_marks_loaded) return;
  machine.scripts.read_marks_loaded = true;
  std::optional<std::string> path = platform::resolve_path(kReadMarkFileName, resources::save_root(machine.resources));
  if (!path) return;
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(*path);
  if (!bytes) return;
  ReadMarkFileContent content = parse_read_mark_file(*bytes);
  std::vector<std::unique_ptr<ReadMarkSet>>& list = machine.scripts.read_marks;
  for (ReadMarkSet& set : content.sets) {
    // Names from the file are matched like script names (ASCII case ignored).
    set.name = resources::to_upper(machine.resources.lead_bytes, set.name);
    if (ReadMarkSet* existing = find_read_mark_set(machine, set.name)) {
      // A script loaded before the file was read already holds this set; a
      // second record of the same name would shadow it and lose marks.
      if (existing->line_count == set.line_count) {
        for (size_t i = 0; i < existing->bits.size() && i < set.bits.size(); ++i) existing->bits[i] |= set.bits[i];
      }
      continue;
    }
    list.insert(list.begin(), std::make_unique<ReadMarkSet>(std::move(set)));
  }
}

void save_read_marks(Machine& machine) {
  Scripts& scripts = machine.scripts;
  if (resources::env_setting(machine.resources, resources::EnvInt::LoadSaveDisable) == 0 && !scripts.read_marks.empty()) {
    std::vector<uint8_t> bytes = write_read_mark_file(scripts.read_marks);
    const std::string& root = resources::save_root(machine.resources);
    std::optional<std::string> directory = platform::resolve_path("savedata", root);
    if (!directory) {
      platform::make_directories(root + "/savedata");
    }
    std::optional<std::string> path = platform::resolve_parent_path(kReadMarkFileName, root);
    // A failed write loses this run's marks; the old file stays intact.
    if (path) (void)platform::write_file_atomically(*path, bytes);
  }
  for (const std::unique_ptr<LoadedScript>& script : scripts.loaded) script->read_marks = nullptr;
  scripts.read_marks.clear();
  scripts.retired_read_marks.clear();
}

}  // namespace tavelo::library
