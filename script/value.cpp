// String and array blocks.

#include "script/value.h"

#include <algorithm>

#include "resources/memory.h"

namespace tavelo::script {
namespace {

size_t element_size(ValueType array_type) {
  return array_type == ValueType::StringArray ? sizeof(StringBlock*) : sizeof(int32_t);
}

}  // namespace

StringBlock* new_string_block(std::string_view text) {
  if (text.size() > kMaxStringBytes) text = text.substr(0, kMaxStringBytes);
  auto* block = static_cast<StringBlock*>(resources::mem_alloc(sizeof(StringBlock) + text.size() + 1));
  block->references = 1;
  block->size = int32_t(text.size() + 1);
  if (!text.empty()) std::memcpy(block->data(), text.data(), text.size());
  block->data()[text.size()] = '\0';
  return block;
}

int64_t array_element_count(int32_t size3, int32_t size2, int32_t size1) {
  if (size3 < 1 || size2 < 1 || size1 < 1) return -1;
  // Each step stays below 2^62: a count within the limit times a 32-bit size.
  int64_t count = int64_t(size3) * size2;
  if (count > kMaxArrayElements) return -1;
  count *= size1;
  return count > kMaxArrayElements ? -1 : count;
}

ArrayBlock* new_array_block(ValueType array_type, int32_t size3, int32_t size2, int32_t size1) {
  // Sizes below 1 would make zero-sized arrays and modulo-by-zero subscripts;
  // they become 1.
  if (size3 < 1) size3 = 1;
  if (size2 < 1) size2 = 1;
  if (size1 < 1) size1 = 1;
  // Subscripts wrap, so an array larger than memory can hold is cut down
  // instead of ending the engine for lack of memory.
  while (array_element_count(size3, size2, size1) < 0) {
    if (size3 > 1) size3 = std::max(1, size3 / 2);
    else if (size2 > 1) size2 = std::max(1, size2 / 2);
    else size1 = int32_t(kMaxArrayElements);
  }
  size_t count = size_t(array_element_count(size3, size2, size1));
  auto* block = static_cast<ArrayBlock*>(resources::mem_alloc(sizeof(ArrayBlock) + count * element_size(array_type)));
  block->references = 1;
  block->element_type = ValueType(uint16_t(array_type) - 3);
  block->size3 = size3;
  block->size2 = size2;
  block->size1 = size1;
  if (array_type == ValueType::StringArray) {
    for (size_t i = 0; i < count; ++i) block->strings()[i] = new_string_block({});
  } else {
    std::memset(block->ints(), 0, count * sizeof(int32_t));
  }
  return block;
}

ArrayBlock* copy_array_block(const ArrayBlock& source) {
  ValueType array_type = ValueType(uint16_t(source.element_type) + 3);
  size_t count = size_t(source.element_count());
  auto* block = static_cast<ArrayBlock*>(resources::mem_alloc(sizeof(ArrayBlock) + count * element_size(array_type)));
  block->references = 1;
  block->element_type = source.element_type;
  block->size3 = source.size3;
  block->size2 = source.size2;
  block->size1 = source.size1;
  if (array_type == ValueType::StringArray) {
    for (size_t i = 0; i < count; ++i) block->strings()[i] = new_string_block(source.strings()[i]->text());
  } else {
    std::memcpy(block->ints(), source.ints(), count * sizeof(int32_t));
  }
  return block;
}

void release_string(StringBlock* block) {
  if (--block->references <= 0) resources::mem_free(block);
}

void release_array(ArrayBlock* block) {
  if (--block->references > 0) return;
  if (block->element_type == ValueType::String) {
    int32_t count = block->element_count();
    for (int32_t i = 0; i < count; ++i) release_string(block->strings()[i]);
  }
  resources::mem_free(block);
}

Value make_string(std::string_view text) {
  Value value = make_int(0);
  value.type = ValueType::String;
  value.string = new_string_block(text);
  return value;
}

Value make_joined_string(std::string_view first, std::string_view second) {
  // Cut as new_string_block cuts, as a last resort.
  if (first.size() > kMaxStringBytes) first = first.substr(0, kMaxStringBytes);
  if (second.size() > kMaxStringBytes - first.size()) second = second.substr(0, kMaxStringBytes - first.size());
  size_t size = first.size() + second.size();
  auto* block = static_cast<StringBlock*>(resources::mem_alloc(sizeof(StringBlock) + size + 1));
  block->references = 1;
  block->size = int32_t(size + 1);
  if (!first.empty()) std::memcpy(block->data(), first.data(), first.size());
  if (!second.empty()) std::memcpy(block->data() + first.size(), second.data(), second.size());
  block->data()[size] = '\0';
  Value value = make_int(0);
  value.type = ValueType::String;
  value.string = block;
  return value;
}

Value make_default(ValueType type) {
  switch (type) {
    case ValueType::Int: return make_int(0);
    case ValueType::Float: return make_float(0.0f);
    case ValueType::String: return make_string({});
    case ValueType::IntArray:
    case ValueType::FloatArray:
    case ValueType::StringArray: {
      Value value = make_int(0);
      value.type = type;
      value.array = new_array_block(type, 1, 1, 1);
      return value;
    }
  }
  return make_int(0);
}

}  // namespace tavelo::script
