// glintvane-cli extract FILE -o DIR [--all | --keys K1,K2,...] [--carve] [--json]:
// writes thumbnails of a cache (or images carved from any file) into DIR with
// the report index.html, thumbnails.csv and thumbnails.json. Exit status 0
// when every chosen row was written, 1 when the input could not be read
// (wholly or in part) or any row failed, 2 for a wrong command line.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/file_time.h"
#include "cache/thumbnail_list.h"
#include "cache/thumbs_reader.h"
#include "carve/carve_scan.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "evidence/evidence_read.h"
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
  bool json = false;
  std::string dfxml;
};

nlohmann::json Text(const std::string& text) {
  return nlohmann::json(text);
}

void PrintJson(const nlohmann::json& document) {
  // Names are the cache's: replace bytes that are not UTF-8 rather than fail.
  const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fprintf(stdout, "%s\n", text.c_str());
}

int RunExtract(ExtractArgs args) {
  // The report, the records and the carved rows name the source file: by a
  // path that still means the same file when they are read elsewhere.
  std::error_code absolute_error;
  const auto absolute = std::filesystem::absolute(args.file, absolute_error);
  if (!absolute_error) args.file = absolute.string();

  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  TerminalProgress progress;
  bool read_ok = false;
  if (args.carve && IsImageNotPlainBytes(args.file)) {
    // Carved rows are written from their source file's own bytes, which an
    // EWF or split image does not hold as the disk had them.
    std::fprintf(stderr,
                 "glintvane-cli extract: %s is an EWF or split disk image; carve it with "
                 "\"glintvane-cli carve %s --dfxml FILE\"\n",
                 Printable(args.file).c_str(), Printable(args.file).c_str());
    return kExitUsage;
  }
  if (args.carve) {
    read_ok = ScanFileForImages(args.file, {list, errors, CliTexts(), &progress, InterruptStop()})
                  .finished;
  } else {
    CacheReadOptions options;
    options.date_time_format = DefaultDateTimeFormat();
    read_ok = ReadCacheAtPath(
                  args.file, {list, store, errors, CliTexts(), &progress, InterruptStop()}, options)
                  .ok;
  }
  // The run empties the error list; what the read found is kept apart.
  const std::vector<std::string> read_errors = errors.lines();

  // The rows to write: all of them unless numbers were given.
  if (!args.keys.empty()) {
    const std::set<std::string> wanted(args.keys.begin(), args.keys.end());
    std::set<std::string> found;
    for (size_t i = 0; i < list.size(); ++i) {
      list[i].checked = wanted.count(list[i].key) > 0;
      if (list[i].checked) found.insert(list[i].key);
    }
    // A number that names no row is a wrong command line, unless the file
    // could not be read in full and the row may simply be missing.
    bool missing = false;
    for (const std::string& key : wanted) {
      if (found.count(key) > 0 || !read_ok) continue;
      std::fprintf(stderr, "glintvane-cli extract: no thumbnail numbered %s in %s\n",
                   Printable(key).c_str(), Printable(args.file).c_str());
      missing = true;
    }
    if (missing) return kExitUsage;
  } else {
    for (size_t i = 0; i < list.size(); ++i) list[i].checked = true;
  }

  // Stopped while reading: nothing has been written, and nothing will be.
  if (InterruptStop().stop_requested()) return kExitInterrupted;
  ExtractOutcome outcome;
  if (!list.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(args.destination, ec);
    if (ec) {
      std::fprintf(stderr, "glintvane-cli extract: cannot create %s: %s\n",
                   Printable(args.destination).c_str(), ec.message().c_str());
      return kExitFailed;
    }
    ExtractOptions options;
    options.destination = args.destination;
    options.open_file = args.file;
    options.stop = InterruptStop();
    outcome = ActionExtract(list, store, options, errors, CliTexts());
  }
  std::vector<std::string> all_errors = read_errors;
  if (outcome.checked > 0) {
    all_errors.insert(all_errors.end(), errors.lines().begin(), errors.lines().end());
  }

  const bool ok = read_ok && outcome.ok();
  if (args.json) {
    nlohmann::json document;
    document["ok"] = ok;
    document["read_ok"] = read_ok;
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
    document["errors"] = all_errors;
    PrintJson(document);
  } else {
    for (const ExtractedImage& image : outcome.written) {
      std::fprintf(stdout, "%s\n", Printable(image.path).c_str());
    }
    if (outcome.report_written) {
      std::fprintf(stdout, "%s\n", Printable(outcome.report_path).c_str());
    }
    // The run leaves a line per written row for the window's error list;
    // on a terminal they would bury the failures, so one summary stands for
    // them. The run's own failure lines span three lines by design; split
    // exactly those, and escape everything else, names included.
    const std::string written_prefix = ExtractSuccessLine(CliTexts(), "");
    std::set<std::string> failure_lines;
    for (const std::string& path : outcome.failed) {
      failure_lines.insert(ExtractFailureLine(CliTexts(), path));
    }
    for (const std::string& line : all_errors) {
      if (line.starts_with(written_prefix)) continue;
      if (failure_lines.count(line) == 0) {
        std::fprintf(stderr, "%s\n", Printable(line).c_str());
        continue;
      }
      size_t start = 0;
      for (size_t end = line.find('\n'); start < line.size() + 1; end = line.find('\n', start)) {
        const size_t stop = end == std::string::npos ? line.size() : end;
        std::fprintf(stderr, "%s\n", Printable(line.substr(start, stop - start)).c_str());
        start = stop + 1;
      }
    }
    if (outcome.checked > 0) {
      std::fprintf(stderr, "%s: %zu of %d written to %s%s\n",
                   CliTexts()[kTextOperationComplete].c_str(), outcome.written.size(),
                   outcome.checked, Printable(args.destination).c_str(),
                   outcome.failed.empty()
                       ? ""
                       : (", " + std::to_string(outcome.failed.size()) + " failed").c_str());
    }
  }
  if (!args.dfxml.empty()) {
    std::vector<DfxmlFileObject> objects;
    for (const ExtractedImage& image : outcome.written) {
      DfxmlFileObject object;
      object.filename = image.path;
      object.filesize = static_cast<uint64_t>(image.length);
      object.digests = image.digests;
      // A carved image is one stretch of its source; a thumbnail of a cache
      // was gathered from the compound file's sectors and has no one offset.
      if (image.offset) {
        object.byte_runs.push_back(
            {0, static_cast<uint64_t>(*image.offset), static_cast<uint64_t>(image.length)});
      }
      objects.push_back(std::move(object));
    }
    if (!WriteDfxmlFile(args.dfxml, args.file, ThisRun("extract", args.file), objects)) {
      return kExitFailed;
    }
  }
  return ok ? kExitOk : kExitFailed;
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
  sub->add_flag("--carve", args->carve, "carve JFIF images out of FILE instead of reading a cache");
  sub->add_flag("--json", args->json,
                "print one JSON document: written, report, csv, json, errors, failed, skipped, "
                "checked, ok");
  sub->add_option("--dfxml", args->dfxml,
                  "also write a DFXML record: each written image with its length, "
                  "MD5/SHA-1/SHA-256 and, for carved images, its byte run in FILE");
  sub->callback([&exit_code, args] { exit_code = RunExtract(*args); });
}

}  // namespace glintvane::cli
