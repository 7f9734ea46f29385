// glintvane-cli index PATH [--json]: what a Windows Search index
// (Windows.edb, Windows.db) says about each thumbnail id: the item's path,
// size and times.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/file_time.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "searchindex/search_index.h"

namespace glintvane::cli {
namespace {

// Writes `value` as `width` decimal digits at `at`.
void PutDigits(char* at, int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

// ISO 8601 in UTC ("2022-02-05T19:31:36Z") of a FILETIME, as FileTimeUtcIso
// writes it, without the C library's time formatting for each of a million
// items.
std::string IsoTime(uint64_t filetime) {
  const auto seconds = FileTimeToUnixSeconds(filetime);
  if (!seconds) return {};
  int64_t days = *seconds / 86400;
  int64_t rest = *seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  // Days since 1970-01-01 to a civil date (proleptic Gregorian).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1601 || year > 9999) return FileTimeUtcIso(filetime);
  std::string text = "0000-00-00T00:00:00Z";
  PutDigits(&text[0], year, 4);
  PutDigits(&text[5], month, 2);
  PutDigits(&text[8], day, 2);
  PutDigits(&text[11], rest / 3600, 2);
  PutDigits(&text[14], rest / 60 % 60, 2);
  PutDigits(&text[17], rest % 60, 2);
  return text;
}

void WriteTime(JsonWriter& out, const std::string& name, uint64_t filetime) {
  out.Raw(", ").Key(name + "_utc");
  const std::string iso = IsoTime(filetime);
  iso.empty() ? out.Null() : out.Raw("\"").Raw(iso).Raw("\"");
  out.Raw(", ").Key(name + "_filetime");
  filetime == 0 ? out.Null() : out.Number(filetime);
}

void WriteItemJson(JsonWriter& out, const IndexedItem& item) {
  out.Raw("    {").Key("thumbnail_id").Raw("\"").Raw(ThumbnailIdText(item.thumbnail_id));
  out.Raw("\", ").Key("work_id").Number(uint64_t{item.work_id});
  out.Raw(", ").TextField("path", item.path, ", ");
  out.Raw(", ").TextField("file_name", item.file_name, ", ");
  out.Raw(", ").TextField("item_type", item.item_type, ", ");
  out.Raw(", ").Key("size");
  item.size ? out.Number(uint64_t{*item.size}) : out.Null();
  WriteTime(out, "modified", item.modified);
  WriteTime(out, "created", item.created);
  WriteTime(out, "accessed", item.accessed);
  out.Raw("}");
}

// Items as they come, as JSON rows or table lines.
class PrintingSink final : public IndexedItemSink {
 public:
  PrintingSink(JsonWriter& out, bool json) : out_(out), json_(json) {}
  void OnItem(const IndexedItem& item) override {
    if (json_) {
      out_.Raw(count_ == 0 ? "\n" : ",\n");
      WriteItemJson(out_, item);
    } else {
      const std::string size = item.size ? std::to_string(*item.size) : "";
      const std::string modified = IsoTime(item.modified);
      char line[96];
      std::snprintf(line, sizeof line, "%s  %10llu  %-20s  %14s  ",
                    ThumbnailIdText(item.thumbnail_id).c_str(),
                    static_cast<unsigned long long>(item.work_id), modified.c_str(), size.c_str());
      out_.Raw(line).Raw(Printable(item.path)).Raw("\n");
    }
    ++count_;
  }
  uint64_t count() const { return count_; }

 private:
  JsonWriter& out_;
  bool json_;
  uint64_t count_ = 0;
};

void WriteLines(JsonWriter& out, std::string_view name, const std::vector<std::string>& lines) {
  out.Raw(",\n  ").Key(name).Raw("[");
  for (size_t i = 0; i < lines.size(); ++i) out.Raw(i == 0 ? "\n    " : ",\n    ").String(lines[i]);
  out.Raw(lines.empty() ? "]" : "\n  ]");
}

// The fields after the rows: what the read found, once it is over.
void WriteOutcome(JsonWriter& out, const std::string& database, const SearchIndexOutcome& outcome,
                  bool interrupted) {
  out.Raw(",\n  ").TextField("database", database, ",\n  ");
  out.Raw(",\n  \"ok\": true, \"error_code\": null");
  out.Raw(",\n  ").Key("complete").Bool(outcome.complete && !interrupted);
  out.Raw(", ").Key("interrupted").Bool(interrupted);
  out.Raw(",\n  ").Key("format").String(SearchIndexFormatName(outcome.format));
  out.Raw(", ").Key("table").String(outcome.table).Raw(", ").Key("state");
  outcome.state.empty() ? out.Null() : out.String(outcome.state);
  out.Raw(",\n  ").Key("records").Number(uint64_t{outcome.records});
  out.Raw(", ").Key("unreadable_records").Number(uint64_t{outcome.unreadable_records});
  out.Raw(", ").Key("items").Number(uint64_t{outcome.items});
  out.Raw(", ").Key("wal_missing").Bool(outcome.wal_missing);
  WriteLines(out, "reasons", outcome.reasons);
  WriteLines(out, "notes", outcome.notes);
  out.Raw(",\n  \"errors\": []");
}

int RunIndex(const std::string& path, bool json) {
  SearchIndexOptions options;
  options.stop = InterruptStop();
  const auto located = LocateSearchIndex(path);
  JsonWriter out;
  PrintingSink sink(out, json);
  if (json) {
    // The rows come first so that they can be written as they are read;
    // what the read found follows them.
    out.Raw("{\n  ").TextField("path", path, ",\n  ").Raw(",\n  \"rows\": [");
  } else {
    out.Raw("Thumbnail id      Work id     Modified (UTC)        Size            Path\n");
  }
  auto outcome =
      located ? ReadSearchIndexAt(*located, sink, options)
              : tl::expected<SearchIndexOutcome, SearchIndexError>(tl::unexpected(located.error()));
  const bool interrupted = Interrupted() || (outcome && outcome->stopped);
  if (!outcome) {
    // A reader fails before its first item, so nothing was written yet.
    const std::string message = outcome.error().message;
    out.Discard();
    if (json) {
      PrintJsonFailure("path", path, message, kExitFailed);
    } else {
      std::fprintf(stderr, "glintvane-cli index: %s\n", Printable(message).c_str());
    }
    return kExitFailed;
  }
  if (json) {
    out.Raw(sink.count() == 0 ? "]" : "\n  ]");
    WriteOutcome(out, *located, *outcome, interrupted);
    out.Raw("\n}\n").Flush();
  } else {
    out.Flush();
    std::printf("\nDatabase: %s\nFormat: %s\nTable: %s\n", Printable(*located).c_str(),
                std::string(SearchIndexFormatName(outcome->format)).c_str(),
                Printable(outcome->table).c_str());
    if (!outcome->state.empty()) std::printf("State: %s\n", outcome->state.c_str());
    std::printf("Records: %llu\nUnreadable records: %llu\nThumbnail ids: %llu\nComplete: %s\n",
                static_cast<unsigned long long>(outcome->records),
                static_cast<unsigned long long>(outcome->unreadable_records),
                static_cast<unsigned long long>(outcome->items),
                outcome->complete && !interrupted ? "yes" : "no");
    std::fflush(stdout);
    PrintLines(stderr, outcome->reasons);
    PrintLines(stderr, outcome->notes);
  }
  if (interrupted) {
    SayInterrupted("index", "after " + std::to_string(outcome->items) + " thumbnail ids");
  }
  return outcome->complete ? kExitOk : kExitFailed;
}

}  // namespace

void AddIndexCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand(
      "index",
      "List what a Windows Search index (Windows.edb, Windows.db) says about each thumbnail id: "
      "the item's path, size and times. Exit 0 when every record was read, 1 when the index "
      "could not be read in full.");
  auto path = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  sub->add_option("PATH", *path,
                  "Windows.edb or Windows.db (its -wal and -shm are taken from beside it), or "
                  "the folder that holds it")
      ->required();
  sub->add_flag("--json", *json, "one JSON object with every id and its fields");
  sub->callback([&exit_code, path, json] { exit_code = RunIndex(*path, *json); });
}

}  // namespace glintvane::cli
