#include "searchindex/search_index.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/error_codes.h"
#include "searchindex/index_readers.h"

namespace glintvane {
namespace searchindex {

std::optional<Property> PropertyOfColumn(std::string_view name) {
  const size_t dash = name.find('-');
  if (dash != std::string_view::npos) name.remove_prefix(dash + 1);
  static constexpr std::array<std::pair<std::string_view, Property>, kPropertyCount> kNames = {{
      {"System_ThumbnailCacheId", Property::kThumbnailId},
      {"System_ItemPathDisplay", Property::kPath},
      {"System_FileName", Property::kFileName},
      {"System_ItemType", Property::kItemType},
      {"System_Size", Property::kSize},
      {"System_DateModified", Property::kModified},
      {"System_DateCreated", Property::kCreated},
      {"System_DateAccessed", Property::kAccessed},
  }};
  for (const auto& [text, property] : kNames) {
    if (name == text) return property;
  }
  return std::nullopt;
}

std::optional<uint64_t> FixedValue(std::span<const uint8_t> bytes) {
  if (bytes.size() != 8) return std::nullopt;
  if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0x2A; })) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

void SetNumber(IndexedItem& item, Property property, uint64_t value) {
  switch (property) {
    case Property::kThumbnailId:
      item.thumbnail_id = value;
      break;
    case Property::kSize:
      item.size = value;
      break;
    case Property::kModified:
      item.modified = value;
      break;
    case Property::kCreated:
      item.created = value;
      break;
    case Property::kAccessed:
      item.accessed = value;
      break;
    default:
      break;
  }
}

std::string* TextField(IndexedItem& item, Property property) {
  switch (property) {
    case Property::kPath:
      return &item.path;
    case Property::kFileName:
      return &item.file_name;
    case Property::kItemType:
      return &item.item_type;
    default:
      return nullptr;
  }
}

void ClearItem(IndexedItem& item) {
  item.thumbnail_id = item.work_id = 0;
  item.path.clear();
  item.file_name.clear();
  item.item_type.clear();
  item.size.reset();
  item.modified = item.created = item.accessed = 0;
}

}  // namespace searchindex

namespace {

// The bytes each format starts with: ESE's signature follows a 4-byte
// checksum; SQLite's is the text "SQLite format 3" and a zero.
constexpr uint8_t kEseSignature[] = {0xEF, 0xCD, 0xAB, 0x89};
constexpr char kSqliteSignature[] = "SQLite format 3";  // with its terminating zero: 16 bytes

SearchIndexError OpenError(const std::string& path, const IoError& error) {
  return {kErrSearchIndexOpen, "cannot open " + path + ": " + error.message};
}

// Texts are gathered in blocks of this size: few enough allocations, little
// left unused in the last block.
constexpr size_t kTextBlockBytes = size_t{4} << 20;

class CollectingSink final : public IndexedItemSink {
 public:
  explicit CollectingSink(SearchIndex& index) : index_(index) {}
  void OnItem(const IndexedItem& item) override { index_.Add(item); }
  // Sort orders them afterwards.
  bool TakesAnyOrder() const override { return true; }

 private:
  SearchIndex& index_;
};

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string_view SearchIndexFormatName(SearchIndexFormat format) {
  return format == SearchIndexFormat::kEse ? "ese" : "sqlite";
}

std::string ThumbnailIdText(uint64_t id) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, id >>= 4) text[i] = kHex[id & 0xF];
  return text;
}

tl::expected<SearchIndexOutcome, SearchIndexError> ReadSearchIndex(
    const SearchIndexSources& sources, IndexedItemSink& sink, const SearchIndexOptions& options) {
  if (sources.database == nullptr) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, "no database given"});
  }
  std::array<uint8_t, 16> head{};
  const auto got = sources.database->ReadAt(0, head);
  if (!got) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, got.error().message});
  }
  if (*got == head.size() && std::memcmp(head.data(), kSqliteSignature, 16) == 0) {
    return searchindex::ReadSqliteIndex(sources, sink, options);
  }
  if (*got >= 8 && std::memcmp(head.data() + 4, kEseSignature, 4) == 0) {
    return searchindex::ReadEseIndex(*sources.database, sink, options);
  }
  return tl::unexpected(
      SearchIndexError{kErrSearchIndexFormat,
                       "neither an ESE database (Windows.edb) nor a SQLite one (Windows.db)"});
}

tl::expected<std::string, SearchIndexError> LocateSearchIndex(const std::string& path) {
  if (!IsFolder(path)) return path;
  std::string folder = path;
  if (folder.back() != '/') folder += '/';
  // Windows 11 keeps Windows.db; a system upgraded from Windows 10 may keep
  // the old Windows.edb beside it, no longer written.
  for (const char* name : {"Windows.db", "Windows.edb"}) {
    if (Exists(folder + name)) return folder + name;
  }
  return tl::unexpected(
      SearchIndexError{kErrSearchIndexOpen, "no Windows.db or Windows.edb in " + path});
}

tl::expected<SearchIndexOutcome, SearchIndexError> ReadSearchIndexAt(
    const std::string& path, IndexedItemSink& sink, const SearchIndexOptions& options) {
  const auto located = LocateSearchIndex(path);
  if (!located) return tl::unexpected(located.error());
  auto database = FileByteSource::Open(*located);
  if (!database) return tl::unexpected(OpenError(*located, database.error()));
  // The companions of a Windows.db; an ESE reader ignores them. A missing
  // one is no error here: the reader says what its absence means.
  std::unique_ptr<FileByteSource> wal;
  std::unique_ptr<FileByteSource> shm;
  for (auto [suffix, slot] : {std::pair{"-wal", &wal}, std::pair{"-shm", &shm}}) {
    const std::string companion = *located + suffix;
    if (!Exists(companion)) continue;
    auto opened = FileByteSource::Open(companion);
    if (!opened) return tl::unexpected(OpenError(companion, opened.error()));
    *slot = std::move(*opened);
  }
  return ReadSearchIndex(SearchIndexSources{database->get(), wal.get(), shm.get()}, sink, options);
}

tl::expected<SearchIndex, SearchIndexError> ReadSearchIndex(const std::string& path,
                                                            const SearchIndexOptions& options) {
  SearchIndex index;
  const auto located = LocateSearchIndex(path);
  if (!located) return tl::unexpected(located.error());
  index.path = *located;
  CollectingSink sink(index);
  auto outcome = ReadSearchIndexAt(index.path, sink, options);
  if (!outcome) return tl::unexpected(outcome.error());
  index.outcome = std::move(*outcome);
  index.Sort();
  return index;
}

tl::expected<SearchIndex, SearchIndexError> ReadSearchIndex(const SearchIndexSources& sources,
                                                            const std::string& where,
                                                            const SearchIndexOptions& options) {
  SearchIndex index;
  index.path = where;
  CollectingSink sink(index);
  auto outcome = ReadSearchIndex(sources, sink, options);
  if (!outcome) return tl::unexpected(outcome.error());
  index.outcome = std::move(*outcome);
  index.Sort();
  return index;
}

std::shared_ptr<const HeldSearchIndex> HeldSearchIndexes::Get(const std::string& where,
                                                              const SearchIndexSources& sources,
                                                              const SearchIndexOptions& options) {
  {
    const std::lock_guard lock(mutex_);
    const auto held = std::find_if(held_.begin(), held_.end(),
                                   [&](const auto& entry) { return entry->where == where; });
    if (held != held_.end()) {
      std::rotate(held, held + 1, held_.end());
      return held_.back();
    }
  }
  // Read without the lock: a large index takes seconds.
  auto read = std::make_shared<HeldSearchIndex>();
  read->where = where;
  auto index = ReadSearchIndex(sources, where, options);
  if (index) {
    read->index = std::move(*index);
  } else {
    read->error = index.error();
  }
  if (read->index && read->index->outcome.stopped) return read;
  const std::lock_guard lock(mutex_);
  // Another thread may have read it meanwhile: one copy is held.
  const auto twin = std::find_if(held_.begin(), held_.end(),
                                 [&](const auto& entry) { return entry->where == where; });
  if (twin != held_.end()) return *twin;
  if (held_.size() >= kMaxHeldSearchIndexes) held_.erase(held_.begin());
  held_.push_back(read);
  return read;
}

void HeldSearchIndexes::Clear() {
  const std::lock_guard lock(mutex_);
  held_.clear();
}

size_t HeldSearchIndexes::size() const {
  const std::lock_guard lock(mutex_);
  return held_.size();
}

void SearchIndex::Add(const IndexedItem& item) {
  Entry entry;
  entry.thumbnail_id = item.thumbnail_id;
  entry.work_id = item.work_id;
  entry.size = item.size.value_or(0);
  entry.has_size = item.size.has_value();
  entry.modified = item.modified;
  entry.created = item.created;
  entry.accessed = item.accessed;
  // The readers keep each text under kMaxTextBytes, so an item's texts fit
  // a block and offsets in a block fit 32 bits.
  const size_t bytes = item.path.size() + item.file_name.size() + item.item_type.size();
  if (text_blocks_.empty() || text_blocks_.back().capacity() - text_blocks_.back().size() < bytes) {
    text_blocks_.emplace_back().reserve(std::max(kTextBlockBytes, bytes));
  }
  std::string& block = text_blocks_.back();
  entry.text_block = static_cast<uint32_t>(text_blocks_.size() - 1);
  entry.text_at = static_cast<uint32_t>(block.size());
  entry.path_bytes = static_cast<uint32_t>(item.path.size());
  entry.file_name_bytes = static_cast<uint32_t>(item.file_name.size());
  entry.item_type_bytes = static_cast<uint32_t>(item.item_type.size());
  block += item.path;
  block += item.file_name;
  block += item.item_type;
  entries_.push_back(entry);
}

void SearchIndex::Sort() {
  order_.clear();
  order_.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) order_.emplace_back(entries_[i].thumbnail_id, i);
  // Items of one id in the index's own order, however the readers handed
  // them on: the first of them is the one Find gives.
  std::sort(order_.begin(), order_.end(), [this](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    const uint64_t work_a = entries_[a.second].work_id;
    const uint64_t work_b = entries_[b.second].work_id;
    return work_a != work_b ? work_a < work_b : a.second < b.second;
  });
}

IndexedItemView SearchIndex::ViewOf(const Entry& entry) const {
  IndexedItemView item;
  item.thumbnail_id = entry.thumbnail_id;
  item.work_id = entry.work_id;
  if (entry.has_size) item.size = entry.size;
  item.modified = entry.modified;
  item.created = entry.created;
  item.accessed = entry.accessed;
  const std::string_view texts(text_blocks_[entry.text_block]);
  size_t at = entry.text_at;
  item.path = texts.substr(at, entry.path_bytes);
  at += entry.path_bytes;
  item.file_name = texts.substr(at, entry.file_name_bytes);
  at += entry.file_name_bytes;
  item.item_type = texts.substr(at, entry.item_type_bytes);
  return item;
}

namespace {

IndexedItem CopyOf(const IndexedItemView& view) {
  IndexedItem item;
  item.thumbnail_id = view.thumbnail_id;
  item.work_id = view.work_id;
  item.path = view.path;
  item.file_name = view.file_name;
  item.item_type = view.item_type;
  item.size = view.size;
  item.modified = view.modified;
  item.created = view.created;
  item.accessed = view.accessed;
  return item;
}

}  // namespace

IndexedItem SearchIndex::Item(size_t position) const {
  return CopyOf(ViewOf(entries_.at(order_.at(position).second)));
}

std::optional<IndexedItemView> SearchIndex::FindView(uint64_t thumbnail_id) const {
  const auto found = std::lower_bound(order_.begin(), order_.end(),
                                      std::pair<uint64_t, uint64_t>{thumbnail_id, 0});
  if (found == order_.end() || found->first != thumbnail_id) return std::nullopt;
  return ViewOf(entries_[found->second]);
}

std::optional<IndexedItem> SearchIndex::Find(uint64_t thumbnail_id) const {
  const auto view = FindView(thumbnail_id);
  if (!view) return std::nullopt;
  return CopyOf(*view);
}

}  // namespace glintvane
