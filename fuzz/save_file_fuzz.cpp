// Arbitrary bytes as a save file. A file the reader accepts must write back
// to a file the reader accepts again, giving the same bytes once more: what
// loads is a state a fresh save could have written. The summary reader must
// agree with the full reader on the comment.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "persistence/save_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::persistence;
  std::span<const uint8_t> file(data, size);
  SaveSummary summary;
  bool has_summary = read_save_summary(file, summary, true);
  if (has_summary && summary.thumbnail.size() != size_t(summary.thumbnail_width) * size_t(summary.thumbnail_height) * 3) {
    __builtin_trap();
  }
  SaveImage image;
  if (parse_save_file(file, image) != SaveFileStatus::Ok) return 0;
  if (!has_summary || summary.comment != image.comment) __builtin_trap();
  std::vector<uint8_t> written = write_save_file(image);
  SaveImage again;
  if (parse_save_file(written, again) != SaveFileStatus::Ok) __builtin_trap();
  if (write_save_file(again) != written) __builtin_trap();
  return 0;
}
