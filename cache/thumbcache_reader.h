// Reading a thumbcache_*.db (Windows Vista to 11) into the thumbnail list:
// one row per entry, keyed by the entry's hash, with the stored image bytes
// (BMP, PNG or JPEG) in the image store.
#pragma once

#include <string>

#include "base/byte_source.h"
#include "base/progress.h"
#include "cache/read_error.h"
#include "cache/thumbs_reader.h"

namespace glintvane {

// The index that lies beside a cache: "thumbcache_idx.db" in the same folder
// ("iconcache_idx.db" for an iconcache_*.db).
std::string ThumbcacheIndexPathFor(const std::string& cache_path);

// Reads the cache at `path`, and the index beside it when there is one (rows
// then tell whether the index still points at them). Same contract as
// ReadThumbnailCache, which hands such files here by their signature.
CacheReadResult ReadThumbcacheFile(const std::string& path, CacheReadTarget target,
                                   const CacheReadOptions& options = {});

// The same over bytes already open; `index` may be null (no index: `indexed`
// stays unknown). `path` is used for the texts only.
CacheReadResult ReadThumbcacheFile(ByteSource& source, const std::string& path,
                                   CacheReadTarget target, const CacheReadOptions& options = {},
                                   ByteSource* index = nullptr);

// The entries after the common File Details lines: appends rows, images and
// the cache's own details. Used by the readers above.
ReadResult<void> ReadThumbcacheEntries(ByteSource& source, const std::string& path,
                                       CacheReadTarget& target, CacheReadResult& result,
                                       ByteSource* index, ProgressMeter& meter);

// What the list tells about an entry of a thumbcache beyond its columns, one
// line each: whether the index still points at it, a header checksum that did
// not match, the stored data checksum. "" for rows of other caches.
std::string ThumbcacheRowNote(const ThumbnailRow& row);

// A thumbcache_idx.db opened by itself: one row per hash it holds, in file
// order, named by the caches that hold the entry ("in thumbcache_32.db, ...").
// It has no pictures of its own. The details give the version and the slots.
ReadResult<void> ReadThumbcacheIndexRows(ByteSource& source, CacheReadTarget& target,
                                         CacheReadResult& result);

}  // namespace glintvane
