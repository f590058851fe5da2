#pragma once
// Script values as save files and the system save store them: 16-byte value
// records {name hash, type, third field, payload} followed, after all the
// records of a file, by one payload holding every string and array block
// once. Records that share a block in memory share it in the file (the later
// ones carry the first one's offset) and share it again after loading.
//
// Pure byte work on script::Value records, no engine: the save-file and
// system-save formats, their fuzz targets and tools build on it.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <unordered_map>
#include <vector>

#include "resources/byte_reader.h"
#include "script/value.h"

namespace tavelo::persistence {

inline constexpr size_t kValueRecordSize = 16;

// Values that own one reference each, released with the list.
struct ValueList {
  std::vector<script::Value> values;

  ValueList() = default;
  ValueList(ValueList&& other) noexcept : values(std::move(other.values)) { other.values.clear(); }
  ValueList& operator=(ValueList&& other) noexcept;
  ValueList(const ValueList&) = delete;
  ValueList& operator=(const ValueList&) = delete;
  ~ValueList() { clear(); }

  void clear();
  // Appends a copy that shares value's block (one more reference).
  void add_shared(const script::Value& value);
};

// Builds the payload. Each block is written the first time a record names
// it; later records get the same offset.
class PayloadWriter {
 public:
  // The payload offset of the value's block (a string or array value).
  int32_t offset_of(const script::Value& value);
  std::vector<uint8_t>& bytes() { return m_out.bytes; }

 private:
  int32_t add_string(const script::StringBlock* block);
  resources::ByteWriter m_out;
  std::unordered_map<const void*, int32_t> m_offsets;
};

// Writes one 16-byte record per value; blocks go to payload.
void write_value_records(resources::ByteWriter& out, std::span<const script::Value> values, PayloadWriter& payload);

// A value record as read, before its block is looked up.
struct RawRecord {
  uint32_t hash = 0;
  int32_t type = 0;
  int32_t third = 0;
  int32_t payload = 0;
};

// Reads count records; false when the reader runs out.
bool read_raw_records(resources::ByteReader& in, uint32_t count, std::vector<RawRecord>& records);

// Builds values from a payload, checking every offset, size and count
// against it. A block met a second time is shared, not built again.
class PayloadReader {
 public:
  explicit PayloadReader(std::span<const uint8_t> payload) : m_payload(payload) {}
  ~PayloadReader();
  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;

  // Appends the records' values in store scope to out; false (out then holds
  // what was built so far) at the first record of an unknown type or whose
  // block does not fit the payload.
  bool read_values(std::span<const RawRecord> records, script::Scope scope, ValueList& out);

 private:
  script::StringBlock* string_at(int32_t offset);
  script::ArrayBlock* array_at(int32_t offset, script::ValueType type);

  std::span<const uint8_t> m_payload;
  // Blocks built so far by offset, each holding one reference of the reader's.
  std::map<int32_t, script::StringBlock*> m_strings;
  std::map<int32_t, std::pair<script::ValueType, script::ArrayBlock*>> m_arrays;
};

}  // namespace tavelo::persistence
