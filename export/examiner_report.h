// The examiner's report "report.html": what a person who will not run the
// program needs to read about an extraction. The case and the examiner, the
// evidence with its size, SHA-256 and times, the program's version and the
// command or window that made the report, then every thumbnail written with
// its number, names, times in UTC, size and dimensions, where it came from,
// its MD5 and SHA-256, its tags and note, and the picture itself.
//
// The same text is laid out on pages as "report.pdf" by the report library
// (report/), which adds the page numbers and the case number on every page;
// so the markup stays within what both a browser and Qt's rich text show.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_time.h"
#include "cache/thumbnail_row.h"
#include "case/case_file.h"
#include "texts/ui_texts.h"

namespace glintvane {

inline constexpr std::string_view kExaminerReportHtmlName = "report.html";
inline constexpr std::string_view kExaminerReportPdfName = "report.pdf";

// The largest side a picture is shown with in the report, in CSS pixels: a
// thumbnail at about its own size, four or five to a page.
inline constexpr int kReportPictureEdge = 160;

enum class PaperSize { kA4, kLetter };
// "a4" or "letter", any letter case; nullopt otherwise.
std::optional<PaperSize> PaperSizeNamed(std::string_view name);
std::string_view PaperSizeName(PaperSize paper);  // "A4", "Letter"

// The evidence the rows were read from.
struct ReportEvidence {
  std::string path;  // as opened: a file, or a file inside a disk image
  std::optional<uint64_t> size;
  std::string sha256;  // of the file(s) as handed in (a disk image's files)
  FileTimes times;     // of that file (the image's first file)
  // A cache inside a disk image: its partition (1-based; 0 none) and
  // whether its entry there is deleted; a recycled cache's original path.
  int partition = 0;
  bool deleted = false;
  bool recycled = false;
  std::string original;
};

// One written thumbnail.
struct ReportEntry {
  int number = 0;             // 1, 2, ... in the order written
  std::string key;            // the row's number in the list
  std::string name;           // original name as the cache gives it
  std::string original_path;  // where the original would be; "" when not known
  std::string time_utc;       // the thumbnail's own time (ISO 8601), "" if none
  int64_t length = 0;         // bytes written
  int32_t width = 0;
  int32_t height = 0;
  std::string kind;               // "jpeg", "png", ...
  std::string image_file;         // the written picture: its name beside the report
  std::optional<int64_t> offset;  // in `offset_in`
  std::string offset_in;          // the file the offset counts in
  bool carved = false;
  bool recovered = false;  // a thumbcache entry found outside the chain of entries
  std::string md5;
  std::string sha256;
  std::vector<std::string> tags;
  std::string note;
};

struct ExaminerReport {
  CaseInfo case_info;  // examiner and case number; empty when no case was open
  ReportEvidence evidence;
  std::string version;       // the program's
  std::string made_by;       // the command line, or the window
  std::string run_time_utc;  // ISO 8601
  std::string selection;     // which rows: "Checked rows", "Rows tagged Relevant"
  std::vector<ReportEntry> entries;
};

// What the extraction needs besides the rows to make the report.
struct ExaminerReportInput {
  CaseInfo case_info;
  // The evidence as far as the caller knows it; the run fills in the size and
  // SHA-256 of the open file (and its times) when they are left empty.
  ReportEvidence evidence;
  std::string made_by;
  std::string selection;
  // A row's tags and note, or null.
  std::function<const RowMarks*(const ThumbnailRow&)> marks;
};

// A built-in tag's name in the texts' language; another tag as it is.
std::string TagText(std::string_view tag, const UiTexts& texts);

// The report as one HTML page (UTF-8, declared), every inserted text escaped.
// Pictures are named by `ReportEntry::image_file`, relative to the page.
std::string BuildExaminerReportHtml(const ExaminerReport& report, const UiTexts& texts);

// The line above every page of the PDF: "Case 2024-017 · Examiner's report ·
// E. Examiner" (the parts that are known).
std::string ReportPageHeading(const ExaminerReport& report, const UiTexts& texts);

}  // namespace glintvane
