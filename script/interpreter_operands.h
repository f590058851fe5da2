#pragma once
// How the loop reaches the values instructions name: local slots and
// variables by their cached slot hints (the fast path, inline), the general
// search and creation of variables (out of the loop's hot path), array
// subscripts that wrap around each dimension, and jump targets. Included by
// interpreter.cpp only.

#include <cstdint>
#include <cstring>
#include <vector>

#include "script/interpreter_values.h"
#include "script/machine.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

// Resolves the variable of a Variable operand; null when it does not exist.
// Sets fault for a local slot outside the stack or an unknown scope.
Value* find_operand_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp, int32_t base,
                             uint16_t flags, uint32_t hash, const uint8_t* hint_field, bool& fault) {
  int scope = (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  switch (scope) {
    case int(Scope::Local): {
      int32_t index = base + int16_t(load_u16le(hint_field));
      if (uint32_t(index) >= uint32_t(sp)) {
        fault = true;
        return nullptr;
      }
      return &stack[index];
    }
    case int(Scope::Eternal):
    case int(Scope::Global):
    case int(Scope::Thread): {
      VariableStore& store = scope == int(Scope::Eternal) ? machine.eternal
                             : scope == int(Scope::Global) ? machine.global : thread.store;
      uint16_t hint = load_u16le(hint_field);
      uint16_t before = hint;
      Value* found = store.find_with_hint(hash, hint);
      // The code block is the engine's own writable copy; the hint is cached
      // there. Thread variables use the field too: the hash is checked on
      // every use, so a hint from another thread's store only costs a search.
      if (hint != before) resources::store_u16le(const_cast<uint8_t*>(hint_field), hint);
      return found;
    }
    default: fault = true; return nullptr;
  }
}

// Creates a missing variable (scopes 0-2) holding value (whose reference moves in).
Value* create_operand_variable(Machine& machine, Thread& thread, uint16_t flags, uint32_t hash,
                               const uint8_t* hint_field, Value value) {
  int scope = (flags & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  value.hash = hash;
  value.scope = Scope(scope);
  VariableStore& store = scope == int(Scope::Eternal) ? machine.eternal
                         : scope == int(Scope::Global) ? machine.global : thread.store;
  int32_t index = store.append(value);
  if (index <= 0x7FFF) resources::store_u16le(const_cast<uint8_t*>(hint_field), uint16_t(index));
  return &store.records[size_t(index)];
}

// The variable of a Variable operand (flags at operand, hash at + 2, slot or
// hint at + 6) when it can be reached without a search: a local slot below
// sp, or an eternal, global or thread variable at its slot hint. Null
// otherwise; the general path then decides. Sequences pass the stack top from
// before their own pushes, so a local slot that would name a value they have
// yet to push is not reached either.
[[gnu::always_inline]] inline Value* reach(Machine& machine, Thread& thread, Value* stack, int32_t sp, int32_t base,
                                           const uint8_t* operand) {
  uint16_t scope = (load_u16le(operand) & variable_flags::kScopeMask) >> variable_flags::kScopeShift;
  uint16_t hint = load_u16le(operand + 6);
  if (scope == uint16_t(Scope::Local)) {
    int32_t index = base + int16_t(hint);
    return uint32_t(index) < uint32_t(sp) ? &stack[index] : nullptr;
  }
  std::vector<Value>* records = scope == uint16_t(Scope::Global)    ? &machine.global.records
                                : scope == uint16_t(Scope::Thread)  ? &thread.store.records
                                : scope == uint16_t(Scope::Eternal) ? &machine.eternal.records
                                                                    : nullptr;
  if (!records || hint >= records->size()) return nullptr;
  Value* variable = &(*records)[hint];
  return variable->hash == load_u32le(operand + 2) ? variable : nullptr;
}

// The variable a sequence's instruction at `at` names (a load, or the target
// of a statement), when it is reached without a search and holds a value of
// the type; null otherwise. The local variant reads the slot without asking
// for the scope: decoding chose it for a local operand.
template <bool kLocal>
[[gnu::always_inline]] inline Value* sequence_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp,
                                                       int32_t base, const uint8_t* at, ValueType type) {
  Value* variable;
  if constexpr (kLocal) {
    int32_t index = base + int16_t(load_u16le(at + 8));
    if (uint32_t(index) >= uint32_t(sp)) return nullptr;
    variable = &stack[index];
  } else {
    variable = reach(machine, thread, stack, sp, base, at + 2);
    if (!variable) return nullptr;
  }
  return variable->type == type ? variable : nullptr;
}

// The same for any operand, with the scope asked.
[[gnu::always_inline]] inline Value* operand_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp,
                                                      int32_t base, const uint8_t* at, ValueType type) {
  Value* variable = reach(machine, thread, stack, sp, base, at + 2);
  return variable && variable->type == type ? variable : nullptr;
}

void report_type_mismatch(Machine& machine) {
  report_script_error(machine, "発見した変数のタイプが違うエラー\nスタックに積まれて居ないのに参照したんではないか？");
}


// Subscripts wrap around a dimension instead of failing: -1 is the last
// element. Game scripts rely on it.
// A subscript already inside the dimension needs no division.
[[gnu::always_inline]] inline int32_t wrap_subscript(int32_t subscript, int32_t size) {
  if (size > 0 && uint32_t(subscript) < uint32_t(size)) [[likely]] return subscript;
  if (size <= 0) return 0;
  int32_t remainder = subscript % size;
  return remainder < 0 ? remainder + size : remainder;
}

// The array variable of an element operand. A missing array is reported and
// created as a one-element array of the operand's type.
Value* find_array_variable(Machine& machine, Thread& thread, Value* stack, int32_t sp, int32_t base,
                           uint16_t flags, uint32_t hash, const uint8_t* hint_field, ValueType array_type,
                           bool& fault) {
  Value* variable = find_operand_variable(machine, thread, stack, sp, base, flags, hash, hint_field, fault);
  if (fault || variable) return variable;
  report_script_error(machine, "Array : イニシャライズされていない配列を参照しました");
  return create_operand_variable(machine, thread, flags, hash, hint_field, make_default(array_type));
}

// A subscript as an int; a string or array there (a broken file) counts as 0.
inline int32_t subscript_value(const Value& record) { return as_int(record); }

// Releases the count values below end (subscripts that found no array).
// Out of line: the error path inlined into the loop cost calls 15 % through
// the register allocation of the whole loop.
[[gnu::noinline]] void release_values(Value* end, int count) {
  while (count-- > 0) release_value(*--end);
}

// The element index of count subscripts lying below end (the first one
// topmost); subscripts wrap around each dimension. The caller then releases
// the subscripts (release_values).
int32_t array_index(Machine& machine, const ArrayBlock& array, const Value* end, int count) {
  if (array.size3 == 0) report_script_error(machine, "配列が初期化されていません。");
  int32_t k1 = wrap_subscript(subscript_value(end[-1]), array.size1);
  if (count == 1) return k1;
  int32_t k2 = wrap_subscript(subscript_value(end[-2]), array.size2);
  if (count == 2) return array.size1 * k2 + k1;
  int32_t k3 = wrap_subscript(subscript_value(end[-3]), array.size3);
  return (array.size2 * k3 + k2) * array.size1 + k1;
}

// A jump target: offset from `from` (the end of the jump's operand) in the
// block [begin, end); null outside.
[[gnu::always_inline]] inline const uint8_t* jump_target(const uint8_t* begin, const uint8_t* end,
                                                         const uint8_t* from, int32_t offset) {
  int64_t target = int64_t(from - begin) + offset;
  return uint64_t(target) < uint64_t(end - begin) ? begin + target : nullptr;
}
// The target of a jump inside a decoded form: decoding made the form only
// for a target inside the block, and code bytes other than the cache fields
// never change, so it needs no check when it runs.
[[gnu::always_inline]] inline const uint8_t* decoded_jump_target(const uint8_t* from, int32_t offset) {
  return from + offset;
}

// The block of an int array variable the sequences and inline paths index
// directly; null for anything else.
[[gnu::always_inline]] inline ArrayBlock* int_array(Value* variable) {
  if (!variable || variable->type != ValueType::IntArray) return nullptr;
  ArrayBlock* array = variable->array;
  return array->size1 > 0 && array->size2 > 0 ? array : nullptr;
}

// The element of a two-dimensional index, as array_index computes it.
[[gnu::always_inline]] inline int32_t element_index(const ArrayBlock& array, int32_t row, int32_t column) {
  return array.size1 * wrap_subscript(row, array.size2) + wrap_subscript(column, array.size1);
}

inline float float_at(const uint8_t* at) {
  uint32_t bits = load_u32le(at);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

}  // namespace
}  // namespace tavelo::script
