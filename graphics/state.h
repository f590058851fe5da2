#pragma once
// State of the graphics subsystem.

namespace tavelo::graphics {

struct State {};

}  // namespace tavelo::graphics
