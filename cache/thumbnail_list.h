// The thumbnail list: rows in the order they were first made, found by key,
// and the image store that rows of a cache point into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/byte_source.h"
#include "cache/thumbnail_row.h"

namespace glintvane {

// The bytes of every stored thumbnail, addressed by one offset that grows
// with each image. Images are kept in blocks, each image whole in one block,
// so that the store never copies what it holds to grow: a cache of 1 GiB of
// images takes 1 GiB here, not the 2 or 3 GiB of a doubling buffer.
class ImageStore {
 public:
  int64_t size() const { return size_; }
  // Appends and returns the start offset of the appended bytes.
  int64_t Append(std::span<const uint8_t> bytes);
  // Makes room for `n` more bytes and returns them, to be filled in place:
  // a reader reads an image straight into the store. The start offset is
  // the size before. TrimTo undoes it (a read that fell short).
  std::span<uint8_t> Grow(size_t n);
  // Takes the store back to `size`, which lies within the last Grow or
  // Append.
  void TrimTo(int64_t size);
  // The bytes [start, start + length); empty when the range is not inside.
  std::span<const uint8_t> View(int64_t start, int64_t length) const;
  void Clear();
  // The first block holds `capacity` bytes, so that a cache whose images
  // fit goes into one piece of memory (a hint, made when the store is empty).
  void Reserve(size_t capacity);

 private:
  struct Block {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    size_t used = 0;
  };
  // A run of offsets that lies in one block.
  struct Extent {
    int64_t start = 0;
    size_t block = 0;
    size_t at = 0;  // where the run starts in its block
    size_t length = 0;
  };
  size_t NewBlock(size_t capacity);

  std::vector<Block> blocks_;
  std::vector<Extent> extents_;  // in offset order
  size_t current_ = SIZE_MAX;    // the block small images go to
  int64_t size_ = 0;
};

// A carved row as the scan keeps it: 32 bytes, where a ThumbnailRow takes
// about 150. A swap file dense in signatures makes millions of rows, and
// only the few that someone looks at need the full record.
struct CarvedEntry {
  int64_t start = 0;
  int64_t end = 0;
  uint32_t length = 0;  // never more than the carving cap of 10 MiB
  uint32_t source = 0;  // ThumbnailList source index
  uint32_t full = 0;    // 1 + index of the full record made for it, 0 while none
  bool complete = false;
  CarveKind kind = CarveKind::kJfif;
  DecodeCheck decodes = DecodeCheck::kUnchecked;
};
static_assert(sizeof(CarvedEntry) <= 32, "a carved row stays small");

// A row of a thumbcache_*.db or a thumbcache_idx.db as the reader keeps it:
// 64 bytes where a ThumbnailRow takes about 200 with its texts. A cache or an
// index of a million entries makes a million rows, and their texts (key,
// name) are made only for the rows someone asks for.
struct CacheEntryRow {
  static constexpr uint8_t kChecksumOk = 1;  // the entry header's CRC-64 matched
  static constexpr uint8_t kRecovered = 2;   // found outside the chain of entries
  static constexpr uint8_t kIndexRow = 4;    // a hash of an index file, no entry of its own
  static constexpr uint8_t kNameIsHash = 8;  // the name is the hash in hex, no leading zeros

  uint64_t hash = 0;
  uint64_t entry_offset = 0;
  uint64_t data_checksum = 0;
  int64_t start = 0;    // in the image store
  uint32_t length = 0;  // bytes in the image store (a data size field is 32 bits)
  int32_t width = 0;
  int32_t height = 0;
  uint32_t name = 0;  // what ThumbnailList::AddName returned; 0: no name
  uint32_t full = 0;  // 1 + index of the full record made for it, 0 while none
  int16_t error = 0;  // the code that made the entry a bad one, 0 if none
  int8_t indexed = -1;
  ImageKind kind = ImageKind::kNone;
  uint8_t flags = 0;
};
static_assert(sizeof(CacheEntryRow) <= 64, "a cache entry row stays small");

class ThumbnailList {
 public:
  // Field value meaning "leave as it is" in AddOrUpdate.
  static constexpr int64_t kKeep = -1;

  size_t size() const { return rows_.size() + carved_.size() + cache_.size(); }
  bool empty() const { return size() == 0; }
  // The record of row i. A carved row gets its full record the first time it
  // is asked for (and keeps it: references stay valid until Clear).
  ThumbnailRow& operator[](size_t i);
  const ThumbnailRow& operator[](size_t i) const;
  ThumbnailRow& back() { return (*this)[size() - 1]; }
  // A copy of row i that makes no full record of a carved row: for callers
  // that walk every row once (printing a scan's rows).
  ThumbnailRow RowCopy(size_t i) const;
  // The compact entry of carved row i (whose key is i), or nullptr when the
  // row is not carved or has its full record already: then use (*this)[i].
  const CarvedEntry* CarvedAt(size_t i) const;
  // The compact entry of row i when it is a thumbcache row kept compact, or
  // nullptr.
  const CacheEntryRow* CacheEntryAt(size_t i) const;

  // The first row whose key equals `key` exactly, or nullptr.
  ThumbnailRow* Find(std::string_view key);
  // Index of the first row with that key, or -1.
  int64_t IndexOf(std::string_view key);

  // Finds the row by key or appends a new one, then stores every given field
  // that is not "" (texts) or kKeep (numbers). Returns the row.
  ThumbnailRow& AddOrUpdate(std::string_view key, std::string_view name, SourceKind source_kind,
                            int64_t end, int64_t length, int64_t start, std::string_view time_text);

  // Appends a row as it is.
  ThumbnailRow& Append(ThumbnailRow row);
  // Appends a carved row (the carving scan): key = its index, the name and
  // time placeholders, source kind kOpenFile, an image of `kind` from
  // `start`, still open (end and length 0). Returns its index.
  size_t AppendCarved(int64_t start, uint32_t source, CarveKind kind = CarveKind::kJfif);
  // Appends a row of a thumbcache or its index, kept compact: key = the hash
  // in 16 hex digits, source kind kImageStore. Returns its index.
  size_t AppendCacheEntry(const CacheEntryRow& entry);
  // Keeps a name for CacheEntryRow::name. A reader that names many rows alike
  // keeps the number and passes it again.
  uint32_t AddName(std::string name);
  // Closes carved row i at `end` with `length` bytes (at most the carving
  // cap); `complete` when the picture's own structure closed it.
  void CloseCarved(size_t i, int64_t end, int64_t length, bool complete);
  // Records whether carved row i decodes.
  void SetDecodes(size_t i, DecodeCheck decodes);
  // The compact entry of carved row i whether or not it has its full
  // record (whose fields then say the same), or nullptr for other rows.
  const CarvedEntry* CarvedEntryAt(size_t i) const;
  // Puts the carved rows from `first` on in the order of their starts (then
  // ends), renumbering them: a scan lists some images only once their end is
  // found. In place, without memory of its own; only rows without a full
  // record, in the last run of carved rows, are moved. Returns false (and
  // moves nothing) otherwise.
  bool SortCarvedByStart(size_t first);
  void RemoveLast();
  void Clear();

  // Files that rows of kind kOpenFile read from. Adding the same path (and
  // the same `bytes`) as the last one added returns its index again.
  // `bytes` is given when the rows' offsets count in something else than
  // the file as it lies: the disk inside an EWF or other container, the
  // unallocated space of an image's file systems. The rows are then read
  // from it, never from the file, and the list keeps it (and so the image)
  // open until it is cleared. It must allow reads from several threads.
  uint32_t AddSource(const std::string& path, std::shared_ptr<ByteSource> bytes = nullptr);
  const std::string& Source(uint32_t index) const { return sources_.at(index); }
  const std::string& SourceOf(const ThumbnailRow& row) const { return Source(row.source); }
  size_t source_count() const { return sources_.size(); }
  // The bytes the rows of source `index` are read from when they are not
  // the file's own; null for a file read as it lies (or no such source).
  const std::shared_ptr<ByteSource>& SourceBytes(uint32_t index) const;

 private:
  // Rows are kept in runs of one kind, in list order: a run of full records
  // in rows_, of carved entries in carved_ or of cache entries in cache_.
  enum class RunKind : uint8_t { kFull, kCarved, kCache };
  struct Run {
    size_t first = 0;  // list index of the run's first row
    size_t base = 0;   // index of that row in rows_, carved_ or cache_
    RunKind kind = RunKind::kFull;
  };
  const Run& RunOf(size_t i) const;
  void StartRun(RunKind kind);
  ThumbnailRow& Materialise(size_t i, CarvedEntry& entry) const;
  ThumbnailRow& Materialise(CacheEntryRow& entry) const;
  ThumbnailRow FullRow(const CacheEntryRow& entry) const;
  void IndexNewRows();

  // Deques: appending never moves rows, and millions of rows grow without a
  // reallocation peak.
  std::deque<ThumbnailRow> rows_;
  std::deque<CarvedEntry> carved_;
  std::deque<CacheEntryRow> cache_;
  std::deque<std::string> names_;  // the names of cache entry rows
  std::vector<Run> runs_;
  // Full records of the carved rows that were asked for. Mutable: asking a
  // const list for a carved row's record makes it.
  mutable std::deque<ThumbnailRow> materialised_;
  // Key index of the rows in rows_ (list indices), built lazily up to
  // indexed_ of them; carved rows are found by their number instead.
  std::unordered_map<std::string, size_t> index_;
  size_t indexed_ = 0;
  std::vector<std::string> sources_;
  std::vector<std::shared_ptr<ByteSource>> source_bytes_;  // beside sources_
};

}  // namespace glintvane
