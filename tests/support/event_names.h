#pragma once
// Event names for keys the engine raises: scripts register handlers by name,
// the engine raises some events by bare name hash. A name with the wanted
// hash is made from a prefix and letters 'a'/'c' chosen by solving the
// (affine) CRC over GF(2), so scenario tests can handle any engine event.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavelo::testing {

// An ASCII name starting with prefix whose name hash is key.
std::string event_name_for(uint32_t key, std::string_view prefix = "event_");

}  // namespace tavelo::testing
