#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/cli_runner.h"

namespace glintvane {
namespace {

using testing::RunCli;

// A folder under /tmp, removed with its contents.
class TempTree {
 public:
  TempTree() {
    char name[] = "/tmp/glintvane-search-cli-XXXXXX";
    root_ = mkdtemp(name);
  }
  ~TempTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  void File(const std::string& relative, const std::vector<uint8_t>& bytes = {}) {
    const std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::string root_;
};

// A 280-byte-record recycle-bin index with one record.
std::vector<uint8_t> OneRecordIndex(const std::string& path, uint32_t number, uint64_t deleted) {
  std::vector<uint8_t> out(20 + 280, 0);
  const auto put32 = [&out](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(12, 280);
  std::copy(path.begin(), path.end(), out.begin() + 20);
  put32(20 + 260, number);
  put32(20 + 264, 2);  // drive C
  put32(20 + 268, static_cast<uint32_t>(deleted));
  put32(20 + 272, static_cast<uint32_t>(deleted >> 32));
  return out;
}

std::vector<uint8_t> CompoundBytes() {
  std::vector<uint8_t> bytes = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  bytes.resize(512, 0);
  return bytes;
}

TEST(SearchCli, ListsCachesAndRecycledOnesAsJsonAndTable) {
  TempTree tree;
  tree.File("x/Thumbs.db", std::vector<uint8_t>(100, 0));
  tree.File("RECYCLER/S-1/INFO2", OneRecordIndex("C:\\Docs\\Thumbs.db", 5, 128000000000000000ULL));
  tree.File("RECYCLER/S-1/DC5.db", CompoundBytes());

  const auto run = RunCli({"search", tree.root(), "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto doc = run.Json();
  ASSERT_TRUE(doc.is_object()) << run.out;
  EXPECT_EQ(doc["root"], tree.root());
  EXPECT_EQ(doc["folders"], 3);
  EXPECT_TRUE(doc["seconds"].is_number());
  ASSERT_EQ(doc["rows"].size(), 2u);
  for (const auto& row : doc["rows"]) {
    if (row["path"] == tree.Path("x/Thumbs.db")) {
      EXPECT_EQ(row["name"], "Thumbs.db");
      EXPECT_EQ(row["size"], 100);
      EXPECT_EQ(row["located"], tree.Path("x/"));
      EXPECT_FALSE(row.contains("deleted"));
    } else {
      EXPECT_EQ(row["path"], tree.Path("RECYCLER/S-1/DC5.db"));
      EXPECT_EQ(row["name"], "C:\\Docs\\Thumbs.db");
      EXPECT_EQ(row["deleted_utc"], "2006-08-14T03:33:20Z");
      EXPECT_TRUE(row["deleted"].is_string());
      EXPECT_NE(row["modified"].get<std::string>().find(" - "), std::string::npos);
    }
  }

  const auto table = RunCli({"search", tree.root()});
  ASSERT_EQ(table.exit_code, 0);
  EXPECT_EQ(table.out.rfind("File  ", 0), 0u) << table.out;
  EXPECT_NE(table.out.find("Root: " + tree.root() + ". Thumbs.db files: 2. Time: "),
            std::string::npos);
  EXPECT_NE(table.out.find("C:\\Docs\\Thumbs.db"), std::string::npos);
}

TEST(SearchCli, ExitStatuses) {
  TempTree tree;
  EXPECT_EQ(RunCli({"search", tree.Path("missing")}).exit_code, 1);
  tree.File("file");
  EXPECT_EQ(RunCli({"search", tree.Path("file"), "--json"}).exit_code, 1);
  EXPECT_EQ(RunCli({"search"}).exit_code, 2);
  EXPECT_EQ(RunCli({"search", tree.root(), "--bogus"}).exit_code, 2);
  const auto empty = RunCli({"search", tree.root(), "--json"});
  EXPECT_EQ(empty.exit_code, 0);
  EXPECT_EQ(empty.Json()["rows"].size(), 0u);
}

// Folder names that would steer the terminal, a link out of the tree, and
// the fields scripts read.
TEST(SearchCli, NamesEscapedLinksUnfollowedAndExactPaths) {
  TempTree tree;
  TempTree outside;
  outside.File("Thumbs.db", CompoundBytes());
  tree.File("evil\n\x1B[2Jx/Thumbs.db", CompoundBytes());
  tree.File("odd\xFF/Thumbs.db", CompoundBytes());
  std::filesystem::create_symlink(outside.root(), tree.Path("machine"));

  const auto table = RunCli({"search", tree.root()});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  EXPECT_EQ(table.out.find('\x1B'), std::string::npos);
  EXPECT_NE(table.out.find("evil\\n\\e[2Jx"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("odd\\xff"), std::string::npos);
  EXPECT_NE(table.out.find("Thumbs.db files: 2."), std::string::npos);
  EXPECT_NE(table.out.find("Unreadable folders: 0."), std::string::npos);

  const auto json = RunCli({"search", tree.root(), "--json"}).Json();
  ASSERT_EQ(json["rows"].size(), 2u);
  EXPECT_EQ(json["links_not_followed"], 1);
  for (const auto& row : json["rows"]) {
    EXPECT_TRUE(row["modified_utc"].is_string());
    const std::string path = row["path"];
    EXPECT_EQ(row.contains("path_hex"), path.find("odd") != std::string::npos) << path;
  }
  // Followed on request, but a link leading outside the root still is not.
  std::filesystem::create_symlink(tree.Path("odd\xFF"), tree.Path("inside"));
  const auto followed = RunCli({"search", tree.root(), "--json", "--follow-links"}).Json();
  EXPECT_EQ(followed["rows"].size(), 2u);  // "inside" leads to a folder met already
  EXPECT_EQ(followed["links_not_followed"], 1);
  EXPECT_EQ(followed["repeated_folders"], 1);

  // A folder that cannot be read is counted in the table and the status
  // says so (root reads every folder, so this part needs an ordinary user).
  if (geteuid() != 0) {
    tree.File("locked/x");
    chmod(tree.Path("locked").c_str(), 0);
    const auto partial = RunCli({"search", tree.root()});
    chmod(tree.Path("locked").c_str(), 0700);
    EXPECT_EQ(partial.exit_code, 1);
    EXPECT_NE(partial.out.find("Unreadable folders: 1."), std::string::npos) << partial.out;
  }
}

TEST(SearchCli, CodePageDecodesEightBitRecycleBinPaths) {
  TempTree tree;
  // A 280-byte record from a Russian machine: "C:\Дом\Thumbs.db" in Windows-1251.
  tree.File("RECYCLED/INFO2", OneRecordIndex("C:\\\xC4\xEE\xEC\\Thumbs.db", 5, 0));
  tree.File("RECYCLED/DC5.db", CompoundBytes());
  const auto latin = RunCli({"search", tree.root(), "--json"});
  ASSERT_EQ(latin.exit_code, 0) << latin.err;
  EXPECT_EQ(latin.Json()["rows"][0]["name"], "C:\\\xC3\x84\xC3\xAE\xC3\xAC\\Thumbs.db");
  const auto cyrillic = RunCli({"search", tree.root(), "--json", "--codepage", "1251"});
  ASSERT_EQ(cyrillic.exit_code, 0) << cyrillic.err;
  EXPECT_EQ(cyrillic.Json()["rows"][0]["name"], "C:\\\xD0\x94\xD0\xBE\xD0\xBC\\Thumbs.db");
  EXPECT_EQ(RunCli({"search", tree.root(), "--codepage", "65001"}).exit_code, 2);
}

}  // namespace
}  // namespace glintvane
