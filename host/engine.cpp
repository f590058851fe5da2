// Engine construction.

#include "host/engine.h"

#include "host/hooks.h"
#include "platform/text_encoding.h"

namespace tavelo::host {

Engine::Engine(platform::Platform& platform_, const platform::TextEncoding& encoding_, std::string working_directory)
    : platform(platform_),
      encoding(encoding_),
      resources(encoding_, std::move(working_directory)),
      script(*this, platform_, resources) {
  install_hooks(*this);
}

Engine::~Engine() = default;

}  // namespace tavelo::host
