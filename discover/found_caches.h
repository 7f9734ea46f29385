// The found-caches list: one record per thumbnail cache found by a folder
// search, by opening a file, or through a recycle-bin index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/evidence_location.h"

namespace glintvane {

// Joins a recycled file's last-write time and its deletion time in the
// modified text; sorting reads only the part before it.
inline constexpr std::string_view kDeletedTimeJoiner = " - ";

struct CacheFileRecord {
  std::string name;             // File column: file part, or a recycled file's original path
  std::optional<int64_t> size;  // bytes; nullopt when the file could not be opened
  std::string modified;  // "d.m.yyyy h:m:s" of the last write, " - " + deletion time if recycled
  std::string modified_utc;  // the last write in UTC (ISO 8601); "" when unknown
  // The texts of `location`: the folder holding the file, ending in "/"
  // (EvidenceFolderText), and the whole (FormatEvidenceLocation), which is
  // what the path column shows, `list` takes and the list keeps rows apart by.
  std::string located;
  std::string path;
  // What opening the row opens, as it is: never read back from `path`.
  EvidenceLocation location;
  // Recycled files only: the deletion time as text and in UTC (ISO 8601).
  std::string deleted;
  std::string deleted_utc;
  bool recycled = false;
  // Rows of an image's search: the file's entry is unallocated (a deleted file).
  bool entry_deleted = false;
  // A cache found by its bytes (an OffsetLocation) that runs past the free
  // run or the file it lies in: what lies past (CutShort::Text). Empty when
  // whole.
  std::string cut_short;
  // A thumbcache in a profile's Explorer folder: the text form of the
  // Windows Search index the search met where the Windows layout keeps it
  // (SearchIndexFolderFor), which names its rows; "" when it met none.
  std::string search_index;
  // Rows read from a Volume Shadow Copy store (the location names its
  // number): when Windows made the copy (ISO 8601 in UTC) and the store's
  // identifier.
  std::string shadow_created_utc;
  std::string shadow_identifier;
  // The SHA-256 of the file's bytes, where an image's search compared them
  // with a copy of the same file in a shadow-copy store; "" otherwise.
  std::string sha256;
  // The other places where the same bytes lie under the same path (the
  // volume as it is, stores), listed once here instead of once each.
  std::vector<EvidenceLocation> also_in;
};

// A Windows Search database (Windows.edb, Windows.db) a search met.
struct FoundSearchIndex {
  EvidenceLocation location;
  std::string path;      // its text form
  bool deleted = false;  // an unallocated entry of a disk image
};

// The index that names the rows of the cache at `where`, among `indexes`:
// the one of the cache's volume (the same image partition, or the same
// folder tree) in the layout's folder, letter case aside; a live Windows.db
// before a live Windows.edb before deleted ones. Null when none fits.
const FoundSearchIndex* SearchIndexOf(const EvidenceLocation& where,
                                      const std::vector<FoundSearchIndex>& indexes);

// Sets the record's location and the texts made from it (path, located).
void SetRecordLocation(CacheFileRecord& record, EvidenceLocation where);

class FoundCacheList {
 public:
  size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const CacheFileRecord& operator[](size_t i) const { return rows_[i]; }
  const std::vector<CacheFileRecord>& rows() const { return rows_; }
  // Row `i` for a change of anything but its location and path.
  CacheFileRecord& Edit(size_t i) { return rows_[i]; }

  // Appends the record unless a row with the same path is listed already
  // (exact comparison). Returns true when it was appended.
  bool AddCacheFileRow(CacheFileRecord record);
  // Index of the row with that path, or -1.
  int64_t IndexOfPath(const std::string& path) const;
  void Clear();
  // Sets the search_index of each thumbcache row that one of the indexes a
  // search met names (SearchIndexOf); other rows keep theirs.
  void NameSearchIndexes(const std::vector<FoundSearchIndex>& indexes);

  // Reorders the rows by `order` (a permutation of 0..size-1), for sorting.
  void Reorder(const std::vector<size_t>& order);

 private:
  std::vector<CacheFileRecord> rows_;
  std::unordered_map<std::string, size_t> by_path_;
};

}  // namespace glintvane
