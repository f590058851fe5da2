// Screenshots as PNG files.

#include "graphics/png_writer.h"

#include <cstdint>
#include <vector>

#include "graphics/picture_png.h"
#include "graphics/screen.h"
#include "graphics/state.h"
#include "platform/file_system.h"

namespace tavelo::graphics {

bool write_png(const Page& page, const std::string& host_path) {
  std::vector<uint8_t> bytes = encode_png(page);
  if (bytes.empty()) return false;
  return platform::write_file_atomically(host_path, bytes);
}

bool write_screenshot(const State& state, const std::string& host_path) {
  const Page* page = display_page(state);
  return page && write_png(*page, host_path);
}

}  // namespace tavelo::graphics
