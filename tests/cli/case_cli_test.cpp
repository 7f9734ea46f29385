// list and extract with a case: tags and notes beside the rows, only the
// rows of a tag written, and the examiner's report naming exactly those.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "case/case_file.h"
#include "case/evidence_digest.h"
#include "tests/cli/cli_runner.h"
#include "tests/discover/discover_fixtures.h"
#include "tests/report/pdf_text.h"

namespace glintvane::testing {
namespace {

const std::string kSample = GLINTVANE_SAMPLE_CACHE;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CaseCli, ListShowsMarksAndExtractWritesTheRowsOfATagWithTheirReport) {
  if (!HavePdfToText()) GTEST_SKIP() << "no pdftotext";
  TempTree tree;
  // The evidence under a path the case never saw: its rows are found by content.
  tree.File("seized/Thumbs.db", ReadBytes(kSample));
  const std::string evidence = tree.Path("seized/Thumbs.db");
  const EvidenceDigest digest = HashEvidenceFiles({kSample}, nullptr, {});
  ASSERT_TRUE(digest.ok);
  tree.Folder("case");
  {
    auto made =
        CaseFile::Create(tree.Path("case/glintvane-case.sqlite"), {"E. Examiner", "2024-017", {}});
    ASSERT_TRUE(made);
    ASSERT_TRUE((*made)->AddTag("Vehicles"));
    ASSERT_TRUE((*made)->SetMarks({digest.sha256, ""},
                                  {{"1", {{"Relevant"}, "the harbour, line 1\nline 2"}},
                                   {"3", {{"Review", "Relevant"}, ""}},
                                   {"4", {{"Vehicles"}, "a bicycle"}},
                                   {"5", {{"Review"}, "not this one"}}}));
  }
  const std::string case_folder = tree.Path("case");

  const CliRun list = RunCli({"list", evidence, "--json", "--case", case_folder});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  const auto rows = list.Json()["rows"];
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[0]["tags"], nlohmann::json({"Relevant"}));
  EXPECT_EQ(rows[0]["note"], "the harbour, line 1\nline 2");
  EXPECT_EQ(rows[2]["tags"], nlohmann::json({"Review", "Relevant"}));
  EXPECT_EQ(rows[1]["tags"], nlohmann::json::array());
  EXPECT_EQ(rows[1]["note"], "");
  EXPECT_TRUE(rows[0]["sha256"].is_string());  // the fields before stay
  const CliRun table = RunCli({"list", evidence, "--case", case_folder});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  // Tags and note close each line; a note's line break is shown escaped.
  const auto line_of = [&](const std::string& start) {
    const size_t at = table.out.find("\n" + start);
    return at == std::string::npos ? std::string()
                                   : table.out.substr(at, table.out.find('\n', at + 1) - at);
  };
  EXPECT_TRUE(line_of("1 ").ends_with("1927  Relevant          the harbour, line 1\\nline 2"))
      << table.out;
  EXPECT_TRUE(line_of("3 ").ends_with("1708  Review, Relevant")) << table.out;

  // Two tags, one as the case spells it and one in another letter case.
  const std::string out = tree.Path("out");
  const CliRun run = RunCli({"extract", evidence, "-o", out, "--case", case_folder, "--tag",
                             "relevant,Vehicles", "--report", "--paper", "letter", "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto document = run.Json();
  EXPECT_EQ(document["checked"], 3);
  EXPECT_EQ(document["written"].size(), 3u);
  EXPECT_EQ(document["report_html"], out + "/report.html");
  ASSERT_EQ(document["report_pdf"], out + "/report.pdf");
  const std::string html = ReadText(out + "/report.html");
  for (const char* text : {"E. Examiner", "2024-017", "a bicycle", digest.sha256.c_str()})
    EXPECT_NE(html.find(text), std::string::npos) << text;
  const std::string pdf = PdfText(out + "/report.pdf");
  for (const char* name : {"harbour at dawn.jpg", "kitchen window.jpg", "bicycle.png"})
    EXPECT_NE(pdf.find(name), std::string::npos) << name << "\n" << pdf;
  EXPECT_EQ(pdf.find("old map of the coast.jpg"), std::string::npos) << pdf;
  EXPECT_EQ(pdf.find("not this one"), std::string::npos) << pdf;
  EXPECT_NE(pdf.find("Case 2024-017"), std::string::npos) << pdf;

  // A tag the case does not have is a wrong command line; nothing is written.
  const std::string none = tree.Path("none");
  const CliRun unknown =
      RunCli({"extract", evidence, "-o", none, "--case", case_folder, "--tag", "Relevnt"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("Relevant, Review, Ignore, Vehicles"), std::string::npos)
      << unknown.err;
  EXPECT_FALSE(std::filesystem::exists(none));
  // --tag means nothing without a case.
  EXPECT_EQ(RunCli({"extract", evidence, "-o", none, "--tag", "Relevant"}).exit_code, 2);

  // Without a case the report is still made, without examiner, tags or notes.
  const std::string plain = tree.Path("plain");
  const CliRun bare = RunCli({"extract", evidence, "-o", plain, "--keys", "1,2", "--report"});
  ASSERT_EQ(bare.exit_code, 0) << bare.err;
  const std::string bare_pdf = PdfText(plain + "/report.pdf");
  EXPECT_NE(bare_pdf.find("garden gate.jpg"), std::string::npos) << bare_pdf;
  EXPECT_EQ(bare_pdf.find("the harbour"), std::string::npos) << bare_pdf;
}

}  // namespace
}  // namespace glintvane::testing
