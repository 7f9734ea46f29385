#include "carve/carve_scan.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "base/error_codes.h"
#include "carve/carved_images.h"
#include "tests/carve/carve_fixtures.h"
#include "testsupport/heap_meter/heap_meter.h"

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
  ASSERT_GE(errors.Lines(texts).size(), 3u);
  EXPECT_EQ(errors.Lines(texts)[0], "Fatal error!");
  EXPECT_EQ(errors.Lines(texts)[1], "/nonexistent/pagefile.sys : No such file or directory");

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
  ASSERT_GE(errors.Lines(texts).size(), 2u);
  EXPECT_EQ(errors.Lines(texts)[1], fifo + " : Not a regular file or block device");
  ::unlink(fifo.c_str());

  EXPECT_EQ(CarveErrorReason(EACCES), "Permission denied");
  EXPECT_EQ(CarveErrorReason(EMFILE), "Too many open files");
  EXPECT_EQ(CarveErrorReason(EIO), "");
}

TEST_F(CarveScanTest, DenseSignaturesTakeAtMost48BytesARowAndStopAtTheLimit) {
  // Back-to-back "JFIF\0": a row every five bytes.
  std::vector<uint8_t> file;
  for (int i = 0; i < 400000; ++i)
    file.insert(file.end(), kBareSignature.begin(), kBareSignature.end());
  testsupport::ResetPeakHeapBytes();
  const size_t before = testsupport::LiveHeapBytes();
  const CarveResult all = Scan(file);
  const size_t rows = list.size();
  ASSERT_GT(rows, 390000u);
  EXPECT_TRUE(all.finished);
  EXPECT_LE((testsupport::PeakHeapBytes() - before) / rows, 48u);
  EXPECT_LE((testsupport::LiveHeapBytes() - before) / rows, 48u);
  // Rows still read as full records, and a copy makes none.
  EXPECT_EQ(list.RowCopy(7).key, "7");
  EXPECT_EQ(list.RowCopy(7).start, 34);  // the first two both start at 0; one is dropped
  EXPECT_EQ(list[7].length, 4);
  EXPECT_TRUE(list[7].carved);
  EXPECT_EQ(list.IndexOf("7"), 7);

  // With a limit the scan stops at it with its own error; the rows stay,
  // the last one ended where the next would have started.
  list.Clear();
  errors.Clear();
  CarveTarget target{list, errors, texts, &steps};
  target.row_limit = 1000;
  const CarveResult capped = ScanBytesForImages(file, "dense", target);
  EXPECT_FALSE(capped.finished);
  EXPECT_FALSE(capped.ok);
  EXPECT_EQ(capped.error_code, kErrCarveRowLimit);
  ASSERT_EQ(list.size(), 1000u);
  EXPECT_EQ(list[999].start, 999 * 5 - 1);
  EXPECT_EQ(list[999].length, 4);
  ASSERT_EQ(errors.Lines(texts).size(), 4u);
  EXPECT_EQ(errors.Lines(texts)[1], "dense");
  EXPECT_NE(errors.Lines(texts)[2].find("after 1000 rows, its row limit"), std::string::npos);
}

// Cuts the scanned file short once the first block is in.
class Shrinker final : public ProgressSink {
 public:
  explicit Shrinker(std::string path) : path_(std::move(path)) {}
  void OnProgress(int, const std::string&) override {
    if (!done_) done_ = truncate(path_.c_str(), 300000) == 0;
  }

 private:
  std::string path_;
  bool done_ = false;
};

TEST_F(CarveScanTest, FileThatShrinksDuringTheScanFails) {
  std::vector<uint8_t> file(4 * kBlock, 0x20);
  PlantBare(file, 1000);
  PlantBare(file, 200000);
  const TempFile temp(file);
  Shrinker shrinker(temp.path());
  const CarveResult result = ScanFileForImages(temp.path(), {list, errors, texts, &shrinker});
  EXPECT_FALSE(result.finished);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error_code, kErrFileShrank);
  // The rows found stay; the last one ends where the file now ends.
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].end, 300000);
  ASSERT_EQ(errors.Lines(texts).size(), 4u);
  EXPECT_EQ(errors.Lines(texts)[2],
            "Details: the file ended at byte 300000; it was 4194304 bytes long when the scan "
            "began, so it changed while it was read");
}

TEST_F(CarveScanTest, ImagesValidForEachOtherAreWalkedOnceNotOncePerImage) {
  // Every 4 KiB page starts a JPEG; an APP1 segment makes the images before
  // it step over the new start, and all of them go on through one frame, one
  // scan and entropy data of stuffed FF 00 pairs: 64 walks busy on each byte.
  constexpr size_t kPage = 4096;
  constexpr uint8_t kJoin = 32;
  std::vector<uint8_t> file(2 * kBlock);
  for (size_t page = 0; page < file.size(); page += kPage) {
    const std::vector<uint8_t> head = {0xFF, 0xE1,      0,   kJoin - 2, 0xFF, 0xD8, 0xFF, 0xE0,
                                       0,    kJoin - 8, 'J', 'F',       'I',  'F',  0};
    Plant(file, page, head);
    const std::vector<uint8_t> frame = {0xFF, 0xC0, 0,    11, 8, 0, 16, 0, 16, 1,  1, 0x11,
                                        0,    0xFF, 0xDA, 0,  8, 1, 1,  0, 0,  63, 0};
    Plant(file, page + kJoin, frame);
    for (size_t i = page + kJoin + frame.size() + 1; i + 1 < page + kPage; i += 2) file[i] = 0xFF;
  }
  CarvedImageScanner scanner(list, "walkers", static_cast<int64_t>(file.size()));
  std::vector<uint8_t> buffer(kCarveHistory + file.size());
  std::copy(file.begin(), file.end(), buffer.begin() + kCarveHistory);
  for (size_t at = 0; at < file.size(); at += kPage) {
    scanner.DetectImageSignatures(buffer.data() + kCarveHistory + at, kPage,
                                  static_cast<int64_t>(at));
  }
  scanner.CloseAtEnd(static_cast<int64_t>(file.size()));
  // Each byte is walked about once, not once for each of 64 images.
  EXPECT_LT(scanner.bytes_walked(), 2 * file.size());
  // And the walks still end where they would one by one: none completes, so
  // each image runs to one byte before the next start.
  ASSERT_EQ(list.size(), file.size() / kPage);
  EXPECT_EQ(list[0].start, 4);
  EXPECT_EQ(list[0].length, static_cast<int64_t>(kPage - 1));
  EXPECT_FALSE(list[0].complete);
  EXPECT_EQ(list[100].start, static_cast<int64_t>(100 * kPage + 4));
  // With an end marker in the last page, every image still walking (the 64
  // newest) completes there.
  list.Clear();
  file.end()[-2] = 0xFF;
  file.end()[-1] = 0xD9;
  file.end()[-3] = 0x00;
  Scan(file);
  ASSERT_EQ(list.size(), file.size() / kPage);
  EXPECT_FALSE(list[list.size() - 65].complete);
  EXPECT_TRUE(list[list.size() - 64].complete);
  EXPECT_TRUE(list[list.size() - 1].complete);
  EXPECT_EQ(list[list.size() - 1].end, static_cast<int64_t>(file.size()));
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
