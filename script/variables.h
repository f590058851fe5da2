#pragma once
// Variable stores: the process-wide eternal (#) and global (@) stores and each
// thread's store (%). Stores are flat arrays searched by name hash; records
// are appended and never removed one by one. Global-scope instructions carry
// a 16-bit slot hint that turns repeated lookups into a single comparison.

#include <cstdint>
#include <vector>

#include "script/value.h"

namespace tavelo::script {

struct VariableStore {
  std::vector<Value> records;

  // Index of the record with that hash, or -1. Linear: stores are small and
  // the slot hints make repeated lookups O(1).
  int32_t index_of(uint32_t hash) const {
    for (size_t i = 0; i < records.size(); ++i) {
      if (records[i].hash == hash) return int32_t(i);
    }
    return -1;
  }
  Value* find(uint32_t hash) {
    int32_t index = index_of(hash);
    return index < 0 ? nullptr : &records[size_t(index)];
  }
  // Looks up through a slot hint; a stale hint is corrected in place.
  Value* find_with_hint(uint32_t hash, uint16_t& hint) {
    if (hint < records.size() && records[hint].hash == hash) return &records[hint];
    int32_t index = index_of(hash);
    if (index < 0) return nullptr;
    if (index <= 0x7FFF) hint = uint16_t(index);
    return &records[size_t(index)];
  }
  // Appends (the value's reference moves in) and returns the new index.
  int32_t append(const Value& value) {
    // Growth by 256 records near capacity keeps reallocation rare.
    if (records.size() + 8 >= records.capacity()) records.reserve(records.capacity() + 256);
    records.push_back(value);
    return int32_t(records.size() - 1);
  }
  void release_all() {
    for (Value& value : records) release_value(value);
    records.clear();
  }
};

}  // namespace tavelo::script
