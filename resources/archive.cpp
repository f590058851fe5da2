// Archive header and index parsing.

#include "resources/archive.h"

#include <algorithm>
#include <cstring>

#include "platform/file_system.h"
#include "resources/byte_reader.h"

namespace tavelo::resources {

std::string_view describe_archive_problem(ArchiveProblem problem) {
  switch (problem) {
    case ArchiveProblem::None: return "no problem";
    case ArchiveProblem::ShortHeader: return "the header is shorter than 28 bytes";
    case ArchiveProblem::BadMagic: return "unknown magic";
    case ArchiveProblem::BadCount: return "the entry count is 0 or negative";
    case ArchiveProblem::ShortIndex: return "the index runs past the end of the file";
    case ArchiveProblem::BadOffsets: return "an entry lies outside the file or before the previous one";
    case ArchiveProblem::WrongLength: return "the file does not end where the entry data ends";
  }
  return "unknown problem";
}

ArchiveProblem parse_archive_header(std::span<const uint8_t> bytes, ArchiveHeader& header) {
  if (bytes.size() < kArchiveHeaderSize) return ArchiveProblem::ShortHeader;
  std::copy_n(bytes.begin(), kArchiveHeaderSize, header.bytes.begin());
  std::string_view magic(reinterpret_cast<const char*>(bytes.data()), kArchiveMagicSize);
  if (magic == kArchiveMagicV1) {
    header.version = ArchiveVersion::V1;
  } else if (magic == kArchiveMagicV2) {
    header.version = ArchiveVersion::V2;
  } else {
    return ArchiveProblem::BadMagic;
  }
  ByteReader reader(bytes.subspan(kArchiveMagicSize));
  header.count = reader.i32le();
  // An empty archive has no last record to check the data end against, so it
  // counts as damaged rather than as empty.
  if (header.count <= 0) return ArchiveProblem::BadCount;
  return ArchiveProblem::None;
}

uint64_t archive_index_size(const ArchiveHeader& header) {
  if (header.count <= 0) return 0;
  uint64_t records = uint64_t(header.count) + (header.version == ArchiveVersion::V1 ? 1 : 0);
  return records * archive_record_size(header.version);
}

ArchiveProblem parse_archive_index(Archive& archive, std::span<const uint8_t> index_bytes, uint64_t file_length) {
  const ArchiveHeader& header = archive.header;
  std::vector<ArchiveEntry>& entries = archive.entries;
  entries.clear();
  archive.data_end = 0;
  if (header.count <= 0) return ArchiveProblem::BadCount;
  uint64_t needed = archive_index_size(header);
  if (index_bytes.size() < needed || file_length < kArchiveHeaderSize ||
      file_length - kArchiveHeaderSize < needed) {
    return ArchiveProblem::ShortIndex;
  }
  ByteReader reader(index_bytes);
  size_t count = size_t(header.count);
  entries.resize(count);
  uint64_t end_of_data = 0;
  if (header.version == ArchiveVersion::V1) {
    entries[0].hash = reader.u32le();
    entries[0].offset = reader.u32le();
    for (size_t i = 0; i < count; ++i) {
      uint32_t next_hash = reader.u32le();
      uint32_t next_offset = reader.u32le();
      if (next_offset < entries[i].offset) return ArchiveProblem::BadOffsets;
      entries[i].size = next_offset - entries[i].offset;
      if (i + 1 < count) {
        entries[i + 1].hash = next_hash;
        entries[i + 1].offset = next_offset;
      } else {
        end_of_data = next_offset;  // the sentinel
      }
    }
  } else {
    for (ArchiveEntry& entry : entries) {
      entry.hash = reader.u32le();
      entry.offset = reader.u32le();
      entry.size = reader.u32le();
      end_of_data = std::max(end_of_data, uint64_t(entry.offset) + entry.size);
    }
  }
  if (!reader.ok) return ArchiveProblem::ShortIndex;
  archive.data_end = end_of_data;
  // The last data byte must exist and nothing may follow it: a truncated or
  // padded file means a damaged copy.
  if (end_of_data == 0 || end_of_data != file_length) return ArchiveProblem::WrongLength;
  // Implied by the end check for sound indexes; kept so that no entry handed
  // out can reach past the file whatever the index holds.
  for (const ArchiveEntry& entry : entries) {
    if (uint64_t(entry.offset) + entry.size > file_length) return ArchiveProblem::BadOffsets;
  }
  return ArchiveProblem::None;
}

ArchiveProblem parse_archive(std::span<const uint8_t> file_bytes, Archive& archive) {
  archive.entries.clear();
  ArchiveProblem problem = parse_archive_header(file_bytes, archive.header);
  if (problem != ArchiveProblem::None) return problem;
  return parse_archive_index(archive, file_bytes.subspan(kArchiveHeaderSize), file_bytes.size());
}

ArchiveProblem read_archive(platform::File& file, Archive& archive) {
  archive.entries.clear();
  std::array<uint8_t, kArchiveHeaderSize> header_bytes{};
  if (!file.seek(0)) return ArchiveProblem::ShortHeader;
  size_t got = file.read(header_bytes);
  ArchiveProblem problem = parse_archive_header(std::span<const uint8_t>(header_bytes.data(), got), archive.header);
  if (problem != ArchiveProblem::None) return problem;
  uint64_t needed = archive_index_size(archive.header);
  if (file.length() - kArchiveHeaderSize < needed) return ArchiveProblem::ShortIndex;
  std::vector<uint8_t> index_bytes(static_cast<size_t>(needed));
  if (file.read(index_bytes) != index_bytes.size()) return ArchiveProblem::ShortIndex;
  return parse_archive_index(archive, index_bytes, file.length());
}

const ArchiveEntry* find_archive_entry(std::span<const ArchiveEntry> entries, uint32_t hash) {
  auto it = std::lower_bound(entries.begin(), entries.end(), hash,
                             [](const ArchiveEntry& entry, uint32_t key) { return entry.hash < key; });
  return it != entries.end() && it->hash == hash ? &*it : nullptr;
}

}  // namespace tavelo::resources
