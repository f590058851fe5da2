// The system save's fixed part, records and payload; the persistent name set.

#include "persistence/system_save.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "resources/name_hash.h"

namespace tavelo::persistence {

namespace {

constexpr size_t kCountAt = 16;
constexpr size_t kPayloadSizeAt = 20;
constexpr size_t kNamesAt = 24;

}  // namespace

std::vector<uint8_t> write_system_save(const NameSet& names, std::span<const script::Value> eternal) {
  PayloadWriter payload;
  resources::ByteWriter records;
  write_value_records(records, eternal, payload);
  resources::ByteWriter out;
  out.bytes.reserve(kSystemSaveFixedSize + records.bytes.size() + payload.bytes().size());
  out.append(kSystemSaveMagic);
  out.u32le(uint32_t(eternal.size()));
  out.u32le(uint32_t(payload.bytes().size()));
  for (uint32_t hash : names) out.u32le(hash);
  out.append(records.bytes);
  out.append(payload.bytes());
  return std::move(out.bytes);
}

SystemSaveStatus parse_system_save(std::span<const uint8_t> file, NameSet& names, ValueList& eternal) {
  if (file.size() < kSystemSaveFixedSize || std::memcmp(file.data(), kSystemSaveMagic.data(), kSystemSaveMagic.size()) != 0) {
    return SystemSaveStatus::Foreign;
  }
  for (size_t i = 0; i < kNameSetSize; ++i) names[i] = resources::load_u32le(file.data() + kNamesAt + i * 4);
  const uint32_t count = resources::load_u32le(file.data() + kCountAt);
  const uint32_t payload_size = resources::load_u32le(file.data() + kPayloadSizeAt);
  resources::ByteReader in(file);
  in.skip(kSystemSaveFixedSize);
  std::vector<RawRecord> records;
  if (!read_raw_records(in, count, records)) return SystemSaveStatus::Damaged;
  auto payload = in.take(payload_size);
  if (!in.ok) return SystemSaveStatus::Damaged;
  PayloadReader reader(payload);
  ValueList read;
  if (!reader.read_values(records, script::Scope::Eternal, read)) return SystemSaveStatus::Damaged;
  eternal = std::move(read);
  return SystemSaveStatus::Ok;
}

uint32_t marked_name_hash(std::string_view name) {
  std::string key(name.substr(0, name.find('.')));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return resources::name_hash(key);
}

int32_t mark_name(NameSet& names, uint32_t hash) {
  if (hash == 0) return -1;
  // A hand-made file may leave holes: look for the name everywhere first.
  if (is_name_marked(names, hash)) return 0;
  auto empty = std::find(names.begin(), names.end(), 0u);
  if (empty == names.end()) return -1;
  *empty = hash;
  return 0;
}

bool is_name_marked(const NameSet& names, uint32_t hash) {
  if (hash == 0) return false;
  return std::find(names.begin(), names.end(), hash) != names.end();
}

}  // namespace tavelo::persistence
