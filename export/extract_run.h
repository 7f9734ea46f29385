// Extracting thumbnails: the checked rows of the list written into a
// destination folder with the report, its CSV and JSON companions and the
// result lines of the run; or one highlighted row on its own. The window asks
// the questions (destination, opening the report); these routines ask none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "cache/thumbnail_list.h"
#include "export/copy_range.h"
#include "export/image_catalog.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane {

// Writes a row's image to `output` exactly as it is held, never decoded:
// bytes of the image store, or the row's range of its source file. A failure
// is recorded in `errors` (code, `output`, the system's message). A file of
// `inputs` (and the row's own source file) is never replaced.
WriteOutcome WriteThumbnailRow(const ThumbnailList& list, const ImageStore& store,
                               const ThumbnailRow& row, const std::string& output,
                               ErrorList& errors, OutputMode mode = OutputMode::kReplace,
                               std::span<const FileId> inputs = {});

// Where the original picture of a row would be on this machine: `folder`
// (the open file's folder, ending in "/") + the name, for a bare name. Carved
// rows, names with a folder of the machine that made the cache ("C:\..."),
// names with "/" and "." or ".." give "": there is nothing to look for here.
std::string OriginalPathFor(std::string_view folder, const ThumbnailRow& row);

struct ExtractOptions {
  std::string destination;  // an existing folder; "/" is appended when missing
  std::string open_file;    // the file the list shows: named in the report
  // Also write thumbnails.csv and thumbnails.json beside the report.
  bool write_catalogs = true;
  // Take the open file's size and SHA-256 for the report's head (a pass over
  // the whole file: seconds for a swap file of gigabytes).
  bool fingerprint_source = true;
  // The time of the run in seconds since 1970 UTC; now when empty.
  std::optional<int64_t> run_time;
  // Checked before each row; a stopped run still writes the report and
  // records of the rows written so far.
  std::stop_token stop;
};

struct ExtractOutcome {
  int checked = 0;                      // rows chosen (the count the report states)
  std::vector<ExtractedImage> written;  // in the order written
  std::vector<std::string> failed;      // output paths of rows that could not be written
  std::vector<std::string> skipped;     // numbers of checked rows with no image stored
  // A row of the image store could not be written: the run stopped there
  // and wrote no report. Files written before stay.
  bool abandoned = false;
  bool stopped = false;  // the stop token ended the run before every row was written
  bool report_written = false;
  bool catalogs_written = false;
  std::string report_path;  // destination + "index.html"
  std::string csv_path;
  std::string json_path;
  std::vector<std::string> report_lines;

  // Every chosen row written or knowingly skipped, and the report saved.
  bool ok() const {
    return !abandoned && !stopped && failed.empty() && (checked == 0 || report_written);
  }
};

// Writes every checked row, in list order, to the destination, named by
// ExtractNamer, and then the report. With an empty list or nothing checked it
// does nothing (the error list is left as it is); otherwise the error list is
// cleared first and receives an entry per row (kMsgRowWritten, or the
// failure and then kErrRowNotWritten) and one per finding.
ExtractOutcome ActionExtract(const ThumbnailList& list, const ImageStore& store,
                             const ExtractOptions& options, ErrorList& errors,
                             const UiTexts& texts);

struct ExtractSelectedOutcome {
  bool attempted = false;  // there was a row to write
  bool written = false;
  std::string path;
  // The message box's text: "Operation complete!\nFile:\n" + path, or
  // "Fatal error!\nFile:\n" + path when `message_is_error`.
  std::string message;
  bool message_is_error = false;
  std::optional<ExtractedImage> image;
};

// Writes the row at `index` into `destination` under MakeExtractName,
// replacing a file of that name. Writes no report and does not clear the
// error list; a failure is recorded there.
// `open_file`, the file the list was read from, is never replaced.
ExtractSelectedOutcome ActionExtractSelected(const ThumbnailList& list, const ImageStore& store,
                                             size_t index, const std::string& destination,
                                             ErrorList& errors, const UiTexts& texts,
                                             const std::string& open_file = {});

}  // namespace glintvane
