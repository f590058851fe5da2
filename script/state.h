#pragma once
// State of the script machine.

namespace tavelo::script {

struct State {};

}  // namespace tavelo::script
