// The examiner's report of 500 thumbnails: the extraction with report.html
// and then report.pdf laid out from it, against the same extraction writing
// index.html alone, in the same run. The goal is under 10 s for the report.
//   bench_examiner_report [ROWS]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "export/extract_run.h"
#include "report/report_pdf.h"
#include "testsupport/synthetic_pictures.h"

namespace {

using namespace glintvane;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 500;
constexpr int kRuns = 3;  // odd, for a median

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : kRows;
  char pattern[] = "/tmp/glintvane-bench-report-XXXXXX";
  const std::string folder = std::string(mkdtemp(pattern)) + "/";
  ThumbnailList list;
  ImageStore store;
  std::vector<std::vector<uint8_t>> pictures;
  for (int i = 0; i < 50; ++i)
    pictures.push_back(testsupport::MakeJpeg(96, 72 - (i % 3) * 8, i, 80));
  for (int i = 1; i <= rows; ++i) {
    const auto& bytes = pictures[static_cast<size_t>(i) % pictures.size()];
    const int64_t start = store.Append(bytes);
    const auto length = static_cast<int64_t>(bytes.size());
    ThumbnailRow& row =
        list.AddOrUpdate(std::to_string(i), "holiday picture " + std::to_string(i) + ".jpg",
                         SourceKind::kImageStore, start + length, length, start, "");
    row.kind = ImageKind::kJfif;
    row.filetime = 127370000000000000ull + static_cast<uint64_t>(i) * 10000000ull;
    row.width = 96;
    row.height = 72;
    row.checked = true;
  }
  const RowMarks tagged{{"Relevant"}, "seen on the suspect's laptop"};
  ExaminerReportInput input;
  input.case_info = {"E. Examiner", "2024-017", {}};
  input.made_by = "bench_examiner_report";
  input.selection = "Checked rows";
  input.marks = [&tagged](const ThumbnailRow&) { return &tagged; };
  UiTexts texts;

  std::vector<double> baseline;
  std::vector<double> html;
  std::vector<double> pdf;
  int pages = 0;
  for (int run = 0; run < kRuns; ++run) {
    ErrorList errors;
    ExtractOptions options;
    options.destination = folder + "index-" + std::to_string(run);
    std::filesystem::create_directories(options.destination);
    auto start = Clock::now();
    if (!ActionExtract(list, store, options, errors, texts).ok()) return 1;
    baseline.push_back(Seconds(start));

    options.destination = folder + "report-" + std::to_string(run) + "/";
    std::filesystem::create_directories(options.destination);
    options.examiner = &input;
    start = Clock::now();
    const ExtractOutcome outcome = ActionExtract(list, store, options, errors, texts);
    if (!outcome.ok() || !outcome.examiner_report) return 1;
    html.push_back(Seconds(start));
    const PdfOutcome written =
        WriteExaminerReportPdf(*outcome.examiner_report, texts, options.destination,
                               options.destination + "report.pdf", PaperSize::kA4);
    if (!written.ok) {
      std::fprintf(stderr, "bench_examiner_report: %s\n", written.error.c_str());
      return 1;
    }
    pdf.push_back(Seconds(start));
    pages = written.pages;
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  const double base = Median(baseline);
  const double with_html = Median(html);
  const double whole = Median(pdf);
  std::printf("%d thumbnails, median of %d runs\n", rows, kRuns);
  std::printf("  extraction with index.html (baseline): %7.3f s\n", base);
  std::printf("  extraction with report.html:           %7.3f s  (%.2fx)\n", with_html,
              with_html / base);
  std::printf("  ... and report.pdf (%d pages):         %7.3f s  (%.2fx)  goal: under 10 s\n",
              pages, whole, whole / base);
  return whole < 10.0 ? 0 : 1;
}
