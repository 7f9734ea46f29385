// Which files a search lists, decided by the file's name and its folder
// alone: one rule for the walk of a folder tree and the walk of a file
// system inside a disk image, so both list the same files.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace glintvane {

enum class FoundFileKind : uint8_t {
  kNone,
  kThumbsDb,       // Thumbs.db, any letter case (Windows 98 to XP, and later on shares)
  kThumbcache,     // thumbcache_*.db, not the index thumbcache_idx.db (Vista and later)
  kRecycleIndex,   // INFO2 in a RECYCLED / RECYCLER folder
  kRecycledCache,  // D<letter><n>.db in such a folder: a recycled Thumbs.db
  kRecycleInfo,    // $I... in a $Recycle.Bin folder: the record of one deletion
  kRecycledData,   // $R... in a $Recycle.Bin folder: the deleted file itself
  kSearchIndex,    // Windows.edb or Windows.db in any folder: a Windows Search index
};

// False for a name that no rule lists in any folder. Called for every file a
// search meets: the first letter settles almost all of them before any text
// (the file's path, a copy in capitals) is made.
bool MayBeFoundFileName(std::string_view name);

// `folder` is the path of the folder holding the file ("/" between folders,
// any root); `name` the file's own name.
FoundFileKind ClassifyFoundFile(std::string_view folder, std::string_view name);

// True when the bytes start like a cache that can be read: a compound file
// (Thumbs.db) or a thumbcache file ("CMMM").
bool StartsLikeCache(std::span<const uint8_t> head);

}  // namespace glintvane
