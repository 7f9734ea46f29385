// A cache's own times for the timeline, wherever it lies: a file on disk
// (its file system's times through statx) or a file inside a disk image
// (the times The Sleuth Kit reads from the image's file system, deleted
// entries included).
#pragma once

#include <string>

#include "discover/found_caches.h"
#include "export/timeline.h"

namespace glintvane {

// The cache at `path` (a file, or a file inside a disk image as an image's
// search names it); `found` adds what the search knew (a recycled cache's
// original name and deletion time). `error` is set when the file's times
// could not be read; the rest is filled as far as it goes.
TimelineCache TimelineCacheAt(const std::string& path, const CacheFileRecord* found = nullptr,
                              std::string* error = nullptr);

}  // namespace glintvane
