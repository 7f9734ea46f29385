// The Windows Search index: Windows.edb (an ESE database, Windows 7 to 10)
// and Windows.db (SQLite, Windows 11). For every indexed item that has a
// thumbnail it gives the 64-bit id the thumbcache files the thumbnail under
// (System.ThumbnailCacheId) beside the item's path, size and times, so that a
// thumbcache row's hash can be given back its original name.
//
// The evidence is never written: an ESE file is read in place through a
// byte source; a Windows.db is read from a private copy made together with
// its -wal and -shm, since SQLite opening a WAL database in place may write
// its -shm and fold the -wal into it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "base/byte_source.h"

namespace glintvane {

enum class SearchIndexFormat { kEse, kSqlite };

// "ese" or "sqlite".
std::string_view SearchIndexFormatName(SearchIndexFormat format);

// One indexed item with a thumbnail id. Texts are UTF-8 as Windows wrote
// them (paths with backslashes); absent properties are empty, times 0.
struct IndexedItem {
  uint64_t thumbnail_id = 0;     // System.ThumbnailCacheId: the thumbcache row's hash
  uint64_t work_id = 0;          // the record's WorkID
  std::string path;              // System.ItemPathDisplay
  std::string file_name;         // System.FileName
  std::string item_type;         // System.ItemType (".jpg", "Directory", ...)
  std::optional<uint64_t> size;  // System.Size in bytes
  uint64_t modified = 0;         // System.DateModified, FILETIME (UTC)
  uint64_t created = 0;          // System.DateCreated
  uint64_t accessed = 0;         // System.DateAccessed
};

// An item as a SearchIndex holds it: its texts lie in the index and last as
// long as it does.
struct IndexedItemView {
  uint64_t thumbnail_id = 0;
  uint64_t work_id = 0;
  std::string_view path;
  std::string_view file_name;
  std::string_view item_type;
  std::optional<uint64_t> size;
  uint64_t modified = 0;
  uint64_t created = 0;
  uint64_t accessed = 0;
};

// The 16 lower-case hex digits a thumbcache row's key is written with.
std::string ThumbnailIdText(uint64_t id);

// How a read went. A partial read says so: `complete` is false and
// `reasons` says why, in sentences for a person.
struct SearchIndexOutcome {
  SearchIndexFormat format = SearchIndexFormat::kEse;
  std::string table;  // the table read (SystemIndex_PropertyStore, ...)
  // ESE: the state its header records: "clean", "dirty", "just-created",
  // "being-converted", "force-detach" or "unknown". Empty for SQLite.
  std::string state;
  // Items in the property store, read or not (SQLite: the items that have
  // any of the properties read).
  uint64_t records = 0;
  uint64_t unreadable_records = 0;  // of those, the ones that could not be read
  uint64_t items = 0;               // items handed on: the ones with a thumbnail id
  bool complete = true;
  bool stopped = false;              // the stop token ended the read early
  bool wal_missing = false;          // a Windows.db in WAL mode came without its -wal
  std::vector<std::string> reasons;  // why the read is not complete
  std::vector<std::string> notes;    // what else a reader should know
};

// Why an index could not be read at all.
struct SearchIndexError {
  int code = 0;  // kErrSearchIndex* (base/error_codes.h)
  std::string message;
};

// Receives the items one by one, in the order the index holds them, unless
// it takes them in any order: then a large Windows.db is read by several
// threads at once, and OnItem is called from them, one call at a time.
class IndexedItemSink {
 public:
  virtual ~IndexedItemSink() = default;
  virtual void OnItem(const IndexedItem& item) = 0;
  virtual bool TakesAnyOrder() const { return false; }
};

struct SearchIndexOptions {
  std::stop_token stop;  // checked between records
  // Where a Windows.db is copied to be read (a private folder is made
  // inside it); empty: $TMPDIR, else /tmp. The copy takes as much room as
  // the database and its -wal.
  std::string temp_folder;
  // Connections that read a Windows.db at once for a sink that takes items
  // in any order (at most 4); 0: one per core for a store of 32 MiB or more,
  // else one.
  unsigned readers = 0;
};

// An index already open as byte sources (a file, or a file inside a disk
// image). `database` is required; `wal` and `shm` are a Windows.db's
// companions when they exist (ignored for an ESE file). The format is told
// by the first bytes.
struct SearchIndexSources {
  ByteSource* database = nullptr;
  ByteSource* wal = nullptr;
  ByteSource* shm = nullptr;
};

tl::expected<SearchIndexOutcome, SearchIndexError> ReadSearchIndex(
    const SearchIndexSources& sources, IndexedItemSink& sink,
    const SearchIndexOptions& options = {});

// The database a path names: the path itself when it is not a folder, else
// the folder's Windows.db, else its Windows.edb.
tl::expected<std::string, SearchIndexError> LocateSearchIndex(const std::string& path);

// Reads the index a path names (LocateSearchIndex); a Windows.db's -wal and
// -shm are taken from beside it.
tl::expected<SearchIndexOutcome, SearchIndexError> ReadSearchIndexAt(
    const std::string& path, IndexedItemSink& sink, const SearchIndexOptions& options = {});

// A whole index in memory, its items in thumbnail-id order. Items are kept
// packed, their texts in large blocks, and nothing is moved as they come:
// a million items take under 200 MiB.
class SearchIndex {
 public:
  std::string path;  // the database read
  SearchIndexOutcome outcome;

  size_t size() const { return entries_.size(); }
  // The item at `position` in thumbnail-id order (after Sort), and its id.
  IndexedItem Item(size_t position) const;
  uint64_t ThumbnailIdAt(size_t position) const { return order_.at(position).first; }
  // The item of a thumbnail id. Windows gives an id to one item; should a
  // damaged index repeat one, the first record read wins.
  std::optional<IndexedItem> Find(uint64_t thumbnail_id) const;
  // The same without copying its texts.
  std::optional<IndexedItemView> FindView(uint64_t thumbnail_id) const;

  void Add(const IndexedItem& item);
  // Orders the items by thumbnail id, records of one id in reading order.
  void Sort();

 private:
  struct Entry {
    uint64_t thumbnail_id = 0;
    uint64_t work_id = 0;
    uint64_t size = 0;
    uint64_t modified = 0;
    uint64_t created = 0;
    uint64_t accessed = 0;
    // Path, file name and item type, one after the other in one block.
    uint32_t text_block = 0;
    uint32_t text_at = 0;
    uint32_t path_bytes = 0;
    uint32_t file_name_bytes = 0;
    uint32_t item_type_bytes = 0;
    bool has_size = false;
  };
  IndexedItemView ViewOf(const Entry& entry) const;

  std::deque<Entry> entries_;
  std::vector<std::string> text_blocks_;
  // (thumbnail id, entry), sorted by Sort.
  std::vector<std::pair<uint64_t, uint64_t>> order_;
};

tl::expected<SearchIndex, SearchIndexError> ReadSearchIndex(const std::string& path,
                                                            const SearchIndexOptions& options = {});
// The same for an index open as byte sources; `where` names it.
tl::expected<SearchIndex, SearchIndexError> ReadSearchIndex(const SearchIndexSources& sources,
                                                            const std::string& where,
                                                            const SearchIndexOptions& options = {});

// An index as a run keeps it, read or not.
struct HeldSearchIndex {
  std::string where;                 // the database's location as text
  std::optional<SearchIndex> index;  // nothing when it could not be read
  SearchIndexError error;            // why not
};

// The search indexes a window or a command has read, by location: an index
// names the rows of every cache of its profile, and is read once for all of
// them. Safe to share between the worker and the thread that owns it.
class HeldSearchIndexes {
 public:
  // The index at `where`: the one held, or read now from `sources` and
  // held. A read that was stopped is handed back but not held.
  std::shared_ptr<const HeldSearchIndex> Get(const std::string& where,
                                             const SearchIndexSources& sources,
                                             const SearchIndexOptions& options = {});
  void Clear();
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<const HeldSearchIndex>> held_;  // oldest first
};

// Indexes held at once: one profile's index is what a window shows at a
// time, and a million items take up to 200 MiB.
inline constexpr size_t kMaxHeldSearchIndexes = 2;

}  // namespace glintvane
