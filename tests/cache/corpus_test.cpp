// The real caches of ../shared/corpus/real: every file reads without a
// crash; XP and raw-colour caches give every image; the rows and names
// agree with the Catalog; spot checks of stored bytes by SHA-256.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/error_codes.h"
#include "cache/compound_file.h"
#include "cache/cut_short.h"
#include "cache/thumbs_db.h"
#include "tests/cache/cache_test_util.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;

const std::string kCorpus = GLINTVANE_CORPUS_DIR "/real";

struct Expected {
  size_t rows;
  size_t named;  // rows with a Catalog name
  size_t jfif;
  size_t raw;
  size_t png;
  bool warning;  // length not a multiple of 512
};

// Counted independently of this reader (a separate script walked the
// directory, the Catalog and every stream).
const std::map<std::string, Expected>& Corpus() {
  static const std::map<std::string, Expected> files = {
      {"001", {41, 41, 0, 41, 0, false}},    {"002", {12, 12, 0, 12, 0, false}},
      {"003", {36, 36, 0, 36, 0, false}},    {"004", {1, 1, 0, 1, 0, false}},
      {"005", {85, 85, 0, 85, 0, false}},    {"006", {48, 48, 48, 0, 0, false}},
      {"007", {24, 21, 24, 0, 0, false}},    {"008", {46, 46, 46, 0, 0, false}},
      {"009", {1, 1, 1, 0, 0, false}},       {"010", {1, 1, 1, 0, 0, false}},
      {"011", {15, 15, 15, 0, 0, false}},    {"012", {27, 27, 27, 0, 0, false}},
      {"013", {2, 2, 2, 0, 0, false}},       {"014", {145, 145, 145, 0, 0, false}},
      {"015", {42, 42, 42, 0, 0, false}},    {"016", {157, 157, 157, 0, 0, false}},
      {"017", {500, 500, 500, 0, 0, false}}, {"018", {490, 490, 490, 0, 0, true}},
      {"019", {499, 499, 499, 0, 0, true}},  {"020", {131, 131, 131, 0, 0, false}},
      {"021", {28, 28, 28, 0, 0, false}},    {"022", {4, 4, 4, 0, 0, false}},
      {"023", {54, 52, 54, 0, 0, false}},    {"024", {3, 1, 1, 0, 2, false}},
      {"025", {2, 0, 2, 0, 0, false}},       {"026", {9, 0, 0, 0, 9, false}},
      {"027", {305, 0, 4, 0, 301, false}},   {"028", {129, 0, 80, 0, 49, false}},
      {"029", {58, 0, 43, 0, 15, false}},    {"030", {237, 0, 78, 0, 159, false}},
      {"031", {234, 0, 27, 0, 207, false}},  {"032", {51, 0, 51, 0, 0, false}},
      {"033", {0, 0, 0, 0, 0, false}},       {"034", {32, 0, 32, 0, 0, false}},
      {"035", {26, 0, 26, 0, 0, false}},
  };
  return files;
}

std::string FileFor(const std::string& number) {
  for (const auto& entry : fs::directory_iterator(kCorpus)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(number + "-", 0) == 0) return entry.path().string();
  }
  return {};
}

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

// The Catalog entries, read with the container and Catalog functions alone.
std::vector<CatalogEntry> CatalogOf(const std::string& path) {
  std::vector<CatalogEntry> entries;
  auto source = FileByteSource::Open(path);
  if (!source) return entries;
  PagedReader reader(**source);
  CompoundFile file(reader);
  if (!file.CheckHeader() || !file.ReadHeaderFatList() || !file.ReadDifatChain() ||
      !file.ListMiniFat() || !file.ListMiniStream()) {
    return entries;
  }
  std::vector<uint8_t> buffer;
  (void)file.WalkDirectory([&](const DirectoryEntry& e) -> ReadResult<void> {
    if (e.type != cfb::kTypeStream || e.name != kCatalogStreamName) return {};
    if (auto r = file.ReadStream(e, buffer); !r) return r;
    return ForEachCatalogEntry(buffer, ReadCatalogHeader(buffer),
                               [&](const CatalogEntry& c) { entries.push_back(c); });
  });
  return entries;
}

class CorpusTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "corpus not present at " << kCorpus;
  }
};

TEST_P(CorpusTest, ReadsWholeAndMatchesTheCatalog) {
  const std::string path = FileFor(GetParam());
  ASSERT_FALSE(path.empty());
  const Expected& want = Corpus().at(GetParam());
  auto out = testing::ReadPath(path);
  ASSERT_TRUE(out.result.ok) << (out.errors.empty() ? ""
                                                    : out.errors.Lines(testing::EnglishTexts())[2]);
  EXPECT_EQ(out.result.error_code, 0);
  EXPECT_EQ(out.errors.empty(), !want.warning);
  ASSERT_EQ(out.list.size(), want.rows);
  size_t named = 0, jfif = 0, raw = 0, png = 0;
  int64_t at = 0;
  for (size_t i = 0; i < out.list.size(); ++i) {
    const ThumbnailRow& row = out.list[i];
    named += !row.name.empty();
    jfif += row.kind == ImageKind::kJfif;
    raw += row.kind == ImageKind::kRaw;
    png += row.kind == ImageKind::kPng;
    // Every row of these caches has its image, with a size in its header.
    EXPECT_GT(row.length, 0) << row.key;
    EXPECT_GT(row.width, 0) << row.key;
    EXPECT_GT(row.height, 0) << row.key;
    EXPECT_EQ(row.start, at);
    EXPECT_EQ(row.end, row.start + row.length);
    at = row.end;
  }
  EXPECT_EQ(named, want.named);
  EXPECT_EQ(jfif, want.jfif);
  EXPECT_EQ(raw, want.raw);
  EXPECT_EQ(png, want.png);
  // Every Catalog entry is a row with its name and time.
  const auto catalog = CatalogOf(path);
  EXPECT_EQ(catalog.size(), want.named);
  for (const CatalogEntry& entry : catalog) {
    const ThumbnailRow* row = out.list.Find(std::to_string(entry.id));
    ASSERT_NE(row, nullptr) << entry.id;
    EXPECT_EQ(row->name, entry.name);
    EXPECT_EQ(row->filetime, entry.filetime);
    EXPECT_EQ(row->time_text.empty(), entry.filetime == 0);
  }
}

std::vector<std::string> Numbers() {
  std::vector<std::string> numbers;
  for (const auto& [number, expected] : Corpus()) numbers.push_back(number);
  return numbers;
}

INSTANTIATE_TEST_SUITE_P(Real, CorpusTest, ::testing::ValuesIn(Numbers()));

TEST(CorpusSpotTest, ImagesAreStoredByteExact) {
  if (!fs::exists(kCorpus)) GTEST_SKIP();
  struct Spot {
    std::string file, key, name, sha256;
    int width, height;
  };
  const std::vector<Spot> spots = {
      {"016", "157", "controller_cancel_yes.9.png",
       "cdc45872261707826cb6a98a61570d5eaad349b648edef3a31f5c8f5929f3965", 50, 50},
      {"017", "1", "33-404-error.jpg",
       "21c334b6a15a14ae660728de2e1fdaabfefe4fe2ed31fa8d855867ec365fe27c", 96, 50},
      {"019", "499", "tvm3.png", "533588a93fbec9a3392fadb5ac9d7ef1107a98c1586f26d45d0b4065b9173120",
       96, 44},
      {"024", "256_365daafdc12012a7", "",
       "b7a3487b28722564b80eb339bc470fba8c742543992a84058d45a9cd96374664", 19, 19},
      {"027", "256_ba01bb9abd814dad", "",
       "133842cfe1f7e39aca063919be67ffd022dd909a28e2072fde25729dad15a5eb", 124, 111},
      {"007", "24", "", "868eaa230aef9e30fe13ad40482abeb7fc5d70c361f07ad67f67a042e9ef12bf", 96, 68},
  };
  for (const Spot& spot : spots) {
    auto out = testing::ReadPath(FileFor(spot.file));
    const ThumbnailRow* row = out.list.Find(spot.key);
    ASSERT_NE(row, nullptr) << spot.file << " " << spot.key;
    EXPECT_EQ(row->name, spot.name);
    EXPECT_EQ(Sha256(out.store.View(row->start, row->length)), spot.sha256) << spot.file;
    EXPECT_EQ(row->width, spot.width);
    EXPECT_EQ(row->height, spot.height);
  }
}

TEST(CorpusSpotTest, XpCachesKeepEveryImageWithTheCatalogEarly) {
  // The Part's stop rule would keep 2 of 157 and 66 of 500.
  if (!fs::exists(kCorpus)) GTEST_SKIP();
  EXPECT_EQ(testing::ReadPath(FileFor("016")).list.size(), 157u);
  EXPECT_EQ(testing::ReadPath(FileFor("017")).list.size(), 500u);
  auto out = testing::ReadPath(FileFor("007"));
  EXPECT_EQ(out.list.Find("1")->name, "lighthouse.jpg");
  EXPECT_EQ(out.result.details[4], "Version: 7");
  EXPECT_EQ(out.result.details[5], "Thumbnails: 21");
}

TEST(CorpusSpotTest, EveryFileTruncatedAndFlippedFailsCleanly) {
  if (!fs::exists(kCorpus)) GTEST_SKIP();
  for (const auto& [number, expected] : Corpus()) {
    auto bytes = ReadWholeFile(FileFor(number));
    ASSERT_TRUE(bytes);
    const std::vector<uint8_t> half(bytes->begin(), bytes->begin() + bytes->size() / 2);
    const auto out = testing::ReadBytes(half);
    EXPECT_TRUE(out.result.ok || !out.errors.empty()) << number;
    for (size_t at = 512; at < bytes->size(); at += 4099) (*bytes)[at] ^= 0x5A;
    const auto flipped = testing::ReadBytes(*bytes);
    EXPECT_TRUE(flipped.result.ok || !flipped.errors.empty()) << number;
  }
}

// 017 cut short, as a partial copy leaves it: the FAT, most of the directory
// and the Catalog lie near its end. The read says what the cut took.
TEST(CorpusCutShort, LostFatAndDirectoryAreNamed) {
  if (!fs::exists(kCorpus)) GTEST_SKIP();
  const auto bytes = ReadWholeFile(FileFor("017"));
  ASSERT_TRUE(bytes);
  for (const size_t cut : {size_t{1500000}, size_t{1000000}, size_t{300000}}) {
    SCOPED_TRACE(cut);
    const auto out = testing::ReadBytes(std::vector<uint8_t>(bytes->begin(), bytes->begin() + cut));
    EXPECT_FALSE(out.result.ok);
    EXPECT_EQ(out.result.error_code, kErrTableEntryOutside);
    ASSERT_TRUE(out.result.cut_short);
    const CutShort& lost = *out.result.cut_short;
    EXPECT_EQ(lost.size, cut);
    // The FAT sectors past the cut described the rest: the file was at
    // least as long as the sectors still named, and not longer than it is.
    EXPECT_TRUE(lost.at_least);
    EXPECT_GT(lost.expected, cut);
    EXPECT_LE(lost.expected, bytes->size());
    ASSERT_GE(lost.past_the_end.size(), 3u);
    EXPECT_NE(lost.past_the_end[0].find(" of 26 FAT sectors"), std::string::npos);
    EXPECT_EQ(lost.past_the_end[1], "part of the directory");
    EXPECT_EQ(lost.past_the_end.back(), "the Catalog");
    const std::string line = "Cut short: " + lost.Text();
    EXPECT_NE(std::find(out.result.details.begin(), out.result.details.end(), line),
              out.result.details.end());
    // The error's details line says it too.
    const auto& errors = out.errors.Lines(testing::EnglishTexts());
    EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [&](const std::string& l) {
      return l.rfind("Details: FAT sector ", 0) == 0 &&
             l.find("; the file is cut short at " + lost.Text()) != std::string::npos;
    }));
  }
  // Whole, it is not cut short.
  EXPECT_FALSE(testing::ReadBytes(*bytes).result.cut_short);
}

// Where a cut leaves the directory (these caches keep it at the front),
// every thumbnail whose sectors are all before the cut is read whole.
TEST(CorpusCutShort, StreamsBeforeTheCutAreAllRead) {
  if (!fs::exists(kCorpus)) GTEST_SKIP();
  for (const char* number : {"026", "028", "034", "035"}) {
    const auto bytes = ReadWholeFile(FileFor(number));
    ASSERT_TRUE(bytes);
    const auto whole = testing::ReadBytes(*bytes);
    // Where each stream's sectors end, followed through the FAT by hand.
    MemoryByteSource source(*bytes);
    PagedReader reader(source);
    CompoundFile file(reader);
    ASSERT_TRUE(file.CheckHeader() && file.ReadHeaderFatList() && file.ReadDifatChain() &&
                file.ListMiniFat() && file.ListMiniStream());
    auto entry_of = [&](const std::vector<int32_t>& table, int32_t n) {
      const uint64_t at = 512 + 512ull * table[n / 128] + 4ull * (n % 128);
      return static_cast<int32_t>((*bytes)[at] | (*bytes)[at + 1] << 8 | (*bytes)[at + 2] << 16 |
                                  (*bytes)[at + 3] << 24);
    };
    std::map<std::string, uint64_t> ends;  // row key -> end of its last sector
    ASSERT_TRUE(file.WalkDirectory([&](const DirectoryEntry& e) -> ReadResult<void> {
      if (e.type != cfb::kTypeStream || e.name == kCatalogStreamName) return {};
      uint64_t end = 0;
      int64_t left = e.size;
      const bool mini = e.size < 4096;
      for (int32_t n = e.start; n >= 0 && left > 0; left -= mini ? 64 : 512) {
        end = std::max<uint64_t>(
            end, mini ? 512 + 512ull * file.mini_stream_sectors()[n / 8] + 64 * (n % 8 + 1)
                      : 512 + 512ull * n + 512);
        n = entry_of(mini ? file.mini_fat_sectors() : file.fat_sectors(), n);
      }
      ends[e.name] = end;  // streams of later Windows are keyed by their names
      return {};
    }));
    for (const size_t sectors : {size_t{1}, size_t{3}, size_t{8}, size_t{20}}) {
      const size_t cut = bytes->size() - 512 * sectors;
      SCOPED_TRACE(std::string(number) + " cut at " + std::to_string(cut));
      const auto out =
          testing::ReadBytes(std::vector<uint8_t>(bytes->begin(), bytes->begin() + cut));
      ASSERT_TRUE(out.result.cut_short);
      EXPECT_GT(out.result.cut_short->expected, cut);
      EXPECT_LE(out.result.cut_short->expected, bytes->size());
      for (const std::string& lost : out.result.cut_short->past_the_end) {
        EXPECT_EQ(lost.find("directory"), std::string::npos) << lost;
      }
      size_t inside = 0;
      for (const auto& [key, end] : ends) {
        if (end > cut) continue;
        ++inside;
        const ThumbnailRow* row = const_cast<ThumbnailList&>(out.list).Find(key);
        const ThumbnailRow* was = const_cast<ThumbnailList&>(whole.list).Find(key);
        ASSERT_NE(row, nullptr) << key;
        ASSERT_NE(was, nullptr) << key;
        EXPECT_EQ(testing::StoredBytes(out, *row), testing::StoredBytes(whole, *was)) << key;
      }
      EXPECT_GT(inside, 0u);
    }
  }
}

TEST(CorpusStop, StoppedReadRecordsNoErrorAndSaysSo) {
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  UiTexts texts;
  std::stop_source source;
  source.request_stop();
  const CacheReadResult result = ReadThumbnailCache(
      FileFor("017"), CacheReadTarget{list, store, errors, texts, nullptr, source.get_token()});
  EXPECT_TRUE(result.stopped);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(errors.empty());
  EXPECT_LT(list.size(), 500u);
}

}  // namespace
}  // namespace glintvane
