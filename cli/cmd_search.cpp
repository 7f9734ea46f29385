// glintvane-cli search ROOT [--json] [--follow-links]: every thumbnail cache below a folder,
// recycled ones included.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/file_time.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "cli/found_rows.h"
#include "cli/json_writer.h"
#include "discover/code_page.h"
#include "discover/recycle_bin.h"
#include "discover/search_folder.h"

namespace glintvane::cli {
namespace {

// Like find: a folder or index that could not be read leaves the search
// incomplete, and so does Ctrl-C.
bool Complete(const SearchOutcome& outcome) {
  return !outcome.stopped && outcome.unreadable_folders == 0 && outcome.unreadable_indexes.empty();
}

void PrintJson(const FoundCacheList& list, const SearchOutcome& outcome, double seconds) {
  nlohmann::json rows = nlohmann::json::array();
  for (const CacheFileRecord& row : list.rows()) rows.push_back(FoundRowJson(row));
  nlohmann::json doc = {{"root", outcome.root},
                        {"folders", outcome.folders},
                        {"unreadable_folders", outcome.unreadable_folders},
                        {"repeated_folders", outcome.repeated_folders},
                        {"links_not_followed", outcome.links_not_followed},
                        {"unreadable_indexes", outcome.unreadable_indexes},
                        {"complete", Complete(outcome)},
                        {"interrupted", outcome.stopped},
                        {"seconds", seconds},
                        {"search_indexes", SearchIndexesJson(outcome.search_indexes)},
                        {"rows", std::move(rows)}};
  if (!IsUtf8(outcome.root)) doc["root_hex"] = HexOf(outcome.root);
  PrintJsonDocument(doc);
}

// "Root: /x. Thumbs.db files: 4. Time: 2 sec." as the window shows it.
std::string SearchSummary(const SearchOutcome& outcome, size_t rows, int64_t whole_seconds) {
  const UiTexts& texts = CliTexts();
  return texts[kTextRoot] + ": " + Printable(outcome.root) + ". " + texts[kTextThumbsDbFiles] +
         ": " + std::to_string(rows) + ". " + texts[kTextTime] + ": " +
         std::to_string(whole_seconds) + " " + texts[kTextSec] + ".";
}

int RunSearch(const std::string& root, bool json, bool follow_links, int code_page,
              bool unallocated, bool shadow_copies) {
  if (IsImageSearchRoot(root)) {
    return RunImageSearch(root, json, code_page, unallocated, shadow_copies);
  }
  FoundCacheList list;
  SearchOptions options;
  options.date_time_format = DefaultDateTimeFormat();
  options.follow_links = follow_links;
  options.code_page = code_page;
  const auto start = std::chrono::steady_clock::now();
  SearchOutcome outcome;
  {
    TerminalFolderProgress progress;
    options.progress = &progress;
    options.stop = InterruptStop();
    outcome = SearchFolder(list, root, options);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const double seconds = std::chrono::duration<double>(elapsed).count();
  if (!outcome.root_listed) {
    std::fprintf(stderr, "glintvane-cli search: cannot list %s: %s\n",
                 Printable(outcome.root).c_str(), outcome.root_error.message.c_str());
    if (json) {
      PrintJsonFailure("root", outcome.root,
                       "cannot list " + outcome.root + ": " + outcome.root_error.message,
                       kExitFailed);
    }
    return kExitFailed;
  }
  for (const std::string& index : outcome.unreadable_indexes) {
    std::fprintf(stderr, "%s: %s\n", CliTexts()[kTextRecycleBinOpenError].c_str(),
                 Printable(index).c_str());
  }
  for (const std::string& index : outcome.truncated_indexes) {
    std::fprintf(stderr, "%s: read up to its first %zu records only; no real index has more\n",
                 Printable(index).c_str(), kIndexMaxRecords);
  }
  if (json) {
    PrintJson(list, outcome, seconds);
  } else {
    PrintFoundTable(list, false);
    PrintSearchIndexes(outcome.search_indexes, list);
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    std::printf("%s %s: %llu. Unreadable folders: %llu.\n",
                SearchSummary(outcome, list.size(), whole).c_str(),
                CliTexts()[kTextFolders].c_str(), static_cast<unsigned long long>(outcome.folders),
                static_cast<unsigned long long>(outcome.unreadable_folders));
  }
  if (outcome.stopped) {
    SayInterrupted("search", "after " + std::to_string(outcome.folders) + " folders; " +
                                 std::to_string(list.size()) + " caches listed");
  }
  // A stopped search exits 130 whatever is returned here.
  return outcome.unreadable_folders == 0 && outcome.unreadable_indexes.empty() ? kExitOk
                                                                               : kExitFailed;
}

}  // namespace

void AddSearchCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand(
      "search",
      "List every Thumbs.db and thumbcache_*.db below a folder, recycled ones included; given a "
      "disk image (raw, split raw, E01, VMDK, VHD, VHDX, QCOW2, AFF), every one in its file "
      "systems and their shadow copies, deleted ones included");
  auto root = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto follow = std::make_shared<bool>(false);
  auto no_shadow_copies = std::make_shared<bool>(false);
  sub->add_option("ROOT", *root, "The folder to search, or a disk image")->required();
  auto code_page = std::make_shared<int>(kDefaultCodePage);
  sub->add_flag("--json", *json, "Write the rows as JSON");
  auto unallocated = std::make_shared<bool>(false);
  sub->add_flag(
      "--unallocated", *unallocated,
      "ROOT is a disk image: also find the Thumbs.db whose entries are gone, by their "
      "headers in the unallocated space of its file systems (IMAGE#p<n>:o<offset>:Thumbs.db)");
  sub->add_flag("--follow-links", *follow,
                "Follow symbolic links that lead to folders and files inside ROOT (without it, "
                "links are never followed)");
  sub->add_flag("--no-shadow-copies", *no_shadow_copies,
                "In a disk image, search the NTFS volumes as they are and not their Volume "
                "Shadow Copy stores");
  sub->add_option("--codepage", *code_page,
                  "Windows code page of the 8-bit paths in 280-byte recycle-bin records "
                  "(874, 932, 936, 949, 950, 1250-1258; default 1252)")
      ->check([](const std::string& text) -> std::string {
        try {
          return IsSupportedCodePage(std::stoi(text)) ? "" : "unsupported code page " + text;
        } catch (const std::exception&) {
          return "not a code page number: " + text;
        }
      });
  sub->callback([&exit_code, root, json, follow, code_page, unallocated, no_shadow_copies] {
    exit_code = RunSearch(*root, *json, *follow, *code_page, *unallocated, !*no_shadow_copies);
  });
}

}  // namespace glintvane::cli
