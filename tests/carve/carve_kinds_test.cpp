// The kinds beyond JFIF: Exif and other JPEGs, PNG and BMP, found in the
// same pass, cut honestly when broken, and checked by decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "cache/jpeg_codec.h"
#include "carve/bmp_header.h"
#include "carve/carve_kinds.h"
#include "carve/carve_scan.h"
#include "carve/carve_verify.h"
#include "carve/crc32.h"
#include "carve/image_signatures.h"
#include "carve/png_walker.h"
#include "tests/carve/carve_fixtures.h"
#include "testsupport/heap_meter/heap_meter.h"
#include "testsupport/synthetic_pictures.h"

namespace glintvane {
namespace {

using testing::Plant;

std::vector<uint8_t> Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

struct Expected {
  size_t start;
  size_t length;
  CarveKind kind;
};

class CarveKindsTest : public ::testing::Test {
 protected:
  CarveResult Scan(const std::vector<uint8_t>& bytes, CarveKinds kinds = CarveKinds::All()) {
    CarveTarget target{list, errors, texts};
    target.kinds = kinds;
    return ScanBytesForImages(bytes, "mem", target);
  }
  void Check() {
    MemoryByteSource source(bytes_);
    CheckCarvedRows(list, 0, source);
  }
  std::vector<uint8_t> bytes_;
  ThumbnailList list;
  ErrorList errors;
  UiTexts texts;
};

TEST_F(CarveKindsTest, EachKindIsFoundExactlyInAMixedBuffer) {
  const PixelImage picture = testsupport::PatternPicture(96, 64, 3);
  const auto jfif = testsupport::MakeJpeg(120, 80, 1);
  const auto thumbnail = testsupport::WithoutJfifHeader(testsupport::MakeJpeg(32, 24, 2));
  const auto exif = testsupport::AsExifJpeg(testsupport::MakeJpeg(160, 120, 4), thumbnail);
  const auto bare = testsupport::WithoutJfifHeader(testsupport::MakeJpeg(64, 64, 5));
  const auto png = testsupport::EncodePngCompressed(picture, true);
  const auto bmp = testsupport::EncodeBmp(picture);
  const auto rle = testsupport::EncodeBmp(picture, 8, true);
  bytes_ = Noise(200000, 9);
  const std::vector<Expected> planted = {
      {1001, jfif.size(), CarveKind::kJfif},  {30002, exif.size(), CarveKind::kExif},
      {70003, bare.size(), CarveKind::kJpeg}, {100004, png.size(), CarveKind::kPng},
      {130005, bmp.size(), CarveKind::kBmp},  {180006, rle.size(), CarveKind::kBmp}};
  Plant(bytes_, 1001, jfif);
  Plant(bytes_, 30002, exif);
  Plant(bytes_, 70003, bare);
  Plant(bytes_, 100004, png);
  Plant(bytes_, 130005, bmp);
  Plant(bytes_, 180006, rle);

  ASSERT_TRUE(Scan(bytes_).ok);
  Check();
  // The Exif picture's thumbnail is a picture of its own, inside it.
  const size_t inner = 30002 + static_cast<size_t>(std::search(exif.begin(), exif.end(),
                                                               thumbnail.begin(), thumbnail.end()) -
                                                   exif.begin());
  std::vector<Expected> expected = planted;
  expected.insert(expected.begin() + 2, {inner, thumbnail.size(), CarveKind::kJpeg});
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const ThumbnailRow row = list.RowCopy(i);
    EXPECT_EQ(row.key, std::to_string(i));
    EXPECT_EQ(row.start, static_cast<int64_t>(expected[i].start)) << i;
    EXPECT_EQ(row.length, static_cast<int64_t>(expected[i].length)) << i;
    EXPECT_EQ(row.carve_kind, expected[i].kind) << i;
    EXPECT_TRUE(row.complete) << i;
    EXPECT_EQ(row.decodes, DecodeCheck::kDecodes) << i;
  }
  EXPECT_EQ(RowExtension(list[4]), ".png");
  EXPECT_EQ(RowExtension(list[5]), ".bmp");
  EXPECT_EQ(list[2].kind, ImageKind::kJpeg);

  // The default scan of the same bytes is the JFIF scan: one row, as ever.
  list.Clear();
  Scan(bytes_, kDefaultCarveKinds);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].start, 1001);
  EXPECT_EQ(list[0].kind, ImageKind::kJfif);
  EXPECT_EQ(list[0].decodes, DecodeCheck::kUnchecked);

  // Each kind alone finds its own pictures and no others.
  for (const CarveKind kind : {CarveKind::kExif, CarveKind::kPng, CarveKind::kBmp}) {
    list.Clear();
    Scan(bytes_, CarveKinds::Only(kind));
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].carve_kind, kind);
    EXPECT_EQ(list.size(), kind == CarveKind::kBmp ? 2u : 1u);
  }
}

TEST_F(CarveKindsTest, BrokenJfifRowEndsBeforeAPictureListedAtItsEnd) {
  // A JFIF picture cut inside its scan, then a PNG: the JFIF row ends one
  // byte before the PNG, which is found only once its IEND is read.
  const auto jfif = testsupport::MakeJpeg(120, 80, 1);
  const auto png = testsupport::MakePng(40, 30, 2);
  bytes_.assign(1000, 0x20);
  Plant(bytes_, 100, {jfif.begin(), jfif.begin() + 500});
  Plant(bytes_, 700, png);
  bytes_.resize(bytes_.size() + 5000, 0x20);
  Scan(bytes_);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].start, 100);
  EXPECT_EQ(list[0].end, 699);
  EXPECT_FALSE(list[0].complete);
  EXPECT_EQ(list[1].start, 700);
  EXPECT_TRUE(list[1].complete);

  // A bare JFIF signature inside a JPEG listed at its end: its row is made
  // first, yet the rows come out in the order of their starts.
  auto jpeg = testsupport::WithoutJfifHeader(testsupport::MakeJpeg(48, 32, 3));
  const std::vector<uint8_t> comment = {0xFF, 0xFE, 0x00, 0x09, 'J', 'F', 'I', 'F', 0, 0, 0};
  const size_t after_tables = 4 + ((size_t{jpeg[4]} << 8) | jpeg[5]);
  jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(after_tables), comment.begin(), comment.end());
  list.Clear();
  bytes_.assign(50, 0x20);
  Plant(bytes_, 50, jpeg);
  bytes_.resize(bytes_.size() + 100, 0x20);
  Scan(bytes_);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].start, 50);
  EXPECT_EQ(list[0].carve_kind, CarveKind::kJpeg);
  EXPECT_EQ(list[0].length, static_cast<int64_t>(jpeg.size()));
  EXPECT_EQ(list[1].start, static_cast<int64_t>(50 + after_tables + 4 - 6));  // 6 before the "J"
  EXPECT_EQ(list[1].carve_kind, CarveKind::kJfif);
  EXPECT_EQ(list[1].key, "1");

  // "JFIF" 6 bytes after any JPEG start makes that start a JFIF image, one
  // row only, however the segment is marked.
  jpeg = testsupport::WithoutJfifHeader(testsupport::MakeJpeg(48, 32, 3));
  jpeg.insert(jpeg.begin() + 2, comment.begin(), comment.end());
  list.Clear();
  bytes_.assign(50, 0x20);
  Plant(bytes_, 50, jpeg);
  bytes_.resize(bytes_.size() + 100, 0x20);
  Scan(bytes_);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].carve_kind, CarveKind::kJfif);
  EXPECT_TRUE(list[0].complete);
}

TEST_F(CarveKindsTest, CorruptPngIsCutAtItsLastGoodChunk) {
  const PixelImage picture = testsupport::PatternPicture(64, 64, 7);
  const auto png = testsupport::EncodePngCompressed(picture);
  // IHDR ends at 33; the first chunk after it is IDAT (libpng writes no
  // other chunk here).
  ASSERT_EQ(std::string(png.begin() + 37, png.begin() + 41), "IDAT");
  bytes_.assign(4000, 0);
  Plant(bytes_, 500, png);
  bytes_[500 + 60] ^= 0x01;  // a bit of the compressed data: the CRC no longer matches
  bytes_.resize(bytes_.size() + 3000, 0);
  Scan(bytes_);
  Check();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].start, 500);
  EXPECT_EQ(list[0].length, 33);
  EXPECT_FALSE(list[0].complete);
  EXPECT_EQ(list[0].decodes, DecodeCheck::kFails);

  // Cut by the end of the file: the row runs to the end.
  list.Clear();
  bytes_.assign(700, 0);
  Plant(bytes_, 600, png);
  bytes_.resize(600 + png.size() / 2);
  Scan(bytes_);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].end, static_cast<int64_t>(bytes_.size()));
  EXPECT_FALSE(list[0].complete);

  // A chunk whose length reaches past the carving cap ends the walk at it.
  PngWalker walker(1000);
  std::vector<uint8_t> huge(png.begin(), png.begin() + 33);
  huge.insert(huge.end(), {0x00, 0x00, 0x04, 0x00, 'I', 'D', 'A', 'T'});
  EXPECT_EQ(walker.Feed(huge), 36u);
  EXPECT_EQ(walker.status(), PngWalker::Status::kBroken);
  EXPECT_EQ(walker.checked_length(), 33u);
}

TEST_F(CarveKindsTest, BmpWithLyingSizesIsRejectedAndTruncatedOneIsCut) {
  const PixelImage picture = testsupport::PatternPicture(30, 20, 5);
  const auto bmp = testsupport::EncodeBmp(picture);
  ASSERT_TRUE(ReadBmpHeader(bmp.data(), bmp.size()).has_value());
  const auto lie = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> b = bmp;
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(value >> (8 * k));
    return ReadBmpHeader(b.data(), b.size()).has_value();
  };
  const auto size = static_cast<uint32_t>(bmp.size());
  EXPECT_FALSE(lie(2, size - 1));                      // the file size misses a pixel row's byte
  EXPECT_FALSE(lie(2, size + kBmpTrailingSlack + 1));  // and claims far more than the pixels
  EXPECT_TRUE(lie(2, size + 2));                       // a writer's padding
  EXPECT_FALSE(lie(10, 20));                           // pixels inside the headers
  EXPECT_FALSE(lie(14, 41));                           // no such info header
  EXPECT_FALSE(lie(18, kMaxBmpSide + 1));              // width
  EXPECT_FALSE(lie(30, 4));                            // JPEG inside
  EXPECT_FALSE(lie(6, 1));                             // reserved bytes
  EXPECT_FALSE(ReadBmpHeader(bmp.data(), 53).has_value());

  // Cut by the end of the file: listed to the end, incomplete, not decoded.
  bytes_.assign(300, 0x42);
  Plant(bytes_, 100, bmp);
  bytes_.resize(100 + bmp.size() - 10);
  Scan(bytes_, CarveKinds::Only(CarveKind::kBmp));
  Check();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].start, 100);
  EXPECT_EQ(list[0].end, static_cast<int64_t>(bytes_.size()));
  EXPECT_FALSE(list[0].complete);
  EXPECT_EQ(list[0].decodes, DecodeCheck::kFails);

  // RLE runs that overflow a row do not decode; the same picture whole does.
  auto rle = testsupport::EncodeBmp(picture, 8, true);
  const auto layout = ReadBmpHeader(rle.data(), rle.size());
  ASSERT_TRUE(layout.has_value());
  EXPECT_TRUE(BmpPixelsDecode(rle, *layout));
  rle[layout->pixel_offset] = 200;  // a run of 200 in a row of 30
  EXPECT_FALSE(BmpPixelsDecode(rle, *layout));
  rle.resize(rle.size() - 2);  // and no end-of-bitmap code
  EXPECT_FALSE(BmpPixelsDecode(rle, *layout));
}

TEST_F(CarveKindsTest, JpegWithGarbageScanDataDoesNotDecode) {
  auto jpeg = testsupport::MakeJpeg(200, 150, 8);
  EXPECT_EQ(CheckCarvedPicture(CarveKind::kJfif, jpeg, true), DecodeCheck::kDecodes);
  // Bytes without FF in the middle of the scan: the structure still ends at
  // its end marker, the data is not a picture's.
  std::mt19937 random(3);
  for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 400; ++i) {
    jpeg[i] = static_cast<uint8_t>(random() % 255);
  }
  EXPECT_EQ(WalkJpeg(jpeg).status, JpegWalker::Status::kComplete);
  EXPECT_EQ(CheckCarvedPicture(CarveKind::kJfif, jpeg, true), DecodeCheck::kFails);
  // A header claiming more pixels than are checked is refused.
  const auto big = testsupport::MakeJpeg(64, 64, 1);
  EXPECT_EQ(CheckCarvedPicture(CarveKind::kJfif, big, true, 64 * 63), DecodeCheck::kFails);
  // Incomplete rows are not decoded at all.
  EXPECT_EQ(CheckCarvedPicture(CarveKind::kJfif, big, false), DecodeCheck::kFails);
}

// A grey 8x8 progressive JPEG whose every AC coefficient is sent in its own
// scans, refined bit by bit: 256 scans where encoders write about ten.
std::vector<uint8_t> ManyScanJpeg() {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = 8;
  info.image_height = 8;
  info.input_components = 1;
  info.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  std::vector<jpeg_scan_info> scans;
  for (int al = 3; al >= 0; --al) {
    const int ah = al == 3 ? 0 : al + 1;
    scans.push_back({1, {0}, 0, 0, ah, al});
    for (int k = 1; k < 64; ++k) scans.push_back({1, {0}, k, k, ah, al});
  }
  info.scan_info = scans.data();
  info.num_scans = static_cast<int>(scans.size());
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> pixels(64);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37);
  for (int y = 0; y < 8; ++y) {
    JSAMPROW row = pixels.data() + 8 * y;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> jpeg(out, out + size);
  std::free(out);
  return jpeg;
}

TEST_F(CarveKindsTest, CheckStopsAtItsScanLimit) {
  const auto jpeg = ManyScanJpeg();
  EXPECT_EQ(WalkJpeg(jpeg).status, JpegWalker::Status::kComplete);
  const auto checked = CheckJpegDecodes(jpeg, kMaxCheckedPixels);
  ASSERT_FALSE(checked.has_value());
  EXPECT_EQ(checked.error(), "too many scans");
  // The same picture in libjpeg's own progression decodes.
  EXPECT_EQ(CheckCarvedPicture(CarveKind::kJpeg, testsupport::MakeJpeg(8, 8, 1), true),
            DecodeCheck::kDecodes);
}

TEST_F(CarveKindsTest, HostileStartsCostBoundedWork) {
  const auto repeat = [](std::vector<uint8_t> unit, size_t size) {
    std::vector<uint8_t> out;
    while (out.size() < size) out.insert(out.end(), unit.begin(), unit.end());
    return out;
  };
  const auto png = testsupport::MakePng(4, 4, 1);
  const std::vector<uint8_t> png_head(png.begin(), png.begin() + 33);
  // A JPEG start whose APP1 segment runs over the next ones.
  const std::vector<uint8_t> app1 = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xD8};
  constexpr size_t kSize = size_t{4} << 20;
  for (const auto& unit :
       {std::vector<uint8_t>{'B', 'M'}, std::vector<uint8_t>(png.begin(), png.begin() + 8),
        png_head, app1, std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xDB}}) {
    list.Clear();
    const auto bytes = repeat(unit, kSize);
    std::vector<uint8_t> buffer(kCarveHistory + bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer.begin() + kCarveHistory);
    testsupport::ResetPeakHeapBytes();
    const size_t before = testsupport::LiveHeapBytes();
    CarvedImageScanner scanner(list, "hostile", static_cast<int64_t>(bytes.size()), 0,
                               kDefaultCarveRowLimit, CarveKinds::All());
    for (size_t at = 0; at < bytes.size(); at += 65536) {
      scanner.DetectImageSignatures(buffer.data() + kCarveHistory + at,
                                    std::min<size_t>(65536, bytes.size() - at),
                                    static_cast<int64_t>(at));
    }
    scanner.CloseAtEnd(static_cast<int64_t>(bytes.size()));
    // Each byte read by a handful of walks at most, and memory for the
    // rows only (a PNG header every 33 bytes is a row each, cut at once).
    EXPECT_LT(scanner.bytes_walked(), 9 * bytes.size()) << unit.size();
    EXPECT_LE(testsupport::PeakHeapBytes() - before, (1u << 20) + 40 * list.size()) << unit.size();
    EXPECT_EQ(list.size(), unit.size() == 33 ? bytes.size() / 33 : 0u) << unit.size();
  }
}

TEST(CarveKindsParseTest, NamesListsAndErrors) {
  EXPECT_EQ(ParseCarveKinds("jfif"), kDefaultCarveKinds);
  EXPECT_EQ(ParseCarveKinds("all"), CarveKinds::All());
  EXPECT_EQ(ParseCarveKinds("bmp, png,png"),
            CarveKinds::Only(CarveKind::kBmp).With(CarveKind::kPng));
  EXPECT_EQ(CarveKindsText(*ParseCarveKinds("png,exif")), "exif,png");
  EXPECT_EQ(CarveKindsText(CarveKinds::All()), "jfif,exif,jpeg,png,bmp");
  EXPECT_FALSE(ParseCarveKinds("gif").has_value());
  EXPECT_NE(ParseCarveKinds("jfif,gif").error().find("\"gif\""), std::string::npos);
  EXPECT_FALSE(ParseCarveKinds("").has_value());
  EXPECT_FALSE(ParseCarveKinds("jfif,").has_value());
  EXPECT_FALSE(ParseCarveKinds("JFIF").has_value());
}

TEST(CarveSearchTest, Crc32AndCombinedSearchMatchTheirReferences) {
  const std::string check = "123456789";
  EXPECT_EQ(UpdateCrc32(0, reinterpret_cast<const uint8_t*>(check.data()), check.size()),
            0xCBF43926u);
  const auto noise = Noise(5000, 4);
  for (size_t from : {size_t{0}, size_t{3}, size_t{17}}) {
    for (size_t n : {size_t{63}, size_t{64}, size_t{65}, size_t{1000}, size_t{4983}}) {
      EXPECT_EQ(UpdateCrc32(7, noise.data() + from, n),
                UpdateCrc32Tables(7, noise.data() + from, n));
    }
  }

  // Bytes drawn from the patterns' own bytes, at every alignment.
  std::mt19937 random(5);
  const uint8_t alphabet[] = {'J', 'F', 0, 0xFF, 0xD8, 0x89, 'P', 'B', 'M', 'x'};
  SignatureSet all;
  all.jfif = true;
  all.AddPair(0xFF, 0xD8);
  all.AddPair(0x89, 'P');
  all.AddPair('B', 'M');
  SignatureSet pairs_only;
  pairs_only.AddPair('B', 'M');
  for (const SignatureSet& set : {all, pairs_only}) {
    for (size_t size : {size_t{0}, size_t{31}, size_t{33}, size_t{100003}}) {
      std::vector<uint8_t> bytes(size + 4);
      for (auto& b : bytes) b = alphabet[random() % sizeof alphabet];
      std::vector<size_t> expected, fast, sse2;
      FindImageSignaturesScalar(bytes.data(), size, set, expected);
      FindImageSignatures(bytes.data(), size, set, fast);
      FindImageSignaturesSse2(bytes.data(), size, set, sse2);
      EXPECT_EQ(fast, expected) << size;
      EXPECT_EQ(sse2, expected) << size;
    }
  }
}

}  // namespace
}  // namespace glintvane
