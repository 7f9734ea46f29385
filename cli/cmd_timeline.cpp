// glintvane-cli timeline SOURCE... [--format bodyfile|csv|jsonl] [-o FILE]
// [--case FILE]: every time found in and around the caches of each source
// (a cache, a folder searched for caches, a disk image searched for them),
// for mactime and the timeline viewers. Exit status 0 when every source was
// read in full, 1 when one was not (what was read is still written).
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cache/thumbs_reader.h"
#include "cli/cli_case.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "discover/search_folder.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_open.h"
#include "evidence/evidence_search.h"
#include "evidence/evidence_times.h"
#include "export/copy_range.h"
#include "export/timeline.h"

namespace glintvane::cli {
namespace {

struct TimelineArgs {
  std::vector<std::string> sources;
  std::string format = "bodyfile";
  std::string output;
  std::string case_file;
};

class TimelineRun {
 public:
  TimelineRun(CliCase& case_file) : case_(case_file) {}

  // One cache: its own times, then its rows'.
  void AddCache(const std::string& path, const CacheFileRecord* found) {
    std::string error;
    const TimelineCache cache = TimelineCacheAt(path, found, &error);
    if (!error.empty()) Fail(error);
    AddCacheEvents(events_, cache);
    ThumbnailList list;
    ImageStore store;
    ErrorList errors;
    CacheReadOptions options;
    options.date_time_format = DefaultDateTimeFormat();
    const CacheReadResult read = ReadCacheAt(
        found != nullptr ? found->location : EvidenceLocationOfText(path), images_,
        CacheReadTarget{list, store, errors, CliTexts(), nullptr, InterruptStop()}, options);
    if (!read.ok) Fail("cannot read the cache " + path + " in full");
    const auto& marks = case_.MarksFor(path);
    for (size_t i = 0; i < list.size(); ++i) {
      const ThumbnailRow row = list.RowCopy(i);
      const auto it = marks.find(row.key);
      AddRowEvents(events_, path, row, it == marks.end() ? nullptr : &it->second);
    }
  }

  void AddFound(const FoundCacheList& found) {
    for (const CacheFileRecord& row : found.rows()) {
      if (Interrupted()) return;
      AddCache(row.path, &row);
    }
  }

  void AddSource(const std::string& source) {
    struct stat st {};
    const bool folder = ::stat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (folder) {
      FoundCacheList found;
      const SearchOutcome outcome = SearchFolder(found, source, SourceSearch());
      if (!outcome.root_listed) {
        Fail("cannot list " + source + ": " + outcome.root_error.message);
        return;
      }
      if (outcome.unreadable_folders > 0 || !outcome.unreadable_indexes.empty()) {
        Fail("some folders or recycle-bin indexes below " + source + " could not be read");
      }
      AddFound(found);
    } else if (LooksLikeEvidenceImage(source)) {
      FoundCacheList found;
      const EvidenceSearchOutcome outcome = SearchEvidenceImage(found, source, SourceSearch());
      if (!outcome.opened) {
        Fail(outcome.error);
        return;
      }
      if (!outcome.complete()) Fail("the image " + source + " was not searched in full");
      AddFound(found);
    } else {
      AddCache(source, nullptr);
    }
  }

  std::vector<TimelineEvent>& events() { return events_; }
  bool complete() const { return complete_; }

 private:
  // How a folder or an image named as a source is searched for its caches.
  static SearchOptions SourceSearch() {
    SearchOptions options;
    options.date_time_format = DefaultDateTimeFormat();
    options.stop = InterruptStop();
    return options;
  }
  void Fail(const std::string& why) {
    complete_ = false;
    std::fprintf(stderr, "glintvane-cli timeline: %s\n", Printable(why).c_str());
  }

  CliCase& case_;
  OpenImages images_;  // the images whose caches are read, opened once
  std::vector<TimelineEvent> events_;
  bool complete_ = true;
};

int RunTimeline(const TimelineArgs& args) {
  const auto format = TimelineFormatNamed(args.format);
  if (!format) {
    std::fprintf(stderr, "glintvane-cli timeline: --format is bodyfile, csv or jsonl\n");
    return kExitUsage;
  }
  CliCase case_file;
  if (!args.case_file.empty() && !case_file.Open("timeline", args.case_file)) return kExitFailed;
  TimelineRun run(case_file);
  for (const std::string& source : args.sources) {
    if (Interrupted()) break;
    // The sources are named in the timeline by paths that still mean the
    // same files when it is read elsewhere.
    std::error_code error;
    const auto absolute = std::filesystem::absolute(source, error);
    run.AddSource(error || !std::filesystem::exists(source) ? source : absolute.string());
  }
  SortTimeline(run.events());
  const std::string text = BuildTimeline(*format, run.events());
  if (args.output.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
  } else {
    std::vector<FileId> inputs;
    for (const std::string& source : args.sources) {
      if (auto id = FileIdOf(source)) inputs.push_back(*id);
    }
    const WriteOutcome write =
        WriteBytesFile(args.output, {reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                       OutputMode::kReplace, inputs);
    if (!write.ok) {
      std::fprintf(stderr, "glintvane-cli timeline: cannot write %s: %s\n",
                   Printable(args.output).c_str(), Printable(write.detail).c_str());
      return kExitFailed;
    }
  }
  if (Interrupted()) {
    SayInterrupted("timeline", "after " + std::to_string(run.events().size()) +
                                   " events; the timeline holds those and is not complete");
    return kExitInterrupted;
  }
  return run.complete() ? kExitOk : kExitFailed;
}

}  // namespace

void AddTimelineCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand(
      "timeline",
      "Write every time found in and around thumbnail caches as a timeline: each cache file's "
      "file-system times, a recycled cache's deletion time and each thumbnail's own time, for "
      "mactime -b or a timeline viewer. Exit 0 when every source was read in full.");
  auto args = std::make_shared<TimelineArgs>();
  sub->add_option("SOURCE", args->sources,
                  "a cache, a cache inside a disk image as search names it, a folder searched "
                  "for caches, or a disk image searched for them")
      ->required();
  sub->add_option("--format", args->format,
                  "bodyfile (The Sleuth Kit's, for mactime -b; the default), csv (message, "
                  "datetime, timestamp_desc, ...) or jsonl")
      ->check(CLI::IsMember({"bodyfile", "csv", "jsonl"}));
  sub->add_option("-o,--output", args->output,
                  "write the timeline to this file (replaced) instead of standard output");
  sub->add_option("--case", args->case_file,
                  "add the tags and notes of this case file (or the case folder) to each "
                  "thumbnail's events");
  sub->callback([&exit_code, args] { exit_code = RunTimeline(*args); });
}

}  // namespace glintvane::cli
