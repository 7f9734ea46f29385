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

namespace glintvane {

// The disk images a window or a command holds open, by path, so that the
// caches an image's search listed open without reading its partition table
// and opening its file systems again. Owned by whoever shows the rows; safe
// to share between the worker and the thread that owns it.
class OpenImages {
 public:
  // The image at `path`: the one held, or opened now and held (see
  // EvidenceImage::Open for the error).
  ReadResult<std::shared_ptr<EvidenceImage>> Get(const std::string& path);
  void Clear();
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::shared_ptr<EvidenceImage>>> images_;  // oldest first
};

// An image held this many times over is let go, the one used longest ago
// first: a window shows one image's rows at a time, and each image held keeps
// its file systems' tables in memory.
inline constexpr size_t kMaxOpenImages = 4;

// The cache at `where` and what lies beside it in its folder: a file on
// disk, or a file inside a disk image taken from `images`.
tl::expected<OpenedCache, ReadError> OpenEvidence(const EvidenceLocation& where,
                                                  OpenImages& images);

// Reads the cache at `where`, opened once by OpenEvidence; named in the texts
// by its text form. Sectors of the image that read as zeros meanwhile are
// said in a warning.
CacheReadResult ReadCacheAt(const EvidenceLocation& where, OpenImages& images,
                            CacheReadTarget target, const CacheReadOptions& options = {});

// The location that a path typed by a person or given on a command line
// names: ParseEvidenceLocation asking the file system.
EvidenceLocation EvidenceLocationOfText(std::string_view text);

}  // namespace glintvane
