// The recycle bin of Windows Vista and later: every deleted item is a pair in
// $Recycle.Bin\<SID>\, a $I record (size, deletion time, original path) and
// the $R file or folder with the same name that holds the item itself. And
// the thumbnail caches of those Windows (thumbcache_*.db) as the folder
// search meets them.
//
// The decisions are kept apart from the local file system, so that any walk
// (a folder tree here, a disk image elsewhere) can make them: classify the
// name with ClassifyVistaEntry, read the $I bytes with ParseRecycleInfo,
// check the $R's first bytes with IsRecycledCache, build the row with
// RecycledCacheRecord.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/windows_path.h"
#include "discover/found_caches.h"

namespace glintvane {

struct SearchOptions;
struct SearchOutcome;

// A $I file holds at most its 28-byte header and the longest Windows path
// with its terminator; anything longer is not a $I record.
inline constexpr uint64_t kRecycleInfoMaxBytes = 28 + 2 * (kWindowsMaxLongPath + 1);

// One $I record. Version 1 (Vista to 8.1) is 544 bytes with the path in a
// 520-byte field; Vista also wrote a 543-byte form whose size has 7 bytes and
// whose later fields sit one byte earlier. Version 2 (Windows 10 and later)
// gives the path's character count, terminator included, at 24.
struct RecycleInfo {
  uint64_t version = 0;
  uint64_t size = 0;          // the item's size (a folder's: its whole content)
  uint64_t deleted = 0;       // FILETIME (UTC) of the deletion
  std::string original;       // the item's full Windows path, UTF-8
  bool path_complete = true;  // false: the file ends before the path does
  bool text_ok = true;        // false: the path held a lone surrogate (shown as U+FFFD)
};

// Decodes a $I file's bytes; nullopt when they are no $I record (too short,
// a version other than 1 or 2, no path).
std::optional<RecycleInfo> ParseRecycleInfo(std::span<const uint8_t> bytes);

// What a file met by a walk is to the search.
enum class VistaEntryRole : uint8_t {
  kNone,
  kThumbcache,   // thumbcache_<anything>.db, any letter case, but not the index
  kRecycleInfo,  // $I<anything> inside a $Recycle.Bin folder
};

// `folder` is the path of the folder holding `name` (any separators).
VistaEntryRole ClassifyVistaEntry(std::string_view folder, std::string_view name);

// thumbcache_*.db except thumbcache_idx.db, any letter case.
bool IsThumbcacheName(std::string_view file_part);
// Thumbs.db or thumbcache_*.db: the names of recycled items worth a row.
bool IsCacheItemName(std::string_view file_part);
// True when some folder of the path is "$Recycle.Bin" (any letter case).
bool IsVistaRecycleBinPath(std::string_view path);
// The $R name for a $I name ("$IAB12CD.db" -> "$RAB12CD.db").
std::string RecycledItemName(std::string_view info_name);

// True when the first bytes of a file are a cache: a compound file (Thumbs.db)
// or "CMMM" (thumbcache_*.db).
bool LooksLikeCacheFile(std::span<const uint8_t> head);

// Whether a $I record names a recycled cache: its original path ends in
// Thumbs.db or thumbcache_*.db and its $R starts like a cache.
bool IsRecycledCache(const RecycleInfo& info, std::span<const uint8_t> recycled_head);

// The found-caches row of a recycled cache: the $R at `recycled_path` (a local
// path), named by its original path, with the deletion time as for INFO2.
// `size` and `written` (the $R's size and last-write text) may be empty.
CacheFileRecord RecycledCacheRecord(const RecycleInfo& info, const std::string& recycled_path,
                                    std::optional<int64_t> size, const std::string& written,
                                    const std::string& date_time_format);

// Where a path lies inside a recycled folder: the $R folder's path and the
// path below it ("/" separators), or nullopt when no folder of the path is a
// $R folder directly inside $Recycle.Bin\<SID>.
struct RecycledFolderPlace {
  std::string recycled_folder;  // .../$Recycle.Bin/<SID>/$Rxxxxxx
  std::string relative;         // the rest, e.g. "Photos/Thumbs.db"
};
std::optional<RecycledFolderPlace> FindRecycledFolder(std::string_view path);

// The local file system's side: called by the folder walk for every regular
// file. Lists the entry when it is a thumbcache_*.db, a $I record of a
// recycled cache (its $R as the path), or a cache inside a recycled folder
// (named by the folder's original path and its own relative path). Returns
// true when the entry was one of these and is dealt with; false leaves it to
// the walk's other rules. `at` may be the descriptor of the folder holding the
// file (the file and its $R are then opened relative to it), or -100
// (AT_FDCWD) to go by the full path. Final links are never followed.
bool ListVistaEntry(FoundCacheList& list, const std::string& path, const SearchOptions& options,
                    SearchOutcome* outcome, int at = -100);

}  // namespace glintvane
