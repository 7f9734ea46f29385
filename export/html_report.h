// The HTML extraction report "index.html": a head, one cell per written image
// five to a table row, a filler that completes the last row, and a tail.
// Every name, path and time text is escaped for the place it goes, since the
// names come from the cache; the fixed markup around them stays as the
// report has always been.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "texts/ui_texts.h"

namespace glintvane {

// Images per table row.
inline constexpr int kReportColumns = 5;

inline constexpr std::string_view kReportFileName = "index.html";

// Text for element content and quoted attribute values: & < > " ' escaped.
std::string HtmlEscape(std::string_view text);

// A path for href and src: every byte but letters, digits, "-._~" and "/"
// percent-encoded, so that no name can become a "javascript:" link or end
// the attribute.
std::string UrlEncodePath(std::string_view path);

// A text to go inside a single-quoted JavaScript string that itself sits in
// an HTML attribute: quotes, backslashes, markup characters, control
// characters and the line separators U+2028/U+2029 become \x or \u escapes,
// since the attribute is unescaped before the script sees it.
std::string JsStringEscape(std::string_view text);

// What the head states about the run beyond the file, the count and the
// destination; examiners put these in their case files.
struct ReportFacts {
  bool source_known = false;  // size and digest could be taken
  uint64_t source_size = 0;
  std::string source_sha256;
  std::string version;       // the program's version
  std::string run_time_utc;  // ISO 8601
};

// The head line: title, the open file's path, the number of checked rows and
// the destination folder, and the opening of the image table. With `facts`
// the head also names the program version and states the source's size,
// SHA-256 and the time of the run.
std::string BuildReportHeader(const UiTexts& texts, std::string_view open_file, int checked,
                              std::string_view destination, const ReportFacts* facts = nullptr);

// One cell for image k (1 for the first written image), written to
// `output_path`. `original_path` is where the original picture would be ("" if
// it cannot be looked for); the cell links to it when a file exists there at
// this moment: by bare name when it lies in the report's folder. `alt` is the
// alternative text (name, "Modified" and the time text).
std::string BuildReportCell(int k, std::string_view output_path, std::string_view original_path,
                            std::string_view alt);

// Completes the last table row after k images; "" when k ends a row.
std::string BuildReportFiller(int k);

std::string BuildReportFooter();

// The page: every line ended by CR LF, UTF-8 without a byte-order mark.
std::string JoinReportLines(const std::vector<std::string>& lines);

}  // namespace glintvane
