// `tvc new`: the project template.

#include "tools/tvc/project_template.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/wave_writer.h"
#include "graphics/page.h"
#include "graphics/png_writer.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"

namespace tavelo::tools::tvc {
namespace {

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

uint8_t mix(int a, int b, double t) { return uint8_t(std::lround(a + (b - a) * t)); }

// A dusk sky over a hill, with the moon: 640 x 480.
graphics::Page draw_background() {
  graphics::Page page = graphics::make_page(640, 480, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < page.height; ++y) {
    uint8_t* row = page.row(y);
    double t = double(y) / (page.height - 1);
    for (int32_t x = 0; x < page.width; ++x) {
      // Blue, green, red per pixel.
      uint8_t blue = mix(0x57, 0x6A, t), green = mix(0x35, 0xC4, t), red = mix(0x1D, 0xE9, t);
      double moon = std::hypot(x - 520.0, y - 110.0);
      double hill = (x - 320.0) * (x - 320.0) / (520.0 * 520.0) + (y - 560.0) * (y - 560.0) / (200.0 * 200.0);
      if (moon < 40) blue = 0xEE, green = 0xFA, red = 0xF1;
      if (hill < 1) blue = 0x53, green = 0x46, red = 0x26;
      row[3 * x] = blue;
      row[3 * x + 1] = green;
      row[3 * x + 2] = red;
    }
  }
  return page;
}

// Two bell-like notes, 0.9 s, 22 050 Hz mono.
bool write_chime(const std::string& path) {
  std::optional<audio::WaveWriter> writer = audio::open_wave_writer(path, 22050, 1);
  if (!writer) return false;
  std::vector<int16_t> samples(size_t(22050 * 0.9));
  for (size_t i = 0; i < samples.size(); ++i) {
    double t = double(i) / 22050.0;
    double first = std::sin(2 * M_PI * 880.0 * t) * std::exp(-5.0 * t);
    double second = t < 0.25 ? 0.0 : std::sin(2 * M_PI * 1318.5 * (t - 0.25)) * std::exp(-5.0 * (t - 0.25));
    samples[i] = int16_t(std::lround(9000.0 * (first + second)));
  }
  audio::append_samples(*writer, samples);
  return audio::finish_wave(*writer);
}

}  // namespace

std::string make_project(const std::string& directory) {
  if (platform::is_file(directory)) return directory + " is a file";
  std::vector<platform::DirectoryItem> items;
  if (platform::is_directory(directory) && platform::list_directory(directory, items) && !items.empty()) {
    return directory + " is not empty";
  }
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  if (!encoding) return "the CP932 code page is not available";
  for (const TemplateFile& file : template_files()) {
    std::string text(file.text);
    if (file.path == "build.sh") text = replace_all(text, "@TAVELO_BIN@", platform::executable_directory());
    // The engine reads its environment file in the game's code page.
    if (file.path == "tavelo.env") text = encoding->from_utf8_lossy(text);
    std::string path = directory + "/" + std::string(file.path);
    platform::make_directories(path.substr(0, path.rfind('/')));
    if (!platform::write_file_atomically(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()))) {
      return "cannot write " + path;
    }
    if (file.path.ends_with(".sh")) {
      std::error_code ignored;
      std::filesystem::permissions(path, std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_exec,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  platform::make_directories(directory + "/data");
  platform::make_directories(directory + "/stream");
  if (!graphics::write_png(draw_background(), directory + "/data/bg.png")) return "cannot write the picture";
  if (!write_chime(directory + "/stream/chime.wav")) return "cannot write the sound";
  return {};
}

}  // namespace tavelo::tools::tvc
