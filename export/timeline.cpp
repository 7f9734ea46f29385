#include "export/timeline.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "export/image_catalog.h"

namespace glintvane {
namespace {

// The body file's mode column for a regular file, as fls writes it for one
// whose permissions the file system does not keep.
constexpr std::string_view kBodyfileMode = "r/rrwxrwxrwx";

constexpr std::string_view kCatalogTimeDesc = "Thumbs.db catalog time (original modified)";
constexpr std::string_view kDeletionDesc = "Recycle bin deletion";

std::string JoinTags(const std::vector<std::string>& tags) {
  std::string joined;
  for (const std::string& tag : tags) {
    if (!joined.empty()) joined += ", ";
    joined += tag;
  }
  return joined;
}

// "|" splits the body file's fields and a line break ends its lines: both,
// and every other control character, become \xNN in a name.
std::string BodyfileName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '|') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

// The marks as the body file's name and a message carry them.
std::string MarksSuffix(const std::vector<std::string>& tags, const std::string& note) {
  std::string suffix;
  if (!tags.empty()) suffix += " [" + JoinTags(tags) + "]";
  if (!note.empty()) suffix += " {" + note + "}";
  return suffix;
}

// "2007-03-09T14:05:07+00:00": ISO 8601 with the offset spelled out, which
// every timeline viewer parses.
std::string Datetime(int64_t seconds) {
  std::string text = UnixSecondsUtcIso(seconds);
  if (!text.empty() && text.back() == 'Z') {
    text.pop_back();
    text += "+00:00";
  }
  return text;
}

// One line of the body file: a name and up to four times (atime, mtime,
// ctime, crtime; 0 where none is known).
struct BodyfileLine {
  const TimelineEvent* event = nullptr;
  int64_t times[4] = {0, 0, 0, 0};
  bool set[4] = {false, false, false, false};
};

int ColumnOf(TimeRole role) {
  switch (role) {
    case TimeRole::kAccessed:
      return 0;
    case TimeRole::kModified:
      return 1;
    case TimeRole::kChanged:
      return 2;
    case TimeRole::kCreated:
      break;
  }
  return 3;
}

// A file's times share one line, as fls writes them, so that mactime lists
// no empty time for a time the file does have.
void AppendBodyfile(std::string& out, std::span<const TimelineEvent> events) {
  std::vector<BodyfileLine> lines;
  std::map<std::string, size_t> open;  // name, inode, size -> the line taking its times
  for (const TimelineEvent& event : events) {
    const std::string key =
        event.name + '\0' + std::to_string(event.inode) + '\0' + std::to_string(event.size);
    const int column = ColumnOf(event.role);
    auto it = open.find(key);
    if (it == open.end() || lines[it->second].set[column]) {
      lines.push_back({&event, {0, 0, 0, 0}, {false, false, false, false}});
      it = open.insert_or_assign(key, lines.size() - 1).first;
    }
    BodyfileLine& line = lines[it->second];
    line.times[column] = event.seconds;
    line.set[column] = true;
  }
  for (const BodyfileLine& line : lines) {
    const TimelineEvent& event = *line.event;
    out += "0|";
    out += BodyfileName(event.name + MarksSuffix(event.tags, event.note));
    out += '|' + std::to_string(event.inode) + '|';
    out += kBodyfileMode;
    out += "|0|0|" + std::to_string(event.size);
    for (const int64_t time : line.times) out += '|' + std::to_string(time);
    out += '\n';
  }
}

void AppendCsvLine(std::string& out, const TimelineEvent& event) {
  out += CsvField(event.message, true) + ',' + Datetime(event.seconds) + ',' +
         CsvField(event.timestamp_desc, true) + ',' + std::to_string(event.seconds * 1000000) +
         ',' + CsvField(event.source, true) + ',' + CsvField(event.row_key, true) + ',' +
         CsvField(JoinTags(event.tags), true) + ',' + CsvField(event.note, true) + "\r\n";
}

void AppendJsonLine(std::string& out, const TimelineEvent& event) {
  out += "{\"message\": " + JsonString(event.message);
  out += ", \"datetime\": " + JsonString(Datetime(event.seconds));
  out += ", \"timestamp_desc\": " + JsonString(event.timestamp_desc);
  out += ", \"timestamp\": " + std::to_string(event.seconds * 1000000);
  out += ", \"source\": " + JsonString(event.source);
  out += ", \"row_key\": " + JsonString(event.row_key);
  out += ", \"tags\": [";
  for (size_t i = 0; i < event.tags.size(); ++i) {
    if (i > 0) out += ", ";
    out += JsonString(event.tags[i]);
  }
  out += "], \"note\": " + JsonString(event.note) + "}\n";
}

}  // namespace

std::optional<TimelineFormat> TimelineFormatNamed(std::string_view name) {
  if (name == "bodyfile") return TimelineFormat::kBodyfile;
  if (name == "csv") return TimelineFormat::kCsv;
  if (name == "jsonl") return TimelineFormat::kJsonl;
  return std::nullopt;
}

std::string_view TimelineExtension(TimelineFormat format) {
  switch (format) {
    case TimelineFormat::kBodyfile:
      return ".body";
    case TimelineFormat::kCsv:
      return ".csv";
    case TimelineFormat::kJsonl:
      break;
  }
  return ".jsonl";
}

void AddCacheEvents(std::vector<TimelineEvent>& events, const TimelineCache& cache) {
  // A deleted entry is named as fls names one.
  const std::string name = cache.path + (cache.deleted_entry ? " (deleted)" : "");
  const std::string shown = cache.original.empty() ? cache.path : cache.original;
  const struct {
    const std::optional<int64_t>& time;
    TimeRole role;
    std::string_view desc;
  } kinds[] = {
      {cache.times.modified, TimeRole::kModified, "File modified"},
      {cache.times.accessed, TimeRole::kAccessed, "File accessed"},
      {cache.times.changed, TimeRole::kChanged, "File metadata changed"},
      {cache.times.created, TimeRole::kCreated, "File created"},
  };
  for (const auto& kind : kinds) {
    if (!kind.time) continue;
    TimelineEvent event;
    event.seconds = *kind.time;
    event.role = kind.role;
    event.timestamp_desc = std::string(kind.desc);
    event.message = std::string(kind.desc) + ": thumbnail cache " + shown +
                    (cache.deleted_entry ? " (deleted entry)" : "");
    if (!cache.original.empty()) event.message += " (recycled as " + cache.path + ")";
    event.source = cache.path;
    event.name = name;
    event.inode = cache.inode;
    event.size = cache.size;
    events.push_back(std::move(event));
  }
  if (cache.deleted_at) {
    TimelineEvent event;
    event.seconds = *cache.deleted_at;
    // Moving a file into the recycle bin renames it, which changes its
    // metadata: the body file's change column.
    event.role = TimeRole::kChanged;
    event.timestamp_desc = std::string(kDeletionDesc);
    event.message = "Thumbnail cache " + shown + " moved to the recycle bin as " + cache.path;
    event.source = cache.path;
    event.name = shown + " (recycle bin deletion, now " + cache.path + ")";
    event.inode = cache.inode;
    event.size = cache.size;
    events.push_back(std::move(event));
  }
}

std::vector<RowTime> RowTimes(const ThumbnailRow& row) {
  std::vector<RowTime> times;
  if (const auto seconds = FileTimeToUnixSeconds(row.filetime)) {
    times.push_back({*seconds, TimeRole::kModified, kCatalogTimeDesc});
  }
  return times;
}

void AddRowEvents(std::vector<TimelineEvent>& events, const std::string& source,
                  const ThumbnailRow& row, const RowMarks* marks) {
  for (const RowTime& time : RowTimes(row)) {
    const std::string name(RowNameText(row));
    TimelineEvent event;
    event.seconds = time.seconds;
    event.role = time.role;
    event.timestamp_desc = std::string(time.desc);
    event.message = "Thumbnail " + row.key + " of " + (name.empty() ? std::string("?") : name) +
                    " in " + source;
    event.source = source;
    event.row_key = row.key;
    event.name = source + ":" + row.key + " (" + name + ")";
    event.size = static_cast<uint64_t>(std::max<int64_t>(row.length, 0));
    if (marks != nullptr) {
      event.tags = marks->tags;
      event.note = marks->note;
      event.message += MarksSuffix(marks->tags, marks->note);
    }
    events.push_back(std::move(event));
  }
}

void SortTimeline(std::vector<TimelineEvent>& events) {
  std::stable_sort(
      events.begin(), events.end(),
      [](const TimelineEvent& a, const TimelineEvent& b) { return a.seconds < b.seconds; });
}

std::string BuildTimeline(TimelineFormat format, std::span<const TimelineEvent> events) {
  std::string out;
  if (format == TimelineFormat::kCsv) {
    out += "message,datetime,timestamp_desc,timestamp,source,row_key,tags,note\r\n";
  }
  if (format == TimelineFormat::kBodyfile) {
    AppendBodyfile(out, events);
    return out;
  }
  for (const TimelineEvent& event : events) {
    switch (format) {
      case TimelineFormat::kBodyfile:
        break;
      case TimelineFormat::kCsv:
        AppendCsvLine(out, event);
        break;
      case TimelineFormat::kJsonl:
        AppendJsonLine(out, event);
        break;
    }
  }
  return out;
}

}  // namespace glintvane
