// The folder-tree search for thumbnail caches: every Thumbs.db below a root,
// and every recycled one that a recycle-bin index names.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_source.h"
#include "base/file_time.h"
#include "discover/found_caches.h"

namespace glintvane {

// Told about every row the search appends, as it is appended, so a window
// can show rows while the walk goes on.
class FoundCacheSink {
 public:
  virtual ~FoundCacheSink() = default;
  // `row` is the record's index in the list.
  virtual void OnCacheFound(const CacheFileRecord& record, size_t row) = 0;
};

// Told about every folder the walk meets: the count so far and the folder's
// own name. Called once per folder, tens of thousands of times a second on a
// warm disk; a window repaints from here at most every 50 ms.
class SearchProgressSink {
 public:
  virtual ~SearchProgressSink() = default;
  virtual void OnFolder(uint64_t folder_count, std::string_view name) = 0;
};

struct SearchOptions {
  // strftime pattern for deletion times (the user's date and time formats).
  std::string date_time_format = "%Y-%m-%d %H:%M:%S";
  // The clock of the deletion times.
  TimeZoneChoice time_zone = TimeZoneChoice::kLocal;
  // Windows code page of the 8-bit paths in recycle-bin indexes (see
  // discover/code_page.h); their UTF-16 copies need none.
  int code_page = 1252;
  FoundCacheSink* rows = nullptr;
  SearchProgressSink* progress = nullptr;
  // Follow symbolic links, but only to folders and files inside the root.
  // Off: links are never followed (as "find -P"), since a link in evidence
  // may lead anywhere on the examiner's own machine.
  bool follow_links = false;
  std::stop_token stop;  // checked once per folder entry
  // A disk image only: also the Thumbs.db found by their bytes in the
  // unallocated space of its file systems, whose entries are gone.
  bool unallocated = false;
  // Disk images: the Volume Shadow Copy stores of each NTFS volume are
  // searched too.
  bool shadow_copies = true;
};

struct SearchOutcome {
  std::string root;                 // the root as walked: absolute, "/" between folders
  bool root_listed = false;         // false: the root itself could not be listed
  IoError root_error;               // why, when it could not
  uint64_t folders = 0;             // folders met below the root, counted before listing
  uint64_t unreadable_folders = 0;  // met but not listable (no access, vanished, broken link)
  uint64_t repeated_folders = 0;    // reached again through a link, not entered twice
  uint64_t links_not_followed = 0;  // links passed by (all of them, or those leading outside)
  size_t rows_added = 0;
  bool stopped = false;  // the stop token ended the walk; the rows so far stay
  std::vector<std::string> unreadable_indexes;  // index files that could not be opened
  std::vector<std::string> truncated_indexes;   // index files read only up to the record limit
  // Windows Search databases met (Windows.edb, Windows.db), in walk order.
  std::vector<FoundSearchIndex> search_indexes;
};

// Walks `folder` and everything below it, depth-first in the order the file
// system lists each folder, and appends a row to `list` for every Thumbs.db
// (any letter case), every recycled Thumbs.db an INFO2 index names, and every
// other recycled compound file named D<letter><number>.db in a recycle-bin
// folder. Every folder and file is opened relative to its folder's
// descriptor, so any depth and any path length is walked; the process's
// current folder is never changed. Symbolic links are passed by unless
// options.follow_links, and even then only those leading inside the root
// are followed; no folder is entered twice.
SearchOutcome SearchFolder(FoundCacheList& list, std::string_view folder,
                           const SearchOptions& options = {});

// Lists one Thumbs.db found at `path` (size and last-write time through an
// opened handle; both left empty when it cannot be opened). Returns true when
// a row was appended, false when the path was listed already.
bool AddCacheFile(FoundCacheList& list, const std::string& path, const SearchOptions& options = {},
                  SearchOutcome* outcome = nullptr);

// Appends `record` unless its path is listed, and tells the sink.
bool AddCacheFileRow(FoundCacheList& list, CacheFileRecord record, const SearchOptions& options,
                     SearchOutcome* outcome = nullptr);

// The root as the walk writes it: made absolute against the current folder,
// "." and ".." folded, no trailing "/" except for "/" itself.
std::string SearchRootPath(std::string_view folder);

// A file system time as the found-caches list shows it: local time as
// day.month.year hour:minute:second, no leading zeros, four-digit year
// ("9.3.2007 14:5:7"). "" when the time cannot be converted.
std::string FoundFileTimeText(int64_t unix_seconds);

// Size and last-write time of a file read through an opened handle, and
// whether it starts like a compound file. Opened without blocking, so a FIFO
// that happens to carry a cache's name cannot hang the search.
struct FileFacts {
  bool opened = false;
  bool link = false;  // not opened because it is a symbolic link
  int64_t size = 0;
  int64_t modified = 0;   // seconds since 1970 UTC
  bool compound = false;  // a regular file that starts with the compound-file signature
};
FileFacts ReadFileFacts(const std::string& path);
// The same for `name` in the folder open on `folder_fd`; a symbolic link is
// opened only when `follow_link` (facts.link tells when it was not).
FileFacts ReadFileFactsAt(int folder_fd, const char* name, bool follow_link);

}  // namespace glintvane
