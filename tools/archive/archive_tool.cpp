// Building, verifying and extracting archives.

#include "tools/archive/archive_tool.h"

#include <algorithm>
#include <optional>
#include <set>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/byte_reader.h"
#include "resources/format.h"
#include "resources/game_names.h"

namespace tavelo::tools {
namespace {

using resources::ArchiveEntry;
using resources::ArchiveVersion;

// The engine's scanner stops at the same depth (and skips links to
// directories it has already scanned, as the walk below does).
constexpr int kMaxDepth = 32;

std::string hex_key(uint32_t key) { return resources::format_text("%08X", {key}); }

// What a walk carries along: every directory collected so far, by device and
// inode, so that a symbolic link back to one of them is not followed again.
struct Walk {
  const platform::TextEncoding& encoding;
  const std::string& root;
  std::vector<ArchiveSource>& sources;
  std::vector<std::string>& skipped;
  std::string& error;
  std::set<platform::FileIdentity> visited;
};

bool collect(Walk& walk, const std::string& relative, int depth) {
  const resources::LeadByteTable& lead = walk.encoding.lead_bytes();
  std::string directory = relative.empty() ? walk.root : walk.root + "/" + relative;
  std::optional<platform::FileIdentity> identity = platform::file_identity(directory);
  if (identity && !walk.visited.insert(*identity).second) {
    walk.skipped.push_back(relative);
    return true;
  }
  std::vector<platform::DirectoryItem> items;
  if (!platform::list_directory(directory, items)) {
    walk.error = "cannot read directory " + directory;
    return false;
  }
  for (const platform::DirectoryItem& item : items) {
    if (item.hidden) continue;
    std::string game_name = resources::game_name_from_disk(walk.encoding, item.name);
    std::string item_relative = relative.empty() ? item.name : relative + "/" + item.name;
    if (item.is_directory) {
      if (resources::is_skipped_directory(lead, game_name) || depth >= kMaxDepth) continue;
      if (!collect(walk, item_relative, depth + 1)) return false;
      continue;
    }
    if (resources::is_skipped_file(lead, game_name)) continue;
    walk.sources.push_back({resources::lookup_key(lead, game_name), item_relative, walk.root + "/" + item_relative});
  }
  return true;
}

bool read_range(platform::File& file, uint64_t offset, uint32_t size, std::vector<uint8_t>& bytes) {
  bytes.resize(size);
  if (size == 0) return true;
  return file.seek(offset) && file.read(bytes) == bytes.size();
}

// Empty vectors have no storage, and the C library's read and write calls
// must not be handed a null buffer even for zero bytes.
constexpr uint8_t kNoBytes[1] = {0};
std::span<const uint8_t> bytes_of(const std::vector<uint8_t>& bytes) {
  return bytes.empty() ? std::span<const uint8_t>(kNoBytes, 0) : std::span<const uint8_t>(bytes);
}

}  // namespace

bool collect_archive_sources(const platform::TextEncoding& encoding, const std::string& directory,
                             std::vector<ArchiveSource>& sources, std::vector<std::string>& skipped,
                             std::string& error) {
  Walk walk{encoding, directory, sources, skipped, error, {}};
  return collect(walk, "", 0);
}

std::map<uint32_t, std::string> names_by_key(std::span<const ArchiveSource> sources) {
  std::map<uint32_t, std::string> names;
  for (const ArchiveSource& source : sources) names.try_emplace(source.key, source.relative_path);
  return names;
}

bool lay_out_archive(ArchiveVersion version, std::span<ArchiveEntry> entries, std::string& error) {
  uint64_t records = entries.size() + (version == ArchiveVersion::V1 ? 1 : 0);
  uint64_t position = resources::kArchiveHeaderSize + records * resources::archive_record_size(version);
  for (ArchiveEntry& entry : entries) {
    if (position + entry.size > 0xFFFFFFFFull) {
      error = "the archive would be larger than 4 GiB, which its 32-bit offsets cannot address";
      return false;
    }
    entry.offset = uint32_t(position);
    position += entry.size;
  }
  return true;
}

std::vector<uint8_t> encode_archive_head(ArchiveVersion version, std::span<const ArchiveEntry> entries) {
  resources::ByteWriter writer;
  writer.append(version == ArchiveVersion::V1 ? resources::kArchiveMagicV1 : resources::kArchiveMagicV2);
  writer.i32le(int32_t(entries.size()));
  writer.u32le(0);
  writer.u32le(0);
  uint32_t end = uint32_t(resources::kArchiveHeaderSize +
                          (entries.size() + (version == ArchiveVersion::V1 ? 1 : 0)) *
                              resources::archive_record_size(version));
  for (const ArchiveEntry& entry : entries) {
    writer.u32le(entry.hash);
    writer.u32le(entry.offset);
    if (version == ArchiveVersion::V2) writer.u32le(entry.size);
    end = std::max(end, entry.offset + entry.size);
  }
  if (version == ArchiveVersion::V1) {
    writer.u32le(0);  // the sentinel's hash is never looked up
    writer.u32le(end);
  }
  return std::move(writer.bytes);
}

std::vector<uint8_t> build_archive(ArchiveVersion version, std::vector<ArchiveInput> inputs) {
  std::stable_sort(inputs.begin(), inputs.end(),
                   [](const ArchiveInput& a, const ArchiveInput& b) { return a.key < b.key; });
  std::vector<ArchiveEntry> entries;
  for (const ArchiveInput& input : inputs) entries.push_back({input.key, 0, uint32_t(input.data.size())});
  std::string ignored;
  if (!lay_out_archive(version, entries, ignored)) return {};
  std::vector<uint8_t> bytes = encode_archive_head(version, entries);
  for (const ArchiveInput& input : inputs) bytes.insert(bytes.end(), input.data.begin(), input.data.end());
  return bytes;
}

bool write_archive(ArchiveVersion version, std::vector<ArchiveSource> sources, const std::string& output_path,
                   std::string& error) {
  if (sources.empty()) {
    error = "no files to pack (the engine treats an archive without entries as damaged)";
    return false;
  }
  std::stable_sort(sources.begin(), sources.end(),
                   [](const ArchiveSource& a, const ArchiveSource& b) { return a.key < b.key; });
  std::vector<ArchiveEntry> entries;
  for (size_t i = 0; i < sources.size(); ++i) {
    if (i > 0 && sources[i].key == sources[i - 1].key) {
      error = "two files have the same lookup key " + hex_key(sources[i].key) + " (names differ only in case or "
              "directory): " + sources[i - 1].relative_path + " and " + sources[i].relative_path;
      return false;
    }
    std::optional<uint64_t> length = platform::file_length(sources[i].disk_path);
    if (!length || *length > 0xFFFFFFFFull) {
      error = "cannot read " + sources[i].disk_path;
      return false;
    }
    entries.push_back({sources[i].key, 0, uint32_t(*length)});
  }
  if (!lay_out_archive(version, entries, error)) return false;

  // Written beside the target and renamed over it when complete, so a failed
  // run never leaves a truncated archive for the engine to reject.
  std::string temporary = output_path + ".partial";
  std::optional<platform::File> out = platform::File::open(temporary, platform::OpenMode::Write);
  if (!out) {
    error = "cannot create " + temporary;
    return false;
  }
  bool ok = out->write(encode_archive_head(version, entries));
  for (size_t i = 0; ok && i < sources.size(); ++i) {
    std::optional<std::vector<uint8_t>> data = platform::read_file(sources[i].disk_path);
    if (!data || data->size() != entries[i].size) {
      error = "cannot read " + sources[i].disk_path + " (or it changed while packing)";
      ok = false;
      break;
    }
    ok = data->empty() || out->write(*data);
  }
  if (ok) ok = out->flush_to_disk();
  out->close();
  if (ok) ok = platform::rename_file(temporary, output_path);
  if (!ok) {
    if (error.empty()) error = "cannot write " + output_path;
    platform::remove_file(temporary);
  }
  return ok;
}

std::vector<std::string> verify_archive(const std::string& path) {
  std::vector<std::string> problems;
  std::optional<platform::File> file = platform::File::open(path, platform::OpenMode::Read);
  if (!file) return {"cannot open " + path};
  resources::Archive archive;
  resources::ArchiveProblem problem = resources::read_archive(*file, archive);
  if (problem != resources::ArchiveProblem::None) {
    std::string message(resources::describe_archive_problem(problem));
    if (problem == resources::ArchiveProblem::ShortIndex) {
      message += resources::format_text(" (%d entries need %llu index bytes, %llu follow the header)",
                                        {archive.header.count,
                                         (unsigned long long)resources::archive_index_size(archive.header),
                                         (unsigned long long)(file->length() - resources::kArchiveHeaderSize)});
    } else if (problem == resources::ArchiveProblem::WrongLength) {
      message += resources::format_text(" (the data ends at byte %llu, the file has %llu bytes)",
                                        {(unsigned long long)archive.data_end, (unsigned long long)file->length()});
    }
    problems.push_back(message);
    return problems;
  }
  uint64_t head_end = resources::kArchiveHeaderSize + resources::archive_index_size(archive.header);
  for (size_t i = 0; i < archive.entries.size(); ++i) {
    const ArchiveEntry& entry = archive.entries[i];
    if (i > 0 && entry.hash < archive.entries[i - 1].hash) {
      problems.push_back("the index is not sorted by hash at entry " + std::to_string(i) + " (" +
                         hex_key(entry.hash) + " follows " + hex_key(archive.entries[i - 1].hash) +
                         "): the engine's binary search will miss entries");
    } else if (i > 0 && entry.hash == archive.entries[i - 1].hash) {
      problems.push_back("two entries share the hash " + hex_key(entry.hash) + ": only one of them can be found");
    }
    if (entry.size > 0 && entry.offset < head_end) {
      problems.push_back("entry " + hex_key(entry.hash) + " starts inside the header or index");
    }
  }
  return problems;
}

bool extract_archive(const std::string& path, const std::string& directory,
                     const std::map<uint32_t, std::string>& names, std::string& error) {
  std::optional<platform::File> file = platform::File::open(path, platform::OpenMode::Read);
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  resources::Archive archive;
  resources::ArchiveProblem problem = resources::read_archive(*file, archive);
  if (problem != resources::ArchiveProblem::None) {
    error = path + " is damaged: " + std::string(resources::describe_archive_problem(problem));
    return false;
  }
  std::vector<uint8_t> data;
  for (const ArchiveEntry& entry : archive.entries) {
    auto name = names.find(entry.hash);
    std::string relative = name != names.end() ? name->second : hex_key(entry.hash) + ".bin";
    std::string target = directory + "/" + relative;
    size_t slash = target.rfind('/');
    if (!platform::make_directories(target.substr(0, slash))) {
      error = "cannot create the directory of " + target;
      return false;
    }
    if (!read_range(*file, entry.offset, entry.size, data)) {
      error = "cannot read entry " + hex_key(entry.hash);
      return false;
    }
    if (!platform::write_file_atomically(target, bytes_of(data))) {
      error = "cannot write " + target;
      return false;
    }
  }
  return true;
}

}  // namespace tavelo::tools
