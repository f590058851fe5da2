#pragma once
// Read marks and the skip test. Every line instruction of the main thread
// marks its line in the script's read-mark set and records whether the line
// had been read before; the skip modes consult that flag.

#include <cstdint>

namespace tavelo::host {
struct Engine;
}

namespace tavelo::script {

struct Thread;

// The read-mark part of the line instruction.
void mark_line(host::Engine& engine, Thread& thread, int32_t line);

// The skip test: whether text is being skipped now.
bool is_skipping(host::Engine& engine);

}  // namespace tavelo::script
