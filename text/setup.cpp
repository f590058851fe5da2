// Start-up and shutdown of the text subsystem.

#include "text/setup.h"

#include <optional>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "text/state.h"

namespace tavelo::text {
namespace {

using resources::EnvInt;
using resources::EnvText;

struct PrebuildKeys {
  EnvText name;
  EnvInt height;
  EnvInt width;
  EnvInt proportional;  // read like the others; it changes nothing
};

constexpr PrebuildKeys kPrebuildKeys[] = {
    {EnvText::FcName, EnvInt::FcHeight, EnvInt::FcWidth, EnvInt::FcProportional},
    {EnvText::FcName2, EnvInt::FcHeight2, EnvInt::FcWidth2, EnvInt::FcProportional2},
};

std::string kinsoku_table(resources::State& resources, EnvText key, const std::string& built_in) {
  const std::string& table = resources::env_setting_text(resources, key);
  if (table.empty()) return built_in;
  return resources::cut_game_text(resources.lead_bytes, table, kKinsokuTableLimit);
}

}  // namespace

void configure_text(State& text, resources::State& resources, const platform::TextEncoding& encoding) {
  Renderer& renderer = text.renderer;
  renderer.codec = make_text_codec(encoding);
  renderer.mincho_mark = encoding.from_utf8("明朝").value_or(std::string(kMinchoCp932));

  renderer.client_width = resources::env_setting(resources, EnvInt::ClientWidth);
  renderer.cache_naming =
      resources::env_setting(resources, EnvInt::FontCacheSmart) != 0 ? CacheFileNaming::Smart : CacheFileNaming::Plain;

  MessageOptions& options = text.message.options;
  options.rules.kinsoku_type = resources::env_setting(resources, EnvInt::KinsokuType);
  options.rules.space_indent = resources::env_setting(resources, EnvInt::SpaceIndent) != 0;
  options.rules.indent_offset = resources::env_setting(resources, EnvInt::IndentOffset);
  options.name_popup = resources::env_setting(resources, EnvInt::NamePopup) != 0;
  options.voice_skip_default = resources::env_setting(resources, EnvInt::VoiceSkipDefault) != 0;
  const KinsokuTables built_in = default_kinsoku_tables(encoding);
  options.kinsoku.not_at_start = kinsoku_table(resources, EnvText::GyoutouKinsoku, built_in.not_at_start);
  options.kinsoku.not_at_end = kinsoku_table(resources, EnvText::GyoumatuKinsoku, built_in.not_at_end);
  options.punctuation = make_punctuation(encoding);
  text.message.next_voice_skip = options.voice_skip_default;
  refresh_text_modes(text, resources);
}

CacheWrites cache_writes(resources::State& resources) {
  return resources::env_setting(resources, EnvInt::LoadSaveDisable) != 0 ? CacheWrites::Disabled : CacheWrites::Allowed;
}

std::string glyph_cache_path(const State& text, resources::State& resources, std::string_view face, int32_t height,
                             int32_t width) {
  const std::string name = glyph_cache_file_name(face, int32_t(int64_t(width) * 4), int32_t(int64_t(height) * 4),
                                                 text.renderer.cache_naming);
  constexpr std::string_view kDirectory = "savedata\\";
  const TextCodec& codec = text.renderer.codec;
  std::optional<std::string> file = codec.to_utf8 ? codec.to_utf8(name.substr(kDirectory.size()))
                                                  : std::optional<std::string>(name.substr(kDirectory.size()));
  if (!file) return {};
  // A face name is not a path: its separators must not reach other directories.
  for (char& c : *file) {
    if (c == '/' || c == '\\') c = '_';
  }
  const std::string& root = resources::save_root(resources);
  if (std::optional<std::string> existing = platform::resolve_path("savedata/" + *file, root)) return *existing;
  if (std::optional<std::string> directory = platform::resolve_path("savedata", root)) return *directory + "/" + *file;
  return root + "/savedata/" + *file;
}

int prebuild_glyph_caches(State& text, resources::State& resources) {
  int written = 0;
  for (const PrebuildKeys& keys : kPrebuildKeys) {
    const std::string face = resources::env_setting_text(resources, keys.name);
    const int32_t height = resources::env_setting(resources, keys.height);
    const int32_t width = resources::env_setting(resources, keys.width);
    (void)resources::env_setting(resources, keys.proportional);
    if (face.empty() || height == 0 || width == 0) continue;
    const std::string path = glyph_cache_path(text, resources, face, height, width);
    if (path.empty()) continue;
    if (prebuild_glyph_cache(text.renderer, face, height, width, path) == PrebuildResult::Written) ++written;
  }
  return written;
}

void close_text(State& text, resources::State& resources) { close_fonts(text.renderer, cache_writes(resources)); }

}  // namespace tavelo::text
