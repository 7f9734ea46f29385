// The thumbnail caches of Windows Vista to 11: thumbcache_*.db files (and
// iconcache_*.db, which share the layout) and the thumbcache_idx.db index
// that points into them. Plain records and readers over a ByteSource; the
// rows of the thumbnail list are made in thumbcache_reader.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/byte_source.h"
#include "base/windows_path.h"
#include "cache/read_error.h"

namespace glintvane {

// Format versions (the u32 at offset 4 of a cache or 8 of a later index).
inline constexpr uint32_t kThumbcacheVista = 0x14;
inline constexpr uint32_t kThumbcacheWin7 = 0x15;
inline constexpr uint32_t kThumbcacheWin81 = 0x1F;
inline constexpr uint32_t kThumbcacheWin10 = 0x20;

// Every cache starts with its 24-byte header; an empty cache is only that.
inline constexpr uint64_t kThumbcacheHeaderSize = 24;

// True when the bytes start with "CMMM" (a cache) or carry "IMMM" at offset 0
// or 4 (an index).
bool LooksLikeThumbcache(std::span<const uint8_t> head);
bool LooksLikeThumbcacheIndex(std::span<const uint8_t> head);

struct ThumbcacheHeader {
  uint32_t version = 0;
  uint32_t cache_type = 0;
  uint64_t first_entry = 0;
  uint64_t first_free = 0;
  uint32_t entry_count = 0;  // Vista and 7 only, and not always right there
  bool has_entry_count = false;
};

// "Windows 7", "Windows 10/11", ... ; "" for a version no Windows wrote.
std::string ThumbcacheVersionName(uint32_t version);
// The size the cache type stands for in that version ("32", "sr", "exif"...),
// or "" when the type is not one Windows used.
std::string ThumbcacheTypeName(uint32_t version, uint32_t cache_type);

// Reads and checks the 24-byte header: the signature, a version Windows wrote
// and a first entry inside the file.
ReadResult<ThumbcacheHeader> ReadThumbcacheHeader(ByteSource& source);

// One entry's header, as far as the version has the fields.
struct ThumbcacheEntry {
  uint64_t offset = 0;  // where the entry starts in the file
  uint64_t size = 0;    // the entry size field: the step to the next entry
  uint64_t hash = 0;
  std::string extension;  // Vista only: the 4 UTF-16 characters at 16
  uint32_t identifier_size = 0;
  uint32_t padding_size = 0;
  uint32_t data_size = 0;
  uint32_t width = 0;  // Windows 8 and later only
  uint32_t height = 0;
  uint64_t data_checksum = 0;  // as stored; its algorithm is not known
  uint64_t header_checksum = 0;
  bool checksum_ok = false;  // header_checksum matches the CRC-64 of the fields before it
  uint64_t identifier_offset = 0;
  uint64_t data_offset = 0;
  // The free entry that ends every cache: no hash, no identifier, no data.
  bool IsFree() const { return hash == 0 && identifier_size == 0 && data_size == 0; }
};

// Entry header sizes: Windows 7 has neither Vista's extension nor the later
// versions' picture size.
inline constexpr uint64_t kThumbcacheEntryHeaderWin7 = 48;
inline constexpr uint64_t kThumbcacheEntryHeader = 56;

// The size of an entry header in `version`.
uint64_t ThumbcacheEntryHeaderSize(uint32_t version);

// The fields of the entry header at `offset` as they stand, judged by
// nothing but the header checksum (`head` holds ThumbcacheEntryHeaderSize
// bytes): a damaged entry can still tell its hash and its sizes. The
// identifier and data offsets follow from the sizes, unchecked.
ThumbcacheEntry DecodeThumbcacheEntry(std::span<const uint8_t> head, uint32_t version,
                                      uint64_t offset);

// Decodes the entry header at `offset` (the `head` bytes hold at least
// ThumbcacheEntryHeaderSize of them). Fails when the signature is missing or
// the sizes do not fit in the entry or the file (`file_size`).
ReadResult<ThumbcacheEntry> ParseThumbcacheEntry(std::span<const uint8_t> head, uint32_t version,
                                                 uint64_t offset, uint64_t file_size);

// CRC-64 as the caches use it: reflected, polynomial 0x92C64265D32139A4, all
// ones to start, no final xor. `crc` carries on from an earlier piece.
uint64_t ThumbcacheCrc64(std::span<const uint8_t> bytes, uint64_t crc = ~0ull);

// Identifiers are hashes, CLSIDs and paths, and no Windows path is longer
// than kWindowsMaxLongPath UTF-16 units. Longer ones are kept to that; the
// rest stays in the file.
inline constexpr uint32_t kMaxThumbcacheIdentifierBytes =
    static_cast<uint32_t>(2 * kWindowsMaxLongPath);

// A thumbcache_idx.db: for every hash, the entry offset in each cache type.
struct ThumbcacheIndex {
  uint32_t version = 0;
  uint64_t header_size = 0;
  uint32_t used = 0;
  uint32_t total = 0;
  uint32_t offsets_per_entry = 0;
  struct Entry {
    uint64_t hash = 0;
    std::vector<uint32_t> offsets;  // by cache type; see IsIndexedOffset
  };
  std::vector<Entry> entries;                    // the used slots, in file order
  std::unordered_map<uint64_t, size_t> by_hash;  // the first entry of each hash

  // Whether the index points at the entry of `hash` at `offset` in the cache
  // of `cache_type`.
  bool References(uint64_t hash, uint32_t cache_type, uint64_t offset) const;
};

inline constexpr uint32_t kThumbcacheNotIndexed = 0xFFFFFFFF;

// An index offset that points at an entry: neither the "absent" value nor 0,
// which some Windows left in unused slots (an entry never starts in the header).
inline bool IsIndexedOffset(uint32_t offset) {
  return offset != kThumbcacheNotIndexed && offset >= kThumbcacheHeaderSize;
}

ReadResult<ThumbcacheIndex> ReadThumbcacheIndex(ByteSource& source);

// An index file's layout, from its header and its size.
struct ThumbcacheIndexLayout {
  uint32_t version = 0;
  uint64_t header_size = 0;
  uint32_t used = 0;
  uint32_t total = 0;
  uint32_t offsets_per_entry = 0;
  uint64_t entry_bytes = 0;
  uint64_t first_offset = 0;  // where the offsets start inside an entry
};
ReadResult<ThumbcacheIndexLayout> ReadThumbcacheIndexLayout(ByteSource& source);

// Calls `on_entry` with the hash and the offsets of every used slot, in file
// order. The slots are read a piece at a time: an index of a million slots
// is never held whole.
ReadResult<void> ForEachThumbcacheIndexEntry(
    ByteSource& source, const ThumbcacheIndexLayout& layout,
    const std::function<void(uint64_t hash, std::span<const uint32_t> offsets)>& on_entry);

// What a cache reader needs of the index beside it: for each hash, the
// offset its first slot gives in one cache type. 16 bytes a slot, where the
// whole ThumbcacheIndex takes over 150.
class ThumbcacheTypeIndex {
 public:
  // Whether the index points at the entry of `hash` at `offset`.
  bool References(uint64_t hash, uint64_t offset) const;
  uint32_t version() const { return version_; }
  size_t hash_count() const { return hash_count_; }

 private:
  friend ReadResult<ThumbcacheTypeIndex> ReadThumbcacheTypeIndex(ByteSource&, uint32_t);
  struct Slot {
    uint64_t hash;
    uint32_t offset;
  };
  std::vector<Slot> slots_;  // by hash; of equal hashes the first in the file first
  uint32_t version_ = 0;
  size_t hash_count_ = 0;
};

ReadResult<ThumbcacheTypeIndex> ReadThumbcacheTypeIndex(ByteSource& source, uint32_t cache_type);

}  // namespace glintvane
