#include "carve/carve_scan.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "base/error_codes.h"
#include "carve/carved_images.h"
#include "tests/carve/carve_fixtures.h"

namespace glintvane {
namespace {

using testing::kBareSignature;
using testing::MakeJpeg;
using testing::Plant;
using testing::TempFile;
using testing::WithThumbnail;

// A multiple of the size of the blocks the scan reads: offsets around it lie
// on a block boundary.
constexpr size_t kBlock = size_t{1} << 20;

class Steps final : public ProgressSink {
 public:
  void OnProgress(int position, const std::string& text) override {
    positions.push_back(position);
    last_text = text;
  }
  std::vector<int> positions;
  std::string last_text;
};

class CarveScanTest : public ::testing::Test {
 protected:
  CarveResult Scan(const std::vector<uint8_t>& bytes, const std::string& path = "mem") {
    return ScanBytesForImages(bytes, path, {list, errors, texts, &steps});
  }
  CarveResult ScanFile(const std::string& path) {
    return ScanFileForImages(path, {list, errors, texts, &steps});
  }
  // A bare signature whose image (6 bytes earlier) starts at `start`.
  static void PlantBare(std::vector<uint8_t>& file, size_t start) {
    Plant(file, start + 6, kBareSignature);
  }

  ThumbnailList list;
  ErrorList errors;
  UiTexts texts;
  Steps steps;
};

TEST_F(CarveScanTest, EmptyFileFinishesWithoutRowsOrProgress) {
  const TempFile file({});
  const CarveResult result = ScanFile(file.path());
  EXPECT_TRUE(result.finished);
  EXPECT_FALSE(result.ok);  // nothing found and nothing listed before
  EXPECT_TRUE(steps.positions.empty());
  EXPECT_TRUE(errors.empty());

  list.Append(ThumbnailRow{});  // a row kept from before makes the scan a success
  EXPECT_TRUE(ScanFile(file.path()).ok);
}

TEST_F(CarveScanTest, PercentStepsEndAtOneHundred) {
  for (const size_t size : {size_t{40000}, size_t{614400}, size_t{3 * kBlock + 5}}) {
    steps.positions.clear();
    Scan(std::vector<uint8_t>(size, 0x20));
    ASSERT_EQ(steps.positions.size(), 100u) << size;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(steps.positions[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(steps.last_text, "100 %");
  }
}

TEST_F(CarveScanTest, SignatureRuleWhenThereIsNoJpegStructure) {
  // Images at 1000 and 5000 that are only signatures: each ends one byte
  // before the next start, the last at the end of the file.
  std::vector<uint8_t> file(9000, 0);
  PlantBare(file, 1000);
  PlantBare(file, 5000);
  const CarveResult result = Scan(file);
  EXPECT_TRUE(result.ok);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].key, "0");
  EXPECT_EQ(list[0].start, 1000);
  EXPECT_EQ(list[0].end, 4999);
  EXPECT_EQ(list[0].length, 3999);
  EXPECT_FALSE(list[0].complete);
  EXPECT_EQ(list[1].key, "1");
  EXPECT_EQ(list[1].start, 5000);
  EXPECT_EQ(list[1].end, 9000);
  EXPECT_EQ(list[1].length, 4000);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(list[i].carved);
    EXPECT_EQ(list[i].source_kind, SourceKind::kOpenFile);
    EXPECT_EQ(list[i].kind, ImageKind::kJfif);
    EXPECT_EQ(list.SourceOf(list[i]), "mem");
    EXPECT_EQ(RowNameText(list[i]), "---");
  }
}

TEST_F(CarveScanTest, StructuralEndsAndTheirFallbacks) {
  const auto whole = MakeJpeg(120, 90, 1);
  const auto progressive = MakeJpeg(100, 80, 2, true);
  const auto truncated = MakeJpeg(90, 90, 3);
  std::vector<uint8_t> file(1000, 0x55);
  Plant(file, 1000, whole);
  const size_t second = 1000 + whole.size() + 777;
  Plant(file, second, progressive);
  // Cut inside its scan and followed by random bytes, then the next image.
  const size_t third = second + progressive.size() + 3000;
  Plant(file, third, {truncated.begin(), truncated.begin() + 2000});
  const size_t fourth = third + 2000 + 5000;
  Plant(file, fourth, whole);
  // The last image runs off the end of the file.
  const size_t fifth = fourth + whole.size() + 100;
  Plant(file, fifth, {whole.begin(), whole.begin() + 900});

  Scan(file);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].start, 1000);
  EXPECT_EQ(list[0].length, static_cast<int64_t>(whole.size()));
  EXPECT_EQ(list[0].end, static_cast<int64_t>(1000 + whole.size()));
  EXPECT_TRUE(list[0].complete);
  EXPECT_EQ(list[1].length, static_cast<int64_t>(progressive.size()));
  EXPECT_TRUE(list[1].complete);
  EXPECT_EQ(list[2].start, static_cast<int64_t>(third));
  EXPECT_EQ(list[2].length, static_cast<int64_t>(fourth - third - 1));
  EXPECT_FALSE(list[2].complete);
  EXPECT_TRUE(list[3].complete);
  EXPECT_EQ(list[4].end, static_cast<int64_t>(file.size()));
  EXPECT_EQ(list[4].length, 900);
  EXPECT_FALSE(list[4].complete);
}

TEST_F(CarveScanTest, EmbeddedThumbnailKeepsTheOuterImageWhole) {
  const auto inner = MakeJpeg(16, 16, 4);
  const auto outer = WithThumbnail(MakeJpeg(160, 120, 5), inner);
  std::vector<uint8_t> file(300, 0);
  Plant(file, 300, outer);
  file.resize(file.size() + 5000, 0xFF);
  Scan(file);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].start, 300);
  EXPECT_EQ(list[0].length, static_cast<int64_t>(outer.size()));
  EXPECT_TRUE(list[0].complete);
  EXPECT_GT(list[1].start, list[0].start);
  EXPECT_EQ(list[1].length, static_cast<int64_t>(inner.size()));
  EXPECT_TRUE(list[1].complete);
}

TEST_F(CarveScanTest, LengthsAreCappedAtTenMebibytes) {
  std::vector<uint8_t> file(kCarveLengthCap + 3000, 0);
  PlantBare(file, 100);  // runs to the next start, more than the cap away
  PlantBare(file, kCarveLengthCap + 102);
  PlantBare(file, kCarveLengthCap + 1000);  // runs to the end, within the cap
  Scan(file);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].length, kCarveLengthCap);
  EXPECT_EQ(list[0].end, kCarveLengthCap + 101);
  EXPECT_EQ(list[1].length, 897);

  // Exactly the cap is kept; one more is cut.
  list.Clear();
  std::vector<uint8_t> exact(kCarveLengthCap + 2, 0);
  PlantBare(exact, 0);
  PlantBare(exact, kCarveLengthCap + 1);
  exact.resize(kCarveLengthCap + 1 + kCarveLengthCap + 1, 0);
  Scan(exact);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].length, kCarveLengthCap);
  EXPECT_EQ(list[1].length, kCarveLengthCap);
  EXPECT_EQ(list[1].end, static_cast<int64_t>(exact.size()));
}

TEST_F(CarveScanTest, SignaturesAcrossBlockBoundariesAndAtTheEdgesOfTheFile) {
  const auto jpeg = MakeJpeg(64, 64, 6);
  // Every way a signature and the 6 bytes before it can be cut by a block end.
  for (size_t back = 1; back <= 12; ++back) {
    list.Clear();
    std::vector<uint8_t> file(2 * kBlock, 0x11);
    Plant(file, kBlock - back, jpeg);
    const TempFile temp(file);
    ScanFile(temp.path());
    ASSERT_EQ(list.size(), 1u) << back;
    EXPECT_EQ(list[0].start, static_cast<int64_t>(kBlock - back));
    EXPECT_TRUE(list[0].complete);
    EXPECT_EQ(list[0].length, static_cast<int64_t>(jpeg.size()));
  }
  // The "J" in the last 10 bytes of the file is found; in the last 9 it is not.
  list.Clear();
  std::vector<uint8_t> tail(100, 0);
  Plant(tail, 90, kBareSignature);
  Scan(tail);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].start, 84);
  EXPECT_EQ(list[0].length, 16);
  list.Clear();
  tail.assign(100, 0);
  Plant(tail, 91, kBareSignature);
  Scan(tail);
  EXPECT_TRUE(list.empty());
}

TEST_F(CarveScanTest, SignaturesNearTheFirstByteStartAtZero) {
  std::vector<uint8_t> file(200, 0);
  Plant(file, 3, kBareSignature);
  Scan(file);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].start, 0);
  EXPECT_EQ(list[0].length, 200);

  // Two such images both start at 0: the first holds nothing and goes, and
  // the second takes its number.
  list.Clear();
  Plant(file, 0, kBareSignature);
  Plant(file, 5, kBareSignature);
  Scan(file);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].key, "0");
  EXPECT_EQ(list[0].start, 0);
  EXPECT_EQ(list[0].length, 200);
}

TEST_F(CarveScanTest, SecondFileAppendsAndLeavesEarlierRowsAlone) {
  // Rows kept from before: a cache row without an image and a carved row of
  // another file left open by a failed scan.
  ThumbnailRow cache_row;
  cache_row.key = "7";
  cache_row.source_kind = SourceKind::kImageStore;
  list.Append(cache_row);
  ThumbnailRow open_row;
  open_row.key = "1";
  open_row.carved = true;
  open_row.start = 50;
  open_row.source = list.AddSource("first.sys");
  list.Append(open_row);

  std::vector<uint8_t> file(4000, 0);
  PlantBare(file, 1000);
  PlantBare(file, 3000);
  Scan(file, "second.sys");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].length, 0);
  EXPECT_EQ(list[1].length, 0);
  EXPECT_EQ(list[1].end, 0);
  EXPECT_EQ(list.SourceOf(list[1]), "first.sys");
  EXPECT_EQ(list[2].key, "2");
  EXPECT_EQ(list[2].length, 1999);
  EXPECT_EQ(list[3].key, "3");
  EXPECT_EQ(list[3].length, 1000);
  EXPECT_EQ(list.SourceOf(list[3]), "second.sys");
}

TEST_F(CarveScanTest, RowsBeyondFourGibibytesKeepTheirOffsets) {
  // The scanner is handed the blocks of a 5 GiB file from 4 GiB on, as a scan
  // of a hibernation file reaches them.
  const int64_t base = int64_t{4} << 30;
  const auto jpeg = MakeJpeg(32, 32, 7);
  std::vector<uint8_t> block(3 * kBlock, 0);
  Plant(block, 12345, jpeg);
  PlantBare(block, 2 * kBlock + 3);
  CarvedImageScanner scanner(list, "hiberfil.sys", base + 3 * kBlock + 1000, base);
  scanner.DetectImageSignatures(block.data(), kBlock, base);
  scanner.DetectImageSignatures(block.data() + kBlock, 2 * kBlock, base + kBlock);
  scanner.CloseAtEnd(base + 3 * kBlock + 1000);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].start, base + 12345);
  EXPECT_EQ(list[0].end, base + 12345 + static_cast<int64_t>(jpeg.size()));
  EXPECT_TRUE(list[0].complete);
  EXPECT_EQ(list[1].start, base + 2 * kBlock + 3);
  EXPECT_EQ(list[1].end, base + 3 * kBlock + 1000);
  EXPECT_EQ(list[1].length, static_cast<int64_t>(kBlock + 997));
}

TEST_F(CarveScanTest, RepeatedSignaturesMakeCompactRowsQuickly) {
  // 300,000 signatures 64 bytes apart, as a hostile or damaged file has them.
  constexpr size_t kCount = 300000;
  std::vector<uint8_t> file(kCount * 64 + 64, 0x20);
  for (size_t i = 0; i < kCount; ++i) PlantBare(file, i * 64);
  const auto begun = std::chrono::steady_clock::now();
  Scan(file);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  ASSERT_EQ(list.size(), kCount);
  EXPECT_EQ(list[kCount - 1].key, std::to_string(kCount - 1));
  EXPECT_EQ(list[12345].length, 63);
  EXPECT_EQ(list[kCount - 1].length, 128);
  EXPECT_LT(seconds, 10.0);  // generous for sanitizer builds; the bench holds the real goal
  // The key of a million rows fits the string's own storage: no heap string.
  EXPECT_LE(list[kCount - 1].key.capacity(), 15u);
}

TEST_F(CarveScanTest, FileErrorsAreReportedWithTheirReason) {
  const CarveResult missing = ScanFile("/nonexistent/pagefile.sys");
  EXPECT_FALSE(missing.ok);
  EXPECT_FALSE(missing.finished);
  EXPECT_EQ(missing.error_code, kErrOpenSource);
  ASSERT_GE(errors.size(), 3u);
  EXPECT_EQ(errors.lines()[0], "Fatal error!");
  EXPECT_EQ(errors.lines()[1], "/nonexistent/pagefile.sys : No such file or directory");

  // A folder, and a FIFO that would block a plain read for ever, are refused
  // when opened.
  errors.Clear();
  const CarveResult folder = ScanFile("/tmp");
  EXPECT_FALSE(folder.finished);
  EXPECT_EQ(folder.error_code, kErrOpenSource);
  EXPECT_FALSE(errors.empty());
  const std::string fifo = ::testing::TempDir() + "carve_fifo";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  errors.Clear();
  const CarveResult pipe = ScanFile(fifo);
  EXPECT_EQ(pipe.error_code, kErrOpenSource);
  ASSERT_GE(errors.size(), 2u);
  EXPECT_EQ(errors.lines()[1], fifo + " : Not a regular file or block device");
  ::unlink(fifo.c_str());

  EXPECT_EQ(CarveErrorReason(EACCES), "Permission denied");
  EXPECT_EQ(CarveErrorReason(EMFILE), "Too many open files");
  EXPECT_EQ(CarveErrorReason(EIO), "");
}

}  // namespace
}  // namespace glintvane

namespace glintvane {
namespace {

// Asks the scan to stop when it first reports progress: after its first block.
class StopAtFirstStep final : public ProgressSink {
 public:
  void OnProgress(int, const std::string&) override { source.request_stop(); }
  std::stop_source source;
};

TEST(CarveScanStop, StoppedScanKeepsClosedRowsAndRecordsNoError) {
  std::vector<uint8_t> bytes(4 * kBlock, 0);
  Plant(bytes, 100, MakeJpeg(32, 32, 1));
  Plant(bytes, 3 * kBlock, MakeJpeg(32, 32, 2));
  const TempFile file(bytes);
  ThumbnailList list;
  ErrorList errors;
  UiTexts texts;
  StopAtFirstStep stop;
  const CarveResult result =
      ScanFileForImages(file.path(), {list, errors, texts, &stop, stop.source.get_token()});
  EXPECT_TRUE(result.stopped);
  EXPECT_FALSE(result.finished);  // a stopped scan never marks the list as carved
  EXPECT_TRUE(errors.empty());
  ASSERT_EQ(list.size(), 1u);  // the second picture lies past the stop
  EXPECT_GT(list[0].length, 0);
}

}  // namespace
}  // namespace glintvane
