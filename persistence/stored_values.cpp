// Value records and their payload blocks.

#include "persistence/stored_values.h"

#include <cstring>

namespace tavelo::persistence {

using script::ArrayBlock;
using script::StringBlock;
using script::Value;
using script::ValueType;

namespace {

constexpr size_t kStringHeader = 12;  // references, own offset, size
constexpr size_t kArrayHeader = 24;   // references, own offset, size3, size2, size1, unused word
constexpr int32_t kNoElement = -1;
// Blocks carry a reference-count field. What a running game holds means
// nothing to the file (loading counts the records that share a block again),
// so it is written as 1: the same state always gives the same bytes.
constexpr int32_t kStoredReferences = 1;

}  // namespace

ValueList& ValueList::operator=(ValueList&& other) noexcept {
  if (this != &other) {
    clear();
    values = std::move(other.values);
    other.values.clear();
  }
  return *this;
}

void ValueList::clear() {
  for (Value& value : values) script::release_value(value);
  values.clear();
}

void ValueList::add_shared(const Value& value) {
  script::retain_value(value);
  values.push_back(value);
}

// ---- writing

int32_t PayloadWriter::add_string(const StringBlock* block) {
  auto [it, added] = m_offsets.try_emplace(block, int32_t(m_out.bytes.size()));
  if (!added) return it->second;
  m_out.i32le(kStoredReferences);
  m_out.i32le(it->second);
  m_out.i32le(block->size);
  m_out.append(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(block->data()), size_t(block->size)));
  return it->second;
}

int32_t PayloadWriter::offset_of(const Value& value) {
  if (value.type == ValueType::String) return add_string(value.string);
  const ArrayBlock* block = value.array;
  auto [it, added] = m_offsets.try_emplace(block, int32_t(m_out.bytes.size()));
  if (!added) return it->second;
  const int32_t offset = it->second;
  m_out.i32le(kStoredReferences);
  m_out.i32le(offset);
  m_out.i32le(block->size3);
  m_out.i32le(block->size2);
  m_out.i32le(block->size1);
  const size_t count = size_t(block->element_count());
  if (value.type != ValueType::StringArray) {
    m_out.append(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(block->ints()), count * 4));
    m_out.i32le(0);
    return offset;
  }
  m_out.i32le(0);
  // The element offsets are known only once the element blocks, which follow
  // the array, are placed: reserve the table and fill it in afterwards.
  const size_t table = m_out.bytes.size();
  m_out.bytes.resize(table + count * 4);
  for (size_t i = 0; i < count; ++i) {
    const StringBlock* element = block->strings()[i];
    m_out.patch_u32le(table + i * 4, uint32_t(element ? add_string(element) : kNoElement));
  }
  return offset;
}

void write_value_records(resources::ByteWriter& out, std::span<const Value> values, PayloadWriter& payload) {
  for (const Value& value : values) {
    out.u32le(value.hash);
    out.i32le(int32_t(value.type));
    if (script::is_reference_type(value.type)) {
      out.i32le(payload.offset_of(value));
      out.i32le(0);
    } else {
      out.i32le(int32_t(value.scope));
      out.i32le(script::payload_bits(value));
    }
  }
}

// ---- reading

bool read_raw_records(resources::ByteReader& in, uint32_t count, std::vector<RawRecord>& records) {
  if (uint64_t(count) * kValueRecordSize > in.remaining()) return false;
  records.reserve(records.size() + count);
  for (uint32_t i = 0; i < count; ++i) {
    RawRecord record;
    record.hash = in.u32le();
    record.type = in.i32le();
    record.third = in.i32le();
    record.payload = in.i32le();
    records.push_back(record);
  }
  return in.ok;
}

PayloadReader::~PayloadReader() {
  for (auto& [offset, block] : m_strings) script::release_string(block);
  for (auto& [offset, entry] : m_arrays) script::release_array(entry.second);
}

StringBlock* PayloadReader::string_at(int32_t offset) {
  if (auto it = m_strings.find(offset); it != m_strings.end()) {
    ++it->second->references;
    return it->second;
  }
  if (offset < 0 || size_t(offset) + kStringHeader > m_payload.size()) return nullptr;
  const uint8_t* header = m_payload.data() + offset;
  const int32_t size = int32_t(resources::load_u32le(header + 8));
  const size_t room = m_payload.size() - size_t(offset) - kStringHeader;
  // The size counts the terminating NUL, which must be there.
  if (size < 1 || size_t(size) > room || size_t(size - 1) > script::kMaxStringBytes) return nullptr;
  const char* text = reinterpret_cast<const char*>(header + kStringHeader);
  if (text[size - 1] != '\0') return nullptr;
  StringBlock* block = script::new_string_block(std::string_view(text, size_t(size - 1)));
  m_strings.emplace(offset, block);
  ++block->references;  // one for the reader, one for the caller
  return block;
}

ArrayBlock* PayloadReader::array_at(int32_t offset, ValueType type) {
  if (auto it = m_arrays.find(offset); it != m_arrays.end()) {
    if (it->second.first != type) return nullptr;
    ++it->second.second->references;
    return it->second.second;
  }
  if (offset < 0 || size_t(offset) + kArrayHeader > m_payload.size()) return nullptr;
  const uint8_t* header = m_payload.data() + offset;
  const int32_t size3 = int32_t(resources::load_u32le(header + 8));
  const int32_t size2 = int32_t(resources::load_u32le(header + 12));
  const int32_t size1 = int32_t(resources::load_u32le(header + 16));
  const int64_t count = script::array_element_count(size3, size2, size1);
  if (count < 0) return nullptr;
  // Both kinds take 24 + 4n bytes: number elements and then one word without
  // meaning, or that word and then the element offsets.
  if (size_t(count) * 4 > m_payload.size() - size_t(offset) - kArrayHeader) return nullptr;
  // Number elements follow the five header words; string-array offsets
  // follow the sixth, unused one.
  const uint8_t* elements = header + (type == ValueType::StringArray ? kArrayHeader : kArrayHeader - 4);
  if (type != ValueType::StringArray) {
    ArrayBlock* block = script::new_array_block(type, size3, size2, size1);
    std::memcpy(block->ints(), elements, size_t(count) * 4);
    m_arrays.emplace(offset, std::make_pair(type, block));
    ++block->references;
    return block;
  }
  ArrayBlock* block = script::new_array_block(type, size3, size2, size1);
  for (int64_t i = 0; i < count; ++i) {
    const int32_t element_offset = int32_t(resources::load_u32le(elements + i * 4));
    if (element_offset == kNoElement) continue;  // stays the empty string
    StringBlock* element = string_at(element_offset);
    if (!element) {
      script::release_array(block);
      return nullptr;
    }
    script::release_string(block->strings()[i]);
    block->strings()[i] = element;
  }
  m_arrays.emplace(offset, std::make_pair(type, block));
  ++block->references;
  return block;
}

bool PayloadReader::read_values(std::span<const RawRecord> records, script::Scope scope, ValueList& out) {
  out.values.reserve(out.values.size() + records.size());
  for (const RawRecord& record : records) {
    if (record.type < 0 || record.type >= script::kValueTypeCount) return false;
    Value value = script::make_int(0);
    value.hash = record.hash;
    value.type = ValueType(record.type);
    value.scope = scope;
    if (value.type == ValueType::String) {
      value.string = string_at(record.third);
      if (!value.string) return false;
    } else if (script::is_array_type(value.type)) {
      value.array = array_at(record.third, value.type);
      if (!value.array) return false;
    } else {
      std::memcpy(&value.integer, &record.payload, 4);
    }
    out.values.push_back(value);
  }
  return true;
}

}  // namespace tavelo::persistence
