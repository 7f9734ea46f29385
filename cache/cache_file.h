// A cache opened once for reading: its bytes and what lies beside it in its
// folder and changes how it reads. Whoever opens a cache (a file on disk
// here, a file inside a disk image in evidence/) asks OpenNeighbours what to
// open beside it, so that rule lives in one place whatever the folder is.
#pragma once

#include <functional>
#include <memory>
#include <string>

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

struct OpenedCache {
  std::unique_ptr<ByteSource> bytes;
  // Owned here, lent to the read through neighbours(). The Windows Search
  // index of the same profile is the next to join them.
  std::unique_ptr<ByteSource> thumbcache_index;

  CacheNeighbours neighbours() const { return {thumbcache_index.get()}; }
};

// Opens the file called `name` in the cache's own folder; null when there is
// none (or it cannot be opened: a neighbour is never required).
using OpenBeside = std::function<std::unique_ptr<ByteSource>(const std::string& name)>;

// Opens into `cache` what its first bytes call for from beside it, through
// `open_beside`. `path` names the cache (its file part picks the index's name).
void OpenNeighbours(OpenedCache& cache, const std::string& path, const OpenBeside& open_beside);

// The cache file at `path` on disk and what lies beside it in its folder.
// The error is the one a read of a file that cannot be opened reports.
tl::expected<OpenedCache, ReadError> OpenCacheFile(const std::string& path);

}  // namespace glintvane
