// timeline: mactime reads the body file without a word; the CSV and the
// JSON lines carry the fields timeline viewers import; a case adds its tags.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "case/case_file.h"
#include "case/evidence_digest.h"
#include "tests/cli/cli_runner.h"
#include "tests/discover/discover_fixtures.h"

namespace glintvane::testing {
namespace {

const std::string kSample = GLINTVANE_SAMPLE_CACHE;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs a shell command; its standard output, and its standard error in *err.
int Shell(const std::string& command, std::string* out, std::string* err, const TempTree& tree) {
  const std::string err_file = tree.Path("stderr.txt");
  FILE* pipe = ::popen((command + " 2>" + err_file).c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out->append(buffer, n);
  const int status = ::pclose(pipe);
  std::ifstream in(err_file);
  err->assign(std::istreambuf_iterator<char>(in), {});
  return status;
}

TEST(TimelineCli, MactimeReadsTheBodyFileAndViewersGetTheirColumns) {
  if (std::system("command -v mactime >/dev/null 2>&1") != 0) GTEST_SKIP() << "no mactime";
  TempTree tree;
  const auto sample = ReadBytes(kSample);
  // A cache in a folder whose name holds the body file's separator, and a
  // recycled copy named by its INFO2 record (deleted 2007-03-09 15:05:07 UTC).
  tree.File("a|b/Thumbs.db", sample);
  const std::string bin = "RECYCLER/S-1-5-21-1";
  tree.File(bin + "/INFO2", MakeIndex(800, {{"C:\\Docs\\Thumbs.db", u"C:\\Docs\\Thumbs.db", 2, 2,
                                             128179263070000000ull}}));
  tree.File(bin + "/Dc2.db", sample);
  // A case that tags thumbnail 1 of that content, wherever it lies.
  const EvidenceDigest digest = HashEvidenceFiles({kSample}, nullptr, {});
  ASSERT_TRUE(digest.ok);
  {
    auto made = CaseFile::Create(tree.Path("case.sqlite"), {"E", "42", {}});
    ASSERT_TRUE(made);
    ASSERT_TRUE((*made)->SetMarks({digest.sha256, ""}, {{"1", {{"Relevant"}, "the harbour"}}}));
  }

  const std::string body = tree.Path("timeline.body");
  const CliRun run = RunCli({"timeline", tree.root(), "-o", body});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (const std::string& line : Lines(ReadText(body))) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 10) << line;
  }
  std::string out, err;
  ASSERT_EQ(Shell("mactime -b '" + body + "' -d -y", &out, &err, tree), 0) << err;
  EXPECT_EQ(err, "");
  // Each thumbnail at its catalog time, both copies' file times, and the deletion.
  EXPECT_NE(out.find("2004-08-15T23:33:20Z,1927,m...,"), std::string::npos) << out;
  EXPECT_NE(out.find("a\\x7cb/Thumbs.db:1 (harbour at dawn.jpg)"), std::string::npos) << out;
  EXPECT_NE(out.find("2007-03-09T15:05:07Z"), std::string::npos) << out;
  EXPECT_NE(
      out.find("C:\\Docs\\Thumbs.db (recycle bin deletion, now " + tree.Path(bin + "/Dc2.db")),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("macb"), std::string::npos) << out;

  const CliRun csv =
      RunCli({"timeline", "--format", "csv", tree.root(), "--case", tree.Path("case.sqlite")});
  ASSERT_EQ(csv.exit_code, 0) << csv.err;
  const auto csv_lines = Lines(csv.out);
  ASSERT_GT(csv_lines.size(), 26u);  // 2 x 12 thumbnails, the files, the deletion
  EXPECT_EQ(csv_lines[0], "message,datetime,timestamp_desc,timestamp,source,row_key,tags,note");
  EXPECT_EQ(std::count_if(csv_lines.begin(), csv_lines.end(),
                          [](const std::string& line) {
                            return line.find(",1,Relevant,the harbour") != std::string::npos;
                          }),
            2);

  const CliRun jsonl = RunCli({"timeline", "--format", "jsonl", tree.Path(bin + "/Dc2.db")});
  ASSERT_EQ(jsonl.exit_code, 0) << jsonl.err;
  const auto json_lines = Lines(jsonl.out);
  ASSERT_GE(json_lines.size(), 13u);
  for (const std::string& line : json_lines) {
    const auto event = nlohmann::json::parse(line);
    for (const char* field : {"message", "datetime", "timestamp_desc", "source", "row_key"})
      EXPECT_TRUE(event[field].is_string()) << line;
    EXPECT_EQ(event["datetime"].get<std::string>().size(), 25u) << line;
  }
  // A source that is not there: the rest is still written, the exit says so.
  const CliRun missing = RunCli({"timeline", kSample, tree.Path("gone.db")});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.out.find("harbour at dawn.jpg"), std::string::npos);
}

}  // namespace
}  // namespace glintvane::testing
