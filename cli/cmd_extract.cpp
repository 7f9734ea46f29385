// glintvane-cli extract FILE -o DIR [--all | --keys K1,K2,... | --case CASE
// --tag T1,T2] [--carve] [--report [--paper a4|letter]] [--json]: writes
// thumbnails of a cache (or images carved from any file) into DIR with the
// report index.html, thumbnails.csv and thumbnails.json, and with --report
// the examiner's report.html and report.pdf. Exit status 0
// when every chosen row was written, 1 when the input could not be read
// (wholly or in part) or any row failed, 2 for a wrong command line.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/error_codes.h"
#include "base/file_time.h"
#include "cache/thumbnail_list.h"
#include "cache/thumbs_reader.h"
#include "carve/carve_kinds.h"
#include "carve/carve_scan.h"
#include "cli/cli_case.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "evidence/evidence_identity.h"
#include "evidence/evidence_open.h"
#include "export/extract_run.h"
#ifdef GLINTVANE_HAVE_REPORT_PDF
#include "report/report_pdf.h"
#endif
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
  std::string case_file;
  std::vector<std::string> tags;
  bool report = false;
  std::string paper = "a4";
  std::string search_index;
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
  std::string report_html;  // the examiner's report, when written
  std::string report_pdf;
  std::optional<SearchIndexUse> search_index;  // a thumbcache's, when one was looked for
};

nlohmann::json SearchIndexJson(const std::optional<SearchIndexUse>& use) {
  if (!use) return nullptr;
  const auto text_or_null = [](const std::string& text) {
    return text.empty() ? nlohmann::json() : Text(text);
  };
  return {{"path", text_or_null(use->path)},
          {"sought", text_or_null(use->sought)},
          {"chosen", use->chosen},
          {"read", use->read},
          {"error", text_or_null(use->error)},
          {"format", text_or_null(use->format)},
          {"state", text_or_null(use->state)},
          {"complete", use->complete},
          {"rows", use->rows},
          {"named_rows", use->named},
          {"reasons", use->reasons},
          {"notes", use->notes}};
}

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
  // The examiner's report (--report): null when not asked for or not written.
  document["report_html"] =
      report.report_html.empty() ? nlohmann::json() : Text(report.report_html);
  document["report_pdf"] = report.report_pdf.empty() ? nlohmann::json() : Text(report.report_pdf);
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
  // The Windows Search index that named a thumbcache's rows (and so its
  // thumbnails' file names); null when none was looked for.
  document["search_index"] = SearchIndexJson(report.search_index);
  document["exit_code"] = exit_code;
  PrintJsonDocument(document);
}

// Reads the cache, or carves the file, into `list`: false when it could not
// be read in full. A thumbcache's search index, when one was looked for, is
// said in `search_index`.
bool ReadInput(const ExtractArgs& args, ThumbnailList& list, ImageStore& store, ErrorList& errors,
               std::optional<SearchIndexUse>& search_index) {
  TerminalProgress progress;
  if (args.carve) {
    CarveTarget target{list, errors, CliTexts(), &progress, InterruptStop()};
    target.kinds = ParseCarveKinds(args.kinds).value_or(kDefaultCarveKinds);
    return ScanFileForImages(args.file, target).finished;
  }
  CacheReadOptions options;
  options.date_time_format = DefaultDateTimeFormat();
  options.open.search_index = args.search_index;
  OpenImages images;
  const CacheReadResult read =
      ReadCacheAt(EvidenceLocationOfText(args.file), images,
                  {list, store, errors, CliTexts(), &progress, InterruptStop()}, options);
  search_index = read.search_index;
  return read.ok;
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
  for (const std::string* path : {&report.report_html, &report.report_pdf}) {
    if (!path->empty()) std::fprintf(stdout, "%s\n", Printable(*path).c_str());
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

// The tags asked for, as the case spells them: a built-in or the examiner's
// own tag, any letter case. "" and *unknown set when the case has no such tag.
std::vector<std::string> CaseTagsNamed(const CaseFile& file, const std::vector<std::string>& asked,
                                       std::string* unknown) {
  const std::vector<std::string> known = file.Tags();
  const auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  std::vector<std::string> tags;
  for (const std::string& name : asked) {
    const auto it = std::find_if(known.begin(), known.end(), [&](const std::string& tag) {
      return lower(tag) == lower(CleanTagName(name));
    });
    if (it == known.end()) {
      *unknown = name;
      return {};
    }
    tags.push_back(*it);
  }
  return tags;
}

// The evidence as the examiner's report names it. A cache inside a disk image
// is the image's files: their size and SHA-256 (taken here, or known to the
// case), the first file's times and the partition. A file of its own is left
// to the run, which takes its size, SHA-256 and times as it writes.
ReportEvidence ReportEvidenceOf(const std::string& file, bool carved, CliCase& case_file) {
  ReportEvidence evidence;
  evidence.path = file;
  const EvidenceLocation where = EvidenceLocationOfText(file);
  const ImageFileLocation* inside = InImage(where);
  if (inside == nullptr) return evidence;
  evidence.times = ReadFileTimes(inside->image);
  evidence.partition = inside->partition;
  uint64_t size = 0;
  const EvidenceKey key = case_file.KeyFor(file, carved, &size);
  if (!key.empty()) {
    evidence.sha256 = key.sha256;
    evidence.size = size;
  }
  return evidence;
}

// Lays report.pdf out beside the report.html the run wrote, and names both
// in `report`; the reason when either could not be written.
std::string WriteReportPdf(const ExtractArgs& args, const ExtractOutcome& outcome,
                           ExtractReport& report) {
  if (outcome.checked == 0) return {};
  if (!outcome.examiner_report || !outcome.examiner_html_written) {
    return "report.html was not written";
  }
  report.report_html = outcome.examiner_html_path;
#ifdef GLINTVANE_HAVE_REPORT_PDF
  const std::string& html = outcome.examiner_html_path;
  const std::string folder = html.substr(0, html.rfind('/') + 1);
  const std::string path = folder + std::string(kExaminerReportPdfName);
  std::vector<FileId> inputs;
  for (const std::string& input : {args.file, CaseFile::PathFor(args.case_file)}) {
    if (auto id = FileIdOf(input); id && !input.empty()) inputs.push_back(*id);
  }
  const PaperSize paper = PaperSizeNamed(args.paper).value_or(PaperSize::kA4);
  const PdfOutcome pdf =
      WriteExaminerReportPdf(*outcome.examiner_report, CliTexts(), folder, path, paper, inputs);
  if (!pdf.ok) return "report.pdf: " + pdf.error;
  report.report_pdf = path;
  return {};
#else
  (void)args;
  return "report.pdf: this build of the program has no PDF writer (Qt Gui was not found)";
#endif
}

// Which rows the report holds, in the texts' words.
std::string ReportSelection(const ExtractArgs& args) {
  const UiTexts& texts = CliTexts();
  if (!args.tags.empty()) {
    std::string names;
    for (const std::string& tag : args.tags) {
      names += (names.empty() ? "" : ", ") + TagText(tag, texts);
    }
    std::string text = texts[kTextRowsTagged];
    const size_t at = text.find("%1");
    return at == std::string::npos ? text + " " + names : text.replace(at, 2, names);
  }
  if (!args.keys.empty()) return texts[kTextCheckedRows];
  return texts[kTextAllRows];
}

// Opens the --case and spells the --tag names as the case does: kExitOk, or
// the exit status and why.
std::pair<int, std::string> OpenCase(ExtractArgs& args, CliCase& case_file) {
  case_file.set_verb("extract");
  if (args.case_file.empty()) return {kExitOk, {}};
  if (!case_file.Open("extract", args.case_file, /*say=*/false)) {
    return {kExitFailed, case_file.error()};
  }
  if (args.tags.empty()) return {kExitOk, {}};
  std::string unknown;
  args.tags = CaseTagsNamed(*case_file.file(), args.tags, &unknown);
  if (unknown.empty()) return {kExitOk, {}};
  std::string known;
  for (const std::string& tag : case_file.file()->Tags())
    known += (known.empty() ? "" : ", ") + tag;
  return {kExitUsage, "the case has no tag \"" + unknown + "\" (its tags: " + known + ")"};
}

// Checks the rows that carry any of the --tag tags; none is not a failure,
// but is said.
void CheckTagged(const ExtractArgs& args, ThumbnailList& list, CliCase& case_file) {
  if (Interrupted()) return;
  const auto& marks = case_file.MarksFor(args.file, args.carve);
  int tagged = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const auto it = marks.find(list[i].key);
    list[i].checked = it != marks.end() &&
                      std::any_of(args.tags.begin(), args.tags.end(),
                                  [&](const std::string& tag) { return it->second.Has(tag); });
    tagged += list[i].checked ? 1 : 0;
  }
  if (tagged == 0 && !Interrupted()) {
    std::fprintf(stderr, "glintvane-cli extract: no row of %s carries the tag%s asked for\n",
                 Printable(args.file).c_str(), args.tags.size() > 1 ? "s" : "");
  }
}

// What --report needs besides the rows: the case (when given), the evidence,
// this command line, which rows, and each row's tags and note.
ExaminerReportInput ReportInputOf(const ExtractArgs& args, CliCase& case_file) {
  ExaminerReportInput input;
  if (case_file.is_open()) input.case_info = case_file.file()->info();
  input.evidence = ReportEvidenceOf(args.file, args.carve, case_file);
  input.made_by = CommandLine();
  input.selection = ReportSelection(args);
  if (case_file.is_open() && !Interrupted()) {
    const auto* marks = &case_file.MarksFor(args.file, args.carve);
    input.marks = [marks](const ThumbnailRow& row) -> const RowMarks* {
      const auto it = marks->find(row.key);
      return it == marks->end() ? nullptr : &it->second;
    };
  }
  return input;
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

  // The case first: one that cannot be used, or a tag it does not have,
  // stops the run before anything is read.
  CliCase case_file;
  if (const auto [exit_code, error] = OpenCase(args, case_file); exit_code != kExitOk) {
    return finish(exit_code, error);
  }

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
  report.read_ok = ReadInput(args, list, store, errors, report.search_index);
  // The run empties the error list; what the read found is kept apart.
  report.errors = errors;
  if (const std::string missing = CheckWanted(args, list, report.read_ok); !missing.empty()) {
    return finish(kExitUsage, "no thumbnail numbered " + missing + " in " + args.file);
  }
  if (!args.tags.empty()) CheckTagged(args, list, case_file);
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
    const ExaminerReportInput input =
        args.report ? ReportInputOf(args, case_file) : ExaminerReportInput{};
    if (args.report) options.examiner = &input;
    outcome = ActionExtract(list, store, options, errors, CliTexts());
  }
  const std::string pdf_error = args.report ? WriteReportPdf(args, outcome, report) : std::string();
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
  if (!pdf_error.empty()) return finish(kExitFailed, pdf_error);
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
  auto* case_option = sub->add_option(
      "--case", args->case_file,
      "the case file (or the case folder) whose tags --tag chooses by and whose examiner, case "
      "number, tags and notes the --report shows");
  auto* tag = sub->add_option("--tag", args->tags,
                              "write only the rows that carry one of these tags of the --case "
                              "(comma-separated)")
                  ->delimiter(',')
                  ->needs(case_option);
  tag->excludes(keys);
  tag->excludes(all);
  auto* report = sub->add_flag("--report", args->report,
                               "also write the examiner's report, report.html and report.pdf, "
                               "for the rows written");
  sub->add_option("--paper", args->paper,
                  "the paper report.pdf is laid out on: a4 (the default) or letter")
      ->transform(CLI::IsMember({"a4", "letter"}, CLI::ignore_case))
      ->needs(report);
  sub->add_option("--dfxml", args->dfxml,
                  "also write a DFXML record: each written image with its length, "
                  "MD5/SHA-1/SHA-256 and, for carved images, its byte run in FILE");
  AddSearchIndexOption(*sub, args->search_index);
  sub->callback([&exit_code, args] { exit_code = RunExtract(*args); });
}

}  // namespace glintvane::cli
