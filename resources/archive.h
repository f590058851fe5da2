#pragma once
// The archive format (.arc, little-endian): a 28-byte header (16-byte magic,
// entry count, two fields the engine ignores), an index sorted by name hash,
// then the raw entry data. Version 1 stores N + 1 records {hash, offset} (the
// last one a sentinel marking the end of the data), version 2 N records
// {hash, offset, size}. One parser serves the engine's search list, the
// archive tool and the fuzzer; it never reads outside the bytes it is given.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tavelo::platform {
class File;
}

namespace tavelo::resources {

enum class ArchiveVersion { V1, V2 };

inline constexpr size_t kArchiveHeaderSize = 28;
inline constexpr size_t kArchiveMagicSize = 16;
inline constexpr std::string_view kArchiveMagicV1{"TaveloArcV1.000\0", kArchiveMagicSize};
inline constexpr std::string_view kArchiveMagicV2{"TaveloArcV2.000\0", kArchiveMagicSize};

// Size in bytes of one index record in the file.
constexpr size_t archive_record_size(ArchiveVersion version) { return version == ArchiveVersion::V1 ? 8 : 12; }

// One entry of the in-memory index (both versions load into this form).
struct ArchiveEntry {
  uint32_t hash = 0;
  uint32_t offset = 0;  // absolute position in the archive file
  uint32_t size = 0;    // bytes
};

struct ArchiveHeader {
  std::array<uint8_t, kArchiveHeaderSize> bytes{};  // as read, including the ignored fields
  ArchiveVersion version = ArchiveVersion::V2;
  int32_t count = 0;  // entries, not counting the version 1 sentinel
};

struct Archive {
  ArchiveHeader header;
  std::vector<ArchiveEntry> entries;  // file order
  uint64_t data_end = 0;              // where the entry data ends (the file length when sound)
};

enum class ArchiveProblem {
  None,
  ShortHeader,  // fewer than 28 bytes
  BadMagic,     // neither version's magic
  BadCount,     // entry count 0 or negative
  ShortIndex,   // the index runs past the end of the file
  BadOffsets,   // a version 1 offset lies before the previous one, or an entry ends past the file
  WrongLength,  // the file does not end exactly where the data ends
};

std::string_view describe_archive_problem(ArchiveProblem problem);

// Checks the magic and the count of a header.
[[nodiscard]] ArchiveProblem parse_archive_header(std::span<const uint8_t> bytes, ArchiveHeader& header);

// Bytes the index occupies after the header (count + 1 records for version 1).
uint64_t archive_index_size(const ArchiveHeader& header);

// Builds the in-memory index from the index bytes and checks it against the
// length of the whole archive file: every entry lies inside the file and the
// file ends exactly at the end of the data.
// Fills archive.entries and archive.data_end from the header already in it.
[[nodiscard]] ArchiveProblem parse_archive_index(Archive& archive, std::span<const uint8_t> index_bytes,
                                                 uint64_t file_length);

// Parses a whole archive image (tools, fuzzing, tests).
[[nodiscard]] ArchiveProblem parse_archive(std::span<const uint8_t> file_bytes, Archive& archive);

// Reads the header and index of an open archive file; the entry data is not
// read. The index size is checked against the file before it is allocated.
[[nodiscard]] ArchiveProblem read_archive(platform::File& file, Archive& archive);

// Binary search by hash (unsigned order); null when absent. The index must be
// sorted, which archive writers guarantee; an unsorted index only misses.
const ArchiveEntry* find_archive_entry(std::span<const ArchiveEntry> entries, uint32_t hash);

}  // namespace tavelo::resources
