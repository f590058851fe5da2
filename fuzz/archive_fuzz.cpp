// Arbitrary bytes as an archive file, through the parser the search list
// uses. Whatever parses must hand out only entries inside the file.

#include <cstddef>
#include <cstdint>
#include <span>

#include "resources/archive.h"
#include "resources/name_hash.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::resources;
  std::span<const uint8_t> file(data, size);
  Archive archive;
  if (parse_archive(file, archive) != ArchiveProblem::None) return 0;
  if (archive.entries.empty() || archive.data_end != size) __builtin_trap();

  uint32_t keys[] = {name_hash("start.tvo"), name_hash("title.png"), 0, 0xFFFFFFFFu, archive.entries.front().hash,
                     archive.entries.back().hash, archive.entries[archive.entries.size() / 2].hash};
  uint32_t checksum = 0;
  for (uint32_t key : keys) {
    const ArchiveEntry* entry = find_archive_entry(archive.entries, key);
    if (!entry) continue;
    if (entry->hash != key || uint64_t(entry->offset) + entry->size > size) __builtin_trap();
    // Touch the entry's bytes so a bad window shows up under the sanitizer.
    for (uint32_t i = 0; i < entry->size; i += 64) checksum += data[entry->offset + i];
  }
  return int(checksum & 0);
}
