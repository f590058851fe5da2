#pragma once
// State of the host shell: the end of the run the command line asked for and
// the requests that the outer loop and the frame loop act on.

#include <cstdint>
#include <optional>

namespace tavelo::host {

struct State {
  // Ends the run once script time reaches this value (--quit-after).
  std::optional<uint32_t> quit_at;
  // A return to the title was confirmed; the frame loop ends the run of the
  // start script once the display is unlocked.
  bool return_to_title = false;
};

}  // namespace tavelo::host
