// What the folder search and the disk-image search print alike: the progress
// line, the table and the JSON of one found cache.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "discover/found_caches.h"
#include "discover/search_folder.h"

namespace glintvane::cli {

// The folder count and the folder's name on one rewritten line of a
// terminal's standard error; nothing when standard error is not a terminal.
class TerminalFolderProgress final : public SearchProgressSink {
 public:
  TerminalFolderProgress();
  ~TerminalFolderProgress() override;
  void OnFolder(uint64_t folder_count, std::string_view name) override;

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_;
};

// The rows as a table, names shown escaped. The fourth column is the folder
// the cache was found in, or for rows of a disk image whether its entry is
// allocated.
void PrintFoundTable(const FoundCacheList& list, bool image_rows);

// One row's JSON. A folder search's recycled row gives its deletion time as
// "deleted"; a disk image's row gives "deleted" as whether its entry is
// unallocated, and the recycle bin's time as "deleted_time".
nlohmann::json FoundRowJson(const CacheFileRecord& row);

nlohmann::json TextOrNull(const std::string& text);

// The Windows Search databases a search met, as JSON ({"path", "deleted"}).
nlohmann::json SearchIndexesJson(const std::vector<FoundSearchIndex>& indexes);
// The same as lines after the table, each with the number of listed caches
// whose rows it names.
void PrintSearchIndexes(const std::vector<FoundSearchIndex>& indexes, const FoundCacheList& list);

}  // namespace glintvane::cli
