// Caches found by their bytes where no file system names them: the free
// space of a disk, a swap or hibernation file, a disk read as it lies. A
// Thumbs.db is found by its compound-file header at a sector boundary and
// read from there as a file of its own; the entries of a thumbcache_*.db are
// found one by one, by their "CMMM" signature and their header checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "base/byte_source.h"
#include "cache/cut_short.h"
#include "cache/thumbnail_list.h"

namespace glintvane {

// A file system starts a file at a multiple of this (a cluster is a whole
// number of sectors), and it is the compound file's own sector size: headers
// are looked for here only.
inline constexpr uint64_t kCompoundHeaderAlignment = 512;

// Bytes of a header that LooksLikeCompoundHeader judges: up to its FAT list.
inline constexpr size_t kCompoundHeaderCheckBytes = 76;

// The signature and the fields every Thumbs.db has as Windows writes it:
// version 3 (512-byte sectors), 64-byte mini sectors, little-endian byte
// order mark, a FAT. `head` holds kCompoundHeaderCheckBytes or more.
bool LooksLikeCompoundHeader(std::span<const uint8_t> head);

// Directory sectors a probe reads looking for the Catalog: four times as
// many entries as the deepest Catalog of the real caches we have (slot 64),
// and few enough that a header on every sector of a crafted file costs a
// bounded look each.
inline constexpr uint32_t kMaxProbeDirectorySectors = 64;

// A Thumbs.db found at an offset.
struct RawThumbsDb {
  uint64_t offset = 0;  // where its header lies in the bytes scanned
  // The bytes read as the file: from the header to the end of the run or
  // file it lies in, and no further than its FAT can describe.
  uint64_t window = 0;
  // How far its structures reach and, when they run past the window, what
  // lies past it (the reasons of a cache cut short).
  CutShort measure;
  bool complete() const { return measure.Whole(); }
  // The bytes it takes: to the end of its structures, inside the window.
  uint64_t length() const;
};

// The end of the run or file that the byte at an offset lies in: a
// compound file found there is read no further.
using RunEnd = std::function<uint64_t(uint64_t offset)>;

// Reads the compound-file headers at `headers` (increasing offsets into
// `source`, each passed by LooksLikeCompoundHeader) and keeps those whose
// directory holds a Catalog stream. Each header costs one probe bounded by
// kMaxProbeDirectorySectors (a lying FAT or directory is checked against the
// window, never followed out of it); a header inside a cache found before it
// is not looked at. `run_end` null: the source's end.
std::vector<RawThumbsDb> FindRawThumbsDbs(ByteSource& source, std::span<const uint64_t> headers,
                                          const RunEnd& run_end, const std::stop_token& stop = {});

// The window a compound file at `offset` of `source` is read from, its
// header's FAT count read again: what FindRawThumbsDbs used, for opening the
// cache it found. 0 when no header is there.
uint64_t CompoundFileWindow(ByteSource& source, uint64_t offset, uint64_t run_end);

// Thumbcache entries one scan lists. Each becomes a full row (about 400
// bytes with its texts), where a carved picture's row takes 32: a million
// is far more than the free space of any disk holds, and stays under half
// a gigabyte.
inline constexpr size_t kMaxRawThumbcacheEntries = 1000000;

// A thumbcache entry header found in raw space: its offset and the format
// version whose layout its header checksum holds in.
struct RawThumbcacheEntry {
  uint64_t offset = 0;
  uint32_t version = 0;
};

// The version of the entry whose header starts `head` (at `offset` of a
// source of `size` bytes) when its checksum holds in one of the layouts
// (Vista, 7, 8 and later) and its sizes fit; nullopt otherwise. `head` holds
// what is there of the header (a short one fails).
std::optional<uint32_t> RawThumbcacheEntryVersion(std::span<const uint8_t> head, uint64_t offset,
                                                  uint64_t size);

// Appends a row for each entry (in the order given): key the hash, name the
// identifier, the picture at its place in `source`, which the list knows as
// `source_index`; carved, thumbcache and recovered. Entries may lie one in
// another: each byte gives at most one name or picture, as in a cache's free
// space. Returns the rows appended, at most `row_limit`.
size_t AppendRawThumbcacheRows(ByteSource& source, uint32_t source_index,
                               std::span<const RawThumbcacheEntry> entries, ThumbnailList& list,
                               size_t row_limit);

}  // namespace glintvane
