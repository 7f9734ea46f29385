// A cache opened once for reading: its bytes and what lies beside it and
// changes how it reads. Whoever opens a cache (a file on disk here, a file
// inside a disk image in evidence/) asks OpenNeighbours what to open beside
// it, so that rule lives in one place whatever the folder is.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "base/byte_source.h"
#include "cache/read_error.h"

namespace glintvane {

// What a read takes from beside the cache; each is null when it is not there.
struct CacheNeighbours {
  // thumbcache_idx.db (iconcache_idx.db) beside a thumbcache_*.db: whether
  // the index still points at each entry.
  ByteSource* thumbcache_index = nullptr;
};

// The Windows Search index opened for a thumbcache: the database and a
// Windows.db's -wal and -shm (each null when it is not there).
struct SearchIndexFiles {
  std::string where;  // the database's location as text (FormatEvidenceLocation)
  std::unique_ptr<ByteSource> database;
  std::unique_ptr<ByteSource> wal;
  std::unique_ptr<ByteSource> shm;
};

// How a cache is opened: which Windows Search index names a thumbcache's rows.
struct CacheOpenOptions {
  // A search index chosen by hand: a Windows.db or Windows.edb on this
  // machine, or the folder holding one. Empty: the one the Windows layout
  // puts beside the cache (SearchIndexFolderFor), if any.
  std::string search_index;
  bool use_search_index = true;  // false: none is looked for
};

struct OpenedCache {
  std::unique_ptr<ByteSource> bytes;
  // Owned here, lent to the read through neighbours().
  std::unique_ptr<ByteSource> thumbcache_index;
  // A thumbcache's search index; the database is null when none was found.
  SearchIndexFiles search_index;
  // Where the index was looked for: the file or folder chosen, or the
  // layout's folder; "" when none was looked for.
  std::string search_index_sought;
  bool search_index_chosen = false;  // chosen by hand, not found by the layout

  CacheNeighbours neighbours() const { return {thumbcache_index.get()}; }
};

// A file opened beside a cache, and its location as text.
struct OpenedBeside {
  std::unique_ptr<ByteSource> bytes;
  std::string where;
};

// Opens the file at `path`, a path as the cache's own is written (on disk,
// or inside the cache's file system from "/"); no bytes when there is none
// or it cannot be opened: a neighbour is never required.
using OpenBeside = std::function<OpenedBeside(const std::string& path)>;

// Opens into `cache` what its first bytes call for from beside it, through
// `open_beside`. `path` names the cache (its file part picks the index's
// name, its folder the search index's place). A search index chosen in
// `options` is a file on this machine, opened directly.
void OpenNeighbours(OpenedCache& cache, const std::string& path, const OpenBeside& open_beside,
                    const CacheOpenOptions& options = {});

// The search index's folder for a cache is SearchIndexFolderFor
// (base/windows_path.h).

// The search index in `folder` (ending in "/"): Windows.db with its -wal and
// -shm, else Windows.edb. Windows 11 keeps Windows.db; a system upgraded
// from Windows 10 may keep the old Windows.edb beside it, no longer written.
SearchIndexFiles OpenSearchIndexIn(const std::string& folder, const OpenBeside& open);

// The cache file at `path` on disk and what lies beside it.
// The error is the one a read of a file that cannot be opened reports.
tl::expected<OpenedCache, ReadError> OpenCacheFile(const std::string& path,
                                                   const CacheOpenOptions& options = {});

}  // namespace glintvane
