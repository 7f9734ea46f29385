#include "discover/recycle_bin.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/file_time.h"
#include "discover/code_page.h"
#include "tests/discover/discover_fixtures.h"
#include "testsupport/heap_meter/heap_meter.h"

namespace glintvane {
namespace {

using testing::IndexRecordSpec;
using testing::MakeIndex;

const std::string kInfo2Dir = std::string(GLINTVANE_CORPUS_DIR) + "/real/info2/";

RecycleBinIndex ReadIndexBytes(const std::vector<uint8_t>& bytes) {
  MemoryByteSource source(bytes);
  return ReadRecycleBinRecords(source);
}

// One line of the other tool's listing: index, UTC deletion time, path.
struct ListedRecord {
  uint32_t number;
  std::string deleted;  // "2015-05-10 12:43:36"
  std::string path;
};

std::vector<ListedRecord> ReadListing(const std::string& path) {
  std::ifstream in(path);
  std::vector<ListedRecord> out;
  std::string line;
  bool table = false;
  while (std::getline(in, line)) {
    if (line.rfind("Index\t", 0) == 0) {
      table = true;
      continue;
    }
    if (!table || line.empty()) continue;
    std::istringstream fields(line);
    std::string number, deleted, gone, size, original;
    std::getline(fields, number, '\t');
    std::getline(fields, deleted, '\t');
    std::getline(fields, gone, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, original);
    out.push_back({static_cast<uint32_t>(std::stoul(number)), deleted, original});
  }
  return out;
}

std::string UtcText(uint64_t filetime) {
  std::string iso = FileTimeUtcIso(filetime);  // 2015-05-10T12:43:36Z
  iso[10] = ' ';
  iso.pop_back();
  return iso;
}

// The real indexes against the other tool's listing of the same file:
// numbers and deletion times always; paths where ours must agree (the
// 8-bit paths of Windows 9x/ME and NT written in Windows-1252, and every
// record whose 8-bit path Windows zeroed, from the UTF-16 copy or restored).
TEST(RecycleBinRecords, RealIndexesAgreeWithAnotherReader) {
  struct Case {
    std::string file;
    bool all_paths;  // false: only records whose 8-bit path was zeroed
    uint32_t record_size;
  };
  const std::vector<Case> cases = {
      {"101-rifiuti2-ME-en-1.INFO2", true, 280},
      {"102-rifiuti2-me-en-uncpath.INFO2", true, 280},
      {"103-rifiuti2-sample2.INFO2", true, 280},
      {"104-rifiuti2-2k-cht-1.INFO2", false, 800},
      {"105-rifiuti2-2k-tw-uncpath.INFO2", false, 800},
      {"106-rifiuti2-03-tw-uncpath.INFO2", false, 800},
      {"107-rifiuti2-sample1.INFO2", false, 800},
      {"108-rifiuti2-empty.INFO2", true, 800},
      {"111-rifiuti2-NT-en-1.INFO", true, 800},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto bytes = testing::ReadBytes(kInfo2Dir + c.file);
    ASSERT_FALSE(bytes.empty());
    const RecycleBinIndex index = ReadIndexBytes(bytes);
    const auto listed = ReadListing(kInfo2Dir + c.file + ".rifiuti2-output.txt");
    EXPECT_EQ(index.record_size, c.record_size);
    EXPECT_EQ(index.stop, IndexStop::kEnd);
    ASSERT_EQ(index.records.size(), listed.size());
    for (size_t k = 0; k < listed.size(); ++k) {
      SCOPED_TRACE(k);
      const RecycleBinRecord& r = index.records[k];
      EXPECT_EQ(UtcText(r.deleted), listed[k].deleted);
      const bool zeroed = bytes[20 + k * c.record_size] == 0;
      if (c.file.rfind("105-", 0) == 0 && k == 1) {
        // The other reader restored this one from the zeroed 8-bit short
        // name; the UTF-16 copy keeps the long one.
        EXPECT_EQ(r.original,
                  "\\\\Vm-2k-tw\\\xE5\x93\x88\xE5\x9B\x89\\Downloads\\filezilla30111.exe");
      } else if (c.all_paths || zeroed) {
        EXPECT_EQ(r.original, listed[k].path);
      }
    }
  }
}

TEST(RecycleBinRecords, NetworkShareAndTruncatedIndexes) {
  // Drive 26 is a network share: the recycled name takes the character
  // after Z, as Windows built it.
  const auto share =
      ReadIndexBytes(testing::ReadBytes(kInfo2Dir + "102-rifiuti2-me-en-uncpath.INFO2"));
  ASSERT_EQ(share.records.size(), 3u);
  EXPECT_EQ(share.records[0].drive, 26u);
  EXPECT_EQ(RecycledFileName(share.records[0]), "D[1.xpi");

  // The last record lacks 5 bytes, one more than a record may lack.
  const auto cut = ReadIndexBytes(testing::ReadBytes(kInfo2Dir + "109-rifiuti2-trunc.INFO2"));
  EXPECT_EQ(cut.stop, IndexStop::kEnd);
  ASSERT_EQ(cut.records.size(), 4u);
  EXPECT_EQ(cut.records[3].number, 4u);
}

TEST(RecycleBinRecords, RecordSizeGuard) {
  // A size of 0 would never move on; below 280 the fields lie outside the
  // record; an absurd one must not allocate.
  for (const uint32_t size : {0u, 1u, 279u, 0xFFFFFFFFu, kIndexMaxRecordSize + 1}) {
    SCOPED_TRACE(size);
    auto bytes = MakeIndex(280, {{"C:\\x\\Thumbs.db", {}, 1}});
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<uint8_t>(size >> (8 * i));
    const RecycleBinIndex index = ReadIndexBytes(bytes);
    EXPECT_EQ(index.stop, IndexStop::kBadRecordSize);
    EXPECT_TRUE(index.records.empty());
  }
  EXPECT_EQ(ReadIndexBytes({0x05, 0, 0, 0, 0, 0}).stop, IndexStop::kBadRecordSize);
}

TEST(RecycleBinRecords, RecordMayLackOnlyItsLastFourBytes) {
  auto bytes = MakeIndex(280, {{"C:\\a\\Thumbs.db", {}, 1}, {"C:\\b\\Thumbs.db", {}, 2}});
  bytes.resize(bytes.size() - 4);
  EXPECT_EQ(ReadIndexBytes(bytes).records.size(), 2u);
  bytes.pop_back();
  EXPECT_EQ(ReadIndexBytes(bytes).records.size(), 1u);
}

TEST(RecycleBinRecords, OriginalPathChoice) {
  const uint64_t when = 128000000000000000ULL;
  auto bytes = MakeIndex(800, {
                                  // Both copies: the UTF-16 one is the path.
                                  {"C:\\R\xE9sum\xE9\\Thumbs.db", u"C:\\other", 1, 2, when},
                                  // 0x81 has no character in Windows-1252.
                                  {"C:\\\x81\\THUMBS.DB", u"C:\\\u6587\\Thumbs.db", 2},
                                  // Zeroed 8-bit path: the UTF-16 copy.
                                  {std::string("\0:\\x\\thumbs.db", 14), u"C:\\x\\thumbs.db", 3},
                                  // Zeroed and no copy: restored from the drive number.
                                  {std::string("\0:\\y\\Thumbs.db", 14), u"", 4, 3},
                              });
  // The last record is cut in the middle of its UTF-16 copy.
  auto cut = MakeIndex(800, {{"", u"C:\\a\\Thumbs.db", 5}});
  cut.resize(20 + 280 + 10);
  cut.resize(20 + 796);  // zero-filled: a record of exactly size - 4 bytes
  const RecycleBinIndex index = ReadIndexBytes(bytes);
  ASSERT_EQ(index.records.size(), 4u);
  EXPECT_EQ(index.records[0].original, "C:\\other");
  EXPECT_EQ(index.records[0].deleted, when);
  EXPECT_EQ(index.records[1].original, "C:\\\xE6\x96\x87\\Thumbs.db");
  EXPECT_EQ(index.records[2].original, "C:\\x\\thumbs.db");
  EXPECT_EQ(index.records[3].original, "D:\\y\\Thumbs.db");
  EXPECT_EQ(RecycledFileName(index.records[2]), "DC3.db");
  EXPECT_EQ(RecycledFileName(index.records[3]), "DD4.db");
  const RecycleBinIndex short_index = ReadIndexBytes(cut);
  ASSERT_EQ(short_index.records.size(), 1u);
  EXPECT_EQ(short_index.records[0].original, "C:\\a\\");
}

TEST(RecycleBinText, Decoders) {
  bool ok = false;
  EXPECT_EQ(Windows1252ToUtf8("\x80\x9F\xFF", &ok), "\xE2\x82\xAC\xC5\xB8\xC3\xBF");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Windows1252ToUtf8("a\x8D", &ok), "a\xEF\xBF\xBD");
  EXPECT_FALSE(ok);
  const std::vector<uint8_t> pair = {0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00, 0x00, 0x00, 0x42, 0x00};
  EXPECT_EQ(Utf16LeToUtf8(pair, &ok),
            "\xF0\x9F\x98\x80"
            "A");
  EXPECT_TRUE(ok);
  const std::vector<uint8_t> lone = {0x00, 0xDC, 0x41, 0x00, 0x00, 0xD8};
  EXPECT_EQ(Utf16LeToUtf8(lone, &ok),
            "\xEF\xBF\xBD"
            "A\xEF\xBF\xBD");
  EXPECT_FALSE(ok);
}

TEST(RecycleBinNames, RecycleBinFoldersAndRecycledNames) {
  EXPECT_TRUE(IsRecycleBinPath("/mnt/c/RECYCLER/S-1-5-21-1/INFO2"));
  EXPECT_TRUE(IsRecycleBinPath("/mnt/d/Old/Recycled things/INFO2"));
  EXPECT_FALSE(IsRecycleBinPath("/mnt/c/Data/INFO2"));
  EXPECT_FALSE(IsRecycleBinPath("/mnt/c/$Recycle.Bin/INFO2"));

  for (const char* name : {"DC5.db", "dc12.DB", "Dd0.db", "D[3.db"}) {
    EXPECT_TRUE(IsRecycledCacheName(name)) << name;
  }
  for (const char* name : {"DC.db", "DC5.dbx", "DCx5.db", "C5.db", "DC5db", "D5.db", "DC5.jpg"}) {
    EXPECT_FALSE(IsRecycledCacheName(name)) << name;
  }
  RecycleBinRecord r{"C:\\Photos\\thumbs.db", 12, 2, 0};
  EXPECT_EQ(RecycledFileName(r), "DC12.db");
  r.original = "C:\\noext";
  EXPECT_EQ(RecycledFileName(r), "DC12");
}

TEST(RecycleBinRecords, UnicodeCopyFirstAndEightBitPathsInTheChosenCodePage) {
  // A Japanese machine: the 8-bit copy is Shift-JIS, the UTF-16 copy exact.
  const std::string sjis = "C:\\\x93\xFA\x96\x7B\\Thumbs.db";  // 日本
  const std::string utf8 = "C:\\\xE6\x97\xA5\xE6\x9C\xAC\\Thumbs.db";
  auto nt = MakeIndex(800, {{sjis, u"C:\\\u65E5\u672C\\Thumbs.db", 1},
                            // A lone surrogate: the 8-bit copy serves.
                            {"C:\\a\\Thumbs.db", u"C:\\\xD800\\Thumbs.db", 2}});
  MemoryByteSource nt_source(nt);
  const RecycleBinIndex nt_index = ReadRecycleBinRecords(nt_source);
  ASSERT_EQ(nt_index.records.size(), 2u);
  EXPECT_EQ(nt_index.records[0].original, utf8);
  EXPECT_EQ(nt_index.records[1].original, "C:\\a\\Thumbs.db");

  // 280-byte records have only the 8-bit copy: Windows-1252 unless told.
  auto me = MakeIndex(280, {{"C:\\R\xE9sum\xE9\\Thumbs.db", {}, 1}, {sjis, {}, 2}});
  MemoryByteSource me_source(me);
  const RecycleBinIndex latin = ReadRecycleBinRecords(me_source);
  EXPECT_EQ(latin.records[0].original, "C:\\R\xC3\xA9sum\xC3\xA9\\Thumbs.db");
  EXPECT_EQ(ReadRecycleBinRecords(me_source, 932).records[1].original, utf8);
  // Each page an examiner meets decodes its own letters.
  struct Sample {
    int page;
    std::string bytes;
    std::string text;
  };
  const std::vector<Sample> samples = {
      {1250, "\x8A\xE8", "\xC5\xA0\xC4\x8D"},              // Šč
      {1251, "\xC4\xEE\xEC", "\xD0\x94\xD0\xBE\xD0\xBC"},  // Дом
      {1253, "\xC1", "\xCE\x91"},                          // Α
      {1254, "\xDE", "\xC5\x9E"},                          // Ş
      {1255, "\xF9", "\xD7\xA9"},                          // ש
      {1256, "\xC7", "\xD8\xA7"},                          // ا
      {1257, "\xC0", "\xC4\x84"},                          // Ą
      {1258, "\xD0", "\xC4\x90"},                          // Đ
      {936, "\xD6\xD0", "\xE4\xB8\xAD"},                   // 中
      {949, "\xC7\xD1", "\xED\x95\x9C"},                   // 한
      {950, "\xA4\xA4", "\xE4\xB8\xAD"},                   // 中
  };
  for (const Sample& sample : samples) {
    bool ok = false;
    EXPECT_EQ(CodePageToUtf8(sample.bytes, sample.page, &ok), sample.text) << sample.page;
    EXPECT_TRUE(ok) << sample.page;
  }
  // A lead byte with nothing after it has no character.
  bool ok = true;
  EXPECT_EQ(CodePageToUtf8("a\x93", 932, &ok), "a\xEF\xBF\xBD");
  EXPECT_FALSE(ok);
  EXPECT_FALSE(IsSupportedCodePage(65001));
}

// An index that claims to be huge: every read returns a record of zeros.
class EndlessIndex final : public ByteSource {
 public:
  uint64_t Size() const override { return 5ull << 30; }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    if (offset >= Size()) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), Size() - offset));
    std::fill(out.begin(), out.begin() + static_cast<ptrdiff_t>(n), uint8_t{0});
    for (size_t i = 0; offset + i <= 13 && i < n; ++i) {
      if (offset + i == 12) out[i] = 0x20;  // record size 800
      if (offset + i == 13) out[i] = 0x03;
    }
    return n;
  }
};

TEST(RecycleBinRecords, HugeIndexStopsAtARecordCountNoRealIndexReaches) {
  EndlessIndex source;
  testsupport::ResetPeakHeapBytes();
  const size_t before = testsupport::LiveHeapBytes();
  const RecycleBinIndex index = ReadRecycleBinRecords(source);
  EXPECT_EQ(index.stop, IndexStop::kTooManyRecords);
  EXPECT_EQ(index.records.size(), kIndexMaxRecords);
  EXPECT_LT(testsupport::PeakHeapBytes() - before, 160u << 20);
}

}  // namespace
}  // namespace glintvane
