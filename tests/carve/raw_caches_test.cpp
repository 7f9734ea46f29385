// Caches found by their bytes during a carving scan: a Thumbs.db at a sector
// boundary among crafted headers, and the entries of a thumbcache file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

#include "cache/raw_caches.h"
#include "cache/thumbs_reader.h"
#include "carve/carve_scan.h"
#include "tests/carve/carve_fixtures.h"

namespace glintvane {
namespace {

const std::string kCorpus = GLINTVANE_CORPUS_DIR "/real";

std::vector<uint8_t> Corpus(const std::string& name) {
  return ReadWholeFile(kCorpus + "/" + name).value_or(std::vector<uint8_t>());
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A header whose directory chain runs on through the sectors after it (each
// a header too) and never names a Catalog; with `lie`, it claims every FAT
// sector there can be and a directory that starts past any file.
std::vector<uint8_t> CraftedHeader(bool lie) {
  std::vector<uint8_t> unit(512, 0);
  const uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(signature, signature + 8, unit.begin());
  unit[26] = 3;
  unit[28] = 0xFE;
  unit[29] = 0xFF;
  unit[30] = 9;
  unit[32] = 6;
  PutU32(unit, 44, lie ? 0xFFFFFFFF : 1);
  PutU32(unit, 48, lie ? 0xFFFFFFF0 : 19);
  PutU32(unit, 56, 4096);
  PutU32(unit, 64, 0x00050000);  // byte 66: a root storage's type
  for (uint32_t i = 19; i < 128; ++i) PutU32(unit, 4 * i, i + 1);
  return unit;
}

struct Scanned {
  ThumbnailList list;
  ErrorList errors;
  CarveResult result;
};

void Scan(Scanned& out, const std::vector<uint8_t>& bytes, CarveKinds kinds) {
  const UiTexts texts;
  CarveTarget target{out.list, out.errors, texts};
  target.kinds = kinds;
  target.caches = true;
  out.result = ScanBytesForImages(bytes, "raw.bin", target);
}

TEST(RawCaches, FindsTheThumbsDbAtASectorBoundaryAmongCraftedHeaders) {
  const std::vector<uint8_t> cache = Corpus("006-oldcode-Thumbs.db");
  if (cache.empty()) GTEST_SKIP() << "corpus not present";
  // 128 crafted headers (every eighth lies about its FAT and directory),
  // the cache, a copy of it one byte off a boundary, and noise.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 128; ++i) {
    const std::vector<uint8_t> unit = CraftedHeader(i % 8 == 0);
    bytes.insert(bytes.end(), unit.begin(), unit.end());
  }
  const size_t at = bytes.size();
  bytes.insert(bytes.end(), cache.begin(), cache.end());
  bytes.resize(bytes.size() + 1001, 0x55);
  bytes.insert(bytes.end(), cache.begin(), cache.end());
  bytes.resize(bytes.size() + 3000, 0x55);

  Scanned scanned;
  Scan(scanned, bytes, CarveKinds::All());
  ASSERT_TRUE(scanned.result.finished);
  ASSERT_EQ(scanned.result.thumbs_dbs.size(), 1u);
  const RawThumbsDb& found = scanned.result.thumbs_dbs.front();
  EXPECT_EQ(found.offset, at);
  EXPECT_TRUE(found.complete()) << found.measure.Text();
  EXPECT_LE(found.length(), cache.size());
  EXPECT_GE(found.length(), cache.size() - 512);

  // Read through its window, it gives the rows the file gives.
  const UiTexts texts;
  MemoryByteSource all(bytes), alone(cache);
  WindowByteSource window(all, found.offset, found.window);
  ThumbnailList from_window, from_file;
  ImageStore store_window, store_file;
  ErrorList errors;
  EXPECT_TRUE(ReadThumbnailCache(window, "w", {from_window, store_window, errors, texts}).ok);
  EXPECT_TRUE(ReadThumbnailCache(alone, "f", {from_file, store_file, errors, texts}).ok);
  ASSERT_EQ(from_window.size(), from_file.size());
  for (size_t i = 0; i < from_file.size(); ++i) {
    EXPECT_EQ(from_window[i].name, from_file[i].name);
    EXPECT_TRUE(std::ranges::equal(store_window.View(from_window[i].start, from_window[i].length),
                                   store_file.View(from_file[i].start, from_file[i].length)));
  }

  // Its window cut inside it: found, and cut short.
  Scanned cut;
  const UiTexts cut_texts;
  CarveTarget target{cut.list, cut.errors, cut_texts};
  target.kinds = CarveKinds();
  target.caches = true;
  target.run_end = [&](uint64_t) { return at + cache.size() / 2; };
  cut.result = ScanBytesForImages(bytes, "raw.bin", target);
  ASSERT_EQ(cut.result.thumbs_dbs.size(), 1u);
  EXPECT_FALSE(cut.result.thumbs_dbs.front().complete());
  EXPECT_FALSE(cut.result.thumbs_dbs.front().measure.past_the_end.empty());
}

TEST(RawCaches, ThumbcacheEntriesAnywhereBecomeRecoveredRowsWithTheirHashes) {
  const std::vector<uint8_t> cache = Corpus("thumbcache/win7-a/thumbcache_32.db");
  if (cache.empty()) GTEST_SKIP() << "corpus not present";
  const UiTexts texts;
  MemoryByteSource alone(cache);
  ThumbnailList truth;
  ImageStore store;
  ErrorList errors;
  ReadThumbnailCache(alone, "thumbcache_32.db", {truth, store, errors, texts});
  std::map<std::string, std::vector<uint8_t>> pictures;  // by hash
  for (size_t i = 0; i < truth.size(); ++i) {
    const ThumbnailRow& row = truth[i];
    if (row.length == 0 || row.recovered) continue;
    const auto view = store.View(row.start, row.length);
    pictures[row.key].assign(view.begin(), view.end());
  }
  ASSERT_FALSE(pictures.empty());

  std::vector<uint8_t> bytes(1001, 0x43);  // "C"s: no entry starts in them
  const size_t at = bytes.size();
  bytes.insert(bytes.end(), cache.begin(), cache.end());
  bytes.resize(bytes.size() + 777, 0);
  Scanned scanned;
  Scan(scanned, bytes, CarveKinds());
  EXPECT_EQ(scanned.result.thumbcache_rows, scanned.list.size());
  size_t matched = 0;
  for (size_t i = 0; i < scanned.list.size(); ++i) {
    const ThumbnailRow& row = scanned.list[i];
    EXPECT_TRUE(row.thumbcache && row.recovered && row.carved && row.checksum_ok);
    EXPECT_GE(row.entry_offset, at);
    const auto truth_picture = pictures.find(row.key);
    if (truth_picture == pictures.end() || row.length == 0) continue;
    ++matched;
    const auto start = static_cast<size_t>(row.start);
    EXPECT_TRUE(std::equal(truth_picture->second.begin(), truth_picture->second.end(),
                           bytes.begin() + static_cast<ptrdiff_t>(start),
                           bytes.begin() + static_cast<ptrdiff_t>(start + row.length)))
        << row.key;
  }
  EXPECT_EQ(matched, pictures.size());
}

}  // namespace
}  // namespace glintvane
