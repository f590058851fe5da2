// tvimg: converts pictures between PNG/BMP and the engine's .rct/.rc8 formats.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "graphics/picture_bmp.h"
#include "graphics/picture_png.h"
#include "graphics/picture_rct.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "tools/common/tool_support.h"
#include "tools/picture/picture_encoder.h"

namespace {

using namespace tavelo;

constexpr const char* kUsage =
    "usage: tvimg [OPTIONS] INPUT OUTPUT\n"
    "\n"
    "Converts a picture. INPUT may be .png, .bmp, .rct or .rc8 (recognised by its\n"
    "content); the format of OUTPUT follows its extension:\n"
    "  .png   RGB, or RGBA when the input carries transparency\n"
    "  .rct   24-bit: TC00; TS00 with --key; TC01/TS01 with --base\n"
    "  .rc8   256 colours: the input may have at most 256 different colours\n"
    "\n"
    "  --key KEY        scramble .rct output with the image key made from KEY;\n"
    "                   for .rct input, unscramble with it\n"
    "  --base FILE      .rct output: a difference image over the base picture FILE\n"
    "                   (its name without directory and extension is stored);\n"
    "                   .rct input: merge a difference image with FILE\n"
    "  --base-name NAME the base name to store instead of FILE's name\n"
    "  --codepage NAME  code page of stored names and keys (default CP932)\n"
    "  --stats          print the input and output sizes and their ratio\n"
    "  -h, --help       this text\n"
    "\n"
    "Exit status: 0 when OUTPUT was written, 1 on errors.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "tvimg: %s\n", message.c_str());
  return 1;
}

std::string lower_extension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot);
  for (char& c : extension) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

std::string stem(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

struct ReadOptions {
  graphics::ImageKey key;
  const graphics::Page* base = nullptr;
};

// Any picture file, by its content.
std::optional<graphics::DecodedImage> read_picture(const std::string& path, const ReadOptions& options,
                                                   std::string& error) {
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(path);
  if (!bytes) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes->size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, bytes->begin())) {
    graphics::PngDecoded decoded = graphics::decode_png(*bytes);
    if (!decoded.image) {
      error = path + ": PNG not accepted (code " + std::to_string(int(decoded.result)) +
              "; 8 bits per channel only)";
      return std::nullopt;
    }
    return std::move(decoded.image);
  }
  if (bytes->size() >= 2 && (*bytes)[0] == 'B' && (*bytes)[1] == 'M') {
    std::optional<graphics::DecodedImage> image = graphics::decode_bmp(*bytes);
    if (!image) error = path + ": bitmap not accepted (uncompressed 8, 24 or 32 bits only)";
    return image;
  }
  if (std::optional<graphics::Page> page = graphics::decode_rc8(*bytes)) {
    return graphics::DecodedImage{std::move(*page), std::nullopt};
  }
  if (std::optional<graphics::RctPicture> picture = graphics::decode_rct(*bytes, options.key)) {
    if (!picture->base_name.empty() && options.base) graphics::merge_difference(picture->page, *options.base);
    return graphics::DecodedImage{std::move(picture->page), std::nullopt};
  }
  error = path + ": not a picture tvimg reads, or damaged";
  return std::nullopt;
}

// 8-bit pages become 24-bit through their palette.
graphics::Page to_full_colour(const graphics::Page& page) {
  if (page.depth == graphics::Depth::Rgb24) return graphics::clone_page(page);
  graphics::Page full = graphics::make_page(page.width, page.height, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < page.height; ++y) {
    for (int32_t x = 0; x < page.width; ++x) {
      const graphics::PaletteEntry& entry = page.palette[page.row(y)[x]];
      uint8_t* p = full.row(y) + 3 * size_t(x);
      p[0] = entry.blue;
      p[1] = entry.green;
      p[2] = entry.red;
    }
  }
  return full;
}

int run_tool(int argc, char** argv) {
  tools::Arguments arguments = tools::collect_arguments(argc, argv);
  if (arguments.take_flag("--help") || arguments.take_flag("-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::optional<std::string> key_text = arguments.take_option("--key");
  std::optional<std::string> base_path = arguments.take_option("--base");
  std::optional<std::string> base_name_text = arguments.take_option("--base-name");
  std::string code_page = arguments.take_option("--codepage").value_or("CP932");
  bool stats = arguments.take_flag("--stats");
  if (arguments.words.size() != 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string& input = arguments.words[0];
  const std::string& output = arguments.words[1];
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(code_page);
  if (!encoding) return fail("unknown code page " + code_page);

  std::optional<std::string> key;
  if (key_text) {
    key = encoding->from_utf8(*key_text);
    if (!key || key->empty()) return fail("the key must be a non-empty text in the code page");
  }
  std::string error;
  std::optional<graphics::Page> base;
  if (base_path) {
    std::optional<graphics::DecodedImage> image = read_picture(*base_path, {}, error);
    if (!image) return fail(error);
    base = to_full_colour(image->colour);
  }

  ReadOptions read_options;
  if (key) read_options.key = graphics::make_image_key(*key);
  read_options.base = base ? &*base : nullptr;
  std::optional<graphics::DecodedImage> image = read_picture(input, read_options, error);
  if (!image) return fail(error);

  const std::string extension = lower_extension(output);
  std::vector<uint8_t> bytes;
  if (extension == ".png") {
    bytes = graphics::encode_png(image->colour, image->transparency ? &*image->transparency : nullptr);
  } else if (extension == ".rct") {
    tools::RctOptions options;
    options.key = key;
    if (base) {
      options.base = &*base;
      std::optional<std::string> name = encoding->from_utf8(base_name_text ? *base_name_text : stem(*base_path));
      if (!name || name->size() > 0xFFFF) return fail("the base name cannot be stored in the code page");
      options.base_name = *name;
    }
    tools::RctEncoded encoded = tools::encode_rct(to_full_colour(image->colour), options);
    if (encoded.nudged_pixels > 0) {
      std::fprintf(stderr, "tvimg: note: %zu pure-red pixels over the base were stored as red 254\n",
                   encoded.nudged_pixels);
    }
    bytes = std::move(encoded.bytes);
  } else if (extension == ".rc8") {
    std::optional<graphics::Page> indexed = tools::to_indexed(image->colour);
    if (!indexed) return fail(input + " has more than 256 colours; reduce it first (for example convert -colors 256)");
    bytes = tools::encode_rc8(*indexed);
  } else {
    return fail("unknown output format " + output + " (use .png, .rct or .rc8)");
  }
  if (bytes.empty()) return fail("cannot encode " + output);
  if (image->transparency && extension != ".png") {
    std::fprintf(stderr, "tvimg: note: the transparency of %s is not stored; make a companion picture NAME_%s\n",
                 input.c_str(), extension.c_str());
  }
  if (!platform::write_file_atomically(output, bytes)) return fail("cannot write " + output);
  if (stats) {
    const graphics::Page& page = image->colour;
    uint64_t raw = uint64_t(page.width) * uint64_t(page.height) * (extension == ".rc8" ? 1 : 3);
    std::printf("%s: %dx%d, %llu pixel bytes -> %zu bytes (%.1f%%)\n", output.c_str(), page.width, page.height,
                (unsigned long long)raw, bytes.size(), raw ? 100.0 * double(bytes.size()) / double(raw) : 0.0);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tavelo::tools::finish_output("tvimg", run_tool(argc, argv)); }
