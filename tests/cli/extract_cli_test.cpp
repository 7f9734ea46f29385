#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/digest.h"
#include "tests/cli/cli_runner.h"

namespace glintvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCache = std::string(GLINTVANE_CORPUS_DIR) + "/real/001-oldcode-Thumbs.db";

class OutFolder {
 public:
  OutFolder() {
    char name[] = "/tmp/glintvane-extract-cli-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~OutFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ExtractCli, WritesEveryRowOfACacheWithRecordsThatMatchTheFiles) {
  OutFolder out;
  const CliRun run = RunCli({"extract", kCache, "-o", out / "dest", "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
  const auto json = run.Json();
  ASSERT_TRUE(json.is_object()) << run.out;
  EXPECT_EQ(json["ok"], true);
  EXPECT_EQ(json["report"], out / "dest/index.html");
  const auto& written = json["written"];
  ASSERT_GT(written.size(), 0u);
  EXPECT_EQ(json["checked"], written.size());
  // One success line per image, and they are not errors.
  EXPECT_TRUE(json["errors"].empty()) << json["errors"];
  ASSERT_EQ(json["messages"].size(), written.size());
  EXPECT_EQ(json["messages"][0], "Operation complete. File:" + written[0].get<std::string>());

  std::ifstream records_file(json["json"].get<std::string>());
  const auto records = nlohmann::json::parse(records_file);
  EXPECT_EQ(records["source"]["path"], kCache);
  EXPECT_EQ(records["source"]["size"], fs::file_size(kCache));
  ASSERT_EQ(records["images"].size(), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    const auto bytes = Bytes(written[i].get<std::string>());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    const Digests digests = DigestsOf(bytes);
    EXPECT_EQ(records["images"][i]["file"], written[i]);
    EXPECT_EQ(records["images"][i]["sha256"], digests.sha256);
    EXPECT_EQ(records["images"][i]["md5"], digests.md5);
    EXPECT_EQ(records["images"][i]["length"], bytes.size());
  }

  // The same folder again: files of the same name are replaced, not numbered.
  const CliRun again = RunCli({"extract", kCache, "-o", out / "dest", "--keys", "1,2"});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(again.out, written[0].get<std::string>() + "\n" + written[1].get<std::string>() + "\n" +
                           out / "dest/index.html\n");
}

TEST(ExtractCli, CarvesAndWritesTheImagesOfAnyFile) {
  OutFolder out;
  // Real thumbnails first, taken from the cache, then hidden in a blob.
  const CliRun cache = RunCli({"extract", kCache, "-o", out / "thumbs", "--keys", "1,2", "--json"});
  ASSERT_EQ(cache.exit_code, 0) << cache.err;
  const auto first = Bytes(cache.Json()["written"][0]);
  const auto second = Bytes(cache.Json()["written"][1]);
  std::vector<uint8_t> blob(1000, 0x00);
  blob.insert(blob.end(), first.begin(), first.end());
  blob.resize(blob.size() + 333, 0x20);
  blob.insert(blob.end(), second.begin(), second.end());
  blob.resize(blob.size() + 100, 0x00);
  std::ofstream(out / "blob.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(blob.data()), static_cast<std::streamsize>(blob.size()));

  const CliRun run =
      RunCli({"extract", out / "blob.bin", "--carve", "-o", out / "carved", "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto json = run.Json();
  ASSERT_EQ(json["written"].size(), 2u);
  EXPECT_EQ(Bytes(json["written"][0]), first);
  EXPECT_EQ(Bytes(json["written"][1]), second);
  std::ifstream records_file(json["json"].get<std::string>());
  const auto records = nlohmann::json::parse(records_file);
  EXPECT_EQ(records["images"][0]["offset"], 1000);
  EXPECT_EQ(records["images"][0]["source"], out / "blob.bin");
  EXPECT_EQ(records["images"][0]["name"], "---");
}

TEST(ExtractCli, ExitStatuses) {
  OutFolder out;
  // Usage: no destination, both selections, a number no row has.
  EXPECT_EQ(RunCli({"extract", kCache}).exit_code, 2);
  EXPECT_EQ(RunCli({"extract", kCache, "-o", out / "d", "--all", "--keys", "1"}).exit_code, 2);
  const CliRun unknown = RunCli({"extract", kCache, "-o", out / "d", "--keys", "1,99999"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("99999"), std::string::npos);
  EXPECT_FALSE(fs::exists(out / "d/index.html"));

  // The input cannot be read.
  const CliRun missing = RunCli({"extract", out / "none.db", "-o", out / "d", "--json"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_FALSE(missing.Json()["errors"].empty());
  EXPECT_TRUE(missing.Json()["report"].is_null());

  // The destination cannot be made (a file holds its name).
  std::ofstream(out / "file") << "x";
  EXPECT_EQ(RunCli({"extract", kCache, "-o", out / "file/sub"}).exit_code, 1);
}

// "extract r1/index.html --carve -o r1" once replaced its own input with the
// report and exited 0.
TEST(ExtractCli, TheInputIsNeverAnOutput) {
  OutFolder out;
  fs::create_directories(out / "r1");
  const std::string input = out / "r1/index.html";
  fs::copy_file(kCache, input);
  const std::vector<uint8_t> before = Bytes(input);
  const CliRun run = RunCli({"extract", input, "-o", out / "r1"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(Bytes(input), before);
  EXPECT_NE(run.err.find("Details: it is the file being read"), std::string::npos) << run.err;
  EXPECT_GT(run.out.size(), 0u);  // the thumbnails themselves were written
}

}  // namespace
}  // namespace glintvane::testing
