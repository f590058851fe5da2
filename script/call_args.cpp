// Argument access and results of system calls.

#include "script/syscall.h"
#include "script/thread.h"

namespace tavelo::script {

int32_t CallArgs::int_of_other(const Value& value) {
  if (value.type == ValueType::Float) {
    float real = value.real;
    if (!(real > -2147483904.0f && real < 2147483648.0f)) return INT32_MIN;
    return int32_t(real);
  }
  return 0;
}

float CallArgs::float_at(int index) const {
  const Value& value = at(index);
  if (value.type == ValueType::Float) return value.real;
  if (value.type == ValueType::Int) return float(value.integer);
  return 0.0f;
}

std::string_view CallArgs::text_at(int index) const {
  const Value& value = at(index);
  return value.type == ValueType::String ? value.string->text() : std::string_view{};
}

const ArrayBlock* CallArgs::array_at(int index, ValueType array_type) const {
  const Value& value = at(index);
  return value.type == array_type ? value.array : nullptr;
}

void CallArgs::return_float(float value) { return_value(make_float(value)); }

void CallArgs::return_text(std::string_view text) { return_value(make_string(text)); }

}  // namespace tavelo::script
