// The script machine's construction and the exit request.

#include "script/state.h"

#include "resources/state.h"

namespace tavelo::script {

Machine::Machine(host::Engine& engine_, platform::Platform& platform_, resources::State& resources_)
    : engine(engine_), platform(platform_), encoding(resources_.encoding), resources(resources_) {}

void request_exit(Machine& machine, int status) {
  if (!machine.exit_status) machine.exit_status = status;
}

}  // namespace tavelo::script
