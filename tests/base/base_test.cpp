#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "base/byte_fields.h"
#include "base/byte_source.h"
#include "base/file_time.h"
#include "base/format_chars.h"
#include "base/progress.h"
#include "base/utf8.h"
#include "base/windows_path.h"

namespace glintvane {
namespace {

// 2004-08-17 10:21:45 UTC as a FILETIME.
constexpr uint64_t kAugust2004 = (1092738105ULL + 11644473600ULL) * 10000000ULL;

TEST(FileTime, TextsInUtc) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(FileTimeText(0, "%Y-%m-%d %H:%M:%S"), "");
  EXPECT_EQ(FileTimeText(kAugust2004 + 9999999, "%Y-%m-%d %H:%M:%S"), "2004-08-17 10:21:45");
  EXPECT_EQ(FileTimeUtcIso(kAugust2004), "2004-08-17T10:21:45Z");
  EXPECT_EQ(FileTimeUtcIso(0), "");
  // After January 2038 the seconds no longer fit 32 bits; they must not wrap.
  const uint64_t year_2100 = (4102444800ULL + 11644473600ULL) * 10000000ULL;
  EXPECT_EQ(FileTimeUtcIso(year_2100), "2100-01-01T00:00:00Z");
  // Before 1970 is a valid FILETIME too.
  EXPECT_EQ(FileTimeUtcIso(10000000ULL), "1601-01-01T00:00:01Z");
}

TEST(FileTime, LocalZoneApplies) {
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  EXPECT_EQ(FileTimeText(kAugust2004, "%d.%m.%Y %H:%M:%S"), "17.08.2004 12:21:45");
  // Asked for UTC, the machine's zone no longer matters.
  EXPECT_EQ(FileTimeText(kAugust2004, "%d.%m.%Y %H:%M:%S", TimeZoneChoice::kUtc),
            "17.08.2004 10:21:45");
  EXPECT_EQ(FileTimeText(0, "%Y", TimeZoneChoice::kUtc), "");
  setenv("TZ", "UTC", 1);
  tzset();
}

TEST(FileTime, DefaultFormatHasAFourDigitYear) {
  const std::string format = DefaultDateTimeFormat();
  EXPECT_EQ(format.find("%y"), std::string::npos);
  EXPECT_NE(FileTimeText(kAugust2004, format).find("2004"), std::string::npos);
}

TEST(WindowsPath, PartsFollowBackslashAndColon) {
  EXPECT_EQ(WindowsFilePart("C:\\Photos\\beach.png"), "beach.png");
  EXPECT_EQ(WindowsFolderPart("C:\\Photos\\beach.png"), "C:\\Photos\\");
  EXPECT_EQ(WindowsFilePart("C:beach.png"), "beach.png");
  EXPECT_EQ(WindowsFilePart("README"), "README");
  EXPECT_EQ(WindowsFolderPart("README"), "");
  EXPECT_EQ(WindowsFilePart("a/b"), "a/b");  // "/" is not a Windows separator here
  EXPECT_EQ(WindowsExtension("archive.tar.gz"), ".gz");
  EXPECT_EQ(WindowsExtension("README"), "");
  EXPECT_EQ(LocalFilePart("/evidence/case 1/Thumbs.db"), "Thumbs.db");
  EXPECT_EQ(LocalFolderPart("/evidence/case 1/Thumbs.db"), "/evidence/case 1/");
}

TEST(WindowsPath, SearchIndexFolderOnlyForAProfilesExplorerFolder) {
  constexpr char kIndex[] = "ProgramData/Microsoft/Search/Data/Applications/Windows/";
  // On disk, inside an image (from "/"), relative, and in another letter case.
  EXPECT_EQ(SearchIndexFolderFor("/case/c/Users/eve/AppData/Local/Microsoft/Windows/Explorer/"
                                 "thumbcache_32.db"),
            std::string("/case/c/") + kIndex);
  EXPECT_EQ(
      SearchIndexFolderFor("/Users/eve/AppData/Local/Microsoft/Windows/Explorer/thumbcache_32.db"),
      std::string("/") + kIndex);
  EXPECT_EQ(SearchIndexFolderFor("users/Eve/appdata/local/microsoft/windows/explorer/x.db"),
            kIndex);
  // Not a profile's Explorer folder: no user, not below Users, a folder deeper.
  for (const char* path :
       {"/case/Users/AppData/Local/Microsoft/Windows/Explorer/thumbcache_32.db",
        "/case/Home/eve/AppData/Local/Microsoft/Windows/Explorer/thumbcache_32.db",
        "/case/Users/eve/AppData/Local/Microsoft/Windows/Explorer/old/thumbcache_32.db",
        "/case/thumbcache_32.db", "thumbcache_32.db"}) {
    EXPECT_EQ(SearchIndexFolderFor(path), "") << path;
  }
  EXPECT_TRUE(IsSearchIndexName("WINDOWS.EDB"));
  EXPECT_TRUE(IsSearchIndexName("Windows.db"));
  EXPECT_FALSE(IsSearchIndexName("Windows.db-wal"));
}

TEST(FormatChars, EveryInvisibleOrDirectionChangingCharacterAtItsEdges) {
  auto at = [](char32_t code) {
    std::string text = "a";
    AppendUtf8(text, code);
    char32_t found = 0;
    const size_t length = FormatCharAt(text, 1, found);
    EXPECT_TRUE(length == 0 || found == code) << std::hex << static_cast<uint32_t>(code);
    return length == text.size() - 1;
  };
  // First and last of each run of them, with the neighbours that are not.
  const std::vector<std::pair<char32_t, char32_t>> runs = {
      {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
      {0x070F, 0x070F},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},
      {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},
      {0x110BD, 0x110BD}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
      {0xE0020, 0xE007F}};
  for (const auto& [first, last] : runs) {
    EXPECT_TRUE(at(first)) << std::hex << static_cast<uint32_t>(first);
    EXPECT_TRUE(at(last)) << std::hex << static_cast<uint32_t>(last);
    EXPECT_FALSE(at(first - 1)) << std::hex << static_cast<uint32_t>(first);
    EXPECT_FALSE(at(last + 1)) << std::hex << static_cast<uint32_t>(last);
  }
  EXPECT_FALSE(at(U'a'));
  EXPECT_FALSE(at(0x10FFFF));
  char32_t code = 0;
  // Not well-formed: cut short, overlong (U+200E in four bytes), a surrogate.
  for (const std::string_view bad : {"\xE2\x80", "\xF0\x82\x80\x8E", "\xED\xA0\x80"}) {
    EXPECT_EQ(FormatCharAt(bad, 0, code), 0u) << bad;
  }
  EXPECT_EQ(FormatCharAt("\xE2\x80\x8E", 3, code), 0u);  // past the end
}

class RecordingSink : public ProgressSink {
 public:
  void OnProgress(int position, const std::string& text) override {
    positions.push_back(position);
    last_text = text;
  }
  std::vector<int> positions;
  std::string last_text;
};

TEST(Progress, ReadPhasesChainToNineteen) {
  RecordingSink sink;
  ProgressMeter meter(&sink);
  const int phases[][2] = {{0, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 9}, {9, 10}};
  for (const auto& phase : phases) {
    double counter = 0;
    meter.Update(phase[0], counter, 1, phase[1]);
  }
  EXPECT_EQ(meter.position(), 19);
  EXPECT_EQ(sink.last_text, "19 %");
}

TEST(Progress, LaterPhaseWaitsAndPositionNeverGoesBack) {
  RecordingSink sink;
  ProgressMeter meter(&sink);
  double counter = 0;
  meter.Update(30, counter, 10, 70);  // base beyond the position: nothing
  EXPECT_TRUE(sink.positions.empty());
  EXPECT_EQ(counter, 0);
  meter.Update(0, counter, 0, 100);  // no total: nothing
  EXPECT_TRUE(sink.positions.empty());
  double first = 0;
  meter.Update(0, first, 1, 10);
  EXPECT_EQ(meter.position(), 10);
  for (int i = 0; i < 4; ++i) meter.Update(10, counter, 4, 100);
  EXPECT_EQ(meter.position(), 110);  // kept, but shown as full
  EXPECT_EQ(sink.positions.back(), 100);
  EXPECT_EQ(sink.last_text, "100 %");
  double again = 0;
  meter.Update(30, again, 10, 70);
  EXPECT_EQ(meter.position(), 110);
  ProgressMeter silent(nullptr);
  double c = 0;
  silent.Update(0, c, 1, 100);
  EXPECT_EQ(silent.position(), 0);
}

TEST(ByteFields, ValuesAndEveryEdgeOfTheSpan) {
  const std::vector<uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
  EXPECT_EQ(ReadLe<uint8_t>(b, 7), 0x88);
  EXPECT_EQ(ReadLe<uint16_t>(b, 0), 0x0201);
  EXPECT_EQ(ReadLe<uint32_t>(b, 4), 0x88070605u);
  EXPECT_EQ(ReadLe<uint64_t>(b, 0), 0x8807060504030201ull);
  EXPECT_EQ(ReadLe<int32_t>(b, 4), static_cast<int32_t>(0x88070605u));  // negative
  EXPECT_EQ(ReadBe<uint16_t>(b, 0), 0x0102);
  EXPECT_EQ(ReadBe<uint32_t>(b, 4), 0x05060788u);
  // A field that ends exactly at the end is there; one byte further is not.
  EXPECT_EQ(ReadLe<uint32_t>(b, 4), 0x88070605u);
  EXPECT_FALSE(ReadLe<uint32_t>(b, 5));
  EXPECT_FALSE(ReadLe<uint8_t>(b, 8));  // at the end
  EXPECT_FALSE(ReadLe<uint64_t>(b, 1));
  // Offsets whose sum with the width wraps round past 2^64 to inside the span.
  for (const uint64_t at : {UINT64_MAX, UINT64_MAX - 1, UINT64_MAX - 7, uint64_t{1} << 63}) {
    EXPECT_FALSE(ReadLe<uint8_t>(b, at));
    EXPECT_FALSE(ReadLe<uint64_t>(b, at));
    EXPECT_FALSE(ReadBe<uint32_t>(b, at));
  }
  EXPECT_FALSE(ReadLe<uint8_t>({}, 0));
  EXPECT_FALSE(ReadLe<uint16_t>(std::span<const uint8_t>(), 0));
  EXPECT_FALSE(ReadLe<uint64_t>(std::span(b).first(7), 0));

  // The block reader: fields that are there, then one that is not (read as
  // 0), and the mark stays.
  ByteFields fields(b);
  EXPECT_EQ(fields.Le<uint16_t>(6), 0x8807);
  EXPECT_EQ(fields.Le<int32_t>(0), 0x04030201);
  EXPECT_TRUE(fields.whole());
  EXPECT_EQ(fields.Le<uint32_t>(6), 0u);
  EXPECT_FALSE(fields.whole());
  EXPECT_EQ(fields.Le<uint8_t>(0), 1);
  EXPECT_FALSE(fields.whole());
  ByteFields empty({});
  EXPECT_EQ(empty.Le<uint64_t>(0), 0u);
  EXPECT_FALSE(empty.whole());
}

TEST(ByteSources, ShortReadsAtTheEnd) {
  const std::vector<uint8_t> bytes{1, 2, 3, 4, 5};
  MemoryByteSource source(bytes);
  std::vector<uint8_t> out(4, 0);
  EXPECT_EQ(source.ReadAt(3, out).value(), 2u);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(source.ReadAt(5, out).value(), 0u);
  EXPECT_EQ(source.ReadAt(UINT64_MAX, out).value(), 0u);
  auto missing = FileByteSource::Open("/nonexistent/Thumbs.db");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().error_number, ENOENT);
  EXPECT_FALSE(FileByteSource::Open("/tmp").has_value());
}

}  // namespace
}  // namespace glintvane

namespace glintvane {
namespace {

// Evidence is read without waiting on a FIFO, only as a regular file or a
// block device, and without touching its access time.
TEST(ByteSources, EvidenceOpensOnlyFilesAndDevicesAndKeepsAccessTime) {
  const std::string folder = ::testing::TempDir();
  const std::string fifo = folder + "evidence_fifo";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto pipe = FileByteSource::Open(fifo);  // would block without O_NONBLOCK
  ASSERT_FALSE(pipe);
  EXPECT_EQ(pipe.error().error_number, kErrorNotFileOrDevice);
  EXPECT_EQ(pipe.error().message, "Not a regular file or block device");
  ::unlink(fifo.c_str());
  EXPECT_EQ(FileByteSource::Open("/dev/null").error().error_number, kErrorNotFileOrDevice);
  EXPECT_EQ(FileByteSource::Open(folder).error().error_number, EISDIR);

  const std::string file = folder + "evidence_atime.bin";
  {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("evidence", f);
    std::fclose(f);
  }
  // Two days back: with relatime a read would move an access time this old.
  const struct timespec old[2] = {{std::time(nullptr) - 2 * 86400, 0}, {0, UTIME_OMIT}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
  {
    auto source = FileByteSource::Open(file);
    ASSERT_TRUE(source);
    EXPECT_EQ((*source)->Size(), 8u);
    std::vector<uint8_t> bytes(8);
    EXPECT_EQ(*(*source)->ReadAt(0, bytes), 8u);
  }
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, old[0].tv_sec);
  ::unlink(file.c_str());
}

}  // namespace
}  // namespace glintvane
