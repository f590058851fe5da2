#pragma once
// The archive tool's library: building archives from directory trees with the
// engine's own scanning rules and lookup keys, and listing, extracting and
// verifying archives with the engine's own parser. tools/tvarc is its command
// line; tests and fuzz seeds use the same code.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "resources/archive.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::tools {

// One file of a directory tree, keyed as the engine would find it.
struct ArchiveSource {
  uint32_t key = 0;
  std::string relative_path;  // UTF-8, `/` separators, as on disk
  std::string disk_path;      // host path of the file
};

// Walks a tree, skipping what the engine's directory scanner skips (hidden
// items, tool folders, program and text extensions, and directories reached a
// second time through symbolic links, whose relative paths go to skipped).
// False when the directory cannot be read.
[[nodiscard]] bool collect_archive_sources(const platform::TextEncoding& encoding, const std::string& directory,
                                           std::vector<ArchiveSource>& sources, std::vector<std::string>& skipped,
                                           std::string& error);

// Key -> relative path of the first file with that key, for naming entries.
std::map<uint32_t, std::string> names_by_key(std::span<const ArchiveSource> sources);

// Gives sorted entries (hash and size set) their offsets, the data following
// the index in index order. False when the archive would not fit the 32-bit
// offsets of the format.
[[nodiscard]] bool lay_out_archive(resources::ArchiveVersion version, std::span<resources::ArchiveEntry> entries,
                                   std::string& error);

// Header and index bytes for laid-out entries. The two header fields the
// engine ignores are written as 0.
std::vector<uint8_t> encode_archive_head(resources::ArchiveVersion version,
                                         std::span<const resources::ArchiveEntry> entries);

struct ArchiveInput {
  uint32_t key = 0;
  std::vector<uint8_t> data;
};
// A whole archive in memory (tests, fuzz seeds). Inputs are sorted by key.
// Duplicate keys are kept (the engine finds one of them).
std::vector<uint8_t> build_archive(resources::ArchiveVersion version, std::vector<ArchiveInput> inputs);

// Writes an archive of the sources, sorted by key (unsigned ascending), to
// output_path, replacing it only when complete. Two sources with one key are
// an error naming both files.
[[nodiscard]] bool write_archive(resources::ArchiveVersion version, std::vector<ArchiveSource> sources,
                                 const std::string& output_path, std::string& error);

// Everything wrong with an archive file: the engine's loading checks plus the
// rules writers must keep (sorted index, unique hashes, data after the index).
// Empty when the archive is sound.
std::vector<std::string> verify_archive(const std::string& path);

// Extracts every entry into directory, named from names (else XXXXXXXX.bin).
[[nodiscard]] bool extract_archive(const std::string& path, const std::string& directory,
                                   const std::map<uint32_t, std::string>& names, std::string& error);

}  // namespace tavelo::tools
