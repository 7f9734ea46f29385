// glintvane-cli list: the table, the JSON object and the exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <fstream>

#include "export/digest.h"
#include "tests/cli/cli_runner.h"
#include "testsupport/cfb_writer.h"
#include "testsupport/synthetic_pictures.h"
#include "testsupport/thumbs_fixtures.h"

namespace glintvane {
namespace {

using namespace testsupport;
using testing::RunCli;

constexpr uint64_t kTime = 127370000000000000ull;  // 2004-08-14 23:33:20 UTC

class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/glintvane-list-cli-XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<uint8_t> Cache(bool break_third = false) {
  std::vector<CfbEntry> entries = {
      {.name = "1", .bytes = MakeJfifThumbStream(MakeJpeg(40, 30, 1))},
      {.name = "Catalog",
       .bytes = MakeCatalog({{1, "first.jpg", kTime}, {2, "second.png", kTime + 10000000}})},
      {.name = "2", .bytes = MakeRawColourStream(PatternPicture(32, 24, 2))},
      {.name = "256_0123456789abcdef", .bytes = MakeLaterThumbStream(MakePng(9, 7, 3))},
  };
  if (break_third) entries[3].bytes.back() ^= 0xFF;  // the PNG's end is gone
  return BuildCompoundFile(entries, CfbOptions{.root_modified = kTime}).bytes;
}

TEST(ListCliTest, JsonHasEveryField) {
  const TempFile file(Cache());
  const auto run = RunCli({"list", file.path(), "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto json = run.Json();
  ASSERT_TRUE(json.is_object()) << run.out;
  EXPECT_EQ(json["path"], file.path());
  EXPECT_EQ(json["ok"], true);
  EXPECT_TRUE(json["error_code"].is_null());
  EXPECT_TRUE(json["errors"].empty());
  const auto& details = json["details"];
  ASSERT_EQ(details.size(), 6u);
  EXPECT_EQ(details[0], "File Name: " + std::filesystem::path(file.path()).filename().string());
  EXPECT_EQ(details[4], "Version: 7");
  EXPECT_EQ(details[5], "Thumbnails: 2");
  const auto& rows = json["rows"];
  ASSERT_EQ(rows.size(), 3u);
  const auto& first = rows[0];
  EXPECT_EQ(first["key"], "1");
  EXPECT_EQ(first["name"], "first.jpg");
  EXPECT_EQ(first["filetime"], kTime);
  EXPECT_EQ(first["modified_utc"], "2004-08-14T23:33:20Z");
  EXPECT_FALSE(first["modified"].get<std::string>().empty());
  EXPECT_EQ(first["start"], 0);
  EXPECT_EQ(first["source_kind"], 1);
  EXPECT_EQ(first["kind"], "jfif");
  EXPECT_EQ(first["width"], 40);
  EXPECT_EQ(first["height"], 30);
  const auto jpeg = MakeJpeg(40, 30, 1);
  EXPECT_EQ(first["length"], jpeg.size());
  EXPECT_EQ(first["end"], jpeg.size());
  EXPECT_EQ(first["sha256"], DigestsOf(jpeg).sha256);
  EXPECT_EQ(rows[1]["kind"], "raw");
  EXPECT_EQ(rows[1]["name"], "second.png");
  EXPECT_EQ(rows[1]["width"], 32);
  EXPECT_EQ(rows[1]["start"], first["end"]);
  EXPECT_EQ(rows[2]["key"], "256_0123456789abcdef");
  EXPECT_EQ(rows[2]["kind"], "png");
  EXPECT_EQ(rows[2]["name"], "");
  EXPECT_EQ(rows[2]["modified"], "");
  EXPECT_EQ(rows[2]["modified_utc"], "");
  EXPECT_EQ(rows[2]["filetime"], 0);
  EXPECT_EQ(rows[2]["sha256"], DigestsOf(MakePng(9, 7, 3)).sha256);
}

TEST(ListCliTest, TableByDefault) {
  const TempFile file(Cache());
  const auto run = RunCli({"list", file.path()});
  ASSERT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("Number"), std::string::npos);
  EXPECT_NE(run.out.find("Original Name"), std::string::npos);
  EXPECT_NE(run.out.find("first.jpg"), std::string::npos);
  EXPECT_NE(run.out.find("256_0123456789abcdef"), std::string::npos);
  EXPECT_NE(run.out.find("40x30"), std::string::npos);
  EXPECT_NE(run.out.find("Files: 3"), std::string::npos);
  EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST(ListCliTest, FailedReadKeepsEarlierRowsAndExitsOne) {
  const TempFile file(Cache(true));
  auto run = RunCli({"list", file.path(), "--json"});
  EXPECT_EQ(run.exit_code, 1);
  const auto json = run.Json();
  EXPECT_EQ(json["ok"], false);
  EXPECT_EQ(json["error_code"], 502);
  EXPECT_EQ(json["errors"][0], "Fatal error!");
  EXPECT_EQ(json["errors"][2], "Details: missing end of file");
  // The broken stream costs its own row only: it is listed with its error.
  ASSERT_EQ(json["rows"].size(), 3u);
  EXPECT_EQ(json["rows"][0]["error_code"], 0);
  EXPECT_EQ(json["rows"][2]["key"], "256_0123456789abcdef");
  EXPECT_EQ(json["rows"][2]["error_code"], 502);
  EXPECT_EQ(json["rows"][2]["length"], 0);
  run = RunCli({"list", file.path()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.out.find("first.jpg"), std::string::npos);
  EXPECT_NE(run.err.find("missing end of file"), std::string::npos);
}

TEST(ListCliTest, MissingFileAndUsageErrors) {
  auto run = RunCli({"list", "/nonexistent/Thumbs.db", "--json"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.Json()["error_code"], 500);
  EXPECT_EQ(RunCli({"list"}).exit_code, 2);
  EXPECT_EQ(RunCli({"list", "a", "b"}).exit_code, 2);
  EXPECT_EQ(RunCli({"list", "--nonsense", "x"}).exit_code, 2);
}

TEST(ListCliTest, WarningDoesNotFailTheRead) {
  auto bytes = Cache();
  bytes.resize(bytes.size() + 10, 0);
  const TempFile file(bytes);
  const auto run = RunCli({"list", file.path(), "--json"});
  EXPECT_EQ(run.exit_code, 0);
  const auto json = run.Json();
  EXPECT_EQ(json["ok"], true);
  EXPECT_TRUE(json["error_code"].is_null());
  EXPECT_EQ(json["errors"][0], "Warning!");
  EXPECT_EQ(json["errors"][2], "Details: file length non multiple 512");
}

TEST(ListCliTest, RealXpCache) {
  const std::string path = GLINTVANE_CORPUS_DIR "/real/017-feng33-Thumbs.db";
  if (!std::filesystem::exists(path)) GTEST_SKIP();
  const auto run = RunCli({"list", path, "--json"});
  ASSERT_EQ(run.exit_code, 0);
  const auto json = run.Json();
  ASSERT_EQ(json["rows"].size(), 500u);
  EXPECT_EQ(json["rows"][0]["name"], "33-404-error.jpg");
  EXPECT_EQ(json["rows"][0]["sha256"],
            "21c334b6a15a14ae660728de2e1fdaabfefe4fe2ed31fa8d855867ec365fe27c");
}

TEST(ListCliTest, RealThumbcacheWithItsIndexAndAnExtract) {
  const std::string path = GLINTVANE_CORPUS_DIR "/real/thumbcache/win7-a/thumbcache_256.db";
  const auto run = RunCli({"list", path, "--json"});
  ASSERT_EQ(run.exit_code, 0);
  const auto json = run.Json();
  ASSERT_EQ(json["rows"].size(), 181u);
  size_t indexed = 0, not_indexed = 0, none = 0;
  for (const auto& row : json["rows"]) {
    indexed += row["indexed"] == true;
    not_indexed += row["indexed"] == false;
    none += row["kind"] == "none";
    EXPECT_EQ(row["checksum_ok"], true);
    EXPECT_EQ(row["key"].get<std::string>().size(), 16u);
    EXPECT_EQ(row["kind"] == "none", row["sha256"] == "");
  }
  EXPECT_EQ(indexed, 73u);
  EXPECT_EQ(not_indexed, 108u);
  EXPECT_EQ(none, 158u);

  // The bytes are written as stored: the file's hash is the listed one.
  const std::string out = std::filesystem::temp_directory_path() / "glintvane-list-cli-tc";
  std::filesystem::remove_all(out);
  const auto extract = RunCli({"extract", path, "-o", out, "--keys", "21ea970921921099"});
  EXPECT_EQ(extract.exit_code, 0) << extract.err;
  const auto written = FingerprintFile(out + "/21ea970921921099_thmb.png");
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->sha256, "27b5bf419d6e09941f601af4aa13ceafffeb6eea3322bd04211abf9726edaac1");
  std::filesystem::remove_all(out);

  // Rows of a Thumbs.db have neither verdict.
  const auto xp = RunCli({"list", GLINTVANE_CORPUS_DIR "/real/006-oldcode-Thumbs.db", "--json"});
  EXPECT_TRUE(xp.Json()["rows"][0]["indexed"].is_null());
  EXPECT_TRUE(xp.Json()["rows"][0]["checksum_ok"].is_null());
}

// One bit of entry 2's size field of a real Windows 10 cache: the read
// fails, and still lists every entry, the damaged one with its error.
TEST(ListCliTest, DamagedThumbcacheEntryCostsOnlyItsRow) {
  const std::string path = GLINTVANE_CORPUS_DIR "/real/thumbcache/win10-a/thumbcache_32.db";
  if (!std::filesystem::exists(path)) GTEST_SKIP();
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  const auto sound = RunCli({"list", path, "--json"}).Json();
  const uint64_t second = sound["rows"][1]["entry_offset"];
  bytes[second + 5] ^= 0x01;
  const TempFile file(bytes);
  const auto run = RunCli({"list", file.path(), "--json"});
  EXPECT_EQ(run.exit_code, 1);
  const auto json = run.Json();
  EXPECT_EQ(json["ok"], false);
  EXPECT_EQ(json["error_code"], 1611);
  ASSERT_EQ(json["rows"].size(), 777u);
  EXPECT_EQ(json["rows"][1]["error_code"], 1611);
  EXPECT_EQ(json["rows"][1]["sha256"], sound["rows"][1]["sha256"]);  // its data is whole
  for (size_t i = 0; i < 777; ++i) {
    if (i == 1) continue;
    EXPECT_EQ(json["rows"][i]["error_code"], 0);
    EXPECT_EQ(json["rows"][i]["sha256"], sound["rows"][i]["sha256"]);
    EXPECT_EQ(json["rows"][i]["recovered"], false);
    EXPECT_TRUE(json["rows"][i]["data_checksum_ok"].is_null());
  }
  const auto& details = json["details"];
  EXPECT_NE(std::find(details.begin(), details.end(), "Damaged entries: 1"), details.end());
}

// A Thumbs.db cut short: the reason, in the JSON and on standard error, and
// the carving that still finds its thumbnails.
TEST(ListCliTest, CutShortThumbsDbSaysWhatIsLostAndOffersCarving) {
  const std::string path = GLINTVANE_CORPUS_DIR "/real/017-feng33-Thumbs.db";
  if (!std::filesystem::exists(path)) GTEST_SKIP();
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  bytes.resize(1000000);
  const TempFile file(bytes);
  const auto run = RunCli({"list", file.path(), "--json"});
  EXPECT_EQ(run.exit_code, 1);
  const auto json = run.Json();
  EXPECT_EQ(json["error_code"], 1502);
  const auto& cut = json["cut_short"];
  ASSERT_TRUE(cut.is_object()) << run.out;
  EXPECT_EQ(cut["size"], 1000000);
  EXPECT_EQ(cut["at_least"], true);
  EXPECT_GT(cut["expected_size"].get<uint64_t>(), 1000000u);
  EXPECT_EQ(cut["past_the_end"].back(), "the Catalog");
  EXPECT_NE(run.err.find("glintvane-cli carve " + file.path()), std::string::npos) << run.err;
  EXPECT_TRUE(RunCli({"list", path, "--json"}).Json()["cut_short"].is_null());
}

}  // namespace
}  // namespace glintvane

namespace glintvane {
namespace {

using namespace testsupport;
using testing::RunCli;

std::string HexOfForTest(const std::string& text) {
  std::string out;
  char pair[3];
  for (const char c : text) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
    out += pair;
  }
  return out;
}

// Names from a hostile Catalog: escapes that erase rows, a newline that
// plants a fake one, a right-to-left override, invisible marks and a line
// separator. None reaches the terminal or an extracted file's name raw.
TEST(ListCliTest, NamesAreShownEscapedAndFifosRefused) {
  const std::vector<CfbEntry> entries = {
      {.name = "1", .bytes = MakeJfifThumbStream(MakeJpeg(40, 30, 1))},
      {.name = "2", .bytes = MakeJfifThumbStream(MakeJpeg(40, 30, 2))},
      {.name = "3", .bytes = MakeJfifThumbStream(MakeJpeg(40, 30, 3))},
      {.name = "Catalog",
       .bytes =
           MakeCatalog({{1, "\x1B[2J\x1B[1Aerase.jpg", kTime},
                        {2, "a.jpg\n9  fake.jpg\t\x7F\xC2\x9B\xE2\x80\xAEgpj.exe", kTime},
                        // U+200E, U+2028, U+061C, U+E0041 (a tag, four bytes)
                        {3, "x\xE2\x80\x8Ey\xE2\x80\xA8z\xD8\x9C\xF3\xA0\x81\x81.jpg", kTime}})},
  };
  const TempFile file(BuildCompoundFile(entries, CfbOptions{.root_modified = kTime}).bytes);
  const auto run = RunCli({"list", file.path()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.find('\x1B'), std::string::npos);
  EXPECT_NE(run.out.find("\\e[2J\\e[1Aerase.jpg"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("a.jpg\\n9  fake.jpg\\t\\x7f\\xc2\\x9b\\u202Egpj.exe"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("\n9  fake"), std::string::npos);
  EXPECT_NE(run.out.find("x\\u200Ey\\u2028z\\u061C\\U000E0041.jpg"), std::string::npos) << run.out;
  const std::string folder = file.path() + ".out";
  const auto extract = RunCli({"extract", file.path(), "-o", folder, "--keys", "3", "--json"});
  ASSERT_EQ(extract.exit_code, 0) << extract.err;
  EXPECT_EQ(extract.Json()["written"], nlohmann::json::array({folder + "/x_y_z___thmb.jpg"}));
  std::filesystem::remove_all(folder);

  // A FIFO answers at once instead of waiting for a writer.
  const std::string fifo = file.path() + ".fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const char* command : {"list", "carve"}) {
    const auto refused = RunCli({command, fifo});
    EXPECT_EQ(refused.exit_code, 1) << command;
    EXPECT_NE(refused.err.find("Not a regular file or block device"), std::string::npos)
        << command << ": " << refused.err;
  }
  // A path that is not UTF-8 keeps its exact bytes beside the JSON text.
  const std::string odd = file.path() + "-\xFF";
  std::filesystem::copy_file(file.path(), odd);
  const auto json = RunCli({"list", odd, "--json"}).Json();
  EXPECT_EQ(json["path_hex"], HexOfForTest(odd));
  unlink(odd.c_str());
  unlink(fifo.c_str());
}

}  // namespace
}  // namespace glintvane
