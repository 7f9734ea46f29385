// The timeline: every time the program finds in a cache and around it, as
// events for the tools examiners build one timeline of a machine with: The
// Sleuth Kit's body file (read by mactime -b), a CSV with the columns
// timeline viewers import (message, datetime, timestamp_desc) and JSON
// lines with the same fields.
//
// The times: each cache file's own (modified, accessed, changed, created, as
// the file system keeps them; a deleted entry in a disk image says so), a
// recycled cache's deletion time, and each thumbnail's own time (the
// Thumbs.db catalog's, which is the original picture's modification time).
// Thumbcache entries and carved pictures carry no time of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_time.h"
#include "cache/thumbnail_row.h"
#include "case/case_file.h"

namespace glintvane {

enum class TimelineFormat { kBodyfile, kCsv, kJsonl };

// "bodyfile", "csv", "jsonl"; nullopt for anything else.
std::optional<TimelineFormat> TimelineFormatNamed(std::string_view name);
// The file name extension a format is written with (".body", ".csv", ".jsonl").
std::string_view TimelineExtension(TimelineFormat format);

// Which column of the body file an event's time goes into.
enum class TimeRole : uint8_t { kModified, kAccessed, kChanged, kCreated };

struct TimelineEvent {
  int64_t seconds = 0;  // since 1970 UTC
  TimeRole role = TimeRole::kModified;
  std::string timestamp_desc;  // what the time is: "File modified", "Thumbs.db catalog time", ...
  std::string message;         // one line for a person
  std::string source;          // the cache the time belongs to or was read from
  std::string row_key;         // the thumbnail's number; "" for a file's own times
  // The body file's name column: the file, or what a thumbnail's time is.
  std::string name;
  uint64_t inode = 0;
  uint64_t size = 0;
  std::vector<std::string> tags;
  std::string note;
};

// A cache as the timeline sees it: where it is and what the file system and
// the recycle bin say about it.
struct TimelineCache {
  std::string path;  // as opened: a file, or a file inside a disk image
  // A recycled cache's original path, as the recycle bin names it.
  std::string original;
  FileTimes times;
  uint64_t size = 0;
  uint64_t inode = 0;
  bool deleted_entry = false;         // the file's entry is unallocated (inside a disk image)
  std::optional<int64_t> deleted_at;  // moved to the recycle bin then
};

// The events of a cache file itself: its file-system times and its deletion.
void AddCacheEvents(std::vector<TimelineEvent>& events, const TimelineCache& cache);

// The times a row carries, each with what it is. Today the Thumbs.db
// catalog's time; the Windows Search index's times for the row join here
// once the index is attached to the rows.
struct RowTime {
  int64_t seconds = 0;
  TimeRole role = TimeRole::kModified;
  std::string_view desc;
};
std::vector<RowTime> RowTimes(const ThumbnailRow& row);

// The events of one row of the cache at `source`, with its marks if any.
void AddRowEvents(std::vector<TimelineEvent>& events, const std::string& source,
                  const ThumbnailRow& row, const RowMarks* marks = nullptr);

// Events in time order (stable: a file's times stay together).
void SortTimeline(std::vector<TimelineEvent>& events);

// The whole file: a CSV starts with its header line. Body file lines are
// "0|name|inode|mode|0|0|size|atime|mtime|ctime|crtime", one per event; "|"
// and control characters in a name are escaped as \xNN so that every line
// keeps its eleven fields.
std::string BuildTimeline(TimelineFormat format, std::span<const TimelineEvent> events);

}  // namespace glintvane
