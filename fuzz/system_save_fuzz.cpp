// Arbitrary bytes as a system save. Whatever the reader takes must write
// back to a file that reads to the same names and the same bytes again.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "persistence/system_save.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::persistence;
  NameSet names{};
  ValueList eternal;
  if (parse_system_save(std::span<const uint8_t>(data, size), names, eternal) != SystemSaveStatus::Ok) return 0;
  std::vector<uint8_t> written = write_system_save(names, eternal.values);
  NameSet names_again{};
  ValueList eternal_again;
  if (parse_system_save(written, names_again, eternal_again) != SystemSaveStatus::Ok) __builtin_trap();
  if (names_again != names || write_system_save(names_again, eternal_again.values) != written) __builtin_trap();
  return 0;
}
