// glintvane-cli search IMAGE: the caches of every file system in a disk image.
#include "cli/cli_evidence.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "base/file_time.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/found_rows.h"
#include "cli/json_writer.h"
#include "evidence/evidence_image.h"
#include "evidence/evidence_search.h"
#include "evidence/image_containers.h"

namespace glintvane::cli {
namespace {

// The stores walked in one partition, read or not.
nlohmann::json ShadowCopiesJson(const EvidenceVolumeReport& volume) {
  nlohmann::json stores = nlohmann::json::array();
  for (const ShadowCopyReport& s : volume.shadow_copies) {
    stores.push_back(
        {{"store", s.store.number},
         {"created_utc", TextOrNull(s.store.created_utc)},
         {"identifier", TextOrNull(s.store.identifier)},
         {"shadow_copy_id", TextOrNull(s.store.copy_identifier)},
         {"volume_size", s.store.volume_size},
         {"folders", s.folders},
         {"files", s.files},
         {"complete", s.walk_complete && s.unreadable_sectors == 0},
         {"unreadable_sectors", s.unreadable_sectors},
         {"error", TextOrNull(s.error)},
         {"error_code", s.error.empty() ? nlohmann::json() : nlohmann::json(s.error_code)}});
  }
  return stores;
}

void PrintJson(const FoundCacheList& list, const EvidenceSearchOutcome& outcome, double seconds,
               bool unallocated) {
  nlohmann::json rows = nlohmann::json::array();
  for (const CacheFileRecord& row : list.rows()) rows.push_back(FoundRowJson(row));
  nlohmann::json partitions = nlohmann::json::array();
  for (const EvidenceVolumeReport& v : outcome.volumes) {
    partitions.push_back(
        {{"partition", v.partition},
         {"offset", v.offset},
         {"length", v.length},
         {"description", v.description},
         {"file_system", TextOrNull(v.file_system)},
         {"error", TextOrNull(v.error)},
         {"folders", v.folders},
         {"files", v.files},
         {"duplicate_of", v.duplicate_of == 0 ? nlohmann::json() : nlohmann::json(v.duplicate_of)},
         {"overlaps", v.overlaps == 0 ? nlohmann::json() : nlohmann::json(v.overlaps)},
         {"past_end", TextOrNull(v.past_end)},
         {"shadow_copies", ShadowCopiesJson(v)},
         {"shadow_copies_error", TextOrNull(v.shadow_copies_error)}});
  }
  nlohmann::json doc = {{"root", outcome.image},
                        {"image", outcome.image},
                        {"format", outcome.format},
                        {"segments", outcome.segments},
                        {"size", outcome.size},
                        {"partitioned", outcome.partitioned},
                        {"partitions", std::move(partitions)},
                        {"folders", outcome.folders},
                        {"unreadable_folders", 0},
                        {"unreadable_sectors", outcome.unreadable_sectors},
                        {"deleted_rows", outcome.deleted_rows},
                        {"complete", outcome.complete()},
                        {"interrupted", outcome.stopped},
                        {"truncated", outcome.truncated()},
                        {"search_indexes", SearchIndexesJson(outcome.search_indexes)},
                        {"seconds", seconds},
                        {"rows", std::move(rows)}};
  if (unallocated) {
    doc["unallocated"] = true;
    doc["free_space_bytes"] = outcome.free_space_bytes;
    doc["free_space_rows"] = outcome.free_space_rows;
    doc["free_space_notes"] = outcome.free_space_notes;
  }
  PrintJsonDocument(doc);
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

// The partitions that repeat another's extent, one line per partition
// repeated, and the partitions that overlap another, up to a bound: a table
// of thousands of entries must not bury the rest of the messages.
void PrintExtentNotes(const EvidenceSearchOutcome& outcome) {
  // Overlaps named one by one before the rest are counted.
  constexpr size_t kOverlapsNamed = 20;
  std::map<int, std::vector<int>> repeats;  // partition -> the partitions with its extent
  size_t overlapping = 0;
  for (const EvidenceVolumeReport& v : outcome.volumes) {
    if (v.duplicate_of != 0) repeats[v.duplicate_of].push_back(v.partition);
    if (v.overlaps == 0) continue;
    if (++overlapping <= kOverlapsNamed) {
      std::fprintf(stderr, "glintvane-cli search: %s: partition %d overlaps partition %d\n",
                   Printable(outcome.image).c_str(), v.partition, v.overlaps);
    }
  }
  if (overlapping > kOverlapsNamed) {
    std::fprintf(stderr, "glintvane-cli search: %s: %zu more partitions overlap another\n",
                 Printable(outcome.image).c_str(), overlapping - kOverlapsNamed);
  }
  for (const auto& [first, others] : repeats) {
    // The first few and the last: "2, 3, 4, 5, ..., 2000".
    constexpr size_t kNamed = 4;
    std::string names;
    for (size_t i = 0; i < others.size(); ++i) {
      if (i >= kNamed && i + 1 < others.size()) {
        if (i == kNamed) names += ", ...";
        continue;
      }
      if (!names.empty()) names += ", ";
      names += std::to_string(others[i]);
    }
    std::fprintf(stderr,
                 "glintvane-cli search: %s: %zu %s (%s) the extent of partition %d; its file "
                 "system was read once\n",
                 Printable(outcome.image).c_str(), others.size(),
                 others.size() == 1 ? "partition repeats" : "partitions repeat", names.c_str(),
                 first);
  }
}

// The stores of one partition that could not be read, or lost sectors.
void SayShadowCopyFindings(const std::string& image, const EvidenceVolumeReport& v) {
  if (!v.shadow_copies_error.empty()) {
    std::fprintf(stderr, "glintvane-cli search: %s: partition %d: %s\n", Printable(image).c_str(),
                 v.partition, Printable(v.shadow_copies_error).c_str());
  }
  for (const ShadowCopyReport& s : v.shadow_copies) {
    if (!s.error.empty()) {
      std::fprintf(stderr, "glintvane-cli search: %s: partition %d: %s\n", Printable(image).c_str(),
                   v.partition, Printable(s.error).c_str());
    }
    if (s.unreadable_sectors > 0) {
      std::fprintf(stderr,
                   "glintvane-cli search: %s: partition %d: shadow-copy store %d (%s): %llu "
                   "sectors could not be read and were read as zeros\n",
                   Printable(image).c_str(), v.partition, s.store.number,
                   s.store.identifier.c_str(),
                   static_cast<unsigned long long>(s.unreadable_sectors));
    }
  }
}

// What the search found beside the caches, on standard error: volumes
// without a file system or past the image's end, shadow-copy stores not read,
// extents, unreadable indexes and sectors. True when any file system was recognised.
bool SayFindings(const EvidenceSearchOutcome& outcome) {
  bool any_file_system = false;
  for (const EvidenceVolumeReport& v : outcome.volumes) {
    if (!v.error.empty()) {
      std::fprintf(stderr, "glintvane-cli search: %s: %s\n", Printable(outcome.image).c_str(),
                   Printable(v.error).c_str());
    }
    if (!v.past_end.empty()) {
      std::fprintf(stderr, "glintvane-cli search: %s: %s\n", Printable(outcome.image).c_str(),
                   Printable(v.past_end).c_str());
    }
    SayShadowCopyFindings(outcome.image, v);
    any_file_system = any_file_system || !v.file_system.empty();
  }
  PrintExtentNotes(outcome);
  for (const std::string& note : outcome.notes) {
    std::fprintf(stderr, "glintvane-cli search: %s\n", Printable(note).c_str());
  }
  for (const std::string& note : outcome.free_space_notes) {
    std::fprintf(stderr, "glintvane-cli search: %s\n", Printable(note).c_str());
  }
  if (outcome.unreadable_sectors > 0) {
    std::fprintf(stderr,
                 "glintvane-cli search: %s: %llu unreadable sectors were read as zeros; the "
                 "search went on past them\n",
                 Printable(outcome.image).c_str(),
                 static_cast<unsigned long long>(outcome.unreadable_sectors));
  }
  return any_file_system;
}

}  // namespace

bool IsImageSearchRoot(const std::string& root) {
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
}

int RunImageSearch(const std::string& image, bool json, int code_page, bool unallocated,
                   bool shadow_copies) {
  FoundCacheList list;
  SearchOptions options;
  options.date_time_format = DefaultDateTimeFormat();
  options.code_page = code_page;
  options.unallocated = unallocated;
  options.shadow_copies = shadow_copies;
  const auto start = std::chrono::steady_clock::now();
  EvidenceSearchOutcome outcome;
  {
    TerminalFolderProgress progress;
    options.progress = &progress;
    options.stop = InterruptStop();
    outcome = SearchEvidenceImage(list, image, options);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (!outcome.opened) {
    std::fprintf(stderr, "glintvane-cli search: %s\n", Printable(outcome.error).c_str());
    if (json) PrintJsonFailure("root", image, outcome.error, kExitFailed, outcome.error_code);
    return kExitFailed;
  }
  const bool any_file_system = SayFindings(outcome);
  if (json) {
    PrintJson(list, outcome, std::chrono::duration<double>(elapsed).count(), unallocated);
  } else {
    PrintFoundTable(list, true);
    PrintSearchIndexes(outcome.search_indexes, list);
    const UiTexts& texts = CliTexts();
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    std::printf("%s: %s. %s: %zu (%zu deleted). %s: %lld %s. %s: %llu.\n", texts[kTextRoot].c_str(),
                Printable(outcome.image).c_str(), texts[kTextThumbsDbFiles].c_str(), list.size(),
                outcome.deleted_rows, texts[kTextTime].c_str(), static_cast<long long>(whole),
                texts[kTextSec].c_str(), texts[kTextFolders].c_str(),
                static_cast<unsigned long long>(outcome.folders));
  }
  if (outcome.stopped) {
    size_t walked = 0;
    for (const EvidenceVolumeReport& v : outcome.volumes) walked += v.walk_complete ? 1 : 0;
    SayInterrupted("search", "after " + std::to_string(outcome.folders) + " folders; " +
                                 std::to_string(walked) + " of " +
                                 std::to_string(outcome.volumes.size()) +
                                 " volumes walked to their end, " + std::to_string(list.size()) +
                                 " caches listed");
  }
  // Sectors lost, a volume cut short, a shadow-copy store not read or no
  // file system at all: the image was not read in full.
  return any_file_system && outcome.unreadable_sectors == 0 && !outcome.truncated() &&
                 !outcome.shadow_copies_incomplete()
             ? kExitOk
             : kExitFailed;
}

bool IsImageNotPlainBytes(const std::string& path) {
  if (!IsImageSearchRoot(path)) return false;
  if (ContainerFormatOf(path) != ImageFormat::kRaw) return true;
  return RawSegmentPaths(path).size() > 1;
}

void HintAtImage(const std::string& path) {
  if (!LooksLikeEvidenceImage(path)) return;
  std::fprintf(stderr,
               "glintvane-cli: %s is a disk image; \"glintvane-cli search %s\" lists the caches "
               "in it\n",
               Printable(path).c_str(), Printable(path).c_str());
}

DfxmlRun ThisRun(const std::string& kind, const std::string& source) {
  DfxmlRun run;
  run.version = GLINTVANE_VERSION;
  run.command_line = CommandLine();
  run.start_time = UtcNow();
  run.kind = kind;
  run.source = source;
  return run;
}

bool WriteDfxmlFile(const std::string& path, const std::string& input, const DfxmlRun& run,
                    const std::vector<DfxmlFileObject>& objects) {
  std::error_code ec;
  if (!input.empty() && std::filesystem::equivalent(path, input, ec)) {
    std::fprintf(stderr, "glintvane-cli: %s is the input; the DFXML record is not written\n",
                 Printable(path).c_str());
    return false;
  }
  DfxmlRun ended = run;
  if (ended.end_time.empty()) ended.end_time = UtcNow();
  const std::string text = BuildDfxml(ended, objects);
  // A fresh file beside the target, renamed over it when complete: a reader
  // never sees half a record, and a link of the target's name is replaced,
  // not followed.
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    std::fprintf(stderr, "glintvane-cli: cannot write %s: %s\n", Printable(path).c_str(),
                 std::strerror(errno));
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  if (done != text.size() || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "glintvane-cli: cannot write %s: %s\n", Printable(path).c_str(),
                 std::strerror(errno));
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace glintvane::cli
