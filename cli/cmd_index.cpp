// glintvane-cli index PATH [--json]: what a Windows Search index
// (Windows.edb, Windows.db) says about each thumbnail id: the item's path,
// size and times.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/file_time.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "searchindex/search_index.h"

namespace glintvane::cli {
namespace {

// Rows are written out once this much text has gathered, so that an index
// of millions of items is never held as text.
constexpr size_t kFlushBytes = size_t{1} << 16;

// A JSON string of UTF-8 text, escaped here (quotes, backslashes, control
// characters) in runs. Texts that are not UTF-8 go through nlohmann, which
// replaces their bad bytes (the field's _hex twin keeps them exactly).
void AppendJsonString(std::string& out, std::string_view text, bool utf8) {
  if (!utf8) {
    out += nlohmann::json(std::string(text))
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u >= 0x20 && u != '"' && u != '\\') continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    if (u >= 0x20) {
      out += '\\';
      out += static_cast<char>(u);
    } else {
      const char escape[] = {'\\', 'u', '0', '0', kHex[u >> 4], kHex[u & 0xF]};
      out.append(escape, sizeof escape);
    }
  }
  out.append(text.substr(run));
  out += '"';
}

void AppendJsonString(std::string& out, std::string_view text) {
  AppendJsonString(out, text, IsUtf8(text));
}

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

void AppendText(std::string& out, const char* name, std::string_view text) {
  const bool utf8 = IsUtf8(text);
  out += ", \"";
  out += name;
  out += "\": ";
  AppendJsonString(out, text, utf8);
  if (!utf8) {
    out += ", \"";
    out += name;
    out += "_hex\": \"";
    out += HexOf(text);
    out += '"';
  }
}

void AppendTime(std::string& out, const char* name, uint64_t filetime) {
  out += ", \"";
  out += name;
  out += "_utc\": ";
  const std::string iso = IsoTime(filetime);
  out += iso.empty() ? "null" : '"' + iso + '"';
  out += ", \"";
  out += name;
  out += "_filetime\": ";
  out += filetime == 0 ? "null" : std::to_string(filetime);
}

void AppendItemJson(std::string& out, const IndexedItem& item) {
  out += "    {\"thumbnail_id\": \"";
  out += ThumbnailIdText(item.thumbnail_id);
  out += "\", \"work_id\": ";
  out += std::to_string(item.work_id);
  AppendText(out, "path", item.path);
  AppendText(out, "file_name", item.file_name);
  AppendText(out, "item_type", item.item_type);
  out += ", \"size\": ";
  out += item.size ? std::to_string(*item.size) : "null";
  AppendTime(out, "modified", item.modified);
  AppendTime(out, "created", item.created);
  AppendTime(out, "accessed", item.accessed);
  out += '}';
}

void Flush(std::string& out) {
  std::fwrite(out.data(), 1, out.size(), stdout);
  out.clear();
}

// Items as they come, as JSON rows or table lines.
class PrintingSink final : public IndexedItemSink {
 public:
  explicit PrintingSink(bool json) : json_(json) {}
  void OnItem(const IndexedItem& item) override {
    if (json_) {
      out_ += count_ == 0 ? "\n" : ",\n";
      AppendItemJson(out_, item);
    } else {
      const std::string size = item.size ? std::to_string(*item.size) : "";
      const std::string modified = IsoTime(item.modified);
      char line[96];
      std::snprintf(line, sizeof line, "%s  %10llu  %-20s  %14s  ",
                    ThumbnailIdText(item.thumbnail_id).c_str(),
                    static_cast<unsigned long long>(item.work_id), modified.c_str(), size.c_str());
      out_ += line;
      out_ += Printable(item.path);
      out_ += '\n';
    }
    ++count_;
    if (out_.size() > kFlushBytes) Flush(out_);
  }
  std::string& out() { return out_; }
  uint64_t count() const { return count_; }

 private:
  bool json_;
  std::string out_;
  uint64_t count_ = 0;
};

void AppendLines(std::string& out, const char* name, const std::vector<std::string>& lines) {
  out += ",\n  \"";
  out += name;
  out += "\": [";
  for (size_t i = 0; i < lines.size(); ++i) {
    out += i == 0 ? "\n    " : ",\n    ";
    AppendJsonString(out, lines[i]);
  }
  out += lines.empty() ? "]" : "\n  ]";
}

// The fields after the rows: what the read found, once it is over.
void AppendOutcome(std::string& out, const std::string& database, const SearchIndexOutcome& outcome,
                   bool interrupted) {
  out += ",\n  \"database\": ";
  AppendJsonString(out, database);
  if (!IsUtf8(database)) out += ",\n  \"database_hex\": \"" + HexOf(database) + '"';
  out += ",\n  \"ok\": true, \"error_code\": null";
  out += outcome.complete && !interrupted ? ",\n  \"complete\": true" : ",\n  \"complete\": false";
  out += interrupted ? ", \"interrupted\": true" : ", \"interrupted\": false";
  out += ",\n  \"format\": \"";
  out += SearchIndexFormatName(outcome.format);
  out += "\", \"table\": ";
  AppendJsonString(out, outcome.table);
  out += ", \"state\": ";
  if (outcome.state.empty()) {
    out += "null";
  } else {
    AppendJsonString(out, outcome.state);
  }
  out += ",\n  \"records\": " + std::to_string(outcome.records) +
         ", \"unreadable_records\": " + std::to_string(outcome.unreadable_records) +
         ", \"items\": " + std::to_string(outcome.items) +
         ", \"wal_missing\": " + (outcome.wal_missing ? "true" : "false");
  AppendLines(out, "reasons", outcome.reasons);
  AppendLines(out, "notes", outcome.notes);
  out += ",\n  \"errors\": []";
}

int RunIndex(const std::string& path, bool json) {
  SearchIndexOptions options;
  options.stop = InterruptStop();
  const auto located = LocateSearchIndex(path);
  PrintingSink sink(json);
  std::string& out = sink.out();
  if (json) {
    // The rows come first so that they can be written as they are read;
    // what the read found follows them.
    out = "{\n  \"path\": ";
    AppendJsonString(out, path);
    if (!IsUtf8(path)) out += ",\n  \"path_hex\": \"" + HexOf(path) + '"';
    out += ",\n  \"rows\": [";
  } else {
    out = "Thumbnail id      Work id     Modified (UTC)        Size            Path\n";
  }
  auto outcome =
      located ? ReadSearchIndexAt(*located, sink, options)
              : tl::expected<SearchIndexOutcome, SearchIndexError>(tl::unexpected(located.error()));
  const bool interrupted = Interrupted() || (outcome && outcome->stopped);
  if (!outcome) {
    // A reader fails before its first item, so nothing was written yet.
    const std::string message = outcome.error().message;
    if (json) {
      PrintJsonFailure("path", path, message, kExitFailed);
    } else {
      std::fprintf(stderr, "glintvane-cli index: %s\n", Printable(message).c_str());
    }
    return kExitFailed;
  }
  if (json) {
    out += sink.count() == 0 ? "]" : "\n  ]";
    AppendOutcome(out, *located, *outcome, interrupted);
    out += "\n}\n";
    Flush(out);
  } else {
    Flush(out);
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
