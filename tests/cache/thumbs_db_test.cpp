// The Catalog, the thumbnail streams, the rows and the image store, the File
// Details lines and the progress steps.
#include "cache/thumbs_db.h"

#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "cache/image_info.h"
#include "tests/cache/cache_test_util.h"
#include "testsupport/cfb_writer.h"
#include "testsupport/synthetic_pictures.h"
#include "testsupport/thumbs_fixtures.h"

namespace glintvane {
namespace {

using namespace testsupport;
using testing::ReadBytes;
using testing::StoredBytes;

constexpr uint64_t kTime2004 = 127370000000000000ull;  // 2004-08-14 23:33:20 UTC

std::vector<uint8_t> Jpeg(int seed, int w = 40, int h = 30) {
  return MakeJpeg(w, h, seed);
}

CfbEntry Stream(std::string name, std::vector<uint8_t> bytes) {
  return CfbEntry{.name = std::move(name), .bytes = std::move(bytes)};
}

// Catalog as the second entry, then one stream per item: the XP layout.
std::vector<uint8_t> XpCache(int count, bool catalog_first_sector = true) {
  std::vector<CatalogItem> items;
  std::vector<CfbEntry> entries;
  for (int id = 1; id <= count; ++id) {
    items.push_back({id, "picture " + std::to_string(id) + ".jpg", kTime2004 + id * 10000000ull});
    entries.push_back(Stream(XpStreamName(id), MakeJfifThumbStream(Jpeg(id))));
  }
  const CfbEntry catalog = Stream("Catalog", MakeCatalog(items));
  if (catalog_first_sector) {
    entries.insert(entries.begin() + 1, catalog);
  } else {
    entries.push_back(catalog);
  }
  return BuildCompoundFile(entries, CfbOptions{.root_modified = kTime2004}).bytes;
}

TEST(ThumbsDbTest, ReadsEveryThumbnailAfterTheCatalog) {
  // Mend 1: the Catalog is the second entry, as in real XP caches; the walk
  // goes on to the end of the directory.
  const auto out = ReadBytes(XpCache(25));
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.list.size(), 25u);
  int64_t at = 0;
  for (int id = 1; id <= 25; ++id) {
    const ThumbnailRow& row = out.list[static_cast<size_t>(id - 1)];
    EXPECT_EQ(row.key, std::to_string(id));
    EXPECT_EQ(row.name, "picture " + std::to_string(id) + ".jpg");
    EXPECT_EQ(row.filetime, kTime2004 + id * 10000000ull);
    EXPECT_EQ(row.kind, ImageKind::kJfif);
    EXPECT_EQ(row.source_kind, SourceKind::kImageStore);
    EXPECT_EQ(row.width, 40);
    EXPECT_EQ(row.height, 30);
    EXPECT_EQ(StoredBytes(out, row), Jpeg(id));
    EXPECT_EQ(row.start, at);
    EXPECT_EQ(row.end, at + row.length);
    at = row.end;
  }
  EXPECT_EQ(out.store.size(), at);
}

TEST(ThumbsDbTest, CatalogInTheFirstDirectorySectorStreamsLater) {
  // The Part's stop rule would leave these rows without images.
  const auto out = ReadBytes(XpCache(9, true));
  ASSERT_TRUE(out.result.ok);
  for (size_t i = 0; i < out.list.size(); ++i) EXPECT_GT(out.list[i].length, 0) << i;
}

TEST(ThumbsDbTest, StreamAndCatalogMeetByKeyWhicheverComesFirst) {
  auto out = ReadBytes(XpCache(12, false));  // streams first, Catalog last
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.list.size(), 12u);
  const ThumbnailRow* ten = out.list.Find("10");
  ASSERT_NE(ten, nullptr);
  EXPECT_EQ(ten->name, "picture 10.jpg");
  EXPECT_EQ(StoredBytes(out, *ten), Jpeg(10));
  EXPECT_EQ(out.list.IndexOf("10"), 9);  // made by the stream "01", in stream order
}

TEST(ThumbsDbTest, FileDetailsLinesInOrder) {
  const auto out = ReadBytes(XpCache(3), "/evidence/case 7/Thumbs.db");
  ASSERT_TRUE(out.result.ok);
  const auto& d = out.result.details;
  ASSERT_EQ(d.size(), 6u);
  EXPECT_EQ(d[0], "File Name: Thumbs.db");
  EXPECT_EQ(d[1], "Directory Name: /evidence/case 7/");
  EXPECT_EQ(d[2].rfind("Size: ", 0), 0u);
  EXPECT_EQ(d[3], "Root Entry modify timestamp: 2004-08-14 23:33:20");
  EXPECT_EQ(d[4], "Version: 7");
  EXPECT_EQ(d[5], "Thumbnails: 3");
}

TEST(ThumbsDbTest, ProgressStepsOfTheContainerAndTheCatalog) {
  const auto out = ReadBytes(XpCache(4));
  const std::vector<int> container = {3, 7, 9, 11, 13, 15, 17, 19};
  ASSERT_GE(out.progress.size(), container.size());
  EXPECT_EQ(std::vector<int>(out.progress.begin(), out.progress.begin() + 8), container);
  // Catalog entries: base 10, total 4, span 100, counter from 1: 60, 85, 110,
  // 135; what is shown stops at 100.
  EXPECT_EQ(std::vector<int>(out.progress.begin() + 8, out.progress.begin() + 12),
            (std::vector<int>{60, 85, 100, 100}));
  // Thumbnails after the Catalog do not move the bar, nor does the final step.
  for (size_t i = 12; i < out.progress.size(); ++i) EXPECT_EQ(out.progress[i], 100);
  // Without a Catalog the walk does not move the bar; the end brings it to 100.
  const auto later =
      ReadBytes(BuildCompoundFile({Stream("256_ab", MakeLaterThumbStream(Jpeg(1)))}).bytes);
  EXPECT_EQ(later.progress, (std::vector<int>{3, 7, 9, 11, 13, 15, 17, 19, 100}));
}

TEST(ThumbsDbTest, LowerCaseCatalogIsAThumbnailStream) {
  std::vector<CfbEntry> entries = {Stream("catalog", MakeCatalog({{1, "a.jpg", 0}}))};
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  EXPECT_EQ(out.result.error_code, kErrMissingEnd);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2], "Details: missing end of file");
}

std::vector<uint8_t> WithComment(std::vector<uint8_t> jpeg, size_t bytes) {
  // COM segments after the APP0 segment (SOI 2 + APP0 18 bytes).
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 20);
  while (bytes > 0) {
    const size_t n = std::min<size_t>(bytes, 60000);
    out.push_back(0xFF);
    out.push_back(0xFE);
    out.push_back(static_cast<uint8_t>((n + 2) >> 8));
    out.push_back(static_cast<uint8_t>((n + 2) & 0xFF));
    out.insert(out.end(), n, 'x');
    bytes -= n;
  }
  out.insert(out.end(), jpeg.begin() + 20, jpeg.end());
  return out;
}

TEST(ThumbsDbTest, ThumbnailOver64KiBIsRead) {
  // Mend 2: the size field is 32-bit.
  const auto big = WithComment(Jpeg(3), 70000);
  ASSERT_GT(big.size(), 65536u);
  const auto out = ReadBytes(BuildCompoundFile({Stream("1", MakeJfifThumbStream(big))}).bytes);
  ASSERT_TRUE(out.result.ok) << out.errors.Lines(testing::EnglishTexts())[2];
  ASSERT_EQ(out.list.size(), 1u);
  EXPECT_EQ(StoredBytes(out, out.list[0]), big);
  EXPECT_EQ(out.list[0].width, 40);
}

TEST(ThumbsDbTest, RawThumbnailOver64KiBIsRead) {
  auto stream = MakeRawColourStream(PatternPicture(32, 24, 5));
  // A comment before the scan header: the rebuilt JPEG skips it.
  std::vector<uint8_t> comment = {0xFF, 0xFE, 0xEA, 0x62};
  comment.insert(comment.end(), 0xEA62 - 2, 'c');
  std::vector<uint8_t> big(stream.begin(), stream.begin() + 52);
  for (int i = 0; i < 2; ++i) big.insert(big.end(), comment.begin(), comment.end());
  big.insert(big.end(), stream.begin() + 52, stream.end());
  const uint32_t n = static_cast<uint32_t>(big.size());
  ASSERT_GT(n, 65536u + 28);
  for (int i = 0; i < 4; ++i) {
    big[8 + i] = static_cast<uint8_t>((n - 12) >> (8 * i));
    big[16 + i] = static_cast<uint8_t>((n - 28) >> (8 * i));
  }
  const auto out = ReadBytes(BuildCompoundFile({Stream("1", big)}).bytes);
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.list.size(), 1u);
  EXPECT_EQ(out.list[0].kind, ImageKind::kRaw);
  EXPECT_EQ(out.list[0].width, 32);
  EXPECT_EQ(out.list[0].height, 24);
}

ReadResult<ThumbnailStream> Classify(const std::vector<uint8_t>& bytes) {
  return ClassifyThumbnailStream(bytes);
}

TEST(ThumbsDbTest, StreamChecksInTheirOrder) {
  const auto good = MakeJfifThumbStream(Jpeg(1));
  ASSERT_TRUE(Classify(good));
  auto b = good;
  b.back() = 0x00;
  EXPECT_EQ(Classify(b).error().code, kErrMissingEnd);
  b = good;
  b[0] = 0x0D;
  EXPECT_EQ(Classify(b).error().code, kErrHeader);
  b = good;
  b[10] = 1;  // the upper half of the 32-bit size field
  EXPECT_EQ(Classify(b).error().code, kErrStreamLength);
  b = good;
  b[15] = 0xE1;  // Exif: FF D8 FF E1
  EXPECT_EQ(Classify(b).error().code, kErrPayloadKind);
  auto raw = MakeRawColourStream(PatternPicture(8, 8, 1));
  ASSERT_TRUE(Classify(raw));
  EXPECT_EQ(Classify(raw)->payload, ThumbnailPayload::kRaw);
  raw[18] = 1;  // the upper half of the 32-bit raw size field
  EXPECT_EQ(Classify(raw).error().code, kErrRawLength);
  EXPECT_EQ(Classify({0xD9}).error().code, kErrMissingEnd);
  EXPECT_EQ(Classify({}).error().code, kErrMissingEnd);
  EXPECT_EQ(Classify({0x0C, 0x00, 0xFF, 0xD9}).error().code, kErrStreamLength);
}

TEST(ThumbsDbTest, StreamErrorCostsOnlyItsRowAndTheReadStillFails) {
  // Nine sound thumbnails after a malformed one are all read.
  std::vector<CfbEntry> entries = {Stream("1", MakeJfifThumbStream(Jpeg(1))),
                                   Stream("2", MakeJfifThumbStream(Jpeg(2)))};
  entries[1].bytes[0] = 0x0B;
  for (int i = 3; i <= 11; ++i) {
    entries.push_back(Stream(std::to_string(i), MakeJfifThumbStream(Jpeg(i))));
  }
  entries.push_back(Stream("21", MakeJfifThumbStream(Jpeg(12))));
  entries.back().bytes.back() = 0;  // 502, and the first error stays the read's code
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  EXPECT_FALSE(out.result.ok);
  EXPECT_EQ(out.result.error_code, kErrHeader);
  ASSERT_EQ(out.list.size(), 12u);
  EXPECT_EQ(out.list[0].key, "1");
  EXPECT_EQ(out.list[0].error, 0);
  EXPECT_EQ(out.list[1].key, "2");
  EXPECT_EQ(out.list[1].error, kErrHeader);
  EXPECT_EQ(out.list[1].length, 0);
  for (size_t i = 2; i < 11; ++i) {
    EXPECT_GT(out.list[i].length, 0);
    EXPECT_EQ(out.list[i].error, 0);
  }
  EXPECT_EQ(out.list[11].key, "12");
  EXPECT_EQ(out.list[11].error, kErrMissingEnd);
  // One entry per bad stream, naming it; none more for the read.
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts()),
            (std::vector<std::string>{
                "Fatal error!", "/cases/Thumbs.db : \"2\"", "Details: unrecognized header",
                std::string(kErrorSeparator), "Fatal error!", "/cases/Thumbs.db : \"21\"",
                "Details: missing end of file", std::string(kErrorSeparator)}));
}

TEST(ThumbsDbTest, LaterWindowsStreamsAreKeyedByTheirNames) {
  const auto jpeg = Jpeg(4, 64, 48);
  const auto png = MakePng(19, 13, 2);
  std::vector<CfbEntry> entries = {
      Stream("256_608f0c251249d86c", MakeLaterThumbStream(jpeg, 1)),
      Stream("256_671e7540028b685a", MakeLaterThumbStream(png, 0xFFFFFFFF)),
  };
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.list.size(), 2u);
  EXPECT_EQ(out.list[0].key, "256_608f0c251249d86c");
  EXPECT_EQ(out.list[0].kind, ImageKind::kJfif);
  EXPECT_EQ(StoredBytes(out, out.list[0]), jpeg);
  EXPECT_EQ(out.list[0].width, 64);
  EXPECT_EQ(out.list[0].height, 48);
  EXPECT_EQ(out.list[1].key, "256_671e7540028b685a");
  EXPECT_EQ(out.list[1].kind, ImageKind::kPng);
  EXPECT_EQ(StoredBytes(out, out.list[1]), png);
  EXPECT_EQ(out.list[1].width, 19);
  EXPECT_EQ(out.list[1].height, 13);
  EXPECT_EQ(RowExtension(out.list[1]), ".png");
}

TEST(ThumbsDbTest, MixedCacheListsBothKinds) {
  std::vector<CfbEntry> entries = {
      Stream("1", MakeJfifThumbStream(Jpeg(1))),
      Stream("Catalog", MakeCatalog({{1, "flag.gif", kTime2004}})),
      Stream("256_365daafdc12012a7", MakeLaterThumbStream(MakePng(10, 10, 1), 1)),
  };
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.list.size(), 2u);
  EXPECT_EQ(out.list[0].name, "flag.gif");
  EXPECT_EQ(out.list[1].kind, ImageKind::kPng);
  EXPECT_EQ(out.list[1].name, "");
}

TEST(ThumbsDbTest, LaterWindowsStreamChecks) {
  const auto jpeg = Jpeg(1);
  auto s = MakeLaterThumbStream(jpeg);
  s[8] ^= 1;
  EXPECT_EQ(Classify(s).error().code, kErrStreamLength);
  std::vector<uint8_t> junk(100, 0x55);
  EXPECT_EQ(Classify(MakeLaterThumbStream(junk)).error().code, kErrPayloadKind);
  auto cut = jpeg;
  cut.pop_back();
  EXPECT_EQ(Classify(MakeLaterThumbStream(cut)).error().code, kErrMissingEnd);
  auto png = MakePng(4, 4, 1);
  png.resize(png.size() - 12);
  EXPECT_EQ(Classify(MakeLaterThumbStream(png)).error().code, kErrMissingEnd);
}

TEST(ThumbsDbTest, CatalogEntryLengthRules) {
  // 1044 (a name of 1024 bytes) is read, 1045 skipped, 12 skipped with the
  // walk going on 12 bytes later.
  std::vector<uint8_t> catalog = MakeCatalog({});
  auto append = [&](const std::vector<uint8_t>& e) {
    catalog.insert(catalog.end(), e.begin(), e.end());
  };
  CatalogItem longest{1, std::string(512, 'n'), kTime2004};
  auto e1 = MakeCatalogEntry(longest);
  ASSERT_EQ(e1.size(), 1044u);
  append(e1);
  CatalogItem over{2, std::string(512, 'o'), kTime2004};
  auto e2 = MakeCatalogEntry(over);
  e2.push_back(0);
  e2[0] = static_cast<uint8_t>(1045 & 0xFF);
  e2[1] = static_cast<uint8_t>(1045 >> 8);
  append(e2);
  std::vector<uint8_t> twelve = {12, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0};
  append(twelve);
  append(MakeCatalogEntry({3, "three.jpg", kTime2004}));
  std::vector<CatalogEntry> seen;
  ASSERT_TRUE(ForEachCatalogEntry(catalog, ReadCatalogHeader(catalog),
                                  [&](const CatalogEntry& e) { seen.push_back(e); }));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].id, 1);
  EXPECT_EQ(seen[0].name, std::string(512, 'n'));
  EXPECT_EQ(seen[1].id, 3);
  EXPECT_EQ(seen[1].name, "three.jpg");
}

TEST(ThumbsDbTest, CatalogEntryOfLengthZeroEndsTheRead) {
  std::vector<uint8_t> catalog = MakeCatalog({{1, "one.jpg", kTime2004}});
  catalog.insert(catalog.end(), {0, 0, 0, 0, 2, 0, 0, 0});
  std::vector<CfbEntry> entries = {Stream("Catalog", catalog)};
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  EXPECT_FALSE(out.result.ok);
  EXPECT_EQ(out.result.error_code, kErrCatalogEntryZero);
  ASSERT_EQ(out.list.size(), 1u);  // the entry before it stays
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2],
            "Details: Catalog entry of length 0 at offset 50 of 58");
  // A header length of 0 makes the header the first entry: length 0 as well.
  CatalogOptions zero;
  zero.header_length = 0;
  auto bad = MakeCatalog({{1, "one.jpg", 0}}, zero);
  bad[0] = 0;
  EXPECT_EQ(ReadBytes(BuildCompoundFile({Stream("Catalog", bad)}).bytes).result.error_code,
            kErrCatalogEntryZero);
}

TEST(ThumbsDbTest, LongAndWideNamesAreKeptWhole) {
  const std::string long_name = std::string(200, 'a') + ".jpg";
  const std::string wide = "\xE7\xB4\xA0\xE6\x9D\x90-\xF0\x9F\x98\x80 picture.png";  // 素材-😀
  std::vector<CfbEntry> entries = {
      Stream("Catalog", MakeCatalog({{1, long_name, kTime2004}, {2, wide, kTime2004}})),
      Stream("1", MakeJfifThumbStream(Jpeg(1))), Stream("2", MakeJfifThumbStream(Jpeg(2)))};
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  ASSERT_TRUE(out.result.ok);
  EXPECT_EQ(out.list[0].name, long_name);
  EXPECT_EQ(out.list[1].name, wide);
}

TEST(ThumbsDbTest, TimesAfter2038AndZeroTimes) {
  const uint64_t t2050 = FileTimeFromUnix(2524608000);  // 2050-01-01 00:00:00 UTC
  std::vector<CfbEntry> entries = {
      Stream("Catalog", MakeCatalog({{1, "late.jpg", t2050}, {2, "none.jpg", 0}}))};
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  ASSERT_TRUE(out.result.ok);
  EXPECT_EQ(out.list[0].time_text, "2050-01-01 00:00:00");
  EXPECT_EQ(out.list[0].filetime, t2050);
  EXPECT_EQ(out.list[1].time_text, "");
  EXPECT_EQ(out.list[1].length, 0);  // a Catalog entry without its stream
  EXPECT_EQ(out.list[1].kind, ImageKind::kNone);
}

TEST(ThumbsDbTest, NonNumericStreamNameMakesAnUnnamedRow) {
  std::vector<CfbEntry> entries = {Stream("Catalog", MakeCatalog({{1, "one.jpg", kTime2004}})),
                                   Stream("abc", MakeJfifThumbStream(Jpeg(1)))};
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.list.size(), 2u);
  EXPECT_EQ(out.list[1].key, "cba");
  EXPECT_EQ(out.list[1].name, "");
  EXPECT_EQ(out.list[1].time_text, "");
  EXPECT_GT(out.list[1].length, 0);
  EXPECT_EQ(out.list[0].length, 0);
}

TEST(ThumbsDbTest, RawThumbnailThatCannotBeConvertedIsSkipped) {
  auto raw = MakeRawColourStream(PatternPicture(16, 16, 1));
  raw[32] = 0;  // frame header length 0x0014 -> 0x0000: a bogus marker length
  raw[33] = 0;
  std::vector<CfbEntry> entries = {Stream("1", raw), Stream("2", MakeJfifThumbStream(Jpeg(2)))};
  const auto out = ReadBytes(BuildCompoundFile(entries).bytes);
  EXPECT_TRUE(out.result.ok);
  EXPECT_EQ(out.result.error_code, 0);
  ASSERT_EQ(out.list.size(), 1u);
  EXPECT_EQ(out.list[0].key, "2");
  ASSERT_EQ(out.errors.Lines(testing::EnglishTexts()).size(), 4u);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[0], "Fatal error!");
  EXPECT_EQ(
      out.errors.Lines(testing::EnglishTexts())[2].rfind("Details: Unknown Image Format: ", 0), 0u);
}

TEST(ThumbsDbTest, ImageStoreIsEmptiedWhenAReadStarts) {
  testing::ReadOutcome out;
  out.store.Append(std::vector<uint8_t>(1000, 7));
  const auto bytes = XpCache(2);
  MemoryByteSource source(bytes);
  ReadThumbnailCache(source, "x",
                     CacheReadTarget{out.list, out.store, out.errors, testing::EnglishTexts()});
  EXPECT_EQ(out.list[0].start, 0);
  EXPECT_EQ(out.store.size(), out.list[1].end);
}

TEST(ThumbsDbTest, MissingFileIsAPlatformError) {
  auto out = testing::ReadPath("/nonexistent/dir/Thumbs.db");
  EXPECT_FALSE(out.result.ok);
  EXPECT_EQ(out.result.error_code, kErrPlatform);
  EXPECT_EQ(out.result.details.size(), 2u);
  ASSERT_EQ(out.errors.Lines(testing::EnglishTexts()).size(), 4u);
  EXPECT_EQ(out.errors.Lines(testing::EnglishTexts())[2],
            "Details: Cannot open file \"/nonexistent/dir/Thumbs.db\". No such file or directory");
  EXPECT_EQ(out.progress.back(), 100);
}

TEST(ThumbsDbTest, ThumbnailKeys) {
  EXPECT_EQ(ThumbnailKey("01", ThumbnailPayload::kJfif), "10");
  EXPECT_EQ(ThumbnailKey("321", ThumbnailPayload::kRaw), "123");
  EXPECT_EQ(ThumbnailKey("256_ab", ThumbnailPayload::kPng), "256_ab");
  EXPECT_EQ(ThumbnailKey("\xC3\xA9"
                         "1",
                         ThumbnailPayload::kJfif),
            "1\xC3\xA9");
}

}  // namespace
}  // namespace glintvane
