// What every subcommand leaves when it does not finish: Ctrl-C and failures
// each end in one JSON document that says so, and in the exit status.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "testsupport/temp_folder.h"

namespace glintvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCache = std::string(GLINTVANE_CORPUS_DIR) + "/real/001-oldcode-Thumbs.db";

using Folder = testsupport::TempFolder;

// Ctrl-C before the first step: each verb stops at its first check, prints
// a whole document that says it stopped, says how far it got, exits 130.
TEST(OutcomeCli, CtrlCIsRecordedByEveryVerb) {
  Folder folder;
  fs::create_directories(folder / "tree/a/b");
  fs::copy_file(kCache, folder / "tree/a/Thumbs.db");
  const struct {
    std::vector<std::string> args;
    std::string said;
  } runs[] = {
      {{"list", "--json", kCache}, "glintvane-cli list: stopped by Ctrl-C after 0 rows"},
      {{"search", "--json", folder / "tree"},
       "glintvane-cli search: stopped by Ctrl-C after 0 folders; 0 caches listed"},
      {{"extract", "--json", kCache, "-o", folder / "out"},
       "glintvane-cli extract: stopped by Ctrl-C while reading " + kCache + ", after 0 rows"},
  };
  for (const auto& want : runs) {
    SCOPED_TRACE(want.args[0]);
    const CliRun run = RunCli(want.args, Interrupt::kBeforeStart);
    EXPECT_EQ(run.exit_code, 130);
    const auto json = run.Json();
    ASSERT_TRUE(json.is_object()) << run.out;
    EXPECT_EQ(json["interrupted"], true);
    EXPECT_EQ(json["complete"], false);
    EXPECT_NE(run.err.find(want.said), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(folder / "out"));
}

// A script that asked for JSON gets one document on any failure: a wrong
// command line, an input that cannot be opened, a refused extraction.
TEST(OutcomeCli, EveryFailedJsonRunPrintsOneDocument) {
  Folder folder;
  std::ofstream(folder / "empty.E01") << "EVF\x09\x0D\x0A\xFF" << '\0' << "no more";
  const struct {
    std::vector<std::string> args;
    int exit_code;
    std::string error;
  } runs[] = {
      {{"carve", "--json", "--max-rows", "0", kCache}, 2, "--max-rows"},
      {{"search", "--json", folder / "missing"}, 1, "cannot list " + folder / "missing"},
      {{"search", "--json", folder / "empty.E01"}, 1, "EWF image"},
      {{"carve", "--json", folder / "empty.E01"}, 1, "EWF image"},
      {{"extract", "--json", kCache, "-o", folder / "d", "--keys", "1,99999"},
       2,
       "no thumbnail numbered 99999"},
      {{"extract", "--json", "--carve", folder / "empty.E01", "-o", folder / "d"},
       2,
       "is an EWF, VMDK, VHD, VHDX, QCOW2, AFF or split disk image"},
  };
  for (const auto& want : runs) {
    SCOPED_TRACE(want.args[0] + " " + want.args.back());
    const CliRun run = RunCli(want.args);
    EXPECT_EQ(run.exit_code, want.exit_code);
    const auto json = run.Json();
    ASSERT_TRUE(json.is_object()) << run.out;
    EXPECT_EQ(json["ok"], false);
    EXPECT_EQ(json["complete"], false);
    EXPECT_EQ(json["exit_code"], want.exit_code);
    ASSERT_FALSE(json["errors"].empty());
    EXPECT_NE(json["errors"].back().get<std::string>().find(want.error), std::string::npos)
        << json.dump();
  }
}

}  // namespace
}  // namespace glintvane::testing
