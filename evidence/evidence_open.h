// Opening what a location names, once: the cache's bytes, from a folder or
// from inside a disk image, with what lies beside it (see cache_file.h). The
// one call the command line and the window make where they read a cache.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tl/expected.hpp>

#include "base/evidence_location.h"
#include "cache/cache_file.h"
#include "cache/thumbs_reader.h"
#include "evidence/evidence_image.h"
#include "searchindex/search_index.h"

namespace glintvane {

// The disk images a window or a command holds open, by path, so that the
// caches an image's search listed open without reading its partition table
// and opening its file systems again; and the search indexes read for their
// thumbcaches, so that each is read once. Owned by whoever shows the rows;
// safe to share between the worker and the thread that owns it.
class OpenImages {
 public:
  HeldSearchIndexes& search_indexes() { return search_indexes_; }

  // The image at `path`: the one held, or opened now and held (see
  // EvidenceImage::Open for the error).
  ReadResult<std::shared_ptr<EvidenceImage>> Get(const std::string& path);
  void Clear();
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::shared_ptr<EvidenceImage>>> images_;  // oldest first
  HeldSearchIndexes search_indexes_;
};

// An image held this many times over is let go, the one used longest ago
// first: a window shows one image's rows at a time, and each image held keeps
// its file systems' tables in memory.
inline constexpr size_t kMaxOpenImages = 4;

// The cache at `where` and what lies beside it (see OpenNeighbours): a file
// on disk, or a file inside a disk image taken from `images`, whose search
// index is looked for in the same file system.
tl::expected<OpenedCache, ReadError> OpenEvidence(const EvidenceLocation& where, OpenImages& images,
                                                  const CacheOpenOptions& options = {});

// Reads the cache at `where`, opened once by OpenEvidence; named in the texts
// by its text form. Sectors of the image that read as zeros meanwhile are
// said in a warning. A thumbcache's rows are named by its search index (read
// once into images.search_indexes()): the result says how, File Details say
// which index and how many rows it named, and an index that is missing,
// unreadable or read in part is a warning, never a failed read.
CacheReadResult ReadCacheAt(const EvidenceLocation& where, OpenImages& images,
                            CacheReadTarget target, const CacheReadOptions& options = {});

// The location that a path typed by a person or given on a command line
// names: ParseEvidenceLocation asking the file system.
EvidenceLocation EvidenceLocationOfText(std::string_view text);

}  // namespace glintvane
