// glintvane-cli extract FILE -o DIR [--all | --keys K1,K2,...] [--carve] [--json]:
// writes thumbnails of a cache (or images carved from any file) into DIR with
// the report index.html, thumbnails.csv and thumbnails.json. Exit status 0
// when every chosen row was written, 1 when the input could not be read
// (wholly or in part) or any row failed, 2 for a wrong command line.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/error_codes.h"
#include "base/file_time.h"
#include "cache/thumbnail_list.h"
#include "cache/thumbs_reader.h"
#include "carve/carve_kinds.h"
#include "carve/carve_scan.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "evidence/evidence_open.h"
#include "export/extract_run.h"
#include "texts/error_list.h"

namespace glintvane::cli {
namespace {

struct ExtractArgs {
  std::string file;
  std::string destination;
  bool all = false;
  std::vector<std::string> keys;
  bool carve = false;
  std::string kinds = "jfif";
  bool json = false;
  std::string dfxml;
};

nlohmann::json Text(const std::string& text) {
  return nlohmann::json(text);
}

// The JSON document of a run, on success and on every failure alike.
struct ExtractReport {
  bool read_ok = false;
  bool interrupted = false;
  const ExtractOutcome* outcome = nullptr;  // null when nothing was run
  ErrorList errors;                         // the read's entries, then the run's findings
  ErrorList messages;                       // the run's results: one per row written
  std::string error;                        // why the run stopped short of writing, if it did
  std::optional<bool> dfxml_written;
};

void PrintExtractJson(const ExtractReport& report, int exit_code) {
  static const ExtractOutcome kNothing;
  const ExtractOutcome& outcome = report.outcome != nullptr ? *report.outcome : kNothing;
  const bool ok = report.read_ok && report.error.empty() && outcome.ok();
  nlohmann::json document;
  document["ok"] = ok;
  document["complete"] = ok && !report.interrupted;
  document["interrupted"] = report.interrupted;
  document["read_ok"] = report.read_ok;
  document["checked"] = outcome.checked;
  document["written"] = nlohmann::json::array();
  for (const ExtractedImage& image : outcome.written)
    document["written"].push_back(Text(image.path));
  document["failed"] = outcome.failed;
  document["skipped"] = outcome.skipped;
  document["abandoned"] = outcome.abandoned;
  document["report"] = outcome.report_written ? Text(outcome.report_path) : nlohmann::json();
  document["csv"] = outcome.catalogs_written ? Text(outcome.csv_path) : nlohmann::json();
  document["json"] = outcome.catalogs_written ? Text(outcome.json_path) : nlohmann::json();
  std::vector<std::string> errors = report.errors.Lines(CliTexts());
  std::vector<ErrorEntry> entries = report.errors.entries();
  if (!report.error.empty()) {
    errors.push_back(report.error);
    entries.push_back({Severity::kError, 0, {}, report.error});
  }
  document["errors"] = errors;
  document["error_entries"] = ErrorEntriesJson(entries);
  document["messages"] = report.messages.Lines(CliTexts());
  document["error"] = report.error.empty() ? nlohmann::json() : Text(report.error);
  if (report.dfxml_written) document["dfxml_written"] = *report.dfxml_written;
  document["exit_code"] = exit_code;
  PrintJsonDocument(document);
}

// Reads the cache, or carves the file, into `list`: false when it could not
// be read in full.
bool ReadInput(const ExtractArgs& args, ThumbnailList& list, ImageStore& store, ErrorList& errors) {
  TerminalProgress progress;
  if (args.carve) {
    CarveTarget target{list, errors, CliTexts(), &progress, InterruptStop()};
    target.kinds = ParseCarveKinds(args.kinds).value_or(kDefaultCarveKinds);
    return ScanFileForImages(args.file, target).finished;
  }
  CacheReadOptions options;
  options.date_time_format = DefaultDateTimeFormat();
  OpenImages images;
  return ReadCacheAt(EvidenceLocationOfText(args.file), images,
                     {list, store, errors, CliTexts(), &progress, InterruptStop()}, options)
      .ok;
}

// Checks the rows to write: all of them unless numbers were given. The
// numbers that name no row, when the file was read in full (else the row may
// simply be missing): a wrong command line.
std::string CheckWanted(const ExtractArgs& args, ThumbnailList& list, bool read_ok) {
  if (args.keys.empty()) {
    for (size_t i = 0; i < list.size(); ++i) list[i].checked = true;
    return {};
  }
  const std::set<std::string> wanted(args.keys.begin(), args.keys.end());
  std::set<std::string> found;
  for (size_t i = 0; i < list.size(); ++i) {
    list[i].checked = wanted.count(list[i].key) > 0;
    if (list[i].checked) found.insert(list[i].key);
  }
  std::string missing;
  for (const std::string& key : wanted) {
    if (found.count(key) > 0 || !read_ok) continue;
    missing += (missing.empty() ? "" : ", ") + key;
  }
  return missing;
}

bool RecordExtraction(const ExtractArgs& args, const ExtractReport& report, bool ok,
                      DfxmlRun& run) {
  const ExtractOutcome& outcome = *report.outcome;
  std::vector<DfxmlFileObject> objects;
  for (const ExtractedImage& image : outcome.written) objects.push_back(ExtractedFileObject(image));
  run.complete = ok && !report.interrupted;
  run.interrupted = report.interrupted;
  if (report.interrupted) {
    run.status = "stopped by Ctrl-C after writing " + std::to_string(outcome.written.size()) +
                 " of " + std::to_string(outcome.checked) + " rows";
  } else if (!report.read_ok) {
    run.status = "the input was not read in full";
  }
  return WriteDfxmlFile(args.dfxml, args.file, run, objects);
}

// The files written on standard output, then the failures and one summary
// on standard error: on a terminal the lines of written rows would bury the
// failures. A row not written says so on three lines ("Fatal error!",
// "File:", its path); everything else is escaped as it is, names included.
void PrintExtractText(const ExtractReport& report, const std::string& destination) {
  const ExtractOutcome& outcome = *report.outcome;
  for (const ExtractedImage& image : outcome.written) {
    std::fprintf(stdout, "%s\n", Printable(image.path).c_str());
  }
  if (outcome.report_written) {
    std::fprintf(stdout, "%s\n", Printable(outcome.report_path).c_str());
  }
  for (const ErrorEntry& entry : report.errors.entries()) {
    if (entry.code == kErrRowNotWritten) {
      std::fprintf(stderr, "%s!\n%s:\n%s\n", CliTexts()[kTextFatalError].c_str(),
                   CliTexts()[kTextFile].c_str(), Printable(entry.context).c_str());
    } else {
      PrintLines(stderr, EntryLines(entry, CliTexts()));
    }
  }
  if (outcome.checked > 0) {
    std::fprintf(stderr, "%s: %zu of %d written to %s%s\n",
                 CliTexts()[kTextOperationComplete].c_str(), outcome.written.size(),
                 outcome.checked, Printable(destination).c_str(),
                 outcome.failed.empty()
                     ? ""
                     : (", " + std::to_string(outcome.failed.size()) + " failed").c_str());
  }
}

int RunExtract(ExtractArgs args) {
  // The report, the records and the carved rows name the source file: by a
  // path that still means the same file when they are read elsewhere.
  std::error_code absolute_error;
  const auto absolute = std::filesystem::absolute(args.file, absolute_error);
  if (!absolute_error) args.file = absolute.string();

  DfxmlRun run = ThisRun("extract", args.file);
  ExtractReport report;
  // Every way out goes through here: with --json, one document each.
  const auto finish = [&](int exit_code, std::string error = {}) {
    if (!error.empty()) {
      std::fprintf(stderr, "glintvane-cli extract: %s\n", Printable(error).c_str());
    }
    report.error = std::move(error);
    if (args.json) PrintExtractJson(report, exit_code);
    return exit_code;
  };

  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  if (args.carve && IsImageNotPlainBytes(args.file)) {
    // Carved rows are written from their source file's own bytes, which a
    // container or a split image does not hold as the disk had them.
    return finish(kExitUsage, args.file + " is an EWF, VMDK, VHD, VHDX, QCOW2, AFF or split " +
                                  "disk image; carve it with \"glintvane-cli carve " + args.file +
                                  " --dfxml FILE\"");
  }
  report.read_ok = ReadInput(args, list, store, errors);
  // The run empties the error list; what the read found is kept apart.
  report.errors = errors;
  if (const std::string missing = CheckWanted(args, list, report.read_ok); !missing.empty()) {
    return finish(kExitUsage, "no thumbnail numbered " + missing + " in " + args.file);
  }
  // Stopped while reading: nothing has been written, and nothing will be.
  if (Interrupted()) {
    report.interrupted = true;
    SayInterrupted("extract", "while reading " + args.file + ", after " +
                                  std::to_string(list.size()) + " rows; nothing was written");
    return finish(kExitInterrupted);
  }
  ExtractOutcome outcome;
  report.outcome = &outcome;
  if (!list.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(args.destination, ec);
    if (ec) {
      return finish(kExitFailed, "cannot create " + args.destination + ": " + ec.message());
    }
    ExtractOptions options;
    options.destination = args.destination;
    options.open_file = args.file;
    options.stop = InterruptStop();
    outcome = ActionExtract(list, store, options, errors, CliTexts());
  }
  // The run leaves an entry per written row for the window's error list;
  // those are messages, not errors.
  if (outcome.checked > 0) {
    for (const ErrorEntry& entry : errors.entries()) {
      (entry.severity == Severity::kInfo ? report.messages : report.errors).Add(entry);
    }
  }
  report.interrupted = outcome.stopped || Interrupted();
  const bool ok = report.read_ok && outcome.ok();
  if (!args.dfxml.empty()) report.dfxml_written = RecordExtraction(args, report, ok, run);
  if (!args.json) PrintExtractText(report, args.destination);
  if (report.interrupted) {
    SayInterrupted("extract", "after writing " + std::to_string(outcome.written.size()) + " of " +
                                  std::to_string(outcome.checked) +
                                  " rows; the report lists those written");
  }
  return finish(ok && report.dfxml_written.value_or(true) ? kExitOk : kExitFailed);
}

}  // namespace

void AddExtractCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand(
      "extract",
      "Write the thumbnails of a cache (or the images carved from a file with --carve) into a "
      "folder, with the report index.html and the records thumbnails.csv and thumbnails.json. "
      "Without --keys every row is written. Exit 0 when every chosen row was written, 1 when "
      "the file could not be read in full or a row failed.");
  auto args = std::make_shared<ExtractArgs>();
  sub->add_option("FILE", args->file,
                  "the Thumbs.db or thumbcache_*.db cache, a cache inside a disk image as search "
                  "names it, or, with --carve, any file")
      ->required();
  sub->add_option("-o,--output", args->destination,
                  "the destination folder (made when missing); files of the same name are "
                  "replaced")
      ->required();
  auto* all = sub->add_flag("--all", args->all, "write every row (the default)");
  auto* keys = sub->add_option("--keys", args->keys,
                               "write only the rows with these numbers (comma-separated)")
                   ->delimiter(',');
  all->excludes(keys);
  auto* carve = sub->add_flag("--carve", args->carve,
                              "carve JFIF images (or the --kinds asked for) out of FILE instead "
                              "of reading a cache; PNG and BMP pictures are written as .png and "
                              ".bmp");
  AddKindsOption(sub, args->kinds)->needs(carve);
  sub->add_flag("--json", args->json,
                "print one JSON document: written, report, csv, json, errors, failed, skipped, "
                "checked, ok");
  sub->add_option("--dfxml", args->dfxml,
                  "also write a DFXML record: each written image with its length, "
                  "MD5/SHA-1/SHA-256 and, for carved images, its byte run in FILE");
  sub->callback([&exit_code, args] { exit_code = RunExtract(*args); });
}

}  // namespace glintvane::cli
