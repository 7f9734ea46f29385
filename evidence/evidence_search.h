// The search of a disk image: every partition, every file system The Sleuth
// Kit reads in it, allocated and deleted entries alike, listed by the same
// rule as the search of a folder tree (see ClassifyFoundFile).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "discover/found_caches.h"
#include "discover/search_folder.h"
#include "evidence/evidence_open.h"
#include "evidence/shadow_copies.h"

namespace glintvane {

// What walking one file system met: a partition's, or a shadow-copy store's.
struct FileSystemWalkReport {
  // Why the file system was not read, or its walk ended early: for a
  // partition kErrNoFileSystem; for a store the code beside it.
  std::string error;
  uint64_t folders = 0;
  uint64_t files = 0;  // entries met, deleted ones included
  bool walk_complete = false;
};

struct ShadowCopyReport : FileSystemWalkReport {
  ShadowStoreFacts store;
  int error_code = 0;               // kErrShadowCopy or kErrNoFileSystem when `error` is set
  uint64_t unreadable_sectors = 0;  // of the store's reads that libvshadow refused
};

struct EvidenceVolumeReport : FileSystemWalkReport {
  int partition = 0;
  uint64_t offset = 0;
  uint64_t length = 0;
  std::string description;  // the partition table's text
  std::string file_system;  // "" when none was recognised
  // The Volume Shadow Copy stores walked, oldest first, and why the
  // volume's copies could not be read at all (kErrShadowCopy; "" when they
  // could, or the volume holds none).
  std::vector<ShadowCopyReport> shadow_copies;
  std::string shadow_copies_error;
  int duplicate_of = 0;  // the partition of the same extent, walked instead of this one
  int overlaps = 0;      // an earlier partition whose extent this one overlaps
  std::string past_end;  // why the image ends before this volume does
};

struct EvidenceSearchOutcome {
  std::string image;
  bool opened = false;
  std::string error;   // why the image could not be opened
  int error_code = 0;  // kErrImageOpen or kErrImageIncomplete when it could not
  std::string format;
  size_t segments = 0;
  uint64_t size = 0;
  bool partitioned = false;
  std::vector<EvidenceVolumeReport> volumes;
  uint64_t folders = 0;
  size_t rows_added = 0;
  size_t deleted_rows = 0;
  uint64_t unreadable_sectors = 0;
  // Recycle-bin indexes that could not be read (kErrImageRecycleIndex).
  std::vector<std::string> notes;
  // Windows Search databases met (Windows.edb, Windows.db), deleted ones too.
  std::vector<FoundSearchIndex> search_indexes;
  bool stopped = false;  // the stop token ended the search; the rows so far stay
  // With SearchOptions::unallocated: the bytes of unallocated space read,
  // and the caches found there by their bytes (in rows_added too).
  uint64_t free_space_bytes = 0;
  size_t free_space_rows = 0;
  std::vector<std::string> free_space_notes;  // why it was not read, or not to its end

  // Every volume recognised and walked to its end (a duplicate through its
  // twin), every shadow-copy store too, none past the image's end, no
  // sector lost, not stopped.
  bool complete() const;
  // A volume's shadow copies, or one store, could not be read in full.
  bool shadow_copies_incomplete() const;
  // A partition or a file system ends past the image's end.
  bool truncated() const;
};

// The rows of one partition's search by path, for telling a shadow-copy
// store's copy of a cache from one listed already: the same path (in any
// letter case) and the same SHA-256.
class SameCacheRows {
 public:
  // The SHA-256 of the bytes at a location; "" when they cannot be read.
  using Hasher = std::function<std::string(const ImageFileLocation&)>;
  SameCacheRows(FoundCacheList& list, Hasher hash) : list_(list), hash_(std::move(hash)) {}

  // Row `index` of the list may be matched from now on.
  void Note(size_t index);
  // Sets row.sha256. When a noted row under the same path has those bytes,
  // names row's location in that row's also_in and returns true: row is not
  // to be listed. Bytes that cannot be read match nothing.
  bool Merge(CacheFileRecord& row);

 private:
  const std::string& HashOf(size_t index);

  FoundCacheList& list_;
  Hasher hash_;
  std::unordered_map<std::string, std::vector<size_t>> by_path_;  // upper-case inner path
  std::unordered_set<size_t> hashed_;
};

// Appends a row to `list` for every cache and recycled cache in the image at
// `image_path`, in the order the walk meets them; recycled ones after each
// file system's walk, when the folder's index has been read. Rows carry the
// ImageFileLocation that OpenEvidence opens. Unless options.shadow_copies
// is off, each NTFS volume's shadow-copy stores are walked after it; a cache
// whose bytes are those of a cache already listed under the same path in
// the volume or an earlier store is named in that row's `also_in` instead
// of a row of its own. With options.unallocated, then the Thumbs.db found by
// their headers in the unallocated space, each an OffsetLocation bounded by
// its free run (cut_short when the run ends first). The image is taken from
// `images` and stays held there, so the rows open without opening it again.
EvidenceSearchOutcome SearchEvidenceImage(FoundCacheList& list, OpenImages& images,
                                          const std::string& image_path,
                                          const SearchOptions& options = {});
// The same with the image held for this search alone.
EvidenceSearchOutcome SearchEvidenceImage(FoundCacheList& list, const std::string& image_path,
                                          const SearchOptions& options = {});

}  // namespace glintvane
