// The page's lasting storage (web/shell.js does the work).

#include "platform/web/web_storage.h"

#include <emscripten.h>

EM_JS(void, tavelo_keep_written_files, (), {
  if (Module.keepWrittenFiles) Module.keepWrittenFiles();
});

namespace tavelo::platform {

void keep_written_files() { tavelo_keep_written_files(); }

}  // namespace tavelo::platform
