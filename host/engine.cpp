// Engine construction and the exit request.

#include "host/engine.h"

#include "platform/text_encoding.h"

namespace tavelo::host {

Engine::Engine(platform::Platform& platform_, const platform::TextEncoding& encoding_, std::string working_directory)
    : platform(platform_), encoding(encoding_) {
  resources.working_directory = std::move(working_directory);
  resources.lead_bytes = encoding.lead_bytes();
}

Engine::~Engine() = default;

void request_exit(Engine& engine, int status) {
  if (!engine.exit_status) engine.exit_status = status;
}

}  // namespace tavelo::host
