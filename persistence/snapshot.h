#pragma once
// What a save holds of the script machine, taken at a save point and put
// back after a load: the main thread's call frames, its whole stack, its
// thread store and the global store. Restoring is two steps so that a load
// changes nothing until the file has passed every check: check_machine_image()
// makes sure every frame names a script that exists and loads without a
// fault, and positions and stack indices that fit it; restore_machine() then
// rebuilds the thread in a freshly reset machine. Files that hold only the
// innermost frame's locals load too: those go to that frame's base.

#include <cstdint>
#include <optional>

#include "persistence/save_file.h"

namespace tavelo::script {
struct Machine;
}

namespace tavelo::persistence {

// The save-point call of the main thread: its arguments start at stack index
// first; a kept result will sit there.
struct SavePointCall {
  int32_t first = 0;
  bool keep_result = false;
};

// Replaces the image's frames and stores with the main thread's (thread id
// 0). When the save point runs on the main thread itself, call says where its
// arguments start: they are not part of the state, and a kept result is
// saved as 0, as the call returns it.
void capture_machine(SaveImage& image, script::Machine& machine, std::optional<SavePointCall> call);

enum class MachineCheck { Ok, NoScript, BadPosition, BadStack };
MachineCheck check_machine_image(script::Machine& machine, const SaveImage& image);

// After the machine's reset: the main thread (id 0, current) gets the
// image's frames and stack, its thread store; the global store becomes the
// image's. The image keeps its values (they are shared, not moved).
void restore_machine(script::Machine& machine, const SaveImage& image);

}  // namespace tavelo::persistence
