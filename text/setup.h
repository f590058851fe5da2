#pragma once
// Setting the text subsystem up and down: at start-up the renderer's code
// page, line-buffer width (CLIENT_WIDTH) and cache naming (FONTCACHESMART),
// the message window's options and line-breaking tables from the
// environment, and the pre-build of the glyph caches named by FC_NAME and
// FC_NAME2; at shutdown the open cache is written and private fonts go. Also
// where glyph cache files live. The host calls these (host/startup.cpp), the
// fontcache_open call uses glyph_cache_path.

#include <cstdint>
#include <string>
#include <string_view>

#include "text/glyph_cache.h"

namespace tavelo::platform {
class TextEncoding;
}
namespace tavelo::resources {
struct State;
}

namespace tavelo::text {

struct State;

// Reads the environment once the environment file is parsed.
void configure_text(State& text, resources::State& resources, const platform::TextEncoding& encoding);

// Renders the caches FC_NAME/FC_HEIGHT/FC_WIDTH (and the same keys with 2)
// name when their files do not exist yet. Returns the number written.
int prebuild_glyph_caches(State& text, resources::State& resources);

// Writes the open glyph cache unless LOADSAVEDISABLE is set, and forgets the
// private fonts.
void close_text(State& text, resources::State& resources);

// LOADSAVEDISABLE stops every cache write.
CacheWrites cache_writes(resources::State& resources);

// The host path of the cache file for a face and cell size: under the save
// root's "savedata" directory, its name in UTF-8 with path separators in the
// face replaced. Empty when the face is not text of the code page (such a
// cache is kept in memory only).
std::string glyph_cache_path(const State& text, resources::State& resources, std::string_view face, int32_t height,
                             int32_t width);

}  // namespace tavelo::text
