#pragma once
// The page's lasting storage: the folders that keep saves and settings are
// IndexedDB-backed in the page (web/shell.js mounts them and loads them
// before the engine starts). After every atomic write the page copies what
// changed into IndexedDB at once, so a closed tab loses nothing that the
// engine reported saved. Main thread only.

namespace tavelo::platform {

// Asks the page to write the changed files to IndexedDB (one pass at a time;
// a request during a pass runs another after it).
void keep_written_files();

}  // namespace tavelo::platform
