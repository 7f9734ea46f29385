// glintvane-cli index: the JSON contract, the exit status of complete and
// partial reads, names escaped in the table, Ctrl-C and failures.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "testsupport/temp_folder.h"
#include "testsupport/windows_db.h"

namespace glintvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kIndexes = std::string(GLINTVANE_CORPUS_DIR) + "/real/search-index";

using Folder = testsupport::TempFolder;

TEST(IndexCli, ListsEveryIdOfCleanAndPartialIndexes) {
  const struct {
    std::string folder;
    int exit_code;
    const char* format;
    nlohmann::json state;
    int records, unreadable, items;
  } cases[] = {
      {"win10-b", 0, "ese", "clean", 918, 0, 911},
      {"win10-b-dirty", 1, "ese", "dirty", 918, 918, 0},
      {"win11-c", 0, "sqlite", nullptr, 850, 0, 849},
  };
  for (const auto& want : cases) {
    SCOPED_TRACE(want.folder);
    const CliRun run = RunCli({"index", "--json", kIndexes + "/" + want.folder});
    EXPECT_EQ(run.exit_code, want.exit_code) << run.err;
    const auto json = run.Json();
    ASSERT_TRUE(json.is_object()) << run.out;
    EXPECT_EQ(json["ok"], true);
    EXPECT_EQ(json["complete"], want.exit_code == 0);
    EXPECT_EQ(json["interrupted"], false);
    EXPECT_EQ(json["format"], want.format);
    EXPECT_EQ(json["state"], want.state);
    EXPECT_EQ(json["records"], want.records);
    EXPECT_EQ(json["unreadable_records"], want.unreadable);
    EXPECT_EQ(json["items"], want.items);
    EXPECT_EQ(json["rows"].size(), static_cast<size_t>(want.items));
    EXPECT_EQ(json["reasons"].empty(), want.exit_code == 0);
  }
  const CliRun run = RunCli({"index", "--json", kIndexes + "/win10-b/Windows.edb"});
  const auto rows = run.Json()["rows"];
  const auto row = std::find_if(rows.begin(), rows.end(), [](const nlohmann::json& r) {
    return r["thumbnail_id"] == "52ecd9da48a8b874";
  });
  ASSERT_NE(row, rows.end());
  EXPECT_EQ((*row)["path"], "C:\\Users\\AndrewRathbun\\Desktop\\Microsoft Edge.lnk");
  EXPECT_EQ((*row)["file_name"], "Microsoft Edge.lnk");
  EXPECT_EQ((*row)["item_type"], ".lnk");
  EXPECT_EQ((*row)["size"], 2348);
  EXPECT_EQ((*row)["work_id"], 246);
  EXPECT_EQ((*row)["modified_utc"], "2022-02-05T19:31:36Z");
  EXPECT_EQ((*row)["modified_filetime"], 132885630961258549u);
}

// A path that carries terminal controls and bytes that are not UTF-8: the
// table escapes them, JSON keeps them exactly in path_hex.
TEST(IndexCli, EscapesNamesFromTheIndex) {
  Folder folder;
  ASSERT_EQ(testsupport::WriteWindowsDb(folder / "Windows.db",
                                        "INSERT INTO SystemIndex_1_PropertyStore VALUES "
                                        "(7, 1, X'0100000000000000'),"
                                        "(7, 2, CAST(X'433A5C1B5B324A78FF2E6A7067' AS TEXT));"),
            "");
  const CliRun table = RunCli({"index", folder / "Windows.db"});
  EXPECT_EQ(table.exit_code, 0) << table.err;
  EXPECT_NE(table.out.find("0000000000000001"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("C:\\\\e[2Jx\\xff.jpg"), std::string::npos) << table.out;
  EXPECT_EQ(table.out.find('\x1b'), std::string::npos);

  const auto json = RunCli({"index", "--json", folder / "Windows.db"}).Json();
  ASSERT_EQ(json["rows"].size(), 1u);
  EXPECT_EQ(json["rows"][0]["path_hex"], "433a5c1b5b324a78ff2e6a7067");
  EXPECT_EQ(json["rows"][0]["size"], nullptr);
  EXPECT_EQ(json["rows"][0]["modified_utc"], nullptr);
}

TEST(IndexCli, CtrlCAndFailuresEndInOneDocument) {
  const CliRun stopped =
      RunCli({"index", "--json", kIndexes + "/win10-b"}, Interrupt::kBeforeStart);
  EXPECT_EQ(stopped.exit_code, 130);
  const auto json = stopped.Json();
  ASSERT_TRUE(json.is_object()) << stopped.out;
  EXPECT_EQ(json["interrupted"], true);
  EXPECT_EQ(json["complete"], false);
  EXPECT_TRUE(json["rows"].empty());
  EXPECT_NE(stopped.err.find("glintvane-cli index: stopped by Ctrl-C after 0 thumbnail ids"),
            std::string::npos)
      << stopped.err;

  Folder folder;
  fs::create_directory(folder / "empty");
  const CliRun missing = RunCli({"index", "--json", folder / "empty"});
  EXPECT_EQ(missing.exit_code, 1);
  const auto failure = missing.Json();
  ASSERT_TRUE(failure.is_object()) << missing.out;
  EXPECT_EQ(failure["ok"], false);
  EXPECT_NE(failure["error"].get<std::string>().find("no Windows.db or Windows.edb"),
            std::string::npos);
  const CliRun text = RunCli({"index", folder / "empty"});
  EXPECT_EQ(text.exit_code, 1);
  EXPECT_TRUE(text.out.empty()) << text.out;
  EXPECT_NE(text.err.find("no Windows.db or Windows.edb"), std::string::npos);
}

}  // namespace
}  // namespace glintvane::testing
