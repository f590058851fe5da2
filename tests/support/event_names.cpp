// Event names with a given hash: the same construction tvc uses for the
// events the engine raises by key.

#include "tests/support/event_names.h"

#include "tools/tvc/program.h"

namespace tavelo::testing {

std::string event_name_for(uint32_t key, std::string_view prefix) { return tools::tvc::name_with_hash(key, prefix); }

}  // namespace tavelo::testing
