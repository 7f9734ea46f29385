// Windows.db (Windows 11) through SQLite. The property store holds one row
// per item and property, (WorkId, ColumnId, Value), and a metadata table
// names each ColumnId ("4678-System_ThumbnailCacheId").
//
// SQLite is never pointed at the evidence: opening a database in WAL mode,
// even read-only, may create or write its -shm and, on the last close, fold
// the -wal into the database. The database, its -wal and its -shm are copied
// into a folder of our own (mode 0700), read there and removed.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "cache/text_convert.h"
#include "searchindex/index_readers.h"

namespace glintvane::searchindex {
namespace {

// Header bytes 18 and 19 (write and read versions) are 2 in WAL mode.
constexpr size_t kHeaderWriteVersion = 18;
constexpr uint8_t kWalVersion = 2;
// Copies move this much at a time: large enough for full-speed reads,
// small beside any machine's memory.
constexpr size_t kCopyChunkBytes = size_t{1} << 20;
// SQLite's page cache for the read, in KiB (a negative cache_size): the
// property store is read once, front to back, so a small cache loses
// nothing, and a hostile file cannot make it grow.
constexpr int kCacheKiB = 8192;
// A property store this large (the copy's bytes) is read by several
// connections at once, each over its own range of WorkIds, when the sink
// takes items in any order: the read is bound by SQLite's work per row.
constexpr uint64_t kParallelBytes = uint64_t{32} << 20;
// At most this many connections: beyond it the copy's pages, not the
// processor, bound the read.
constexpr unsigned kMaxReaders = 4;
// Items a reader hands on at once.
constexpr size_t kBatchItems = 256;
// The copy's name in the private folder; SQLite finds "-wal" and "-shm"
// beside it by name.
constexpr const char* kCopyName = "index.db";

// A folder of our own under $TMPDIR (or /tmp), removed with what it holds.
class PrivateFolder {
 public:
  ~PrivateFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  tl::expected<void, std::string> Make(const std::string& parent) {
    std::string base = parent;
    if (base.empty()) {
      const char* tmp = std::getenv("TMPDIR");
      base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }
    std::string pattern = base + "/glintvane-index-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      return tl::unexpected("cannot make a private folder in " + base + ": " +
                            IoErrorFromErrno(errno).message);
    }
    path_ = pattern;
    return {};
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Copies `source` whole into the new file `path`. Fails on a read or write
// error and when the stop token asks.
tl::expected<void, std::string> CopyInto(ByteSource& source, const std::string& path,
                                         const std::stop_token& stop) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    return tl::unexpected("cannot write " + path + ": " + IoErrorFromErrno(errno).message);
  std::vector<uint8_t> chunk(kCopyChunkBytes);
  std::string failure;
  for (uint64_t offset = 0; offset < source.Size() && failure.empty();) {
    if (stop.stop_requested()) {
      failure = "stopped";
      break;
    }
    const auto got = source.ReadAt(offset, chunk);
    if (!got) {
      failure = "cannot read: " + got.error().message;
      break;
    }
    if (*got == 0) break;  // the source shrank; what was there is copied
    for (size_t done = 0; done < *got;) {
      const ssize_t n = ::write(fd, chunk.data() + done, *got - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure = "cannot write " + path + ": " + IoErrorFromErrno(errno).message;
        break;
      }
      done += static_cast<size_t>(n);
    }
    offset += *got;
  }
  if (::close(fd) != 0 && failure.empty()) {
    failure = "cannot write " + path + ": " + IoErrorFromErrno(errno).message;
  }
  if (!failure.empty()) return tl::unexpected(failure);
  return {};
}

struct Database {
  sqlite3* db = nullptr;
  ~Database() { sqlite3_close_v2(db); }
  std::string Error() const { return db != nullptr ? sqlite3_errmsg(db) : "out of memory"; }
};

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

// A table name inside double quotes, its quotes doubled.
std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + '"';
}

// The property stores with a metadata table, in name order
// (SystemIndex_1_PropertyStore on every Windows 11 seen).
std::vector<std::string> PropertyStores(sqlite3* db, std::string& failure) {
  std::vector<std::string> names;
  Statement query;
  if (sqlite3_prepare_v2(db,
                         "SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE "
                         "'SystemIndex\\_%\\_PropertyStore' ESCAPE '\\' ORDER BY name",
                         -1, &query.stmt, nullptr) != SQLITE_OK) {
    failure = sqlite3_errmsg(db);
    return names;
  }
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(query.stmt)) == SQLITE_ROW) {
    const auto* text = sqlite3_column_text(query.stmt, 0);
    if (text != nullptr) names.emplace_back(reinterpret_cast<const char*>(text));
  }
  if (step != SQLITE_DONE) failure = sqlite3_errmsg(db);
  return names;
}

// ColumnIds of the properties read, from the store's metadata table; false
// when that table cannot be read.
bool ReadMetadata(sqlite3* db, const std::string& store, std::array<int64_t, kPropertyCount>& ids,
                  std::string& failure) {
  ids.fill(-1);
  Statement query;
  const std::string sql = "SELECT Id, UniqueKey FROM " + Quoted(store + "_Metadata");
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &query.stmt, nullptr) != SQLITE_OK) {
    failure = sqlite3_errmsg(db);
    return false;
  }
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(query.stmt)) == SQLITE_ROW) {
    const auto* key = sqlite3_column_text(query.stmt, 1);
    if (key == nullptr) continue;
    const auto property = PropertyOfColumn(reinterpret_cast<const char*>(key));
    if (property && ids[static_cast<int>(*property)] < 0) {
      ids[static_cast<int>(*property)] = sqlite3_column_int64(query.stmt, 0);
    }
  }
  if (step != SQLITE_DONE) {
    failure = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

// A text property, UTF-8 text or a blob of UTF-16LE, into `out`; false
// with `failure` set when it is too long for any Windows text.
bool TextInto(sqlite3_stmt* stmt, std::string& out, std::string& failure) {
  const int bytes = sqlite3_column_bytes(stmt, 2);
  if (static_cast<size_t>(bytes) > kMaxTextBytes) {
    failure = "a text of " + std::to_string(bytes) + " bytes";
    return false;
  }
  if (sqlite3_column_type(stmt, 2) == SQLITE_BLOB) {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 2));
    if (data != nullptr) {
      out = Utf16LeToUtf8({data, static_cast<size_t>(bytes)}, static_cast<size_t>(bytes) / 2);
    }
    return true;
  }
  const auto* text = sqlite3_column_text(stmt, 2);
  // The length after the text was made (a conversion may change it).
  if (text != nullptr) {
    out.assign(reinterpret_cast<const char*>(text),
               static_cast<size_t>(sqlite3_column_bytes(stmt, 2)));
  }
  return true;
}

// A number property: 8 little-endian bytes, or an integer.
std::optional<uint64_t> NumberOf(sqlite3_stmt* stmt) {
  if (sqlite3_column_type(stmt, 2) == SQLITE_INTEGER) {
    return static_cast<uint64_t>(sqlite3_column_int64(stmt, 2));
  }
  const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 2));
  const int bytes = sqlite3_column_bytes(stmt, 2);
  if (data == nullptr) return std::nullopt;
  return FixedValue({data, static_cast<size_t>(bytes)});
}

// Opens the private copy for one reader.
bool OpenCopy(const std::string& copy, Database& db) {
  // One thread uses each connection: SQLite's locking around every call
  // would cost a fifth of the read.
  if (sqlite3_open_v2(copy.c_str(), &db.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    return false;
  }
  const std::string pragma = "PRAGMA cache_size = -" + std::to_string(kCacheKiB);
  sqlite3_exec(db.db, pragma.c_str(), nullptr, nullptr, nullptr);
  return true;
}

// Which items one pass reads: a condition on WorkId with up to two bound
// values (none: every item).
struct WorkIdRange {
  std::string condition;  // "" or an SQL condition on WorkId with ?1 and ?2
  int64_t low = 0;
  int64_t high = 0;
};

// What the passes over the store found.
struct ScanCounts {
  uint64_t records = 0;
  uint64_t unreadable = 0;
  uint64_t items = 0;
  std::string first_failure;  // why the first unreadable record was
  bool stopped = false;
  std::string damage;  // SQLite's word when a pass ended before its end
};

// One pass over the store's items in `range`, in WorkId order (its primary
// key), gathering each item's properties and handing each item with a
// thumbnail id to `emit`, which may take the item's texts and leave others.
void ScanItems(sqlite3* db, const std::string& table,
               const std::array<int64_t, kPropertyCount>& ids, const WorkIdRange& range,
               const std::function<void(IndexedItem&)>& emit, const std::stop_token& stop,
               ScanCounts& counts) {
  std::string list;
  for (int p = 0; p < kPropertyCount; ++p) {
    if (ids[p] >= 0) list += (list.empty() ? "" : ", ") + std::to_string(ids[p]);
  }
  const std::string sql = "SELECT WorkId, ColumnId, Value FROM " + Quoted(table) + " WHERE " +
                          (range.condition.empty() ? "" : range.condition + " AND ") +
                          "ColumnId IN (" + list + ") ORDER BY WorkId";
  Statement query;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &query.stmt, nullptr) != SQLITE_OK) {
    counts.damage = sqlite3_errmsg(db);
    return;
  }
  sqlite3_bind_int64(query.stmt, 1, range.low);
  sqlite3_bind_int64(query.stmt, 2, range.high);
  IndexedItem item;
  bool has_item = false;
  bool has_id = false;
  std::string item_failure;
  const auto finish = [&] {
    if (!has_item) return;
    ++counts.records;
    if (!item_failure.empty()) {
      if (counts.unreadable++ == 0) counts.first_failure = item_failure;
    } else if (has_id) {
      ++counts.items;
      emit(item);
    }
    ClearItem(item);
    has_item = has_id = false;
    item_failure.clear();
  };
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(query.stmt)) == SQLITE_ROW) {
    const auto work_id = static_cast<uint64_t>(sqlite3_column_int64(query.stmt, 0));
    if (!has_item || work_id != item.work_id) {
      finish();
      if (counts.records % kStopCheckRecords == 0 && stop.stop_requested()) {
        counts.stopped = true;
        return;
      }
      has_item = true;
      item.work_id = work_id;
    }
    const int64_t column = sqlite3_column_int64(query.stmt, 1);
    const auto found = std::find(ids.begin(), ids.end(), column);
    if (found == ids.end()) continue;
    const auto property = static_cast<Property>(found - ids.begin());
    if (std::string* text = TextField(item, property)) {
      TextInto(query.stmt, *text, item_failure);
    } else {
      const auto number = NumberOf(query.stmt);
      if (property == Property::kThumbnailId) {
        has_id = number.has_value();
        // Eight "*" bytes say "no id"; any other length is damage.
        if (!has_id && sqlite3_column_bytes(query.stmt, 2) != 8) {
          item_failure =
              "a thumbnail id of " + std::to_string(sqlite3_column_bytes(query.stmt, 2)) + " bytes";
        }
      }
      if (number) SetNumber(item, property, *number);
    }
  }
  finish();
  if (step != SQLITE_DONE) counts.damage = sqlite3_errmsg(db);
}

// The ranges `readers` connections read at once: the span of WorkIds
// between the store's first and last keys, cut in equal parts. One range
// with no condition when the store is small or empty, or when a key at
// either end is not a number (a NULL or a text a damaged file may hold,
// which a range of numbers would leave out).
std::vector<WorkIdRange> SplitWorkIds(sqlite3* db, const std::string& table, unsigned readers) {
  const std::vector<WorkIdRange> whole = {WorkIdRange{}};
  Statement ends;
  const std::string sql = "SELECT (SELECT WorkId FROM " + Quoted(table) +
                          " ORDER BY WorkId LIMIT 1), (SELECT WorkId FROM " + Quoted(table) +
                          " ORDER BY WorkId DESC LIMIT 1)";
  if (readers < 2 || sqlite3_prepare_v2(db, sql.c_str(), -1, &ends.stmt, nullptr) != SQLITE_OK ||
      sqlite3_step(ends.stmt) != SQLITE_ROW ||
      sqlite3_column_type(ends.stmt, 0) != SQLITE_INTEGER ||
      sqlite3_column_type(ends.stmt, 1) != SQLITE_INTEGER) {
    return whole;
  }
  const auto first = static_cast<uint64_t>(sqlite3_column_int64(ends.stmt, 0));
  const auto last = static_cast<uint64_t>(sqlite3_column_int64(ends.stmt, 1));
  const uint64_t span = last - first;  // the keys as numbers, first <= last
  if (span < readers) return whole;
  const uint64_t part = span / readers;
  // Each cut is the first WorkId of the next part.
  std::vector<int64_t> cuts;
  for (unsigned k = 1; k < readers; ++k) cuts.push_back(static_cast<int64_t>(first + k * part));
  std::vector<WorkIdRange> ranges = {{"WorkId < ?1", cuts.front(), 0}};
  for (size_t k = 1; k < cuts.size(); ++k) {
    ranges.push_back({"WorkId >= ?1 AND WorkId < ?2", cuts[k - 1], cuts[k]});
  }
  ranges.push_back({"WorkId >= ?1", cuts.back(), 0});
  return ranges;
}

}  // namespace

tl::expected<SearchIndexOutcome, SearchIndexError> ReadSqliteIndex(
    const SearchIndexSources& sources, IndexedItemSink& sink, const SearchIndexOptions& options) {
  SearchIndexOutcome outcome;
  outcome.format = SearchIndexFormat::kSqlite;
  std::array<uint8_t, 20> header{};
  const auto got = sources.database->ReadAt(0, header);
  if (!got) return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, got.error().message});
  const bool wal_mode = *got == header.size() && header[kHeaderWriteVersion] == kWalVersion;

  PrivateFolder folder;
  if (auto made = folder.Make(options.temp_folder); !made) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, made.error()});
  }
  const std::string copy = folder.path() + "/" + kCopyName;
  for (auto [source, suffix] : {std::pair{sources.database, ""}, std::pair{sources.wal, "-wal"},
                                std::pair{sources.shm, "-shm"}}) {
    if (source == nullptr) continue;
    if (auto copied = CopyInto(*source, copy + suffix, options.stop); !copied) {
      if (options.stop.stop_requested()) {
        outcome.stopped = true;
        outcome.complete = false;
        outcome.reasons.push_back("stopped while copying the database");
        return outcome;
      }
      return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, copied.error()});
    }
  }
  if (wal_mode && sources.wal == nullptr) {
    outcome.wal_missing = true;
    outcome.complete = false;
    outcome.reasons.push_back(
        "the database is in WAL mode and its -wal (Windows.db-wal) was missing: what Windows had "
        "not yet moved from it into the database, on a running system most of the index, is "
        "not read");
  }

  Database db;
  if (!OpenCopy(copy, db)) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexDamaged, db.Error()});
  }

  std::string failure;
  std::array<int64_t, kPropertyCount> ids{};
  for (const std::string& store : PropertyStores(db.db, failure)) {
    if (ReadMetadata(db.db, store, ids, failure)) {
      outcome.table = store;
      break;
    }
  }
  if (outcome.table.empty()) {
    if (!failure.empty()) {
      return tl::unexpected(SearchIndexError{kErrSearchIndexDamaged, failure});
    }
    return tl::unexpected(SearchIndexError{
        kErrSearchIndexFormat, "a SQLite database without a SystemIndex_*_PropertyStore table"});
  }
  if (ids[static_cast<int>(Property::kThumbnailId)] < 0) {
    outcome.notes.push_back(
        "the index has no System_ThumbnailCacheId property: it names no thumbnails");
    return outcome;
  }

  // Several connections at once for a large store whose items may come in
  // any order; each reads its own range of WorkIds.
  unsigned readers = 1;
  if (sink.TakesAnyOrder()) {
    const uint64_t bytes =
        sources.database->Size() + (sources.wal != nullptr ? sources.wal->Size() : 0);
    if (options.readers > 0) {
      readers = std::min(options.readers, kMaxReaders);
    } else if (bytes >= kParallelBytes) {
      readers = std::clamp(std::thread::hardware_concurrency(), 1U, kMaxReaders);
    }
  }
  const auto ranges = SplitWorkIds(db.db, outcome.table, readers);
  std::vector<ScanCounts> counts(ranges.size());
  // Readers hand their items on in batches, one lock for each: the items
  // swap places with the batch's, so no text is copied or allocated twice.
  std::mutex sink_mutex;
  const auto hand_on = [&](std::vector<IndexedItem>& batch, size_t& filled) {
    const std::lock_guard lock(sink_mutex);
    for (size_t k = 0; k < filled; ++k) sink.OnItem(batch[k]);
    filled = 0;
  };
  // One reader hands its items on in the index's order all the same.
  const auto read = [&](sqlite3* connection, size_t reader) {
    std::vector<IndexedItem> batch(kBatchItems);
    size_t filled = 0;
    ScanItems(
        connection, outcome.table, ids, ranges[reader],
        [&](IndexedItem& item) {
          std::swap(batch[filled++], item);
          if (filled == batch.size()) hand_on(batch, filled);
        },
        options.stop, counts[reader]);
    hand_on(batch, filled);
  };
  {
    std::vector<std::jthread> others;
    for (size_t reader = 1; reader < ranges.size(); ++reader) {
      others.emplace_back([&, reader] {
        Database own;
        if (!OpenCopy(copy, own)) {
          counts[reader].damage = own.Error();
          return;
        }
        read(own.db, reader);
      });
    }
    read(db.db, 0);
  }

  std::string first_failure;
  for (size_t reader = 0; reader < ranges.size(); ++reader) {
    const ScanCounts& part = counts[reader];
    outcome.records += part.records;
    outcome.unreadable_records += part.unreadable;
    outcome.items += part.items;
    outcome.stopped = outcome.stopped || part.stopped;
    if (first_failure.empty()) first_failure = part.first_failure;
  }
  if (outcome.stopped) {
    outcome.complete = false;
    outcome.reasons.push_back("stopped after " + std::to_string(outcome.records) + " records");
  } else {
    for (size_t reader = 0; reader < ranges.size(); ++reader) {
      if (counts[reader].damage.empty()) continue;
      outcome.complete = false;
      outcome.reasons.push_back("the database is damaged: " + counts[reader].damage + ", after " +
                                std::to_string(counts[reader].records) + " records" +
                                (ranges.size() == 1 ? std::string()
                                                    : " of part " + std::to_string(reader + 1) +
                                                          " of " + std::to_string(ranges.size())) +
                                "; the rest could not be read");
    }
  }
  if (outcome.unreadable_records > 0) {
    outcome.complete = false;
    outcome.reasons.push_back(std::to_string(outcome.unreadable_records) + " of " +
                              std::to_string(outcome.records) +
                              " records could not be read; the first: " + first_failure);
  }
  return outcome;
}

}  // namespace glintvane::searchindex
