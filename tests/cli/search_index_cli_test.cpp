// list, extract and search with the Windows Search index: rows named by the
// index the Windows layout puts beside a profile's thumbcache files or the
// one chosen with --search-index, and an index missing or unreadable never
// failing the listing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"

namespace glintvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCorpus = std::string(GLINTVANE_CORPUS_DIR) + "/real";
const std::string kCache = kCorpus + "/thumbcache/win10-b/thumbcache_48.db";
const std::string kEdb = kCorpus + "/search-index/win10-b/Windows.edb";
const std::string kDirty = kCorpus + "/search-index/win10-b-dirty/Windows.edb";
const std::string kWin11 = kCorpus + "/search-index/win11-c";

// Two of thumbcache_48.db's entries that Windows.edb names.
constexpr char kTargets[] = "14689f01a6e63900";
constexpr char kModules[] = "4fe112e8f96d1525";

// A volume laid out as Windows lays it out, made of copies of corpus files.
class Volume {
 public:
  Volume() {
    char name[] = "/tmp/glintvane-search-index-XXXXXX";
    root_ = mkdtemp(name);
    fs::create_directories(explorer());
    fs::create_directories(index_folder());
    fs::copy_file(kCache, cache());
  }
  ~Volume() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string root() const { return root_; }
  std::string explorer() const {
    return root_ + "/Users/eve/AppData/Local/Microsoft/Windows/Explorer";
  }
  std::string index_folder() const {
    return root_ + "/ProgramData/Microsoft/Search/Data/Applications/Windows";
  }
  std::string cache() const { return explorer() + "/thumbcache_48.db"; }
  void AddIndex(const std::string& from, const std::string& name) const {
    fs::copy_file(from, index_folder() + "/" + name);
  }

 private:
  std::string root_;
};

const nlohmann::json* RowOf(const nlohmann::json& rows, const std::string& key) {
  for (const auto& row : rows) {
    if (row["key"] == key) return &row;
  }
  return nullptr;
}

TEST(SearchIndexCli, ListNamesRowsByTheIndexOfTheLayoutAndGoesOnWithoutOne) {
  const Volume volume;
  volume.AddIndex(kEdb, "Windows.edb");
  auto run = RunCli({"list", volume.cache(), "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  auto json = run.Json();
  const auto& index = json["search_index"];
  EXPECT_EQ(index["path"], volume.index_folder() + "/Windows.edb");
  EXPECT_EQ(index["chosen"], false);
  EXPECT_EQ(index["format"], "ese");
  EXPECT_EQ(index["state"], "clean");
  EXPECT_EQ(index["complete"], true);
  EXPECT_EQ(index["rows"], 5);
  EXPECT_EQ(index["named_rows"], 2);
  const nlohmann::json* targets = RowOf(json["rows"], kTargets);
  ASSERT_NE(targets, nullptr);
  EXPECT_EQ((*targets)["name"], "Targets");
  EXPECT_EQ((*targets)["original_path"], "C:\\Users\\AndrewRathbun\\Desktop\\Targets");
  EXPECT_EQ((*targets)["modified_utc"], "2022-02-05T19:39:11Z");
  EXPECT_EQ((*targets)["original_modified_utc"], "2022-02-05T19:39:11Z");
  ASSERT_NE(RowOf(json["rows"], kModules), nullptr);
  EXPECT_EQ((*RowOf(json["rows"], kModules))["name"], "Modules");
  // A row the index does not know keeps its hash for a name.
  for (const auto& row : json["rows"]) {
    if (row["key"] == kTargets || row["key"] == kModules) continue;
    EXPECT_TRUE(row["original_path"].is_null()) << row;
    EXPECT_EQ(row["key"].get<std::string>().find(row["name"].get<std::string>()), 0u) << row;
  }
  EXPECT_NE(RunCli({"list", volume.cache()}).out.find("C:\\Users\\AndrewRathbun\\Desktop\\Modules"),
            std::string::npos);

  // No index where the layout keeps it: a finding, not a failure.
  fs::remove(volume.index_folder() + "/Windows.edb");
  run = RunCli({"list", volume.cache(), "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  json = run.Json();
  EXPECT_EQ(json["complete"], true);
  EXPECT_TRUE(json["errors"].empty()) << json["errors"];
  EXPECT_TRUE(json["search_index"]["path"].is_null());
  EXPECT_NE(json["search_index"]["error"].get<std::string>().find("no Windows.db or Windows.edb"),
            std::string::npos);
  EXPECT_TRUE((*RowOf(json["rows"], kTargets))["original_path"].is_null());
}

TEST(SearchIndexCli, ChosenIndexThatIsDamagedOrNoIndexIsAWarning) {
  // Dirty: libesedb cannot walk its table; every row keeps its hash, and
  // the reasons say how to repair a copy.
  auto run = RunCli({"list", kCache, "--json", "--search-index", kDirty});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  auto json = run.Json();
  EXPECT_EQ(json["complete"], true);
  EXPECT_EQ(json["search_index"]["chosen"], true);
  EXPECT_EQ(json["search_index"]["state"], "dirty");
  EXPECT_EQ(json["search_index"]["complete"], false);
  EXPECT_NE(json["search_index"]["reasons"].dump().find("esentutl"), std::string::npos);
  EXPECT_NE(json["errors"].dump().find("read in part"), std::string::npos);

  for (const std::string& chosen : {kCache, std::string("/nonexistent/Windows.edb")}) {
    run = RunCli({"list", kCache, "--json", "--search-index", chosen});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json = run.Json();
    EXPECT_EQ(json["search_index"]["read"], false) << chosen;
    EXPECT_FALSE(json["search_index"]["error"].is_null()) << chosen;
    EXPECT_NE(json["errors"].dump().find("Warning"), std::string::npos) << chosen;
  }
}

TEST(SearchIndexCli, ExtractNamesThumbnailsByTheirOriginalNames) {
  const Volume volume;
  const std::string out = volume.root() + "/out";
  const auto run =
      RunCli({"extract", kCache, "-o", out, "--json", "--report", "--search-index", kEdb});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto json = run.Json();
  EXPECT_EQ(json["search_index"]["named_rows"], 2);
  EXPECT_TRUE(fs::exists(out + "/Targets_thmb.bmp")) << json["written"];
  EXPECT_TRUE(fs::exists(out + "/Modules_thmb.bmp")) << json["written"];
  std::ifstream records(out + "/thumbnails.json");
  const auto catalog = nlohmann::json::parse(records);
  bool seen = false;
  for (const auto& image : catalog["images"]) {
    if (image["name"] != "Targets") continue;
    seen = true;
    EXPECT_EQ(image["number"], kTargets);  // the hash stays the key
    EXPECT_EQ(image["original_path"], "C:\\Users\\AndrewRathbun\\Desktop\\Targets");
  }
  EXPECT_TRUE(seen) << catalog;
  // The report names where the item was, not a file beside the cache.
  std::ifstream report_file(out + "/report.html");
  const std::string report((std::istreambuf_iterator<char>(report_file)),
                           std::istreambuf_iterator<char>());
  EXPECT_NE(report.find("<td>C:\\Users\\AndrewRathbun\\Desktop\\Targets</td>"), std::string::npos);
  EXPECT_EQ(report.find("win10-b/Targets"), std::string::npos);
}

TEST(SearchIndexCli, SearchSaysWhichIndexNamesEachThumbcacheAndNothingIsWritten) {
  const Volume volume;
  volume.AddIndex(kEdb, "Windows.edb");
  volume.AddIndex(kWin11 + "/Windows.db", "Windows.db");
  volume.AddIndex(kWin11 + "/Windows.db-wal", "Windows.db-wal");
  // A thumbcache outside any profile has no index.
  fs::copy_file(kCache, volume.root() + "/thumbcache_48.db");
  const auto run = RunCli({"search", volume.root(), "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto json = run.Json();
  ASSERT_EQ(json["search_indexes"].size(), 2u) << json;
  const std::string db = volume.index_folder() + "/Windows.db";
  for (const auto& row : json["rows"]) {
    if (row["path"] == volume.cache()) {
      EXPECT_EQ(row["search_index"], db);  // Windows 11's, before the old one
    } else {
      EXPECT_TRUE(row["search_index"].is_null()) << row;
    }
  }
  // list reads the same one: a WAL database read from a private copy,
  // its -shm never made beside the evidence, its -wal left as it was.
  const auto wal_size = fs::file_size(db + "-wal");
  const auto listed = RunCli({"list", volume.cache(), "--json"});
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_EQ(listed.Json()["search_index"]["format"], "sqlite");
  EXPECT_EQ(listed.Json()["search_index"]["read"], true);
  EXPECT_FALSE(fs::exists(db + "-shm"));
  EXPECT_EQ(fs::file_size(db + "-wal"), wal_size);
}

}  // namespace
}  // namespace glintvane::testing
