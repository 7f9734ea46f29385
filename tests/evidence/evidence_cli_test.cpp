// glintvane-cli on disk images: search, list/extract through an image path,
// carving the image and its unallocated space, the DFXML record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "export/digest.h"
#include "tests/cli/cli_runner.h"
#include "tests/discover/discover_fixtures.h"
#include "tests/evidence/test_disk.h"

namespace glintvane {
namespace {

using testing::RunCli;

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(EvidenceCli, SearchesAnImageAndExtractsADeletedCacheWithOneSummaryLine) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const auto search = RunCli({"search", "--json", disk.Path("disk.E01")});
  ASSERT_EQ(search.exit_code, 0) << search.err;
  // No terminal: no progress; only the partition that holds no file system.
  EXPECT_EQ(Count(search.err, "\n"), 1u) << search.err;
  EXPECT_EQ(search.err.find("glintvane-cli search: " + disk.Path("disk.E01") +
                            ": no file system recognised in partition 3 ("),
            0u)
      << search.err;
  const auto doc = search.Json();
  EXPECT_EQ(doc["format"], "EWF");
  EXPECT_EQ(doc["partitions"].size(), 3u);
  nlohmann::json deleted;
  for (const auto& row : doc["rows"]) {
    EXPECT_TRUE(row.contains("image") && row.contains("partition") && row.contains("inode") &&
                row.contains("inner_path") && row["deleted"].is_boolean());
    if (row["inner_path"] == "/Old/Thumbs.db") deleted = row;
  }
  ASSERT_TRUE(deleted.is_object()) << search.out;
  EXPECT_EQ(deleted["deleted"], true);
  EXPECT_EQ(deleted["partition"], 1);

  const std::string path = deleted["path"];
  const auto list = RunCli({"list", "--json", path});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  EXPECT_EQ(list.Json()["rows"].size(), 12u);

  testing::TempTree out;
  const std::string record = out.Path("run.xml");
  const auto extract = RunCli({"extract", path, "-o", out.Path("x"), "--dfxml", record});
  ASSERT_EQ(extract.exit_code, 0) << extract.err;
  EXPECT_EQ(extract.err, "Operation complete: 12 of 12 written to " + out.Path("x") + "\n");
  const std::string xml = Text(record);
  EXPECT_EQ(Count(xml, "<fileobject>"), 12u);
  EXPECT_NE(xml.find("<command_line>"), std::string::npos);
  // The record's digests are those of the files written.
  const size_t name_at = xml.find("<filename>") + 10;
  const std::string first = xml.substr(name_at, xml.find("</filename>") - name_at);
  const Digests sums = DigestsOf(testing::ReadBytes(first));
  EXPECT_NE(xml.find("<hashdigest type='md5'>" + sums.md5 + "<"), std::string::npos);
  EXPECT_NE(xml.find("<hashdigest type='sha1'>" + sums.sha1 + "<"), std::string::npos);
}

// A thumbcache inside an image is read with the index beside it, as the same
// file is on disk.
TEST(EvidenceCli, ListsAThumbcacheInsideAnImageWithItsIndex) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const auto search = RunCli({"search", "--json", disk.Path("disk.raw")});
  const auto found = search.Json();
  std::string path;
  std::string index;
  for (const auto& row : found["rows"]) {
    if (row["name"] == "thumbcache_32.db") {
      path = row["path"];
      index = row["search_index"].is_string() ? row["search_index"] : "";
    }
  }
  ASSERT_FALSE(path.empty()) << search.out;
  // The search index of the same partition, where Windows keeps it, is the
  // one search names and list reads (a WAL database, from the image's bytes).
  ASSERT_EQ(found["search_indexes"].size(), 1u) << found["search_indexes"];
  EXPECT_EQ(found["search_indexes"][0]["path"], index);
  EXPECT_EQ(index.substr(0, index.find('#')), disk.Path("disk.raw"));
  EXPECT_TRUE(
      index.ends_with(":/ProgramData/Microsoft/Search/Data/Applications/Windows/Windows.db"))
      << index;
  const auto inside = RunCli({"list", "--json", path});
  const auto listed = inside.Json();
  const auto& used = listed["search_index"];
  EXPECT_EQ(used["path"], index);
  EXPECT_EQ(used["format"], "sqlite");
  EXPECT_EQ(used["read"], true);
  EXPECT_EQ(used["complete"], true) << used;
  const auto outside =
      RunCli({"list", "--json", testing::CorpusCache("thumbcache/win7-a/thumbcache_32.db")});
  ASSERT_EQ(inside.exit_code, 0) << inside.out;
  const auto a = inside.Json()["rows"];
  const auto b = outside.Json()["rows"];
  ASSERT_EQ(a.size(), b.size());
  ASSERT_FALSE(a.empty());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i]["key"], b[i]["key"]);
    EXPECT_EQ(a[i]["sha256"], b[i]["sha256"]);
    EXPECT_EQ(a[i]["indexed"], b[i]["indexed"]);
    EXPECT_FALSE(a[i]["indexed"].is_null());
  }
}

// Carving the unallocated space finds the deleted picture and not the kept
// one; its byte run points at its bytes in the disk.
TEST(EvidenceCli, CarvesOnlyTheUnallocatedSpaceAndRecordsWhereEachImageLies) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const auto whole = RunCli({"carve", "--json", disk.Path("disk.E01")});
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  const auto whole_rows = whole.Json()["rows"];

  testing::TempTree out;
  const std::string record = out.Path("carve.xml");
  const auto free_space = RunCli(
      {"carve", "--json", "--hash", "--unallocated", "--dfxml", record, disk.Path("disk.E01")});
  ASSERT_EQ(free_space.exit_code, 0) << free_space.err;
  const auto doc = free_space.Json();
  EXPECT_EQ(doc["unallocated"], true);
  EXPECT_EQ(doc["unreadable_sectors"], 0);
  const Digests kept = DigestsOf(disk.kept_jpeg);
  const Digests deleted = DigestsOf(disk.deleted_jpeg);
  bool found_deleted = false;
  for (const auto& row : doc["rows"]) {
    EXPECT_NE(row["sha256"], kept.sha256);
    if (row["sha256"] != deleted.sha256) continue;
    found_deleted = true;
    // The bytes at img_offset in the raw disk are the picture's.
    std::ifstream raw(disk.Path("disk.raw"), std::ios::binary);
    raw.seekg(row["img_offset"].get<int64_t>());
    std::vector<uint8_t> bytes(disk.deleted_jpeg.size());
    raw.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(bytes == disk.deleted_jpeg);
    const std::string run = "img_offset='" + std::to_string(row["img_offset"].get<int64_t>()) +
                            "' len='" + std::to_string(disk.deleted_jpeg.size()) + "'";
    EXPECT_NE(Text(record).find(run), std::string::npos);
  }
  EXPECT_TRUE(found_deleted) << free_space.out;
  EXPECT_LT(doc["rows"].size(), whole_rows.size());
  EXPECT_EQ(Count(Text(record), "<fileobject>"), doc["rows"].size());
  EXPECT_NE(Text(record).find("<hashdigest type='sha256'>" + deleted.sha256), std::string::npos);
}

TEST(EvidenceCli, NamesAMissingSegmentAndAnUnrecognisedImage) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const std::string moved = disk.Path("gap.E02.away");
  std::filesystem::rename(disk.Path("gap.E02"), moved);
  const auto gap = RunCli({"search", disk.Path("gap.E01")});
  const auto carve = RunCli({"carve", disk.Path("gap.E01")});
  std::filesystem::rename(moved, disk.Path("gap.E02"));
  EXPECT_EQ(gap.exit_code, 1);
  EXPECT_NE(gap.err.find("segment file gap.E02 is missing"), std::string::npos) << gap.err;
  EXPECT_EQ(carve.exit_code, 1);
  EXPECT_NE(carve.err.find("gap.E02 is missing"), std::string::npos) << carve.err;

  // A disk image handed where a cache is wanted: the way to it is named.
  const auto list = RunCli({"list", disk.Path("disk.raw")});
  EXPECT_EQ(list.exit_code, 1);
  EXPECT_NE(list.err.find("is a disk image; \"glintvane-cli search"), std::string::npos)
      << list.err;
  testing::TempTree out;
  const auto carved = RunCli({"extract", "--carve", disk.Path("disk.E01"), "-o", out.root()});
  EXPECT_EQ(carved.exit_code, 2);
  EXPECT_NE(carved.err.find("glintvane-cli carve"), std::string::npos) << carved.err;

  const auto noise = RunCli({"search", disk.Path("gap.E01")});
  EXPECT_EQ(noise.exit_code, 1);
  EXPECT_NE(noise.err.find("no partition table and no file system recognised"), std::string::npos)
      << noise.err;
}

// Damaged chunks (one starts the recycled cache, one /Pics/Thumbs.db): the
// search, the reading and the carving go on, count the sectors once each and
// say so, and the exit status says the image was not read in full.
TEST(EvidenceCli, KeepsGoingPastUnreadableSectorsAndCountsThem) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const auto search = RunCli({"search", "--json", disk.Path("bad.E01")});
  EXPECT_EQ(search.exit_code, 1);
  const auto doc = search.Json();
  ASSERT_TRUE(doc.is_object()) << search.err;
  EXPECT_GT(doc["unreadable_sectors"].get<int>(), 0);
  EXPECT_FALSE(doc["complete"].get<bool>());
  EXPECT_NE(search.err.find("unreadable sectors were read as zeros"), std::string::npos);
  // The recycled cache whose first bytes are lost is still listed, to be seen.
  std::set<std::string> listed;
  std::string pics;
  for (const auto& row : doc["rows"]) {
    listed.insert(row["inner_path"].get<std::string>());
    if (row["inner_path"] == "/Pics/Thumbs.db") pics = row["path"];
  }
  EXPECT_EQ(listed, (std::set<std::string>{
                        "/Pics/Thumbs.db", "/Old/Thumbs.db", "/RECYCLER/S-1-5-21-1/Dc1.db",
                        "/Users/eve/AppData/Local/Microsoft/Windows/Explorer/thumbcache_32.db",
                        "/$Recycle.Bin/S-1-5-21-9/$RAB12CD.db"}));

  const auto list = RunCli({"list", "--json", pics});
  EXPECT_EQ(list.exit_code, 1);
  EXPECT_NE(list.out.find("unreadable sectors of the image read as zeros"), std::string::npos)
      << list.out;

  const auto carve = RunCli({"carve", "--json", disk.Path("bad.E01")});
  EXPECT_EQ(carve.exit_code, 1);
  // Each damaged chunk is 64 sectors; the whole pass reads each once.
  EXPECT_EQ(carve.Json()["unreadable_sectors"], 128);
  EXPECT_EQ(carve.Json()["file_size"], 34u << 20);
}

// A middle piece of a split image gone: named, never read as a shorter disk.
// A volume that ends past the image's end (the last piece gone, a raw or an
// EWF image of a file system's first 20 MiB): the run is incomplete.
TEST(EvidenceCli, AGapOrAVolumePastTheEndLeavesTheRunIncomplete) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const auto away = [&](const std::string& name, const auto& runs) {
    std::filesystem::rename(disk.Path(name), disk.Path("away"));
    runs();
    std::filesystem::rename(disk.Path("away"), disk.Path(name));
  };
  away("piece.raw.003", [&] {
    for (const char* verb : {"search", "carve"}) {
      SCOPED_TRACE(verb);
      const auto run = RunCli({verb, "--json", disk.Path("piece.raw.001")});
      EXPECT_EQ(run.exit_code, 1);
      const auto doc = run.Json();
      ASSERT_TRUE(doc.is_object()) << run.out;
      EXPECT_EQ(doc["ok"], false);
      EXPECT_NE(doc["error"].get<std::string>().find(
                    "is incomplete: piece piece.raw.003 is missing (2 pieces found before it"),
                std::string::npos)
          << doc["error"];
    }
  });
  EXPECT_EQ(RunCli({"carve", disk.Path("piece.raw.001")}).exit_code, 0);

  const std::string fs_end =
      "the file system ends at byte 35651584, past the image's end at "
      "byte 20971520: the image is truncated";
  const std::string partition_end =
      "partition 1 ends at byte 36700160, past the image's end at "
      "byte 33554432: the image is truncated";
  const auto check = [&](const std::string& name, const std::string& said) {
    SCOPED_TRACE(name);
    const auto search = RunCli({"search", "--json", disk.Path(name)});
    EXPECT_EQ(search.exit_code, 1);
    EXPECT_EQ(search.Json()["complete"], false);
    EXPECT_EQ(search.Json()["truncated"], true);
    EXPECT_EQ(search.Json()["partitions"][0]["past_end"], said);
    EXPECT_GT(search.Json()["rows"].size(), 0u);  // what is there is still listed
    const auto carve = RunCli({"carve", "--json", disk.Path(name)});
    EXPECT_EQ(carve.exit_code, 1);
    EXPECT_EQ(carve.Json()["complete"], false);
    EXPECT_EQ(carve.Json()["incomplete_reasons"][0], disk.Path(name) + ": " + said);
    EXPECT_NE(carve.err.find(said), std::string::npos) << carve.err;
  };
  away("split.raw.003", [&] { check("split.raw.001", partition_end); });
  check("short.raw", fs_end);
  check("short.E01", fs_end);
}

// 2,000 GPT entries over one file system: walked once, the repeats named in
// the JSON and in one line, the partition that overlaps it noted.
TEST(EvidenceCli, WalksARepeatedPartitionOnceAndNotesAnOverlap) {
  GLINTVANE_NEED_TEST_DISK(disk);
  const uint64_t fat_sectors = std::filesystem::file_size(disk.Path("fat.raw")) / 512;
  std::vector<testing::GptExtent> extents(1999, {2048, 2048 + fat_sectors - 1});
  extents.push_back({4096, 8191});
  testing::WriteGptDisk(disk.Path("gpt.raw"), extents, disk.Path("fat.raw"));
  const auto run = RunCli({"search", "--json", disk.Path("gpt.raw")});
  const auto doc = run.Json();
  ASSERT_TRUE(doc.is_object()) << run.err;
  const auto& partitions = doc["partitions"];
  ASSERT_EQ(partitions.size(), 2000u);
  EXPECT_TRUE(partitions[0]["duplicate_of"].is_null());
  EXPECT_EQ(partitions[0]["file_system"], "fat32");
  EXPECT_EQ(partitions[1]["duplicate_of"], 1);
  EXPECT_EQ(partitions[1998]["duplicate_of"], 1);
  EXPECT_TRUE(partitions[1998]["error"].is_null());
  EXPECT_EQ(partitions[1999]["overlaps"], 1);
  EXPECT_EQ(doc["rows"].size(),
            RunCli({"search", "--json", disk.Path("fat.raw")}).Json()["rows"].size());
  EXPECT_NE(run.err.find(": 1998 partitions repeat (2, 3, 4, 5, ..., 1999) the extent of "
                         "partition 1; its file system was read once\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(": partition 2000 overlaps partition 1\n"), std::string::npos) << run.err;

  // Ctrl-C stops the walk of an image too, and the document says so.
  const auto stopped =
      RunCli({"search", "--json", disk.Path("gpt.raw")}, testing::Interrupt::kBeforeStart);
  EXPECT_EQ(stopped.exit_code, 130);
  EXPECT_EQ(stopped.Json()["interrupted"], true);
  EXPECT_EQ(stopped.Json()["complete"], false);
  EXPECT_TRUE(stopped.Json()["rows"].empty());
  EXPECT_NE(stopped.err.find("search: stopped by Ctrl-C after 0 folders; 0 of 2000 volumes"),
            std::string::npos)
      << stopped.err;
}

}  // namespace
}  // namespace glintvane
