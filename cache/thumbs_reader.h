// Reading a Thumbs.db thumbnail cache into the thumbnail list.
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/file_time.h"
#include "base/progress.h"
#include "cache/cache_file.h"
#include "cache/cut_short.h"
#include "cache/read_error.h"
#include "cache/thumbnail_list.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane {

struct CacheReadOptions {
  // strftime pattern of the Modified texts (see DefaultDateTimeFormat).
  std::string date_time_format = "%Y-%m-%d %H:%M:%S";
  // The clock of the Modified texts and the root entry's time.
  TimeZoneChoice time_zone = TimeZoneChoice::kLocal;
  // Which Windows Search index names a thumbcache's rows (where a location
  // is opened, see evidence/evidence_open.h).
  CacheOpenOptions open;
};

// How the Windows Search index of a thumbcache was used.
struct SearchIndexUse {
  std::string path;                  // the database's location as text; "" when none was found
  std::string sought;                // the file or folder chosen, or the layout's folder
  bool chosen = false;               // chosen by hand, not found by the layout
  bool read = false;                 // read, wholly or in part
  std::string error;                 // why it was not found or could not be read
  std::string format;                // "ese" or "sqlite"
  std::string state;                 // ESE: "clean", "dirty", ...
  bool complete = false;             // every record of the index was read
  uint64_t rows = 0;                 // the cache's rows it was asked about
  uint64_t named = 0;                // of those, the rows it named
  std::vector<std::string> reasons;  // why its read is not complete
  std::vector<std::string> notes;    // what else it said
};

struct CacheReadResult {
  bool ok = false;
  int error_code = 0;                // the code that ended the read; 0 when ok
  std::vector<std::string> details;  // the File Details lines, in order
  // The stop token ended the read: the rows made so far stay, nothing is
  // recorded as an error.
  bool stopped = false;
  // A Thumbs.db shorter than its own structures call for: what lies past its
  // end (also a File Details line and part of the error's detail).
  std::optional<CutShort> cut_short;
  // A thumbcache whose search index was looked for; nothing otherwise. An
  // index missing or unreadable leaves the read ok: the rows keep their
  // hashes for names.
  std::optional<SearchIndexUse> search_index;
};

// Where a read reports to. The list and the store are filled; rows made
// before an error stay. `progress` may be null.
struct CacheReadTarget {
  ThumbnailList& list;
  ImageStore& store;
  ErrorList& errors;
  const UiTexts& texts;
  ProgressSink* progress = nullptr;
  std::stop_token stop = {};  // checked once per directory entry
};

// Reads the cache in `source` with what lies beside it (see cache_file.h);
// `path` names it in the texts. Empties the image store first (not the list:
// the caller clears it). Failures are recorded in target.errors and in the
// result; nothing is thrown.
CacheReadResult ReadThumbnailCache(ByteSource& source, const std::string& path,
                                   CacheReadTarget target, const CacheReadOptions& options = {},
                                   CacheNeighbours beside = {});

// Reads the cache file at `path` on disk, opened once with what lies beside
// it (OpenCacheFile), or says why it could not be opened.
CacheReadResult ReadThumbnailCache(const std::string& path, CacheReadTarget target,
                                   const CacheReadOptions& options = {});

// The result of a cache that could not be opened: the File Details that name
// it, and `why` recorded as the read's error.
CacheReadResult CacheNotOpened(const std::string& path, const ReadError& why,
                               CacheReadTarget target);

}  // namespace glintvane
