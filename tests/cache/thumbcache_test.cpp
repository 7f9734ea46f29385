// thumbcache_*.db (Windows Vista to 11): the real caches of the corpus, and
// hand-built ones for the header checksum, slack bytes, duplicate hashes, the
// index beside the cache and entries that break the chain.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "base/error_codes.h"
#include "cache/thumbcache.h"
#include "cache/thumbcache_reader.h"
#include "tests/cache/cache_test_util.h"
#include "testsupport/heap_meter/heap_meter.h"
#include "testsupport/thumbcache_writer.h"

namespace glintvane {
namespace {

using testing::EnglishTexts;
using testing::ReadOutcome;
using testing::ReadPath;

const std::string kThumbcache = GLINTVANE_CORPUS_DIR "/real/thumbcache";

std::string Sha256(std::span<const uint8_t> bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  char buf[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(buf, sizeof(buf), "%02x", digest[i]);
    hex += buf;
  }
  return hex;
}

struct Expected {
  size_t rows;
  size_t bmp, png, jpeg, none;
  size_t indexed;  // rows the index beside the cache still points at
};

TEST(ThumbcacheCorpus, EveryCacheReadsWithEveryEntryAndNoError) {
  // Counted by a separate script that walked the entries by their size field.
  const std::map<std::string, Expected> files = {
      {"win10-a/thumbcache_16.db", {1, 1, 0, 0, 0, 1}},
      {"win10-a/thumbcache_32.db", {777, 777, 0, 0, 0, 777}},
      {"win10-a/thumbcache_48.db", {201, 201, 0, 0, 0, 201}},
      {"win10-a/thumbcache_2560.db", {7, 0, 0, 7, 0, 7}},
      {"win10-a/thumbcache_sr.db", {0, 0, 0, 0, 0, 0}},
      {"win10-a/thumbcache_exif.db", {0, 0, 0, 0, 0, 0}},
      {"win10-a/thumbcache_wide.db", {0, 0, 0, 0, 0, 0}},
      {"win10-a/thumbcache_wide_alternate.db", {0, 0, 0, 0, 0, 0}},
      {"win10-a/thumbcache_custom_stream.db", {0, 0, 0, 0, 0, 0}},
      {"win7-a/thumbcache_32.db", {6, 6, 0, 0, 0, 6}},
      {"win7-a/thumbcache_96.db", {32, 32, 0, 0, 0, 32}},
      // 181 entries, of which the index still names 73; 158 hold no data.
      {"win7-a/thumbcache_256.db", {181, 0, 18, 5, 158, 73}},
      {"win7-a/thumbcache_1024.db", {0, 0, 0, 0, 0, 0}},
      {"win7-a/thumbcache_sr.db", {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& [name, want] : files) {
    SCOPED_TRACE(name);
    const ReadOutcome out = ReadPath(kThumbcache + "/" + name);
    ASSERT_TRUE(out.result.ok);
    EXPECT_TRUE(out.errors.empty());
    ASSERT_EQ(out.list.size(), want.rows);
    std::map<ImageKind, size_t> kinds;
    size_t indexed = 0;
    for (size_t i = 0; i < out.list.size(); ++i) {
      const ThumbnailRow& row = out.list[i];
      ++kinds[row.kind];
      indexed += row.indexed == 1;
      EXPECT_NE(row.indexed, -1);  // the index lies beside every cache
      EXPECT_TRUE(row.checksum_ok);
      EXPECT_EQ(row.key.size(), 16u);
      EXPECT_EQ(row.key.find_first_not_of("0123456789abcdef"), std::string::npos);
      if (row.kind != ImageKind::kNone) {
        EXPECT_GT(row.width, 0);
      }
    }
    EXPECT_EQ(kinds[ImageKind::kBmp], want.bmp);
    EXPECT_EQ(kinds[ImageKind::kPng], want.png);
    EXPECT_EQ(kinds[ImageKind::kJpeg], want.jpeg);
    EXPECT_EQ(kinds[ImageKind::kNone], want.none);
    EXPECT_EQ(indexed, want.indexed);
  }
}

TEST(ThumbcacheCorpus, StoredBytesAndDetailsAreTheFileOwn) {
  const ReadOutcome win10 = ReadPath(kThumbcache + "/win10-a/thumbcache_2560.db");
  ASSERT_TRUE(win10.result.ok);
  const ThumbnailRow& first = win10.list[0];
  EXPECT_EQ(first.key, "c833a5aeaa5467d7");
  EXPECT_EQ(first.width, 850);
  EXPECT_EQ(first.height, 1100);
  EXPECT_EQ(RowExtension(first), ".jpg");
  EXPECT_EQ(Sha256(win10.store.View(first.start, first.length)),
            "6ec9670dfdab16b8dd3c19833cb2bc6b856874912659a0ee065374e2aac0a13b");
  const auto& details = win10.result.details;
  EXPECT_NE(std::find(details.begin(), details.end(), "Cache type: 8 (2560)"), details.end());

  const ReadOutcome win7 = ReadPath(kThumbcache + "/win7-a/thumbcache_256.db");
  const ThumbnailRow* png = const_cast<ThumbnailList&>(win7.list).Find("21ea970921921099");
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->name, "21ea970921921099");
  EXPECT_EQ(RowExtension(*png), ".png");
  EXPECT_EQ(Sha256(win7.store.View(png->start, png->length)),
            "27b5bf419d6e09941f601af4aa13ceafffeb6eea3322bd04211abf9726edaac1");
}

TEST(ThumbcacheCorpus, IndexFilesListTheirHashes) {
  for (const std::string name :
       {"win7-a/thumbcache_idx.db", "win7-a/thm523.tmp", "win10-a/thumbcache_idx.db"}) {
    SCOPED_TRACE(name);
    const ReadOutcome out = ReadPath(kThumbcache + "/" + name);
    ASSERT_TRUE(out.result.ok);
    EXPECT_TRUE(out.errors.empty());
    EXPECT_GT(out.list.size(), 0u);
  }
  EXPECT_EQ(ReadPath(kThumbcache + "/win10-a/thumbcache_idx.db").list.size(), 3010u);
}

// One byte of an entry header changed, at every position of the header of a
// few entries of the real Windows 10 cache: every other entry is still a
// sound row, and the damaged one is a row at its offset.
TEST(ThumbcacheCorpus, OneDamagedHeaderByteCostsOnlyItsEntry) {
  const std::string path = kThumbcache + "/win10-a/thumbcache_32.db";
  if (!std::filesystem::exists(path)) GTEST_SKIP();
  const auto bytes = ReadWholeFile(path);
  ASSERT_TRUE(bytes);
  const ReadOutcome sound = testing::ReadBytes(*bytes, path);
  ASSERT_EQ(sound.list.size(), 777u);
  std::map<uint64_t, std::string> entries;  // offset -> key
  for (size_t i = 0; i < sound.list.size(); ++i) {
    entries[sound.list[i].entry_offset] = sound.list[i].key;
  }
  for (const size_t victim : {size_t{1}, size_t{400}, size_t{776}}) {
    const uint64_t at = sound.list[victim].entry_offset;
    for (size_t position = 0; position < 56; ++position) {
      for (const uint8_t change : {uint8_t{0x01}, uint8_t{0xFF}}) {
        SCOPED_TRACE("entry " + std::to_string(victim) + " byte " + std::to_string(position) +
                     " ^ " + std::to_string(change));
        auto damaged = *bytes;
        damaged[at + position] ^= change;
        const ReadOutcome out = testing::ReadBytes(damaged, path);
        std::map<uint64_t, const ThumbnailRow*> rows;
        for (size_t i = 0; i < out.list.size(); ++i) rows[out.list[i].entry_offset] = &out.list[i];
        ASSERT_EQ(rows.count(at), 1u);
        for (const auto& [offset, key] : entries) {
          if (offset == at) continue;
          const auto it = rows.find(offset);
          ASSERT_NE(it, rows.end()) << offset;
          EXPECT_EQ(it->second->key, key);
          EXPECT_TRUE(it->second->checksum_ok);
          EXPECT_EQ(it->second->error, 0);
        }
      }
    }
  }
}

// --- Hand-built caches -------------------------------------------------------

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  Put32(b, at, static_cast<uint32_t>(v));
  Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}

using EntrySpec = testsupport::ThumbcacheEntrySpec;

// A Windows 7 (0x15) or Windows 10 (0x20) cache of type 1 ending in a free entry.
std::vector<uint8_t> MakeCache(uint32_t version, const std::vector<EntrySpec>& entries) {
  return testsupport::MakeThumbcache(version, entries);
}

const std::vector<uint8_t> kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3};
const std::vector<uint8_t> kJpeg = {0xFF, 0xD8, 0xFF, 0xE1, 0, 2, 0xFF, 0xD9};

ReadOutcome ReadCache(const std::vector<uint8_t>& bytes,
                      const std::vector<uint8_t>* index = nullptr) {
  ReadOutcome out;
  MemoryByteSource source(bytes);
  std::optional<MemoryByteSource> index_source;
  if (index != nullptr) index_source.emplace(*index);
  out.result = ReadThumbnailCache(source, "/x/thumbcache_32.db",
                                  CacheReadTarget{out.list, out.store, out.errors, EnglishTexts()},
                                  {}, {index_source ? &*index_source : nullptr});
  return out;
}

TEST(ThumbcacheCrc, MatchesTheCheckValue) {
  const std::string text = "123456789";
  const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  EXPECT_EQ(ThumbcacheCrc64(bytes), 0x75d4b74f024eceeaull);
}

TEST(ThumbcacheRead, StepsBySizeKeepsDuplicatesAndFlagsBadChecksums) {
  for (const uint32_t version : {kThumbcacheWin7, kThumbcacheWin10}) {
    SCOPED_TRACE(version);
    const auto file = MakeCache(version, {{0x0a, u"a", kPng, 5, false},
                                          {0x0a, u"b", kJpeg, 0, true},
                                          {0xffeeddccbbaa9988, u"::{645FF040}", {}, 3, false}});
    const ReadOutcome out = ReadCache(file);
    ASSERT_TRUE(out.result.ok) << out.errors.Lines(testing::EnglishTexts()).size();
    ASSERT_EQ(out.list.size(), 3u);  // the free entry is no row
    EXPECT_EQ(out.list[0].key, "000000000000000a");
    EXPECT_EQ(out.list[1].key, "000000000000000a");
    EXPECT_EQ(out.list[0].kind, ImageKind::kPng);
    EXPECT_EQ(out.list[1].kind, ImageKind::kJpeg);
    EXPECT_EQ(out.list[1].name, "b");
    EXPECT_TRUE(out.list[0].checksum_ok);
    EXPECT_FALSE(out.list[1].checksum_ok);  // flagged, not dropped
    EXPECT_EQ(out.list[2].kind, ImageKind::kNone);
    EXPECT_EQ(out.list[2].length, 0);
    EXPECT_EQ(out.list[2].name, "::{645FF040}");
    EXPECT_EQ(out.list[0].indexed, -1);  // no index given
    const auto jpeg = out.store.View(out.list[1].start, out.list[1].length);
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), kJpeg.begin(), kJpeg.end()));
    if (version == kThumbcacheWin10) {
      EXPECT_EQ(out.list[1].width, 7);
    }
  }
}

size_t CountHeadings(const ErrorList& errors, const std::string& heading) {
  const std::vector<std::string> lines = errors.Lines(EnglishTexts());
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), heading));
}

TEST(ThumbcacheRead, DamagedEntryCostsOnlyItsOwnRow) {
  auto base = MakeCache(kThumbcacheWin10,
                        {{1, u"a", kPng, 0, false}, {2, u"b", kPng, 0, false}, {3, u"c", kJpeg}});
  const size_t second = 24 + 56 + 2 + kPng.size();
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    bool data_kept;  // the sizes of name and data still fit before the next entry
  } cases[] = {
      {"size past the end of the file", second + 4, 0x7FFFFFF0, true},
      {"size below a header", second + 4, 8, true},
      {"size of zero", second + 4, 0, true},
      {"size one too long", second + 4, 56 + 2 + 11 + 1, true},
      {"data larger than the entry", second + 24, 0xFFFFFFFF, false},
      {"identifier larger than the entry", second + 16, 0x80000000, false},
      {"no signature", second, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = base;
    Put32(file, c.at, c.value);
    const ReadOutcome out = ReadCache(file);
    EXPECT_FALSE(out.result.ok);
    EXPECT_EQ(out.result.error_code, kErrThumbcacheEntry);
    EXPECT_EQ(CountHeadings(out.errors, "Fatal error!"), 1u);  // recorded once
    ASSERT_EQ(out.list.size(), 3u);
    EXPECT_EQ(out.list[0].key, "0000000000000001");
    EXPECT_EQ(out.list[0].error, 0);
    EXPECT_EQ(out.list[1].key, "0000000000000002");
    EXPECT_EQ(out.list[1].error, kErrThumbcacheEntry);
    EXPECT_EQ(out.list[1].length, c.data_kept ? static_cast<int64_t>(kPng.size()) : 0);
    // The entry after it is whole.
    EXPECT_EQ(out.list[2].key, "0000000000000003");
    EXPECT_EQ(out.list[2].error, 0);
    EXPECT_TRUE(out.list[2].checksum_ok);
    const auto jpeg = out.store.View(out.list[2].start, out.list[2].length);
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), kJpeg.begin(), kJpeg.end()));
  }
  // Cut inside the last header.
  base.resize(second + 20);
  EXPECT_EQ(ReadCache(base).result.error_code, kErrThumbcacheEntry);
  // A header no Windows wrote.
  auto odd = MakeCache(kThumbcacheWin10, {});
  Put32(odd, 4, 0x99);
  EXPECT_EQ(ReadCache(odd).result.error_code, kErrThumbcacheHeader);
  Put32(odd, 4, kThumbcacheWin10);
  Put32(odd, 0x10, 0xFFFFFFF0);  // first entry outside
  EXPECT_EQ(ReadCache(odd).result.error_code, kErrThumbcacheHeader);
}

TEST(ThumbcacheRead, DeletedEntriesInTheFreeSpaceAreRecovered) {
  for (const uint32_t version : {kThumbcacheWin7, kThumbcacheWin10}) {
    SCOPED_TRACE(version);
    auto file = MakeCache(version, {{1, u"a", kPng, 0, false}});
    // An entry Windows deleted: its header stays in the free entry's bytes,
    // at no particular alignment.
    const auto old = MakeCache(version, {{9, u"zz", kJpeg, 0, false}});
    const size_t header = version == kThumbcacheWin7 ? 48 : 56;
    const size_t old_size = header + 4 + kJpeg.size();
    const size_t free_entry = 24 + header + 2 + kPng.size();
    std::copy(old.begin() + 24, old.begin() + 24 + static_cast<ptrdiff_t>(old_size),
              file.begin() + static_cast<ptrdiff_t>(free_entry + header + 7));
    const ReadOutcome out = ReadCache(file);
    EXPECT_TRUE(out.result.ok);
    ASSERT_EQ(out.list.size(), 2u);
    EXPECT_FALSE(out.list[0].recovered);
    const ThumbnailRow& found = out.list[1];
    EXPECT_TRUE(found.recovered);
    EXPECT_EQ(found.key, "0000000000000009");
    EXPECT_EQ(found.name, "zz");
    EXPECT_EQ(found.entry_offset, free_entry + header + 7);
    const auto jpeg = out.store.View(found.start, found.length);
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), kJpeg.begin(), kJpeg.end()));
    const auto& details = out.result.details;
    EXPECT_NE(std::find(details.begin(), details.end(), "Recovered entries (outside the chain): 1"),
              details.end());
  }
}

// Counts the bytes read: a scan that went back over what it read would show.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(std::span<const uint8_t> bytes) : inner_(bytes) {}
  uint64_t Size() const override { return inner_.Size(); }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    read_ += out.size();
    return inner_.ReadAt(offset, out);
  }
  uint64_t read() const { return read_; }

 private:
  MemoryByteSource inner_;
  uint64_t read_ = 0;
};

TEST(ThumbcacheRead, CraftedSignaturesCostLinearWork) {
  // Four MiB of "CMMM": a signature every four bytes, none of them an entry.
  auto fake = MakeCache(kThumbcacheWin10, {});
  fake.resize(24);
  for (size_t i = 0; i < (1u << 20); ++i) fake.insert(fake.end(), {'C', 'M', 'M', 'M'});
  CountingSource source(fake);
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  const auto result = ReadThumbnailCache(source, "/x/thumbcache_32.db",
                                         CacheReadTarget{list, store, errors, EnglishTexts()});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(list.size(), 1u);  // the one entry the chain names, damaged
  EXPECT_LT(source.read(), 2 * fake.size());

  // Twenty thousand damaged entries, each followed by a sound one: every one
  // is a row, and the error list names the first hundred.
  std::vector<EntrySpec> specs;
  for (uint64_t k = 0; k < 20000; ++k) {
    specs.push_back({2 * k + 1, u"", {}, 0, true});
    specs.push_back({2 * k + 2, u"", {}, 0, false});
  }
  auto many = MakeCache(kThumbcacheWin10, specs);
  for (size_t k = 0; k < 20000; ++k) Put32(many, 24 + 112 * k + 4, 57);  // size and CRC wrong
  CountingSource counted(many);
  ReadOutcome out;
  out.result = ReadThumbnailCache(counted, "/x/thumbcache_32.db",
                                  CacheReadTarget{out.list, out.store, out.errors, EnglishTexts()});
  EXPECT_EQ(out.list.size(), 40000u);
  EXPECT_EQ(out.list[39998].error, kErrThumbcacheEntry);
  EXPECT_EQ(CountHeadings(out.errors, "Fatal error!"), 101u);
  EXPECT_LT(counted.read(), 4 * many.size());

  // A thousand deleted entries nested one in another in the free space,
  // each claiming the rest of it as its data: all are listed, and each byte
  // is stored once.
  auto nested = MakeCache(kThumbcacheWin10, {});
  constexpr size_t kNested = 1000;
  const size_t end = 24 + 56 + 56 * (kNested + 1);
  nested.resize(end, 0);
  Put32(nested, 24 + 4, static_cast<uint32_t>(end - 24));
  Put64(nested, 24 + 48, ThumbcacheCrc64(std::span<const uint8_t>(nested).subspan(24, 48)));
  for (size_t k = 0; k < kNested; ++k) {
    const size_t at = 24 + 56 + 56 * k;
    std::memcpy(&nested[at], "CMMM", 4);
    Put32(nested, at + 4, static_cast<uint32_t>(end - at));
    Put64(nested, at + 8, k + 1);
    Put32(nested, at + 24, static_cast<uint32_t>(end - at - 56));
    Put64(nested, at + 48, ThumbcacheCrc64(std::span<const uint8_t>(nested).subspan(at, 48)));
  }
  const ReadOutcome deep = ReadCache(nested);
  EXPECT_TRUE(deep.result.ok);
  EXPECT_EQ(deep.list.size(), kNested);
  EXPECT_TRUE(deep.list[kNested - 1].recovered);
  EXPECT_LE(deep.store.size(), static_cast<int64_t>(nested.size()));
}

// A Windows 10 index: 0x90-byte header, 72-byte entries of hash, flags and 14 offsets.
std::vector<uint8_t> MakeIndex(const std::vector<std::pair<uint64_t, uint32_t>>& type1_offsets,
                               uint32_t total) {
  std::vector<uint8_t> file(0x90 + 72 * total, 0);
  std::memcpy(&file[4], "IMMM", 4);
  Put32(file, 8, kThumbcacheWin10);
  Put32(file, 0x14, static_cast<uint32_t>(type1_offsets.size()));
  Put32(file, 0x18, total);
  for (size_t k = 0; k < type1_offsets.size(); ++k) {
    const size_t at = 0x90 + 72 * k;
    Put64(file, at, type1_offsets[k].first);
    for (int t = 0; t < 14; ++t) Put32(file, at + 16 + 4 * t, kThumbcacheNotIndexed);
    Put32(file, at + 16 + 4, type1_offsets[k].second);
  }
  return file;
}

TEST(ThumbcacheRead, IndexTellsWhichEntriesItStillNames) {
  const auto file =
      MakeCache(kThumbcacheWin10,
                {{1, u"a", kPng, 0, false}, {1, u"b", kPng, 0, false}, {2, u"c", {}, 0, false}});
  const uint32_t second = 24 + 56 + 2 + static_cast<uint32_t>(kPng.size());
  // Hash 1 points at its second copy; hash 2 is not in the index.
  const auto index = MakeIndex({{1, second}, {3, 24}}, 4);
  const ReadOutcome out = ReadCache(file, &index);
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.list.size(), 3u);
  EXPECT_EQ(out.list[0].indexed, 0);
  EXPECT_EQ(out.list[1].indexed, 1);
  EXPECT_EQ(out.list[2].indexed, 0);

  // An index that claims more entries than it holds is only a warning.
  auto broken = index;
  Put32(broken, 0x18, 0x10000000);
  const ReadOutcome warned = ReadCache(file, &broken);
  EXPECT_TRUE(warned.result.ok);
  EXPECT_FALSE(warned.errors.empty());
  EXPECT_EQ(warned.list[1].indexed, -1);
}

// --- Memory -------------------------------------------------------------------

// The most a read of `bytes` may take beyond what was live before: twice the
// file and 32 MiB (the rows, their texts and what the reader needs on the way).
constexpr size_t kSlackBytes = 32u << 20;

// Reads `bytes` as `path` and walks every row as the command line prints
// them; returns the peak heap taken.
size_t PeakOfReadAndPrint(const std::vector<uint8_t>& bytes, const std::string& path,
                          size_t& rows) {
  testsupport::ResetPeakHeapBytes();
  const size_t before = testsupport::LiveHeapBytes();
  {
    ReadOutcome out;
    MemoryByteSource source(bytes);
    out.result = ReadThumbnailCache(
        source, path, CacheReadTarget{out.list, out.store, out.errors, EnglishTexts()});
    EXPECT_TRUE(out.result.ok);
    size_t named = 0;
    for (size_t i = 0; i < out.list.size(); ++i) named += !out.list.RowCopy(i).name.empty();
    rows = out.list.size();
    EXPECT_EQ(named, path.ends_with("idx.db") ? rows : 0u);
  }
  return testsupport::PeakHeapBytes() - before;
}

TEST(ThumbcacheMemory, HalfAMillionRowsStayWithinTwiceTheFile) {
  constexpr uint32_t kSlots = 500000;
  // An index whose every slot names entries in two caches.
  std::vector<uint8_t> index(0x90 + size_t{72} * kSlots, 0);
  std::memcpy(&index[4], "IMMM", 4);
  Put32(index, 8, kThumbcacheWin10);
  Put32(index, 0x14, kSlots);
  Put32(index, 0x18, kSlots);
  for (uint32_t k = 0; k < kSlots; ++k) {
    const size_t at = 0x90 + size_t{72} * k;
    Put64(index, at, 0x1000 + k);
    for (int t = 0; t < 14; ++t) Put32(index, at + 16 + 4 * t, kThumbcacheNotIndexed);
    Put32(index, at + 16 + 4 * 1, 24);
    Put32(index, at + 16 + 4 * 3, 24);
  }
  size_t rows = 0;
  EXPECT_LE(PeakOfReadAndPrint(index, "/x/thumbcache_idx.db", rows),
            2 * index.size() + kSlackBytes);
  EXPECT_EQ(rows, kSlots);

  // A cache of as many entries without a name or data.
  std::vector<uint8_t> cache(24 + size_t{56} * kSlots, 0);
  std::memcpy(cache.data(), "CMMM", 4);
  Put32(cache, 4, kThumbcacheWin10);
  Put32(cache, 0x10, 24);
  Put32(cache, 0x14, static_cast<uint32_t>(cache.size()));
  for (uint32_t k = 0; k < kSlots; ++k) {
    const size_t at = 24 + size_t{56} * k;
    std::memcpy(&cache[at], "CMMM", 4);
    Put32(cache, at + 4, 56);
    Put64(cache, at + 8, 0x1000 + k);
    Put64(cache, at + 48, ThumbcacheCrc64(std::span<const uint8_t>(cache).subspan(at, 48)));
  }
  EXPECT_LE(PeakOfReadAndPrint(cache, "/x/thumbcache_32.db", rows), 2 * cache.size() + kSlackBytes);
  EXPECT_EQ(rows, kSlots);
}

// A cache of one entry that declares `data` bytes of data, all zero and
// none of them held: a sparse file.
class SparseCache final : public ByteSource {
 public:
  explicit SparseCache(uint32_t data) : head_(MakeCache(kThumbcacheWin10, {})) {
    head_.resize(24 + 56, 0);
    std::memcpy(&head_[24], "CMMM", 4);
    Put32(head_, 24 + 4, 56 + data);
    Put64(head_, 24 + 8, 0x77);
    Put32(head_, 24 + 24, data);
    Put64(head_, 24 + 48, ThumbcacheCrc64(std::span<const uint8_t>(head_).subspan(24, 48)));
    size_ = head_.size() + data;
  }
  uint64_t Size() const override { return size_; }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(out.size(), size_ - std::min(offset, size_)));
    for (size_t i = 0; i < n; ++i) out[i] = offset + i < head_.size() ? head_[offset + i] : 0;
    return n;
  }

 private:
  std::vector<uint8_t> head_;
  uint64_t size_ = 0;
};

TEST(ThumbcacheMemory, EntryDataIsHeldOnce) {
  constexpr uint32_t kData = 128u << 20;
  SparseCache source(kData);
  testsupport::ResetPeakHeapBytes();
  const size_t before = testsupport::LiveHeapBytes();
  {
    ReadOutcome out;
    out.result =
        ReadThumbnailCache(source, "/x/thumbcache_32.db",
                           CacheReadTarget{out.list, out.store, out.errors, EnglishTexts()});
    EXPECT_TRUE(out.result.ok);
    ASSERT_EQ(out.list.size(), 1u);
    EXPECT_EQ(out.list[0].length, kData);
  }
  EXPECT_LE(testsupport::PeakHeapBytes() - before, size_t{kData} + (4u << 20));
}

}  // namespace
}  // namespace glintvane
