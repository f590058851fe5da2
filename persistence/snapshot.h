#pragma once
// What a save holds of the script machine, taken at a save point and put
// back after a load: the main thread's call frames, its whole stack, its
// thread store and the global store, kept both ways by keep_machine(). A load
// is two steps so that it changes nothing until the file has passed every
// check: check_machine_image() makes sure every frame names a script that
// exists and loads without a fault, and positions and stack indices that fit
// it; keep_machine() then rebuilds the thread in a freshly reset machine.
// Files that hold only the innermost frame's locals load too: those go to
// that frame's base.

#include <cstdint>
#include <optional>

#include "persistence/save_file.h"
#include "resources/save_fields.h"

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

enum class MachineCheck { Ok, NoScript, BadPosition, BadStack };
MachineCheck check_machine_image(script::Machine& machine, const SaveImage& image);

// The machine's part of a save, both ways. Saving replaces the image's frames
// and stores with the main thread's (thread id 0) and the global store; when
// the save point runs on the main thread itself, call says where its
// arguments start: they are not part of the state, and a kept result is
// saved as 0, as the call returns it. Loading, only after the image passed
// check_machine_image() and the machine was reset, gives the main thread
// (made current) the image's frames, stack and thread store and the global
// store the image's; the image keeps its values (they are shared, not moved).
void keep_machine(const resources::SaveFields& fields, SaveImage& image, script::Machine& machine,
                  std::optional<SavePointCall> call);

}  // namespace tavelo::persistence
