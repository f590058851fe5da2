#pragma once
// Script values: the 16-byte value record that lives on a thread's stack and
// in the variable stores, and the shared, reference-counted string and array
// blocks behind it.
//
// Ownership is explicit, as in the compiled code's model: a record owns one
// reference to the block its payload names. Copying a record somewhere else
// (a load, an argument copy) retains; releasing (pop, overwrite, store
// teardown) drops; moving (an assignment that takes the value off the stack)
// transfers without counting. Records are trivially copyable so that the
// interpreter can move them with plain stores.

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace tavelo::script {

enum class ValueType : uint16_t { Int = 0, Float = 1, String = 2, IntArray = 3, FloatArray = 4, StringArray = 5 };
enum class Scope : uint16_t { Eternal = 0, Global = 1, Thread = 2, Local = 3 };

inline constexpr int kValueTypeCount = 6;
// The largest array the engine creates (elements); larger requests are cut.
inline constexpr int64_t kMaxArrayElements = int64_t(1) << 26;
// The longest string the engine makes: 16 MiB of text (the NUL not counted).
// Game text never comes near it; concatenation, the one way a script grows a
// string without bound, reports and cuts its result on a character boundary
// there, and block creation cuts longer texts as a last resort, so block
// sizes always fit their 32-bit field.
inline constexpr size_t kMaxStringBytes = size_t(1) << 24;

// Shared text: never changed after creation. size counts the terminating NUL.
struct alignas(8) StringBlock {
  int32_t references;
  int32_t size;

  char* data() { return reinterpret_cast<char*>(this + 1); }
  const char* data() const { return reinterpret_cast<const char*>(this + 1); }
  std::string_view text() const { return {data(), size_t(size - 1)}; }
};

// Shared array: size3 (outermost) x size2 x size1 (innermost) elements that
// follow the header: int32_t, float, or StringBlock* for string arrays. The
// header is padded to 8 bytes so string-block pointers after it are aligned.
struct alignas(8) ArrayBlock {
  int32_t references;
  ValueType element_type;
  int32_t size3;
  int32_t size2;
  int32_t size1;

  int32_t element_count() const { return size3 * size2 * size1; }
  int32_t* ints() { return reinterpret_cast<int32_t*>(this + 1); }
  const int32_t* ints() const { return reinterpret_cast<const int32_t*>(this + 1); }
  float* floats() { return reinterpret_cast<float*>(this + 1); }
  const float* floats() const { return reinterpret_cast<const float*>(this + 1); }
  StringBlock** strings() { return reinterpret_cast<StringBlock**>(this + 1); }
  StringBlock* const* strings() const { return reinterpret_cast<StringBlock* const*>(this + 1); }
};

struct Value {
  uint32_t hash;  // name hash of the variable; not meaningful for temporaries
  ValueType type;
  Scope scope;
  union {
    int32_t integer;
    float real;
    StringBlock* string;
    ArrayBlock* array;
    uint64_t bits;
  };
};
static_assert(sizeof(Value) == 16, "value records are moved as 16-byte units");

inline bool is_reference_type(ValueType type) { return type >= ValueType::String; }
inline bool is_array_type(ValueType type) { return type >= ValueType::IntArray; }

constexpr Value make_int(int32_t v) {
  Value value;
  value.hash = 0;
  value.type = ValueType::Int;
  value.scope = Scope::Local;
  value.bits = 0;
  value.integer = v;
  return value;
}
constexpr Value make_float(float v) {
  Value value = make_int(0);
  value.type = ValueType::Float;
  value.real = v;
  return value;
}

// The 32 payload bits as stored (a float's bit pattern, a reference's low bits
// are never asked for).
inline int32_t payload_bits(const Value& value) {
  if (value.type == ValueType::Float) {
    int32_t bits;
    std::memcpy(&bits, &value.real, 4);
    return bits;
  }
  return value.integer;
}

// Block management. All allocation goes through the engine's memory wrappers;
// running out of memory ends the process with the engine's message.
StringBlock* new_string_block(std::string_view text);
// The element count of a size3 × size2 × size1 array, or -1 when a size is
// below 1 or the count exceeds kMaxArrayElements. The product is checked step
// by step: three 32-bit sizes can overflow even 64 bits (and wrap to a small
// or negative count that would pass a check made afterwards).
int64_t array_element_count(int32_t size3, int32_t size2, int32_t size1);
// Sizes below 1 become 1; an array beyond kMaxArrayElements is cut down
// (outer sizes halved first), since subscripts wrap anyway.
ArrayBlock* new_array_block(ValueType array_type, int32_t size3, int32_t size2, int32_t size1);
// A deep copy: string elements get new blocks.
ArrayBlock* copy_array_block(const ArrayBlock& source);

inline void retain_value(const Value& value) {
  if (value.type == ValueType::String) ++value.string->references;
  else if (is_array_type(value.type)) ++value.array->references;
}
void release_string(StringBlock* block);
void release_array(ArrayBlock* block);
inline void release_value(Value& value) {
  if (value.type == ValueType::String) release_string(value.string);
  else if (is_array_type(value.type)) release_array(value.array);
}

Value make_string(std::string_view text);
// A new string of first's text followed by second's, without an intermediate
// copy. Callers keep the total within kMaxStringBytes (cut on a byte otherwise).
Value make_joined_string(std::string_view first, std::string_view second);
// A value of the type's default: 0, 0.0, an empty string, a 1x1x1 array.
Value make_default(ValueType type);

// Truthiness of conditional jumps: int != 0, float != 0.0, string non-empty,
// arrays always true.
inline bool is_true(const Value& value) {
  switch (value.type) {
    case ValueType::Int: return value.integer != 0;
    case ValueType::Float: return value.real != 0.0f;
    case ValueType::String: return value.string->size > 1;
    default: return true;
  }
}

}  // namespace tavelo::script
