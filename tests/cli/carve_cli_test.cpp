#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "testsupport/synthetic_pictures.h"

namespace glintvane::testing {
namespace {

// A JPEG's structure without a picture: enough for the carver.
std::vector<uint8_t> TinyJpeg(uint8_t fill) {
  return {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0,    1,   1,
          0,    0,    1,    0,    1,    0,    0,    0xFF, 0xC0, 0x00, 0x05, 8,   0,
          1,    0xFF, 0xDA, 0x00, 0x02, fill, fill, 0xFF, 0x00, fill, 0xFF, 0xD9};
}

class CarveFile {
 public:
  explicit CarveFile(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/glintvane-carve-cli-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (!bytes.empty()) {
      EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    close(fd);
  }
  ~CarveFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(CarveCliTest, ListsImagesAsJsonWithHashes) {
  std::vector<uint8_t> bytes(500, 0x20);
  const auto first = TinyJpeg(0x11);
  bytes.insert(bytes.end(), first.begin(), first.end());
  bytes.resize(2000, 0x20);
  bytes.insert(bytes.end(), first.begin(), first.end());
  const auto cut = TinyJpeg(0x22);
  bytes.insert(bytes.end(), cut.begin(), cut.begin() + 30);  // runs off the end
  const CarveFile file(bytes);

  const CliRun run = RunCli({"carve", file.path(), "--json", "--hash"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const auto json = run.Json();
  ASSERT_TRUE(json.is_object()) << run.out;
  EXPECT_EQ(json["path"], file.path());
  EXPECT_EQ(json["ok"], true);
  EXPECT_TRUE(json["error_code"].is_null());
  EXPECT_TRUE(json["errors"].empty());
  const auto& rows = json["rows"];
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]["key"], "0");
  EXPECT_EQ(rows[0]["start"], 500);
  EXPECT_EQ(rows[0]["length"], first.size());
  EXPECT_EQ(rows[0]["end"], 500 + first.size());
  EXPECT_EQ(rows[0]["complete"], true);
  EXPECT_EQ(rows[1]["start"], 2000);
  EXPECT_EQ(rows[0]["sha256"], rows[1]["sha256"]);  // the same image twice
  EXPECT_EQ(rows[0]["sha256"].get<std::string>().size(), 64u);
  EXPECT_EQ(rows[2]["complete"], false);
  EXPECT_EQ(rows[2]["length"], 30);
  EXPECT_NE(rows[2]["sha256"], rows[0]["sha256"]);

  const CliRun text = RunCli({"carve", file.path()});
  EXPECT_EQ(text.exit_code, 0);
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')),
            "key\tstart\tend\tlength\tcomplete\tsignature\tdecodes");
  // The hand-made structure has no tables: complete, yet it does not decode.
  EXPECT_NE(text.out.find("\n0\t500\t" + std::to_string(500 + first.size()) + "\t" +
                          std::to_string(first.size()) + "\tyes\tjfif\tno\n"),
            std::string::npos);
}

TEST(CarveCliTest, FailuresAndUsage) {
  const CliRun missing = RunCli({"carve", "/nonexistent/hiberfil.sys", "--json"});
  EXPECT_EQ(missing.exit_code, 1);
  const auto json = missing.Json();
  EXPECT_EQ(json["ok"], false);
  EXPECT_EQ(json["error_code"], 602);
  ASSERT_GE(json["errors"].size(), 2u);
  EXPECT_EQ(json["errors"][1], "/nonexistent/hiberfil.sys : No such file or directory");

  // Nothing found in a readable file is not a failure of the command.
  const CarveFile empty({});
  const CliRun none = RunCli({"carve", empty.path(), "--json"});
  EXPECT_EQ(none.exit_code, 0);
  EXPECT_EQ(none.Json()["ok"], false);
  EXPECT_TRUE(none.Json()["rows"].empty());

  EXPECT_EQ(RunCli({"carve"}).exit_code, 2);
}

TEST(CarveCliTest, KindsAreChosenByNameAndEachRowSaysWhetherItDecodes) {
  const PixelImage picture = testsupport::PatternPicture(40, 30, 1);
  const auto jfif = testsupport::MakeJpeg(40, 30, 2);
  const auto png = testsupport::EncodePngCompressed(picture);
  const auto bmp = testsupport::EncodeBmp(picture);
  std::vector<uint8_t> bytes(300, 0x20);
  bytes.insert(bytes.end(), jfif.begin(), jfif.end());
  bytes.resize(bytes.size() + 100, 0x20);
  const size_t png_at = bytes.size();
  bytes.insert(bytes.end(), png.begin(), png.end());
  bytes.resize(bytes.size() + 100, 0x20);
  const size_t bmp_at = bytes.size();
  bytes.insert(bytes.end(), bmp.begin(), bmp.end());
  bytes.resize(bytes.size() + 100, 0x20);
  const CarveFile file(bytes);

  // The default is the JFIF scan, its pictures decoded.
  const auto plain = RunCli({"carve", file.path(), "--json"}).Json();
  EXPECT_EQ(plain["kinds"], "jfif");
  EXPECT_EQ(plain["verified"], true);
  ASSERT_EQ(plain["rows"].size(), 1u);
  EXPECT_EQ(plain["rows"][0]["kind"], "jpeg");
  EXPECT_EQ(plain["rows"][0]["signature"], "jfif");
  EXPECT_EQ(plain["rows"][0]["decodes"], true);

  const auto all = RunCli({"carve", file.path(), "--json", "--kinds", "all"}).Json();
  ASSERT_EQ(all["rows"].size(), 3u);
  EXPECT_EQ(all["rows"][1]["kind"], "png");
  EXPECT_EQ(all["rows"][1]["start"], png_at);
  EXPECT_EQ(all["rows"][2]["kind"], "bmp");
  EXPECT_EQ(all["rows"][2]["length"], bmp.size());
  for (const auto& row : all["rows"]) EXPECT_EQ(row["decodes"], true) << row;

  const auto quick =
      RunCli({"carve", file.path(), "--json", "--kinds", "bmp", "--no-verify"}).Json();
  EXPECT_EQ(quick["verified"], false);
  ASSERT_EQ(quick["rows"].size(), 1u);
  EXPECT_EQ(quick["rows"][0]["start"], bmp_at);
  EXPECT_TRUE(quick["rows"][0]["decodes"].is_null());

  // Extracted, each kind gets its own extension.
  const std::string out = file.path() + "-out";
  const CliRun extract =
      RunCli({"extract", file.path(), "--carve", "--kinds", "png,bmp", "-o", out, "--json"});
  EXPECT_EQ(extract.exit_code, 0) << extract.err;
  const auto written = extract.Json()["written"];
  ASSERT_EQ(written.size(), 2u);
  EXPECT_TRUE(written[0].get<std::string>().ends_with(".png")) << written;
  EXPECT_TRUE(written[1].get<std::string>().ends_with(".bmp")) << written;
  std::filesystem::remove_all(out);

  for (const char* wrong : {"gif", "", "jfif,", "JFIF"}) {
    const CliRun run = RunCli({"carve", file.path(), "--kinds", wrong, "--json"});
    EXPECT_EQ(run.exit_code, 2) << wrong;
    EXPECT_EQ(run.Json()["ok"], false) << wrong;
  }
  EXPECT_EQ(RunCli({"extract", file.path(), "--kinds", "png", "-o", out}).exit_code, 2);
}

TEST(CarveCliTest, CtrlCStopsWithCompleteOutputAndExit130) {
  // One picture, then 64 GiB of holes: minutes to read, were it not stopped.
  std::vector<uint8_t> bytes(64, 0);
  const std::vector<uint8_t> jpeg = TinyJpeg(0x11);
  bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
  const CarveFile file(bytes);
  ASSERT_EQ(truncate(file.path().c_str(), off_t{64} << 30), 0);
  const std::string record = file.path() + ".xml";
  const CliRun run =
      RunCli({"carve", "--json", "--dfxml", record, file.path()}, Interrupt::kWhenReady);
  EXPECT_EQ(run.exit_code, 130);
  // What was printed is whole JSON that says it stopped, as does the
  // record: saved, neither reads like a full scan that found less.
  const nlohmann::json json = run.Json();
  ASSERT_TRUE(json.is_object()) << run.out;
  EXPECT_FALSE(json["ok"].get<bool>());
  EXPECT_TRUE(json["interrupted"].get<bool>());
  EXPECT_FALSE(json["complete"].get<bool>());
  EXPECT_LT(json["bytes_read"].get<int64_t>(), int64_t{64} << 30);
  std::ifstream in(record);
  const std::string xml{std::istreambuf_iterator<char>(in), {}};
  std::remove(record.c_str());
  EXPECT_NE(xml.find("<complete>false</complete>\n      <interrupted>true</interrupted>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<status>stopped by Ctrl-C after "), std::string::npos) << xml;
  EXPECT_NE(
      run.err.find("glintvane-cli carve: stopped by Ctrl-C after " +
                   std::to_string(json["bytes_read"].get<int64_t>()) + " of 68719476736 bytes"),
      std::string::npos)
      << run.err;
}

TEST(CarveCliTest, RowLimitStopsTheScanKeepingItsRowsAndExitsOne) {
  std::vector<uint8_t> bytes;
  for (uint8_t i = 0; i < 5; ++i) {
    const auto jpeg = TinyJpeg(i);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
  }
  const CarveFile file(bytes);
  const CliRun capped = RunCli({"carve", file.path(), "--json", "--max-rows", "3"});
  EXPECT_EQ(capped.exit_code, 1);
  const auto json = capped.Json();
  EXPECT_EQ(json["error_code"], 1509);
  EXPECT_EQ(json["rows"].size(), 3u);
  EXPECT_EQ(json["rows"][2]["complete"], true);
  EXPECT_EQ(RunCli({"carve", file.path(), "--max-rows", "5"}).exit_code, 0);
  EXPECT_EQ(RunCli({"carve", file.path(), "--max-rows", "0"}).exit_code, 2);
}

}  // namespace
}  // namespace glintvane::testing
