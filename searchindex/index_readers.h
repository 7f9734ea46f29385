// What the ESE and the SQLite readers of the search index share. Private to
// searchindex/.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "searchindex/search_index.h"

namespace glintvane::searchindex {

// The properties read. Columns (ESE) and metadata keys (SQLite) carry a
// number before the name ("4447-System_ItemPathDisplay", "13F-System_Size")
// that differs between systems; Windows 7 names some without one.
enum class Property {
  kThumbnailId,
  kPath,
  kFileName,
  kItemType,
  kSize,
  kModified,
  kCreated,
  kAccessed,
  kCount,
};
inline constexpr int kPropertyCount = static_cast<int>(Property::kCount);

// The property a column or metadata key names, by its part after the first
// dash.
std::optional<Property> PropertyOfColumn(std::string_view name);

// The longest text kept from one property: a Windows path has at most 32,767
// UTF-16 units, three UTF-8 bytes each. Longer values are not a Windows
// path, name or type and are taken for damage.
inline constexpr size_t kMaxTextBytes = 3 * 32767;

// An 8-byte little-endian value (a size, a FILETIME, a thumbnail id).
// Windows Search fills the fixed columns of an item that lacks the property
// with "*" (0x2A) bytes: nullopt for those and for any other length.
std::optional<uint64_t> FixedValue(std::span<const uint8_t> bytes);

// Stores `value` as `property` of `item` (numbers from FixedValue).
void SetNumber(IndexedItem& item, Property property, uint64_t value);
// The text field of a text property (path, file name, item type), else null.
std::string* TextField(IndexedItem& item, Property property);
// Empties `item` for the next record, keeping its texts' memory.
void ClearItem(IndexedItem& item);

tl::expected<SearchIndexOutcome, SearchIndexError> ReadEseIndex(ByteSource& source,
                                                                IndexedItemSink& sink,
                                                                const SearchIndexOptions& options);

tl::expected<SearchIndexOutcome, SearchIndexError> ReadSqliteIndex(
    const SearchIndexSources& sources, IndexedItemSink& sink, const SearchIndexOptions& options);

// How often (in records) the readers look at the stop token.
inline constexpr uint64_t kStopCheckRecords = 1024;

}  // namespace glintvane::searchindex
