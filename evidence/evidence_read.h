// Reading a cache named by a path that may point into a disk image: the one
// call the command line and the window make where they used to read a file.
#pragma once

#include <string>

#include "cache/thumbs_reader.h"

namespace glintvane {

// Reads the cache at `path`: a file on disk, or a file inside a disk image
// named as an image's search names it (see FormatEvidencePath).
CacheReadResult ReadCacheAtPath(const std::string& path, CacheReadTarget target,
                                const CacheReadOptions& options = {});

}  // namespace glintvane
