// The real caches, cut short and with bytes flipped: every damaged copy must
// read to a result or to a clear error line, never crash, never list an image
// outside the image store, and never take long.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "cache/thumbs_reader.h"
#include "carve/carve_scan.h"
#include "carve/carved_images.h"
#include "discover/recycle_bin.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAsan = true;
#else
constexpr bool kUnderAsan = false;
#endif
#else
constexpr bool kUnderAsan = false;
#endif

// Cut points per file, and single-byte flips per file (each on a fresh copy).
// The sanitizer build takes every second one, which keeps its sweep of the
// 35 caches near half a minute; the plain build runs them all.
constexpr int kCutPoints = kUnderAsan ? 25 : 50;
constexpr int kFlips = kUnderAsan ? 100 : 200;
// The same damage on every run, so a failure can be replayed.
constexpr uint32_t kFlipSeed = 0x6c696e74;
// Every fourth flip lands in the first sectors, where the header, the FAT
// and usually the directory lie; uniform flips mostly hit image bytes.
constexpr size_t kHeadBytes = 4096;
// One read of a damaged cache, sanitizers included. Real caches read in
// milliseconds; a read that loops on a damaged chain would take forever.
constexpr auto kReadBudget = std::chrono::seconds(kUnderAsan ? 5 : 1);

std::vector<uint8_t> ReadAll(const fs::path& path) {
  auto bytes = ReadWholeFile(path.string());
  return bytes ? std::move(*bytes) : std::vector<uint8_t>{};
}

std::vector<fs::path> FilesIn(const fs::path& dir, const std::string& suffix) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.ends_with(suffix)) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<fs::path> RealCaches() {
  std::vector<fs::path> files = FilesIn(fs::path(GLINTVANE_CORPUS_DIR) / "real", "Thumbs.db");
  // The caches of later Windows and their indexes, but not the empty ones
  // (a bare 24-byte header has nothing to cut or flip).
  for (const char* set : {"win7-a", "win10-a"}) {
    for (const char* suffix : {".db", ".tmp"}) {
      for (const fs::path& path :
           FilesIn(fs::path(GLINTVANE_CORPUS_DIR) / "real" / "thumbcache" / set, suffix)) {
        if (fs::file_size(path) > 24) files.push_back(path);
      }
    }
  }
  return files;
}

std::string TestName(const ::testing::TestParamInfo<fs::path>& info) {
  // thumbcache_32.db is in more than one folder: those names keep the folder.
  std::string name =
      info.param.parent_path().filename() == "real"
          ? info.param.filename().string()
          : info.param.parent_path().filename().string() + "_" + info.param.filename().string();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(uint8_t(c)); }, '_');
  return name;
}

// Reads one damaged copy and checks what the reader owes its caller.
void ExpectResultOrClearError(std::span<const uint8_t> bytes, const std::string& what) {
  MemoryByteSource source(bytes);
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  const UiTexts texts;
  const auto started = Clock::now();
  const CacheReadResult result = ReadThumbnailCache(source, what, {list, store, errors, texts});
  const auto took = Clock::now() - started;
  ASSERT_LT(took, kReadBudget) << what;
  if (result.ok) {
    EXPECT_EQ(result.error_code, 0) << what;
  } else {
    EXPECT_NE(result.error_code, 0) << what;
    ASSERT_FALSE(errors.empty()) << what << ": failed without an error line";
    const auto& lines = errors.Lines(texts);
    EXPECT_TRUE(
        std::any_of(lines.begin(), lines.end(),
                    [&](const std::string& line) { return line.find(what) != std::string::npos; }))
        << what << ": no error line names the file";
  }
  for (size_t i = 0; i < list.size(); ++i) {
    const ThumbnailRow& row = list[i];
    if (row.source_kind != SourceKind::kImageStore || row.length == 0) continue;
    ASSERT_FALSE(store.View(row.start, row.length).empty())
        << what << ": row " << row.key << " lies outside the image store";
  }
}

class CorpusSweep : public ::testing::TestWithParam<fs::path> {
 protected:
  void SetUp() override {
    bytes_ = ReadAll(GetParam());
    ASSERT_FALSE(bytes_.empty()) << GetParam();
  }
  std::string Label(const char* how, size_t at) const {
    return GetParam().filename().string() + " " + how + " " + std::to_string(at);
  }
  std::vector<uint8_t> bytes_;
};

TEST_P(CorpusSweep, CutShortReadsOrFailsCleanly) {
  for (int k = 0; k < kCutPoints; ++k) {
    const size_t length = bytes_.size() * static_cast<size_t>(k) / kCutPoints;
    ExpectResultOrClearError(std::span(bytes_).first(length), Label("cut at", length));
    if (HasFatalFailure()) return;
  }
}

TEST_P(CorpusSweep, FlippedBytesReadOrFailCleanly) {
  std::mt19937 random(kFlipSeed);
  std::vector<uint8_t> damaged = bytes_;
  for (int i = 0; i < kFlips; ++i) {
    const size_t range = (i % 4 == 0) ? std::min(kHeadBytes, damaged.size()) : damaged.size();
    const size_t at = random() % range;
    const auto mask = static_cast<uint8_t>(random() % 255 + 1);  // never 0: the byte changes
    damaged[at] ^= mask;
    ExpectResultOrClearError(damaged, Label("flipped at", at));
    damaged[at] = bytes_[at];
    if (HasFatalFailure()) return;
  }
}

TEST_P(CorpusSweep, CarvingCutCopiesStaysInsideTheFile) {
  // Every tenth cut point: the scan is one pass whatever the damage, so a
  // few lengths show as much as many.
  for (int k = 0; k < kCutPoints; k += 10) {
    const size_t length = bytes_.size() * static_cast<size_t>(k) / kCutPoints;
    ThumbnailList list;
    ErrorList errors;
    const UiTexts texts;
    const CarveResult result =
        ScanBytesForImages(std::span(bytes_).first(length), "cut.bin", {list, errors, texts});
    EXPECT_TRUE(result.finished) << Label("cut at", length);
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_GE(list[i].start, 0) << Label("cut at", length);
      EXPECT_LE(list[i].length, kCarveLengthCap);
      EXPECT_LE(uint64_t(list[i].start + list[i].length), length) << Label("cut at", length);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RealCaches, CorpusSweep, ::testing::ValuesIn(RealCaches()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusSweep);

// The recycle-bin indexes are small: every cut length, and the same flips.
TEST(RecycleBinSweep, CutAndFlippedIndexesStopAtACompleteRecord) {
  const fs::path dir = fs::path(GLINTVANE_CORPUS_DIR) / "real" / "info2";
  auto indexes = FilesIn(dir, ".INFO2");
  for (const fs::path& nine_x : FilesIn(dir, ".INFO")) indexes.push_back(nine_x);
  std::mt19937 random(kFlipSeed);
  for (const fs::path& path : indexes) {
    std::vector<uint8_t> bytes = ReadAll(path);
    const std::vector<uint8_t> original = bytes;
    for (size_t length = 0; length <= bytes.size(); ++length) {
      MemoryByteSource source{std::span<const uint8_t>(bytes).first(length)};
      const RecycleBinIndex index = ReadRecycleBinRecords(source);
      if (!index.records.empty()) {
        EXPECT_LE(16 + index.records.size() * index.record_size, length) << path << " " << length;
      }
    }
    for (int i = 0; i < kFlips && !bytes.empty(); ++i) {
      const size_t at = random() % bytes.size();
      bytes[at] ^= static_cast<uint8_t>(random() % 255 + 1);
      MemoryByteSource source(bytes);
      const RecycleBinIndex index = ReadRecycleBinRecords(source);
      EXPECT_LE(index.records.size() * size_t{kIndexMinRecordSize}, bytes.size())
          << path << " " << at;
      bytes[at] = original[at];
    }
  }
}

}  // namespace
}  // namespace glintvane
