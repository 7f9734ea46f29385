// The found-caches list: one record per thumbnail cache found by a folder
// search, by opening a file, or through a recycle-bin index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace glintvane {

// Joins a recycled file's last-write time and its deletion time in the
// modified text; sorting reads only the part before it.
inline constexpr std::string_view kDeletedTimeJoiner = " - ";

// Where a row found inside a disk image lies in it.
struct EvidenceLocation {
  std::string image;       // the image file (its first segment)
  int partition = 0;       // 1-based; 0 for an image without a partition table
  std::string inner_path;  // inside the file system, "/" between folders, from "/"
  uint64_t inode = 0;      // the file system's metadata address of the file
  bool deleted = false;    // the file's entry is unallocated: a deleted file
};

struct CacheFileRecord {
  std::string name;             // File column: file part, or a recycled file's original path
  std::optional<int64_t> size;  // bytes; nullopt when the file could not be opened
  std::string modified;  // "d.m.yyyy h:m:s" of the last write, " - " + deletion time if recycled
  std::string modified_utc;  // the last write in UTC (ISO 8601); "" when unknown
  std::string located;       // the folder holding the file, ending in "/"
  std::string path;          // the path that opening the row uses; the duplicate key
  // Recycled files only: the deletion time as text and in UTC (ISO 8601).
  std::string deleted;
  std::string deleted_utc;
  bool recycled = false;
  // Rows of an image's search only.
  std::optional<EvidenceLocation> evidence;
};

class FoundCacheList {
 public:
  size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const CacheFileRecord& operator[](size_t i) const { return rows_[i]; }
  const std::vector<CacheFileRecord>& rows() const { return rows_; }

  // Appends the record unless a row with the same path is listed already
  // (exact comparison). Returns true when it was appended.
  bool AddCacheFileRow(CacheFileRecord record);
  // Index of the row with that path, or -1.
  int64_t IndexOfPath(const std::string& path) const;
  void Clear();

  // Reorders the rows by `order` (a permutation of 0..size-1), for sorting.
  void Reorder(const std::vector<size_t>& order);

 private:
  std::vector<CacheFileRecord> rows_;
  std::unordered_map<std::string, size_t> by_path_;
};

}  // namespace glintvane
