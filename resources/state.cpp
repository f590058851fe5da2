// The resources state.

#include "resources/state.h"

#include "platform/text_encoding.h"

namespace tavelo::resources {

State::State(const platform::TextEncoding& encoding_, std::string working_directory_)
    : encoding(encoding_), lead_bytes(encoding_.lead_bytes()), working_directory(std::move(working_directory_)) {}

const std::string& save_root(const State& state) {
  return state.fast_read_directory.empty() ? state.working_directory : state.fast_read_directory;
}

}  // namespace tavelo::resources
