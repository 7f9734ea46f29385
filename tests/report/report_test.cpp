// The examiner's report: every written row is named in the PDF's text layer
// (as pdftotext reads it), each page carries the case number and its page
// number, only the chosen rows go in, and index.html stays as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "export/extract_run.h"
#include "report/report_pdf.h"
#include "tests/export/export_fixture.h"
#include "tests/report/pdf_text.h"
#include "testsupport/synthetic_pictures.h"

namespace glintvane {
namespace {

using testing::HavePdfToText;
using testing::PdfText;
using testing::ScratchFolder;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ExaminerReport, ThePdfNamesEveryChosenRowOnNumberedPagesOfTheCase) {
  if (!HavePdfToText()) GTEST_SKIP() << "no pdftotext";
  ScratchFolder folder;
  ThumbnailList list;
  ImageStore store;
  UiTexts texts;
  ErrorList errors;
  // Names a page could mangle: markup, non-Latin letters, an ampersand.
  std::vector<std::string> names;
  for (int i = 1; i <= 24; ++i) names.push_back("holiday picture " + std::to_string(i) + ".jpg");
  names[3] = "<b>bold</b> & co.jpg";
  names[5] = "Ärmel über Straße.jpg";
  names[7] = "Лето на даче.jpg";
  std::map<std::string, RowMarks> marks;
  std::vector<size_t> tagged;
  for (size_t i = 0; i < names.size(); ++i) {
    ThumbnailRow& row = testing::AddStoreRow(list, store, std::to_string(i + 1), names[i],
                                             testsupport::MakeJpeg(96, 72, static_cast<int>(i)));
    row.width = 96;
    row.height = 72;
    if (i % 4 != 2) {  // every fourth row is left out of the report
      marks[row.key] = {{"Relevant"}, i == 5 ? "seen twice" : ""};
      tagged.push_back(i);
    }
  }
  ExaminerReportInput input;
  input.case_info = {"E. Examiner", "2024-017", {}};
  input.made_by = "glintvane-cli extract ...";
  input.selection = "Rows tagged Relevant";
  input.marks = [&marks](const ThumbnailRow& row) -> const RowMarks* {
    const auto it = marks.find(row.key);
    return it == marks.end() ? nullptr : &it->second;
  };
  ExtractOptions options;
  options.destination = folder.Sub("out");
  options.rows = tagged;
  options.run_time = 1700000000;
  // index.html is the same with or without the examiner's report.
  ErrorList plain_errors;
  const ExtractOutcome plain = ActionExtract(list, store, options, plain_errors, texts);
  ASSERT_TRUE(plain.ok());
  EXPECT_FALSE(plain.examiner_report);
  EXPECT_FALSE(std::filesystem::exists(options.destination + "report.html"));
  const std::string index_html = Slurp(plain.report_path);

  options.examiner = &input;
  const ExtractOutcome outcome = ActionExtract(list, store, options, errors, texts);
  ASSERT_TRUE(outcome.ok());
  ASSERT_TRUE(outcome.examiner_report);
  ASSERT_EQ(outcome.written.size(), tagged.size());
  EXPECT_EQ(Slurp(outcome.report_path), index_html);

  const std::string html = Slurp(outcome.examiner_html_path);
  EXPECT_NE(html.find("&lt;b&gt;bold&lt;/b&gt; &amp; co.jpg"), std::string::npos);
  EXPECT_EQ(html.find("<b>bold</b>"), std::string::npos);

  const std::string pdf = options.destination + "report.pdf";
  const PdfOutcome written = WriteExaminerReportPdf(*outcome.examiner_report, texts,
                                                    options.destination, pdf, PaperSize::kA4);
  ASSERT_TRUE(written.ok) << written.error;
  ASSERT_GE(written.pages, 2);
  const std::string text = PdfText(pdf);
  for (size_t i = 0; i < names.size(); ++i) {
    const bool chosen = i % 4 != 2;
    EXPECT_EQ(text.find(names[i]) != std::string::npos, chosen) << names[i];
  }
  EXPECT_NE(text.find("seen twice"), std::string::npos);
  EXPECT_NE(text.find(outcome.written[0].digests.sha256), std::string::npos);
  // pdftotext ends each page with a form feed.
  std::vector<std::string> pages;
  std::istringstream in(text);
  for (std::string page; std::getline(in, page, '\f');) {
    if (!page.empty() && page != "\n") pages.push_back(page);
  }
  ASSERT_EQ(static_cast<int>(pages.size()), written.pages);
  for (size_t p = 0; p < pages.size(); ++p) {
    EXPECT_NE(pages[p].find("Case 2024-017"), std::string::npos) << p;
    EXPECT_NE(
        pages[p].find("Page " + std::to_string(p + 1) + " of " + std::to_string(pages.size())),
        std::string::npos)
        << p;
  }
}

}  // namespace
}  // namespace glintvane
