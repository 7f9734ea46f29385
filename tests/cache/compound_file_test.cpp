// The container checks, stream reading and the guards against
// hostile files, on compound files built by the test writer.
#include "cache/compound_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <numeric>

#include "base/error_codes.h"
#include "tests/cache/cache_test_util.h"
#include "testsupport/cfb_writer.h"
#include "testsupport/heap_meter/heap_meter.h"
#include "testsupport/synthetic_pictures.h"
#include "testsupport/thumbs_fixtures.h"

namespace glintvane {
namespace {

using testing::ReadBytes;
using testsupport::BuildCompoundFile;
using testsupport::CfbEntry;
using testsupport::CfbFile;
using testsupport::CfbOptions;
using testsupport::Placement;

// A valid thumbnail stream, for files that go through the Thumbs.db layer.
std::vector<uint8_t> Thumb(int seed = 1) {
  return testsupport::MakeJfifThumbStream(testsupport::MakeJpeg(8, 8, seed));
}

std::vector<uint8_t> Bytes(size_t n, uint8_t seed = 1) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return v;
}

struct Walked {
  std::vector<DirectoryEntry> entries;
  std::vector<std::vector<uint8_t>> streams;
  ReadError error;
  bool ok = false;
};

// Runs the container phases and reads every stream.
Walked Walk(const std::vector<uint8_t>& bytes) {
  Walked out;
  MemoryByteSource source(bytes);
  PagedReader reader(source);
  CompoundFile file(reader);
  ReadResult<void> r = file.CheckHeader();
  if (r) r = file.ReadHeaderFatList();
  if (r) r = file.ReadDifatChain();
  if (r) r = file.ListMiniFat();
  if (r) r = file.ListMiniStream();
  if (r) {
    r = file.WalkDirectory([&](const DirectoryEntry& e) -> ReadResult<void> {
      out.entries.push_back(e);
      out.streams.emplace_back();
      if (e.type == cfb::kTypeStream) return file.ReadStream(e, out.streams.back());
      return {};
    });
  }
  out.ok = r.has_value();
  if (!r) out.error = r.error();
  return out;
}

std::vector<std::string> Names(const Walked& w) {
  std::vector<std::string> names;
  for (const auto& e : w.entries) {
    if (e.type == cfb::kTypeStream) names.push_back(e.name);
  }
  return names;
}

std::vector<uint8_t> MinimalHeader(size_t size) {
  std::vector<uint8_t> bytes(size, 0);
  const uint8_t sig[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(sig), std::end(sig), bytes.begin());
  if (size > 31) bytes[30] = 9;
  return bytes;
}

TEST(CompoundFileTest, ReadsMiniAndRegularStreamsWhole) {
  const auto small = Bytes(4095, 3);
  const auto large = Bytes(4096, 5);
  const auto tiny = Bytes(1, 9);
  CfbFile f = BuildCompoundFile(
      {{.name = "a", .bytes = small}, {.name = "b", .bytes = large}, {.name = "c", .bytes = tiny}});
  EXPECT_TRUE(f.in_mini[1]);
  EXPECT_FALSE(f.in_mini[2]);
  const Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok) << w.error.detail;
  ASSERT_EQ(Names(w), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(w.streams[1], small);
  EXPECT_EQ(w.streams[2], large);
  EXPECT_EQ(w.streams[3], tiny);
  EXPECT_EQ(w.entries[0].type, cfb::kTypeRoot);
}

TEST(CompoundFileTest, SizeEndsTheReadBeforeTheChain) {
  // 192 bytes written (three mini sectors), 100 declared: exactly 100 bytes.
  const auto data = Bytes(192);
  CfbFile f = BuildCompoundFile({{.name = "s", .bytes = data, .declared_size = 100}});
  const Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.streams[1], std::vector<uint8_t>(data.begin(), data.begin() + 100));
}

TEST(CompoundFileTest, ShortChainReadsShortWithoutComplaint) {
  // One mini sector in the chain, 100 declared: 64 bytes.
  const auto data = Bytes(64);
  CfbFile f = BuildCompoundFile({{.name = "s", .bytes = data, .declared_size = 100}});
  Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.streams[1], data);
  // The same for ordinary sectors: one sector, 5000 declared.
  const auto big = Bytes(512);
  CfbFile g = BuildCompoundFile(
      {{.name = "r", .bytes = big, .placement = Placement::kRegular, .declared_size = 5000}});
  w = Walk(g.bytes);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.streams[1], big);
}

TEST(CompoundFileTest, SkipsLongNameLengthsStoragesAndEmptySlots) {
  CfbFile f = BuildCompoundFile({{.name = "one", .bytes = Bytes(10)},
                                 {.name = "two", .bytes = Bytes(10), .name_length = 130},
                                 {.name = "store", .type = 1},
                                 {.name = "", .type = 0},
                                 {.name = "three", .bytes = Bytes(10)}});
  const Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(Names(w), (std::vector<std::string>{"one", "three"}));
}

TEST(CompoundFileTest, NameLengthBelowTwoGivesAnEmptyName) {
  CfbFile f = BuildCompoundFile({{.name = "x", .bytes = Bytes(10), .name_length = 1}});
  const Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(Names(w), (std::vector<std::string>{""}));
}

TEST(CompoundFileTest, WalksEntriesInStorageOrderNotTreeOrder) {
  CfbFile f = BuildCompoundFile({{.name = "zz", .bytes = Bytes(5)},
                                 {.name = "Catalog", .bytes = Bytes(5)},
                                 {.name = "a", .bytes = Bytes(5)}});
  const Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(Names(w), (std::vector<std::string>{"zz", "Catalog", "a"}));
}

TEST(CompoundFileTest, PartialDirectorySectorGivesItsWholeSlotsThenTheChainGoesOn) {
  std::vector<CfbEntry> entries;
  for (int i = 1; i <= 11; ++i)
    entries.push_back({.name = "s" + std::to_string(i), .bytes = Bytes(20)});
  CfbFile f = BuildCompoundFile(entries);
  ASSERT_EQ(f.directory_sectors.size(), 3u);
  // Move the second directory sector to a new last sector, cut after 300
  // bytes: its slots 0 and 1 fit, slot 2 does not.
  const int32_t moved = static_cast<int32_t>((f.bytes.size() - 512) / 512);
  std::vector<uint8_t> copy(f.bytes.begin() + CfbFile::SectorOffset(f.directory_sectors[1]),
                            f.bytes.begin() + CfbFile::SectorOffset(f.directory_sectors[1]) + 512);
  f.bytes.insert(f.bytes.end(), copy.begin(), copy.begin() + 300);
  f.SetFatEntry(f.directory_sectors[0], moved);
  f.SetFatEntry(moved, f.directory_sectors[2]);
  const Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok) << w.error.detail;
  EXPECT_EQ(Names(w),
            (std::vector<std::string>{"s1", "s2", "s3", "s4", "s5", "s8", "s9", "s10", "s11"}));
}

TEST(CompoundFileTest, SignatureWithLastByteWrongIs501) {
  CfbFile f = BuildCompoundFile({{.name = "a", .bytes = Bytes(10)}});
  f.bytes[7] = 0xE0;
  const auto out = ReadBytes(f.bytes);
  EXPECT_FALSE(out.result.ok);
  EXPECT_EQ(out.result.error_code, kErrSignature);
  EXPECT_EQ(
      out.errors.Lines(testing::EnglishTexts()),
      (std::vector<std::string>{"Fatal error!", "/cases/Thumbs.db",
                                "Details: header signature error", std::string(kErrorSeparator)}));
}

TEST(CompoundFileTest, MinimumSizeIs1536Bytes) {
  auto out = ReadBytes(MinimalHeader(1535));
  EXPECT_EQ(out.result.error_code, kErrTooSmall);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2],
            "Details: Document is corrupt - size is too small");
  out = ReadBytes(MinimalHeader(1536));
  EXPECT_NE(out.result.error_code, kErrTooSmall);
  // A header cut short is too small as well (and nothing is read past it).
  EXPECT_EQ(ReadBytes(MinimalHeader(20)).result.error_code, kErrTooSmall);
}

TEST(CompoundFileTest, FileShorterThanTheSignatureIsAReadError) {
  const auto out = ReadBytes({0xD0, 0xCF, 0x11});
  EXPECT_EQ(out.result.error_code, kErrPlatform);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts()).size(), 4u);
}

TEST(CompoundFileTest, OtherSectorSizesAreRefusedWithTheirOwnCode) {
  CfbFile f =
      BuildCompoundFile({{.name = "a", .bytes = Bytes(10)}}, CfbOptions{.sector_shift = 12});
  const auto out = ReadBytes(f.bytes);
  EXPECT_FALSE(out.result.ok);
  EXPECT_EQ(out.result.error_code, kErrSectorSize);
  ASSERT_EQ(out.errors.Lines(testing::EnglishTexts()).size(), 4u);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2],
            "Details: sector size 4096 bytes (sector shift 12); only files with 512-byte sectors "
            "can be read");
}

TEST(CompoundFileTest, LengthNotAMultipleOf512IsAWarningOnly) {
  CfbFile f = BuildCompoundFile({{.name = "1", .bytes = Thumb()}});
  f.bytes.resize(f.bytes.size() + 100, 0);
  const auto out = ReadBytes(f.bytes);
  EXPECT_TRUE(out.result.ok);
  EXPECT_EQ(out.result.error_code, 0);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts()),
            (std::vector<std::string>{"Warning!", "/cases/Thumbs.db",
                                      "Details: file length non multiple 512",
                                      std::string(kErrorSeparator)}));
}

TEST(CompoundFileTest, DifatCarriesFatSectorsPastTheHeader) {
  std::vector<CfbEntry> entries;
  for (int i = 0; i < 6; ++i)
    entries.push_back({.name = "s" + std::to_string(i), .bytes = Bytes(5000 + i)});
  CfbFile f = BuildCompoundFile(entries, CfbOptions{.min_fat_sectors = 300});
  ASSERT_EQ(f.difat_sectors.size(), 2u);
  const Walked w = Walk(f.bytes);
  ASSERT_TRUE(w.ok) << w.error.detail;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(w.streams[i + 1], entries[i].bytes);
}

TEST(CompoundFileTest, DifatChainThatLoopsEndsTheRead) {
  CfbFile f =
      BuildCompoundFile({{.name = "a", .bytes = Bytes(10)}}, CfbOptions{.min_fat_sectors = 300});
  ASSERT_EQ(f.difat_sectors.size(), 2u);
  f.PutU32(CfbFile::SectorOffset(f.difat_sectors[0]) + 508,
           static_cast<uint32_t>(f.difat_sectors[0]));
  const Walked w = Walk(f.bytes);
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(w.error.code, kErrChainLoop);
}

TEST(CompoundFileTest, DifatSectorOutsideTheFileEndsTheRead) {
  CfbFile f =
      BuildCompoundFile({{.name = "a", .bytes = Bytes(10)}}, CfbOptions{.min_fat_sectors = 300});
  f.PutU32(CfbFile::SectorOffset(f.difat_sectors[0]) + 508, 0x00FFFFFF);
  EXPECT_EQ(Walk(f.bytes).error.code, kErrSectorOutsideFile);
  f.PutU32(CfbFile::SectorOffset(f.difat_sectors[0]) + 508, static_cast<uint32_t>(-2));
  EXPECT_EQ(Walk(f.bytes).error.code, kErrSectorOutsideFile);
}

TEST(CompoundFileTest, FatCountTheFileCannotHoldEndsTheRead) {
  CfbFile f = BuildCompoundFile({{.name = "a", .bytes = Bytes(10)}});
  f.PutU32(44, 0x7FFFFFFF);
  const auto out = ReadBytes(f.bytes);
  EXPECT_EQ(out.result.error_code, kErrFatCountTooLarge);
  EXPECT_NE(out.errors.Lines(testing::EnglishTexts())[2].find("2147483647 FAT sectors"),
            std::string::npos);
  f.PutU32(44, 0xFFFFFFFF);
  EXPECT_EQ(ReadBytes(f.bytes).result.error_code, kErrFatCountTooLarge);
}

TEST(CompoundFileTest, DirectoryChainThatLoopsEndsTheRead) {
  std::vector<CfbEntry> entries;
  for (int i = 0; i < 8; ++i) entries.push_back({.name = std::to_string(i), .bytes = Thumb(i)});
  CfbFile f = BuildCompoundFile(entries);
  f.SetFatEntry(f.directory_sectors.back(), f.directory_sectors.front());
  const auto out = ReadBytes(f.bytes);
  EXPECT_EQ(out.result.error_code, kErrChainLoop);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2],
            "Details: the directory chain comes back to sector " +
                std::to_string(f.directory_sectors.front()));
  // A directory sector that points at itself, too.
  CfbFile g = BuildCompoundFile({{.name = "1", .bytes = Thumb()}});
  g.SetFatEntry(g.directory_sectors[0], g.directory_sectors[0]);
  EXPECT_EQ(ReadBytes(g.bytes).result.error_code, kErrChainLoop);
}

TEST(CompoundFileTest, StreamChainThatLoopsEndsTheRead) {
  CfbFile f = BuildCompoundFile({{.name = "r", .bytes = Bytes(5000)}});
  const auto chain = f.ChainOf(1);
  ASSERT_GE(chain.size(), 2u);
  f.SetFatEntry(chain[1], chain[0]);
  f.PutU32(f.EntryOffset(1) + 120, 0x7FFFFFFF);  // a size that would read on for ever
  Walked w = Walk(f.bytes);
  EXPECT_EQ(w.error.code, kErrChainLoop);

  CfbFile g = BuildCompoundFile({{.name = "m", .bytes = Bytes(300)}});
  const auto mini = g.ChainOf(1);
  g.SetMiniFatEntry(mini[2], mini[0]);
  g.PutU32(g.EntryOffset(1) + 120, 4000);
  w = Walk(g.bytes);
  EXPECT_EQ(w.error.code, kErrChainLoop);
}

TEST(CompoundFileTest, MiniFatAndMiniStreamChainsThatLoopEndTheRead) {
  std::vector<CfbEntry> entries;
  for (int i = 0; i < 40; ++i)
    entries.push_back({.name = "m" + std::to_string(i), .bytes = Bytes(1000)});
  CfbFile f = BuildCompoundFile(entries);
  ASSERT_GE(f.mini_fat_sectors.size(), 2u);
  ASSERT_GE(f.mini_stream_sectors.size(), 2u);
  CfbFile a = f;
  a.SetFatEntry(a.mini_fat_sectors.back(), a.mini_fat_sectors.front());
  EXPECT_EQ(Walk(a.bytes).error.code, kErrChainLoop);
  CfbFile b = f;
  b.SetFatEntry(b.mini_stream_sectors.back(), b.mini_stream_sectors.front());
  EXPECT_EQ(Walk(b.bytes).error.code, kErrChainLoop);
}

TEST(CompoundFileTest, SectorOutsideItsListEndsTheRead) {
  // A chain step to a sector that no FAT sector covers.
  CfbFile f = BuildCompoundFile({{.name = "r", .bytes = Bytes(5000)}});
  f.SetFatEntry(f.ChainOf(1)[0], 128 * static_cast<int32_t>(f.fat_sectors.size()) + 5);
  Walked w = Walk(f.bytes);
  EXPECT_EQ(w.error.code, kErrSectorOutsideFile);  // the sector itself lies past the end
  // A free (-1) entry in the middle of a chain: no table entry for it.
  CfbFile g = BuildCompoundFile({{.name = "r", .bytes = Bytes(5000)}});
  g.SetFatEntry(g.ChainOf(1)[0], -1);
  w = Walk(g.bytes);
  EXPECT_EQ(w.error.code, kErrSectorOutsideFile);
  // A mini sector beyond the mini stream.
  CfbFile h = BuildCompoundFile({{.name = "m", .bytes = Bytes(300)}});
  h.SetMiniFatEntry(h.ChainOf(1)[0], 1000);
  w = Walk(h.bytes);
  EXPECT_EQ(w.error.code, kErrSectorOutsideList);
  // A directory sector whose number has no FAT entry.
  CfbFile k = BuildCompoundFile({{.name = "a", .bytes = Bytes(10)}});
  k.SetFatEntry(k.directory_sectors[0], 100000);
  w = Walk(k.bytes);
  EXPECT_EQ(w.error.code, kErrSectorOutsideList);
  EXPECT_EQ(w.error.detail, "sector 100000 has no entry in the FAT (1 FAT sectors)");
}

TEST(CompoundFileTest, NegativeFatSectorIs1500AndEntryOutsideIs1502) {
  CfbFile f = BuildCompoundFile({{.name = "a", .bytes = Bytes(10)}});
  f.PutU32(76, static_cast<uint32_t>(-1));
  auto out = ReadBytes(f.bytes);
  EXPECT_EQ(out.result.error_code, kErrNegativeTableSector);
  // The generic entry without a details line.
  EXPECT_EQ(
      out.errors.Lines(testing::EnglishTexts()),
      (std::vector<std::string>{"Fatal error!", "/cases/Thumbs.db", std::string(kErrorSeparator)}));
  f.PutU32(76, 100000);
  out = ReadBytes(f.bytes);
  EXPECT_EQ(out.result.error_code, kErrTableEntryOutside);
  // Said with the sector: a FAT of one sector cannot name sector 100000, so
  // this is damage, not a file cut short.
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2],
            "Details: FAT sector 100000, which holds the entry of sector 2, lies past the end of "
            "the file (" +
                std::to_string(f.bytes.size()) + " bytes)");
  EXPECT_FALSE(out.result.cut_short);
}

TEST(CompoundFileTest, StreamSectorPastTheEndOfTheFileEndsTheRead) {
  CfbFile f = BuildCompoundFile({{.name = "r", .bytes = Bytes(5000)}});
  f.bytes.erase(f.bytes.end() - 1024, f.bytes.end());
  const Walked w = Walk(f.bytes);
  EXPECT_EQ(w.error.code, kErrSectorOutsideFile);
}

TEST(CompoundFileTest, RootEntryWithoutMiniStreamIsFine) {
  CfbFile f = BuildCompoundFile({});
  const auto out = ReadBytes(f.bytes);
  EXPECT_TRUE(out.result.ok);
  EXPECT_TRUE(out.list.empty());
}

TEST(CompoundFileTest, EveryTruncationFailsCleanly) {
  std::vector<CfbEntry> entries = {{.name = "m", .bytes = Bytes(700)},
                                   {.name = "r", .bytes = Bytes(6000)}};
  const CfbFile f = BuildCompoundFile(entries);
  for (size_t n = 0; n < f.bytes.size(); n += 37) {
    const std::vector<uint8_t> cut(f.bytes.begin(), f.bytes.begin() + n);
    const auto out = ReadBytes(cut);
    if (!out.result.ok) {
      EXPECT_GE(out.errors.Lines(testing::EnglishTexts()).size(), 3u);
    }
  }
}

TEST(CompoundFileTest, RandomCorruptionNeverReadsOutsideOrRunsOn) {
  std::vector<CfbEntry> entries;
  for (int i = 0; i < 12; ++i)
    entries.push_back({.name = std::to_string(i), .bytes = Bytes(300 + 900 * i)});
  const CfbFile f = BuildCompoundFile(entries, CfbOptions{.min_fat_sectors = 112});
  uint32_t state = 12345;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = f.bytes;
    for (int k = 0; k < 8; ++k) {
      state = state * 1103515245 + 12345;
      const size_t at = (state >> 8) % bytes.size();
      state = state * 1103515245 + 12345;
      bytes[at] = static_cast<uint8_t>(state >> 16);
    }
    const auto out = ReadBytes(bytes);
    EXPECT_TRUE(out.result.ok || !out.errors.empty());
  }
}

TEST(CompoundFileTest, SectorsBelongToOneStreamSoSharedStreamsCostNoMemory) {
  // Hundreds of directory entries pointing at one 1 MB stream: each would
  // read and store the whole megabyte again.
  constexpr int kSharers = 400;
  std::vector<CfbEntry> entries = {
      {.name = "1", .bytes = testsupport::MakeJfifThumbStream(Bytes(1 << 20))}};
  entries[0].bytes[12] = 0xFF;  // a JFIF start, so the stream is stored
  entries[0].bytes[13] = 0xD8;
  entries[0].bytes[14] = 0xFF;
  entries[0].bytes[15] = 0xE0;
  entries[0].bytes.end()[-2] = 0xFF;
  entries[0].bytes.end()[-1] = 0xD9;
  for (int i = 0; i < kSharers; ++i) entries.push_back({.name = "x" + std::to_string(i)});
  // And two mini streams sharing their first mini sector.
  entries.push_back({.name = "m1", .bytes = Bytes(200)});
  entries.push_back({.name = "m2", .bytes = Bytes(200)});
  CfbFile f = BuildCompoundFile(entries);
  const uint32_t size = f.GetU32(f.EntryOffset(1) + 120);
  for (int i = 0; i < kSharers; ++i) {
    f.PutU32(f.EntryOffset(2 + i) + 116, static_cast<uint32_t>(f.starts[1]));
    f.PutU32(f.EntryOffset(2 + i) + 120, size);
  }
  f.PutU32(f.EntryOffset(kSharers + 3) + 116, static_cast<uint32_t>(f.starts[kSharers + 2]));

  testsupport::ResetPeakHeapBytes();
  const size_t before = testsupport::LiveHeapBytes();
  const auto out = ReadBytes(f.bytes);
  EXPECT_LT(testsupport::PeakHeapBytes() - before, 2 * f.bytes.size() + (4u << 20));
  EXPECT_FALSE(out.result.ok);
  EXPECT_EQ(out.result.error_code, kErrSectorShared);
  EXPECT_EQ(out.store.size(), static_cast<int64_t>(size - 12));
  // Each second claim has its own entry and row; the first stream is whole
  // ("m1", no thumbnail, has a row with its own error).
  ASSERT_EQ(out.list.size(), static_cast<size_t>(kSharers + 3));
  EXPECT_EQ(out.list[0].error, 0);
  EXPECT_EQ(out.list[1].error, kErrSectorShared);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2], "Details: stream \"x0\" names sector " +
                                                              std::to_string(f.starts[1]) +
                                                              ", which an earlier stream holds");
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts()).end()[-2],
            "Details: stream \"m2\" names mini sector " + std::to_string(f.starts[kSharers + 2]) +
                ", which an earlier stream holds");
  // A chain that comes back to its own sector is still a loop, not a share.
  CfbFile g = BuildCompoundFile({{.name = "r", .bytes = Bytes(5000)}});
  const auto chain = g.ChainOf(1);
  g.SetFatEntry(chain[1], chain[0]);
  EXPECT_EQ(Walk(g.bytes).error.code, kErrChainLoop);
}

TEST(CompoundFileTest, LyingFatCountOfAHugeSparseFileIsRefusedInLittleMemory) {
  // A 5 GiB file of holes whose header claims (nearly) every sector as FAT.
  char path[] = "/tmp/glintvane-sparse-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const uint64_t length = 5ull << 30;
  const uint64_t sectors = (length - 512) / 512;
  std::vector<uint8_t> header = MinimalHeader(512);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) header[at + k] = static_cast<uint8_t>(v >> (8 * k));
  };
  put32(48, 1);  // directory in sector 1
  put32(68, 0);  // DIFAT from sector 0, a sector of zeros
  for (const uint64_t claim : {sectors, sectors - (sectors - 109 + 126) / 127}) {
    put32(44, static_cast<uint32_t>(claim));
    ASSERT_EQ(pwrite(fd, header.data(), header.size(), 0), 512);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(length)), 0);
    testsupport::ResetPeakHeapBytes();
    const size_t before = testsupport::LiveHeapBytes();
    const auto out = testing::ReadPath(path);
    EXPECT_FALSE(out.result.ok);
    EXPECT_LT(testsupport::PeakHeapBytes() - before, 64u << 20) << claim;
  }
  close(fd);
  unlink(path);
}

}  // namespace
}  // namespace glintvane
