#pragma once
// The tvc code generator: one file's syntax tree, checked against the
// program's symbols, to a compiled script. It emits the instruction shapes
// the interpreter runs as one step (docs/interpreter.md): loop tests as
// load, push, compare, jump; counters as load with a step and pop; and so
// on, so compiled loops run like hand-written ones.

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/tvc/program.h"

namespace tavelo::tools::tvc {

// The compiled script of a module whose symbols are collected; nullopt when
// errors were reported.
std::optional<std::vector<uint8_t>> generate(Program& program, uint32_t module);

}  // namespace tavelo::tools::tvc
