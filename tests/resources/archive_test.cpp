// Archive parsing: round trips through the writer, and damaged images that
// must be refused without reading outside the bytes given.

#include "resources/archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/byte_reader.h"
#include "resources/name_hash.h"
#include "tools/archive/archive_tool.h"

namespace tavelo::resources {
namespace {

std::vector<uint8_t> bytes_of(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> sample_archive(ArchiveVersion version) {
  return tools::build_archive(version, {
                                           {name_hash("b.png"), bytes_of("bee")},
                                           {name_hash("a.png"), bytes_of("a")},
                                           {name_hash("empty.dat"), {}},
                                           // Around the sign bit: the search must compare unsigned.
                                           {0x80000000u, bytes_of("high")},
                                           {0x7FFFFFFFu, bytes_of("low")},
                                       });
}

TEST(Archive, both_versions_round_trip_through_the_writer) {
  for (ArchiveVersion version : {ArchiveVersion::V1, ArchiveVersion::V2}) {
    SCOPED_TRACE(version == ArchiveVersion::V1 ? "v1" : "v2");
    std::vector<uint8_t> image = sample_archive(version);
    Archive archive;
    ASSERT_EQ(parse_archive(image, archive), ArchiveProblem::None);
    EXPECT_EQ(archive.header.version, version);
    ASSERT_EQ(archive.entries.size(), 5u);
    EXPECT_EQ(archive.data_end, image.size());
    struct Expectation {
      uint32_t hash;
      std::string_view data;
    };
    for (Expectation expected : {Expectation{name_hash("a.png"), "a"}, Expectation{name_hash("b.png"), "bee"},
                                 Expectation{name_hash("empty.dat"), ""}, Expectation{0x80000000u, "high"},
                                 Expectation{0x7FFFFFFFu, "low"}}) {
      const ArchiveEntry* entry = find_archive_entry(archive.entries, expected.hash);
      ASSERT_NE(entry, nullptr) << std::hex << expected.hash;
      std::string data(image.begin() + entry->offset, image.begin() + entry->offset + entry->size);
      EXPECT_EQ(data, expected.data);
    }
    EXPECT_EQ(find_archive_entry(archive.entries, name_hash("missing.png")), nullptr);
  }
}

// Builds a header with an arbitrary count, followed by raw index bytes.
std::vector<uint8_t> raw_archive(std::string_view magic, int32_t count, std::vector<uint32_t> words,
                                 size_t padding = 0) {
  ByteWriter writer;
  writer.append(magic);
  writer.i32le(count);
  writer.u32le(0);
  writer.u32le(0);
  for (uint32_t word : words) writer.u32le(word);
  writer.bytes.resize(writer.bytes.size() + padding, 'x');
  return writer.bytes;
}

TEST(Archive, damaged_images_are_refused) {
  std::vector<uint8_t> v1 = sample_archive(ArchiveVersion::V1);
  std::vector<uint8_t> v2 = sample_archive(ArchiveVersion::V2);
  std::vector<uint8_t> v1_short(v1.begin(), v1.end() - 1);
  std::vector<uint8_t> v1_long = v1;
  v1_long.push_back(0);
  std::vector<uint8_t> v2_short(v2.begin(), v2.end() - 1);
  std::vector<uint8_t> v2_long = v2;
  v2_long.push_back(0);
  std::vector<uint8_t> bad_magic = v2;
  bad_magic[14] = '1';  // "TaveloArcV2.001"
  std::vector<uint8_t> no_nul = v2;
  no_nul[15] = ' ';  // the NUL after the magic is part of it

  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    ArchiveProblem expected;
  };
  std::vector<Case> cases = {
      {"empty file", {}, ArchiveProblem::ShortHeader},
      {"27-byte header", std::vector<uint8_t>(v2.begin(), v2.begin() + 27), ArchiveProblem::ShortHeader},
      {"v1 one byte short", v1_short, ArchiveProblem::WrongLength},
      {"v1 one byte long", v1_long, ArchiveProblem::WrongLength},
      {"v2 one byte short", v2_short, ArchiveProblem::WrongLength},
      {"v2 one byte long", v2_long, ArchiveProblem::WrongLength},
      {"bad magic", bad_magic, ArchiveProblem::BadMagic},
      {"magic without its NUL", no_nul, ArchiveProblem::BadMagic},
      {"count 0", raw_archive(kArchiveMagicV2, 0, {}), ArchiveProblem::BadCount},
      {"count 0 (v1, sentinel only)", raw_archive(kArchiveMagicV1, 0, {0, 36}), ArchiveProblem::BadCount},
      {"negative count", raw_archive(kArchiveMagicV2, -1, {1, 40, 0}), ArchiveProblem::BadCount},
      {"index cut short", raw_archive(kArchiveMagicV2, 2, {1, 52, 0, 2}), ArchiveProblem::ShortIndex},
      {"v1 sentinel missing", raw_archive(kArchiveMagicV1, 1, {1, 36}), ArchiveProblem::ShortIndex},
      // 0x7FFFFFFF records would be 24 GiB: refused before any allocation.
      {"huge count", raw_archive(kArchiveMagicV2, 0x7FFFFFFF, {1, 40, 0}), ArchiveProblem::ShortIndex},
      {"v1 offsets running backwards", raw_archive(kArchiveMagicV1, 2, {1, 50, 2, 44, 0, 52}, 8),
       ArchiveProblem::BadOffsets},
      // offset + size overflows 32 bits; computed in 64 it lies past the file.
      {"v2 entry wrapping past 4 GiB", raw_archive(kArchiveMagicV2, 1, {1, 0xFFFFFFF0u, 0x20}, 4),
       ArchiveProblem::WrongLength},
      {"v2 data ending at 0", raw_archive(kArchiveMagicV2, 1, {1, 0, 0}), ArchiveProblem::WrongLength},
  };
  for (const Case& c : cases) {
    Archive archive;
    EXPECT_EQ(parse_archive(c.image, archive), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace tavelo::resources
