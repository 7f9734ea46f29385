#include "export/extract_run.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>

#include "cache/thumbcache_reader.h"
#include "export/dfxml.h"
#include "export/html_report.h"
#include "tests/export/export_fixture.h"

namespace glintvane {
namespace {

using testing::AddCarvedRow;
using testing::AddStoreRow;
using testing::FakeImage;
using testing::ListFolder;
using testing::ReadBytes;
using testing::ReadText;
using testing::ScratchFolder;

struct ExtractBench {
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  UiTexts texts;
  ExtractOptions options;

  ExtractOutcome Extract() { return ActionExtract(list, store, options, errors, texts); }
};

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t start, size_t length) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(start),
          bytes.begin() + static_cast<std::ptrdiff_t>(start + length)};
}

TEST(ActionExtract, TableRowsHoldFiveImages) {
  for (const int images : {5, 7, 10}) {
    ScratchFolder scratch;
    ExtractBench run;
    run.options.destination = scratch.path();
    for (int i = 0; i < images; ++i) {
      AddStoreRow(run.list, run.store, std::to_string(i), "p" + std::to_string(i) + ".jpg",
                  FakeImage(i));
    }
    const ExtractOutcome outcome = run.Extract();
    ASSERT_TRUE(outcome.ok()) << images;
    const auto& lines = outcome.report_lines;
    ASSERT_EQ(lines.size(), static_cast<size_t>(images) + 2);
    for (int k = 1; k <= images; ++k) {
      EXPECT_EQ(lines[k].starts_with("<TR>"), k % 5 == 1) << k;
      EXPECT_EQ(lines[k].ends_with("</TR>"), k % 5 == 0) << k;
    }
    const std::string last = lines.back();
    if (images == 7) {
      EXPECT_EQ(last, "<TD>&nbsp;</TD><TD>&nbsp;</TD><TD>&nbsp;</TD></TR>" + BuildReportFooter());
    } else {
      EXPECT_EQ(last, BuildReportFooter());
    }
    EXPECT_EQ(ReadText(outcome.report_path), JoinReportLines(lines));
    EXPECT_EQ(outcome.report_path, scratch.path() + "index.html");
  }
}

TEST(ActionExtract, EveryWriteFailingLeavesHeadAndTail) {
  ScratchFolder scratch;
  ExtractBench run;
  run.options.destination = scratch.path();
  for (int i = 1; i <= 3; ++i)
    AddCarvedRow(run.list, scratch.path() + "gone.bin", std::to_string(i), 0, 10);
  const ExtractOutcome outcome = run.Extract();
  EXPECT_FALSE(outcome.ok());
  EXPECT_FALSE(outcome.abandoned);
  EXPECT_EQ(outcome.failed.size(), 3u);
  ASSERT_EQ(outcome.report_lines.size(), 2u);
  EXPECT_NE(outcome.report_lines[0].find("Thumbnails: 3. "), std::string::npos);
  EXPECT_EQ(outcome.report_lines[1], BuildReportFooter());
  // Per row: the 602 entry (four lines) and the fatal line.
  ASSERT_EQ(run.errors.Lines(run.texts).size(), 15u);
  EXPECT_EQ(run.errors.Lines(run.texts)[0], "Fatal error!");
  EXPECT_EQ(run.errors.Lines(run.texts)[1], scratch.path() + "1_thmb.jpg");
  EXPECT_EQ(run.errors.Lines(run.texts)[4],
            "Fatal error!\nFile:\n" + scratch.path() + "1_thmb.jpg");
}

TEST(ActionExtract, HostileNamesStayInsideAndShowAsText) {
  ScratchFolder scratch;
  ExtractBench run;
  const std::string destination = scratch.Sub("a/b/out");
  run.options.destination = destination;
  const char* names[] = {"../../x", "/etc/passwd", "a\\..\\b",     "<script>", "'",
                         "",        "..",          "x\x1B[2Jy.jpg"};
  int key = 0;
  for (const char* name : names) {
    ++key;
    AddStoreRow(run.list, run.store, std::to_string(key), name, FakeImage(key));
  }
  const ExtractOutcome outcome = run.Extract();
  ASSERT_TRUE(outcome.ok());
  EXPECT_EQ(
      ListFolder(destination),
      (std::vector<std::string>{"'_thmb.jpg", "6_thmb.jpg", "7_thmb.jpg", "<script>_thmb.jpg",
                                "b_thmb.jpg", "index.html", "passwd_thmb.jpg", "thumbnails.csv",
                                "thumbnails.json", "x_[2Jy_thmb.jpg", "x_thmb.jpg"}));
  EXPECT_EQ(ListFolder(scratch.path() + "a/b"), std::vector<std::string>{"out"});
  EXPECT_EQ(ListFolder(scratch.path() + "a"), std::vector<std::string>{"b"});
  EXPECT_EQ(ListFolder(scratch.path()), std::vector<std::string>{"a"});

  const std::string page = ReadText(outcome.report_path);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_NE(page.find("ALT='&lt;script&gt;. Modified: "), std::string::npos);
  EXPECT_NE(page.find("<IMG SRC='%3Cscript%3E_thmb.jpg'"), std::string::npos);
  EXPECT_NE(page.find("<IMG SRC='%27_thmb.jpg' ALT='&#39;. Modified: "), std::string::npos);
  // Every ALT value closes where the markup closes it.
  for (size_t at = page.find("ALT='"); at != std::string::npos; at = page.find("ALT='", at + 1)) {
    const size_t end = page.find('\'', at + 5);
    EXPECT_EQ(page.substr(end, 2), "'>");
  }
}

TEST(ActionExtract, SameStemGivesTwoFilesAndTwoCells) {
  ScratchFolder scratch;
  ExtractBench run;
  run.options.destination = scratch.path();
  AddStoreRow(run.list, run.store, "1", "a.jpg", FakeImage(1));
  AddStoreRow(run.list, run.store, "2", "C:\\other\\a.png", FakeImage(2, 400));
  AddStoreRow(run.list, run.store, "3", "skip.jpg", FakeImage(3), /*checked=*/false);
  ThumbnailRow& png = AddStoreRow(run.list, run.store, "4", "a.gif", FakeImage(4));
  png.kind = ImageKind::kPng;
  const ExtractOutcome outcome = run.Extract();
  ASSERT_TRUE(outcome.ok());
  EXPECT_EQ(outcome.checked, 3);
  ASSERT_EQ(outcome.written.size(), 3u);
  EXPECT_EQ(outcome.written[0].path, scratch.path() + "a_thmb.jpg");
  EXPECT_EQ(outcome.written[1].path, scratch.path() + "a_thmb_2.jpg");
  EXPECT_EQ(outcome.written[2].path, scratch.path() + "a_thmb.png");
  EXPECT_EQ(ReadBytes(scratch.path() + "a_thmb.jpg"), FakeImage(1));
  EXPECT_EQ(ReadBytes(scratch.path() + "a_thmb_2.jpg"), FakeImage(2, 400));
  EXPECT_EQ(ReadBytes(scratch.path() + "a_thmb.png"), FakeImage(4));
  EXPECT_NE(outcome.report_lines[1].find("SRC='a_thmb.jpg'"), std::string::npos);
  EXPECT_NE(outcome.report_lines[2].find("SRC='a_thmb_2.jpg'"), std::string::npos);
  EXPECT_NE(outcome.report_lines[3].find("SRC='a_thmb.png'"), std::string::npos);
  EXPECT_EQ(run.errors.Lines(run.texts)[1],
            "Operation complete. File:" + scratch.path() + "a_thmb_2.jpg");
}

TEST(ActionExtract, WrittenBytesHashAsTheStoredBytes) {
  const Digests abc =
      DigestsOf(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("abc"), 3));
  EXPECT_EQ(abc.md5, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(abc.sha1, "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(abc.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  ScratchFolder scratch;
  ExtractBench run;
  run.options.destination = scratch.Sub("out");
  run.options.open_file = scratch.path() + "Thumbs.db";
  run.options.run_time = 1700000000;
  testing::WriteBytes(run.options.open_file, FakeImage(9, 5000));
  AddStoreRow(run.list, run.store, "1", "one,\"quoted\".jpg", FakeImage(1, 1234));
  ThumbnailRow& deleted =
      AddStoreRow(run.list, run.store, "2", "=cmd|bad\xFF.jpg", FakeImage(2, 77));
  deleted.thumbcache = true;  // as a thumbcache entry found in free space
  deleted.recovered = true;
  const ExtractOutcome outcome = run.Extract();
  ASSERT_TRUE(outcome.ok());
  ASSERT_TRUE(outcome.catalogs_written);
  for (size_t i = 0; i < outcome.written.size(); ++i) {
    const ExtractedImage& image = outcome.written[i];
    const ThumbnailRow& row = run.list[i];
    const Digests stored = DigestsOf(run.store.View(row.start, row.length));
    const Digests on_disk = DigestsOf(ReadBytes(image.path));
    EXPECT_EQ(on_disk.sha256, stored.sha256);
    EXPECT_EQ(on_disk.sha1, stored.sha1);
    EXPECT_EQ(on_disk.md5, stored.md5);
    EXPECT_EQ(image.digests.sha256, stored.sha256);
    EXPECT_EQ(image.length, row.length);
  }

  const auto json = nlohmann::json::parse(ReadText(outcome.json_path));
  EXPECT_EQ(json["version"], GLINTVANE_VERSION);
  EXPECT_EQ(json["run_time_utc"], "2023-11-14T22:13:20Z");
  EXPECT_EQ(json["source"]["size"], 5000);
  EXPECT_EQ(json["source"]["sha256"], DigestsOf(FakeImage(9, 5000)).sha256);
  EXPECT_EQ(json["checked"], 2);
  ASSERT_EQ(json["images"].size(), 2u);
  EXPECT_EQ(json["images"][0]["name"], "one,\"quoted\".jpg");
  EXPECT_EQ(json["images"][1]["name"], "=cmd|bad\xEF\xBF\xBD.jpg");  // U+FFFD
  EXPECT_EQ(json["images"][0]["time_utc"], "2004-08-17T10:21:45Z");
  EXPECT_TRUE(json["images"][0]["offset"].is_null());
  EXPECT_EQ(json["images"][0]["sha1"], outcome.written[0].digests.sha1);
  // A Thumbs.db keeps no checksum of its images: nothing was verified.
  EXPECT_TRUE(json["images"][0]["data_checksum_ok"].is_null());
  EXPECT_EQ(json["images"][0]["data_check"], "none stored");
  EXPECT_EQ(json["images"][0]["recovered"], false);
  // A thumbcache entry's data checksum cannot be checked, and the record says so.
  EXPECT_TRUE(json["images"][1]["data_checksum_ok"].is_null());
  EXPECT_EQ(json["images"][1]["data_check"], std::string(kThumbcacheDataNotVerified));
  EXPECT_EQ(json["images"][1]["recovered"], true);

  const std::string csv = ReadText(outcome.csv_path);
  EXPECT_TRUE(
      csv.starts_with("file,number,name,time_text,time_utc,source,offset,length,md5,sha1,sha256,"
                      "data_checksum_ok,data_check,recovered\r\n"));
  EXPECT_NE(csv.find(",1,\"one,\"\"quoted\"\".jpg\",2004-08-17 12:21:45,2004-08-17T10:21:45Z,"),
            std::string::npos);
  EXPECT_NE(csv.find(",2,'=cmd|bad"), std::string::npos);
  EXPECT_NE(csv.find(",," + std::string(kThumbcacheDataNotVerified) + ",true\r\n"),
            std::string::npos);

  const std::string page = ReadText(outcome.report_path);
  EXPECT_NE(
      page.find("Size: 5000 bytes<BR>SHA-256: " + json["source"]["sha256"].get<std::string>()),
      std::string::npos);
  EXPECT_NE(page.find("Time (UTC): 2023-11-14T22:13:20Z"), std::string::npos);
}

TEST(ActionExtract, CarvedRowsCopyTheirRange) {
  ScratchFolder scratch;
  ExtractBench run;
  run.options.destination = scratch.Sub("out");
  const std::string source = scratch.path() + "pagefile.sys";
  std::vector<uint8_t> bytes(500000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
  testing::WriteBytes(source, bytes);
  run.options.open_file = source;
  AddCarvedRow(run.list, source, "1", 100, 1000);
  AddCarvedRow(run.list, source, "2", 10, 0);         // no length: 400 KiB
  AddCarvedRow(run.list, source, "3", 499000, 5000);  // runs past the end
  AddCarvedRow(run.list, source, "4", 600000, 10);    // starts past the end
  const ExtractOutcome outcome = run.Extract();
  ASSERT_TRUE(outcome.ok());
  const std::string out = run.options.destination;
  EXPECT_EQ(ReadBytes(out + "1_thmb.jpg"), Slice(bytes, 100, 1000));
  EXPECT_EQ(ReadBytes(out + "2_thmb.jpg"), Slice(bytes, 10, 409600));
  EXPECT_EQ(ReadBytes(out + "3_thmb.jpg"), Slice(bytes, 499000, 1000));
  EXPECT_TRUE(ReadBytes(out + "4_thmb.jpg").empty());
  ASSERT_EQ(outcome.written.size(), 4u);
  EXPECT_EQ(outcome.written[1].length, 409600);
  EXPECT_EQ(outcome.written[2].length, 1000);
  EXPECT_EQ(outcome.written[2].offset, 499000);
  EXPECT_EQ(outcome.written[2].source, source);
  EXPECT_EQ(outcome.written[2].digests.sha256, DigestsOf(Slice(bytes, 499000, 1000)).sha256);
  EXPECT_EQ(outcome.written[0].name, "---");
  EXPECT_EQ(outcome.report_lines[1],
            "<TR><TD><IMG SRC='1_thmb.jpg' ALT='---. Modified: ---'></TD>");
}

// The records of carved rows: digests read across the digester's blocks,
// none for bytes that are not there, and a byte run only where the image is
// one stretch of its source.
TEST(CarvedRecords, DigestRangesAndByteRuns) {
  std::vector<uint8_t> bytes((size_t{3} << 20) + 5);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 11));
  MemoryByteSource source(bytes);
  RangeDigester digester;
  const uint64_t start = 1000, length = (size_t{2} << 20) + 17;
  EXPECT_EQ(digester.Of(source, start, length).sha256,
            DigestsOf(std::span(bytes).subspan(start, length)).sha256);
  EXPECT_EQ(digester.Of(source, 10, 3).md5, DigestsOf(std::span(bytes).subspan(10, 3)).md5);
  EXPECT_TRUE(digester.Of(source, bytes.size() - 2, 3).sha256.empty());

  ExtractedImage carved;
  carved.path = "/out/1.jpg";
  carved.offset = 4096;
  carved.length = 300;
  const DfxmlFileObject object = ExtractedFileObject(carved);
  ASSERT_EQ(object.byte_runs.size(), 1u);
  EXPECT_EQ(object.byte_runs[0].img_offset, 4096u);
  EXPECT_EQ(object.byte_runs[0].length, 300u);
  EXPECT_EQ(object.filesize, 300u);
  carved.offset.reset();
  EXPECT_TRUE(ExtractedFileObject(carved).byte_runs.empty());
}

// The disk inside an image, as the image's reader gives it.
class FailingSource final : public ByteSource {
 public:
  uint64_t Size() const override { return 1 << 20; }
  tl::expected<size_t, IoError> ReadAt(uint64_t, std::span<uint8_t>) override {
    return tl::unexpected(IoError{EIO, "chunk 3 fails its checksum"});
  }
};

TEST(ActionExtract, RowsCarvedFromADiskInsideAnImageReadThroughIt) {
  ScratchFolder scratch;
  ExtractBench run;
  run.options.destination = scratch.Sub("out");
  // The container's own bytes are not the disk's; its first segment lies
  // under the name the second row would take.
  const std::string image = run.options.destination + "2_thmb.jpg";
  const std::vector<uint8_t> container(4000, 'c');
  testing::WriteBytes(image, container);
  std::vector<uint8_t> disk(300000);
  for (size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  const auto bytes = std::make_shared<MemoryByteSource>(disk);
  run.options.open_file = image;
  AddCarvedRow(run.list, image, "1", 100, 1000, bytes);
  AddCarvedRow(run.list, image, "2", 0, 10, bytes);
  AddCarvedRow(run.list, image, "3", 299000, 5000, bytes);  // runs past the end
  AddCarvedRow(run.list, image, "4", 400000, 10, bytes);    // starts past the end
  AddCarvedRow(run.list, image, "5", 0, 10, std::make_shared<FailingSource>());
  const ExtractOutcome outcome = run.Extract();
  const std::string out = run.options.destination;
  EXPECT_EQ(ReadBytes(out + "1_thmb.jpg"), Slice(disk, 100, 1000));
  EXPECT_EQ(ReadBytes(image), container);
  EXPECT_EQ(ReadBytes(out + "3_thmb.jpg"), Slice(disk, 299000, 1000));
  EXPECT_TRUE(ReadBytes(out + "4_thmb.jpg").empty());
  // A read the image's reader refuses fails the row and leaves nothing.
  EXPECT_FALSE(std::filesystem::exists(out + "5_thmb.jpg"));
  EXPECT_EQ(outcome.failed.size(), 2u);
  ASSERT_EQ(outcome.written.size(), 3u);
  EXPECT_EQ(outcome.written[0].digests.sha256, DigestsOf(Slice(disk, 100, 1000)).sha256);
  EXPECT_EQ(outcome.written[1].length, 1000);
  bool told = false;
  for (const std::string& line : run.errors.Lines(run.texts))
    told = told || line.find("chunk 3 fails its checksum") != std::string::npos;
  EXPECT_TRUE(told);
}

TEST(ActionExtract, LinksOriginalsThatStillExist) {
  ScratchFolder scratch;
  const std::string cases = scratch.Sub("case");
  testing::WriteBytes(cases + "Thumbs.db", {0});
  testing::WriteBytes(cases + "pic one.jpg", {1});
  for (const bool beside : {true, false}) {
    ExtractBench run;
    run.options.open_file = cases + "Thumbs.db";
    run.options.destination = beside ? cases : scratch.Sub("out");
    AddStoreRow(run.list, run.store, "1", "pic one.jpg", FakeImage(1));
    AddStoreRow(run.list, run.store, "2", "C:\\case\\pic one.jpg", FakeImage(2));
    AddStoreRow(run.list, run.store, "3", "missing.jpg", FakeImage(3));
    const ExtractOutcome outcome = run.Extract();
    ASSERT_TRUE(outcome.ok());
    const std::string href = beside ? "pic%20one.jpg" : UrlEncodePath(cases) + "pic%20one.jpg";
    EXPECT_NE(outcome.report_lines[1].find("<div class=\"img-yes\"><a href=\"" + href + "\""),
              std::string::npos)
        << outcome.report_lines[1];
    EXPECT_EQ(outcome.report_lines[2].find("img-yes"), std::string::npos);
    EXPECT_EQ(outcome.report_lines[3].find("img-yes"), std::string::npos);
  }
}

TEST(ActionExtract, StopsOnStoreFailuresAndSkipsRowsWithoutImage) {
  {
    ExtractBench run;  // nothing checked: nothing happens, the list keeps its entries
    ScratchFolder scratch;
    run.options.destination = scratch.path();
    AddStoreRow(run.list, run.store, "1", "a.jpg", FakeImage(1), false);
    run.errors.AddWarning("earlier", {});
    const ExtractOutcome outcome = run.Extract();
    EXPECT_EQ(outcome.checked, 0);
    ASSERT_EQ(run.errors.entries().size(), 1u);
    EXPECT_EQ(run.errors.entries()[0].context, "earlier");
    EXPECT_EQ(ListFolder(scratch.path()), std::vector<std::string>{});
  }
  {
    ExtractBench run;  // a destination that cannot take files: abandoned, no report
    ScratchFolder scratch;
    run.options.destination = scratch.path() + "missing/folder";
    AddStoreRow(run.list, run.store, "1", "a.jpg", FakeImage(1));
    AddStoreRow(run.list, run.store, "2", "b.jpg", FakeImage(2));
    const ExtractOutcome outcome = run.Extract();
    EXPECT_TRUE(outcome.abandoned);
    EXPECT_FALSE(outcome.report_written);
    EXPECT_EQ(outcome.failed.size(), 1u);
    EXPECT_EQ(run.errors.Lines(run.texts).back(),
              "Fatal error!\nFile:\n" + scratch.path() + "missing/folder/a_thmb.jpg");
  }
  {
    ExtractBench run;  // a Catalog entry without its image is skipped with a warning
    ScratchFolder scratch;
    run.options.destination = scratch.path();
    run.list.AddOrUpdate("5", "only-named.jpg", SourceKind::kImageStore, -1, -1, -1, "t").checked =
        true;
    AddStoreRow(run.list, run.store, "6", "b.jpg", FakeImage(2));
    const ExtractOutcome outcome = run.Extract();
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.skipped, std::vector<std::string>{"5"});
    EXPECT_EQ(outcome.written.size(), 1u);
    EXPECT_EQ(run.errors.Lines(run.texts)[0], "Warning!");
  }
}

TEST(ActionExtract, ANameTheDestinationRefusesFallsBackToTheRowNumber) {
  ScratchFolder scratch;
  // A destination so deep that a long name no longer fits in a path: the
  // system refuses that one name as it would a character a FAT stick cannot
  // hold (exFAT even says ENOENT), while short names still fit.
  std::string deep = scratch.path();
  while (deep.size() < 3750) deep += std::string(200, 'd') + "/";
  deep += std::string(3940 - deep.size(), 'e');
  std::filesystem::create_directories(deep);
  ExtractBench run;
  run.options.destination = deep;
  AddStoreRow(run.list, run.store, "1", std::string(150, 'n') + ".jpg", FakeImage(1));
  AddStoreRow(run.list, run.store, "2", "s.jpg", FakeImage(2));
  const ExtractOutcome outcome = run.Extract();
  EXPECT_FALSE(outcome.abandoned);
  EXPECT_TRUE(outcome.failed.empty());
  ASSERT_EQ(outcome.written.size(), 2u);
  EXPECT_EQ(outcome.written[0].path, deep + "/1_thmb.jpg");
  EXPECT_EQ(ReadBytes(outcome.written[0].path), FakeImage(1));
  EXPECT_EQ(ReadBytes(outcome.written[1].path), FakeImage(2));
  EXPECT_TRUE(outcome.report_written);
  EXPECT_EQ(outcome.report_lines.size(), 4u);
}

TEST(ActionExtractSelected, WritesOneRowAndTellsTheOutcome) {
  ScratchFolder scratch;
  ExtractBench run;
  AddStoreRow(run.list, run.store, "1", "x.jpg", FakeImage(1), false);
  AddCarvedRow(run.list, scratch.path() + "gone", "2", 0, 5);
  testing::WriteBytes(scratch.path() + "x_thmb.jpg", std::vector<uint8_t>(9000, 1));  // earlier run

  auto ok = ActionExtractSelected(run.list, run.store, 0, scratch.path(), run.errors, run.texts);
  EXPECT_TRUE(ok.written);
  EXPECT_EQ(ok.message, "Operation complete!\nFile:\n" + scratch.path() + "x_thmb.jpg");
  EXPECT_EQ(ReadBytes(scratch.path() + "x_thmb.jpg"), FakeImage(1));  // replaced whole

  auto failed =
      ActionExtractSelected(run.list, run.store, 1, scratch.path(), run.errors, run.texts);
  EXPECT_FALSE(failed.written);
  EXPECT_TRUE(failed.message_is_error);
  EXPECT_EQ(failed.message, "Fatal error!\nFile:\n" + scratch.path() + "2_thmb.jpg");
  EXPECT_FALSE(run.errors.empty());
  // A failed copy leaves no empty file that could pass for a thumbnail.
  EXPECT_EQ(ListFolder(scratch.path()), std::vector<std::string>{"x_thmb.jpg"});

  EXPECT_FALSE(ActionExtractSelected(run.list, run.store, 5, scratch.path(), run.errors, run.texts)
                   .attempted);
}

TEST(ActionExtract, StoppedRunWritesWholeRecordsOfTheRowsWritten) {
  ScratchFolder scratch;
  ExtractBench run;
  run.options.destination = scratch.path();
  for (int i = 0; i < 3; ++i) {
    AddStoreRow(run.list, run.store, std::to_string(i), "p" + std::to_string(i) + ".jpg",
                FakeImage(i))
        .checked = true;
  }
  std::stop_source source;
  source.request_stop();
  run.options.stop = source.get_token();
  const ExtractOutcome outcome = run.Extract();
  EXPECT_TRUE(outcome.stopped);
  EXPECT_FALSE(outcome.ok());
  EXPECT_TRUE(outcome.written.empty());
  // The report and the records still describe the run, whole and readable.
  ASSERT_TRUE(outcome.report_written);
  ASSERT_TRUE(outcome.catalogs_written);
  const auto json = nlohmann::json::parse(ReadText(outcome.json_path));
  EXPECT_TRUE(json.is_object());
}

}  // namespace
}  // namespace glintvane

namespace glintvane {
namespace {

// The audit's cases: an extraction whose outputs would land on its input.
TEST(ActionExtract, NoOutputEverReplacesTheInput) {
  ScratchFolder scratch;
  // "extract r1/index.html --carve -o r1": the report's name is the input.
  {
    ExtractBench run;
    run.options.destination = scratch.Sub("r1");
    const std::string input = run.options.destination + "index.html";
    std::vector<uint8_t> bytes(4000, 'x');
    testing::WriteBytes(input, bytes);
    run.options.open_file = input;
    AddCarvedRow(run.list, input, "1", 0, 100);
    const ExtractOutcome outcome = run.Extract();
    EXPECT_FALSE(outcome.ok());
    EXPECT_FALSE(outcome.report_written);
    EXPECT_EQ(ReadBytes(input), bytes);
    EXPECT_EQ(ReadBytes(run.options.destination + "1_thmb.jpg"), Slice(bytes, 0, 100));
  }
  // A source named 0_thmb.jpg carved into its own folder, and a hard link to
  // the source under the next row's name: both rows fail, the source stays.
  {
    ExtractBench run;
    run.options.destination = scratch.Sub("r2");
    const std::string input = run.options.destination + "0_thmb.jpg";
    std::vector<uint8_t> bytes(4000, 'y');
    testing::WriteBytes(input, bytes);
    ASSERT_EQ(::link(input.c_str(), (run.options.destination + "1_thmb.jpg").c_str()), 0);
    run.options.open_file = input;
    AddCarvedRow(run.list, input, "0", 0, 100);
    AddCarvedRow(run.list, input, "1", 0, 50);
    AddCarvedRow(run.list, input, "2", 0, 10);
    const ExtractOutcome outcome = run.Extract();
    EXPECT_EQ(outcome.failed.size(), 2u);
    ASSERT_EQ(outcome.written.size(), 1u);
    EXPECT_EQ(outcome.written[0].path, run.options.destination + "2_thmb.jpg");
    EXPECT_EQ(ReadBytes(input), bytes);
    EXPECT_EQ(ReadBytes(run.options.destination + "1_thmb.jpg"), bytes);
    bool told = false;
    for (const std::string& line : run.errors.Lines(run.texts)) {
      told = told || line.find("it is the file being read") != std::string::npos;
    }
    EXPECT_TRUE(told);
    EXPECT_TRUE(outcome.report_written);
  }
  // A FIFO planted under an output's name is replaced, not opened (opening
  // it for writing would wait for a reader for ever); nothing is left behind
  // under a temporary name.
  {
    ExtractBench run;
    run.options.destination = scratch.Sub("r3");
    ASSERT_EQ(::mkfifo((run.options.destination + "a_thmb.jpg").c_str(), 0600), 0);
    AddStoreRow(run.list, run.store, "1", "a.jpg", FakeImage(1));
    const ExtractOutcome outcome = run.Extract();
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(ReadBytes(run.options.destination + "a_thmb.jpg"), FakeImage(1));
    for (const std::string& name : ListFolder(run.options.destination)) {
      EXPECT_EQ(name.find(kPartialPrefix), std::string::npos) << name;
    }
  }
}

}  // namespace
}  // namespace glintvane
