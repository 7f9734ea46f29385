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
  // One thread uses the connection: SQLite's locking around every call
  // would cost a fifth of the read.
  if (sqlite3_open_v2(copy.c_str(), &db.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexDamaged, db.Error()});
  }
  const std::string pragma = "PRAGMA cache_size = -" + std::to_string(kCacheKiB);
  sqlite3_exec(db.db, pragma.c_str(), nullptr, nullptr, nullptr);

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

  // One pass over the store in WorkId order (its primary key), gathering
  // each item's properties.
  std::string list;
  for (int p = 0; p < kPropertyCount; ++p) {
    if (ids[p] >= 0) list += (list.empty() ? "" : ", ") + std::to_string(ids[p]);
  }
  const std::string sql = "SELECT WorkId, ColumnId, Value FROM " + Quoted(outcome.table) +
                          " WHERE ColumnId IN (" + list + ") ORDER BY WorkId";
  Statement query;
  if (sqlite3_prepare_v2(db.db, sql.c_str(), -1, &query.stmt, nullptr) != SQLITE_OK) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexDamaged, db.Error()});
  }
  IndexedItem item;
  bool has_item = false;
  bool has_id = false;
  std::string item_failure;
  std::string first_failure;
  const auto finish = [&] {
    if (!has_item) return;
    ++outcome.records;
    if (!item_failure.empty()) {
      if (outcome.unreadable_records++ == 0) first_failure = item_failure;
    } else if (has_id) {
      ++outcome.items;
      sink.OnItem(item);
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
      if (outcome.records % kStopCheckRecords == 0 && options.stop.stop_requested()) {
        outcome.stopped = true;
        break;
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
  if (outcome.stopped) {
    outcome.complete = false;
    outcome.reasons.push_back("stopped after " + std::to_string(outcome.records) + " records");
  } else {
    finish();
    if (step != SQLITE_DONE) {
      outcome.complete = false;
      outcome.reasons.push_back("the database is damaged: " + db.Error() + ", after " +
                                std::to_string(outcome.records) +
                                " records; the rest could not be read");
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
