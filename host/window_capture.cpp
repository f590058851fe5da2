// Pictures of the window: the player's capture (a BMP file named in a
// save dialog) and the screenshots replayed input and tests ask for (PNG).

#include <algorithm>
#include <cstdio>

#include "graphics/bmp_writer.h"
#include "graphics/picture_png.h"
#include "host/engine.h"
#include "host/main_window.h"
#include "host/main_window_parts.h"
#include "host/state.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/settings.h"
#include "script/message_box.h"
#include "script/state.h"

namespace tavelo::host {

using resources::EnvInt;

// The capture of the display page into a BMP file the player names.
void start_capture(Engine& engine) {
  if (resources::env_setting(engine.resources, EnvInt::CaptureDisable) == 1) return;
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!engine.platform.read_presented_frame(pixels, width, height)) return;
  platform::LocalTime now = engine.platform.local_time();
  auto two = [](int value) {
    std::string text = std::to_string(value % 100);
    return text.size() < 2 ? "0" + text : text;
  };
  std::string name = engine.script.debug_mode
                         ? utf8_of(engine, engine.script.caption)
                         : utf8_of(engine, resources::env_setting_text(engine.resources, resources::EnvText::CaptureName));
  std::string folder = utf8_of(engine, resources::reg_read_text(engine.resources, "CapFolder", "", 260).text);
  if (folder.empty()) folder = platform::current_directory() + "/savedata";
  std::string file = name + "(" + two(now.year) + "年" + two(now.month) + "月" + two(now.day) + "日 " + two(now.hour) +
                     "時" + two(now.minute) + "分" + two(now.second) + "秒).bmp";
  platform::DialogRequest request;
  request.kind = platform::DialogKind::SaveFile;
  request.title = "画面の保存(キャプチャ)";
  request.text = folder + "/" + file;
  request.filter = "BMP Files (*.BMP)";
  request.default_extension = "bmp";
  MainWindow& window = engine.host.window;
  if (window.dialog.kind != WindowDialogKind::None) return;
  window.dialog = {WindowDialogKind::Capture, engine.platform.open_dialog(request), nullptr, request.text};
}

void finish_capture(Engine& engine, const std::string& path) {
  if (path.size() >= 192) {
    script::show_box(engine.script, script::BoxKind::Error, "ファイル名が長すぎます", {});
    return;
  }
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!engine.platform.read_presented_frame(pixels, width, height)) return;
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < height; ++y) {
    std::copy_n(pixels.data() + size_t(y) * size_t(width) * 3, size_t(width) * 3, page.row(y));
  }
  std::vector<uint8_t> bytes = graphics::encode_bmp24(page);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos) platform::make_directories(path.substr(0, slash));
  if (!platform::write_file_atomically(path, bytes)) return;
  if (slash != std::string::npos) {
    (void)resources::reg_write_text(engine.resources, "CapFolder", engine.encoding.from_utf8_lossy(path.substr(0, slash)));
  }
}

void write_window_screenshot(Engine& engine, const std::string& path) {
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!engine.platform.read_presented_frame(pixels, width, height)) {
    // Nothing shown yet: a black picture of the window's size.
    width = resources::env_setting(engine.resources, EnvInt::ClientWidth);
    height = resources::env_setting(engine.resources, EnvInt::ClientHeight);
    pixels.assign(size_t(std::max(width, 1)) * size_t(std::max(height, 1)) * 3, 0);
  }
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < page.height; ++y) {
    std::copy_n(pixels.data() + size_t(y) * size_t(width) * 3, size_t(page.width) * 3, page.row(y));
  }
  std::vector<uint8_t> png = graphics::encode_png(page);
  if (png.empty() || !platform::write_file_atomically(path, png)) {
    std::string message = "[input] screenshot " + path + " could not be written\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
  }
}

}  // namespace tavelo::host
