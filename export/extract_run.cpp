#include "export/extract_run.h"

#include <ctime>
#include <filesystem>

#include "base/error_codes.h"
#include "base/file_time.h"
#include "base/windows_path.h"
#include "cache/thumbcache_reader.h"
#include "export/extract_name.h"
#include "export/html_report.h"

namespace glintvane {
namespace {

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// An absolute folder ending in "/": the report links and compares folders,
// and a relative one would mean something else once the page is opened.
std::string AbsoluteFolder(const std::string& folder) {
  if (folder.empty()) return {};
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(folder, ec).string();
  if (ec) absolute = folder;
  if (absolute.back() != '/') absolute += '/';
  return absolute;
}

std::string OpenFileFolder(const std::string& open_file) {
  if (open_file.empty()) return {};
  std::error_code ec;
  const std::string absolute = std::filesystem::absolute(open_file, ec).string();
  return std::string(LocalFolderPart(ec ? open_file : absolute));
}

// What the record says of rows whose source keeps no checksum of the data.
constexpr std::string_view kNoDataChecksum = "none stored";

ExtractedImage ImageRecord(const ThumbnailList& list, const ThumbnailRow& row,
                           const std::string& path, const std::string& open_file,
                           const WriteOutcome& write) {
  ExtractedImage image;
  image.path = path;
  image.key = row.key;
  image.name = std::string(RowNameText(row));
  image.time_text = std::string(RowTimeText(row));
  image.time_utc = FileTimeUtcIso(row.filetime);
  if (row.source_kind == SourceKind::kOpenFile) {
    image.source = list.SourceOf(row);
    image.offset = row.start;
  } else {
    image.source = open_file;
  }
  image.length = write.bytes;
  image.digests = write.digests;
  image.data_check =
      row.thumbcache ? std::string(kThumbcacheDataNotVerified) : std::string(kNoDataChecksum);
  image.recovered = row.recovered;
  return image;
}

// The files the run reads: no output may replace one of them.
std::vector<FileId> InputsOf(const ThumbnailList& list, const std::string& open_file) {
  std::vector<FileId> inputs;
  if (!open_file.empty()) {
    if (auto id = FileIdOf(open_file)) inputs.push_back(*id);
  }
  for (uint32_t i = 0; i < list.source_count(); ++i) {
    if (auto id = FileIdOf(list.Source(i))) inputs.push_back(*id);
  }
  return inputs;
}

// Writes a file of the run beside the report; a failure is recorded.
bool WriteRunFile(const std::string& path, const std::string& text, ErrorList& errors,
                  std::span<const FileId> inputs) {
  const WriteOutcome write = WriteBytesFile(path, AsBytes(text), OutputMode::kReplace, inputs);
  if (!write.ok) errors.AddError(write.error_code, path, write.detail);
  return write.ok;
}

}  // namespace

WriteOutcome WriteThumbnailRow(const ThumbnailList& list, const ImageStore& store,
                               const ThumbnailRow& row, const std::string& output,
                               ErrorList& errors, OutputMode mode, std::span<const FileId> inputs) {
  if (row.source_kind == SourceKind::kOpenFile) {
    if (row.source >= list.source_count()) {
      WriteOutcome missing;
      missing.error_code = kErrOpenSource;
      missing.detail = "the row names no source file";
      errors.AddError(missing.error_code, output, missing.detail);
      return missing;
    }
    // Rows carved from the disk inside an image read through the image: the
    // container file does not hold the disk's bytes as they lay.
    if (ByteSource* bytes = list.SourceBytes(row.source).get()) {
      std::vector<FileId> protect(inputs.begin(), inputs.end());
      if (auto id = FileIdOf(list.SourceOf(row))) protect.push_back(*id);
      return CopySourceRange(output, *bytes, row.start, row.length, errors, mode, protect);
    }
    return CopyFileRange(output, list.SourceOf(row), row.start, row.length, errors, mode, inputs);
  }
  const std::span<const uint8_t> bytes = store.View(row.start, row.length);
  if (bytes.empty()) {
    WriteOutcome outside;
    outside.error_code = kErrRead;
    outside.detail = "the image lies outside the image store";
    errors.AddError(outside.error_code, output, outside.detail);
    return outside;
  }
  WriteOutcome write = WriteBytesFile(output, bytes, mode, inputs);
  if (!write.ok) errors.AddError(write.error_code, output, write.detail);
  return write;
}

std::string OriginalPathFor(std::string_view folder, const ThumbnailRow& row) {
  if (row.carved || folder.empty()) return {};
  const std::string_view name = row.name;
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("\\:/") != std::string_view::npos) {
    return {};
  }
  return std::string(folder) + std::string(name);
}

ExtractOutcome ActionExtract(const ThumbnailList& list, const ImageStore& store,
                             const ExtractOptions& options, ErrorList& errors,
                             const UiTexts& texts) {
  ExtractOutcome outcome;
  if (list.empty()) return outcome;
  const std::string destination = AbsoluteFolder(options.destination);
  const std::string source_folder = OpenFileFolder(options.open_file);
  outcome.report_path = destination + std::string(kReportFileName);
  for (size_t i = 0; i < list.size(); ++i) outcome.checked += list[i].checked ? 1 : 0;
  if (outcome.checked == 0) return outcome;

  errors.Clear();
  ReportFacts facts;
  facts.version = GLINTVANE_VERSION;
  facts.run_time_utc =
      UnixSecondsUtcIso(options.run_time.value_or(static_cast<int64_t>(std::time(nullptr))));
  if (options.fingerprint_source && !options.open_file.empty()) {
    if (auto print = FingerprintFile(options.open_file)) {
      facts.source_known = true;
      facts.source_size = print->size;
      facts.source_sha256 = print->sha256;
    }
  }
  std::vector<std::string>& lines = outcome.report_lines;
  lines.push_back(
      BuildReportHeader(texts, options.open_file, outcome.checked, destination, &facts));

  const std::vector<FileId> inputs = InputsOf(list, options.open_file);
  ExtractNamer namer(destination);
  int k = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const ThumbnailRow& row = list[i];
    if (!row.checked) continue;
    if (options.stop.stop_requested()) {
      outcome.stopped = true;
      break;
    }
    if (row.source_kind == SourceKind::kImageStore && row.length <= 0) {
      // A Catalog entry whose thumbnail stream was never stored: there are no
      // bytes to write, which is a finding, not a failed write.
      errors.AddWarning(MakeExtractName(row, destination),
                        "no image is stored for thumbnail " + row.key);
      outcome.skipped.push_back(row.key);
      continue;
    }
    std::string path = namer.Next(row);
    ErrorList attempt;
    WriteOutcome write =
        WriteThumbnailRow(list, store, row, path, attempt, OutputMode::kReplace, inputs);
    if (NameRejected(write)) {
      // A name the destination's file system will not hold ("a?b" on exFAT,
      // a name too long): the row is written under its number instead.
      errors.AddWarning(path, write.detail);
      path = namer.Fallback(row);
      attempt.Clear();
      write = WriteThumbnailRow(list, store, row, path, attempt, OutputMode::kReplace, inputs);
    }
    errors.Append(attempt);
    if (!write.ok) {
      errors.AddError(kErrRowNotWritten, path, {});
      outcome.failed.push_back(path);
      // The image store is the program's own memory: when one of its images
      // cannot be written, the destination is not usable and the run stops.
      // A name the destination refuses, or one that is an input, is that
      // row's fault alone: a hostile name must not cost every other row.
      if (row.source_kind == SourceKind::kImageStore && !NameRejected(write) && !write.is_input) {
        outcome.abandoned = true;
        return outcome;
      }
      continue;
    }
    errors.Add({Severity::kInfo, kMsgRowWritten, path, {}});
    ++k;
    const std::string alt = std::string(RowNameText(row)) + ". " + texts[kTextModified] + ": " +
                            std::string(RowTimeText(row));
    lines.push_back(BuildReportCell(k, path, OriginalPathFor(source_folder, row), alt));
    outcome.written.push_back(ImageRecord(list, row, path, options.open_file, write));
  }
  lines.push_back(BuildReportFiller(k) + BuildReportFooter());
  outcome.report_written =
      WriteRunFile(outcome.report_path, JoinReportLines(lines), errors, inputs);

  if (options.write_catalogs) {
    CatalogHead head;
    head.version = facts.version;
    head.run_time_utc = facts.run_time_utc;
    head.source_path = options.open_file;
    if (facts.source_known) {
      head.source_size = facts.source_size;
      head.source_sha256 = facts.source_sha256;
    }
    head.destination = destination;
    head.checked = outcome.checked;
    outcome.csv_path = destination + std::string(kCsvFileName);
    outcome.json_path = destination + std::string(kJsonFileName);
    const bool csv = WriteRunFile(outcome.csv_path, BuildImageCsv(outcome.written), errors, inputs);
    const bool json =
        WriteRunFile(outcome.json_path, BuildImageJson(head, outcome.written), errors, inputs);
    outcome.catalogs_written = csv && json;
  }
  return outcome;
}

ExtractSelectedOutcome ActionExtractSelected(const ThumbnailList& list, const ImageStore& store,
                                             size_t index, const std::string& destination,
                                             ErrorList& errors, const UiTexts& texts,
                                             const std::string& open_file) {
  ExtractSelectedOutcome outcome;
  if (index >= list.size()) return outcome;
  const ThumbnailRow& row = list[index];
  outcome.attempted = true;
  outcome.path = MakeExtractName(row, AbsoluteFolder(destination));
  WriteOutcome write;
  if (row.source_kind == SourceKind::kImageStore && row.length <= 0) {
    write.error_code = kErrRead;
    write.detail = "no image is stored for thumbnail " + row.key;
    errors.AddError(write.error_code, outcome.path, write.detail);
  } else {
    write = WriteThumbnailRow(list, store, row, outcome.path, errors, OutputMode::kReplace,
                              InputsOf(list, open_file));
  }
  outcome.written = write.ok;
  outcome.message_is_error = !write.ok;
  outcome.message = (write.ok ? texts[kTextOperationComplete] : texts[kTextFatalError]) + "!\n" +
                    texts[kTextFile] + ":\n" + outcome.path;
  if (write.ok) outcome.image = ImageRecord(list, row, outcome.path, {}, write);
  return outcome;
}

}  // namespace glintvane
