// Reading a thumbcache_*.db (Windows Vista to 11) into the thumbnail list:
// one row per entry, keyed by the entry's hash, with the stored image bytes
// (BMP, PNG or JPEG) in the image store.
#pragma once

#include <string>
#include <string_view>

#include "base/byte_source.h"
#include "base/progress.h"
#include "cache/read_error.h"
#include "cache/thumbs_reader.h"

namespace glintvane {

// The index that lies beside a cache: "thumbcache_idx.db" in the same folder
// ("iconcache_idx.db" for an iconcache_*.db).
std::string ThumbcacheIndexPathFor(const std::string& cache_path);

// The entries after the common File Details lines: appends rows, images and
// the cache's own details; ReadThumbnailCache hands such files here by their
// signature, with the index beside them when there is one (rows then tell
// whether the index still points at them; `index` null: unknown). Damaged entries cost
// their own rows only: their errors are recorded as they are met (then
// `recorded` is set) and the first of them is the result.
ReadResult<void> ReadThumbcacheEntries(ByteSource& source, const std::string& path,
                                       CacheReadTarget& target, CacheReadResult& result,
                                       ByteSource* index, ProgressMeter& meter, bool& recorded);

// The data checksum of an entry is stored but cannot be checked: no CRC-64
// (any polynomial, either bit order, any start and end value) over the data,
// the identifier with the data, or their word-wise forms reproduces it on
// the 1,143 entries with data of the real caches we have, though it depends
// on the data alone (equal data, equal checksum). Said wherever the checksum
// is shown.
inline constexpr std::string_view kThumbcacheDataNotVerified =
    "not verified (the algorithm of the data checksum is not known)";

// What the list tells about an entry of a thumbcache beyond its columns, one
// line each: recovered or damaged, whether the index still points at it, a
// header checksum that did not match, the stored data checksum (not
// verified). "" for rows of other caches.
std::string ThumbcacheRowNote(const ThumbnailRow& row);

// A thumbcache_idx.db opened by itself: one row per hash it holds, in file
// order, named by the caches that hold the entry ("in thumbcache_32.db, ...").
// It has no pictures of its own. The details give the version and the slots.
ReadResult<void> ReadThumbcacheIndexRows(ByteSource& source, CacheReadTarget& target,
                                         CacheReadResult& result);

}  // namespace glintvane
