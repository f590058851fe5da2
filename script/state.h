#pragma once
// State of the script machine.

#include "script/loader.h"

namespace tavelo::script {

struct State {
  Scripts scripts;
};

}  // namespace tavelo::script
